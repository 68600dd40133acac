#include "platform/runtime/value.h"

namespace mv {

char value_type_letter(ValueType t) {
  switch (t) {
    case ValueType::Character: return 'C';
    case ValueType::Numeric: return 'N';
    case ValueType::Date: return 'D';
    case ValueType::Logical: return 'L';
    case ValueType::Nil: return 'U';
  }
  return 'U';
}

}  // namespace mv
