#include "calendar/core/calendar_state.h"

namespace mv {

std::string LANDCODE;
std::string REGIONCODE;
HolidayList FEIERTAGLISTE;

}  // namespace mv
