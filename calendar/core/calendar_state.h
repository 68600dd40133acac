#pragma once
// The calendar program's current holiday rules, shared by its pages: the country code and
// region code chosen last (stored in "Kalender.INI" by the window) and the holiday list of
// the year computed last. All start empty.
#include <string>

#include "calendar/core/holidays.h"

namespace mv {

extern std::string LANDCODE;
extern std::string REGIONCODE;
extern HolidayList FEIERTAGLISTE;

}  // namespace mv
