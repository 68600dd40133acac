#include "calendar/core/day_counts.h"

#include <algorithm>

#include "calendar/core/month_arithmetic.h"

namespace mv {

const HolidayList& HolidayYears::list(int year) {
  auto it = lists_.find(year);
  if (it == lists_.end()) {
    it = lists_.emplace(year, year > 0 ? FEIERTAGGESETZ(uint32_t(year), land_, region_) : HolidayList{}).first;
  }
  return it->second;
}

const std::vector<int32_t>& HolidayYears::holiday_days(int year) {
  if (last_days_ && last_year_ == year) return *last_days_;
  auto it = days_.find(year);
  if (it == days_.end()) {
    std::vector<int32_t> d;
    for (const HolidayRow& r : list(year))
      if (!r.date.empty()) d.push_back(r.date.julian());
    std::sort(d.begin(), d.end());
    it = days_.emplace(year, std::move(d)).first;
  }
  last_year_ = year;
  last_days_ = &it->second;
  return it->second;
}

bool HolidayYears::is_working_day(Date date) {
  if (date.empty()) return false;
  const int w = date.dow();
  if (w == 1 || w == 7) return false;
  const auto& d = holiday_days(date.year());
  return !std::binary_search(d.begin(), d.end(), date.julian());
}

int64_t ARBTAGDIFF(Date a, Date b, HolidayYears& holidays) {
  if (a.empty()) a = Date::today();
  if (b.empty()) b = Date::today();
  Date from = std::min(a, b);
  const Date to = std::max(a, b);
  int64_t n = 0;
  // Year by year: each day is tested against its own year's sorted holidays, walking a
  // cursor through them, with the weekday carried along instead of computed per day.
  int w = from.dow();  // 1 Sunday .. 7 Saturday
  while (from < to) {
    const int year = from.year();
    const Date next_year = Date::from_ymd(year + 1, 1, 1);
    const int32_t stop = next_year.empty() ? to.julian() : std::min(to.julian(), next_year.julian());
    const std::vector<int32_t>& hd = holidays.holiday_days(year);
    auto next = std::lower_bound(hd.begin(), hd.end(), from.julian());
    for (int32_t j = from.julian(); j < stop; ++j) {
      while (next != hd.end() && *next < j) ++next;
      const bool holiday = next != hd.end() && *next == j;
      if (w != 1 && w != 7 && !holiday && ++n >= kMaxWorkingDays) return n;
      w = w == 7 ? 1 : w + 1;
    }
    from = Date::from_julian(stop);
  }
  return n;
}

int64_t ZINSTAGE(Date a, Date b) {
  if (a.empty()) a = Date::today();
  if (b.empty()) b = Date::today();
  const Date from = std::min(a, b);
  const Date to = std::max(a, b);
  const int64_t d1 = std::min(from.day(), 30), d2 = std::min(to.day(), 30);
  return 360 * int64_t(to.year() - from.year()) + 30 * int64_t(to.month() - from.month()) + (d2 - d1);
}

Date step_working_days(Date from, int64_t n, HolidayYears& holidays) {
  if (n == 0 || from.empty()) return from;
  const int dir = n > 0 ? 1 : -1;
  int64_t left = n > 0 ? n - 1 : -(n + 1);
  const int32_t first = Date::from_ymd(1, 1, 1).julian(), last = Date::from_ymd(9999, 12, 31).julian();
  Date d = from;
  auto step = [&] {
    const int32_t j = d.julian() + dir;
    d = j < first || j > last ? Date() : Date::from_julian(j);
  };
  while (!d.empty() && !holidays.is_working_day(d)) step();
  while (left > 0 && !d.empty()) {
    step();
    while (!d.empty() && !holidays.is_working_day(d)) step();
    --left;
  }
  return d;
}

Date step_interest_days(Date from, int64_t n) {
  if (n == 0 || from.empty()) return from;
  const int64_t months = n / 30;  // truncates toward zero; the remainder keeps n's sign
  const int64_t days = n % 30;
  Date d = ADDMONTH(from, int32_t(std::clamp<int64_t>(months, INT32_MIN, INT32_MAX)));
  return d.empty() ? d : d + int32_t(days);
}

}  // namespace mv
