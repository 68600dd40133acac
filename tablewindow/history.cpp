#include "tablewindow/history.h"

#include <algorithm>

#include "components/strings.h"

namespace mv {

StructureList structure_of(const std::vector<StructRow>& dbstruct) {
  StructureList out;
  out.reserve(dbstruct.size());
  for (const StructRow& r : dbstruct)
    out.push_back({QString::fromLatin1(r.name.c_str()), QString(QChar(r.type)), int(r.length), int(r.decimals), {}});
  return out;
}

double val(const QString& text) {
  int i = 0;
  const int n = int(text.size());
  while (i < n && text[i] == QChar(' ')) ++i;
  const int start = i;
  if (i < n && (text[i] == QChar('-') || text[i] == QChar('+'))) ++i;
  bool digits = false;
  while (i < n && text[i].isDigit()) ++i, digits = true;
  if (i < n && text[i] == QChar('.')) {
    ++i;
    while (i < n && text[i].isDigit()) ++i, digits = true;
  }
  if (!digits) return 0;
  return text.mid(start, i - start).toDouble();
}

static int ival(const QString& text) { return int(val(text)); }

void count_opening(HistoryStore& ini, const QString& section, const QDateTime& now) {
  const int n = ival(ini.GETSTRING(section, QStringLiteral("Anzahl"))) + 1;
  ini.WRITESTRING(section, QStringLiteral("Anzahl"), QString::number(n));
  ini.WRITESTRING(section, QStringLiteral("Datum"), now.date().toString(QStringLiteral("dd.MM.yyyy")));
  ini.WRITESTRING(section, QStringLiteral("Zeit"), now.time().toString(QStringLiteral("HH:mm:ss")));
}

ColumnList default_columns(const StructureList& fields) {
  ColumnList out;
  out.push_back({0, 0, QStringLiteral("DEL"), 3, 3, false, QStringLiteral("L"), QStringLiteral("DEL")});
  out.push_back({0, 0, QStringLiteral("SATZNR"), 7, 7, false, QStringLiteral("N"), QStringLiteral("SATZNR")});
  int i = 0;
  for (const StructureRow& f : fields) {
    ++i;
    const int name_len = int(f.name.trimmed().size());
    int display;
    if (f.type == QLatin1String("L")) display = std::max(name_len, 3);
    else if (f.type == QLatin1String("D")) display = 10;
    else display = std::max(name_len, f.length);
    out.push_back({i, i, f.name, double(f.length), display, true, f.type, f.name});
  }
  return out;
}

void apply_stored_layout(ColumnList& columns, const HistoryStore& ini, const QString& section) {
  // By field position; the deleted-flag row ahead of the record-number row.
  std::stable_sort(columns.begin(), columns.end(), [](const ColumnRow& a, const ColumnRow& b) {
    if (a.position != b.position) return a.position < b.position;
    const bool a_del = a.name == QLatin1String("DEL"), b_del = b.name == QLatin1String("DEL");
    return a_del && !b_del;
  });
  for (size_t i = 1; i <= columns.size(); ++i) {
    const QString value = ini.GETSTRING(section, QStringLiteral("Spalte") + QString::number(i));
    if (value.isEmpty()) continue;
    const int p = ival(TOKEN(value, 1, QStringLiteral(",")));
    const QString heading = TOKEN(value, 3, QStringLiteral(","));
    ColumnRow* target = nullptr;
    if (p == 0) {
      if (columns.size() < 2) continue;
      target = heading.toUpper().startsWith(QLatin1String("DEL")) ? &columns[0] : &columns[1];
    } else {
      for (ColumnRow& r : columns)
        if (r.position == p) {
          target = &r;
          break;
        }
      if (!target) continue;
    }
    target->print_order = ival(TOKEN(value, 2, QStringLiteral(",")));
    target->heading = heading;
    target->print_width = ival(TOKEN(value, 4, QStringLiteral(",")));
    target->shown = target->print_order != 0;
  }
}

QString layout_value(const ColumnRow& row) {
  return QString::number(row.position) + QLatin1Char(',') + QString::number(row.print_order) + QLatin1Char(',') +
         (row.print_order > 0 ? row.heading : row.name) + QLatin1Char(',') + QString::number(row.print_width);
}

void save_layout(const ColumnList& columns, HistoryStore& ini, const QString& section) {
  for (size_t i = 0; i < columns.size(); ++i)
    ini.WRITESTRING(section, QStringLiteral("Spalte") + QString::number(i + 1), layout_value(columns[i]));
}

}  // namespace mv
