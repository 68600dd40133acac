#pragma once
// Stepping dates by whole months and the bounds of a month.
#include <cstdint>

#include "platform/runtime/date.h"
#include "platform/runtime/value.h"

namespace mv {

// Steps `date` by `months` (negative: back). Every step aims at the start day again and
// clamps it to the length of the target month, so 31.01. + 1 = end of February and
// 31.01. + 2 = 31.03. The empty date, and a result outside the years the date type holds
// (1 to 9999), give the empty date.
Date ADDMONTH(Date date, int32_t months);

// The same with loosely typed arguments as the pages hand them over: a value that is not a
// date means today, a value that is not a number means one month; a number is truncated
// toward zero and held to the 32-bit range.
Date ADDMONTH(const Value& date, const Value& months);

// First and last day of the month of `date`; the empty date gives the empty date.
Date MONATBOF(Date date);
Date MONATEOF(Date date);

// As above; a value that is not a date means today.
Date MONATBOF(const Value& date);
Date MONATEOF(const Value& date);

}  // namespace mv
