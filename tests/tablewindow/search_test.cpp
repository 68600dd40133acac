// The record search of the data page, driven through its radio buttons, edit and buttons.
#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDate>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>
#include <algorithm>
#include <functional>

#include "components/dlgprogress.h"
#include "platform/gui/messagebox.h"
#include "platform/gui/windows.h"
#include "tablewindow/search.h"
#include "tablewindow/tab_dbfdaten.h"
#include "tablewindow/tabdw_dbfdatei.h"
#include "tablewindow_helpers.h"
#include "tests/support/json.h"

namespace mv {
namespace {

// One table window on a table; the search controls by name.
class Search : public ::testing::Test {
 protected:
  void open(const QString& path, bool ansi = false, bool shared = false) {
    env_ = std::make_unique<twtest::EnvironmentScope>(&history_);
    w_ = std::make_unique<TABDW_DBFDATEI>(&shell_, path, shared, false, ansi);
    ASSERT_NE(w_->server(), nullptr);
  }
  void open_fixture(const std::string& name) {
    dir_ = twtest::copy_fixture("peer/" + name);
    auto j = testing::read_json_file(dir_ + "/expected.json");
    ASSERT_TRUE(j);
    expected_ = *j;
    open(QString::fromStdString(dir_ + "/" + expected_["table"].text), expected_["codepage"].text == "cp1252");
  }
  void TearDown() override {
    w_.reset();
    env_.reset();
  }
  TAB_DBFDATEN* page() { return w_->data_page(); }
  template <typename T>
  T* ctl(const char* name) {
    T* c = page()->findChild<T*>(QString::fromLatin1(name));
    EXPECT_NE(c, nullptr) << name;
    return c;
  }
  void find(const char* kind, const QString& text) {
    ctl<QRadioButton>(kind)->click();
    ctl<QLineEdit>("SE_SUCHE")->setText(text);
    ctl<QPushButton>("PB_FIND")->click();
  }
  uint32_t recno() { return w_->server()->RECNO(); }
  QString label() { return ctl<QLabel>("FT_TREFFER")->text(); }
  std::pair<bool, bool> arrows() {
    return {ctl<QPushButton>("PB_DAVOR")->isEnabled(), ctl<QPushButton>("PB_DANACH")->isEnabled()};
  }
  // The records of the fixture for which `hit` holds, deleted ones only when asked.
  std::vector<uint32_t> expected(const std::function<bool(const testing::Json&)>& hit, bool deleted = false) {
    std::vector<uint32_t> out;
    for (const testing::Json& r : expected_["records"].items)
      if ((deleted || !r["deleted"].boolean) && hit(r["values"])) out.push_back(uint32_t(r["recno"].as_int()));
    return out;
  }

  MemoryHistoryStore history_;
  std::unique_ptr<twtest::EnvironmentScope> env_;
  gui::SHELLWINDOW shell_;
  gui::RecordingMessageBoxes boxes_;
  std::unique_ptr<TABDW_DBFDATEI> w_;
  std::string dir_;
  testing::Json expected_;
};

bool has(const testing::Json& v, const char* field, const QString& text) {
  return QString::fromStdString(v[field].text).contains(text, Qt::CaseInsensitive);
}

// The text the field engine compares for a fixture record: texts, numbers as written,
// the date as the program shows it, the logical as "JT1" or "NF0".
QString field_texts(const testing::Json& v) {
  QString s;
  for (const char* f : {"NAME", "ORT", "NOTIZ"}) s += QString::fromStdString(v[f].text).toUpper() + '\n';
  s += QString::fromStdString(v["BETRAG"].text) + '\n' + QString::fromStdString(v["MENGE"].text) + '\n';
  const QDate d = QDate::fromString(QString::fromStdString(v["DATUM"].text), "yyyyMMdd");
  s += (d.isValid() ? d.toString("dd.MM.yyyy") : QStringLiteral("  .  .    ")) + '\n';
  s += v["AKTIV"].boolean ? "JT1" : "NF0";
  return s;
}

TEST_F(Search, RecordNumberTakesTheNumberAtTheStart) {
  const std::string dir = twtest::scratch_dir("search");
  open(QString::fromStdString(twtest::make_table(dir, "KUNDEN.DBF", 20, {})));
  struct Case {
    const char* text;
    uint32_t then;
  } cases[] = {{"12abc", 12}, {"0", 5}, {"abc", 5}, {"", 5}, {"3", 3}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    w_->GOTO(5);
    find("RB_SATZNR", c.text);
    EXPECT_EQ(recno(), c.then);
  }
  EXPECT_EQ(label(), "keine Treffer");  // no full-text search ran
}

TEST_F(Search, KeyTextIsSoughtAsTypedInTheKeysType) {
  open_fixture("cdx-nomemo");
  auto* names = ctl<QComboBox>("CB_INDEXNAME");
  auto choose = [&](const QString& tag) {
    names->setCurrentIndex(names->findText(tag));
    page()->LISTBOXSELECT(names);
  };
  // Without an order nothing moves.
  w_->GOTO(7);
  find("RB_INDEX", "WAGN");
  EXPECT_EQ(recno(), 7u);

  choose("NAME");  // UPPER(NAME)
  find("RB_INDEX", "WAGN");
  const uint32_t wagn = recno();
  EXPECT_TRUE(QString::fromStdString(expected_["records"].items[wagn - 1]["values"]["NAME"].text).startsWith("Wagn"));
  // Lower case is not upper-cased: after every upper-case key, so the order's last record
  // or a name starting with an umlaut.
  find("RB_INDEX", "wagn");
  EXPECT_NE(recno(), wagn);
  for (const char* blank : {"", "   "}) {
    w_->GOTO(7);
    find("RB_INDEX", blank);
    EXPECT_EQ(recno(), 7u);
  }

  choose("BETRAG");  // numeric: the text is read as a number
  find("RB_INDEX", "0");
  const auto zero = expected([](const testing::Json& v) { return v["BETRAG"].number == 0; });
  ASSERT_FALSE(zero.empty());
  EXPECT_NE(std::find(zero.begin(), zero.end(), recno()), zero.end()) << recno();
  w_->GOTO(7);
  find("RB_INDEX", "12abc");  // not a number: nothing happens
  EXPECT_EQ(recno(), 7u);
  EXPECT_EQ(boxes_.count(), 0);
}

// Both engines over the fixtures, each hit list checked against the fixture's own record
// values: the byte engine sees stored dates and letters, the field engine shown ones.
TEST_F(Search, FullTextOverTheFixtures) {
  struct Case {
    const char* fixture;
    QString text;
    std::function<bool(const testing::Json&)> hit;
  };
  const Case cases[] = {
      {"cdx-nomemo", "ö", [](auto& v) { return has(v, "NAME", "ö") || has(v, "ORT", "ö"); }},
      {"cdx-nomemo", "19730316", [](auto& v) { return v["DATUM"].text == "19730316"; }},
      {"cdx-nomemo", "16.03.1973", [](auto&) { return false; }},
      {"national-cdx-cp1252", "mü", [](auto& v) { return has(v, "NAME", "mü") || has(v, "ORT", "mü"); }},
      {"national-ntx-cp850", "Ö", [](auto& v) { return has(v, "NAME", "ö") || has(v, "ORT", "ö"); }},
      {"cdx-fpt", "29.02.2000", [](auto& v) { return field_texts(v).contains("29.02.2000"); }},
      {"cdx-fpt", "20000229", [](auto& v) { return field_texts(v).contains("20000229"); }},
      {"cdx-fpt", "umlauten", [](auto& v) { return has(v, "NOTIZ", "umlauten"); }},
      {"cdx-fpt", "zoë", [](auto& v) { return field_texts(v).contains("ZOË"); }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.fixture) + " " + c.text.toStdString());
    open_fixture(c.fixture);
    w_->GOTO(3);
    find("RB_VOLLTEXT", c.text);
    const auto want = expected(c.hit);
    EXPECT_EQ(page()->ASUCHE, want);
    EXPECT_EQ(recno(), want.empty() ? 3u : want.front());
    EXPECT_EQ(label(), want.empty() ? QString("keine Treffer") : "Treffer 1 von " + QString::number(want.size()));
    w_.reset();
  }
}

TEST_F(Search, LogicalsAndDeletedRecordsInTheFieldEngine) {
  open_fixture("cdx-fpt");
  for (const char* t : {"J", "T1", "NF0"}) {
    SCOPED_TRACE(t);
    find("RB_VOLLTEXT", t);
    EXPECT_EQ(page()->ASUCHE, expected([&](auto& v) { return field_texts(v).contains(t); }));
  }
  // With the deleted records shown they are searched too.
  ctl<QCheckBox>("CHB_DEL")->click();
  find("RB_VOLLTEXT", "NF0");
  EXPECT_EQ(page()->ASUCHE, expected([&](auto& v) { return field_texts(v).contains("NF0"); }, true));
}

// Exclusive or shared, the byte engine scans beside the progress window and sees the same
// records, a record still held back by the table included.
TEST_F(Search, TheByteEngineCasesAcrossFieldsAndDeletedRecords) {
  for (bool shared : {false, true}) {
    SCOPED_TRACE(shared ? "shared" : "exclusive");
    const std::string dir = twtest::scratch_dir("search");
    open(QString::fromStdString(twtest::make_table(dir, "KUNDEN.DBF", 12, {4})), false, shared);
    Table* t = w_->server()->table();
    ASSERT_TRUE(t->go_to(2).is_ok());
    ASSERT_TRUE(t->field_put(1, Value::character("xAByz")).is_ok());
    ASSERT_TRUE(t->commit().is_ok());
    ASSERT_TRUE(t->append_blank().is_ok());  // record 13, not yet written to the file
    ASSERT_TRUE(t->field_put(1, Value::character("Zylinder")).is_ok());
    struct Case {
      QString text;
      std::vector<uint32_t> hits;
    } cases[] = {
        {"ab", {2}},
        {"name 4", {}},  // only the deleted record
        {"name 1", {1, 10, 11, 12}},
        {"1        1", {1}},  // the end of NAME and the start of NR
        {"zylinder", {13}},
    };
    ctl<QCheckBox>("CHB_DEL")->click();  // the switch plays no part here
    for (const Case& c : cases) {
      SCOPED_TRACE(c.text.toStdString());
      find("RB_VOLLTEXT", c.text);
      EXPECT_EQ(page()->ASUCHE, c.hits);
    }
    w_.reset();
  }
}

// Every search really shows its progress window, however short; the page keeps the one
// window, hidden between searches.
TEST_F(Search, EverySearchShowsTheProgressWindow) {
  for (bool shared : {false, true}) {
    SCOPED_TRACE(shared ? "shared" : "exclusive");
    const std::string dir = twtest::scratch_dir("search");
    open(QString::fromStdString(twtest::make_table(dir, "KUNDEN.DBF", 30, {})), false, shared);
    for (const QString& text : {QString("name 2"), QString("qxz")}) {
      SCOPED_TRACE(text.toStdString());
      QStringList seen;
      QTimer watch;
      QObject::connect(&watch, &QTimer::timeout, [&] {
        for (QWidget* top : QApplication::topLevelWidgets())
          if (auto* p = qobject_cast<DLGPROGRESS*>(top); p && p->isVisible())
            seen << p->windowTitle() + " " + p->TXTFEEDBACK()->text();
      });
      watch.start(0);
      find("RB_VOLLTEXT", text);
      watch.stop();
      ASSERT_FALSE(seen.isEmpty());
      EXPECT_EQ(seen.front(), "Suche \"" + text + "\"... Noch keine Treffer...");
      const auto windows = page()->findChildren<DLGPROGRESS*>();
      ASSERT_EQ(windows.size(), 1);
      EXPECT_FALSE(windows.front()->isVisible());
      EXPECT_TRUE(windows.front()->ended());
    }
    EXPECT_EQ(label(), "keine Treffer");

    // A search started while another one's window handles events gets a window of its own.
    bool nested = false;
    QTimer::singleShot(0, [&] {
      nested = true;
      page()->VOLLTEXTSUCHE("name 3");
      auto* outer = page()->findChild<DLGPROGRESS*>("SEARCHPROGRESS");
      ASSERT_NE(outer, nullptr);
      EXPECT_TRUE(outer->isVisible());  // still there for the first search
      EXPECT_FALSE(outer->ended());
    });
    find("RB_VOLLTEXT", "name 1");
    EXPECT_TRUE(nested);
    EXPECT_EQ(page()->ASUCHE, (std::vector<uint32_t>{1, 10, 11, 12, 13, 14, 15, 16, 17, 18, 19}));
    const auto windows = page()->findChildren<DLGPROGRESS*>();
    ASSERT_EQ(windows.size(), 1);
    EXPECT_TRUE(windows.front()->ended());
    w_.reset();
  }
}

// A shared table: while the progress window's first round runs beside the scan, another
// user appends records and the page's table reads them (mapping its grown file anew).
// "name 1" hits the first record: the scan waits there for the window's first round and
// then goes on in the new view, appended records included. "name 2999" is scanned up to
// its one hit while the table maps anew.
TEST_F(Search, SharedTableGrowingDuringTheSearch) {
  const std::string dir = twtest::scratch_dir("search");
  const std::string path = twtest::make_table(dir, "KUNDEN.DBF", 3000, {15});
  open(QString::fromStdString(path), false, true);
  // " Name i": the records whose number begins with 1, but for the deleted one; each
  // record appended ("Name 1x") is a hit too.
  std::vector<uint32_t> name1;
  for (uint32_t i = 1; i <= 3000; ++i)
    if (i != 15 && std::to_string(i)[0] == '1') name1.push_back(i);
  for (uint32_t round = 0; round < 4; ++round) {
    SCOPED_TRACE(round);
    bool grown = false;
    QTimer::singleShot(0, [&] {
      OpenOptions o;
      o.shared = true;
      o.driver = "DBFNTX";
      auto other = Table::open(path, o);
      ASSERT_TRUE(other.is_ok()) << other.status().to_string();
      for (int i = 0; i < 100; ++i) {
        ASSERT_TRUE((*other)->append_blank().is_ok());
        ASSERT_TRUE((*other)->field_put(1, Value::character("Name 1x")).is_ok());
      }
      ASSERT_TRUE((*other)->close().is_ok());
      Table* t = w_->server()->table();
      ASSERT_TRUE(t->go_to(t->lastrec()).is_ok());  // beyond the view: mapped anew
      grown = true;
    });
    for (uint32_t i = 1; i <= 100; ++i) name1.push_back(3000 + 100 * round + i);
    const bool late = round % 2 == 1;
    find("RB_VOLLTEXT", late ? "name 2999" : "name 1");
    EXPECT_TRUE(grown);
    EXPECT_EQ(page()->ASUCHE, late ? std::vector<uint32_t>{2999} : name1);
  }
}

TEST_F(Search, LabelArrowsKindSwitchAndPackClearing) {
  const std::string dir = twtest::scratch_dir("search");
  open(QString::fromStdString(twtest::make_table(dir, "KUNDEN.DBF", 30, {})));
  find("RB_VOLLTEXT", "name 30");
  EXPECT_EQ(label(), "Treffer 1 von 1");
  EXPECT_EQ(arrows(), std::make_pair(false, false));

  find("RB_VOLLTEXT", "name 2");  // 2, 20..29: eleven
  ASSERT_EQ(page()->ASUCHE.size(), 11u);
  find("RB_VOLLTEXT", "name 1");  // 1, 10..19
  EXPECT_EQ(label(), "Treffer 1 von 11");
  EXPECT_EQ(recno(), 1u);
  EXPECT_EQ(arrows(), std::make_pair(false, true));
  ctl<QPushButton>("PB_DANACH")->click();
  ctl<QPushButton>("PB_DANACH")->click();
  EXPECT_EQ(label(), "Treffer 3 von 11");
  EXPECT_EQ(recno(), 11u);
  EXPECT_EQ(arrows(), std::make_pair(true, true));
  ctl<QPushButton>("PB_DAVOR")->click();
  EXPECT_EQ(recno(), 10u);

  // Another kind hides the label; the arrows still step; coming back restores the text.
  ctl<QRadioButton>("RB_INDEX")->click();
  EXPECT_TRUE(ctl<QLabel>("FT_TREFFER")->isHidden());
  ctl<QLineEdit>("SE_SUCHE")->setText("x");
  ctl<QPushButton>("PB_DANACH")->click();
  EXPECT_EQ(recno(), 11u);
  ctl<QRadioButton>("RB_VOLLTEXT")->click();
  EXPECT_EQ(ctl<QLineEdit>("SE_SUCHE")->text(), "name 1");
  EXPECT_EQ(label(), "Treffer 3 von 11");

  // An empty text does nothing.
  find("RB_VOLLTEXT", "");
  EXPECT_EQ(label(), "Treffer 3 von 11");

  // Packing renumbers the records: the hits are gone.
  boxes_.script(gui::MsgAnswer::Yes);
  page()->FILEPACK();
  EXPECT_TRUE(page()->ASUCHE.empty());
  EXPECT_EQ(label(), "keine Treffer");
  EXPECT_EQ(arrows(), std::make_pair(false, false));
}

// The progress window's cancel button: before the first hit nothing is found and the
// record stays; after some hits they are kept and the first one is current.
TEST_F(Search, CancelKeepsTheHitsFoundSoFar) {
  const std::string dir = twtest::scratch_dir("search");
  open(QString::fromStdString(twtest::make_table(dir, "KUNDEN.DBF", 400, {})));
  auto cancel_when = [](std::function<bool(DLGPROGRESS*)> when) {
    auto* timer = new QTimer;
    QObject::connect(timer, &QTimer::timeout, [timer, when] {
      for (QWidget* top : QApplication::topLevelWidgets())
        if (auto* p = qobject_cast<DLGPROGRESS*>(top); p && p->isVisible() && !p->ended() && when(p)) {
          p->PSHCANCEL_BUTTON()->click();
          timer->deleteLater();
        }
    });
    timer->start(0);
    return timer;
  };
  w_->GOTO(7);
  cancel_when([](DLGPROGRESS*) { return true; });
  find("RB_VOLLTEXT", "name");
  EXPECT_TRUE(page()->ASUCHE.empty());
  EXPECT_EQ(recno(), 7u);
  EXPECT_EQ(label(), "keine Treffer");

  cancel_when([](DLGPROGRESS* p) { return p->TXTFEEDBACK()->text().startsWith("Bislang"); });
  find("RB_VOLLTEXT", "name 3");  // 3, 30..39, 300..399: 111 in all
  EXPECT_EQ(page()->ASUCHE, std::vector<uint32_t>{3});  // cancelled as the first hit was told
  EXPECT_EQ(recno(), 3u);
  EXPECT_EQ(label(), "Treffer 1 von 1");
}

TEST(SearchFunctions, AscAddAndMemoTest) {
  EXPECT_EQ(ASCADD("AB", "\x01\x02"), "BD");
  EXPECT_EQ(ASCADD("ABC", ""), "abc");
  EXPECT_EQ(ASCADD(QString(QChar(0xFF)), "\x01"), QString(QChar(0)));
  EXPECT_FALSE(ISFIELDMEMO(nullptr));
  EXPECT_FALSE(ISCANOPENEXCLUSIVE("/no/such/file"));
}

}  // namespace
}  // namespace mv
