#pragma once
// Calendar dates as Julian day numbers. Day 0 is the empty date (an all-blank D field).
#include <cstdint>
#include <string>
#include <string_view>

namespace mv {

int days_in_month(int year, int month);

class Date {
 public:
  Date() = default;
  static Date from_julian(int32_t jd) { Date d; d.jd_ = jd < 0 ? 0 : jd; return d; }
  // Gregorian calendar (proleptic); an impossible date gives the empty date.
  static Date from_ymd(int year, int month, int day);
  // A day up to the 28th needs no look at its month: stored dates are checked by the
  // million when keys are taken from records.
  static bool valid_ymd(int year, int month, int day) {
    if (year < 1 || year > 9999 || month < 1 || month > 12 || day < 1) return false;
    return day <= 28 || day <= days_in_month(year, month);
  }
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

// The program-wide date epoch: a two-digit year yy is read as the year in
// [epoch, epoch + 99] that ends in yy. Default 1920 (1920 to 2019).
int date_epoch();
void set_date_epoch(int epoch);
// The full year of a year below 100 by the epoch; other years unchanged.
int apply_date_epoch(int year);

// The program's date format "dd.MM.yyyy" (CTOD/DTOC). Two-digit years go through the
// epoch; an impossible or malformed text gives the empty date, a blank one too.
Date ctod(std::string_view text);
// "dd.MM.yyyy"; the empty date gives "  .  .    ".
std::string dtoc(Date d);
// "yyyyMMdd"; the empty date gives eight blanks.
std::string dtos(Date d);
// Writes the eight characters of DTOS into out (no allocation).
void dtos_into(Date d, char out[8]);
// STOD: "yyyyMMdd" back to a date; anything else (blanks, impossible dates) gives the
// empty date. Not named stod: std::stod would capture calls with a std::string.
Date stod_date(std::string_view text);

}  // namespace mv
