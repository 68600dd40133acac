#pragma once
// Calendar dates as Julian day numbers. Day 0 is the empty date (an all-blank D field).
#include <cstdint>
#include <string>

namespace mv {

class Date {
 public:
  Date() = default;
  static Date from_julian(int32_t jd) { Date d; d.jd_ = jd < 0 ? 0 : jd; return d; }
  // Gregorian calendar (proleptic); an impossible date gives the empty date.
  static Date from_ymd(int year, int month, int day);
  static bool valid_ymd(int year, int month, int day);
  static Date today();

  bool empty() const { return jd_ == 0; }
  int32_t julian() const { return jd_; }
  int year() const;
  int month() const;
  int day() const;
  void ymd(int& y, int& m, int& d) const;
  // 1 = Sunday ... 7 = Saturday, 0 for the empty date (xBase DOW).
  int dow() const;

  Date operator+(int32_t days) const { return empty() ? *this : from_julian(jd_ + days); }
  Date operator-(int32_t days) const { return empty() ? *this : from_julian(jd_ - days); }
  int32_t operator-(Date other) const { return jd_ - other.jd_; }
  auto operator<=>(const Date&) const = default;

 private:
  int32_t jd_ = 0;
};

bool is_leap_year(int year);
int days_in_month(int year, int month);

}  // namespace mv
