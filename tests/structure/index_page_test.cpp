// The index page offscreen, driven through its slots with recorded message boxes: what it
// refuses, the key builder, the checks before every change, the bag operations of CDX and
// MDX tables (each rebuilds the bag beside the table), the NTX file operations, stops and
// failures that keep the old index files, the printed index list and a screenshot.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QFileDialog>
#include <QImage>
#include <QMdiSubWindow>
#include <QPushButton>
#include <QTest>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <tuple>

#include <sys/wait.h>
#include <unistd.h>

#include "components/dlgprogress.h"
#include "components/slestandard.h"
#include "components/stdgridbrowser.h"
#include "platform/grid/gridserver.h"
#include "platform/gui/messagebox.h"
#include "platform/gui/windows.h"
#include "platform/report/printerdevice.h"
#include "platform/runtime/date.h"
#include "platform/table/index/order_list.h"
#include "platform/table/transfer.h"
#include "structure/tab_index.h"
#include "tablewindow/orders.h"
#include "tablewindow/tabdw_dbfdatei.h"
#include "tablewindow/tableserver.h"
#include "tests/platform/table/run_command.h"
#include "tests/support/faulty_fs.h"
#include "tests/platform/table/other_process.h"
#include "tests/tablewindow/tablewindow_helpers.h"
#include "ui_TAB_INDEX_FORM.h"

namespace mv {
namespace {

namespace fs = std::filesystem;
using gui::MsgAnswer;

std::string bytes_of(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

// A table of `n` records NAME C(20), BETRAG N(10,2), DATUM D, with orders NAME, BETRAG and
// DATUM (a bag, or three NTX files).
// An NTX table is named like its first index file, which tells its driver when it is opened.
std::string make_indexed(const std::string& dir, const std::string& driver, int n = 40) {
  const std::string path = dir + (driver == "DBFNTX" ? "/NAME.DBF" : "/KUNDEN.DBF");
  EXPECT_TRUE(db_create(path, {{"NAME", 'C', 20, 0}, {"BETRAG", 'N', 10, 2}, {"DATUM", 'D', 8, 0}}, driver).is_ok());
  OpenOptions o;
  o.shared = false;
  o.driver = driver;
  auto t = Table::open(path, o);
  EXPECT_TRUE(t.is_ok());
  auto ol = OrderList::attach(**t);
  EXPECT_TRUE(ol.is_ok());
  static const char* names[] = {"Zorn", "abel", "Mueller", "Otto", "Baecker", "Ulm", "Kranz"};
  for (int i = 1; i <= n; ++i) {
    EXPECT_TRUE((*t)->append_blank().is_ok());
    EXPECT_TRUE((*t)->field_put("NAME", Value::character(std::string(names[(i * 5) % 7]) + std::to_string(i % 9))).is_ok());
    EXPECT_TRUE((*t)->field_put("BETRAG", Value::numeric(double((i * 37) % 101) - 50.25, 10, 2)).is_ok());
    EXPECT_TRUE((*t)->field_put("DATUM", Value::of_date(Date::from_julian(2450000 + (i * 13) % 200))).is_ok());
  }
  for (auto [name, key] : {std::pair{"NAME", "NAME"}, {"BETRAG", "BETRAG"}, {"DATUM", "DTOS(DATUM)"}}) {
    Status st = driver == "DBFNTX" ? (*ol)->create_index(name, key) : (*ol)->create_order(name, "", key);
    EXPECT_TRUE(st.is_ok()) << st.to_string();
  }
  ol->reset();
  EXPECT_TRUE((*t)->close().is_ok());
  return path;
}

struct PageFixture : ::testing::Test {
  MemoryHistoryStore history;
  twtest::EnvironmentScope env{&history};
  gui::RecordingMessageBoxes boxes;
  gui::SHELLWINDOW shell;
  std::vector<QString> dialogs;  // initial file of every file dialog run
  QString chosen;                // what the next file dialog answers

  void SetUp() override {
    set_index_file_dialog_runner([this](QFileDialog& d) {
      dialogs.push_back(d.selectedFiles().isEmpty() ? QString() : d.selectedFiles().front());
      EXPECT_TRUE(d.testOption(QFileDialog::DontUseNativeDialog));
      EXPECT_TRUE(d.testOption(QFileDialog::DontConfirmOverwrite));
      return chosen;
    });
  }
  void TearDown() override {
    set_index_file_dialog_runner({});
    set_index_progress_hook({});
    table_window_environment().file_system = nullptr;
  }

  // A table of single index files is known by its driver: the program's default here.
  void use_driver(const std::string& driver) {
    const QString d = QString::fromStdString(driver);
    table_window_environment().default_driver = [d] { return d; };
  }
  TAB_INDEX* page(TABDW_DBFDATEI& w) {
    w.SELECTTAB(QStringLiteral("TAB_INDEX"));
    return qobject_cast<TAB_INDEX*>(w.TABCONTROL()->GETPAGESYM(QStringLiteral("TAB_INDEX")));
  }
  void edits(TAB_INDEX* p, const QString& name, const QString& key) {
    p->form()->SE_NAME->setText(name);
    p->form()->SE_EXPRESSION->setText(key);
  }
};

OrderList* orders_of(TABDW_DBFDATEI& w) {
  TableGridServer* s = w.server();
  return s && s->orders() ? s->orders()->order_list() : nullptr;
}

// The window's table has exactly these orders, in this order, each holding the keys of its
// records in key order; AINDEX and the grid show them numbered 1, 2 ...
void expect_orders(TABDW_DBFDATEI& w, TAB_INDEX* p, const std::vector<std::string>& names) {
  OrderList* ol = orders_of(w);
  ASSERT_NE(ol, nullptr);
  std::vector<std::string> got;
  for (size_t n = 1; n <= ol->count(); ++n) {
    got.push_back(ol->info(n).name);
    auto rep = ol->check(n);
    EXPECT_TRUE(rep.is_ok()) << ol->info(n).name << ": " << rep.status().to_string();
  }
  EXPECT_EQ(got, names);
  // Each order's walk is the records sorted by its key (ties by record number).
  Table* t = w.server()->table();
  for (size_t n = 1; n <= ol->count(); ++n) {
    SCOPED_TRACE(ol->info(n).name);
    ASSERT_TRUE(ol->set_order(n).is_ok());
    std::vector<std::tuple<double, std::string, uint32_t>> want;
    for (uint32_t r = 1; r <= t->lastrec(); ++r) {
      ASSERT_TRUE(t->go_to(r).is_ok());
      auto v = ol->key_value();
      ASSERT_TRUE(v.is_ok());
      want.push_back({v->num, v->is_date() ? dtos(v->date) : v->str, r});
    }
    std::sort(want.begin(), want.end());
    std::vector<uint32_t> sorted, walked;
    for (auto& x : want) sorted.push_back(std::get<2>(x));
    index::TreeOrder* tree = ol->tree(n);
    index::Cursor c;
    ASSERT_TRUE(tree->first(c).is_ok());
    while (c.valid()) {
      walked.push_back(tree->recno_at(c));
      ASSERT_TRUE(tree->next(c).is_ok());
    }
    EXPECT_EQ(walked, sorted);
  }
  ASSERT_TRUE(ol->set_order(size_t(0)).is_ok());
  ASSERT_EQ(w.AINDEX.size(), names.size());
  ASSERT_EQ(p->grid_server()->rowCount(), int(names.size()));
  for (size_t i = 0; i < names.size(); ++i) {
    EXPECT_EQ(w.AINDEX[i].number, double(i + 1));
    EXPECT_EQ(p->grid_server()->value(int(i), 1).toInt(), int(i + 1));
    EXPECT_EQ(p->grid_server()->value(int(i), 2).toString().toStdString(), names[i]);
  }
}

// ---------------------------------------------------------------- showing the page

TEST_F(PageFixture, RefusesAWindowWithoutTableAndSetsCaptionsOnce) {
  {
    TABDW_DBFDATEI fresh(&shell);
    boxes.clear();
    page(fresh);
    ASSERT_EQ(boxes.count(), 1);
    EXPECT_EQ(boxes.last().caption, "Achtung");
    EXPECT_EQ(boxes.last().text, "Es ist keine Datei geöffnet!");
    EXPECT_EQ(fresh.TABCONTROL()->current_page()->objectName(), "TAB_STRUKTUR");
  }
  {
    // A table that cannot be opened: the header tab shows what is wrong with it.
    const std::string dir = twtest::scratch_dir("idx_broken");
    std::ofstream(dir + "/KAPUTT.DBF") << "kein dBASE";
    TABDW_DBFDATEI broken(&shell, QString::fromStdString(dir + "/KAPUTT.DBF"), true, false, false);
    boxes.clear();
    page(broken);
    ASSERT_GE(boxes.count(), 1);
    bool said = false;
    for (const auto& b : boxes.shown()) said = said || b.text == QStringLiteral("Es ist keine Datei geöffnet!");
    EXPECT_TRUE(said);
    EXPECT_EQ(broken.TABCONTROL()->current_page()->objectName(), "TAB_HEADER");
  }
  for (const char* driver : {"DBFCDX", "DBFNTX"}) {
    SCOPED_TRACE(driver);
    const std::string dir = twtest::scratch_dir(std::string("idx_show_") + driver);
    const std::string path = make_indexed(dir, driver, 5);
    use_driver(driver);
    TABDW_DBFDATEI w(&shell, QString::fromStdString(path), true, false, false);
    boxes.clear();
    TAB_INDEX* p = page(w);
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(boxes.count(), 0);
    EXPECT_EQ(w.GETCAPTION(), std::string(driver) == "DBFNTX" ? "Index: NAME.DBF" : "Index: KUNDEN.DBF");
    EXPECT_EQ(p->form()->FT_DRIVER->text(), driver);
    const bool ntx = std::string(driver) == "DBFNTX";
    EXPECT_EQ(p->form()->PB_APPEND->text(), ntx ? "Neu" : "Anfügen");
    EXPECT_EQ(p->form()->PB_INSERT->text(), ntx ? "Öffnen" : "Einfügen");
    EXPECT_EQ(p->form()->PB_DELETE->text(), ntx ? "Schließen" : "Löschen");
    // The field list sorted by name, each value the field's position.
    ASSERT_EQ(p->form()->CB_FELDNAME->count(), 3);
    EXPECT_EQ(p->form()->CB_FELDNAME->itemText(0), "BETRAG");
    EXPECT_EQ(p->form()->CB_FELDNAME->itemData(0).toInt(), 2);
    EXPECT_EQ(p->form()->CB_FELDNAME->itemText(2), "NAME");
    EXPECT_FALSE(w.item_enabled(kItemAppend));
    // Selected again while the caption still says "Index: ": nothing is filled anew.
    p->form()->CB_FELDNAME->clear();
    w.SELECTTAB(QStringLiteral("TAB_DBFDATEN"));
    w.set_caption(QStringLiteral("Index: X.DBF"));
    page(w);
    EXPECT_EQ(p->form()->CB_FELDNAME->count(), 0);
  }
}

// ---------------------------------------------------------------- key builder and checks

TEST_F(PageFixture, KeyBuilderAddsEachTypeOrSaysWhyNot) {
  const std::string dir = twtest::scratch_dir("idx_keys");
  const std::string path = make_indexed(dir, "DBFCDX", 3);
  TABDW_DBFDATEI w(&shell, QString::fromStdString(path), true, false, false);
  TAB_INDEX* p = page(w);
  ASSERT_NE(p, nullptr);
  w.ASTRUCTUR.clear();
  for (auto [name, type, len, dec] : {std::tuple{"NAME", "C", 20, 0}, {"BETRAG", "N", 10, 2}, {"ANZAHL", "N", 5, 0},
                                      {"DATUM", "D", 8, 0}, {"NOTIZ", "M", 10, 0}, {"BILD", "O", 10, 0},
                                      {"AKTIV", "L", 1, 0}}) {
    StructureRow r;
    r.name = QString::fromLatin1(name);
    r.type = QString::fromLatin1(type);
    r.length = len;
    r.decimals = dec;
    w.ASTRUCTUR.push_back(r);
  }
  p->FILLCB_FELDNAME();
  struct Case {
    const char* start;
    const char* field;
    const char* want;
    const char* message;
  } cases[] = {
      {"", "NAME", "NAME", nullptr},
      {" NAME ", "BETRAG", "NAME+Str(BETRAG,10,2)", nullptr},
      {"NAME", "ANZAHL", "NAME+Str(ANZAHL,5)", nullptr},
      {"NAME+Str(BETRAG,10,2)", "DATUM", "NAME+Str(BETRAG,10,2)+DToS(DATUM)", nullptr},
      {"", "AKTIV", "AKTIV", nullptr},
      {"NAME", "NOTIZ", "NAME", "Memo-Felder können nicht indiziert werden!"},
      {"NAME", "BILD", "NAME", "Ole-Felder können nicht indiziert werden!"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.field);
    p->form()->SE_EXPRESSION->setText(QString::fromUtf8(c.start));
    p->form()->CB_FELDNAME->setCurrentIndex(p->form()->CB_FELDNAME->findText(c.field));
    boxes.clear();
    p->PB_ADD();
    EXPECT_EQ(p->form()->SE_EXPRESSION->text(), QString::fromUtf8(c.want));
    if (c.message) {
      ASSERT_EQ(boxes.count(), 1);
      EXPECT_EQ(boxes.last().text, QString::fromUtf8(c.message));
      EXPECT_EQ(boxes.last().icon, gui::MsgIcon::Information);
    } else {
      EXPECT_EQ(boxes.count(), 0);
    }
  }
  // The edits overwrite and take capitals.
  p->form()->SE_NAME->setText(QStringLiteral("NAME"));
  p->form()->SE_NAME->setCursorPosition(1);
  QTest::keyClicks(p->form()->SE_NAME, QStringLiteral("ur"));
  EXPECT_EQ(p->form()->SE_NAME->text(), "NURE");
  p->form()->SE_NAME->setCursorPosition(4);
  QTest::keyClicks(p->form()->SE_NAME, QStringLiteral("nberg1234567"));
  EXPECT_EQ(p->form()->SE_NAME->text(), "NURENBERG1");
  // Without a chosen field nothing happens.
  p->form()->CB_FELDNAME->clear();
  p->form()->SE_EXPRESSION->setText(QStringLiteral("NAME"));
  p->PB_ADD();
  EXPECT_EQ(p->form()->SE_EXPRESSION->text(), "NAME");
}

TEST_F(PageFixture, SaveTestChecksNameAndKeyThenAsks) {
  const std::string dir = twtest::scratch_dir("idx_savetest");
  const std::string path = make_indexed(dir, "DBFCDX", 3);
  TABDW_DBFDATEI w(&shell, QString::fromStdString(path), true, false, false);
  TAB_INDEX* p = page(w);
  ASSERT_NE(p, nullptr);
  struct Case {
    const char* name;
    const char* key;
    bool check_name;
    const char* error;
  } cases[] = {
      {"BETRAG", "NAME", true, "Der Name wurde bereits verwendet!"},
      {"BETRAG", "NAME", false, nullptr},
      {"  ", "NAME", true, "Der Name der zu erstellenden Indexdatei fehlt!"},
      {"NEU", " ", true, "Der Indexausdruck fehlt!"},
      {"", "", true, "Der Name der zu erstellenden Indexdatei fehlt!"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.name) + "/" + c.key);
    edits(p, c.name, c.key);
    boxes.clear();
    boxes.script(MsgAnswer::No);
    const bool go = p->INDEX_SAVETEST(QStringLiteral("angefügt"), c.check_name);
    EXPECT_FALSE(go);
    ASSERT_EQ(boxes.count(), 1);
    if (c.error) {
      EXPECT_EQ(boxes.last().caption, "Achtung");
      EXPECT_EQ(boxes.last().text, QString::fromUtf8(c.error));
    } else {
      EXPECT_EQ(boxes.last().caption, "Index");
      EXPECT_EQ(boxes.last().buttons, gui::MsgButtons::YesNo);
      EXPECT_EQ(boxes.last().text, "Soll der Index\r\n\r\nBETRAG / NAME\r\n\r\nangefügt werden?");
    }
  }
  edits(p, QStringLiteral(" NEU "), QStringLiteral("NAME"));
  boxes.clear();
  boxes.script(MsgAnswer::Yes);
  EXPECT_TRUE(p->INDEX_SAVETEST(QStringLiteral("eingefügt"), true));
  // Nothing was changed by any of it.
  EXPECT_EQ(w.AINDEX.size(), 3u);
}

// ---------------------------------------------------------------- bag operations

class BagPage : public PageFixture, public ::testing::WithParamInterface<const char*> {};

TEST_P(BagPage, AppendInsertChangeAndDeleteRebuildTheBag) {
  const std::string driver = GetParam();
  const std::string dir = twtest::scratch_dir("idx_bag_" + driver);
  const std::string path = make_indexed(dir, driver);
  TABDW_DBFDATEI w(&shell, QString::fromStdString(path), true, false, false);
  TAB_INDEX* p = page(w);
  ASSERT_NE(p, nullptr);
  expect_orders(w, p, {"NAME", "BETRAG", "DATUM"});

  // "Anfügen": a fourth order at the end.
  edits(p, QStringLiteral("KOMBI"), QStringLiteral("UPPER(NAME)+DTOS(DATUM)"));
  boxes.clear();
  p->PB_APPEND();
  ASSERT_EQ(boxes.count(), 1) << boxes.last().text.toStdString();
  EXPECT_EQ(boxes.shown()[0].text, "Soll der Index\r\n\r\nKOMBI / UPPER(NAME)+DTOS(DATUM)\r\n\r\nangefügt werden?");
  expect_orders(w, p, {"NAME", "BETRAG", "DATUM", "KOMBI"});

  // "Einfügen" before the first row: it becomes the first tag.
  p->GOTOP();
  edits(p, QStringLiteral("ERST"), QStringLiteral("STR(BETRAG,10,2)"));
  boxes.clear();
  p->PB_INSERT();
  EXPECT_EQ(boxes.count(), 1);
  expect_orders(w, p, {"ERST", "NAME", "BETRAG", "DATUM", "KOMBI"});

  // "Ändern" renames the third row's order; a name another row has is refused.
  p->grid_server()->set_current_row(2);
  p->CELLSELECT();
  EXPECT_EQ(p->form()->SE_NAME->text(), "BETRAG");
  EXPECT_EQ(p->form()->SE_EXPRESSION->text(), "BETRAG");
  p->form()->SE_NAME->setText(QStringLiteral("NAME"));
  boxes.clear();
  p->PB_ANDERS();
  ASSERT_EQ(boxes.count(), 1);
  EXPECT_EQ(boxes.last().text, "Der Name wurde bereits verwendet!");
  p->form()->SE_NAME->setText(QStringLiteral("SUMME"));
  boxes.clear();
  p->PB_ANDERS();
  EXPECT_EQ(boxes.count(), 1);
  expect_orders(w, p, {"ERST", "NAME", "SUMME", "DATUM", "KOMBI"});
  EXPECT_EQ(p->current_row(), 3);

  // Deleting row 3 of five: the grid stands on row 2, the rows are numbered 1 to 4.
  p->grid_server()->set_current_row(2);
  p->CELLSELECT();
  boxes.clear();
  p->PB_DELETE();
  ASSERT_EQ(boxes.count(), 1);
  EXPECT_EQ(boxes.last().text, "Soll der Index\r\n\r\nSUMME / BETRAG\r\n\r\ngelöscht werden?");
  expect_orders(w, p, {"ERST", "NAME", "DATUM", "KOMBI"});
  EXPECT_EQ(p->current_row(), 2);

  // A question answered "Nein" changes nothing.
  const std::string bag = bytes_of(path_replace_ext(path, driver == "DBFMDX" ? ".mdx" : ".CDX"));
  boxes.clear();
  boxes.script(MsgAnswer::No);
  p->CELLSELECT();
  p->PB_DELETE();
  expect_orders(w, p, {"ERST", "NAME", "DATUM", "KOMBI"});
  EXPECT_EQ(bytes_of(path_replace_ext(path, driver == "DBFMDX" ? ".mdx" : ".CDX")), bag);
}

TEST_P(BagPage, DeletingTheOnlyRowLeavesNoBag) {
  const std::string driver = GetParam();
  const std::string dir = twtest::scratch_dir("idx_only_" + driver);
  const std::string path = dir + "/EINS.DBF";
  ASSERT_TRUE(db_create(path, {{"NAME", 'C', 10, 0}}, driver).is_ok());
  {
    OpenOptions o;
    o.shared = false;
    o.driver = driver;
    auto t = Table::open(path, o);
    ASSERT_TRUE(t.is_ok());
    auto ol = OrderList::attach(**t);
    ASSERT_TRUE(ol.is_ok());
    ASSERT_TRUE((*ol)->create_order("NAME", "", "NAME").is_ok());
    ol->reset();
    ASSERT_TRUE((*t)->close().is_ok());
  }
  const std::string bag = path_replace_ext(path, driver == "DBFMDX" ? ".mdx" : ".CDX");
  ASSERT_TRUE(fs::exists(bag));
  TABDW_DBFDATEI w(&shell, QString::fromStdString(path), true, false, false);
  TAB_INDEX* p = page(w);
  ASSERT_NE(p, nullptr);
  p->CELLSELECT();
  boxes.clear();
  p->PB_DELETE();
  EXPECT_EQ(boxes.count(), 1);
  EXPECT_FALSE(fs::exists(bag));
  ASSERT_NE(w.server(), nullptr);
  expect_orders(w, p, {});
  // With no row, delete does nothing at all.
  boxes.clear();
  p->PB_DELETE();
  EXPECT_EQ(boxes.count(), 0);
}

// Another program holds the table: the lock message, the bag byte for byte, the table
// reopened with its orders.
TEST_P(BagPage, ATableHeldByAnotherProcessKeepsItsBag) {
  const std::string driver = GetParam();
  const std::string dir = twtest::scratch_dir("idx_held_" + driver);
  const std::string path = make_indexed(dir, driver, 10);
  const std::string bag_path = path_replace_ext(path, driver == "DBFMDX" ? ".mdx" : ".CDX");
  const std::string bag = bytes_of(bag_path);
  TABDW_DBFDATEI w(&shell, QString::fromStdString(path), true, false, false);
  TAB_INDEX* p = page(w);
  ASSERT_NE(p, nullptr);
  {
    mv::testing::OtherProcess other(path, driver, true);
    ASSERT_TRUE(other.ready());
    boxes.clear();
    boxes.script(MsgAnswer::Yes);
    p->PB_SAVE();
  }
  ASSERT_EQ(boxes.count(), 2);
  EXPECT_EQ(boxes.shown()[0].caption, "Index Neu");
  EXPECT_EQ(boxes.shown()[0].text, QString::fromStdString("Soll der Index der Datei \r\n\r\n" + dir +
                                                         "/KUNDEN\r\n\r\n aktualisiert werden?\r\n\r\n"
                                                         "Funktion jetzt ausführen ?"));
  EXPECT_EQ(boxes.last().text, "Die Datei kann nicht exklusiv geöffnet werden!");
  EXPECT_EQ(bytes_of(bag_path), bag);
  expect_orders(w, p, {"NAME", "BETRAG", "DATUM"});
}

// The cancel button pressed half-way: the old bag as it was, used by the reopened table.
TEST_P(BagPage, AStopHalfWayKeepsTheOldBag) {
  const std::string driver = GetParam();
  const std::string dir = twtest::scratch_dir("idx_stop_" + driver);
  const std::string path = make_indexed(dir, driver, 300);
  const std::string bag_path = path_replace_ext(path, driver == "DBFMDX" ? ".mdx" : ".CDX");
  const std::string bag = bytes_of(bag_path);
  TABDW_DBFDATEI w(&shell, QString::fromStdString(path), true, false, false);
  TAB_INDEX* p = page(w);
  ASSERT_NE(p, nullptr);
  QString caption;
  uint32_t count = 0, stopped_at = 0;
  set_index_progress_hook([&](DLGPROGRESS& d, uint32_t step) {
    caption = d.windowTitle();
    count = d.COUNT();
    EXPECT_TRUE(d.cancel_allowed());
    if (!stopped_at && step >= d.COUNT() / 2) {
      stopped_at = step;
      d.PSHCANCEL();
    }
  });
  boxes.clear();
  boxes.script(MsgAnswer::Yes);
  p->PB_SAVE();
  EXPECT_EQ(caption, "Erzeuge Indexe...");
  EXPECT_EQ(count, 900u);
  EXPECT_GE(stopped_at, 450u);
  ASSERT_EQ(boxes.count(), 2);
  EXPECT_EQ(boxes.last().caption, "Achtung");
  EXPECT_TRUE(boxes.last().text.contains(QStringLiteral("abgebrochen"))) << boxes.last().text.toStdString();
  EXPECT_EQ(bytes_of(bag_path), bag);
  EXPECT_FALSE(fs::exists(bag_path + ".mvneu"));
  expect_orders(w, p, {"NAME", "BETRAG", "DATUM"});
}

// Each write, sync and rename of the rebuild failing in turn: one message, the old bag
// byte for byte (or the new one complete), the table reopened and every key found.
TEST_P(BagPage, AFailingStepKeepsTheOldBag) {
  const std::string driver = GetParam();
  const std::string dir = twtest::scratch_dir("idx_fault_" + driver);
  const std::string path = make_indexed(dir, driver, 30);
  const std::string bag_path = path_replace_ext(path, driver == "DBFMDX" ? ".mdx" : ".CDX");
  const std::string bag = bytes_of(bag_path);
  FaultyFileSystem f(FileSystem::posix());
  table_window_environment().file_system = &f;
  TABDW_DBFDATEI w(&shell, QString::fromStdString(path), true, false, false);
  TAB_INDEX* p = page(w);
  ASSERT_NE(p, nullptr);
  // A clean run counts the steps.
  int writes = f.writes, syncs = f.syncs, renames = f.renames;
  p->INDEX_SAVE();
  writes = f.writes - writes, syncs = f.syncs - syncs, renames = f.renames - renames;
  ASSERT_GT(writes, 0);
  ASSERT_GT(renames, 0);
  int refused = 0;
  for (int kind = 0; kind < 3; ++kind) {
    const int n = kind == 0 ? writes : kind == 1 ? syncs : renames;
    // Every step of the short ones, a spread of the writes.
    for (int k = 0; k < n; k += kind == 0 ? std::max(1, n / 12) : 1) {
      SCOPED_TRACE(std::to_string(kind) + "/" + std::to_string(k));
      const std::string before = bytes_of(bag_path);
      f.fail_write_at = f.fail_sync_at = f.fail_rename_at = -1;
      (kind == 0 ? f.fail_write_at : kind == 1 ? f.fail_sync_at : f.fail_rename_at) =
          (kind == 0 ? f.writes : kind == 1 ? f.syncs : f.renames) + k;
      boxes.clear();
      p->INDEX_SAVE();
      f.fail_write_at = f.fail_sync_at = f.fail_rename_at = -1;
      EXPECT_LE(boxes.count(), 2);
      if (w.server() == nullptr) w.OPENDBFNEU(), w.FILL_CBINDEX(), p->FILL_BBINDEX();
      if (boxes.count() > 0 && boxes.shown()[0].text.startsWith(QStringLiteral("Die Indexdatei"))) {
        EXPECT_EQ(bytes_of(bag_path), before);
        ++refused;
      }
      expect_orders(w, p, {"NAME", "BETRAG", "DATUM"});
    }
  }
  EXPECT_GT(refused, 3);
  (void)bag;
}

INSTANTIATE_TEST_SUITE_P(Drivers, BagPage, ::testing::Values("DBFCDX", "DBFMDX"),
                         [](const auto& info) { return std::string(info.param); });

// ---------------------------------------------------------------- NTX files

TEST_F(PageFixture, NtxNewOpenCloseAndChange) {
  const std::string dir = twtest::scratch_dir("idx_ntx");
  const std::string path = make_indexed(dir, "DBFNTX", 30);
  use_driver("DBFNTX");
  TABDW_DBFDATEI w(&shell, QString::fromStdString(path), true, false, false);
  TAB_INDEX* p = page(w);
  ASSERT_NE(p, nullptr);
  // The window opens the table without its NTX files: "Öffnen" sets them.
  for (const char* f : {"NAME.NTX", "BETRAG.NTX", "FEHLT.NTX", "DATUM.NTX"}) {
    chosen = QString::fromStdString(dir + "/" + f);
    p->PB_INSERT();
  }
  // A file that cannot be opened is said and left out.
  ASSERT_EQ(boxes.count(), 1);
  EXPECT_EQ(boxes.last().text, QString::fromStdString("Die Indexdatei\r\n\r\n" + dir +
                                                      "/FEHLT.NTX\r\n\r\nkonnte nicht geöffnet werden!"));
  expect_orders(w, p, {"NAME", "BETRAG", "DATUM"});
  // Opening a file already open does nothing.
  boxes.clear();
  p->PB_INSERT();
  expect_orders(w, p, {"NAME", "BETRAG", "DATUM"});
  EXPECT_EQ(boxes.count(), 0);

  // "Neu": the save dialog offers name + ".NTX"; cancelled, nothing happens.
  edits(p, QStringLiteral("KOMBI"), QStringLiteral("UPPER(NAME)+DTOS(DATUM)"));
  dialogs.clear();
  chosen.clear();
  boxes.clear();
  p->PB_APPEND();
  ASSERT_EQ(dialogs.size(), 1u);
  EXPECT_TRUE(dialogs[0].endsWith(QStringLiteral("KOMBI.NTX"))) << dialogs[0].toStdString();
  EXPECT_EQ(boxes.count(), 0);
  // Onto an existing file: refused.
  chosen = QString::fromStdString(dir + "/NAME.NTX");
  p->PB_APPEND();
  ASSERT_EQ(boxes.count(), 1);
  EXPECT_EQ(boxes.last().text, QString::fromStdString("Die Indexdatei\r\n" + dir + "/NAME.NTX\r\nexistiert bereits!"));
  // A new file.
  chosen = QString::fromStdString(dir + "/KOMBI.NTX");
  boxes.clear();
  p->PB_APPEND();
  ASSERT_EQ(boxes.count(), 1);
  EXPECT_EQ(boxes.last().caption, "Index Neu");
  expect_orders(w, p, {"NAME", "BETRAG", "DATUM", "KOMBI"});
  EXPECT_TRUE(fs::exists(dir + "/KOMBI.NTX"));

  // "Ändern": the name edited, the key unchanged, then a new key.
  p->grid_server()->set_current_row(1);
  p->CELLSELECT();
  p->form()->SE_NAME->setText(QStringLiteral("SUMME"));
  boxes.clear();
  p->PB_ANDERS();
  ASSERT_EQ(boxes.count(), 1);
  EXPECT_TRUE(boxes.last().text.startsWith(QStringLiteral("Der Name der Indexdatei kann nicht geändert werden!")));
  p->CELLSELECT();
  boxes.clear();
  p->PB_ANDERS();
  ASSERT_EQ(boxes.count(), 1);
  EXPECT_EQ(boxes.last().text, "Es wurde keine Änderung vorgenommen!");
  p->form()->SE_EXPRESSION->setText(QStringLiteral("STR(BETRAG,10,2)"));
  boxes.clear();
  p->PB_ANDERS();
  ASSERT_EQ(boxes.count(), 1);
  EXPECT_EQ(boxes.last().caption, "Index");
  expect_orders(w, p, {"NAME", "BETRAG", "DATUM", "KOMBI"});
  EXPECT_EQ(w.AINDEX[1].key, "STR(BETRAG,10,2)");
  EXPECT_EQ(p->current_row(), 2);

  // "Schließen" answered "Nein": the same files in the same order; "Ja": one fewer.
  p->grid_server()->set_current_row(2);
  p->CELLSELECT();
  boxes.clear();
  boxes.script(MsgAnswer::No);
  p->PB_DELETE();
  ASSERT_EQ(boxes.count(), 1);
  EXPECT_EQ(boxes.last().text, "Soll der Index\r\n\r\nDATUM / DTOS(DATUM)\r\n\r\ngeschlossen werden?");
  expect_orders(w, p, {"NAME", "BETRAG", "DATUM", "KOMBI"});
  p->grid_server()->set_current_row(2);
  p->CELLSELECT();
  p->PB_DELETE();
  expect_orders(w, p, {"NAME", "BETRAG", "KOMBI"});
  EXPECT_TRUE(fs::exists(dir + "/DATUM.NTX"));  // closed, not erased

  // "Index aktualisieren" with the second of three files failing.
  w.AINDEX[1].key = QStringLiteral("BETRAG+");
  const std::string third = bytes_of(dir + "/KOMBI.NTX");
  boxes.clear();
  boxes.script(MsgAnswer::Yes);
  p->PB_SAVE();
  ASSERT_EQ(boxes.count(), 2);
  EXPECT_EQ(boxes.last().text, "Die 2. Indexdatei BETRAG konnte nicht neu erstellt werden!");
  EXPECT_EQ(bytes_of(dir + "/KOMBI.NTX"), third);
  expect_orders(w, p, {"NAME", "BETRAG", "KOMBI"});
}

// "Index aktualisieren" on NTX files with each write, sync and rename failing in turn: one
// message, every file not yet rebuilt byte for byte, all files set again, every key found.
TEST_F(PageFixture, NtxRebuildFailingStepsKeepTheFilesNotYetRebuilt) {
  const std::string dir = twtest::scratch_dir("idx_ntx_fault");
  const std::string path = make_indexed(dir, "DBFNTX", 30);
  FaultyFileSystem f(FileSystem::posix());
  table_window_environment().file_system = &f;
  use_driver("DBFNTX");
  TABDW_DBFDATEI w(&shell, QString::fromStdString(path), true, false, false);
  TAB_INDEX* p = page(w);
  ASSERT_NE(p, nullptr);
  for (const char* n : {"NAME.NTX", "BETRAG.NTX", "DATUM.NTX"}) {
    chosen = QString::fromStdString(dir + "/" + n);
    p->PB_INSERT();
  }
  expect_orders(w, p, {"NAME", "BETRAG", "DATUM"});
  int writes = f.writes, syncs = f.syncs, renames = f.renames;
  p->INDEX_SAVENTX();
  writes = f.writes - writes, syncs = f.syncs - syncs, renames = f.renames - renames;
  ASSERT_GT(renames, 0);
  const std::vector<std::string> files = {dir + "/NAME.NTX", dir + "/BETRAG.NTX", dir + "/DATUM.NTX"};
  int refused = 0;
  for (int kind = 0; kind < 3; ++kind) {
    const int n = kind == 0 ? writes : kind == 1 ? syncs : renames;
    for (int k = 0; k < n; k += kind == 0 ? std::max(1, n / 12) : 1) {
      SCOPED_TRACE(std::to_string(kind) + "/" + std::to_string(k));
      std::vector<std::string> before;
      for (const std::string& file : files) before.push_back(bytes_of(file));
      (kind == 0 ? f.fail_write_at : kind == 1 ? f.fail_sync_at : f.fail_rename_at) =
          (kind == 0 ? f.writes : kind == 1 ? f.syncs : f.renames) + k;
      boxes.clear();
      p->INDEX_SAVENTX();
      f.fail_write_at = f.fail_sync_at = f.fail_rename_at = -1;
      EXPECT_LE(boxes.count(), 2);
      if (boxes.count() > 0 && boxes.shown()[0].text.startsWith(QStringLiteral("Die "))) {
        // The row named failed: it and the rows after it are as they were.
        const QString t = boxes.shown()[0].text;
        const size_t failed = size_t(t.mid(4, 1).toInt());
        ++refused;
        ASSERT_GE(failed, 1u);
        for (size_t i = failed - 1; i < files.size(); ++i) EXPECT_EQ(bytes_of(files[i]), before[i]) << files[i];
      }
      if (w.server() == nullptr) w.OPENDBFNEU(), w.FILL_CBINDEX(), p->FILL_BBINDEX();
      if (w.AINDEX.size() != 3) {
        for (const std::string& file : files) {
          chosen = QString::fromStdString(file);
          p->PB_INSERT();
        }
      }
      expect_orders(w, p, {"NAME", "BETRAG", "DATUM"});
    }
  }
  EXPECT_GT(refused, 3);
}

// ---------------------------------------------------------------- printing and looks

TEST_F(PageFixture, PrintsTheIndexListAndLooksWhole) {
  const std::string dir = twtest::scratch_dir("idx_print");
  const std::string path = make_indexed(dir, "DBFCDX", 20);
  const QString pdf = QString::fromStdString(dir + "/liste.pdf");
  report::set_pdf_route(pdf);
  shell.resize(1100, 700);
  shell.show();
  auto* w = new TABDW_DBFDATEI(&shell, QString::fromStdString(path), true, false, false);
  w->SHOW();
  ASSERT_NE(w->mdi_frame(), nullptr);
  w->mdi_frame()->setGeometry(0, 0, 1000, 560);
  TAB_INDEX* p = page(*w);
  ASSERT_NE(p, nullptr);
  w->FILEAUSGABE(false);
  report::set_pdf_route(QString());
  int rc = -1;
  const std::string text = test_tools::run_command("pdftotext -layout " + pdf.toStdString() + " - 2>&1", &rc);
  ASSERT_EQ(rc, 0) << text;
  EXPECT_NE(text.find("Index: " + path), std::string::npos) << text;
  for (const char* s : {"NAME", "BETRAG", "DTOS(DATUM)", "Schlüsselausdruck"}) EXPECT_NE(text.find(s), std::string::npos) << s;

  p->grid_server()->set_current_row(1);
  p->CELLSELECT();
  for (int i = 0; i < 5; ++i) QCoreApplication::processEvents();
  const QImage image = shell.grab().toImage();
  ASSERT_FALSE(image.isNull());
  const QString out = QStringLiteral(MOLVANE_BINARY_DIR) + QStringLiteral("/index_page.png");
  ASSERT_TRUE(image.save(out)) << out.toStdString();
  // Every caption fits its control.
  for (QPushButton* b : p->findChildren<QPushButton*>())
    EXPECT_GE(b->width(), b->sizeHint().width()) << b->objectName().toStdString();
  for (QLabel* l : p->findChildren<QLabel*>()) {
    if (!l->isVisible()) continue;
    EXPECT_GE(l->width(), l->minimumSizeHint().width()) << l->objectName().toStdString();
  }
  delete w;
}

}  // namespace
}  // namespace mv
