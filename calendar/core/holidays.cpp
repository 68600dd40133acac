#include "calendar/core/holidays.h"

#include <algorithm>

#include "calendar/core/regions.h"

namespace mv {

namespace {

constexpr int kFirstYear = 1;
constexpr int kLastYear = 9999;

bool year_in_range(int64_t y) { return y >= kFirstYear && y <= kLastYear; }

struct RegionalHoliday {
  std::string_view name;
  std::string_view kind;
};

// Position n of the region code switches on entry n - 1.
constexpr RegionalHoliday kRegional[7] = {
    {"Heilige Drei Könige", kKindRegionalFixed},
    {"Fronleichnam", kKindRegionalMovable},
    {"Friedensfest", kKindRegionalFixed},
    {"Mariä Himmelfahrt", kKindRegionalFixed},
    {"Reformationstag", kKindRegionalFixed},
    {"Allerheiligen", kKindRegionalFixed},
    {"Buß- und Bettag", kKindRegionalMovable},
};

Date regional_date(int n, int year, Date easter) {
  switch (n) {
    case 1: return Date::from_ymd(year, 1, 6);
    case 2: return easter + 60;
    case 3: return Date::from_ymd(year, 8, 8);
    case 4: return Date::from_ymd(year, 8, 15);
    case 5: return Date::from_ymd(year, 10, 31);
    case 6: return Date::from_ymd(year, 11, 1);
    case 7: return buss_und_bettag(year);
  }
  return Date();
}

// Steps one day in `dir`; leaving the years the date type holds gives the empty date.
Date step_day(Date d, int dir) {
  Date next = d + dir;
  return year_in_range(next.year()) ? next : Date();
}

Date step_working_days(Date date, uint32_t count, const HolidayList& list, int dir) {
  if (date.empty() || !year_in_range(date.year())) return Date();
  while (!date.empty() && !ISARBTAG(date, list)) date = step_day(date, dir);
  for (uint32_t i = 0; i < count && !date.empty(); ++i) {
    date = step_day(date, dir);
    while (!date.empty() && !ISARBTAG(date, list)) date = step_day(date, dir);
  }
  return date;
}

}  // namespace

Date easter_sunday(int year) {
  if (!year_in_range(year)) return Date();
  // Gregorian computus: the paschal full moon from the golden number with the century's
  // solar and lunar corrections, then the following Sunday.
  const int century = year / 100;
  const int lunar_shift = 15 + (3 * century + 3) / 4 - (8 * century + 13) / 25;
  const int solar_shift = 2 - (3 * century + 3) / 4;
  const int golden = year % 19;
  const int moon_age = (19 * golden + lunar_shift) % 30;
  // The two lunar exceptions: an age of 29, or of 28 late in the 19-year cycle, moves the
  // full moon one day earlier (so Easter is never after 25 April).
  const int exception = (moon_age + golden / 11) / 29;
  const int full_moon = 21 + moon_age - exception;  // as a day of March
  const int first_sunday = 7 - (year + year / 4 + solar_shift) % 7;  // as a day of March
  const int to_sunday = 7 - (full_moon - first_sunday) % 7;  // strictly after the full moon
  return Date::from_ymd(year, 3, 1) + (full_moon + to_sunday - 1);
}

Date buss_und_bettag(int year) {
  if (!year_in_range(year)) return Date();
  Date christmas = Date::from_ymd(year, 12, 25);
  int w = christmas.dow();
  return christmas - 31 - (w == 1 ? 8 : w);
}

HolidayList FEIERTAGGESETZ(uint32_t year_arg, std::string_view land, std::string_view region) {
  HolidayList list;
  if (!year_in_range(year_arg)) return list;
  const int year = int(year_arg);
  const bool germany = land == "D";
  const bool austria = land == "A";
  const Date easter = easter_sunday(year);
  auto add = [&list](std::string_view name, Date date, std::string_view kind, int index) {
    list.push_back(HolidayRow{std::string(name), date, std::string(kind), index});
  };
  auto fixed = [&](std::string_view name, int month, int day) {
    add(name, Date::from_ymd(year, month, day), kKindCommonFixed, 0);
  };
  auto movable = [&](std::string_view name, int offset) {
    add(name, easter + offset, kKindCommonMovable, 0);
  };

  fixed("Neujahrstag", 1, 1);
  fixed("Tag der Arbeit", 5, 1);
  if (germany) {
    fixed("Tag der Einheit", 10, 3);
  } else if (austria) {
    fixed("Heilige Drei Könige", 1, 6);
    fixed("Mariä Himmelfahrt", 8, 15);
    fixed("Nationalfeiertag", 10, 26);
    fixed("Allerheiligen", 11, 1);
    fixed("Mariä Empfängnis", 12, 8);
  }
  fixed("1. Weihnachtstag", 12, 25);
  fixed("2. Weihnachtstag", 12, 26);
  if (germany) {
    movable("Karfreitag", -2);
  } else if (austria) {
    movable("Fronleichnam", 60);
  }
  movable("Ostersonntag", 0);
  movable("Ostermontag", 1);
  movable("Christi Himmelfahrt", 39);
  movable("Pfingstsonntag", 49);
  movable("Pfingstmontag", 50);

  // Austria's holidays are all in the list above; the flags of its region code belong to
  // the German regional holidays and must not add them (or a second row of one day).
  if (!austria) {
    for (int n = 1; n <= 7; ++n) {
      if (region_flag(region, n)) {
        add(kRegional[n - 1].name, regional_date(n, year, easter), kRegional[n - 1].kind, n);
      }
    }
  }

  std::stable_sort(list.begin(), list.end(),
                   [](const HolidayRow& a, const HolidayRow& b) { return a.date < b.date; });
  return list;
}

bool ISFEIERTAG(Date date, const HolidayList& list) {
  return std::any_of(list.begin(), list.end(), [date](const HolidayRow& r) { return r.date == date; });
}

std::string FEIERTAGNAME(Date date, const HolidayList& list) {
  for (const HolidayRow& r : list) {
    if (r.date == date) return r.name;
  }
  return std::string();
}

bool ISARBTAG(Date date, const HolidayList& list) {
  if (date.empty()) return false;
  int w = date.dow();
  if (w == 1 || w == 7) return false;
  return !ISFEIERTAG(date, list);
}

Date ARBTAGADD(Date date, uint32_t count, const HolidayList& list) {
  return step_working_days(date, count, list, +1);
}

Date ARBTAGSUB(Date date, uint32_t count, const HolidayList& list) {
  return step_working_days(date, count, list, -1);
}

}  // namespace mv
