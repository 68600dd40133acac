#pragma once
// Key encodings of the three index families and the comparison of stored keys.
//
// Keys travel through the index layer as the bytes each format stores:
//   NTX: character bytes; numbers as STR(value, len, dec) with leading blanks as '0'
//        and negative numbers mapped digit by digit to 0x2C - d; dates "YYYYMMDD";
//        logicals "T"/"F".
//   CDX: character bytes; numbers and dates as sortable big-endian doubles (sign bit
//        set for x >= 0, all bits inverted for x < 0; dates are Julian day numbers);
//        logicals "T"/"F".
//   MDX: character bytes; numbers as 12-byte dBASE BCD; dates as little-endian
//        doubles of the Julian day number.
// Character keys are compared through a Collation (byte order or the German order of
// the national tables); MDX numbers by value; everything else by unsigned bytes.
#include <array>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <optional>
#include <span>
#include <string>

#include "platform/base/codepage.h"
#include "platform/base/status.h"
#include "platform/runtime/expr.h"
#include "platform/runtime/value.h"

namespace mv::index {

// The bytes two keys share at their start, at most n, compared eight at a time: where
// they first differ, which decides their order in every collation.
[[gnu::always_inline]] inline size_t shared_head(const uint8_t* a, const uint8_t* b, size_t n) {
  size_t d = 0;
  if constexpr (std::endian::native == std::endian::little) {
    for (; d + 8 <= n; d += 8) {
      uint64_t x, y;
      std::memcpy(&x, a + d, 8);
      std::memcpy(&y, b + d, 8);
      if (x != y) return d + size_t(std::countr_zero(x ^ y) / 8);
    }
    // The last few bytes in one word that ends with them (its first bytes are equal).
    if (d < n && n >= 8) {
      uint64_t x, y;
      std::memcpy(&x, a + n - 8, 8);
      std::memcpy(&y, b + n - 8, 8);
      return x == y ? n : n - 8 + size_t(std::countr_zero(x ^ y) / 8);
    }
  }
  while (d < n && a[d] == b[d]) ++d;
  return d;
}

// Copies a key of n bytes; the usual lengths without a call.
inline void copy_key(uint8_t* dst, const uint8_t* src, size_t n) {
  if (n >= 16 && n <= 32) {
    std::memcpy(dst, src, 16);
    std::memcpy(dst + n - 16, src + n - 16, 16);
  } else if (n >= 8 && n < 16) {
    std::memcpy(dst, src, 8);
    std::memcpy(dst + n - 8, src + n - 8, 8);
  } else {
    std::memcpy(dst, src, n);
  }
}

// Sign of (a - b) over n bytes in byte order, as memcmp but inline.
inline int byte_order(const uint8_t* a, const uint8_t* b, size_t n) {
  const size_t d = shared_head(a, b, n);
  return d == n ? 0 : (a[d] < b[d] ? -1 : 1);
}

enum class IndexFormat : uint8_t { Ntx, Cdx, Mdx };
enum class KeyType : uint8_t { Character, Numeric, Date, Logical };

const char* format_name(IndexFormat f);
char key_type_letter(KeyType t);

// The order in which character keys are compared.
class Collation {
 public:
  enum class Kind : uint8_t { Machine, German };

  static Collation machine();
  // Byte order, except that the umlauts and sharp s of `cp` sort directly after
  // their base letters: A < Ä < B, O < Ö < P, U < Ü < V, a < ä < b, s < ß < t.
  static Collation german(CodePage cp);

  Kind kind() const { return kind_; }
  CodePage code_page() const { return cp_; }
  bool is_machine() const { return kind_ == Kind::Machine; }
  const std::array<uint16_t, 256>& weights() const { return weight_; }
  std::string describe() const;

  // The byte sorts elsewhere than in byte order (an umlaut or sharp s of the German order).
  bool moves(uint8_t b) const;

  // Compares n bytes of a and b.
  int compare(const uint8_t* a, const uint8_t* b, size_t n) const;

 private:
  Kind kind_ = Kind::Machine;
  CodePage cp_ = CodePage::Windows1252;
  std::array<uint16_t, 256> weight_{};
};

// UPPER() as the key expressions of each collation see it: a-z always, plus the
// umlauts of `cp` under the German collation.
std::string upper_for(const Collation& c, std::string_view bytes);

// The kind of key, its stored length and (NTX numbers) its decimals.
struct KeyDef {
  IndexFormat format = IndexFormat::Ntx;
  KeyType type = KeyType::Character;
  uint16_t length = 0;
  uint16_t decimals = 0;
};

// Stored length of a key of this type in this format; character keys keep
// `char_length`, numeric NTX keys take the width of the expression (`num_len`).
uint16_t stored_key_length(IndexFormat f, KeyType t, uint16_t char_length, uint16_t num_len);

// Encodes a value into exactly keydef.length bytes. Character values are blank-padded
// or cut; a value of another type than the key's is InvalidArgument.
Status encode_key(const KeyDef& keydef, const Value& v, uint8_t* out);
std::string encode_key(const KeyDef& keydef, const Value& v);  // empty string on error

// The key of a record whose key expression is made of parts read straight from the record
// buffer (Expression::record_parts), exactly as encode_key() writes the value the
// expression gives, without evaluating it. False when the parts do not make this key or a
// field lies beyond the record: the caller evaluates instead (and gets its error).
bool record_key(const KeyDef& keydef, std::span<const RecordPart> parts, const uint8_t* record, size_t size,
                uint8_t* out);

// Decodes a stored key (for checks, tests and ORDERKEYVAL).
Value decode_key(const KeyDef& keydef, std::span<const uint8_t> key);

// The search key of a SEEK: character values keep their own length (partial keys),
// cut to the key length; other types are encoded whole.
Result<std::string> encode_search_key(const KeyDef& keydef, const Value& v);

// Format-level helpers, also used by tests.
std::string ntx_number(double value, int len, int dec);
double ntx_number_value(std::span<const uint8_t> key);
void cdx_double(double value, uint8_t out[8]);
double cdx_double_value(const uint8_t in[8]);
void mdx_bcd(double value, uint8_t out[12]);
double mdx_bcd_value(const uint8_t in[12]);
int mdx_bcd_compare(const uint8_t* a, const uint8_t* b);
double le_double(const uint8_t* p);

// Compares two stored keys of `keydef` over n bytes (n = keydef.length for whole keys,
// shorter for a partial character key).
class KeyCompare {
 public:
  KeyCompare() = default;
  KeyCompare(const KeyDef& keydef, const Collation& coll) : keydef_(keydef), coll_(coll) {}
  int operator()(const uint8_t* a, const uint8_t* b, size_t n) const {
    if (keydef_.type == KeyType::Character && !coll_.is_machine()) return coll_.compare(a, b, n);
    if (keydef_.format == IndexFormat::Mdx && keydef_.type == KeyType::Numeric && n >= 12)
      return mdx_bcd_compare(a, b);
    if (keydef_.format == IndexFormat::Mdx && keydef_.type == KeyType::Date && n >= 8) {
      double x = le_double(a), y = le_double(b);
      return x < y ? -1 : (x > y ? 1 : 0);
    }
    const int r = std::memcmp(a, b, n);
    return (r > 0) - (r < 0);
  }
  // operator() over n bytes is plain byte order (memcmp).
  bool plain_bytes(size_t n) const {
    if (keydef_.type == KeyType::Character) return coll_.is_machine();
    if (keydef_.format != IndexFormat::Mdx) return true;
    return !(keydef_.type == KeyType::Numeric && n >= 12) && !(keydef_.type == KeyType::Date && n >= 8);
  }
  const KeyDef& keydef() const { return keydef_; }
  const Collation& collation() const { return coll_; }
  // A number that orders whole keys as operator() does, except that keys it calls equal
  // may still differ (then operator() decides): sorting by it first saves most
  // comparisons.
  uint64_t prefix(const uint8_t* key) const;
  // The prefix alone decides for keys of at most eight bytes compared as bytes.
  bool prefix_decides() const {
    return keydef_.length <= 8 && (keydef_.type == KeyType::Character ? coll_.is_machine()
                                                                       : keydef_.format != IndexFormat::Mdx ||
                                                                             keydef_.type == KeyType::Logical);
  }

 private:
  KeyDef keydef_;
  Collation coll_ = Collation::machine();
};

}  // namespace mv::index
