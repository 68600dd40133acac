#include "platform/table/field_codec.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>

#include "platform/base/bytes.h"

namespace mv {

namespace {

constexpr int32_t kJulianOfDayZero = 1721425;  // day ordinal 1 = 0001-01-01
constexpr int64_t kMsPerDay = 86400000;

// Field bytes end in blanks or, where other writers left them, NULs.
std::string_view trim_blanks_and_nuls(std::string_view s) {
  size_t a = 0, b = s.size();
  while (a < b && (s[a] == ' ' || s[a] == '\0')) ++a;
  while (b > a && (s[b - 1] == ' ' || s[b - 1] == '\0')) --b;
  return s.substr(a, b - a);
}

double from_be_double(const uint8_t* p) {
  uint64_t bits = get_be64(p);
  double d;
  memcpy(&d, &bits, 8);
  return d;
}

double from_le_double(const uint8_t* p) {
  uint64_t bits = get_le64(p);
  double d;
  memcpy(&d, &bits, 8);
  return d;
}

// "YYYYMMDDhhmmss" of a Julian day and milliseconds since midnight.
std::string timestamp_text(int64_t jd, int64_t ms) {
  if (jd <= 0 || jd > 0x7FFFFFFF) return std::string();
  Date d = Date::from_julian(int32_t(jd));
  int y, m, dd;
  d.ymd(y, m, dd);
  if (ms < 0) ms = 0;
  int64_t secs = ms / 1000;
  char buf[32];
  snprintf(buf, sizeof buf, "%04d%02d%02d%02d%02d%02d", y % 10000, m, dd, int(secs / 3600 % 24),
           int(secs / 60 % 60), int(secs % 60));
  return buf;
}

int32_t level7_int(const uint8_t* p) { return int32_t(get_be32(p) ^ 0x80000000u); }

}  // namespace

double parse_number(std::string_view text) {
  std::string_view t = trim_blanks_and_nuls(text);
  if (t.empty()) return 0;
  if (t.front() == '+') t.remove_prefix(1);
  double v = 0;
  auto r = std::from_chars(t.data(), t.data() + t.size(), v, std::chars_format::fixed);
  if (r.ec != std::errc()) {
    // "-.5" and "5." are written by some programs.
    std::string fixed(t);
    if (!fixed.empty() && fixed.back() == '.') fixed.pop_back();
    size_t dot = fixed.find('.');
    if (dot == 0 || (dot == 1 && fixed[0] == '-')) fixed.insert(dot, "0");
    r = std::from_chars(fixed.data(), fixed.data() + fixed.size(), v, std::chars_format::fixed);
    if (r.ec != std::errc()) return 0;
  }
  return v;
}

namespace {

constexpr double kPow10[] = {1e0, 1e1, 1e2, 1e3, 1e4, 1e5, 1e6, 1e7, 1e8, 1e9, 1e10, 1e11, 1e12, 1e13, 1e14, 1e15};

// The nudge that lets a decimal stored a hair below its half (2.675) round up.
double nudged(double scaled) { return scaled + std::copysign(std::abs(scaled) * 4 * 2.220446049250313e-16, scaled); }

// Half away from zero, with room for the binary representation of decimals (2.675).
double rounded_scaled(double value, double p) {
  double r = std::round(nudged(value * p));
  return r == 0 ? 0 : r;  // no "-0.00"
}

constexpr uint64_t kPow10Int[] = {1,           10,           100,           1000,           10000,
                                  100000,      1000000,      10000000,      100000000,      1000000000,
                                  10000000000, 100000000000, 1000000000000, 10000000000000, 100000000000000,
                                  1000000000000000};

// "00" to "99", for writing two digits per step.
constexpr char kDigitPairs[] =
    "00010203040506070809101112131415161718192021222324252627282930313233343536373839"
    "40414243444546474849505152535455565758596061626364656667686970717273747576777879"
    "8081828384858687888990919293949596979899";

// `count` digits of m (zero-padded) written before `end`, two at a time.
template <typename U>
void put_digits(U m, char* end, uint32_t count) {
  for (; count >= 2; count -= 2) {
    const U q = m / 100;
    end -= 2;
    std::memcpy(end, kDigitPairs + 2 * (m - q * 100), 2);
    m = q;
  }
  if (count) end[-1] = char('0' + m % 10);
}

// The number times 10^dec, rounded half away from zero and nudged as rounded_scaled does,
// written right-aligned into out[0, len) from its digits: what the printed quotient
// r / 10^dec gives while r stays below 10^15, without a formatter or an allocation. False
// when it does not fit or is too large for this way; nothing is written then.
bool put_scaled(double value, uint32_t len, uint32_t dec, char* out) {
  if (dec > 15 || len > 64) return false;
  const double x = nudged(value * kPow10[dec]);
  if (!(std::abs(x) < 1e15)) return false;  // also NaN; a value rounding up to 10^15 is refused below
  // Rounding by hand (x - trunc(x) is exact at this size): what std::round gives.
  int64_t r = int64_t(x);
  const double frac = x - double(r);
  r += int64_t(frac >= 0.5) - int64_t(frac <= -0.5);
  const uint64_t m = uint64_t(r < 0 ? -r : r);
  if (m >= 1000000000000000ull) return false;
  // The width first (digits, at least one before the point; the point; the sign), so
  // nothing is written for a value that does not fit. The number of digits from the
  // highest bit, corrected by one comparison.
  const uint32_t t = ((64 - uint32_t(__builtin_clzll(m | 1))) * 1233) >> 12;
  const uint32_t digits = std::max(t + 1 - uint32_t(m < kPow10Int[t]), dec + 1);
  const uint32_t n = digits + (dec ? 1 : 0) + (r < 0 ? 1 : 0);
  if (n > len) return false;
  blank_field_bytes(reinterpret_cast<uint8_t*>(out), len - n);
  char* const end = out + len;
  // The whole part and the decimals apart, in 32 bits where the number allows (the
  // shorter multiplications).
  char* const point = end - dec - (dec ? 1 : 0);
  if (m <= 0xFFFFFFFFu && dec <= 9) {
    const uint32_t m32 = uint32_t(m), p = uint32_t(kPow10Int[dec]);
    const uint32_t whole = m32 / p;
    put_digits<uint32_t>(m32 - whole * p, end, dec);
    put_digits<uint32_t>(whole, point, digits - dec);
  } else {
    const uint64_t whole = m / kPow10Int[dec];
    put_digits<uint64_t>(m - whole * kPow10Int[dec], end, dec);
    put_digits<uint64_t>(whole, point, digits - dec);
  }
  if (dec) end[-int(dec) - 1] = '.';
  if (r < 0) out[len - n] = '-';
  return true;
}

}  // namespace

std::string format_number(double value, uint32_t len, uint32_t dec) {
  if (!std::isfinite(value) || len == 0 || len > 64) return std::string();
  double p = dec < 16 ? kPow10[dec] : std::pow(10.0, dec);
  double r = rounded_scaled(value, p);
  char buf[400];
  auto res = std::to_chars(buf, buf + sizeof buf, r / p, std::chars_format::fixed, int(dec));
  if (res.ec != std::errc()) return std::string();
  size_t n = size_t(res.ptr - buf);
  if (n > len) return std::string();
  return std::string(len - n, ' ') + std::string(buf, n);
}

uint32_t get_memo_pointer(const FieldInfo& f, const uint8_t* rec) {
  const uint8_t* p = rec + f.offset;
  if (f.length == 4) return get_le32(p);
  uint64_t v = 0;
  bool any = false;
  for (uint32_t i = 0; i < f.length; ++i) {
    uint8_t c = p[i];
    if (c >= '0' && c <= '9') {
      v = v * 10 + (c - '0');
      any = true;
      if (v > 0xFFFFFFFFu) return 0;
    } else if (c != ' ' && c != 0) {
      return 0;
    }
  }
  return any ? uint32_t(v) : 0;
}

void put_memo_pointer(const FieldInfo& f, uint8_t* rec, uint32_t block) {
  uint8_t* p = rec + f.offset;
  if (f.length == 4) {
    put_le32(p, block);
    return;
  }
  memset(p, ' ', f.length);
  if (block == 0) return;
  std::string s = std::to_string(block);
  if (s.size() > f.length) return;
  memcpy(p + f.length - s.size(), s.data(), s.size());
}

Value decode_field(const FieldInfo& f, const uint8_t* rec, uint8_t version) {
  const uint8_t* p = rec + f.offset;
  std::string_view raw(reinterpret_cast<const char*>(p), f.length);
  switch (f.type) {
    case 'C':
      return Value::character(std::string(raw));
    case 'N':
    case 'F':
      return Value::numeric(parse_number(raw), int(f.length), f.decimals);
    case 'D': {
      if (f.length != 8) return Value::of_date(Date());
      int v[3] = {0, 0, 0};
      const int widths[3] = {4, 2, 2};
      size_t pos = 0;
      for (int i = 0; i < 3; ++i) {
        for (int k = 0; k < widths[i]; ++k, ++pos) {
          char c = raw[pos];
          if (c < '0' || c > '9') return Value::of_date(Date());
          v[i] = v[i] * 10 + (c - '0');
        }
      }
      return Value::of_date(Date::from_ymd(v[0], v[1], v[2]));
    }
    case 'L': {
      char c = f.length ? raw[0] : ' ';
      return Value::boolean(c == 'T' || c == 't' || c == 'Y' || c == 'y');
    }
    case 'I':
      if (f.length != 4) break;
      return Value::numeric(dbf::is_level7(version) ? level7_int(p) : int32_t(get_le32(p)), 11, 0);
    case '+':
      if (f.length != 4) break;
      return Value::numeric(level7_int(p), 11, 0);
    case 'Y':
      if (f.length != 8) break;
      return Value::numeric(double(int64_t(get_le64(p))) / 10000.0, 20, 4);
    case 'B':
      if (f.length != 8) break;
      return Value::numeric(from_le_double(p), 20, f.decimals);
    case 'O': {
      if (f.length != 8) break;
      uint8_t b[8];
      memcpy(b, p, 8);
      if (b[0] & 0x80) {
        b[0] ^= 0x80;
      } else {
        for (auto& x : b) x = uint8_t(~x);
      }
      return Value::numeric(from_be_double(b), 20, f.decimals);
    }
    case 'T': {
      if (f.length != 8) break;
      return Value::character(timestamp_text(int32_t(get_le32(p)), int32_t(get_le32(p + 4))));
    }
    case '@': {
      if (f.length != 8) break;
      static const uint8_t zero[8] = {};
      if (memcmp(p, zero, 8) == 0) return Value::character(std::string());
      double ms = from_be_double(p);
      if (!std::isfinite(ms) || ms < 0 || ms > 1e17) return Value::character(std::string());
      int64_t total = int64_t(ms);
      int64_t days = total / kMsPerDay;
      return Value::character(timestamp_text(kJulianOfDayZero + days, total % kMsPerDay));
    }
    default:
      break;
  }
  return Value::character(std::string(raw));
}

bool field_is_blank(const FieldInfo& f, const uint8_t* rec, const HeaderInfo& h) {
  if (f.null_bit >= 0 && h.null_flags_field >= 0) {
    const FieldInfo& nf = h.fields[size_t(h.null_flags_field)];
    uint32_t byte = uint32_t(f.null_bit) / 8;
    if (byte < nf.length && (rec[nf.offset + byte] >> (f.null_bit % 8)) & 1) return true;
  }
  const uint8_t* p = rec + f.offset;
  switch (f.type) {
    case 'I': case '+': case 'Y': case 'T': case '@': case 'B': case 'O':
      if (f.length == 4 || f.length == 8) {
        if (f.type == 'I' && !dbf::is_level7(h.version)) return false;
        if (f.type == 'Y' || f.type == 'B') return false;
        for (uint32_t i = 0; i < f.length; ++i)
          if (p[i] != 0) return false;
        return true;
      }
      break;
    default:
      break;
  }
  for (uint32_t i = 0; i < f.length; ++i)
    if (p[i] != ' ' && p[i] != 0) {
      if (f.type == 'L' && p[i] == '?') continue;
      return false;
    }
  return true;
}

bool encode_field_fast(const FieldInfo& f, const Value& v, uint8_t* rec) {
  uint8_t* p = rec + f.offset;
  switch (v.type) {
    case ValueType::Character: {
      if (f.type != 'C') return false;
      const size_t n = v.str.size();
      if (n > f.length) return false;  // the rest must be blank: encode_field looks
      const uint8_t* text = reinterpret_cast<const uint8_t*>(v.str.data());
      if (n < f.length) blank_field_bytes(p + n, f.length - n);
      copy_field_bytes(p, text, n);
      return true;
    }
    case ValueType::Numeric:
      if (f.type != 'N' && f.type != 'F') return false;
      return std::isfinite(v.num) && f.length > 0 && f.length <= 64 &&
             put_scaled(v.num, f.length, f.decimals, reinterpret_cast<char*>(p));
    case ValueType::Date: {
      if (f.type != 'D' || f.length != 8) return false;
      if (v.date.empty()) {
        blank_field_bytes(p, 8);
        return true;
      }
      int y, m, d;
      v.date.ymd(y, m, d);
      if (y < 1 || y > 9999) return false;
      std::memcpy(p, kDigitPairs + 2 * (y / 100), 2);
      std::memcpy(p + 2, kDigitPairs + 2 * (y % 100), 2);
      std::memcpy(p + 4, kDigitPairs + 2 * m, 2);
      std::memcpy(p + 6, kDigitPairs + 2 * d, 2);
      return true;
    }
    case ValueType::Logical:
      if (f.type != 'L' || f.length < 1) return false;
      p[0] = v.logical ? 'T' : 'F';
      if (f.length > 1) blank_field_bytes(p + 1, f.length - 1);
      return true;
    case ValueType::Nil:
      blank_field_bytes(p, f.length);
      return true;
  }
  return false;
}

Status encode_field(const FieldInfo& f, const Value& v, uint8_t* rec, bool cut_text) {
  if (encode_field_fast(f, v, rec)) return Status::ok();
  // What the quick way left: texts longer than the field, other field types, and the
  // refusals with their reasons.
  uint8_t* p = rec + f.offset;
  auto mismatch = [&]() {
    return Status::invalid_argument("Feld " + f.name + ": der Wert hat den falschen Typ für ein Feld vom Typ " +
                                    std::string(1, f.type));
  };
  switch (f.type) {
    case 'C': {
      if (!v.is_char()) return mismatch();
      const std::string& s = v.str;
      if (s.size() > f.length && !cut_text) {
        for (size_t i = f.length; i < s.size(); ++i)
          if (s[i] != ' ')
            return Status::invalid_argument("Feld " + f.name + ": der Text ist länger als " +
                                            std::to_string(f.length) + " Zeichen");
      }
      size_t n = std::min<size_t>(s.size(), f.length);
      memcpy(p, s.data(), n);
      memset(p + n, ' ', f.length - n);
      return Status::ok();
    }
    case 'N':
    case 'F': {
      if (!v.is_num()) return mismatch();
      std::string s = format_number(v.num, f.length, f.decimals);
      if (s.empty())
        return Status::invalid_argument("Feld " + f.name + ": der Wert passt nicht in die Feldlänge " +
                                        std::to_string(f.length) + " mit " + std::to_string(f.decimals) +
                                        " Dezimalstellen");
      memcpy(p, s.data(), f.length);
      return Status::ok();
    }
    case 'D': {
      if (!v.is_date()) return mismatch();
      if (f.length != 8) return Status::not_supported("Feld " + f.name + ": ungültige Länge für ein Datum");
      // The quick way writes every other date.
      return Status::invalid_argument("Feld " + f.name + ": das Jahr liegt außerhalb von 1 bis 9999");
    }
    case 'L':
      if (!v.is_logical()) return mismatch();
      // The quick way writes every field with room for the letter.
      return Status::not_supported("Feld " + f.name + ": Länge 0");
    default:
      return Status::not_supported("Feld " + f.name + ": Felder vom Typ " + std::string(1, f.type) +
                                   " können nicht geschrieben werden");
  }
}

}  // namespace mv
