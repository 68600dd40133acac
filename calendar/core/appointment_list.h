#pragma once
// Which appointments of "Termine.DBF" a list kind shows: the period of the kind, the
// occurrences of the yearly appointments in it and the one-off appointments of it, found
// through the bag's orders so that a list reads its period and the run of yearly
// appointments, never the whole table.
#include <cstdint>
#include <string>
#include <vector>

#include "platform/base/status.h"
#include "platform/runtime/date.h"
#include "platform/table/dbserver.h"

namespace mv {

// The list kinds: "A" all from the list date, "T" day, "W" week, "M" month, "J" year,
// "H" a main group's year, "U" a subgroup's year.
struct AppointmentQuery {
  char kind = 'A';
  Date list_date;
  int year = 0;            // "J", "H", "U": the year field
  std::string main_group;  // "H", "U": blank for appointments without group
  std::string sub_group;   // "U"
  Date today;              // "A": the period ends the day before today's date a year later
};

struct AppointmentPeriod {
  Date start, end;  // both inside; an empty period has end < start
};

AppointmentPeriod appointment_period(const AppointmentQuery& q);

// One row of the list: where it falls in the period and which record it is.
struct AppointmentHit {
  Date occurrence;
  std::string time;  // the stored "UhrZeit"
  uint32_t recno = 0;
};

// The appointments of the query, by occurrence, then time of day, then record number.
// A yearly appointment is listed on every day in the period with its day and month; one
// stored as 29 February only in leap years. The table is left in the date order of the kind.
Result<std::vector<AppointmentHit>> collect_appointments(DBSERVER& termine, const AppointmentQuery& q);

// A group number as the tables store it: two characters, blank when none.
std::string group_number(const std::string& number);

}  // namespace mv
