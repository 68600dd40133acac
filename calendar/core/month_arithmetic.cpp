#include "calendar/core/month_arithmetic.h"

#include <cmath>
#include <limits>

namespace mv {

namespace {

constexpr int64_t kFirstYear = 1;
constexpr int64_t kLastYear = 9999;

bool year_in_range(int64_t y) { return y >= kFirstYear && y <= kLastYear; }

Date date_argument(const Value& v) { return v.is_date() ? v.date : Date::today(); }

int32_t month_count_argument(const Value& v) {
  if (!v.is_num() || std::isnan(v.num)) return 1;
  double n = std::trunc(v.num);
  if (n >= double(std::numeric_limits<int32_t>::max())) return std::numeric_limits<int32_t>::max();
  if (n <= double(std::numeric_limits<int32_t>::min())) return std::numeric_limits<int32_t>::min();
  return static_cast<int32_t>(n);
}

}  // namespace

Date ADDMONTH(Date date, int32_t months) {
  if (date.empty()) return Date();
  int y0, m0, d0;
  date.ymd(y0, m0, d0);
  const int start_day = d0;
  int day = d0;
  int month = m0;
  // Whole years first; the remainder keeps the sign of the count (-13 is one year and -1).
  int64_t year = int64_t(y0) + months / 12;
  int32_t n = months % 12;
  if (!year_in_range(year)) return Date();
  if (!Date::valid_ymd(int(year), month, day)) day = 28;  // 29 February into a common year
  while (n != 0) {
    if (n > 0) {
      if (++month == 13) { month = 1; ++year; }
      --n;
    } else {
      if (--month == 0) { month = 12; --year; }
      ++n;
    }
    if (!year_in_range(year)) return Date();
    // Each step aims at the start day again, clamped to the target month.
    if (day < start_day) day = start_day;
    int last = days_in_month(int(year), month);
    if (day > last) day = last;
  }
  return Date::from_ymd(int(year), month, day);
}

Date ADDMONTH(const Value& date, const Value& months) {
  return ADDMONTH(date_argument(date), month_count_argument(months));
}

Date MONATBOF(Date date) {
  if (date.empty()) return Date();
  int y, m, d;
  date.ymd(y, m, d);
  return Date::from_ymd(y, m, 1);
}

Date MONATEOF(Date date) {
  if (date.empty()) return Date();
  int y, m, d;
  date.ymd(y, m, d);
  return Date::from_ymd(y, m, days_in_month(y, m));
}

Date MONATBOF(const Value& date) { return MONATBOF(date_argument(date)); }
Date MONATEOF(const Value& date) { return MONATEOF(date_argument(date)); }

}  // namespace mv
