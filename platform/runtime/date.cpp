#include "platform/runtime/date.h"

#include <ctime>

namespace mv {

bool is_leap_year(int y) { return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0; }

int days_in_month(int y, int m) {
  static const int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  if (m < 1 || m > 12) return 0;
  return m == 2 && is_leap_year(y) ? 29 : kDays[m - 1];
}

bool Date::valid_ymd(int y, int m, int d) {
  return y >= 1 && y <= 9999 && m >= 1 && m <= 12 && d >= 1 && d <= days_in_month(y, m);
}

Date Date::from_ymd(int y, int m, int d) {
  if (!valid_ymd(y, m, d)) return Date();
  // Fliegel & Van Flandern, Gregorian calendar.
  int64_t a = (14 - m) / 12;
  int64_t yy = y + 4800 - a;
  int64_t mm = m + 12 * a - 3;
  int64_t jd = d + (153 * mm + 2) / 5 + 365 * yy + yy / 4 - yy / 100 + yy / 400 - 32045;
  return from_julian(static_cast<int32_t>(jd));
}

void Date::ymd(int& y, int& m, int& d) const {
  if (empty()) { y = m = d = 0; return; }
  int64_t a = jd_ + 32044;
  int64_t b = (4 * a + 3) / 146097;
  int64_t c = a - 146097 * b / 4;
  int64_t dd = (4 * c + 3) / 1461;
  int64_t e = c - 1461 * dd / 4;
  int64_t mm = (5 * e + 2) / 153;
  d = static_cast<int>(e - (153 * mm + 2) / 5 + 1);
  m = static_cast<int>(mm + 3 - 12 * (mm / 10));
  y = static_cast<int>(100 * b + dd - 4800 + mm / 10);
}

int Date::year() const { int y, m, d; ymd(y, m, d); return y; }
int Date::month() const { int y, m, d; ymd(y, m, d); return m; }
int Date::day() const { int y, m, d; ymd(y, m, d); return d; }

int Date::dow() const {
  if (empty()) return 0;
  // JD 0 was a Monday; xBase counts Sunday as 1.
  return static_cast<int>((jd_ + 1) % 7) + 1;
}

Date Date::today() {
  std::time_t t = std::time(nullptr);
  std::tm tm{};
  localtime_r(&t, &tm);
  return from_ymd(tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday);
}

}  // namespace mv
