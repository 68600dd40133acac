#pragma once
// Field values to and from their stored bytes. Memo texts live in the memo file; here
// only their pointers are read and written.
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

#include "platform/base/status.h"
#include "platform/runtime/value.h"
#include "platform/table/dbf_header.h"

namespace mv {

// The value of a field that is not a memo field. C gives the stored bytes with their
// trailing blanks; N, F, I, Y, B (VFP), O and + give numbers; D gives a date (empty for
// blanks or an impossible date); L gives true for T/t/Y/y; T and @ give the text
// "YYYYMMDDhhmmss" ("" when empty); other types give their stored bytes.
Value decode_field(const FieldInfo& f, const uint8_t* record, uint8_t version);

// True when the stored bytes hold no value: all blanks for text-coded types, all zero
// bytes for binary dates and times, a NULL flag in a VFP table.
bool field_is_blank(const FieldInfo& f, const uint8_t* record, const HeaderInfo& h);

// Writes `v` into the field's bytes of `record`. Nil blanks the field. A number too wide
// for the field is refused (never cut); a text longer than the field is refused unless
// the rest is blank or `cut_text` is set (transfers cut as the other programs do).
Status encode_field(const FieldInfo& f, const Value& v, uint8_t* record, bool cut_text = false);
// The common cases of encode_field without building a Status: a fitting value of the
// field's own type (C, N, F, D, L) or Nil is written and true returned. Anything else
// answers false and leaves the bytes as they were; encode_field then decides and words
// the refusal.
bool encode_field_fast(const FieldInfo& f, const Value& v, uint8_t* record);

// A few dozen bytes of a field copied or blanked without a library call, which would cost
// more than the bytes themselves: overlapping word-sized moves from both ends.
inline void copy_field_bytes(uint8_t* to, const uint8_t* from, size_t n) {
  if (n >= 16) {
    if (n > 64) {
      std::memcpy(to, from, n);
    } else if (n > 32) {
      std::memcpy(to, from, 32);
      std::memcpy(to + n - 32, from + n - 32, 32);
    } else {
      std::memcpy(to, from, 16);
      std::memcpy(to + n - 16, from + n - 16, 16);
    }
  } else if (n >= 8) {
    std::memcpy(to, from, 8);
    std::memcpy(to + n - 8, from + n - 8, 8);
  } else if (n >= 4) {
    std::memcpy(to, from, 4);
    std::memcpy(to + n - 4, from + n - 4, 4);
  } else if (n) {
    to[0] = from[0];
    to[n / 2] = from[n / 2];
    to[n - 1] = from[n - 1];
  }
}
inline void blank_field_bytes(uint8_t* to, size_t n) {
  static constexpr uint8_t kBlanks[64] = {' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ',
                                          ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ',
                                          ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ',
                                          ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' '};
  if (n > 64) std::memset(to, ' ', n);
  else copy_field_bytes(to, kBlanks, n);
}

// A number formatted to `len` characters with `dec` decimals, right-aligned, rounded half
// away from zero; "" when it does not fit.
std::string format_number(double value, uint32_t len, uint32_t dec);
// Reads the number in stored bytes ('.' as decimal point, blanks around it); 0 for blanks
// or anything unreadable.
double parse_number(std::string_view text);

// Memo pointers: 10 ASCII digits (right-aligned with blanks or zero-padded) or a 4-byte
// little-endian block number. 0 = no memo.
uint32_t get_memo_pointer(const FieldInfo& f, const uint8_t* record);
void put_memo_pointer(const FieldInfo& f, uint8_t* record, uint32_t block);

}  // namespace mv
