#include <gtest/gtest.h>

#include <cstdint>
#include <limits>

#include "calendar/core/month_arithmetic.h"

namespace mv {
namespace {

Date ymd(int y, int m, int d) { return Date::from_ymd(y, m, d); }

std::string text(Date d) {
  if (d.empty()) return "(leer)";
  char buf[16];
  std::snprintf(buf, sizeof buf, "%02d.%02d.%04d", d.day(), d.month(), d.year());
  return buf;
}

TEST(AddMonth, StepsAndClampsToTheTargetMonth) {
  struct Case { const char* name; Date from; int32_t months; Date expected; };
  const Case cases[] = {
      {"end of January into common February", ymd(2023, 1, 31), 1, ymd(2023, 2, 28)},
      {"end of January into leap February", ymd(2024, 1, 31), 1, ymd(2024, 2, 29)},
      {"two steps restore the start day", ymd(2024, 1, 31), 2, ymd(2024, 3, 31)},
      {"back into leap February", ymd(2024, 3, 31), -1, ymd(2024, 2, 29)},
      {"back thirteen months", ymd(2024, 5, 15), -13, ymd(2023, 4, 15)},
      {"zero months", ymd(2024, 5, 15), 0, ymd(2024, 5, 15)},
      {"leap day plus a year", ymd(2024, 2, 29), 12, ymd(2025, 2, 28)},
      {"leap day plus thirteen months", ymd(2024, 2, 29), 13, ymd(2025, 3, 29)},
      {"leap day plus four years", ymd(2024, 2, 29), 48, ymd(2028, 2, 29)},
      {"leap day minus thirteen months", ymd(2024, 2, 29), -13, ymd(2023, 1, 29)},
      {"leap day minus a century", ymd(2000, 2, 29), -1200, ymd(1900, 2, 28)},
      {"December into January", ymd(2024, 12, 31), 1, ymd(2025, 1, 31)},
      {"January back into December", ymd(2024, 1, 31), -1, ymd(2023, 12, 31)},
      {"31st into a 30-day month", ymd(2024, 8, 31), 1, ymd(2024, 9, 30)},
      {"31st back into a 30-day month", ymd(2024, 5, 31), -1, ymd(2024, 4, 30)},
      {"eleven steps across a year end", ymd(2024, 3, 31), 11, ymd(2025, 2, 28)},
      {"minus eleven steps", ymd(2024, 3, 31), -11, ymd(2023, 4, 30)},
      {"large forward count", ymd(2024, 1, 15), 3333, ymd(2301, 10, 15)},
      {"last month the date type holds", ymd(9999, 11, 30), 1, ymd(9999, 12, 30)},
      {"past the last year", ymd(9999, 12, 1), 1, Date()},
      {"before the first year", ymd(1, 1, 31), -1, Date()},
      {"whole years past the range", ymd(2024, 1, 1), 12 * 8000, Date()},
      {"largest count", ymd(2024, 1, 1), std::numeric_limits<int32_t>::max(), Date()},
      {"smallest count", ymd(2024, 1, 1), std::numeric_limits<int32_t>::min(), Date()},
      {"empty date", Date(), 1, Date()},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(text(ADDMONTH(c.from, c.months)), text(c.expected));
  }
}

TEST(AddMonth, LooseArgumentsDefaultToTodayAndOneMonth) {
  const Date today = Date::today();
  EXPECT_EQ(ADDMONTH(Value::of_date(ymd(2024, 1, 31)), Value::numeric(2)), ymd(2024, 3, 31));
  EXPECT_EQ(ADDMONTH(Value::of_date(ymd(2024, 1, 31)), Value::nil()), ymd(2024, 2, 29));
  EXPECT_EQ(ADDMONTH(Value::of_date(ymd(2024, 1, 31)), Value::character("3")), ymd(2024, 2, 29));
  EXPECT_EQ(ADDMONTH(Value::nil(), Value::numeric(0)), today);
  EXPECT_EQ(ADDMONTH(Value::character("31.01.2024"), Value::numeric(0)), today);
  // A fractional count is truncated toward zero, a huge one held to the 32-bit range.
  EXPECT_EQ(ADDMONTH(Value::of_date(ymd(2024, 5, 15)), Value::numeric(-13.9)), ymd(2023, 4, 15));
  EXPECT_EQ(ADDMONTH(Value::of_date(ymd(2024, 5, 15)), Value::numeric(1.9)), ymd(2024, 6, 15));
  EXPECT_TRUE(ADDMONTH(Value::of_date(ymd(2024, 5, 15)), Value::numeric(1e30)).empty());
  // The empty date is a date: it stays empty rather than turning into today.
  EXPECT_TRUE(ADDMONTH(Value::of_date(Date()), Value::numeric(1)).empty());
}

TEST(MonthBounds, FirstAndLastDay) {
  struct Case { Date in; Date first; Date last; };
  const Case cases[] = {
      {ymd(2024, 2, 1), ymd(2024, 2, 1), ymd(2024, 2, 29)},
      {ymd(2024, 2, 29), ymd(2024, 2, 1), ymd(2024, 2, 29)},
      {ymd(2023, 2, 14), ymd(2023, 2, 1), ymd(2023, 2, 28)},
      {ymd(1900, 2, 10), ymd(1900, 2, 1), ymd(1900, 2, 28)},
      {ymd(2000, 2, 10), ymd(2000, 2, 1), ymd(2000, 2, 29)},
      {ymd(2024, 12, 10), ymd(2024, 12, 1), ymd(2024, 12, 31)},
      {ymd(2024, 5, 17), ymd(2024, 5, 1), ymd(2024, 5, 31)},
      {ymd(2024, 4, 30), ymd(2024, 4, 1), ymd(2024, 4, 30)},
      {ymd(9999, 12, 31), ymd(9999, 12, 1), ymd(9999, 12, 31)},
      {ymd(1, 1, 1), ymd(1, 1, 1), ymd(1, 1, 31)},
      {Date(), Date(), Date()},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(text(c.in));
    EXPECT_EQ(text(MONATBOF(c.in)), text(c.first));
    EXPECT_EQ(text(MONATEOF(c.in)), text(c.last));
  }
  const Date today = Date::today();
  EXPECT_EQ(MONATBOF(Value::nil()), Date::from_ymd(today.year(), today.month(), 1));
  EXPECT_EQ(MONATEOF(Value::numeric(5)), Date::from_ymd(today.year(), today.month(),
                                                        days_in_month(today.year(), today.month())));
  EXPECT_EQ(MONATEOF(Value::of_date(ymd(2024, 2, 3))), ymd(2024, 2, 29));
}

}  // namespace
}  // namespace mv
