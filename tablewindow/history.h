#pragma once
// The table's section of the history file "ZovuZUZ.INI" and the column list AFELDER of
// the printed record list.
//   Section: named by the table's path as opened; "Anzahl" (openings counted), "Datum"
//   ("dd.MM.yyyy") and "Zeit" ("HH:mm:ss") of the last one, and the stored column layout
//   "Spalte1", "Spalte2" ... = "position,print order,heading or name,width".
#include <QDateTime>
#include <QString>
#include <QVariant>
#include <vector>

#include "platform/table/dbf_header.h"
#include "tablewindow/environment.h"

namespace mv {

// A row of the field list ASTRUCTUR: {name, type letter, length, decimals}; the structure
// page may carry a fifth element (the position while it inserts a field).
struct StructureRow {
  QString name;
  QString type;
  int length = 0;
  int decimals = 0;
  QVariant extra;
  bool operator==(const StructureRow& o) const {
    return name == o.name && type == o.type && length == o.length && decimals == o.decimals;
  }
};
using StructureList = std::vector<StructureRow>;
StructureList structure_of(const std::vector<StructRow>& dbstruct);

// A row of the index list AINDEX: {number, name, key expression, file of the order}, and
// what a rebuild of the order keeps besides: its FOR condition and flags. The number is the
// row's position; a row inserted before row r holds r - 0.5 until the list is sorted.
struct IndexRow {
  double number = 0;
  QString name;
  QString key;
  QString bag;
  QString for_expr;
  bool unique = false;
  bool descending = false;
};
using IndexList = std::vector<IndexRow>;

// A row of the column list AFELDER.
struct ColumnRow {
  int position = 0;      // field position, 0 for the two pseudo columns
  int print_order = 0;   // 0: not printed
  QString name;          // field name ("DEL", "SATZNR" for the pseudo columns)
  double print_width = 0;  // characters; a width taken from the grid may be fractional
  int display_width = 0;
  bool shown = false;
  QString type;
  QString heading;
  bool operator==(const ColumnRow&) const = default;
};
using ColumnList = std::vector<ColumnRow>;

// The numeric value at the start of a text after blanks (sign, digits, decimals); 0
// when it does not begin with a number.
double val(const QString& text);

// Counts an opening in section `section`: "Anzahl" + 1, "Datum", "Zeit".
void count_opening(HistoryStore& ini, const QString& section, const QDateTime& now = QDateTime::currentDateTime());

// The default column list: the pseudo rows "DEL" and "SATZNR", then one printed row per
// field in field order.
ColumnList default_columns(const StructureList& fields);

// Applies the stored layout of `section` to `columns` (sorted by field position first,
// "DEL" before "SATZNR").
void apply_stored_layout(ColumnList& columns, const HistoryStore& ini, const QString& section);

// Writes `columns` as the stored layout of `section`, in their current order.
void save_layout(const ColumnList& columns, HistoryStore& ini, const QString& section);

// The stored text of one row: position, print order, heading (printed) or name, width.
QString layout_value(const ColumnRow& row);

}  // namespace mv
