// The table window on real tables: opening every fixture driver, the history file, the
// tabs and menu state, reopen, activation, closing.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QCheckBox>
#include <QFile>

#include "components/stdgridbrowser.h"
#include "platform/gui/messagebox.h"
#include "platform/gui/windows.h"
#include "platform/table/modes.h"
#include "tablewindow/opening.h"
#include "tablewindow/tab_dbfdaten.h"
#include "tablewindow/tabdw_dbfdatei.h"
#include "tablewindow_helpers.h"

namespace mv {
namespace {

using twtest::copy_fixture;
using twtest::scratch_dir;

struct Fixture {
  const char* dir;
  const char* table;
  const char* driver;  // the driver that opened it
  int records;
  int fields;
};

// Every driver's fixture through the window: driver, grid rows and columns, caption.
TEST(TableWindow, OpensTheFixturesOfEveryDriver) {
  const std::vector<Fixture> cases = {
      {"peer/ntx-dbt", "KUNDEN.DBF", "DBFNTX", 800, 7},
      {"peer/ntx-nomemo", "ADRESSEN.DBF", "DBFCDX", 400, 6},  // NTX files named by order: the version byte decides
      {"peer/cdx-fpt", "KUNDEN.DBF", "DBFCDX", 1200, 7},
      {"peer/cdx-dbt", "KUNDEN.DBF", "_DBFCDX", 500, 7},
      {"peer/cdx-nomemo", "ADRESSEN.DBF", "DBFCDX", 600, 6},
      {"peer/large-ntx", "GROSS.DBF", "DBFNTX", 2500, 8},
      {"peer/zapped-cdx", "KUNDEN.DBF", "DBFCDX", 0, 7},
      {"peer/empty-ntx", "KUNDEN.DBF", "DBFNTX", 0, 7},
      {"peer-mdx/mdx-dbt4", "KUNDEN.DBF", "DBFMDX", 2428, -1},
      {"peer-mdx/mdx-dbt3", "artikel.dbf", "DBFMDX", 400, -1},
      {"peer-mdx/vfp", "kontakt.dbf", "DBFCDX", 60, -1},
      {"peer-mdx/level7/plain", "zaehler.dbf", "DBFCDX", 60, -1},
  };
  gui::SHELLWINDOW shell;
  for (const Fixture& c : cases) {
    SCOPED_TRACE(c.dir);
    const std::string dir = copy_fixture(c.dir);
    MemoryHistoryStore history;
    twtest::EnvironmentScope env(&history);
    gui::RecordingMessageBoxes boxes;
    const QString path = QString::fromStdString(dir + "/" + c.table);
    auto* w = new TABDW_DBFDATEI(&shell, path, true, false, false);
    TableGridServer* s = w->server();
    ASSERT_NE(s, nullptr) << (boxes.count() ? boxes.last().text.toStdString() : "");
    EXPECT_EQ(w->CEDRIVER.toStdString(), c.driver);
    // A window large enough holds every record the deleted filter lets through, in order.
    s->set_page_rows(c.records + 1);
    EXPECT_EQ(twtest::window_records(*s), twtest::undeleted_records(path));
    const int fields = c.fields >= 0 ? c.fields : s->field_count();
    EXPECT_EQ(s->field_count(), fields);
    EXPECT_EQ(s->columnCount(), fields + 2);  // DEL and RECNO, hidden
    EXPECT_EQ(int(w->ASTRUCTUR.size()), fields);
    EXPECT_EQ(int(w->AFELDER.size()), fields + 2);
    EXPECT_EQ(w->TABCONTROL()->currentIndex(), 0);
    const QString name = QString::fromLatin1(c.table);
    // The first visible record (deleted ones are hidden), or the phantom of an empty table.
    const uint32_t first = s->RECNO();
    if (c.records > 0) {
      EXPECT_FALSE(s->DELETED());
      EXPECT_EQ(w->data_page()->grid()->currentIndex().row(), s->row_of_recno(first));
    } else {
      EXPECT_EQ(first, 1u);
    }
    EXPECT_EQ(w->caption(),
              QStringLiteral("Daten: %1 < Datensatz: %2 von: %3 >").arg(name).arg(first).arg(c.records));
    EXPECT_EQ(history.GETSTRING(path, "Anzahl"), "1");
    delete w;
  }
}

TEST(TableWindow, TableThatDoesNotOpenShowsTheHeaderTab) {
  gui::SHELLWINDOW shell;
  MemoryHistoryStore history;
  twtest::EnvironmentScope env(&history);
  gui::RecordingMessageBoxes boxes;
  const QString path = QString::fromStdString(scratch_dir("none") + "/WEG.DBF");
  TABDW_DBFDATEI w(&shell, path, true, false, false);
  EXPECT_EQ(w.server(), nullptr);
  EXPECT_EQ(w.TABCONTROL()->currentIndex(), 3);
  EXPECT_TRUE(w.ASTRUCTUR.empty());
  EXPECT_TRUE(w.AFELDER.empty());
  EXPECT_EQ(w.CEDRIVER, "DBFNTX");  // the fourth attempt of the try list
  EXPECT_EQ(w.caption(), "WEG.DBF");
  EXPECT_TRUE(history.sections.empty());
  // One box with the table layer's reason; the header page then tries the file itself and
  // names what went wrong there.
  ASSERT_EQ(boxes.count(), 2);
  EXPECT_TRUE(boxes.shown()[0].text.startsWith("Die DBF-Datei konnte nicht geöffnet werden!\r\n\r\n"));
  EXPECT_TRUE(boxes.shown()[0].text.contains("WEG.DBF")) << boxes.shown()[0].text.toStdString();
  EXPECT_EQ(boxes.last().text, "FOpen Fehler: Datei nicht gefunden");
  // Commands that need the table say so or do nothing.
  boxes.clear();
  w.SELECTTAB("TAB_DBFDATEN");
  boxes.clear();
  w.data_page()->PB_APPEND();
  w.data_page()->FILEPACK();
  w.OPENDLGREPLACE();
  for (const auto& b : boxes.shown()) EXPECT_EQ(b.text, "Es ist keine Datei geöffnet!");
  EXPECT_EQ(boxes.count(), 3);
  w.SET_DELETED();
  w.FILEANSICHT();
  w.data_page()->GOBOTTOM();
  w.data_page()->FILL_CBINDEX();
  EXPECT_EQ(w.LESESATZNR(), 0);
}

TEST(TableWindow, HistoryCountsOpeningsAndAppliesTheStoredLayout) {
  const std::string dir = scratch_dir("hist");
  const QString path = QString::fromStdString(twtest::make_table(dir, "KUNDEN.DBF", 5));
  twtest::IniHistory history(QString::fromStdString(dir) + "/ZovuZUZ.INI");
  history.WRITESTRING(path, "Anzahl", "4");
  history.WRITESTRING(path, "Spalte1", "0,3,Del.,3");
  history.WRITESTRING(path, "Spalte4", "2,1,Nummer,6");
  twtest::EnvironmentScope env(&history);
  gui::SHELLWINDOW shell;
  gui::RecordingMessageBoxes boxes;
  {
    TABDW_DBFDATEI w(&shell, path, true, false, false);
    ASSERT_NE(w.server(), nullptr);
    EXPECT_EQ(history.GETSTRING(path, "Anzahl"), "5");
    ASSERT_EQ(w.AFELDER.size(), 6u);
    EXPECT_EQ(w.AFELDER[0].heading, "Del.");
    EXPECT_EQ(w.AFELDER[0].print_order, 3);
    EXPECT_EQ(w.AFELDER[3].heading, "Nummer");
    EXPECT_EQ(w.AFELDER[3].print_width, 6);

    // A reopen counts nothing and leaves the default layout.
    w.ZOVUZUZNEU();
    ASSERT_NE(w.server(), nullptr);
    EXPECT_EQ(history.GETSTRING(path, "Anzahl"), "5");
    EXPECT_EQ(w.AFELDER[0].heading, "DEL");
    EXPECT_EQ(w.AFELDER[3].heading, "NR");

    // The data tab shown after the table was closed opens and counts it.
    w.SELECTTAB("TAB_STRUKTUR");
    w.GRIDDBSERVERCLOSE();
    EXPECT_EQ(w.LESE_GRIDDBSERVER(), nullptr);
    w.SELECTTAB("TAB_DBFDATEN");
    EXPECT_NE(w.server(), nullptr);
    EXPECT_EQ(history.GETSTRING(path, "Anzahl"), "6");
  }
  EXPECT_EQ(boxes.count(), 0);
}

TEST(TableWindow, NewWindowWithoutFile) {
  gui::SHELLWINDOW shell;
  MemoryHistoryStore history;
  twtest::EnvironmentScope env(&history);
  gui::RecordingMessageBoxes boxes;
  auto* w = new TABDW_DBFDATEI(&shell);
  QPointer<TABDW_DBFDATEI> alive(w);
  EXPECT_EQ(w->TABCONTROL()->currentIndex(), 1);
  EXPECT_TRUE(w->CEDBF.isEmpty());
  EXPECT_EQ(w->caption(), "Struktur: ");
  EXPECT_FALSE(w->item_enabled(kItemAppend));
  EXPECT_TRUE(w->item_enabled(kItemTop));
  // Commands of the data page do nothing while it has never been selected.
  w->FILEPACK();
  w->APPEND();
  w->FILEPRINT();
  w->SET_DELETED();
  EXPECT_EQ(boxes.count(), 0);
  EXPECT_EQ(w->data_page(), nullptr);
  // The data tab without a file sends the user back to the structure.
  w->SELECTTAB("TAB_DBFDATEN");
  ASSERT_EQ(boxes.count(), 1);
  EXPECT_EQ(boxes.last().text, "Es ist keine Datei geöffnet!");
  EXPECT_EQ(w->TABCONTROL()->currentIndex(), 1);
  w->FILEZAP();  // the page exists now, the table does not
  ASSERT_EQ(boxes.count(), 2);
  EXPECT_EQ(boxes.last().text, "Es ist keine Datei geöffnet!");
  boxes.clear();
  // Entered fields are not lost without a question.
  w->ASTRUCTUR.push_back({"NAME", "C", 10, 0, {}});
  boxes.script(gui::MsgAnswer::No);
  w->FILECLOSE();
  ASSERT_EQ(boxes.count(), 1);
  EXPECT_EQ(boxes.last().caption, "Achtung");
  EXPECT_EQ(boxes.last().text, "Beim Schließen des Fensters gehen die\r\nerfaßten Strukturdaten verloren!\r\n\r\n"
                               "Möchten Sie das Fenster trotzdem schließen?");
  EXPECT_EQ(boxes.last().icon, gui::MsgIcon::Question);
  QCoreApplication::processEvents();
  ASSERT_TRUE(alive);
  EXPECT_EQ(w->TABCONTROL()->currentIndex(), 1);
  // The frame's close box (and so "&Alle Schließen" and quitting) asks the same question.
  boxes.clear();
  boxes.script(gui::MsgAnswer::No);
  QWidget* frame = w->parentWidget() ? w->parentWidget() : w;
  EXPECT_FALSE(frame->close());
  EXPECT_EQ(boxes.count(), 1);
  QCoreApplication::processEvents();
  ASSERT_TRUE(alive);
  // Yes closes it, with one question only.
  boxes.clear();
  boxes.script(gui::MsgAnswer::Yes);
  w->FILECLOSE();
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  EXPECT_FALSE(alive);
  EXPECT_EQ(boxes.count(), 1);
}

TEST(TableWindow, DefaultFlagsFromTheSettings) {
  const std::string dir = scratch_dir("flags");
  const QString path = QString::fromStdString(twtest::make_table(dir, "T.DBF", 2));
  MemoryHistoryStore history;
  twtest::EnvironmentScope env(&history, "DBFCDX", /*exclusive=*/true, /*read_only=*/true);
  gui::SHELLWINDOW shell;
  gui::RecordingMessageBoxes boxes;
  TABDW_DBFDATEI w(&shell, path);
  EXPECT_FALSE(w.LESHARE);
  EXPECT_TRUE(w.LEREADONLY);
  EXPECT_FALSE(w.LEANSI);
  ASSERT_NE(w.server(), nullptr);
  EXPECT_FALSE(w.server()->SHARED());
  EXPECT_TRUE(w.server()->READONLY());
}

TEST(TableWindow, MenuStateFollowsTheTab) {
  const std::string dir = scratch_dir("menu");
  const QString path = QString::fromStdString(twtest::make_table(dir, "T.DBF", 3));
  MemoryHistoryStore history;
  twtest::EnvironmentScope env(&history);
  gui::SHELLWINDOW shell;
  gui::RecordingMessageBoxes boxes;
  TABDW_DBFDATEI w(&shell, path, true, false, false);
  const std::vector<int> data_only = {kItemAppend, kItemDelete, kItemReplace, kItemDeleted, kItemRecno, kItemColumns};
  for (int id : data_only) EXPECT_TRUE(w.item_enabled(id)) << id;
  w.SELECTTAB("TAB_STRUKTUR");
  for (int id : data_only) EXPECT_FALSE(w.item_enabled(id)) << id;
  for (int id : {kItemTop, kItemPrevious, kItemNext, kItemBottom}) EXPECT_TRUE(w.item_enabled(id));
  // Record commands act only on the data tab; pack acts from every tab.
  const uint32_t before = w.server()->LASTREC();
  w.APPEND();
  EXPECT_EQ(w.server()->LASTREC(), before);
  w.FILEPACK();
  ASSERT_EQ(boxes.count(), 1);
  EXPECT_EQ(boxes.last().caption, "Info");  // shared: refused
  w.SELECTTAB("TAB_DBFDATEN");
  for (int id : data_only) EXPECT_TRUE(w.item_enabled(id)) << id;
  w.APPEND();
  EXPECT_EQ(w.server()->LASTREC(), before + 1);
}

TEST(TableWindow, ActivationSetsTheAnsiModeFromTheWindow) {
  const std::string dir = scratch_dir("ansi");
  const QString a = QString::fromStdString(twtest::make_table(dir, "A.DBF", 1));
  const QString b = QString::fromStdString(twtest::make_table(dir, "B.DBF", 1));
  MemoryHistoryStore history;
  twtest::EnvironmentScope env(&history);
  gui::SHELLWINDOW shell;
  gui::RecordingMessageBoxes boxes;
  TABDW_DBFDATEI wa(&shell, a, true, false, true);
  EXPECT_TRUE(ansi_mode());
  EXPECT_EQ(wa.server()->table()->code_page(), CodePage::Windows1252);
  TABDW_DBFDATEI wb(&shell, b, true, false, false);
  EXPECT_FALSE(ansi_mode());
  EXPECT_EQ(wb.server()->table()->code_page(), CodePage::Cp850);
  wa.ACTIVATE();
  EXPECT_TRUE(ansi_mode());
  wb.ACTIVATE();
  EXPECT_FALSE(ansi_mode());
  // A reopen of the data page's own (exclusive box) keeps the window's code page.
  wa.ACTIVATE();
  wb.ACTIVATE();
  wa.data_page()->ZOVUZUZ();
  EXPECT_EQ(wa.server()->table()->code_page(), CodePage::Windows1252);
}

// The deleted filter is one for the program; the active window's box "gelöschte Daten"
// decides it, so a window whose box is unticked never lists deleted records as valid.
TEST(TableWindow, ActivationAppliesTheWindowsDeletedBox) {
  const std::string dir = scratch_dir("filter");
  const QString a = QString::fromStdString(twtest::make_table(dir, "A.DBF", 4, {2}));
  const QString b = QString::fromStdString(twtest::make_table(dir, "B.DBF", 4, {3}));
  MemoryHistoryStore history;
  twtest::EnvironmentScope env(&history);
  gui::SHELLWINDOW shell;
  gui::RecordingMessageBoxes boxes;
  TABDW_DBFDATEI wa(&shell, a, true, false, false);
  TABDW_DBFDATEI wb(&shell, b, true, false, false);
  wa.server()->set_page_rows(10);
  wb.server()->set_page_rows(10);
  wa.ACTIVATE();
  wa.data_page()->findChild<QCheckBox*>("CHB_DEL")->click();
  EXPECT_FALSE(deleted_filter());
  EXPECT_EQ(twtest::window_records(*wa.server()), (std::vector<uint32_t>{1, 2, 3, 4}));
  wb.ACTIVATE();
  EXPECT_TRUE(deleted_filter());
  EXPECT_EQ(twtest::window_records(*wb.server()), (std::vector<uint32_t>{1, 2, 4}));
  wb.server()->refresh();  // whatever reads the rows again later
  EXPECT_EQ(twtest::window_records(*wb.server()), (std::vector<uint32_t>{1, 2, 4}));
  wa.ACTIVATE();
  EXPECT_FALSE(deleted_filter());
  EXPECT_EQ(twtest::window_records(*wa.server()), (std::vector<uint32_t>{1, 2, 3, 4}));
}

TEST(TableWindow, SharingConflictGetsItsOwnBox) {
  const std::string dir = scratch_dir("share");
  const std::string path = twtest::make_table(dir, "T.DBF", 2);
  MemoryHistoryStore history;
  twtest::EnvironmentScope env(&history);
  gui::SHELLWINDOW shell;
  OpenOptions o;
  o.shared = false;
  auto holder = Table::open(path, o);
  ASSERT_TRUE(holder);
  for (bool share : {true, false}) {
    SCOPED_TRACE(share);
    gui::RecordingMessageBoxes boxes;
    TABDW_DBFDATEI w(&shell, QString::fromStdString(path), share, false, false);
    EXPECT_EQ(w.server(), nullptr);
    ASSERT_GE(boxes.count(), 1);
    const gui::MessageRequest& first = boxes.shown().front();
    EXPECT_EQ(first.caption, "FOpen Fehler");
    EXPECT_TRUE(first.owner.isNull());
    const QString want = QString::fromStdString(path) + "\r\nkonnte nicht " + (share ? "" : "exclusiv ") +
                         "geöffnet werden!\r\nSHARING";
    EXPECT_TRUE(first.text.startsWith(want)) << first.text.toStdString();
    EXPECT_EQ(boxes.count(), 1);  // the reason is said once
    EXPECT_EQ(w.TABCONTROL()->currentIndex(), 3);
  }
}

// A table whose file ends before the records its header counts opens read-only with the
// reasons in a box; trying to append changes nothing. An unknown version byte is said too.
TEST(TableWindow, DamagedTablesSayWhatIsWrong) {
  const std::string dir = scratch_dir("damaged");
  const std::string path = twtest::make_table(dir, "KURZ.DBF", 400);
  {
    QFile f(QString::fromStdString(path));
    ASSERT_TRUE(f.open(QIODevice::ReadWrite));
    const QByteArray head = f.read(12);
    const int hl = uint8_t(head[8]) | uint8_t(head[9]) << 8;
    const int rl = uint8_t(head[10]) | uint8_t(head[11]) << 8;
    ASSERT_TRUE(f.resize(hl + 198 * rl + rl / 2));
  }
  const std::string odd = twtest::make_table(dir, "ODD.DBF", 2);
  {
    QFile f(QString::fromStdString(odd));
    ASSERT_TRUE(f.open(QIODevice::ReadWrite));
    f.write("\x42", 1);
  }
  MemoryHistoryStore history;
  twtest::EnvironmentScope env(&history);
  gui::SHELLWINDOW shell;
  {
    gui::RecordingMessageBoxes boxes;
    const QByteArray before = [&] {
      QFile f(QString::fromStdString(path));
      return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }();
    TABDW_DBFDATEI w(&shell, QString::fromStdString(path), false, false, false);
    ASSERT_NE(w.server(), nullptr);
    ASSERT_EQ(boxes.count(), 1);
    EXPECT_EQ(boxes.last().caption, "Achtung");
    EXPECT_TRUE(boxes.last().text.contains("400")) << boxes.last().text.toStdString();
    EXPECT_TRUE(boxes.last().text.contains("198")) << boxes.last().text.toStdString();
    EXPECT_TRUE(boxes.last().text.contains("schreibgeschützt"));
    EXPECT_TRUE(w.server()->READONLY());
    EXPECT_EQ(w.server()->LASTREC(), 198u);
    EXPECT_TRUE(w.data_page()->findChild<QCheckBox*>("CHB_READONLY")->isChecked());
    boxes.clear();
    w.APPEND();
    EXPECT_EQ(boxes.count(), 1);
    w.data_page()->GRIDDBSERVERCLOSE();
    QFile f(QString::fromStdString(path));
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_EQ(f.readAll(), before);
  }
  {
    gui::RecordingMessageBoxes boxes;
    TABDW_DBFDATEI w(&shell, QString::fromStdString(odd), true, false, false);
    ASSERT_NE(w.server(), nullptr);
    ASSERT_EQ(boxes.count(), 1);
    EXPECT_TRUE(boxes.last().text.contains("0x42")) << boxes.last().text.toStdString();
    EXPECT_TRUE(w.server()->READONLY());
  }
}

// Ticking "Exclusiv" while another program has the table, or unticking "Schreibgeschützt"
// on a file that cannot be written: the window says why and keeps the table as it was.
TEST(TableWindow, FailedReopenKeepsTheTableWithItsFlags) {
  const std::string path = twtest::make_table(scratch_dir("reopen"), "T.DBF", 5);
  MemoryHistoryStore history;
  twtest::EnvironmentScope env(&history);
  gui::SHELLWINDOW shell;
  gui::RecordingMessageBoxes boxes;
  OpenOptions o;
  o.shared = true;
  auto other = Table::open(path, o);
  ASSERT_TRUE(other);
  TABDW_DBFDATEI w(&shell, QString::fromStdString(path), true, false, false);
  ASSERT_NE(w.server(), nullptr);
  w.GOTO(3);
  auto* exclusive = w.data_page()->findChild<QCheckBox*>("CHB_EXCLUSIVE");
  exclusive->click();
  ASSERT_EQ(boxes.count(), 1);
  EXPECT_TRUE(boxes.last().text.contains("SHARING")) << boxes.last().text.toStdString();
  ASSERT_NE(w.server(), nullptr);
  EXPECT_TRUE(w.server()->SHARED());
  EXPECT_TRUE(w.LESHARE);
  EXPECT_FALSE(exclusive->isChecked());
  EXPECT_EQ(w.server()->RECNO(), 3u);
  EXPECT_EQ(w.server()->rowCount(), 5);
}

// The code page a table names in its header decides over the way it was opened: the
// command line opens without ANSI, the open dialog with it.
TEST(TableWindow, TheTablesCodePageMarkDecides) {
  MemoryHistoryStore history;
  twtest::EnvironmentScope env(&history);
  gui::SHELLWINDOW shell;
  for (const char* dir : {"peer-mdx/codepages/cp850", "peer-mdx/codepages/cp1252"}) {
    const QString path = QString::fromStdString(copy_fixture(dir) + "/umlaut.dbf");
    for (bool ansi : {false, true}) {
      SCOPED_TRACE(std::string(dir) + (ansi ? " ansi" : " oem"));
      gui::RecordingMessageBoxes boxes;
      TABDW_DBFDATEI w(&shell, path, true, false, ansi);
      ASSERT_NE(w.server(), nullptr);
      TableGridServer* s = w.server();
      const int name = s->column_index("NAME");
      EXPECT_EQ(s->data(s->index(0, name), Qt::DisplayRole).toString().trimmed(), "ÜberÜbelhör, Karl");
      EXPECT_EQ(boxes.count(), 0);
    }
  }
}

// The shell goes with its table windows open (the program ends, or a test does): each
// window writes and releases its table, and nothing touches a frame or canvas that is
// already being destroyed (the sanitizer build of this test checks the second half).
TEST(TableWindow, ShellGoesWithItsTableWindowsOpen) {
  const std::string dir = scratch_dir("teardown");
  const std::string a = twtest::make_table(dir, "A.DBF", 2);
  const std::string b = twtest::make_table(dir, "B.DBF", 2);
  MemoryHistoryStore history;
  twtest::EnvironmentScope env(&history);
  gui::RecordingMessageBoxes boxes;
  auto* shell = new gui::SHELLWINDOW;
  shell->resize(1000, 700);
  shell->show();
  for (const std::string& path : {a, b}) {
    auto* w = new TABDW_DBFDATEI(shell, QString::fromStdString(path), false, false, false);
    ASSERT_NE(w->server(), nullptr);
    w->SHOW();
    w->APPEND();
  }
  QCoreApplication::processEvents();
  delete shell;
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  OpenOptions o;
  o.shared = false;
  for (const std::string& path : {a, b}) {
    auto t = Table::open(path, o);
    ASSERT_TRUE(t) << path;
    EXPECT_EQ((*t)->lastrec(), 3u);
  }
}

TEST(TableWindow, ClosingReleasesTheTable) {
  const std::string dir = scratch_dir("close");
  const std::string path = twtest::make_table(dir, "T.DBF", 2);
  MemoryHistoryStore history;
  twtest::EnvironmentScope env(&history);
  gui::SHELLWINDOW shell;
  gui::RecordingMessageBoxes boxes;
  auto* w = new TABDW_DBFDATEI(&shell, QString::fromStdString(path), false, false, false);
  ASSERT_NE(w->server(), nullptr);
  w->APPEND();
  OpenOptions o;
  o.shared = false;
  EXPECT_FALSE(Table::open(path, o));  // held exclusively by the window
  delete w;
  auto t = Table::open(path, o);
  ASSERT_TRUE(t);
  EXPECT_EQ((*t)->lastrec(), 3u);  // the appended record was written
}

}  // namespace
}  // namespace mv

namespace mv {
namespace {

// The companions point to the wrong driver: the next one of the try list opens it.
TEST(TableWindow, FallsBackThroughTheTryList) {
  const std::string dir = copy_fixture("peer/cdx-fpt");
  QFile dbt(QString::fromStdString(dir + "/KUNDEN.DBT"));  // a stray DBT beside the FPT table
  ASSERT_TRUE(dbt.open(QIODevice::WriteOnly));
  dbt.write(QByteArray(512, '\0'));
  dbt.close();
  const QString path = QString::fromStdString(dir + "/KUNDEN.DBF");
  EXPECT_EQ(first_driver(path, "DBFNTX"), "_DBFCDX");
  MemoryHistoryStore history;
  twtest::EnvironmentScope env(&history);
  gui::SHELLWINDOW shell;
  gui::RecordingMessageBoxes boxes;
  TABDW_DBFDATEI w(&shell, path, true, true, false);
  ASSERT_NE(w.server(), nullptr);
  EXPECT_EQ(w.CEDRIVER, "DBFCDX");
  EXPECT_EQ(w.server()->LASTREC(), 1200u);
}

}  // namespace
}  // namespace mv

namespace mv {
namespace {

// The operations only other code calls: the header bytes, the help topic by tab, the key
// of the current record, the column list taken from the grid and the window print.
TEST(TableWindow, HeaderKeyHelpColumnsAndWindowPrint) {
  const std::string dir = copy_fixture("peer/cdx-nomemo");
  const QString path = QString::fromStdString(dir + "/ADRESSEN.DBF");
  QFile file(path);
  ASSERT_TRUE(file.open(QIODevice::ReadOnly));
  const QByteArray head = file.read(32);
  file.close();
  const QString short_file = QString::fromStdString(dir + "/KURZ.DBF");
  QFile kurz(short_file);
  ASSERT_TRUE(kurz.open(QIODevice::WriteOnly));
  kurz.write(head.left(31));
  kurz.close();
  EXPECT_EQ(LESEHEADER(path), head);
  EXPECT_TRUE(LESEHEADER(short_file).isEmpty());
  EXPECT_TRUE(LESEHEADER(QString::fromStdString(dir + "/FEHLT.DBF")).isEmpty());
  EXPECT_TRUE(LESEHEADER(QString()).isEmpty());

  MemoryHistoryStore history;
  twtest::EnvironmentScope env(&history);
  QWidget* printed = nullptr;
  table_window_environment().print_window = [&](QWidget* w) { printed = w; };
  gui::SHELLWINDOW shell;
  gui::RecordingMessageBoxes boxes;
  {
    TABDW_DBFDATEI fresh(&shell);  // a new table without a file
    fresh.SELECTTAB("TAB_STRUKTUR");
    EXPECT_EQ(fresh.help_topic(), "Neu");
    EXPECT_EQ(fresh.LESEORDERKEYVAL(), "");
  }
  TABDW_DBFDATEI w(&shell, path, false, false, false);
  ASSERT_NE(w.server(), nullptr);
  const std::vector<std::pair<int, QString>> topics = {
      {0, "Daten"}, {1, "Struktur"}, {2, "Index Datei"}, {4, ""}};  // " Header " refuses the exclusive table
  for (const auto& [tab, topic] : topics) {
    w.TABCONTROL()->setCurrentIndex(tab);
    EXPECT_EQ(w.help_topic(), topic) << tab;
  }
  w.SELECTTAB("TAB_DBFDATEN");

  // The key of the current record in the current order, as text.
  EXPECT_EQ(w.LESEORDERKEYVAL(), "");  // record-number order
  w.INDEXWAHL(1);                      // UPPER(NAME)
  w.GOBOTTOM();
  const QString name = w.data_page()->LESEDATEN(1).toString();
  ASSERT_FALSE(name.trimmed().isEmpty());
  QString key = name;  // the order's UPPER changes a-z only
  for (QChar& c : key)
    if (c >= QLatin1Char('a') && c <= QLatin1Char('z')) c = c.toUpper();
  EXPECT_EQ(w.LESEORDERKEYVAL().trimmed(), key.trimmed());

  // Print order and width from the grid's shown columns, matched by caption; the rows
  // of columns not shown lose their print order and come first.
  TableGridServer* s = w.server();
  for (grid::GridColumn* c : w.data_page()->grid()->COLUMNLIST()) c->visible = false;
  grid::GridColumn& field2 = s->column(s->column_index(w.AFELDER[3].name));
  grid::GridColumn& field3 = s->column(s->column_index(w.AFELDER[4].name));
  field2.visible = field3.visible = true;
  field2.width = 120;
  field3.width = 85;
  w.data_page()->_ABGLEICH_AFELDER();
  ASSERT_EQ(w.AFELDER.size(), size_t(s->field_count() + 2));
  const size_t n = w.AFELDER.size();
  EXPECT_EQ(w.AFELDER[n - 2].print_order, 1);
  EXPECT_EQ(w.AFELDER[n - 1].print_order, 2);
  EXPECT_EQ(w.AFELDER[n - 2].position, 2);
  EXPECT_DOUBLE_EQ(w.AFELDER[n - 2].print_width, 12.0);
  EXPECT_EQ(w.AFELDER[n - 1].position, 3);
  EXPECT_DOUBLE_EQ(w.AFELDER[n - 1].print_width, 8.5);  // the exact quotient
  for (size_t i = 0; i + 2 < n; ++i) EXPECT_EQ(w.AFELDER[i].print_order, 0) << i;

  w.PRINTSCREEN();
  EXPECT_EQ(printed, &w);
}

}  // namespace
}  // namespace mv
