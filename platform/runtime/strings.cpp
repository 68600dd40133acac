#include "platform/runtime/strings.h"

#include <algorithm>
#include <array>
#include <cfloat>
#include <cmath>
#include <cstdio>
#include <cstring>

namespace mv {
namespace {

struct CaseMaps {
  std::array<unsigned char, 256> upper{};
  std::array<unsigned char, 256> lower{};
};

// Upper case of a Latin lower-case letter (Latin-1 Supplement, Latin Extended-A and the
// hooked f), the letter itself for anything else. These blocks hold every letter the
// supported code pages carry.
char32_t latin_upper(char32_t c) {
  if (c >= 0xE0 && c <= 0xFE && c != 0xF7) return c - 0x20;
  if (c == 0xFF) return 0x178;
  if (c == 0x192) return 0x191;
  if (c >= 0x100 && c <= 0x17F && c != 0x130 && c != 0x131 && c != 0x138 && c != 0x149 && c != 0x17F) {
    // Pairs: upper case on even code points, except in 0x139-0x148 and 0x179-0x17E.
    const bool odd_upper = (c >= 0x139 && c <= 0x148) || (c >= 0x179 && c <= 0x17E);
    const bool is_lower = odd_upper ? (c % 2 == 0) : (c % 2 == 1);
    return is_lower ? c - 1 : c;
  }
  return c;
}

CaseMaps build_maps(CaseFlavour flavour, CodePage cp) {
  CaseMaps m;
  for (int b = 0; b < 256; ++b) {
    m.upper[b] = static_cast<unsigned char>(b);
    m.lower[b] = static_cast<unsigned char>(b);
  }
  for (int b = 'a'; b <= 'z'; ++b) {
    m.upper[b] = static_cast<unsigned char>(b - 32);
    m.lower[b - 32] = static_cast<unsigned char>(b);
  }
  if (flavour == CaseFlavour::Full) {
    // Only non-ASCII pairs: dotless i keeps its byte although its upper case is "I".
    for (int b = 0x80; b < 256; ++b) {
      const char32_t lo = cp_decode(cp, static_cast<unsigned char>(b));
      const char32_t up = latin_upper(lo);
      if (up == lo || up < 0x80) continue;
      if (auto ub = cp_encode(cp, up); ub && *ub >= 0x80) {
        m.upper[b] = *ub;
        m.lower[*ub] = static_cast<unsigned char>(b);
      }
    }
  }
  if (flavour == CaseFlavour::German) {
    // The umlauts wherever the code page keeps them; sharp s has no upper case form.
    static const char32_t kPairs[][2] = {{U'ä', U'Ä'}, {U'ö', U'Ö'}, {U'ü', U'Ü'}};
    for (const auto& p : kPairs) {
      auto lo = cp_encode(cp, p[0]);
      auto up = cp_encode(cp, p[1]);
      if (lo && up) {
        m.upper[*lo] = *up;
        m.lower[*up] = *lo;
      }
    }
  }
  return m;
}

const CaseMaps& maps_of(CaseFlavour flavour, CodePage cp) {
  static const CaseMaps kAscii = build_maps(CaseFlavour::Ascii, CodePage::Windows1252);
  static const CaseMaps k1252 = build_maps(CaseFlavour::German, CodePage::Windows1252);
  static const CaseMaps k850 = build_maps(CaseFlavour::German, CodePage::Cp850);
  static const CaseMaps k437 = build_maps(CaseFlavour::German, CodePage::Cp437);
  static const CaseMaps kFull1252 = build_maps(CaseFlavour::Full, CodePage::Windows1252);
  static const CaseMaps kFull850 = build_maps(CaseFlavour::Full, CodePage::Cp850);
  static const CaseMaps kFull437 = build_maps(CaseFlavour::Full, CodePage::Cp437);
  if (flavour == CaseFlavour::Ascii) return kAscii;
  if (flavour == CaseFlavour::Full) {
    switch (cp) {
      case CodePage::Windows1252: return kFull1252;
      case CodePage::Cp850: return kFull850;
      case CodePage::Cp437: return kFull437;
    }
  }
  switch (cp) {
    case CodePage::Windows1252: return k1252;
    case CodePage::Cp850: return k850;
    case CodePage::Cp437: return k437;
  }
  return kAscii;
}

NumberSeparators g_separators;

bool is_blankish(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

// Fixed-point text of n with `dec` decimals, no padding ("-12.50").
std::string fixed_text(double n, int dec) {
  if (!std::isfinite(n)) return std::string();
  dec = std::clamp(dec, 0, 15);
  // Round half away from zero on the decimal value, as xBase does (printf rounds the
  // binary value, which turns 2.675 into 2.67).
  double scale = std::pow(10.0, dec);
  double r = std::round(n * scale * (1 + 4 * DBL_EPSILON)) / scale;
  if (r == 0) r = 0;  // no "-0"
  char buf[400];
  int k = std::snprintf(buf, sizeof buf, "%.*f", dec, r);
  if (k < 0 || k >= static_cast<int>(sizeof buf)) return std::string();
  return std::string(buf, static_cast<size_t>(k));
}

}  // namespace

const unsigned char* upper_map(CaseFlavour flavour, CodePage cp) { return maps_of(flavour, cp).upper.data(); }
const unsigned char* lower_map(CaseFlavour flavour, CodePage cp) { return maps_of(flavour, cp).lower.data(); }

namespace {
// Case change of one range of ASCII letters in eight bytes at once: a byte gets bit 0x20
// flipped when it lies in [first, last]; bytes from 0x80 up are never touched.
template <unsigned char kFirst, unsigned char kLast>
void flip_case_range(char* p, size_t n) {
  constexpr uint64_t kOnes = 0x0101010101010101ull;
  constexpr uint64_t kHigh = 0x8080808080808080ull;
  size_t i = 0;
  for (; i + 8 <= n; i += 8) {
    uint64_t x;
    std::memcpy(&x, p + i, 8);
    uint64_t low7 = x & ~kHigh;
    uint64_t ge_first = low7 + (0x80 - kFirst) * kOnes;    // high bit: byte >= first
    uint64_t gt_last = low7 + (0x80 - kLast - 1) * kOnes;  // high bit: byte > last
    uint64_t in_range = ge_first & ~gt_last & ~x & kHigh;
    x ^= in_range >> 2;  // 0x80 >> 2 == 0x20
    std::memcpy(p + i, &x, 8);
  }
  for (; i < n; ++i) {
    unsigned char c = static_cast<unsigned char>(p[i]);
    if (c >= kFirst && c <= kLast) p[i] = static_cast<char>(c ^ 0x20);
  }
}
}  // namespace

void ascii_upper_bytes(char* p, size_t n) { flip_case_range<'a', 'z'>(p, n); }
void ascii_lower_bytes(char* p, size_t n) { flip_case_range<'A', 'Z'>(p, n); }

void upper_in_place(std::string& s, CaseFlavour flavour, CodePage cp) {
  if (flavour == CaseFlavour::Ascii) return ascii_upper_bytes(s.data(), s.size());
  const unsigned char* m = upper_map(flavour, cp);
  for (char& c : s) c = static_cast<char>(m[static_cast<unsigned char>(c)]);
}

void lower_in_place(std::string& s, CaseFlavour flavour, CodePage cp) {
  if (flavour == CaseFlavour::Ascii) return ascii_lower_bytes(s.data(), s.size());
  const unsigned char* m = lower_map(flavour, cp);
  for (char& c : s) c = static_cast<char>(m[static_cast<unsigned char>(c)]);
}

std::string str_upper(std::string_view s, CaseFlavour flavour, CodePage cp) {
  std::string r(s);
  upper_in_place(r, flavour, cp);
  return r;
}

std::string str_lower(std::string_view s, CaseFlavour flavour, CodePage cp) {
  std::string r(s);
  lower_in_place(r, flavour, cp);
  return r;
}

std::string_view str_rtrim(std::string_view s) {
  while (!s.empty() && s.back() == ' ') s.remove_suffix(1);
  return s;
}

std::string_view str_ltrim(std::string_view s) {
  while (!s.empty() && s.front() == ' ') s.remove_prefix(1);
  return s;
}

std::string_view str_alltrim(std::string_view s) { return str_ltrim(str_rtrim(s)); }

std::string str_padr(std::string_view s, int64_t len, char fill) {
  if (len <= 0) return std::string();
  size_t n = static_cast<size_t>(len);
  if (s.size() >= n) return std::string(s.substr(0, n));
  std::string r(s);
  r.append(n - s.size(), fill);
  return r;
}

std::string str_padl(std::string_view s, int64_t len, char fill) {
  if (len <= 0) return std::string();
  size_t n = static_cast<size_t>(len);
  if (s.size() >= n) return std::string(s.substr(0, n));
  std::string r(n - s.size(), fill);
  r.append(s);
  return r;
}

std::string str_padc(std::string_view s, int64_t len, char fill) {
  if (len <= 0) return std::string();
  size_t n = static_cast<size_t>(len);
  if (s.size() >= n) return std::string(s.substr(0, n));
  size_t left = (n - s.size()) / 2;
  std::string r(left, fill);
  r.append(s);
  r.append(n - r.size(), fill);
  return r;
}

std::string_view str_substr(std::string_view s, int64_t start, int64_t count) {
  const int64_t size = static_cast<int64_t>(s.size());
  if (start < 0) start = std::max<int64_t>(size + start + 1, 1);
  if (start == 0) start = 1;
  if (start > size || count <= 0) return std::string_view();
  int64_t avail = size - (start - 1);
  return s.substr(static_cast<size_t>(start - 1), static_cast<size_t>(std::min(count, avail)));
}

std::string_view str_left(std::string_view s, int64_t n) {
  if (n <= 0) return std::string_view();
  return s.substr(0, static_cast<size_t>(std::min<int64_t>(n, static_cast<int64_t>(s.size()))));
}

std::string_view str_right(std::string_view s, int64_t n) {
  if (n <= 0) return std::string_view();
  size_t k = static_cast<size_t>(std::min<int64_t>(n, static_cast<int64_t>(s.size())));
  return s.substr(s.size() - k);
}

int default_str_len(const Value& v, int dec) {
  if (v.len > 0) return v.len;
  return 10 + (dec > 0 ? dec + 1 : 0);
}

std::string str_str(double n, int len, int dec) {
  if (dec < 0) dec = 0;
  if (len < 0) len = 10 + (dec > 0 ? dec + 1 : 0);
  if (len == 0) return std::string();
  // Decimals that cannot fit beside at least one digit are dropped.
  if (dec > 0 && dec + 2 > len) dec = std::max(0, len - 2);
  std::string t = fixed_text(n, dec);
  if (t.empty() || t.size() > static_cast<size_t>(len)) return std::string(static_cast<size_t>(len), '*');
  return std::string(static_cast<size_t>(len) - t.size(), ' ') + t;
}

std::string str_strzero(double n, int len, int dec) {
  std::string s = str_str(n, len, dec);
  if (!s.empty() && s[0] == '*') return s;
  size_t first = s.find_first_not_of(' ');
  if (first == std::string::npos) return s;
  bool negative = s[first] == '-';
  for (size_t i = 0; i < first; ++i) s[i] = '0';
  if (negative) {
    s[first] = '0';
    s[0] = '-';
  }
  return s;
}

double str_val(std::string_view s, int* decimals) {
  size_t i = 0;
  while (i < s.size() && is_blankish(s[i])) ++i;
  std::string num;
  if (i < s.size() && (s[i] == '-' || s[i] == '+')) num.push_back(s[i++]);
  int dec = 0;
  bool digits = false;
  while (i < s.size() && s[i] >= '0' && s[i] <= '9') {
    num.push_back(s[i++]);
    digits = true;
  }
  if (i < s.size() && s[i] == '.') {
    num.push_back(s[i++]);
    while (i < s.size() && s[i] >= '0' && s[i] <= '9') {
      num.push_back(s[i++]);
      ++dec;
      digits = true;
    }
  }
  if (decimals) *decimals = dec;
  if (!digits) return 0;
  return std::strtod(num.c_str(), nullptr);
}

int64_t str_at(std::string_view needle, std::string_view hay) {
  if (needle.empty()) return 0;
  size_t p = hay.find(needle);
  return p == std::string_view::npos ? 0 : static_cast<int64_t>(p) + 1;
}

int64_t str_rat(std::string_view needle, std::string_view hay) {
  if (needle.empty()) return 0;
  size_t p = hay.rfind(needle);
  return p == std::string_view::npos ? 0 : static_cast<int64_t>(p) + 1;
}

bool value_empty(const Value& v) {
  switch (v.type) {
    case ValueType::Nil: return true;
    case ValueType::Character:
      return std::all_of(v.str.begin(), v.str.end(), is_blankish);
    case ValueType::Numeric: return v.num == 0;
    case ValueType::Date: return v.date.empty();
    case ValueType::Logical: return !v.logical;
  }
  return true;
}

int compare_text_nonexact(std::string_view a, std::string_view b) {
  size_t n = std::min(a.size(), b.size());
  if (n > 0) {
    int c = std::memcmp(a.data(), b.data(), n);
    if (c != 0) return c < 0 ? -1 : 1;
  }
  if (b.size() <= a.size()) return 0;
  return -1;
}

std::string str_descend(std::string_view s) {
  std::string r(s);
  for (char& c : r) {
    unsigned char b = static_cast<unsigned char>(c);
    c = static_cast<char>(b == 0 ? 0 : 256 - b);
  }
  return r;
}

std::string value_to_text(const Value& v) {
  switch (v.type) {
    case ValueType::Nil: return "NIL";
    case ValueType::Character: return v.str;
    case ValueType::Numeric: {
      std::string s = str_str(v.num, default_str_len(v, v.dec), v.dec);
      return std::string(str_ltrim(s));
    }
    case ValueType::Date: return dtoc(v.date);
    case ValueType::Logical: return v.logical ? ".T." : ".F.";
  }
  return std::string();
}

NumberSeparators number_separators() { return g_separators; }
void set_number_separators(NumberSeparators seps) { g_separators = seps; }

namespace {

// A number through a template of "9" / "#" digits with "," and "." separators.
std::string transform_number(double n, std::string_view tpl) {
  size_t point = tpl.find('.');
  int dec = 0;
  if (point != std::string_view::npos)
    for (size_t i = point + 1; i < tpl.size(); ++i)
      if (tpl[i] == '9' || tpl[i] == '#') ++dec;
  std::string digits = fixed_text(std::fabs(n), dec);  // "1234.50"
  bool negative = n < 0 && digits.find_first_not_of("0.") != std::string::npos;
  size_t dp = digits.find('.');
  std::string whole = digits.substr(0, dp);
  std::string frac = dp == std::string::npos ? std::string() : digits.substr(dp + 1);
  if (whole == "0") whole.clear();  // "999.99" shows 0.5 as "  0,50" below
  size_t whole_end = point == std::string_view::npos ? tpl.size() : point;
  size_t slots = 0;
  for (size_t i = 0; i < whole_end; ++i)
    if (tpl[i] == '9' || tpl[i] == '#') ++slots;
  if (whole.empty() && dec > 0 && slots > 0) whole = "0";
  if (whole.empty() && dec == 0) whole = "0";
  if (whole.size() + (negative ? 1 : 0) > slots) return std::string(tpl.size(), '*');
  std::string out(tpl.size(), ' ');
  // Whole part, right to left.
  int wi = static_cast<int>(whole.size()) - 1;
  bool sign_done = !negative;
  for (int i = static_cast<int>(whole_end) - 1; i >= 0; --i) {
    char t = tpl[static_cast<size_t>(i)];
    if (t == '9' || t == '#') {
      if (wi >= 0) out[static_cast<size_t>(i)] = whole[static_cast<size_t>(wi--)];
      else if (!sign_done) { out[static_cast<size_t>(i)] = '-'; sign_done = true; }
    } else if (t == ',') {
      out[static_cast<size_t>(i)] = wi >= 0 ? g_separators.thousands : ' ';
    } else {
      out[static_cast<size_t>(i)] = t;
    }
  }
  if (point != std::string_view::npos) {
    out[point] = g_separators.decimal;
    size_t fi = 0;
    for (size_t i = point + 1; i < tpl.size(); ++i) {
      char t = tpl[i];
      if (t == '9' || t == '#') out[i] = fi < frac.size() ? frac[fi++] : '0';
      else out[i] = t;
    }
  }
  return out;
}

}  // namespace

std::string str_transform(const Value& v, std::string_view picture) {
  bool upper = false;
  std::string_view tpl = picture;
  if (tpl.size() >= 1 && tpl[0] == '@') {
    size_t sp = tpl.find(' ');
    std::string_view functions = tpl.substr(1, sp == std::string_view::npos ? std::string_view::npos : sp - 1);
    for (char f : functions)
      if (f == '!') upper = true;
    tpl = sp == std::string_view::npos ? std::string_view() : tpl.substr(sp + 1);
  }
  std::string out;
  switch (v.type) {
    case ValueType::Nil: return std::string();
    case ValueType::Logical:
      out = v.logical ? "T" : "F";
      break;
    case ValueType::Date: out = dtoc(v.date); break;
    case ValueType::Numeric:
      if (tpl.empty()) out = str_str(v.num, default_str_len(v, v.dec), v.dec);
      else out = transform_number(v.num, tpl);
      break;
    case ValueType::Character:
      if (tpl.empty()) {
        out = v.str;
      } else {
        out.reserve(tpl.size());
        size_t si = 0;
        for (char t : tpl) {
          switch (t) {
            case '!': case '9': case '#': case 'A': case 'N': case 'X': case 'L': case 'Y': {
              char c = si < v.str.size() ? v.str[si] : ' ';
              ++si;
              if (t == '!' && c >= 'a' && c <= 'z') c = static_cast<char>(c - 32);
              out.push_back(c);
              break;
            }
            default:
              out.push_back(t);
          }
        }
      }
      break;
  }
  if (upper) upper_in_place(out, CaseFlavour::Ascii, CodePage::Windows1252);
  return out;
}

}  // namespace mv
