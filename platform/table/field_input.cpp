#include "platform/table/field_input.h"

#include <cmath>
#include <cstdlib>
#include <string>

#include "platform/base/text.h"
#include "platform/runtime/date.h"

namespace mv {

namespace {

Status refused(std::string_view text, const char* what) {
  return Status::invalid_argument("Der Wert <" + std::string(text) + "> ist " + what + "!");
}

Result<Value> number_from(std::string_view text, const FieldInfo& f) {
  std::string t(trim(text));
  if (t.empty()) return Value::nil();
  size_t i = (t[0] == '+' || t[0] == '-') ? 1 : 0;
  bool digit = false, mark = false;
  for (size_t k = i; k < t.size(); ++k) {
    if (t[k] >= '0' && t[k] <= '9') {
      digit = true;
    } else if ((t[k] == '.' || t[k] == ',') && !mark) {
      mark = true;
      t[k] = '.';
    } else {
      return refused(text, "keine Zahl");
    }
  }
  if (!digit) return refused(text, "keine Zahl");
  const double d = std::strtod(t.c_str(), nullptr);
  if (!std::isfinite(d)) return refused(text, "keine Zahl");
  return Value::numeric(d, int(f.length), f.decimals);
}

Result<Value> date_from(std::string_view text) {
  const std::string_view t = trim(text);
  bool blank = true;
  for (char c : t)
    if (c != ' ' && c != '.' && c != '/' && c != '-') blank = false;
  if (blank) return Value::nil();
  const Date d = ctod(t);
  if (d.empty()) return refused(text, "kein Datum");
  return Value::of_date(d);
}

Result<Value> logical_from(std::string_view text) {
  const std::string t = upper_ascii(trim(text));
  if (t.empty()) return Value::nil();
  for (const char* yes : {"T", "Y", "J", "JA", ".T.", "1"})
    if (t == yes) return Value::boolean(true);
  for (const char* no : {"F", "N", "NEIN", ".F.", "0"})
    if (t == no) return Value::boolean(false);
  return refused(text, "kein logischer Wert (J/N, T/F)");
}

}  // namespace

Result<Value> value_from_input(const FieldInfo& f, std::string_view text, CodePage cp) {
  switch (f.type) {
    case 'C':
    case 'M': {
      MV_ASSIGN_OR_RETURN(std::string bytes, cp_from_utf8(cp, text));
      return Value::character(std::move(bytes));
    }
    case 'N':
    case 'F':
      return number_from(text, f);
    case 'D':
      if (f.length != 8) break;
      return date_from(text);
    case 'L':
      return logical_from(text);
    default:
      break;
  }
  return Status::not_supported("Feld " + f.name + ": Felder vom Typ " + std::string(1, f.type) +
                               " werden nicht eingegeben");
}

}  // namespace mv
