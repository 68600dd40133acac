#include "tests/support/json.h"

#include <cstdlib>
#include <fstream>
#include <sstream>

#include "platform/base/codepage.h"

namespace mv::testing {

const Json* Json::find(const std::string& key) const {
  for (const auto& m : members)
    if (m.first == key) return &m.second;
  return nullptr;
}

const Json& Json::operator[](const std::string& key) const {
  static const Json kNull;
  const Json* j = find(key);
  return j ? *j : kNull;
}

namespace {

struct Parser {
  const std::string& s;
  size_t i = 0;
  std::string err;

  void ws() {
    while (i < s.size() && (s[i] == ' ' || s[i] == '\n' || s[i] == '\r' || s[i] == '\t')) ++i;
  }
  bool fail(const std::string& m) {
    if (err.empty()) err = m + " at " + std::to_string(i);
    return false;
  }
  bool lit(const char* w) {
    size_t n = std::char_traits<char>::length(w);
    if (s.compare(i, n, w) != 0) return fail("unexpected token");
    i += n;
    return true;
  }
  bool hex4(unsigned& v) {
    if (i + 4 > s.size()) return fail("short \\u escape");
    v = unsigned(std::strtoul(s.substr(i, 4).c_str(), nullptr, 16));
    i += 4;
    return true;
  }
  bool str(std::string& out) {
    if (s[i] != '"') return fail("string expected");
    ++i;
    while (i < s.size() && s[i] != '"') {
      char c = s[i++];
      if (c != '\\') {
        out.push_back(c);
        continue;
      }
      if (i >= s.size()) return fail("bad escape");
      char e = s[i++];
      switch (e) {
        case 'n': out.push_back('\n'); break;
        case 'r': out.push_back('\r'); break;
        case 't': out.push_back('\t'); break;
        case 'b': out.push_back('\b'); break;
        case 'f': out.push_back('\f'); break;
        case 'u': {
          unsigned v;
          if (!hex4(v)) return false;
          if (v >= 0xD800 && v < 0xDC00 && i + 6 <= s.size() && s[i] == '\\' && s[i + 1] == 'u') {
            i += 2;
            unsigned lo;
            if (!hex4(lo)) return false;
            v = 0x10000 + ((v - 0xD800) << 10) + (lo - 0xDC00);
          }
          append_utf8(out, char32_t(v));
          break;
        }
        default: out.push_back(e); break;
      }
    }
    if (i >= s.size()) return fail("unterminated string");
    ++i;
    return true;
  }
  bool value(Json& j) {
    ws();
    if (i >= s.size()) return fail("value expected");
    char c = s[i];
    if (c == '{') {
      j.type = Json::Type::Object;
      ++i;
      ws();
      if (i < s.size() && s[i] == '}') { ++i; return true; }
      for (;;) {
        ws();
        std::string k;
        if (!str(k)) return false;
        ws();
        if (i >= s.size() || s[i] != ':') return fail("':' expected");
        ++i;
        Json v;
        if (!value(v)) return false;
        j.members.push_back(JsonMember{std::move(k), std::move(v)});
        ws();
        if (i < s.size() && s[i] == ',') { ++i; continue; }
        if (i < s.size() && s[i] == '}') { ++i; return true; }
        return fail("',' or '}' expected");
      }
    }
    if (c == '[') {
      j.type = Json::Type::Array;
      ++i;
      ws();
      if (i < s.size() && s[i] == ']') { ++i; return true; }
      for (;;) {
        Json v;
        if (!value(v)) return false;
        j.items.push_back(std::move(v));
        ws();
        if (i < s.size() && s[i] == ',') { ++i; continue; }
        if (i < s.size() && s[i] == ']') { ++i; return true; }
        return fail("',' or ']' expected");
      }
    }
    if (c == '"') {
      j.type = Json::Type::String;
      return str(j.text);
    }
    if (c == 't') { j.type = Json::Type::Bool; j.boolean = true; return lit("true"); }
    if (c == 'f') { j.type = Json::Type::Bool; return lit("false"); }
    if (c == 'n') return lit("null");
    size_t start = i;
    while (i < s.size() && (std::isdigit(static_cast<unsigned char>(s[i])) || s[i] == '-' || s[i] == '+' ||
                            s[i] == '.' || s[i] == 'e' || s[i] == 'E'))
      ++i;
    if (start == i) return fail("bad value");
    j.type = Json::Type::Number;
    j.text = s.substr(start, i - start);
    j.number = std::strtod(j.text.c_str(), nullptr);
    return true;
  }
};

}  // namespace

std::optional<Json> parse_json(const std::string& text, std::string* error) {
  Parser p{text, 0, {}};
  Json j;
  if (!p.value(j)) {
    if (error) *error = p.err;
    return std::nullopt;
  }
  return j;
}

std::optional<Json> read_json_file(const std::string& path, std::string* error) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    if (error) *error = "cannot open " + path;
    return std::nullopt;
  }
  std::stringstream ss;
  ss << in.rdbuf();
  return parse_json(ss.str(), error);
}

}  // namespace mv::testing
