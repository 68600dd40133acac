#pragma once
// Counting the distance between two dates as the month page shows it (calendar days,
// working days, 30E/360 interest days) and stepping a date by such a count.
#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "calendar/core/holidays.h"
#include "platform/runtime/date.h"

namespace mv {

// The holidays of every year a count crosses, for one country and region code, each year
// computed once.
class HolidayYears {
 public:
  HolidayYears(std::string_view land, std::string_view region) : land_(land), region_(region) {}
  const std::string& land() const { return land_; }
  const std::string& region() const { return region_; }
  // Monday to Friday and no holiday of its own year. The empty date is none.
  bool is_working_day(Date date);
  const HolidayList& list(int year);
  // The Julian days of the year's holidays, sorted.
  const std::vector<int32_t>& holiday_days(int year);

 private:
  std::string land_, region_;
  std::map<int, HolidayList> lists_;
  std::map<int, std::vector<int32_t>> days_;  // sorted Julian days of each year's holidays
  int last_year_ = 0;
  const std::vector<int32_t>* last_days_ = nullptr;
};

// The most working days a count reports; it stops there.
inline constexpr int64_t kMaxWorkingDays = 99999;

// Working days from the earlier to the later date: the first day counts, the last does
// not, so equal dates give 0 and the order of the arguments does not matter. An empty
// date counts as today. Holidays of every year crossed are left out.
int64_t ARBTAGDIFF(Date a, Date b, HolidayYears& holidays);

// Interest days by 30E/360 from the earlier to the later date (a 31st counts as the 30th,
// the end of February is not adjusted); never negative. An empty date counts as today.
int64_t ZINSTAGE(Date a, Date b);

// "Set Datum" with working days: n = 0 gives `from` itself; n > 0 the n-th working day
// counting the first working day on or after `from` as the first; n < 0 the mirror image
// backwards. Holidays of every year crossed count; past the years the date type holds the
// empty date.
Date step_working_days(Date from, int64_t n, HolidayYears& holidays);

// "Set Datum" with interest days: n / 30 whole months (truncated toward zero) by ADDMONTH,
// then the remainder in days with the sign of n.
Date step_interest_days(Date from, int64_t n);

}  // namespace mv
