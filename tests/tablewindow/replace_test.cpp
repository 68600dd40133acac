// The bulk replace dialog driven through its lists, edits and buttons.
#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QTimer>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>

#include "platform/gui/messagebox.h"
#include "platform/gui/windows.h"
#include "platform/table/index/order_list.h"
#include "tablewindow/dlg_replace.h"
#include "tablewindow/tab_dbfdaten.h"
#include "tablewindow/tabdw_dbfdatei.h"
#include "tablewindow_helpers.h"
#include "tests/support/faulty_fs.h"

namespace mv {
namespace {

const char* const kNames[] = {"Meier", "Müller", "Münster", "Mahler", "Abel", "Zorn", "Müll", "Berg", "Kunz", "Lang"};

// NAME C(10), BETRAG N(10,2) = 50 * i, DATUM D = 2024-01-i, OK L; an order on NAME.
QString make_replace_table(const std::string& dir) {
  const std::string path = dir + "/DATEN.DBF";
  EXPECT_TRUE(db_create(path, {{"NAME", 'C', 10, 0}, {"BETRAG", 'N', 10, 2}, {"DATUM", 'D', 8, 0}, {"OK", 'L', 1, 0}},
                        "DBFCDX")
                  .is_ok());
  OpenOptions o;
  o.shared = false;
  o.driver = "DBFCDX";
  o.code_page = CodePage::Windows1252;
  auto t = Table::open(path, o);
  EXPECT_TRUE(t.is_ok());
  for (int i = 1; i <= 10; ++i) {
    (*t)->append_blank().ignore();
    (*t)->field_put(1, Value::character(*cp_from_utf8(CodePage::Windows1252, kNames[i - 1]))).ignore();
    (*t)->field_put(2, Value::numeric(50.0 * i)).ignore();
    (*t)->field_put(3, Value::of_date(Date::from_ymd(2024, 1, i))).ignore();
  }
  auto ol = OrderList::attach(**t);
  EXPECT_TRUE(ol.is_ok());
  EXPECT_TRUE((*ol)->create_order("NAME", "", "NAME").is_ok());
  ol->reset();
  (*t)->close().ignore();
  return QString::fromStdString(path);
}

struct Setting {
  const char* target;
  QString value;
  const char* second = "keine";
  const char* op = " ";
  const char* cond = "keine";
  const char* cmp = " ";
  QString cmp_value = {};
  bool rest = false;
};

class Replace : public ::testing::Test {
 protected:
  void open(bool read_only = false, FileSystem* fs = nullptr) {
    dir_ = twtest::scratch_dir("replace");
    path_ = make_replace_table(dir_);
    env_ = std::make_unique<twtest::EnvironmentScope>(&history_);
    TableWindowEnvironment e = table_window_environment();
    e.file_system = fs;
    set_table_window_environment(e);
    w_ = std::make_unique<TABDW_DBFDATEI>(&shell_, path_, false, read_only, true);
    ASSERT_NE(w_->server(), nullptr);
  }
  void TearDown() override {
    w_.reset();
    env_.reset();
  }
  std::unique_ptr<DLG_REPLACE> dialog() {
    auto d = std::make_unique<DLG_REPLACE>(w_.get());
    d->SETUP(w_->server());
    return d;
  }
  static void choose(DLG_REPLACE& d, const char* list, const QString& text) {
    auto* cb = d.findChild<QComboBox*>(list);
    ASSERT_NE(cb, nullptr) << list;
    const int i = cb->findText(text);
    ASSERT_GE(i, 0) << list << " " << text.toStdString();
    cb->setCurrentIndex(i);
    d.LISTBOXSELECT(cb);
  }
  void run(const Setting& r) {
    auto d = dialog();
    choose(*d, "CB_FELDER1", r.target);
    choose(*d, "CB_FELDER3", r.second);
    choose(*d, "CB_ZEICHEN", r.op);
    choose(*d, "CB_FELDER2", r.cond);
    choose(*d, "CB_VERGLEICH", r.cmp);
    d->findChild<QLineEdit*>("SE_FELDWERT")->setText(r.value);
    d->findChild<QLineEdit*>("SE_WERT")->setText(r.cmp_value);
    d->findChild<QRadioButton*>(r.rest ? "RB_REST" : "RB_ALLE")->setChecked(true);
    d->findChild<QPushButton*>("PB_OK")->click();
  }
  std::vector<std::string> column(int field) {
    std::vector<std::string> out;
    Table* t = w_->server()->table();
    std::vector<uint8_t> rec;
    for (uint32_t r = 1; r <= t->lastrec(); ++r) {
      EXPECT_TRUE(t->read_record(r, rec).is_ok());
      const FieldInfo& f = t->field(field);
      std::string s(reinterpret_cast<const char*>(rec.data()) + f.offset, f.length);
      while (!s.empty() && s.back() == ' ') s.pop_back();
      while (!s.empty() && s.front() == ' ') s.erase(s.begin());
      out.push_back(s);
    }
    return out;
  }

  std::string dir_;
  QString path_;
  MemoryHistoryStore history_;
  std::unique_ptr<twtest::EnvironmentScope> env_;
  gui::SHELLWINDOW shell_;
  gui::RecordingMessageBoxes boxes_;
  std::unique_ptr<TABDW_DBFDATEI> w_;
};

using Col = std::vector<std::string>;
const Col kBetrag{"50.00", "100.00", "150.00", "200.00", "250.00", "300.00", "350.00", "400.00", "450.00", "500.00"};

TEST_F(Replace, TypedValuesConditionsAndSecondFields) {
  struct Case {
    const char* what;
    Setting run;
    int field;
    Col after;
    QString box;  // the text of the one box, "" for none
  };
  const Case cases[] = {
      {"comma", {"BETRAG", "1,5"}, 2, Col(10, "1.50"), ""},
      {"product", {"BETRAG", "2*3"}, 2, Col(10, "6.00"), ""},
      {"typo", {"BETRAG", "1,5x"}, 2, kBetrag, "Der Wert <1.5x> ist keine gültige Eingabe!"},
      {"function", {"BETRAG", "FERASE('DATEN.DBF')"}, 2, kBetrag,
       "Der Wert <FERASE('DATEN.DBF')> ist keine gültige Eingabe!"},
      {"field name", {"BETRAG", "BETRAG"}, 2, kBetrag, "Der Wert <BETRAG> ist keine gültige Eingabe!"},
      {"begins with", {"BETRAG", "1", "keine", " ", "NAME", "=", "Mü"}, 2,
       {"50.00", "1.00", "1.00", "200.00", "250.00", "300.00", "1.00", "400.00", "450.00", "500.00"}, ""},
      {"not", {"BETRAG", "1", "keine", " ", "NAME", "<>", "Mü"}, 2,
       {"1.00", "100.00", "150.00", "1.00", "1.00", "1.00", "350.00", "1.00", "1.00", "1.00"}, ""},
      {"above", {"BETRAG", "0", "keine", " ", "BETRAG", ">", "400"}, 2,
       {"50.00", "100.00", "150.00", "200.00", "250.00", "300.00", "350.00", "400.00", "0.00", "0.00"}, ""},
      {"date + 7", {"DATUM", "7", "DATUM", "+"}, 3,
       {"20240108", "20240109", "20240110", "20240111", "20240112", "20240113", "20240114", "20240115", "20240116",
        "20240117"},
       ""},
      {"logical from >", {"OK", "100", "BETRAG", ">"}, 4, {"F", "F", "T", "T", "T", "T", "T", "T", "T", "T"}, ""},
      {"empty text", {"NAME", ""}, 1, Col(10, ""), ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    open();
    w_->GOTO(4);
    const int before = boxes_.count();
    run(c.run);
    EXPECT_EQ(column(c.field), c.after);
    if (c.box.isEmpty()) {
      EXPECT_EQ(boxes_.count(), before);
    } else {
      ASSERT_EQ(boxes_.count(), before + 1);
      EXPECT_EQ(boxes_.last().caption, "Fehler");
      EXPECT_EQ(boxes_.last().text, c.box);
    }
    EXPECT_EQ(w_->server()->RECNO(), 4u);
    w_.reset();
  }
}

TEST_F(Replace, AFailingRecordWritesNothingAndIsNamed) {
  open();
  run({"BETRAG", "0", "BETRAG", "/"});
  EXPECT_EQ(column(2), kBetrag);
  ASSERT_GE(boxes_.count(), 1);
  EXPECT_EQ(boxes_.last().caption, "Achtung");
  EXPECT_TRUE(boxes_.last().text.contains("Datensatz 1: Division durch Null")) << boxes_.last().text.toStdString();
}

// A write that fails: the box tells it, no record changed, the grid on its record.
TEST_F(Replace, AFailingWriteIsToldAndChangesNothing) {
  FaultyFileSystem fs(FileSystem::posix());
  open(false, &fs);
  w_->GOTO(6);
  fs.fail_write_at = fs.writes + 1;  // the first run of records
  run({"BETRAG", "1"});
  EXPECT_EQ(column(2), kBetrag);
  ASSERT_GE(boxes_.count(), 1);
  EXPECT_EQ(boxes_.last().caption, "Achtung");
  EXPECT_TRUE(boxes_.last().text.startsWith("Es wurde nichts geändert:")) << boxes_.last().text.toStdString();
  EXPECT_EQ(w_->server()->RECNO(), 6u);
}

// The menu command opens the registered dialog on the window's table.
TEST_F(Replace, TheMenuCommandRunsTheDialog) {
  open();
  w_->GOTO(3);
  QTimer::singleShot(0, [] {
    auto* d = qobject_cast<DLG_REPLACE*>(QApplication::activeModalWidget());
    ASSERT_NE(d, nullptr);
    choose(*d, "CB_FELDER1", "BETRAG");
    d->findChild<QLineEdit*>("SE_FELDWERT")->setText("7");
    d->findChild<QPushButton*>("PB_OK")->click();
  });
  w_->OPENDLGREPLACE();
  EXPECT_EQ(column(2), Col(10, "7.00"));
  EXPECT_EQ(w_->server()->RECNO(), 3u);
}

TEST_F(Replace, RestStartsAtTheRecordInRecordNumberOrder) {
  open();
  auto* names = w_->data_page()->findChild<QComboBox*>("CB_INDEXNAME");
  names->setCurrentIndex(1);
  w_->data_page()->LISTBOXSELECT(names);
  ASSERT_EQ(w_->server()->INDEXORD(), 1);
  w_->GOTO(7);
  run({"BETRAG", "1", "keine", " ", "keine", " ", "", true});
  EXPECT_EQ(column(2), (Col{"50.00", "100.00", "150.00", "200.00", "250.00", "300.00", "1.00", "1.00", "1.00", "1.00"}));
  EXPECT_EQ(w_->server()->INDEXORD(), 0);
  EXPECT_EQ(names->currentText(), "ohne Index (SatzNr)");
  EXPECT_EQ(w_->server()->RECNO(), 7u);
}

TEST_F(Replace, HintLabelsAndTheMenuOnAReadOnlyTable) {
  open();
  w_->GOTO(2);
  auto d = dialog();
  auto text = [&](const char* name) { return d->findChild<QLabel*>(name)->text(); };
  EXPECT_EQ(d->windowTitle(), "Daten Replace");
  EXPECT_EQ(text("FT_HINWEIS"), "Beim Setzen wird in das Feld NAME\r\nder Wert <NULL_WERT> gesetzt!\r\nAktueller Wert = ");
  EXPECT_EQ(text("FT_WERT"), "Zeichenwert");
  EXPECT_EQ(text("FT_VERGLEICHSWERT"), "");
  choose(*d, "CB_FELDER1", "DATUM");
  EXPECT_EQ(d->findChild<QComboBox*>("CB_ZEICHEN")->count(), 3);
  choose(*d, "CB_FELDER3", "DATUM");
  EXPECT_EQ(text("FT_WERT"), "Numerischer Wert");
  choose(*d, "CB_ZEICHEN", "+");
  d->findChild<QLineEdit*>("SE_FELDWERT")->setText("7");
  d->EDITFOCUSCHANGE();
  EXPECT_EQ(text("FT_HINWEIS"),
            "Beim Setzen wird in das Feld DATUM\r\nder Wert des Feldes DATUM\r\n+ <7> gesetzt!\r\nAktueller Wert = 09.01.2024");
  choose(*d, "CB_FELDER2", "OK");
  EXPECT_EQ(text("FT_VERGLEICHSWERT"), "Logischer Wert");
  EXPECT_EQ(d->findChild<QComboBox*>("CB_VERGLEICH")->count(), 1);
  d.reset();
  w_.reset();

  open(true);
  const int before = boxes_.count();
  w_->OPENDLGREPLACE();
  ASSERT_EQ(boxes_.count(), before + 1);
  EXPECT_EQ(boxes_.last().text, "Die Datei wurde schreibgeshützt geöffnet");
}

}  // namespace
}  // namespace mv
