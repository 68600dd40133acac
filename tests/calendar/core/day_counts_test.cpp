// The month page's counts and their inverse: calendar, working and interest days, with
// the holidays of every year a count crosses.
#include <gtest/gtest.h>

#include "calendar/core/day_counts.h"

namespace mv {
namespace {

Date ymd(int y, int m, int d) { return Date::from_ymd(y, m, d); }
std::string text(Date d) { return d.empty() ? "(leer)" : dtoc(d); }

constexpr const char* kBerlin = "00000000C";
constexpr const char* kBayern = "11110100B";

TEST(DayCounts, InterestDays) {
  const struct {
    Date a, b;
    int64_t days;
  } cases[] = {
      {ymd(2024, 1, 31), ymd(2024, 3, 15), 45}, {ymd(2024, 1, 30), ymd(2024, 1, 31), 0},
      {ymd(2023, 2, 28), ymd(2023, 3, 1), 3},   {ymd(2023, 12, 15), ymd(2024, 1, 15), 30},
      {ymd(2023, 1, 1), ymd(2025, 1, 1), 720},  {ymd(2024, 5, 5), ymd(2024, 5, 5), 0},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ZINSTAGE(c.a, c.b), c.days) << text(c.a) << " - " << text(c.b);
    EXPECT_EQ(ZINSTAGE(c.b, c.a), c.days) << "never negative: " << text(c.b) << " - " << text(c.a);
  }
}

TEST(DayCounts, WorkingDaysAcrossHolidaysAndYears) {
  const struct {
    const char* region;
    Date a, b;
    int64_t days;
  } cases[] = {
      {kBerlin, ymd(2024, 6, 3), ymd(2024, 6, 7), 4},
      {kBerlin, ymd(2024, 3, 29), ymd(2024, 4, 2), 0},     // Karfreitag .. Ostermontag
      {kBerlin, ymd(2024, 12, 30), ymd(2025, 1, 2), 2},    // Neujahr of the next year
      {kBerlin, ymd(2024, 6, 5), ymd(2024, 6, 5), 0},
      {kBayern, ymd(2024, 6, 1), ymd(2024, 7, 1), 20},     // June in Bayern
      {kBayern, ymd(2024, 5, 27), ymd(2024, 6, 1), 4},     // Fronleichnam on 30 May
      {kBerlin, ymd(2024, 5, 27), ymd(2024, 6, 1), 5},     // not a Berlin holiday
      {kBerlin, ymd(2025, 12, 31), ymd(2026, 1, 6), 3},
  };
  for (const auto& c : cases) {
    HolidayYears h("D", c.region);
    EXPECT_EQ(ARBTAGDIFF(c.a, c.b, h), c.days) << c.region << " " << text(c.a) << " - " << text(c.b);
    EXPECT_EQ(ARBTAGDIFF(c.b, c.a, h), c.days) << "order does not matter";
  }
  HolidayYears h("D", kBerlin);
  EXPECT_EQ(ARBTAGDIFF(ymd(1, 1, 1), ymd(9999, 12, 31), h), kMaxWorkingDays) << "the count stops";
}

TEST(DayCounts, SetDatumWithWorkingDays) {
  const struct {
    Date from;
    int64_t n;
    Date to;
  } cases[] = {
      {ymd(2024, 6, 3), 5, ymd(2024, 6, 7)},    {ymd(2024, 6, 3), 1, ymd(2024, 6, 3)},
      {ymd(2024, 6, 1), 1, ymd(2024, 6, 3)},    {ymd(2024, 6, 1), -1, ymd(2024, 5, 31)},
      {ymd(2024, 6, 1), -2, ymd(2024, 5, 30)},  {ymd(2024, 6, 1), 0, ymd(2024, 6, 1)},
      {ymd(2024, 12, 30), 3, ymd(2025, 1, 2)},  {ymd(2025, 1, 2), -2, ymd(2024, 12, 31)},
      {ymd(9999, 12, 31), 5, Date()},
  };
  for (const auto& c : cases) {
    HolidayYears h("D", kBerlin);
    EXPECT_EQ(text(step_working_days(c.from, c.n, h)), text(c.to)) << text(c.from) << " " << c.n;
  }
}

TEST(DayCounts, SetDatumWithInterestDays) {
  EXPECT_EQ(text(step_interest_days(ymd(2024, 1, 31), 45)), "15.03.2024");
  EXPECT_EQ(text(step_interest_days(ymd(2024, 3, 15), -45)), "31.01.2024");
  EXPECT_EQ(text(step_interest_days(ymd(2024, 3, 15), 0)), "15.03.2024");
  EXPECT_EQ(text(step_interest_days(ymd(2024, 3, 15), -29)), "15.02.2024");
}

}  // namespace
}  // namespace mv
