#pragma once
// Statutory public holidays of one year for Germany by state and for Austria, and the
// working-day arithmetic built on them.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/runtime/date.h"

namespace mv {

// One row of a holiday list. Texts are UTF-8.
struct HolidayRow {
  std::string name;      // German name, e.g. "Neujahrstag"
  Date date;             // the day in the requested year
  std::string kind;      // scope + date part, always ending in a blank (constants below)
  int region_index = 0;  // 0: whole country; 1..7: the region-code position that switched it on

  bool operator==(const HolidayRow&) const = default;
};

// A year's holidays, sorted by date; rows of one date keep the order they were added in.
using HolidayList = std::vector<HolidayRow>;

inline constexpr std::string_view kKindCommonFixed = "gemeinsam und feststehend ";
inline constexpr std::string_view kKindCommonMovable = "gemeinsam und beweglich ";
inline constexpr std::string_view kKindRegionalFixed = "regional und feststehend ";
inline constexpr std::string_view kKindRegionalMovable = "regional und beweglich ";

// Easter Sunday of a Gregorian year; the empty date outside the years the date type holds.
Date easter_sunday(int year);

// Buß- und Bettag: the Wednesday from 16 to 22 November; empty outside the date range.
Date buss_und_bettag(int year);

// The holidays of `year` for the country code ("D" Germany, "A" Austria; any other code
// gets only the rows every country shares) and the region code (flag digits 1 to 7 switch
// on the regional holidays). Austria's list is fixed: its region flags switch on nothing.
// A year outside 1..9999 gives an empty list.
HolidayList FEIERTAGGESETZ(uint32_t year, std::string_view land, std::string_view region);

// TRUE when a row of the list has that date, whatever its kind.
bool ISFEIERTAG(Date date, const HolidayList& list);

// The name of the first row with that date, "" when there is none.
std::string FEIERTAGNAME(Date date, const HolidayList& list);

// A working day is a Monday to Friday that is no holiday of the list. The empty date is none.
bool ISARBTAG(Date date, const HolidayList& list);

// The first working day on or after `date`, then `count` working days further on.
// ARBTAGSUB is the mirror image going back. The empty date, and stepping past the years the
// date type holds, give the empty date.
Date ARBTAGADD(Date date, uint32_t count, const HolidayList& list);
Date ARBTAGSUB(Date date, uint32_t count, const HolidayList& list);

}  // namespace mv
