#pragma once
// Text a person typed (in a grid cell, a replace dialog, an imported line) turned into the
// value of one field. Every place that takes typed values goes through here, so a field
// accepts the same spellings everywhere.
#include <string_view>

#include "platform/base/codepage.h"
#include "platform/base/status.h"
#include "platform/runtime/value.h"
#include "platform/table/dbf_header.h"

namespace mv {

// `text` is UTF-8. A blank number, date or logical gives Nil, which the table writes as a
// blank field; text fields take their text as it is.
//  C, M  any text the table's code page `cp` can hold (else refused, naming the text)
//  N, F  a number with an optional sign and "." or "," as the decimal mark; whether it fits
//        the field's width is the table's check when it is written
//  D     "dd.mm.yyyy", two-digit years through the date epoch ("dd.mm.yy"); "/" and "-"
//        separate too; an empty date typed as "  .  .    " or ".  ." is blank
//  L     T, Y, J, JA, .T., 1 for true; F, N, NEIN, .F., 0 for false; either case
// Other field types are not typed in (NotSupported). Refusals are InvalidArgument with a
// German reason naming the value.
Result<Value> value_from_input(const FieldInfo& field, std::string_view text, CodePage cp);

}  // namespace mv
