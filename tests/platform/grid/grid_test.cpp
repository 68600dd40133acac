#include <QAbstractItemModelTester>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include "platform/grid/gridbrowser.h"
#include "platform/grid/griddbserver.h"
#include "platform/table/table.h"
#include "tests/platform/gui/qt_env.h"

namespace mv::grid {
namespace {

TEST(ArrayServer, ColumnsRowsAndEditing) {
  GRIDARRAYSERVER s({{"Neujahr", QDate(2024, 1, 1), 1}, {"Ostern", QDate(2024, 3, 31), 2}},
                    {"NAME", "DATUM", "NR"});
  QAbstractItemModelTester tester(&s, QAbstractItemModelTester::FailureReportingMode::Fatal);
  s.add_all_field_columns();
  s.add_column(GridColumn::on_recno("SATZNR", "Satz", 40), 0);
  s.close_column("SATZNR");
  ASSERT_EQ(s.columnCount(), 4);
  EXPECT_EQ(s.data(s.index(1, 2), Qt::DisplayRole).toString(), "31.03.2024");
  EXPECT_EQ(s.data(s.index(1, 0), Qt::DisplayRole).toString(), "2");
  EXPECT_EQ(s.field_type(3), 'N');
  EXPECT_EQ(s.data(s.index(0, 3), Qt::TextAlignmentRole).toInt() & Qt::AlignRight, Qt::AlignRight);

  GRIDBROWSER g;
  g.set_server(&s);
  EXPECT_TRUE(g.isColumnHidden(0));
  s.open_column("SATZNR", 2);  // opened later at a position
  EXPECT_EQ(s.column_index("SATZNR"), 2);
  EXPECT_FALSE(g.isColumnHidden(2));

  // Editing keeps the element's kind; a bad date is refused.
  EXPECT_TRUE(s.setData(s.index(0, s.column_index("NR")), "7", Qt::EditRole));
  EXPECT_EQ(s.value(0, 3).typeId(), QMetaType::Int);
  EXPECT_EQ(s.value(0, 3).toInt(), 7);
  EXPECT_FALSE(s.setData(s.index(0, s.column_index("DATUM")), "31.02.2024", Qt::EditRole));
  EXPECT_EQ(s.value(0, 2).toDate(), QDate(2024, 1, 1));
  EXPECT_FALSE(s.setData(s.index(0, s.column_index("SATZNR")), "9", Qt::EditRole));

  s.append_row({"Weihnachten", QDate(2024, 12, 25), 3});
  s.delete_row(0);
  EXPECT_EQ(s.rowCount(), 2);
  EXPECT_EQ(g.SKIP(5), 1);
  EXPECT_EQ(g.current_row(), 1);
  EXPECT_EQ(g.SKIP(-5), -1);
}

TEST(Browser, BackgroundsFrozenColumnsAndEvents) {
  GRIDARRAYSERVER s({{"a", 1}, {"b", 2}, {"c", 3}}, {"X", "Y"});
  s.add_all_field_columns();
  GRIDBROWSER g;
  GRIDSTYLE style(1);
  style.ADDBACKGROUND(QBrush(Qt::red));
  style.ADDBACKGROUND(QBrush(Qt::NoBrush));
  g.GRID(style);
  g.set_server(&s);
  EXPECT_EQ(g.row_background(2).color(), QColor(Qt::red));
  EXPECT_EQ(g.row_background(1).style(), Qt::NoBrush);
  g.set_frozen_columns(1);
  ASSERT_NE(g.frozen_view(), nullptr);
  EXPECT_FALSE(g.frozen_view()->isColumnHidden(0));
  EXPECT_TRUE(g.frozen_view()->isColumnHidden(1));
  int selected = -1;
  QObject::connect(&g, &GRIDBROWSER::cell_selected, [&](int row, int) { selected = row; });
  s.GOBOTTOM();
  EXPECT_EQ(selected, 2);
  EXPECT_EQ(g.current_row(), 2);
  g.AUTOREFRESHTIME(1000);
  EXPECT_EQ(g.auto_refresh_time(), 1000);
}

class DbServer : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(dir.isValid());
    path = (dir.path() + "/kunden.dbf").toStdString();
    std::vector<StructRow> fields = {{"NAME", 'C', 12, 0}, {"BETRAG", 'N', 8, 2}, {"DATUM", 'D', 8, 0},
                                     {"AKTIV", 'L', 1, 0}};
    ASSERT_TRUE(db_create(path, fields, "DBFNTX", CodePage::Windows1252).is_ok());
    OpenOptions o;
    o.shared = false;
    o.code_page = CodePage::Windows1252;
    auto t = Table::open(path, o);
    ASSERT_TRUE(t.is_ok()) << t.status().to_string();
    table = std::move(*t);
    for (int i = 1; i <= 200; ++i) {
      ASSERT_TRUE(table->append_blank().is_ok());
      ASSERT_TRUE(table->field_put(1, Value::character(i == 2 ? "M\xfc" "ller" : "K" + std::to_string(i))).is_ok());
      ASSERT_TRUE(table->field_put(2, Value::numeric(i * 1.5, 8, 2)).is_ok());
      ASSERT_TRUE(table->field_put(3, Value::of_date(Date::from_ymd(2024, 1, 1) + i)).is_ok());
      ASSERT_TRUE(table->field_put(4, Value::boolean(i % 2 == 0)).is_ok());
    }
    ASSERT_TRUE(table->go_to(3).is_ok());
    ASSERT_TRUE(table->delete_record().is_ok());
    ASSERT_TRUE(table->commit().is_ok());
  }
  void TearDown() override { set_deleted_filter(false); }
  QTemporaryDir dir;
  std::string path;
  std::unique_ptr<Table> table;
};

TEST_F(DbServer, ShowsRecordsInTheTableCodePageWithoutReadingEverything) {
  GRIDDBSERVER s(std::move(table));
  QAbstractItemModelTester tester(&s, QAbstractItemModelTester::FailureReportingMode::Fatal);
  s.add_all_field_columns();
  s.add_column(GridColumn::on_recno("SATZNR", "Satznr", 50));
  s.add_column(GridColumn::on_expression("DEL", "Del", 'C', 20, [](const GRIDSERVER& srv, int row) {
    return srv.is_deleted(row) ? QString("*") : QString(" ");
  }));
  EXPECT_EQ(s.rowCount(), 200);
  EXPECT_EQ(s.data(s.index(1, 0), Qt::DisplayRole).toString(), QString::fromUtf8("Müller"));
  EXPECT_EQ(s.data(s.index(0, 1), Qt::DisplayRole).toString(), "1.50");
  EXPECT_EQ(s.data(s.index(0, 2), Qt::DisplayRole).toString(), "02.01.2024");
  EXPECT_EQ(s.data(s.index(1, 3), Qt::DisplayRole).toString(), "T");
  EXPECT_EQ(s.data(s.index(199, 4), Qt::DisplayRole).toString(), "200");
  EXPECT_EQ(s.data(s.index(2, 5), Qt::DisplayRole).toString(), "*");
  // Only the blocks of the rows asked for were read.
  EXPECT_LE(s.records_read(), 128u);

  GRIDBROWSER g;
  g.set_server(&s);
  g.resize(400, 300);
  s.GOTO(150);
  EXPECT_EQ(s.table()->recno(), 150u);
  EXPECT_EQ(g.current_row(), 149);
  g.SKIP(1);
  EXPECT_EQ(s.table()->recno(), 151u);
}

TEST_F(DbServer, EditsGoToTheTableAndRefusedCharactersAreReported) {
  GRIDDBSERVER s(std::move(table));
  s.add_all_field_columns();
  EXPECT_TRUE(s.setData(s.index(4, 0), QString::fromUtf8("Größe"), Qt::EditRole));
  EXPECT_EQ(s.data(s.index(4, 0), Qt::DisplayRole).toString(), QString::fromUtf8("Größe"));
  EXPECT_FALSE(s.setData(s.index(4, 0), QString::fromUtf8("Ω"), Qt::EditRole));
  EXPECT_FALSE(s.last_status().is_ok());
  EXPECT_EQ(s.data(s.index(4, 0), Qt::DisplayRole).toString(), QString::fromUtf8("Größe"));
  EXPECT_FALSE(s.setData(s.index(4, 1), "abc", Qt::EditRole));
  EXPECT_TRUE(s.setData(s.index(4, 1), "12,5", Qt::EditRole));
  EXPECT_EQ(s.data(s.index(4, 1), Qt::DisplayRole).toString(), "12.50");
  // The spellings every typed value takes (the table window's grid reads them alike).
  EXPECT_TRUE(s.setData(s.index(4, 3), "ja", Qt::EditRole));
  ASSERT_TRUE(s.table()->go_to(5).is_ok());
  EXPECT_EQ(s.table()->field_raw(4), "T");
  EXPECT_TRUE(s.setData(s.index(4, 3), "0", Qt::EditRole));
  ASSERT_TRUE(s.table()->go_to(5).is_ok());
  EXPECT_EQ(s.table()->field_raw(4), "F");
  EXPECT_FALSE(s.setData(s.index(4, 3), "vielleicht", Qt::EditRole));
  EXPECT_TRUE(s.setData(s.index(4, 2), ".  .", Qt::EditRole));
  EXPECT_TRUE(s.setData(s.index(4, 1), "", Qt::EditRole));
  ASSERT_TRUE(s.table()->go_to(5).is_ok());
  EXPECT_EQ(s.table()->field_raw(3), "        ");
  EXPECT_EQ(s.table()->field_raw(2), "        ");
}

TEST_F(DbServer, RefreshAfterPackAndDeletedFilter) {
  GRIDDBSERVER s(std::move(table));
  QAbstractItemModelTester tester(&s, QAbstractItemModelTester::FailureReportingMode::Fatal);
  s.add_all_field_columns();
  EXPECT_EQ(s.data(s.index(3, 0), Qt::DisplayRole).toString(), "K4");
  const uint64_t gen = s.generation();
  ASSERT_TRUE(s.table()->pack().is_ok());
  s.refresh();
  EXPECT_GT(s.generation(), gen);
  EXPECT_EQ(s.rowCount(), 199);
  EXPECT_EQ(s.data(s.index(2, 0), Qt::DisplayRole).toString(), "K4");  // no stale row

  ASSERT_TRUE(s.table()->go_to(1).is_ok());
  ASSERT_TRUE(s.table()->delete_record().is_ok());
  set_deleted_filter(true);
  s.refresh();
  EXPECT_EQ(s.rowCount(), 198);
  EXPECT_EQ(s.recno(0), 2u);
  EXPECT_EQ(s.row_of_recno(1), -1);

  auto t = s.release_table();
  EXPECT_EQ(s.rowCount(), 0);
  s.set_table(std::move(t));
  EXPECT_EQ(s.rowCount(), 198);
}

}  // namespace
}  // namespace mv::grid
