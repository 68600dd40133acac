#include "calendar/core/appointment_list.h"

#include <algorithm>

#include "calendar/core/month_arithmetic.h"
#include "platform/runtime/value.h"
#include "platform/table/table.h"

namespace mv {

namespace {

bool digits(std::string_view s) {
  return std::all_of(s.begin(), s.end(), [](char c) { return c >= '0' && c <= '9'; });
}

int number(std::string_view s) {
  int n = 0;
  for (char c : s) n = n * 10 + (c - '0');
  return n;
}

// The positions of the fields a list reads, found once per list.
struct Fields {
  int datum = 0, zeit = 0, serie = 0, hg = 0, ug = 0;
};

Result<Fields> fields_of(Table& t) {
  Fields f{t.field_pos("Datum"), t.field_pos("UhrZeit"), t.field_pos("Serie"), t.field_pos("HG"), t.field_pos("UG")};
  if (!f.datum || !f.zeit || !f.serie || !f.hg || !f.ug)
    return Status::corrupt(t.path() + ": die Termintabelle hat nicht die Felder des Kalenders");
  return f;
}

}  // namespace

std::string group_number(const std::string& n) {
  std::string out = n.substr(0, 2);
  out.resize(2, ' ');
  return out;
}

AppointmentPeriod appointment_period(const AppointmentQuery& q) {
  const Date d = q.list_date;
  switch (q.kind) {
    case 'T':
      return {d, d};
    case 'W': {
      const Date start = d.dow() == 1 ? d - 6 : d - d.dow() + 2;
      return {start, start + 6};
    }
    case 'M': {
      const Date start = MONATBOF(d);
      return {start, MONATEOF(start)};
    }
    case 'A': {
      // The day before today's day and month a year later; from 29 February that is
      // 28 February, the last day before the date that year lacks.
      const int y = q.today.year() + 1;
      Date end = Date::valid_ymd(y, q.today.month(), q.today.day())
                     ? Date::from_ymd(y, q.today.month(), q.today.day()) - 1
                     : Date::from_ymd(y, 2, 28);
      return {d, end};
    }
    default:
      if (q.year < 1 || q.year > 9999) return {};
      return {Date::from_ymd(q.year, 1, 1), Date::from_ymd(q.year, 12, 31)};
  }
}

Result<std::vector<AppointmentHit>> collect_appointments(DBSERVER& termine, const AppointmentQuery& q) {
  std::vector<AppointmentHit> hits;
  if (!termine.used()) return termine.open_status().is_ok() ? Status::not_found("Die Termintabelle ist nicht geöffnet")
                                                             : termine.open_status();
  Table& t = *termine.table();
  MV_ASSIGN_OR_RETURN(Fields f, fields_of(t));
  const AppointmentPeriod p = appointment_period(q);
  if (p.start.empty() || p.end.empty() || p.end < p.start) return hits;
  const bool by_main = q.kind == 'H' || q.kind == 'U';
  const bool by_sub = q.kind == 'U';
  const std::string hg = group_number(q.main_group);
  const std::string ug = group_number(q.sub_group);
  auto group_matches = [&] {
    if (by_main && t.field_raw(f.hg) != hg) return false;
    return !by_sub || t.field_raw(f.ug) == ug;
  };

  // Yearly appointments: their run at the end of the series order.
  MV_RETURN_IF_ERROR(termine.SETORDER(by_main ? "SerieHGUG" : "Serie"));
  std::string key = "J";
  if (by_main) key += hg;
  if (by_sub) key += ug;
  MV_RETURN_IF_ERROR(termine.SEEK(Value::character(key), true).status());
  for (bool first = true; !termine.eof(); first = false) {
    if (!first) MV_RETURN_IF_ERROR(termine.SKIP());
    if (termine.eof()) break;
    if (t.field_raw(f.serie) != "J" || !group_matches()) break;
    const std::string_view stored = t.field_raw(f.datum);
    if (!digits(stored)) continue;
    const int month = number(stored.substr(4, 2)), day = number(stored.substr(6, 2));
    for (int y = p.start.year(); y <= p.end.year(); ++y) {
      if (!Date::valid_ymd(y, month, day)) continue;
      const Date on = Date::from_ymd(y, month, day);
      if (on < p.start || on > p.end) continue;
      hits.push_back({on, std::string(t.field_raw(f.zeit)), t.recno()});
    }
  }

  // One-off appointments: the period's run of the date order.
  MV_RETURN_IF_ERROR(termine.SETORDER(q.kind == 'H' ? "HGDate" : q.kind == 'U' ? "HGUGDate" : "DateZeit"));
  key.clear();
  if (by_main) key += hg;
  if (by_sub) key += ug;
  key += dtos(p.start);
  const std::string last = dtos(p.end);
  MV_RETURN_IF_ERROR(termine.SEEK(Value::character(key), true).status());
  for (bool first = true; !termine.eof(); first = false) {
    if (!first) MV_RETURN_IF_ERROR(termine.SKIP());
    if (termine.eof()) break;
    if (!group_matches()) break;
    const std::string_view stored = t.field_raw(f.datum);
    if (std::string_view(last) < stored) break;
    if (t.field_raw(f.serie) != " " || !digits(stored)) continue;
    const Date on = Date::from_ymd(number(stored.substr(0, 4)), number(stored.substr(4, 2)), number(stored.substr(6, 2)));
    if (on.empty()) continue;
    hits.push_back({on, std::string(t.field_raw(f.zeit)), t.recno()});
  }

  std::sort(hits.begin(), hits.end(), [](const AppointmentHit& a, const AppointmentHit& b) {
    if (a.occurrence != b.occurrence) return a.occurrence < b.occurrence;
    if (a.time != b.time) return a.time < b.time;
    return a.recno < b.recno;
  });
  return hits;
}

}  // namespace mv
