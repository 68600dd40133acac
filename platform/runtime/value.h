#pragma once
// xBase values. Character values hold the stored bytes in the table's code page
// (index keys are computed from them); the GUI converts to UTF-8 at its edge.
#include <cstdint>
#include <string>

#include "platform/runtime/date.h"

namespace mv {

enum class ValueType : uint8_t { Nil, Character, Numeric, Date, Logical };

struct Value {
  ValueType type = ValueType::Nil;
  std::string str;      // Character (memo texts are Character too)
  double num = 0;       // Numeric
  int16_t len = 0;      // Numeric: field width, 0 when unknown
  int16_t dec = 0;      // Numeric: decimals
  mv::Date date;        // Date
  bool logical = false; // Logical

  static Value nil() { return Value(); }
  static Value character(std::string s) { Value v; v.type = ValueType::Character; v.str = std::move(s); return v; }
  static Value numeric(double n, int len = 0, int dec = 0) {
    Value v; v.type = ValueType::Numeric; v.num = n; v.len = int16_t(len); v.dec = int16_t(dec); return v;
  }
  static Value of_date(mv::Date d) { Value v; v.type = ValueType::Date; v.date = d; return v; }
  static Value boolean(bool b) { Value v; v.type = ValueType::Logical; v.logical = b; return v; }

  bool is_nil() const { return type == ValueType::Nil; }
  bool is_char() const { return type == ValueType::Character; }
  bool is_num() const { return type == ValueType::Numeric; }
  bool is_date() const { return type == ValueType::Date; }
  bool is_logical() const { return type == ValueType::Logical; }
};

// The xBase type letter of a value: "C", "N", "D", "L", "U".
char value_type_letter(ValueType t);

}  // namespace mv
