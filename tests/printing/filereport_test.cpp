// Printing the records from the data page: "Seitenansicht" and "&Drucken" reach the
// record list with the table's stored columns and list options; the list's arguments are
// captured, one real print is read back from its PDF.
#include <gtest/gtest.h>

#include <QRadioButton>
#include <map>

#include "platform/gui/messagebox.h"
#include "platform/gui/windows.h"
#include "platform/report/preview.h"
#include "platform/table/table.h"
#include "platform/table/transfer.h"
#include "printing/rptdbfdaten.h"
#include "printing_helpers.h"
#include "tablewindow/environment.h"
#include "tablewindow/tab_dbfdaten.h"
#include "tablewindow/tabdw_dbfdatei.h"
#include "tablewindow/tableserver.h"
#include "tests/support/fixtures.h"

namespace mv {
namespace {

using Keys = std::map<QString, QString>;

class FileReport : public ::testing::Test {
 protected:
  void SetUp() override {
    path_ = QString::fromStdString(dir_.file("KUNDEN.DBF"));
    ASSERT_TRUE(
        db_create(path_.toStdString(), {{"A", 'C', 20, 0}, {"B", 'C', 20, 0}, {"C", 'C', 27, 0}}, "DBFCDX").is_ok());
    auto t = Table::open(path_.toStdString(), OpenOptions{});
    ASSERT_TRUE(t.is_ok());
    for (int i = 1; i <= 30; ++i) {
      ASSERT_TRUE((*t)->append_blank().is_ok());
      ASSERT_TRUE((*t)->field_put(1, Value::character("Kunde " + std::to_string(i))).is_ok());
    }
    ASSERT_TRUE((*t)->close().is_ok());
    TableWindowEnvironment env;
    env.history = &history_;
    env.product = &product_;
    set_table_window_environment(env);
    set_record_list_hook([this](const RecordListRun& r) {
      runs_.push_back(r);
      return run_lists_;
    });
  }
  void TearDown() override {
    delete w_;
    set_record_list_hook({});
    set_table_window_environment({});
    report::set_pdf_route(QString());
  }
  void open_window() {
    w_ = new TABDW_DBFDATEI(&shell_, path_, true, false, false);
    ASSERT_NE(w_->server(), nullptr);
  }
  void put(HistoryStore& ini, const QString& section, const Keys& keys) {
    for (const auto& [k, v] : keys) ini.WRITESTRING(section, k, v);
  }
  testing::TempDir dir_;
  QString path_;
  MemoryHistoryStore history_, product_;
  gui::SHELLWINDOW shell_;
  TABDW_DBFDATEI* w_ = nullptr;
  std::vector<RecordListRun> runs_;
  bool run_lists_ = false;
};

TEST_F(FileReport, OptionsTitleOrientationAndRangeFromTheStoredSettings) {
  struct Case {
    const char* name;
    Keys table;      // the table's section of the history file
    Keys runtime;    // the product INI's "Runtime"
    double width_c;  // print width of field C
    bool rest;       // "Rest ab selektierter Pos."
    QString title;   // "" : the table's path
    QString extra;
    int font;
    bool landscape, grid, rows, cols;
    uint32_t start;
  };
  const Case cases[] = {
      {"nothing stored, 20/20/27 wide", {}, {}, 27, false, "", "", 10, true, true, false, false, 1},
      {"20/20/26 wide", {}, {}, 26, false, "", "", 10, false, true, false, false, 1},
      {"QuerFormat Nein", {{"QuerFormat", "Nein"}}, {}, 27, false, "", "", 10, false, true, false, false, 1},
      {"QuerFormat jA", {{"QuerFormat", "jA"}}, {}, 5, false, "", "", 10, true, true, false, false, 1},
      {"own title",
       {{"ListeIntern", "Ja"}, {"Liste", "Kundenliste"}, {"ZusatzText", "nur Inland"}},
       {},
       26,
       false,
       "Kundenliste",
       "nur Inland",
       10,
       false,
       true,
       false,
       false,
       1},
      {"own title empty", {{"ListeIntern", "ja"}}, {}, 26, false, "", "", 10, false, true, false, false, 1},
      {"own title not asked for",
       {{"ListeIntern", "Nein"}, {"Liste", "Kundenliste"}},
       {},
       26,
       false,
       "",
       "",
       10,
       false,
       true,
       false,
       false,
       1},
      {"Runtime switches",
       {},
       {{"Gitter", "Nein"}, {"ZeileGrau", "Ja"}, {"SpalteGrau", "JA"}},
       26,
       false,
       "",
       "",
       10,
       false,
       false,
       true,
       true,
       1},
      // A saved layout decides both ways, so the print follows what the dialog previewed.
      {"saved switches win",
       {{"Gitter", "Ja"}, {"ZeileGrau", "Nein"}, {"SpalteGrau", "Nein"}},
       {{"Gitter", "Nein"}, {"ZeileGrau", "Ja"}, {"SpalteGrau", "Ja"}},
       26,
       false,
       "",
       "",
       10,
       false,
       true,
       false,
       false,
       1},
      {"Schrift 12", {{"Schrift", "12"}}, {}, 26, false, "", "", 12, false, true, false, false, 1},
      {"Schrift not a number", {{"Schrift", "gross"}}, {}, 26, false, "", "", 10, false, true, false, false, 1},
      {"rest from the current record", {}, {}, 26, true, "", "", 10, false, true, false, false, 17},
  };
  for (const Case& c : cases) {
    history_.sections.clear();
    product_.sections.clear();
    put(history_, path_, c.table);
    put(product_, QStringLiteral("Runtime"), c.runtime);
    open_window();
    w_->AFELDER[4].print_width = c.width_c;
    w_->data_page()->findChild<QRadioButton*>(c.rest ? "RB_REST" : "RB_ALLE")->setChecked(true);
    w_->GOTO(17);
    runs_.clear();
    w_->FILEPRINT();
    ASSERT_EQ(runs_.size(), 1u) << c.name;
    const RecordListRun& r = runs_[0];
    EXPECT_FALSE(r.preview) << c.name;
    EXPECT_EQ(r.start, c.start) << c.name;
    EXPECT_EQ(*r.args.title, c.title.isEmpty() ? QString::fromStdString(w_->server()->table()->path()) : c.title)
        << c.name;
    EXPECT_EQ(r.args.extra, c.extra) << c.name;
    EXPECT_EQ(r.args.font, c.font) << c.name;
    EXPECT_EQ(r.args.landscape, c.landscape) << c.name;
    EXPECT_EQ(r.args.grid, c.grid) << c.name;
    EXPECT_EQ(r.args.grey_rows, c.rows) << c.name;
    EXPECT_EQ(r.args.grey_columns, c.cols) << c.name;
    EXPECT_EQ(w_->LESESATZNR(), 17) << c.name;  // the record afterwards
    delete w_;
    w_ = nullptr;
  }
}

TEST_F(FileReport, ColumnsInPrintOrderAndTheColumnListKeepsIt) {
  open_window();
  // Field C first, then "DEL", then A; B and "SATZNR" not printed.
  for (ColumnRow& r : w_->AFELDER) {
    if (r.name == "C")
      r.print_order = 1;
    else if (r.name == "DEL")
      r.print_order = 2;
    else if (r.name == "A") {
      r.print_order = 3;
      r.heading = "Name";
    } else
      r.print_order = 0;
  }
  w_->FILEANSICHT();
  ASSERT_EQ(runs_.size(), 1u);
  EXPECT_TRUE(runs_[0].preview);
  const std::vector<ReportColumn> expected{{3, "C", 27}, {0, "DEL", 3}, {1, "Name", 20}};
  EXPECT_EQ(*runs_[0].args.columns, expected);
  QStringList order;
  for (const ColumnRow& r : w_->AFELDER) order << r.name;
  EXPECT_EQ(order, (QStringList{"SATZNR", "B", "C", "DEL", "A"}));  // unprinted rows first, in their order
}

TEST_F(FileReport, PrintsToPdfFromTheCurrentRecordAndWithoutATableSaysSo) {
  const QString pdf = QString::fromStdString(dir_.file("liste.pdf"));
  report::set_pdf_route(pdf);
  run_lists_ = true;
  open_window();
  w_->data_page()->findChild<QRadioButton*>("RB_REST")->setChecked(true);
  w_->GOTO(25);
  // While the list walks the table the grid hears nothing; afterwards it shows the record.
  TableGridServer* server = w_->server();
  int signals_during = 0;
  auto count = [&] { signals_during += server->notifications_suspended() ? 1 : 0; };
  QObject::connect(server, &QAbstractItemModel::modelAboutToBeReset, count);
  QObject::connect(server, &QAbstractItemModel::rowsAboutToBeInserted, count);
  QObject::connect(server, &QAbstractItemModel::dataChanged, count);
  QObject::connect(server, &grid::GRIDSERVER::current_row_changed, count);
  int pages_suspended = 0;
  report::set_page_observer([&](int, const std::vector<QByteArray>&) {
    pages_suspended += server->notifications_suspended() ? 1 : 0;
    server->auto_refresh();  // reads and moves nothing meanwhile
  });
  w_->FILEPRINT();
  report::set_page_observer({});
  EXPECT_GE(pages_suspended, 1);
  EXPECT_EQ(signals_during, 0);
  EXPECT_FALSE(server->notifications_suspended());
  ASSERT_GE(server->current_row(), 0);
  EXPECT_EQ(server->recno(server->current_row()), 25u);
  const QString text = pttest::pdf_text(pdf);
  EXPECT_TRUE(text.contains("Kunde 25"));
  EXPECT_TRUE(text.contains("Kunde 30"));
  EXPECT_FALSE(text.contains("Kunde 24"));
  EXPECT_TRUE(text.contains(path_)) << text.toStdString();
  EXPECT_EQ(w_->LESESATZNR(), 25);

  gui::RecordingMessageBoxes boxes;
  w_->data_page()->GRIDDBSERVERCLOSE();
  runs_.clear();
  w_->FILEANSICHT();
  EXPECT_TRUE(runs_.empty());
  ASSERT_EQ(boxes.count(), 1);
  EXPECT_EQ(boxes.last().caption, "Achtung");
  EXPECT_EQ(boxes.last().text, QStringLiteral("Es ist keine Datei geöffnet!"));
}

}  // namespace
}  // namespace mv
