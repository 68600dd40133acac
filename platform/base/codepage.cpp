#include "platform/base/codepage.h"

#include <array>
#include <unordered_map>

namespace mv {
namespace {
#include "platform/base/codepage_tables.inc"

const char32_t* table_of(CodePage cp) {
  switch (cp) {
    case CodePage::Windows1252: return kCp1252;
    case CodePage::Cp850: return kCp850;
    case CodePage::Cp437: return kCp437;
  }
  return kCp1252;
}

struct Reverse {
  std::unordered_map<char32_t, unsigned char> map;
  explicit Reverse(const char32_t* t) {
    for (int b = 255; b >= 0; --b) map[t[b]] = static_cast<unsigned char>(b);
  }
};

const Reverse& reverse_of(CodePage cp) {
  static const Reverse r1252(kCp1252), r850(kCp850), r437(kCp437);
  switch (cp) {
    case CodePage::Windows1252: return r1252;
    case CodePage::Cp850: return r850;
    case CodePage::Cp437: return r437;
  }
  return r1252;
}

// Decodes one scalar; returns false on malformed input.
bool next_utf8(std::string_view s, size_t& i, char32_t& ch) {
  unsigned char c = static_cast<unsigned char>(s[i]);
  int extra;
  if (c < 0x80) { ch = c; extra = 0; }
  else if ((c & 0xE0) == 0xC0) { ch = c & 0x1F; extra = 1; }
  else if ((c & 0xF0) == 0xE0) { ch = c & 0x0F; extra = 2; }
  else if ((c & 0xF8) == 0xF0) { ch = c & 0x07; extra = 3; }
  else return false;
  if (i + extra >= s.size() && extra > 0) return false;
  for (int k = 1; k <= extra; ++k) {
    unsigned char d = static_cast<unsigned char>(s[i + k]);
    if ((d & 0xC0) != 0x80) return false;
    ch = (ch << 6) | (d & 0x3F);
  }
  static const char32_t kMin[] = {0, 0x80, 0x800, 0x10000};
  if (ch < kMin[extra] || ch > 0x10FFFF || (ch >= 0xD800 && ch <= 0xDFFF)) return false;
  i += extra + 1;
  return true;
}

}  // namespace

const char* code_page_name(CodePage cp) {
  switch (cp) {
    case CodePage::Windows1252: return "Windows-1252";
    case CodePage::Cp850: return "CP850";
    case CodePage::Cp437: return "CP437";
  }
  return "?";
}

char32_t cp_decode(CodePage cp, unsigned char byte) { return table_of(cp)[byte]; }

std::optional<unsigned char> cp_encode(CodePage cp, char32_t ch) {
  const auto& m = reverse_of(cp).map;
  auto it = m.find(ch);
  if (it == m.end()) return std::nullopt;
  return it->second;
}

void append_utf8(std::string& out, char32_t ch) {
  if (ch < 0x80) {
    out.push_back(static_cast<char>(ch));
  } else if (ch < 0x800) {
    out.push_back(static_cast<char>(0xC0 | (ch >> 6)));
    out.push_back(static_cast<char>(0x80 | (ch & 0x3F)));
  } else if (ch < 0x10000) {
    out.push_back(static_cast<char>(0xE0 | (ch >> 12)));
    out.push_back(static_cast<char>(0x80 | ((ch >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (ch & 0x3F)));
  } else {
    out.push_back(static_cast<char>(0xF0 | (ch >> 18)));
    out.push_back(static_cast<char>(0x80 | ((ch >> 12) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | ((ch >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (ch & 0x3F)));
  }
}

bool is_valid_utf8(std::string_view s) {
  size_t i = 0;
  char32_t ch;
  while (i < s.size()) {
    if (!next_utf8(s, i, ch)) return false;
  }
  return true;
}

std::string cp_to_utf8(CodePage cp, std::string_view bytes) {
  std::string out;
  out.reserve(bytes.size());
  const char32_t* t = table_of(cp);
  for (unsigned char b : bytes) {
    if (b < 0x80) out.push_back(static_cast<char>(b));
    else append_utf8(out, t[b]);
  }
  return out;
}

Result<std::string> cp_from_utf8(CodePage cp, std::string_view utf8) {
  std::string out;
  out.reserve(utf8.size());
  size_t i = 0;
  while (i < utf8.size()) {
    unsigned char c = static_cast<unsigned char>(utf8[i]);
    if (c < 0x80 && table_of(cp)[c] == c) {
      out.push_back(static_cast<char>(c));
      ++i;
      continue;
    }
    char32_t ch;
    if (!next_utf8(utf8, i, ch)) {
      return Status::invalid_argument("Ungültige UTF-8-Folge an Position " + std::to_string(i));
    }
    auto b = cp_encode(cp, ch);
    if (!b) {
      std::string shown;
      append_utf8(shown, ch);
      return Status::invalid_argument("Das Zeichen \"" + shown + "\" ist im Zeichensatz " +
                                      code_page_name(cp) + " nicht darstellbar");
    }
    out.push_back(static_cast<char>(*b));
  }
  return out;
}

}  // namespace mv
