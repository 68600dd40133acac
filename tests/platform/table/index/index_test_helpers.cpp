#include "tests/support/fixtures.h"
#include "tests/platform/table/index/index_test_helpers.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace mv::index_test {

namespace {

const Json kNull;

struct Parser {
  const std::string& s;
  size_t i = 0;
  bool ok = true;

  void ws() {
    while (i < s.size() && (s[i] == ' ' || s[i] == '\n' || s[i] == '\r' || s[i] == '\t')) ++i;
  }
  bool eat(char c) {
    ws();
    if (i < s.size() && s[i] == c) {
      ++i;
      return true;
    }
    return false;
  }
  static void utf8(std::string& out, unsigned cp) {
    if (cp < 0x80) out += char(cp);
    else if (cp < 0x800) out += char(0xC0 | (cp >> 6)), out += char(0x80 | (cp & 0x3F));
    else if (cp < 0x10000)
      out += char(0xE0 | (cp >> 12)), out += char(0x80 | ((cp >> 6) & 0x3F)), out += char(0x80 | (cp & 0x3F));
    else
      out += char(0xF0 | (cp >> 18)), out += char(0x80 | ((cp >> 12) & 0x3F)),
          out += char(0x80 | ((cp >> 6) & 0x3F)), out += char(0x80 | (cp & 0x3F));
  }
  std::string str() {
    std::string out;
    ++i;  // opening quote
    while (i < s.size() && s[i] != '"') {
      if (s[i] == '\\' && i + 1 < s.size()) {
        char e = s[++i];
        switch (e) {
          case 'n': out += '\n'; break;
          case 'r': out += '\r'; break;
          case 't': out += '\t'; break;
          case 'b': out += '\b'; break;
          case 'f': out += '\f'; break;
          case 'u': {
            unsigned cp = unsigned(std::stoul(s.substr(i + 1, 4), nullptr, 16));
            i += 4;
            if (cp >= 0xD800 && cp < 0xDC00 && i + 6 < s.size() && s[i + 1] == '\\' && s[i + 2] == 'u') {
              unsigned lo = unsigned(std::stoul(s.substr(i + 3, 4), nullptr, 16));
              cp = 0x10000 + ((cp - 0xD800) << 10) + (lo - 0xDC00);
              i += 6;
            }
            utf8(out, cp);
            break;
          }
          default: out += e;
        }
        ++i;
      } else {
        out += s[i++];
      }
    }
    ++i;
    return out;
  }
  Json value() {
    ws();
    Json j;
    if (i >= s.size()) {
      ok = false;
      return j;
    }
    char c = s[i];
    if (c == '{') {
      ++i;
      j.type = Json::Type::Object;
      if (eat('}')) return j;
      do {
        ws();
        std::string k = str();
        if (!eat(':')) ok = false;
        j.members.emplace_back(std::move(k), value());
      } while (ok && eat(','));
      if (!eat('}')) ok = false;
    } else if (c == '[') {
      ++i;
      j.type = Json::Type::Array;
      if (eat(']')) return j;
      do j.items.push_back(value());
      while (ok && eat(','));
      if (!eat(']')) ok = false;
    } else if (c == '"') {
      j.type = Json::Type::String;
      j.text = str();
    } else if (s.compare(i, 4, "true") == 0) {
      j.type = Json::Type::Bool, j.boolean = true, i += 4;
    } else if (s.compare(i, 5, "false") == 0) {
      j.type = Json::Type::Bool, i += 5;
    } else if (s.compare(i, 4, "null") == 0) {
      i += 4;
    } else {
      size_t st = i;
      while (i < s.size() && (std::isdigit(uint8_t(s[i])) || s[i] == '-' || s[i] == '+' || s[i] == '.' ||
                              s[i] == 'e' || s[i] == 'E'))
        ++i;
      j.type = Json::Type::Number;
      j.text = s.substr(st, i - st);
      j.number = std::strtod(j.text.c_str(), nullptr);
    }
    return j;
  }
};

}  // namespace

const Json& Json::operator[](const std::string& key) const {
  for (auto& [k, v] : members)
    if (k == key) return v;
  return kNull;
}

bool Json::has(const std::string& key) const {
  for (auto& [k, v] : members)
    if (k == key) return true;
  return false;
}

std::optional<Json> read_json_file(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return std::nullopt;
  std::stringstream ss;
  ss << in.rdbuf();
  std::string text = ss.str();
  Parser p{text};
  Json j = p.value();
  if (!p.ok) return std::nullopt;
  return j;
}

std::string fixture_root() { return mv::testing::fixtures_root(); }

std::vector<std::string> fixture_cases() {
  std::vector<std::string> out;
  std::error_code ec;
  for (auto it = std::filesystem::recursive_directory_iterator(fixture_root(), ec);
       !ec && it != std::filesystem::recursive_directory_iterator(); it.increment(ec)) {
    if (it->is_regular_file() && it->path().filename() == "expected.json")
      out.push_back(it->path().parent_path().string());
  }
  std::sort(out.begin(), out.end());
  return out;
}

CodePage code_page_of(const std::string& name) {
  if (name == "cp850") return CodePage::Cp850;
  if (name == "cp437") return CodePage::Cp437;
  return CodePage::Windows1252;
}

std::string from_hex(const std::string& hex) {
  std::string out;
  for (size_t i = 0; i + 1 < hex.size(); i += 2) out += char(std::stoi(hex.substr(i, 2), nullptr, 16));
  return out;
}

std::string scratch_dir(const std::string& name) {
  // One folder per test, so that tests run in parallel never share files.
  std::string test;
  if (const auto* info = ::testing::UnitTest::GetInstance()->current_test_info())
    test = std::string(info->test_suite_name()) + "." + info->name();
  for (char& c : test)
    if (!std::isalnum(uint8_t(c)) && c != '.' && c != '_') c = '_';
  return mv::testing::make_scratch_dir(test + "_" + name);
}

index::IndexFormat format_of_case(const Json& e) {
  std::string t = e["indexType"].text;
  if (t == "NTX") return index::IndexFormat::Ntx;
  if (t == "CDX") return index::IndexFormat::Cdx;
  if (e["driver"].text == "DBFMDX") return index::IndexFormat::Mdx;
  if (e["driver"].text == "DBFNTX") return index::IndexFormat::Ntx;
  return index::IndexFormat::Cdx;
}

}  // namespace mv::index_test
