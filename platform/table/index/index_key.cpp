#include "platform/table/index/index_key.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/base/bytes.h"

namespace mv::index {

const char* format_name(IndexFormat f) {
  switch (f) {
    case IndexFormat::Ntx: return "NTX";
    case IndexFormat::Cdx: return "CDX";
    case IndexFormat::Mdx: return "MDX";
  }
  return "?";
}

char key_type_letter(KeyType t) {
  switch (t) {
    case KeyType::Character: return 'C';
    case KeyType::Numeric: return 'N';
    case KeyType::Date: return 'D';
    case KeyType::Logical: return 'L';
  }
  return 'C';
}

namespace {

struct Umlauts {
  uint8_t ae_up, oe_up, ue_up, ae, oe, ue, sz;
};

Umlauts umlauts_of(CodePage cp) {
  if (cp == CodePage::Windows1252) return {0xC4, 0xD6, 0xDC, 0xE4, 0xF6, 0xFC, 0xDF};
  return {0x8E, 0x99, 0x9A, 0x84, 0x94, 0x81, 0xE1};  // 850 and 437 share them
}

}  // namespace

Collation Collation::machine() {
  Collation c;
  for (int i = 0; i < 256; ++i) c.weight_[i] = uint16_t(i);
  return c;
}

Collation Collation::german(CodePage cp) {
  Collation c;
  c.kind_ = Kind::German;
  c.cp_ = cp;
  Umlauts u = umlauts_of(cp);
  const uint8_t moved[] = {u.ae_up, u.oe_up, u.ue_up, u.ae, u.oe, u.ue, u.sz};
  auto is_moved = [&](int b) {
    for (uint8_t m : moved)
      if (m == b) return true;
    return false;
  };
  uint16_t w = 0;
  for (int b = 0; b < 256; ++b) {
    if (is_moved(b)) continue;
    c.weight_[b] = w++;
    switch (b) {
      case 'A': c.weight_[u.ae_up] = w++; break;
      case 'O': c.weight_[u.oe_up] = w++; break;
      case 'U': c.weight_[u.ue_up] = w++; break;
      case 'a': c.weight_[u.ae] = w++; break;
      case 'o': c.weight_[u.oe] = w++; break;
      case 'u': c.weight_[u.ue] = w++; break;
      case 's': c.weight_[u.sz] = w++; break;
      default: break;
    }
  }
  return c;
}

std::string Collation::describe() const {
  if (kind_ == Kind::Machine) return "Byte-Reihenfolge";
  return std::string("deutsche Sortierung (") + code_page_name(cp_) + ")";
}

bool Collation::moves(uint8_t b) const {
  if (kind_ == Kind::Machine) return false;
  const Umlauts u = umlauts_of(cp_);
  return b == u.ae_up || b == u.oe_up || b == u.ue_up || b == u.ae || b == u.oe || b == u.ue || b == u.sz;
}

int Collation::compare(const uint8_t* a, const uint8_t* b, size_t n) const {
  if (kind_ == Kind::Machine) {
    int r = std::memcmp(a, b, n);
    return r < 0 ? -1 : (r > 0 ? 1 : 0);
  }
  for (size_t i = 0; i < n; ++i) {
    if (a[i] != b[i]) return weight_[a[i]] < weight_[b[i]] ? -1 : 1;
  }
  return 0;
}

std::string upper_for(const Collation& c, std::string_view bytes) {
  std::string out(bytes);
  Umlauts u = umlauts_of(c.code_page());
  for (char& ch : out) {
    uint8_t b = uint8_t(ch);
    if (b >= 'a' && b <= 'z') ch = char(b - 32);
    else if (c.kind() == Collation::Kind::German) {
      if (b == u.ae) ch = char(u.ae_up);
      else if (b == u.oe) ch = char(u.oe_up);
      else if (b == u.ue) ch = char(u.ue_up);
    }
  }
  return out;
}

uint16_t stored_key_length(IndexFormat f, KeyType t, uint16_t char_length, uint16_t num_len) {
  switch (t) {
    case KeyType::Character: return char_length;
    case KeyType::Logical: return 1;
    case KeyType::Date: return 8;
    case KeyType::Numeric:
      if (f == IndexFormat::Cdx) return 8;
      if (f == IndexFormat::Mdx) return 12;
      return num_len;
  }
  return char_length;
}

// ---- NTX numbers ------------------------------------------------------------------

namespace {

// ntx_number() into out[0, len) without a formatter, for values whose printed digits the
// product value * 10^dec decides beyond doubt: below 10^12 (where that product is off by
// less than 2^-13) and not within 10^-3 of a half. False leaves the rest to ntx_number().
bool ntx_number_fast(double value, int len, int dec, uint8_t* out) {
  static constexpr double kPow10[] = {1e0, 1e1, 1e2, 1e3, 1e4, 1e5, 1e6, 1e7, 1e8, 1e9, 1e10, 1e11, 1e12};
  if (len <= 0 || dec < 0 || dec > 12 || !std::isfinite(value)) return false;
  const double a = std::fabs(value) * kPow10[dec];
  if (!(a < 1e12)) return false;
  const double whole = std::floor(a);
  const double frac = a - whole;
  if (std::fabs(frac - 0.5) < 1e-3) return false;
  uint64_t m = uint64_t(whole) + (frac > 0.5 ? 1 : 0);
  const bool negative = std::signbit(value);  // "%f" prints the sign of -0.001 too
  char buf[40];
  char* e = buf + sizeof buf;
  char* b = e;
  for (int i = 0; i < dec; ++i, m /= 10) *--b = char('0' + m % 10);
  if (dec) *--b = '.';
  do {
    *--b = char('0' + m % 10);
    m /= 10;
  } while (m);
  if (negative) *--b = '0';  // the minus sign, as the key writes it
  const int n = int(e - b);
  if (n > len) return false;
  std::memset(out, '0', size_t(len - n));
  std::memcpy(out + (len - n), b, size_t(n));
  if (negative)
    for (int i = 0; i < len; ++i)
      if (out[i] >= '0' && out[i] <= '9') out[i] = uint8_t(0x2C - (out[i] - '0'));
  return true;
}

}  // namespace

std::string ntx_number(double value, int len, int dec) {
  if (len <= 0) len = 10;
  if (dec < 0) dec = 0;
  char buf[400];
  int w = std::snprintf(buf, sizeof buf, "%*.*f", len, dec, value);
  std::string s;
  if (w < 0 || w > len) s.assign(size_t(len), '*');
  else s.assign(buf, size_t(w));
  bool negative = false;
  for (char& c : s) {
    if (c == ' ') c = '0';
    else if (c == '-') { c = '0'; negative = true; }
  }
  if (negative) {
    for (char& c : s)
      if (c >= '0' && c <= '9') c = char(0x2C - (c - '0'));
  }
  return s;
}

double ntx_number_value(std::span<const uint8_t> key) {
  bool negative = false;
  for (uint8_t b : key)
    if (b >= 0x23 && b <= 0x2C) negative = true;
  std::string s;
  for (uint8_t b : key) {
    if (negative && b >= 0x23 && b <= 0x2C) s += char('0' + (0x2C - b));
    else if (b == '*') return 0;
    else s += char(b);
  }
  double v = std::strtod(s.c_str(), nullptr);
  return negative ? -v : v;
}

// ---- CDX doubles ------------------------------------------------------------------

void cdx_double(double value, uint8_t out[8]) {
  if (value == 0) value = 0;  // -0.0 sorts as 0
  uint64_t bits;
  std::memcpy(&bits, &value, 8);
  if (value >= 0) bits |= 0x8000000000000000ull;
  else bits = ~bits;
  put_be64(out, bits);
}

double cdx_double_value(const uint8_t in[8]) {
  uint64_t bits = get_be64(in);
  if (bits & 0x8000000000000000ull) bits &= ~0x8000000000000000ull;
  else bits = ~bits;
  double v;
  std::memcpy(&v, &bits, 8);
  return v;
}

// ---- MDX BCD ----------------------------------------------------------------------

namespace {

// The digits d1..dn (most significant first) and the exponent into the BCD layout.
void put_bcd(const char* digits, size_t n, int exponent, bool negative, uint8_t out[12]) {
  out[0] = uint8_t(0x34 + exponent);
  out[1] = uint8_t((negative ? 0x80 : 0) | ((n & 0x1F) << 2) | 0x01);
  // Two digits to a byte, the first in the high half.
  size_t i = 0;
  for (; i + 2 <= n; i += 2) out[2 + i / 2] |= uint8_t(((digits[i] - '0') << 4) | (digits[i + 1] - '0'));
  if (i < n) out[2 + i / 2] |= uint8_t((digits[i] - '0') << 4);
}

// Most keys are amounts of a few decimals: a value that is the double nearest to m / 10^d
// for a small d gives the digits of m, without the text conversion. The exact value of
// such a double lies within half a unit of its last bit of m / 10^d, far less than half a
// unit of the 15th significant digit that the text conversion rounds to, so both give the
// same digits. False where the value is no such decimal.
bool short_decimal_bcd(double a, int frac, bool negative, uint8_t out[12]) {
  static constexpr double kPow10[] = {1, 10, 100, 1000, 1e4, 1e5, 1e6};
  if (!(a > 0 && a < 1e15)) return false;
  for (int d = 0; d <= 6 && d <= frac; ++d) {
    const double scaled = a * kPow10[d];
    if (scaled >= 9007199254740992.0) return false;  // 2^53: m must be exact
    const auto m = uint64_t(std::llround(scaled));
    if (m == 0 || double(m) / kPow10[d] != a) continue;
    char buf[24];
    const auto conv = std::to_chars(buf, buf + sizeof buf, m);
    size_t n = size_t(conv.ptr - buf);
    // n digits of which d after the decimal point.
    const int exponent = int(n) - d;
    while (n > 0 && buf[n - 1] == '0') --n;
    put_bcd(buf, n, exponent, negative, out);
    return true;
  }
  return false;
}

}  // namespace

void mdx_bcd(double value, uint8_t out[12]) {
  std::memset(out, 0, 12);
  bool negative = value < 0;
  double a = std::fabs(value);
  // Decimal digits of |value|: up to 15 significant digits, no exponent form.
  int int_digits = a >= 1 ? int(std::floor(std::log10(a))) + 1 : 0;
  int frac = std::max(0, 15 - int_digits);
  if (frac > 20) frac = 20;
  if (short_decimal_bcd(a, frac, negative, out)) return;
  // Text buffers only: keys are computed for every appended or changed record.
  char buf[400];
  // Fixed notation as printf("%.*f") gives it, without the formatting machinery.
  const auto conv = std::to_chars(buf, buf + sizeof buf, a, std::chars_format::fixed, frac);
  const std::string_view s(buf, conv.ec == std::errc() ? size_t(conv.ptr - buf) : 0);
  const size_t dot = s.find('.');
  std::string_view ip = dot == std::string_view::npos ? s : s.substr(0, dot);
  const std::string_view fp = dot == std::string_view::npos ? std::string_view() : s.substr(dot + 1);
  while (!ip.empty() && ip[0] == '0') ip.remove_prefix(1);
  std::string_view digits;
  char joined[sizeof buf];
  int exponent = int(ip.size());
  if (ip.empty()) {
    size_t lead = 0;
    while (lead < fp.size() && fp[lead] == '0') ++lead;
    if (lead == fp.size()) {  // zero
      out[0] = 0x34;
      out[1] = 0x01;
      return;
    }
    exponent = -int(lead);
    digits = fp.substr(lead);
  } else {
    std::memcpy(joined, ip.data(), ip.size());
    if (!fp.empty()) std::memcpy(joined + ip.size(), fp.data(), fp.size());  // none without a point
    digits = std::string_view(joined, ip.size() + fp.size());
  }
  while (!digits.empty() && digits.back() == '0') digits.remove_suffix(1);
  if (digits.size() > 20) digits = digits.substr(0, 20);
  put_bcd(digits.data(), digits.size(), exponent, negative, out);
}

namespace {
bool bcd_is_zero(const uint8_t* p) {
  for (int i = 2; i < 12; ++i)
    if (p[i]) return false;
  return true;
}
}  // namespace

uint64_t KeyCompare::prefix(const uint8_t* key) const {
  const size_t n = std::min<size_t>(keydef_.length, 8);
  uint64_t h = 0;
  if (keydef_.format == IndexFormat::Mdx && keydef_.type == KeyType::Numeric && keydef_.length >= 12) {
    // Sign class, then the exponent and the first digits, inverted for negative numbers.
    if (bcd_is_zero(key)) return uint64_t(1) << 62;
    const bool neg = key[1] & 0x80;
    h = key[0];
    for (int i = 2; i < 8; ++i) h = (h << 8) | key[i];
    if (neg) return (~h) & ((uint64_t(1) << 56) - 1);
    return (uint64_t(2) << 62) | h;
  }
  if (keydef_.format == IndexFormat::Mdx && keydef_.type == KeyType::Date && keydef_.length >= 8) {
    double d = le_double(key);
    if (d == 0) d = 0;  // -0 sorts with 0
    uint64_t u;
    std::memcpy(&u, &d, 8);
    return (u >> 63) ? ~u : (u | (uint64_t(1) << 63));
  }
  if (keydef_.type == KeyType::Character && !coll_.is_machine()) {
    const auto& w = coll_.weights();
    for (size_t i = 0; i < 8; ++i) h = (h << 8) | (i < n ? uint64_t(w[key[i]] & 0xFF) : 0);
    return h;
  }
  if (n == 8) {
    std::memcpy(&h, key, 8);
    return std::endian::native == std::endian::little ? __builtin_bswap64(h) : h;
  }
  for (size_t i = 0; i < 8; ++i) h = (h << 8) | (i < n ? uint64_t(key[i]) : 0);
  return h;
}

double mdx_bcd_value(const uint8_t in[12]) {
  if (bcd_is_zero(in)) return 0;
  int exponent = int(in[0]) - 0x34;
  double v = 0;
  for (int i = 0; i < 20; ++i) {
    uint8_t b = in[2 + i / 2];
    int d = i % 2 == 0 ? b >> 4 : b & 0x0F;
    v += d * std::pow(10.0, exponent - 1 - i);
  }
  return (in[1] & 0x80) ? -v : v;
}

int mdx_bcd_compare(const uint8_t* a, const uint8_t* b) {
  bool za = bcd_is_zero(a), zb = bcd_is_zero(b);
  int sa = za ? 0 : ((a[1] & 0x80) ? -1 : 1);
  int sb = zb ? 0 : ((b[1] & 0x80) ? -1 : 1);
  if (sa != sb) return sa < sb ? -1 : 1;
  if (sa == 0) return 0;
  int mag;
  if (a[0] != b[0]) mag = a[0] < b[0] ? -1 : 1;
  else {
    int r = std::memcmp(a + 2, b + 2, 10);
    mag = r < 0 ? -1 : (r > 0 ? 1 : 0);
  }
  return sa < 0 ? -mag : mag;
}

double le_double(const uint8_t* p) {
  uint64_t bits = get_le64(p);
  double d;
  std::memcpy(&d, &bits, 8);
  return d;
}

// ---- keys from values -------------------------------------------------------------

namespace {

void encode_number(const KeyDef& keydef, double num, uint8_t* out) {
  if (keydef.format == IndexFormat::Ntx) {
    if (!ntx_number_fast(num, int(keydef.length), keydef.decimals, out)) {
      std::string s = ntx_number(num, int(keydef.length), keydef.decimals);
      std::memcpy(out, s.data(), keydef.length);
    }
  } else if (keydef.format == IndexFormat::Cdx) {
    cdx_double(num, out);
  } else {
    mdx_bcd(num, out);
  }
}

void encode_date(const KeyDef& keydef, Date date, uint8_t* out) {
  if (keydef.format == IndexFormat::Ntx) {
    if (date.empty()) {
      std::memset(out, ' ', 8);
    } else {
      // "%04d%02d%02d" of the year (modulo 10000), month and day.
      int y, m, d;
      date.ymd(y, m, d);
      y %= 10000;
      if (y < 0 || m < 1 || m > 99 || d < 1 || d > 99) {
        char buf[16];
        std::snprintf(buf, sizeof buf, "%04d%02d%02d", y, m, d);
        std::memcpy(out, buf, 8);
        return;
      }
      out[0] = uint8_t('0' + y / 1000), out[1] = uint8_t('0' + y / 100 % 10);
      out[2] = uint8_t('0' + y / 10 % 10), out[3] = uint8_t('0' + y % 10);
      out[4] = uint8_t('0' + m / 10 % 10), out[5] = uint8_t('0' + m % 10);
      out[6] = uint8_t('0' + d / 10 % 10), out[7] = uint8_t('0' + d % 10);
    }
  } else if (keydef.format == IndexFormat::Cdx) {
    cdx_double(double(date.julian()), out);
  } else {
    double d = double(date.julian());
    uint64_t bits;
    std::memcpy(&bits, &d, 8);
    put_le64(out, bits);
  }
}

}  // namespace

Status encode_key(const KeyDef& keydef, const Value& v, uint8_t* out) {
  const size_t n = keydef.length;
  switch (keydef.type) {
    case KeyType::Character: {
      if (!v.is_char()) return Status::invalid_argument("Schlüsselwert ist kein Text");
      size_t m = std::min(n, v.str.size());
      std::memcpy(out, v.str.data(), m);
      std::memset(out + m, ' ', n - m);
      return Status::ok();
    }
    case KeyType::Logical:
      if (!v.is_logical()) return Status::invalid_argument("Schlüsselwert ist kein logischer Wert");
      out[0] = v.logical ? 'T' : 'F';
      return Status::ok();
    case KeyType::Numeric:
      if (!v.is_num()) return Status::invalid_argument("Schlüsselwert ist keine Zahl");
      encode_number(keydef, v.num, out);
      return Status::ok();
    case KeyType::Date:
      if (!v.is_date()) return Status::invalid_argument("Schlüsselwert ist kein Datum");
      encode_date(keydef, v.date, out);
      return Status::ok();
  }
  return Status::invalid_argument("unbekannter Schlüsseltyp");
}

namespace {

// The NTX key of a number field whose text is what STR() prints of its value in the key's
// width and decimals: blanks, a minus, at least one digit, the point and all decimals, at
// most 15 digits in all. Such a text holds the digits ntx_number() prints (the value read
// from it lies far closer to them than half a unit of the last decimal), and blanks,
// leading zeros and the minus all become '0' in the key: the text itself is the key, its
// digits mapped when the minus is there. False for any other text.
bool ntx_number_text(const char* p, size_t len, size_t dec, uint8_t* out) {
  const auto digit = [p](size_t k) { return uint8_t(p[k] - '0') <= 9; };
  size_t i = 0;
  while (i < len && p[i] == ' ') out[i++] = '0';
  const bool negative = i < len && p[i] == '-';
  if (negative) out[i++] = '0';
  const size_t first = i;
  for (; i < len && digit(i); ++i) out[i] = uint8_t(p[i]);
  size_t digits = i - first;
  if (digits == 0) return false;
  if (dec > 0) {
    if (len - i != dec + 1 || p[i] != '.') return false;
    for (out[i++] = '.'; i < len; ++i) {
      if (!digit(i)) return false;
      out[i] = uint8_t(p[i]);
    }
    digits += dec;
  } else if (i != len) {
    return false;
  }
  if (digits > 15) return false;
  if (negative) {
    // 0x2C - (c - '0') is 0x5C - c, which takes no byte below zero (all are below 0x5C):
    // eight at a time; the point is put back.
    size_t k = 0;
    for (; k + 8 <= len; k += 8) {
      uint64_t x;
      std::memcpy(&x, out + k, 8);
      x = 0x5C5C5C5C5C5C5C5Cull - x;
      std::memcpy(out + k, &x, 8);
    }
    for (; k < len; ++k) out[k] = uint8_t(0x5C - out[k]);
    if (dec > 0) out[len - dec - 1] = '.';
  }
  return true;
}

// The MDX key of a number field whose text is blanks, a minus, at least one digit and
// at most six decimals after a point, at most 14 digits in all. The value read from it is
// that decimal, which mdx_bcd() recognises at once (a shorter decimal it tries first
// would be the same number: no two decimals of 15 digits or fewer read as one double), so
// its key holds the text's digits without the zeros at either end. False for any other
// text.
bool mdx_number_text(const char* p, size_t len, uint8_t out[12]) {
  const auto digit = [p](size_t k) { return uint8_t(p[k] - '0') <= 9; };
  size_t i = 0;
  while (i < len && p[i] == ' ') ++i;
  const bool negative = i < len && p[i] == '-';
  if (negative) ++i;
  const size_t int_from = i;
  while (i < len && digit(i)) ++i;
  const size_t int_to = i;
  if (int_to == int_from) return false;
  size_t frac_from = len;
  if (i < len) {
    if (p[i] != '.') return false;
    frac_from = ++i;
    while (i < len && digit(i)) ++i;
    if (i != len || len - frac_from > 6) return false;
  }
  if ((int_to - int_from) + (len - frac_from) > 14) return false;
  char digits[16];
  size_t n = 0, k = int_from;
  while (k < int_to && p[k] == '0') ++k;
  for (; k < int_to; ++k) digits[n++] = p[k];
  int exponent = int(n);
  k = frac_from;
  if (n == 0)
    for (; k < len && p[k] == '0'; ++k) --exponent;  // a number below one
  for (; k < len; ++k) digits[n++] = p[k];
  while (n > 0 && digits[n - 1] == '0') --n;
  std::memset(out, 0, 12);
  if (n == 0) {  // zero, a minus or not
    out[0] = 0x34;
    out[1] = 0x01;
    return true;
  }
  put_bcd(digits, n, exponent, negative, out);
  return true;
}

// The eight stored bytes of a date field as year, month and day; false unless all are
// digits.
[[gnu::always_inline]] inline bool stored_ymd(const char* p, int& y, int& m, int& d) {
  uint64_t x;
  std::memcpy(&x, p, 8);
  // Every byte 0x30 to 0x39: high half 3, and still 3 with 6 added to the low half.
  constexpr uint64_t kHigh = 0xF0F0F0F0F0F0F0F0ull, kThrees = 0x3030303030303030ull;
  if ((x & kHigh) != kThrees || ((x + 0x0606060606060606ull) & kHigh) != kThrees) return false;
  const auto v = [p](int i) { return p[i] - '0'; };
  y = v(0) * 1000 + v(1) * 100 + v(2) * 10 + v(3);
  m = v(4) * 10 + v(5);
  d = v(6) * 10 + v(7);
  return true;
}

// UPPER() by a byte map (umlauts and other letters of the code page too).
void upper_mapped(uint8_t* __restrict p, size_t n, const unsigned char* __restrict map) {
  for (size_t i = 0; i < n; ++i) p[i] = map[p[i]];
}

// UPPER() of a-z, eight bytes at a time; the last word may overlap the one before, whose
// letters are upper case by then and stay as they are.
void upper_ascii(uint8_t* p, size_t n) {
  const auto word = [](uint8_t* q) {
    constexpr uint64_t kOnes = 0x0101010101010101ull, kHigh = 0x8080808080808080ull;
    uint64_t x;
    std::memcpy(&x, q, 8);
    const uint64_t low7 = x & ~kHigh;
    const uint64_t from_a = low7 + (0x80 - 'a') * kOnes;   // high bit: byte >= 'a'
    const uint64_t past_z = low7 + (0x80 - 'z' - 1) * kOnes;  // high bit: byte > 'z'
    x ^= (from_a & ~past_z & ~x & kHigh) >> 2;  // 0x80 >> 2 is the case bit
    std::memcpy(q, &x, 8);
  };
  if (n < 8) {
    for (size_t i = 0; i < n; ++i)
      if (p[i] >= 'a' && p[i] <= 'z') p[i] = uint8_t(p[i] - 32);
    return;
  }
  size_t i = 0;
  for (; i + 8 <= n; i += 8) word(p + i);
  if (i < n) word(p + n - 8);
}

// record_key() of a character key: the parts one after the other, cut to the key or
// padded with blanks.
bool text_key(size_t n, std::span<const RecordPart> parts, const uint8_t* record, size_t size, uint8_t* out) {
  size_t at = 0;
  for (const RecordPart& p : parts) {
    const FieldRef& f = p.field;
    const uint8_t* src = record + f.offset;
    if (p.kind == RecordPart::Kind::DToS) {
      if (f.storage != FieldStorage::DateText || f.len < 8 || size_t(f.offset) + 8 > size) return false;
      int y, mo, d;
      const bool valid = stored_ymd(reinterpret_cast<const char*>(src), y, mo, d) && Date::valid_ymd(y, mo, d);
      const uint8_t* from = valid ? src : reinterpret_cast<const uint8_t*>(p.empty_date);
      const size_t m = std::min<size_t>(8, n - at);
      if (m == 8) std::memcpy(out + at, from, 8);
      else std::memcpy(out + at, from, m);
      at += m;
      continue;
    }
    if (f.storage != FieldStorage::Character || f.len < 0 || size_t(f.offset) + size_t(f.len) > size) return false;
    const size_t m = std::min(size_t(f.len), n - at);
    copy_key(out + at, src, m);
    if (p.kind == RecordPart::Kind::Upper) {
      if (!p.upper) upper_ascii(out + at, m);
      else upper_mapped(out + at, m, p.upper);
    }
    at += m;
  }
  if (at < n) std::memset(out + at, ' ', n - at);
  return true;
}

// record_key() of a number or date key: one field.
bool field_key(const KeyDef& keydef, const FieldRef& f, const uint8_t* record, size_t size, uint8_t* out) {
  if (f.len < 0 || size_t(f.offset) + size_t(f.len) > size) return false;
  const char* src = reinterpret_cast<const char*>(record) + f.offset;
  if (keydef.type == KeyType::Numeric && f.storage == FieldStorage::NumericText) {
    if (keydef.format == IndexFormat::Ntx && keydef.length == f.len && keydef.decimals == f.dec &&
        ntx_number_text(src, keydef.length, keydef.decimals, out))
      return true;
    if (keydef.format == IndexFormat::Mdx && mdx_number_text(src, size_t(f.len), out)) return true;
    encode_number(keydef, stored_number(src, size_t(f.len)), out);
    return true;
  }
  if (keydef.type == KeyType::Date && f.storage == FieldStorage::DateText) {
    int y, m, d;
    if (f.len >= 8 && stored_ymd(src, y, m, d)) {
      if (keydef.format == IndexFormat::Ntx && Date::valid_ymd(y, m, d)) {
        std::memcpy(out, src, 8);  // a valid date is its own key
        return true;
      }
      encode_date(keydef, Date::from_ymd(y, m, d), out);
    } else {
      encode_date(keydef, Date(), out);
    }
    return true;
  }
  return false;
}

}  // namespace

bool record_key(const KeyDef& keydef, std::span<const RecordPart> parts, const uint8_t* record, size_t size,
                uint8_t* out) {
  if (parts.empty() || !record) return false;
  if (keydef.type == KeyType::Character) return text_key(keydef.length, parts, record, size, out);
  if (parts.size() != 1 || parts[0].kind != RecordPart::Kind::Field) return false;
  return field_key(keydef, parts[0].field, record, size, out);
}

std::string encode_key(const KeyDef& keydef, const Value& v) {
  std::string out(keydef.length, '\0');
  if (!encode_key(keydef, v, reinterpret_cast<uint8_t*>(out.data())).is_ok()) return {};
  return out;
}

Value decode_key(const KeyDef& keydef, std::span<const uint8_t> key) {
  switch (keydef.type) {
    case KeyType::Character:
      return Value::character(std::string(reinterpret_cast<const char*>(key.data()), key.size()));
    case KeyType::Logical:
      return Value::boolean(!key.empty() && (key[0] == 'T' || key[0] == 't' || key[0] == 'Y'));
    case KeyType::Numeric:
      if (keydef.format == IndexFormat::Ntx)
        return Value::numeric(ntx_number_value(key), keydef.length, keydef.decimals);
      if (key.size() < (keydef.format == IndexFormat::Cdx ? 8u : 12u)) return Value::numeric(0);
      if (keydef.format == IndexFormat::Cdx) return Value::numeric(cdx_double_value(key.data()));
      return Value::numeric(mdx_bcd_value(key.data()));
    case KeyType::Date: {
      if (key.size() < 8) return Value::of_date(Date());
      if (keydef.format == IndexFormat::Ntx) {
        auto num = [&](int from, int len) {
          int r = 0;
          for (int i = from; i < from + len; ++i) {
            if (key[i] < '0' || key[i] > '9') return -1;
            r = r * 10 + (key[i] - '0');
          }
          return r;
        };
        int y = num(0, 4), m = num(4, 2), d = num(6, 2);
        if (y < 0 || m < 0 || d < 0) return Value::of_date(Date());
        return Value::of_date(Date::from_ymd(y, m, d));
      }
      double d;
      if (keydef.format == IndexFormat::Cdx) d = cdx_double_value(key.data());
      else {
        uint64_t bits = get_le64(key.data());
        std::memcpy(&d, &bits, 8);
      }
      if (!(d > 0 && d < 1e8)) return Value::of_date(Date());
      return Value::of_date(Date::from_julian(int32_t(d)));
    }
  }
  return Value::nil();
}

Result<std::string> encode_search_key(const KeyDef& keydef, const Value& v) {
  if (keydef.type == KeyType::Character) {
    if (!v.is_char()) return Status::invalid_argument("Suchbegriff ist kein Text");
    std::string s = v.str;
    if (s.size() > keydef.length) s.resize(keydef.length);
    return s;
  }
  std::string out(keydef.length, '\0');
  MV_RETURN_IF_ERROR(encode_key(keydef, v, reinterpret_cast<uint8_t*>(out.data())));
  return out;
}

}  // namespace mv::index
