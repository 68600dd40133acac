#include "printing/table_lists.h"

#include "platform/table/table.h"

namespace mv {

QString field_type_name(const QString& letter) {
  static const std::pair<const char*, const char*> kNames[] = {{"C", "Character"}, {"N", "Numeric"}, {"L", "Logic"},
                                                               {"D", "Date"},      {"M", "Memo"},    {"O", "OLE"}};
  for (const auto& [l, n] : kNames)
    if (letter == QLatin1String(l)) return QString::fromLatin1(n);
  return QString();
}

QString index_extension(const QString& driver) {
  const QString d = driver.toUpper();
  if (d.contains(QLatin1String("NTX"))) return QStringLiteral(".NTX");
  if (d.contains(QLatin1String("MDX"))) return QStringLiteral(".MDX");
  return QStringLiteral(".CDX");
}

std::vector<ArrayColumn> field_list_columns() {
  return {{QStringLiteral("Nr."), 4, 2},
          {QStringLiteral("Feldname"), 14, 0},
          {QStringLiteral("Type"), 12, 0},
          {QStringLiteral("Länge"), 8, 2},
          {QStringLiteral("Dec"), 8, 2}};
}

std::vector<QStringList> field_list_rows(const std::vector<StructRow>& fields) {
  std::vector<QStringList> rows;
  int i = 0;
  for (const StructRow& f : fields) {
    const QString letter = QString(QChar::fromLatin1(f.type));
    rows.push_back({QString::number(++i), QString::fromStdString(f.name),
                    letter + QStringLiteral(" => ") + field_type_name(letter), QString::number(f.length),
                    QString::number(f.decimals)});
  }
  return rows;
}

std::vector<ArrayColumn> index_list_columns() {
  return {{QStringLiteral("Nr."), 4, 2},
          {QStringLiteral("Indexname"), 14, 0},
          {QStringLiteral("Schlüsselausdruck"), 48, 0}};
}

std::vector<QStringList> index_list_rows(const std::vector<ListedOrder>& orders) {
  std::vector<QStringList> rows;
  int i = 0;
  for (const ListedOrder& o : orders) rows.push_back({QString::number(++i), o.name, o.key});
  return rows;
}

ListedTable listed_table(Table& table) {
  ListedTable t;
  t.lastrec = table.lastrec();
  t.recsize = table.record_length();
  t.driver = QString::fromStdString(table.driver());
  t.index_ext = index_extension(t.driver);
  return t;
}

void print_field_list(QWidget* owner, bool preview, Table& table, const QString& section, const ListSettings& ini) {
  RPTARRAYDATEN::print(owner, preview, field_list_columns(), field_list_rows(table.dbstruct()),
                       QStringLiteral("Struktur: ") + QString::fromStdString(table.path()), section, ini,
                       listed_table(table));
}

void print_index_list(QWidget* owner, bool preview, Table& table, const std::vector<ListedOrder>& orders,
                      const QString& section, const ListSettings& ini) {
  RPTARRAYDATEN::print(owner, preview, index_list_columns(), index_list_rows(orders),
                       QStringLiteral("Index: ") + QString::fromStdString(table.path()), section, ini,
                       listed_table(table));
}

}  // namespace mv
