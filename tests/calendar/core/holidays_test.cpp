#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <set>
#include <string>
#include <vector>

#include "calendar/core/calendar_state.h"
#include "calendar/core/holidays.h"
#include "calendar/core/regions.h"

namespace mv {
namespace {

Date ymd(int y, int m, int d) { return Date::from_ymd(y, m, d); }

std::string text(Date d) {
  if (d.empty()) return "(leer)";
  char buf[16];
  std::snprintf(buf, sizeof buf, "%02d.%02d.%04d", d.day(), d.month(), d.year());
  return buf;
}

const std::string kCF(kKindCommonFixed);
const std::string kCM(kKindCommonMovable);
const std::string kRF(kKindRegionalFixed);
const std::string kRM(kKindRegionalMovable);

// One line per row, so a failing comparison shows the whole list.
std::string describe(const HolidayList& list) {
  std::string out;
  for (const HolidayRow& r : list) {
    out += text(r.date) + " " + r.name + " | " + r.kind + "| " + std::to_string(r.region_index) + "\n";
  }
  return out;
}

// The century-table rule the calendar used for Easter before; it agrees with the Gregorian
// computus from 1583 to 2399 and serves here as an independent check of that span.
Date century_table_easter(int y) {
  int c = y / 100 - (y < 1600 ? 5 : y < 2000 ? 6 : 7);
  int m = c > 13 ? c + 190 : c == 13 ? 204 : c < 11 ? 202 : 203;
  int q = y / 4;
  int a = y % 19;
  int d = (m - 11 * a) % 30;
  if (d >= 28 && (m == 202 || m == 204 || m == 205)) --d;
  int e = (y + q + d - c) % 7;
  return ymd(y, 3, 1) + (27 + d - e);
}

TEST(Easter, KnownSundays) {
  struct Case { int year; Date expected; };
  const Case cases[] = {
      {1583, ymd(1583, 4, 10)}, {1752, ymd(1752, 4, 2)},  {1818, ymd(1818, 3, 22)},
      {1943, ymd(1943, 4, 25)}, {1954, ymd(1954, 4, 18)}, {1981, ymd(1981, 4, 19)},
      {2008, ymd(2008, 3, 23)}, {2024, ymd(2024, 3, 31)}, {2025, ymd(2025, 4, 20)},
      {2038, ymd(2038, 4, 25)}, {2100, ymd(2100, 3, 28)}, {2285, ymd(2285, 3, 22)},
      // From 2400 on the century table is a day off; the computus is not.
      {2400, ymd(2400, 4, 16)}, {2401, ymd(2401, 4, 1)},  {2500, ymd(2500, 4, 18)},
      {2999, ymd(2999, 3, 24)}, {4099, ymd(4099, 4, 19)}, {9999, ymd(9999, 3, 28)},
      {1, ymd(1, 4, 1)},
      {0, Date()}, {10000, Date()}, {-5, Date()},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.year);
    EXPECT_EQ(text(easter_sunday(c.year)), text(c.expected));
  }
}

TEST(Easter, AgreesWithTheCenturyTableUpTo2399AndIsAlwaysASundayInRange) {
  for (int y = 1583; y <= 2399; ++y) {
    ASSERT_EQ(text(easter_sunday(y)), text(century_table_easter(y))) << y;
  }
  EXPECT_NE(easter_sunday(2400), century_table_easter(2400));
  for (int y = 1; y <= 9999; ++y) {
    Date e = easter_sunday(y);
    ASSERT_EQ(e.dow(), 1) << y;
    ASSERT_GE(e, ymd(y, 3, 22)) << y;
    ASSERT_LE(e, ymd(y, 4, 25)) << y;
  }
}

TEST(BussUndBettag, WednesdayFrom16To22November) {
  struct Case { int year; Date expected; };
  const Case cases[] = {
      {2022, ymd(2022, 11, 16)}, {2023, ymd(2023, 11, 22)}, {2024, ymd(2024, 11, 20)},
      {2025, ymd(2025, 11, 19)}, {2026, ymd(2026, 11, 18)}, {2028, ymd(2028, 11, 22)},
      {1, ymd(1, 11, 21)},       {9999, ymd(9999, 11, 17)}, {0, Date()},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.year);
    EXPECT_EQ(text(buss_und_bettag(c.year)), text(c.expected));
  }
  for (int y = 1900; y <= 2200; ++y) {
    Date d = buss_und_bettag(y);
    ASSERT_EQ(d.dow(), 4) << y;
    ASSERT_GE(d, ymd(y, 11, 16)) << y;
    ASSERT_LE(d, ymd(y, 11, 22)) << y;
  }
}

// Whole lists row by row: a state, every German regional holiday at once, and Austria, whose
// list ignores the German region flags whatever they say.
TEST(HolidayList, WholeListsMatchRowByRow) {
  struct Case {
    const char* name;
    uint32_t year;
    const char* country;
    std::vector<const char*> regions;
    HolidayList expected;
  };
  const std::vector<Case> cases = {
      {"Bayern 2024", 2024, "D", {"11110100B"},
       {{"Neujahrstag", ymd(2024, 1, 1), kCF, 0},
        {"Heilige Drei Könige", ymd(2024, 1, 6), kRF, 1},
        {"Karfreitag", ymd(2024, 3, 29), kCM, 0},
        {"Ostersonntag", ymd(2024, 3, 31), kCM, 0},
        {"Ostermontag", ymd(2024, 4, 1), kCM, 0},
        {"Tag der Arbeit", ymd(2024, 5, 1), kCF, 0},
        {"Christi Himmelfahrt", ymd(2024, 5, 9), kCM, 0},
        {"Pfingstsonntag", ymd(2024, 5, 19), kCM, 0},
        {"Pfingstmontag", ymd(2024, 5, 20), kCM, 0},
        {"Fronleichnam", ymd(2024, 5, 30), kRM, 2},
        {"Friedensfest", ymd(2024, 8, 8), kRF, 3},
        {"Mariä Himmelfahrt", ymd(2024, 8, 15), kRF, 4},
        {"Tag der Einheit", ymd(2024, 10, 3), kCF, 0},
        {"Allerheiligen", ymd(2024, 11, 1), kRF, 6},
        {"1. Weihnachtstag", ymd(2024, 12, 25), kCF, 0},
        {"2. Weihnachtstag", ymd(2024, 12, 26), kCF, 0}}},
      {"every German regional holiday 2025", 2025, "D", {"11111111A"},
       {{"Neujahrstag", ymd(2025, 1, 1), kCF, 0},
        {"Heilige Drei Könige", ymd(2025, 1, 6), kRF, 1},
        {"Karfreitag", ymd(2025, 4, 18), kCM, 0},
        {"Ostersonntag", ymd(2025, 4, 20), kCM, 0},
        {"Ostermontag", ymd(2025, 4, 21), kCM, 0},
        {"Tag der Arbeit", ymd(2025, 5, 1), kCF, 0},
        {"Christi Himmelfahrt", ymd(2025, 5, 29), kCM, 0},
        {"Pfingstsonntag", ymd(2025, 6, 8), kCM, 0},
        {"Pfingstmontag", ymd(2025, 6, 9), kCM, 0},
        {"Fronleichnam", ymd(2025, 6, 19), kRM, 2},
        {"Friedensfest", ymd(2025, 8, 8), kRF, 3},
        {"Mariä Himmelfahrt", ymd(2025, 8, 15), kRF, 4},
        {"Tag der Einheit", ymd(2025, 10, 3), kCF, 0},
        {"Reformationstag", ymd(2025, 10, 31), kRF, 5},
        {"Allerheiligen", ymd(2025, 11, 1), kRF, 6},
        {"Buß- und Bettag", ymd(2025, 11, 19), kRM, 7},
        {"1. Weihnachtstag", ymd(2025, 12, 25), kCF, 0},
        {"2. Weihnachtstag", ymd(2025, 12, 26), kCF, 0}}},
      {"Austria 2024", 2024, "A", {"1111111A", "0000000", "11111111A", "", "1"},
       {{"Neujahrstag", ymd(2024, 1, 1), kCF, 0},
        {"Heilige Drei Könige", ymd(2024, 1, 6), kCF, 0},
        {"Ostersonntag", ymd(2024, 3, 31), kCM, 0},
        {"Ostermontag", ymd(2024, 4, 1), kCM, 0},
        {"Tag der Arbeit", ymd(2024, 5, 1), kCF, 0},
        {"Christi Himmelfahrt", ymd(2024, 5, 9), kCM, 0},
        {"Pfingstsonntag", ymd(2024, 5, 19), kCM, 0},
        {"Pfingstmontag", ymd(2024, 5, 20), kCM, 0},
        {"Fronleichnam", ymd(2024, 5, 30), kCM, 0},
        {"Mariä Himmelfahrt", ymd(2024, 8, 15), kCF, 0},
        {"Nationalfeiertag", ymd(2024, 10, 26), kCF, 0},
        {"Allerheiligen", ymd(2024, 11, 1), kCF, 0},
        {"Mariä Empfängnis", ymd(2024, 12, 8), kCF, 0},
        {"1. Weihnachtstag", ymd(2024, 12, 25), kCF, 0},
        {"2. Weihnachtstag", ymd(2024, 12, 26), kCF, 0}}},
  };
  for (const Case& c : cases) {
    for (const char* region : c.regions) {
      SCOPED_TRACE(std::string(c.name) + " / \"" + region + "\"");
      EXPECT_EQ(describe(FEIERTAGGESETZ(c.year, c.country, region)), describe(c.expected));
    }
  }
}

TEST(HolidayList, AustriaNamesNoHolidayTwiceInAYear) {
  // No holiday twice in any year (two different ones may share a date, as in 2008).
  for (uint32_t y = 1990; y <= 2060; ++y) {
    std::set<std::string> names;
    for (const HolidayRow& r : FEIERTAGGESETZ(y, "A", "1111111A")) {
      ASSERT_TRUE(names.insert(r.name).second) << y << " " << r.name;
    }
  }
}

// Every state of the German list, over years with early and late Easter: the country-wide
// rows are always the same eleven, the regional ones exactly those its code switches on.
TEST(HolidayList, EveryGermanStateOverSeveralYears) {
  struct Case { std::string_view state; std::vector<std::string> regional; };
  const Case cases[] = {
      {"alle gesetzlichen Feiertage",
       {"Heilige Drei Könige", "Fronleichnam", "Friedensfest", "Mariä Himmelfahrt", "Reformationstag",
        "Allerheiligen", "Buß- und Bettag"}},
      {"Baden-Württemberg", {"Heilige Drei Könige", "Fronleichnam", "Allerheiligen"}},
      {"Bayern", {"Heilige Drei Könige", "Fronleichnam", "Friedensfest", "Mariä Himmelfahrt", "Allerheiligen"}},
      {"Berlin", {}},
      {"Brandenburg", {"Reformationstag"}},
      {"Bremen", {}},
      {"Hamburg", {}},
      {"Hessen", {"Fronleichnam"}},
      {"Mecklenburg-Vorpommern", {"Reformationstag"}},
      {"Niedersachsen", {}},
      {"Nordrhein-Westfalen", {"Fronleichnam", "Allerheiligen"}},
      {"Rheinland-Pfalz", {"Fronleichnam", "Allerheiligen"}},
      {"Saarland", {"Fronleichnam", "Mariä Himmelfahrt", "Allerheiligen"}},
      {"Sachsen", {"Fronleichnam", "Reformationstag", "Buß- und Bettag"}},
      {"Sachsen-Anhalt", {"Heilige Drei Könige", "Reformationstag"}},
      {"Schleswig-Holstein", {}},
      {"Thüringen", {"Fronleichnam", "Reformationstag"}},
  };
  const std::vector<std::string> country_wide = {
      "Neujahrstag", "Karfreitag", "Ostersonntag", "Ostermontag", "Tag der Arbeit", "Christi Himmelfahrt",
      "Pfingstsonntag", "Pfingstmontag", "Tag der Einheit", "1. Weihnachtstag", "2. Weihnachtstag"};
  const std::vector<std::string> all_regional = cases[0].regional;

  std::span<const RegionEntry> states = region_list("D");
  ASSERT_EQ(states.size(), std::size(cases));
  for (size_t i = 0; i < states.size(); ++i) {
    const Case& c = cases[i];
    ASSERT_EQ(states[i].text, c.state);
    for (uint32_t year : {1954u, 2008u, 2024u, 2038u, 2285u}) {
      SCOPED_TRACE(std::string(c.state) + " " + std::to_string(year));
      HolidayList list = FEIERTAGGESETZ(year, "D", states[i].code);
      ASSERT_EQ(list.size(), 11 + c.regional.size()) << describe(list);
      std::vector<std::string> common, regional;
      for (size_t r = 0; r < list.size(); ++r) {
        const HolidayRow& row = list[r];
        EXPECT_EQ(row.date.year(), int(year)) << row.name;
        if (r > 0) {
          EXPECT_LE(list[r - 1].date, row.date) << row.name;
        }
        if (row.region_index == 0) {
          EXPECT_TRUE(row.kind == kCF || row.kind == kCM) << row.name;
          common.push_back(row.name);
        } else {
          // The index names the flag position, and that position holds a "1" in the code.
          ASSERT_GE(row.region_index, 1);
          ASSERT_LE(row.region_index, 7);
          EXPECT_EQ(all_regional[size_t(row.region_index - 1)], row.name);
          EXPECT_EQ(states[i].code[size_t(row.region_index - 1)], '1');
          EXPECT_EQ(row.kind, row.region_index == 2 || row.region_index == 7 ? kRM : kRF);
          regional.push_back(row.name);
        }
      }
      std::multiset<std::string> want_common(country_wide.begin(), country_wide.end());
      EXPECT_EQ(std::multiset<std::string>(common.begin(), common.end()), want_common);
      EXPECT_EQ(std::multiset<std::string>(regional.begin(), regional.end()),
                std::multiset<std::string>(c.regional.begin(), c.regional.end()));
    }
  }
}

TEST(HolidayList, CoincidingHolidaysKeepBothRows) {
  // Christi Himmelfahrt fell on 1 May in 2008.
  HolidayList list = FEIERTAGGESETZ(2008, "D", "00000000C");
  ASSERT_EQ(list.size(), 11u);
  int on_may_first = 0;
  for (const HolidayRow& r : list) on_may_first += r.date == ymd(2008, 5, 1);
  EXPECT_EQ(on_may_first, 2);
  EXPECT_EQ(FEIERTAGNAME(ymd(2008, 5, 1), list), "Tag der Arbeit");
  EXPECT_EQ(FEIERTAGNAME(ymd(2008, 5, 2), list), "");
  EXPECT_EQ(FEIERTAGNAME(ymd(2008, 3, 21), list), "Karfreitag");
}

TEST(HolidayList, OtherCountriesAndDamagedInputs) {
  // A country without rules of its own: only the rows every country has, plus the flags.
  HolidayList swiss = FEIERTAGGESETZ(2024, "CH", "0000000");
  EXPECT_EQ(swiss.size(), 9u) << describe(swiss);
  EXPECT_FALSE(ISFEIERTAG(ymd(2024, 10, 3), swiss));
  EXPECT_FALSE(ISFEIERTAG(ymd(2024, 3, 29), swiss));
  EXPECT_EQ(FEIERTAGGESETZ(2024, "X", "01000000").size(), 10u);

  struct Case { const char* name; uint32_t year; const char* region; size_t rows; };
  const Case cases[] = {
      {"year 0", 0, "11111111A", 0},
      {"year 10000", 10000, "11111111A", 0},
      {"largest year", std::numeric_limits<uint32_t>::max(), "11111111A", 0},
      {"first year", 1, "00000000C", 11},
      {"last year", 9999, "11111111A", 18},
      {"empty region code", 2024, "", 11},
      {"six flags only", 2024, "111111", 11},
      {"seven flags, no letter", 2024, "1111111", 18},
      {"other characters are off", 2024, "2x1 -1?1Q", 13},
      {"blank", 2024, "         ", 11},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    HolidayList list = FEIERTAGGESETZ(c.year, "D", c.region);
    EXPECT_EQ(list.size(), c.rows) << describe(list);
    for (const HolidayRow& r : list) EXPECT_FALSE(r.date.empty()) << r.name;
  }
}

TEST(WorkingDays, IsArbTag) {
  const HolidayList bayern = FEIERTAGGESETZ(2025, "D", "11110100B");
  const HolidayList berlin = FEIERTAGGESETZ(2025, "D", "00000000C");
  const HolidayList none;
  struct Case { const char* name; Date date; const HolidayList& list; bool working; bool holiday; };
  const Case cases[] = {
      {"Saturday, empty list", ymd(2025, 1, 4), none, false, false},
      {"Sunday, empty list", ymd(2025, 1, 5), none, false, false},
      {"Monday, empty list", ymd(2025, 1, 6), none, true, false},
      {"Heilige Drei Könige in Bayern", ymd(2025, 1, 6), bayern, false, true},
      {"6 January in Berlin", ymd(2025, 1, 6), berlin, true, false},
      {"Karfreitag", ymd(2025, 4, 18), berlin, false, true},
      {"Easter Sunday", ymd(2025, 4, 20), berlin, false, true},
      {"Tuesday after Easter", ymd(2025, 4, 22), berlin, true, false},
      {"holiday of another year", ymd(2024, 12, 25), berlin, true, false},
      {"empty date", Date(), berlin, false, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(ISARBTAG(c.date, c.list), c.working);
    EXPECT_EQ(ISFEIERTAG(c.date, c.list), c.holiday);
  }
}

TEST(WorkingDays, SteppingAroundEasterAndChristmas) {
  const HolidayList berlin = FEIERTAGGESETZ(2024, "D", "00000000C");
  const HolidayList bayern = FEIERTAGGESETZ(2025, "D", "11110100B");
  const HolidayList none;
  struct Case { const char* name; bool add; Date from; uint32_t count; const HolidayList& list; Date expected; };
  const Case cases[] = {
      {"over Karfreitag and Easter", true, ymd(2024, 3, 28), 1, berlin, ymd(2024, 4, 2)},
      {"from Karfreitag, count 0", true, ymd(2024, 3, 29), 0, berlin, ymd(2024, 4, 2)},
      {"from Easter Monday, count 2", true, ymd(2024, 4, 1), 2, berlin, ymd(2024, 4, 4)},
      {"back over Easter", false, ymd(2024, 4, 2), 1, berlin, ymd(2024, 3, 28)},
      {"back from Easter Sunday, count 0", false, ymd(2024, 3, 31), 0, berlin, ymd(2024, 3, 28)},
      {"over Christmas", true, ymd(2024, 12, 24), 1, berlin, ymd(2024, 12, 27)},
      {"back over Christmas", false, ymd(2024, 12, 27), 1, berlin, ymd(2024, 12, 24)},
      {"working day, count 0", true, ymd(2024, 6, 4), 0, berlin, ymd(2024, 6, 4)},
      {"working day, count 0 back", false, ymd(2024, 6, 4), 0, berlin, ymd(2024, 6, 4)},
      {"Saturday, count 0", true, ymd(2024, 6, 1), 0, berlin, ymd(2024, 6, 3)},
      {"Saturday, count 0 back", false, ymd(2024, 6, 1), 0, berlin, ymd(2024, 5, 31)},
      {"Saturday before Pfingstmontag", true, ymd(2024, 5, 18), 0, berlin, ymd(2024, 5, 21)},
      {"a week of days", true, ymd(2024, 6, 3), 5, berlin, ymd(2024, 6, 10)},
      {"over New Year's Day and Heilige Drei Könige", true, ymd(2024, 12, 31), 1, bayern, ymd(2025, 1, 2)},
      {"back over Heilige Drei Könige", false, ymd(2025, 1, 7), 1, bayern, ymd(2025, 1, 3)},
      {"no holidays", true, ymd(2024, 12, 24), 1, none, ymd(2024, 12, 25)},
      {"whole year forward", true, ymd(2024, 1, 1), 252, berlin, ymd(2024, 12, 31)},
      {"whole year back", false, ymd(2024, 12, 31), 252, berlin, ymd(2024, 1, 2)},
      {"empty date", true, Date(), 3, berlin, Date()},
      {"past the last year", true, ymd(9999, 12, 31), 1, none, Date()},
      {"last day, count 0", true, ymd(9999, 12, 31), 0, none, ymd(9999, 12, 31)},
      {"before the first year", false, ymd(1, 1, 1), 1, none, Date()},
      {"huge count runs out of years", true, ymd(2024, 1, 1),
       std::numeric_limits<uint32_t>::max(), none, Date()},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Date got = c.add ? ARBTAGADD(c.from, c.count, c.list) : ARBTAGSUB(c.from, c.count, c.list);
    EXPECT_EQ(text(got), text(c.expected));
  }
}

TEST(Regions, ListsAndCodes) {
  std::span<const RegionEntry> countries = country_list();
  ASSERT_EQ(countries.size(), 2u);
  EXPECT_EQ(countries[0].text, "Deutschland");
  EXPECT_EQ(countries[0].code, "D");
  EXPECT_EQ(countries[1].text, "Österreich");
  EXPECT_EQ(countries[1].code, "A");

  const std::vector<std::pair<std::string_view, std::string_view>> germany = {
      {"alle gesetzlichen Feiertage", "11111111A"}, {"Baden-Württemberg", "11000100A"},
      {"Bayern", "11110100B"}, {"Berlin", "00000000C"}, {"Brandenburg", "00001000D"},
      {"Bremen", "00000000E"}, {"Hamburg", "00000000F"}, {"Hessen", "01000000G"},
      {"Mecklenburg-Vorpommern", "00001000H"}, {"Niedersachsen", "00000000I"},
      {"Nordrhein-Westfalen", "01000100J"}, {"Rheinland-Pfalz", "01000100K"},
      {"Saarland", "01010100L"}, {"Sachsen", "01001010M"}, {"Sachsen-Anhalt", "10001000N"},
      {"Schleswig-Holstein", "00000000O"}, {"Thüringen", "01001000P"}};
  std::span<const RegionEntry> d = region_list("D");
  ASSERT_EQ(d.size(), germany.size());
  std::set<std::string_view> codes;
  for (size_t i = 0; i < d.size(); ++i) {
    EXPECT_EQ(d[i].text, germany[i].first);
    EXPECT_EQ(d[i].code, germany[i].second);
    EXPECT_TRUE(codes.insert(d[i].code).second) << d[i].code;  // the combo is selected by value
  }

  std::span<const RegionEntry> a = region_list("A");
  ASSERT_EQ(a.size(), 1u);
  EXPECT_EQ(a[0].text, "alle gesetzlichen Feiertage");
  EXPECT_EQ(a[0].code, "1111111A");

  const char* cantons[] = {"Aargau", "Appenzell-Außerrhoden", "Appenzell-Innerrhoden", "Basel-Land",
                           "Basel-Stadt", "Bern", "Freiburg", "Genf", "Glarus", "Graubünden", "Jura",
                           "Luzern", "Neuenburg", "Nidwalden", "Obwalden", "Sankt Gallen",
                           "Schaffhausen", "Schwyz", "Solothurn", "Tessin", "Thurgau", "Uri", "Waadt",
                           "Wallis", "Zug", "Zürich"};
  std::span<const RegionEntry> ch = region_list("CH");
  ASSERT_EQ(ch.size(), std::size(cantons));
  for (size_t i = 0; i < ch.size(); ++i) {
    EXPECT_EQ(ch[i].text, cantons[i]);
    EXPECT_EQ(ch[i].code, "0000000");
  }

  EXPECT_TRUE(region_list("X").empty());
  EXPECT_TRUE(region_list("").empty());
  EXPECT_TRUE(region_list("d").empty());
}

TEST(Regions, FlagDigits) {
  EXPECT_TRUE(region_flag("01001010M", 2));
  EXPECT_TRUE(region_flag("01001010M", 7));
  EXPECT_FALSE(region_flag("01001010M", 1));
  EXPECT_FALSE(region_flag("11111111A", 0));
  EXPECT_FALSE(region_flag("11111111A", 8));  // the eighth digit is read by nothing
  EXPECT_TRUE(region_flag("1111111", 7));
  EXPECT_FALSE(region_flag("111111", 1));     // too short: no flag at all
  EXPECT_FALSE(region_flag("2222222", 3));
  EXPECT_FALSE(region_flag("", 1));
}

TEST(CalendarState, StartsEmpty) {
  EXPECT_TRUE(LANDCODE.empty());
  EXPECT_TRUE(REGIONCODE.empty());
  EXPECT_TRUE(FEIERTAGLISTE.empty());
}

}  // namespace
}  // namespace mv
