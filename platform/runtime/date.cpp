#include "platform/runtime/date.h"

#include <ctime>

namespace mv {

bool is_leap_year(int y) { return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0; }

int days_in_month(int y, int m) {
  static const int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  if (m < 1 || m > 12) return 0;
  return m == 2 && is_leap_year(y) ? 29 : kDays[m - 1];
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
  if (jd_ < 100000000) {
    // The same steps in unsigned 32 bits, where the divisions by constants are shorter
    // multiplications: day numbers this small (years far beyond 9999) keep 4a+3 in range.
    // Dates are converted for every date field written and every date key built.
    const uint32_t a = uint32_t(jd_) + 32044;
    const uint32_t b = (4 * a + 3) / 146097;
    const uint32_t c = a - 146097 * b / 4;
    const uint32_t dd = (4 * c + 3) / 1461;
    const uint32_t e = c - 1461 * dd / 4;
    const uint32_t mm = (5 * e + 2) / 153;
    d = static_cast<int>(e - (153 * mm + 2) / 5 + 1);
    m = static_cast<int>(mm + 3 - 12 * (mm / 10));
    y = static_cast<int>(100 * b + dd + mm / 10) - 4800;
    return;
  }
  int64_t a = int64_t(jd_) + 32044;
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

namespace mv {
namespace {
int g_epoch = 1920;

bool all_digits(std::string_view s) {
  if (s.empty()) return false;
  for (char c : s)
    if (c < '0' || c > '9') return false;
  return true;
}

int to_int(std::string_view s) {
  int v = 0;
  for (char c : s) v = v * 10 + (c - '0');
  return v;
}

std::string_view trim_blanks(std::string_view s) {
  while (!s.empty() && s.front() == ' ') s.remove_prefix(1);
  while (!s.empty() && s.back() == ' ') s.remove_suffix(1);
  return s;
}
}  // namespace

int date_epoch() { return g_epoch; }
void set_date_epoch(int epoch) { g_epoch = epoch; }

int apply_date_epoch(int year) {
  if (year < 0 || year >= 100) return year;
  int century = g_epoch / 100 * 100;
  int y = century + year;
  if (y < g_epoch) y += 100;
  return y;
}

Date ctod(std::string_view text) {
  text = trim_blanks(text);
  // Day, month and year separated by "." (also "/" and "-", which users type too).
  int parts[3] = {0, 0, 0};
  int digits[3] = {0, 0, 0};
  int k = 0;
  size_t i = 0;
  while (k < 3) {
    size_t start = i;
    while (i < text.size() && text[i] >= '0' && text[i] <= '9') ++i;
    std::string_view num = text.substr(start, i - start);
    if (num.empty() || num.size() > 4) return Date();
    parts[k] = to_int(num);
    digits[k] = static_cast<int>(num.size());
    ++k;
    if (k == 3) break;
    if (i >= text.size() || (text[i] != '.' && text[i] != '/' && text[i] != '-')) return Date();
    ++i;
  }
  if (i != text.size()) return Date();
  if (digits[0] > 2 || digits[1] > 2) return Date();
  int year = parts[2];
  if (digits[2] <= 2) year = apply_date_epoch(year);
  return Date::from_ymd(year, parts[1], parts[0]);
}

std::string dtoc(Date d) {
  if (d.empty()) return "  .  .    ";
  int y, m, dd;
  d.ymd(y, m, dd);
  char buf[11];
  buf[0] = char('0' + dd / 10);
  buf[1] = char('0' + dd % 10);
  buf[2] = '.';
  buf[3] = char('0' + m / 10);
  buf[4] = char('0' + m % 10);
  buf[5] = '.';
  buf[6] = char('0' + y / 1000 % 10);
  buf[7] = char('0' + y / 100 % 10);
  buf[8] = char('0' + y / 10 % 10);
  buf[9] = char('0' + y % 10);
  return std::string(buf, 10);
}

void dtos_into(Date d, char out[8]) {
  if (d.empty()) {
    for (int i = 0; i < 8; ++i) out[i] = ' ';
    return;
  }
  int y, m, dd;
  d.ymd(y, m, dd);
  out[0] = char('0' + y / 1000 % 10);
  out[1] = char('0' + y / 100 % 10);
  out[2] = char('0' + y / 10 % 10);
  out[3] = char('0' + y % 10);
  out[4] = char('0' + m / 10);
  out[5] = char('0' + m % 10);
  out[6] = char('0' + dd / 10);
  out[7] = char('0' + dd % 10);
}

std::string dtos(Date d) {
  char buf[8];
  dtos_into(d, buf);
  return std::string(buf, 8);
}

Date stod_date(std::string_view text) {
  if (text.size() != 8 || !all_digits(text)) return Date();
  return Date::from_ymd(to_int(text.substr(0, 4)), to_int(text.substr(4, 2)), to_int(text.substr(6, 2)));
}

}  // namespace mv
