#pragma once
// The field list and the index list of an open table, printed as array lists. The
// structure and index pages call these from their print commands.
#include <QString>
#include <QStringList>
#include <QWidget>
#include <vector>

#include "platform/table/dbf_header.h"
#include "printing/list_options.h"
#include "printing/rptarraydaten.h"

namespace mv {

class Table;

// One order of the table: its name and key expression.
struct ListedOrder {
  QString name;
  QString key;
};

// The type name of a field type letter ("" for a letter no list names).
QString field_type_name(const QString& letter);
// The index file extension of a driver (".NTX", ".MDX", ".CDX").
QString index_extension(const QString& driver);

// The columns, rows and title of the two lists, and the facts of page 1.
std::vector<ArrayColumn> field_list_columns();
std::vector<QStringList> field_list_rows(const std::vector<StructRow>& fields);
std::vector<ArrayColumn> index_list_columns();
std::vector<QStringList> index_list_rows(const std::vector<ListedOrder>& orders);
ListedTable listed_table(Table& table);

// Runs the preview (`preview`) or the print of the list. `section` names the table's
// section of the history file, which holds its list options.
void print_field_list(QWidget* owner, bool preview, Table& table, const QString& section, const ListSettings& ini);
void print_index_list(QWidget* owner, bool preview, Table& table, const std::vector<ListedOrder>& orders,
                      const QString& section, const ListSettings& ini);

}  // namespace mv
