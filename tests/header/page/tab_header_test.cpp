// The header page offscreen: what it shows of a table file, in text and hex mode, and
// what it refuses.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QFile>
#include <QImage>
#include <QMdiSubWindow>
#include <QRadioButton>

#include "components/slestandard.h"
#include "components/stdgridbrowser.h"
#include "header/page/raw_rows_server.h"
#include "header/page/tab_header.h"
#include "platform/gui/messagebox.h"
#include "platform/gui/windows.h"
#include "platform/grid/gridserver.h"
#include "platform/table/transfer.h"
#include "platform/runtime/date.h"
#include "tablewindow/tableserver.h"
#include "tests/platform/table/run_command.h"
#include "tests/support/faulty_fs.h"
#include "tablewindow/tabdw_dbfdatei.h"
#include "tests/tablewindow/tablewindow_helpers.h"
#include "ui_TAB_HEADER_FORM.h"

namespace mv {
namespace {

const int kHeaderTab = 3;

TAB_HEADER* header_page(TABDW_DBFDATEI& w) {
  w.SELECTTAB(QStringLiteral("TAB_HEADER"));
  return qobject_cast<TAB_HEADER*>(w.TABCONTROL()->GETPAGESYM(QStringLiteral("TAB_HEADER")));
}

std::string make_long_char_table(const std::string& dir) {
  const std::string path = dir + "/LANG.DBF";
  EXPECT_TRUE(db_create(path, {{"TEXT", 'C', 300, 0}, {"NR", 'N', 5, 2}}, "DBFCDX"));
  return path;
}

QString cell(grid::GRIDSERVER* s, int row, int column) { return s->data(s->index(row, column), Qt::DisplayRole).toString(); }

struct PageFixture : ::testing::Test {
  MemoryHistoryStore history;
  twtest::EnvironmentScope env{&history};
  gui::RecordingMessageBoxes boxes;
  gui::SHELLWINDOW shell;
};

using HeaderPage = PageFixture;

TEST_F(HeaderPage, RefusesAWindowWithoutTableAndAnExclusiveTable) {
  {
    TABDW_DBFDATEI fresh(&shell);
    boxes.clear();
    fresh.SELECTTAB(QStringLiteral("TAB_HEADER"));
    ASSERT_EQ(boxes.count(), 1);
    EXPECT_EQ(boxes.last().caption, "Achtung");
    EXPECT_EQ(boxes.last().text, "Es wurde keine Datei ausgewählt!");
    EXPECT_EQ(fresh.TABCONTROL()->currentIndex(), 1);
  }
  const std::string dir = twtest::scratch_dir("hdr_excl");
  const std::string path = twtest::make_table(dir, "T.DBF", 3);
  TABDW_DBFDATEI w(&shell, QString::fromStdString(path), false, false, false);
  ASSERT_NE(w.server(), nullptr);
  boxes.clear();
  TAB_HEADER* p = header_page(w);
  ASSERT_EQ(boxes.count(), 1);
  EXPECT_EQ(boxes.last().text, "Die Datei wurde exclusiv geöffnet.\r\nDie Headerdaten können nicht angezeigt werden!");
  EXPECT_EQ(w.TABCONTROL()->currentIndex(), 1);
  ASSERT_NE(p, nullptr);
  EXPECT_TRUE(p->form()->SE_ANZSATZ->text().isEmpty());  // nothing read
  EXPECT_TRUE(p->AHEADERSTRUCTUR.empty());
}

TEST_F(HeaderPage, ShowsHeaderAndDescriptorsOfASharedTableAndReadsNothingWhenSelectedAgain) {
  const std::string dir = twtest::scratch_dir("hdr_show");
  const std::string path = twtest::make_table(dir, "T.DBF", 3);
  TABDW_DBFDATEI w(&shell, QString::fromStdString(path), true, false, false);
  ASSERT_NE(w.server(), nullptr);
  boxes.clear();
  TAB_HEADER* p = header_page(w);
  ASSERT_NE(p, nullptr);
  EXPECT_EQ(boxes.count(), 0);
  EXPECT_EQ(w.caption(), "Header: T.DBF");
  auto* f = p->form();
  EXPECT_EQ(f->SE_ANZSATZ->text(), "3");
  EXPECT_EQ(f->SE_POSANFANG->text(), QString::number(32 * 5 + 1));
  EXPECT_EQ(f->SE_SATZLANG->text(), "25");
  EXPECT_EQ(f->FT_BH4_7->text(), "03 00 00 00 ");
  EXPECT_EQ(f->FT_BH8_9->text(), "A1 00 ");
  EXPECT_EQ(f->FT_HEADEREND->text(), "00 0D ");  // the terminator is the last header byte
  EXPECT_EQ(f->FT_ANZFELD->text(), "4");
  EXPECT_EQ(f->CB_BYTE0->currentText(), "03 DBFCDX FoxBASE+/dBASE III PLUS, kein Memo");
  ASSERT_EQ(p->AHEADERSTRUCTUR.size(), 4u);
  EXPECT_EQ(p->AHEADERSTRUCTUR[2].type, 'D');
  EXPECT_EQ(cell(p->structure_server(), 0, 1), "NAME");
  EXPECT_EQ(f->CB_DATEI->currentText(), "T.DBF");
  EXPECT_EQ(f->FT_DATEN->text(), "Daten: T.DBF");

  // Changed on disk behind the page: selecting the tab again reads nothing.
  QFile file(QString::fromStdString(path));
  ASSERT_TRUE(file.open(QIODevice::ReadWrite));
  file.seek(4);
  file.write("\x09", 1);
  file.close();
  w.SELECTTAB(QStringLiteral("TAB_DBFDATEN"));
  w.set_caption(QStringLiteral("Header: T.DBF"));
  w.SELECTTAB(QStringLiteral("TAB_HEADER"));
  EXPECT_EQ(f->SE_ANZSATZ->text(), "3");
  p->FILL_HEADER();
  EXPECT_EQ(f->SE_ANZSATZ->text(), "9");
}

TEST_F(HeaderPage, ATableThatFailedToOpenIsShownFromItsFile) {
  const std::string dir = twtest::scratch_dir("hdr_failed");
  const std::string path = twtest::make_table(dir, "T.DBF", 2);
  QFile file(QString::fromStdString(path));
  ASSERT_TRUE(file.open(QIODevice::ReadWrite));
  file.seek(10);
  file.write("\x00\x00", 2);  // record length 0: no driver opens it
  file.close();
  TABDW_DBFDATEI w(&shell, QString::fromStdString(path), true, false, false);
  EXPECT_EQ(w.server(), nullptr);
  EXPECT_EQ(w.TABCONTROL()->currentIndex(), kHeaderTab);
  auto* p = qobject_cast<TAB_HEADER*>(w.TABCONTROL()->current_page());
  ASSERT_NE(p, nullptr);
  EXPECT_EQ(p->form()->SE_SATZLANG->text(), "0");
  EXPECT_EQ(p->form()->SE_ANZSATZ->text(), "2");
  EXPECT_EQ(p->AHEADERSTRUCTUR.size(), 4u);
}

TEST_F(HeaderPage, TextAndHexModeOfACharacterFieldLongerThan255) {
  const std::string dir = twtest::scratch_dir("hdr_modes");
  const std::string path = make_long_char_table(dir);
  TABDW_DBFDATEI w(&shell, QString::fromStdString(path), true, false, false);
  TAB_HEADER* p = header_page(w);
  ASSERT_NE(p, nullptr);
  auto* f = p->form();
  const QString count_before = f->SE_ANZSATZ->text();
  grid::GRIDSERVER* s = p->structure_server();
  EXPECT_EQ(cell(s, 0, 1), "TEXT");
  EXPECT_EQ(cell(s, 0, 2), "C");
  EXPECT_EQ(cell(s, 0, 3), "300");
  EXPECT_EQ(cell(s, 0, 4), "0");
  EXPECT_EQ(cell(s, 1, 3), "5");
  EXPECT_EQ(cell(s, 1, 4), "2");

  f->RB_HEX->click();
  s = p->structure_server();
  EXPECT_EQ(cell(s, 0, 1), "54 45 58 54 00 00 00 00 00 00 00 ");
  EXPECT_EQ(cell(s, 0, 2), "43 ");
  EXPECT_EQ(cell(s, 0, 3), "2C ");
  EXPECT_EQ(cell(s, 0, 4), "01 ");
  EXPECT_EQ(cell(s, 0, 6).size(), 14 * 3);
  EXPECT_EQ(f->SE_ANZSATZ->text(), count_before);  // the header does not depend on the mode
  EXPECT_EQ(p->AHEADERSTRUCTUR[0].length, 300u);   // the tests see 300 in both modes

  // Selecting the row puts the descriptor into the edit controls.
  p->structure_grid()->setCurrentIndex(s->index(1, 1));
  p->structure_grid()->setCurrentIndex(s->index(0, 1));
  EXPECT_EQ(f->SE_NAME->text(), "TEXT");
  EXPECT_EQ(f->CB_TYPE->currentData().toString(), "C");
  EXPECT_EQ(f->SE_LANG->text(), "300");
  EXPECT_EQ(f->SE_DEC->text(), "0");
}

TEST_F(HeaderPage, DefaultsPerTypeAndTheVersionList) {
  const std::string dir = twtest::scratch_dir("hdr_defaults");
  const std::string path = twtest::make_table(dir, "T.DBF", 1);
  TABDW_DBFDATEI w(&shell, QString::fromStdString(path), true, false, false);
  TAB_HEADER* p = header_page(w);
  ASSERT_NE(p, nullptr);
  auto* f = p->form();
  struct Case {
    const char* type;
    const char* length;
    const char* decimals;
    bool length_editable, decimals_editable;
  };
  const Case cases[] = {{"C", "10", "0", true, false}, {"N", "12", "2", true, true},  {"L", "1", "0", false, false},
                        {"D", "8", "0", false, false}, {"M", "10", "0", false, false}, {"O", "10", "0", false, false}};
  for (const Case& c : cases) {
    f->CB_TYPE->setCurrentIndex(f->CB_TYPE->findData(QString::fromLatin1(c.type)));
    p->LISTBOXSELECT(f->CB_TYPE);
    EXPECT_EQ(f->SE_LANG->text(), c.length) << c.type;
    EXPECT_EQ(f->SE_DEC->text(), c.decimals) << c.type;
    EXPECT_EQ(!f->SE_LANG->isReadOnly(), c.length_editable) << c.type;
    EXPECT_EQ(!f->SE_DEC->isReadOnly(), c.decimals_editable) << c.type;
  }
  // "DateTime" has no defaults: the values stay.
  f->SE_LANG->setText(QStringLiteral("7"));
  f->CB_TYPE->setCurrentIndex(f->CB_TYPE->findData(QStringLiteral("T")));
  p->SETVORGABEWERT(true);
  EXPECT_EQ(f->SE_LANG->text(), "7");
  QStringList types;
  for (int i = 0; i < f->CB_TYPE->count(); ++i) types << f->CB_TYPE->itemText(i);
  EXPECT_EQ(types, QStringList({"Character", "Numeric", "Logic", "Date", "DateTime", "Memo", "OLE"}));

  EXPECT_EQ(f->CB_BYTE0->count(), 16);
  f->CB_BYTE0->setCurrentIndex(f->CB_BYTE0->findData(0xF5));
  p->LISTBOXSELECT(f->CB_BYTE0);
  EXPECT_EQ(f->FT_DRIVER->text(), "DBFCDX");
  f->CB_BYTE0->setCurrentIndex(f->CB_BYTE0->findData(0x83));
  p->LISTBOXSELECT(f->CB_BYTE0);
  EXPECT_EQ(f->FT_DRIVER->text(), "DBFNTX");
}

TEST_F(HeaderPage, RawViewsNavigationAndBackupCopy) {
  const std::string dir = twtest::scratch_dir("hdr_raw");
  const std::string path = twtest::make_table(dir, "T.DBF", 1500, {2});
  auto put = [](const std::string& file, size_t n) {
    QFile f(QString::fromStdString(file));
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(QByteArray(qsizetype(n), 'm'));
  };
  put(dir + "/T.NTX", 3 * 512);
  put(dir + "/T.FPT", 1280);
  put(dir + "/T_1.DBF", 10);
  TABDW_DBFDATEI w(&shell, QString::fromStdString(path), true, false, false);
  ASSERT_NE(w.server(), nullptr);
  TAB_HEADER* p = header_page(w);
  ASSERT_NE(p, nullptr);
  auto* f = p->form();
  ASSERT_EQ(f->CB_DATEI->count(), 3);
  EXPECT_EQ(f->CB_DATEI->itemText(1), "T.NTX");
  EXPECT_EQ(f->FT_DBFLANG->text(), QString::number(QFileInfo(QString::fromStdString(path)).size()).insert(2, '.'));

  RawRowsServer* s = p->data_server();
  EXPECT_EQ(s->rowCount(), 1000);
  EXPECT_EQ(cell(s, 1, 1), "*");
  EXPECT_EQ(cell(s, 0, 1), " ");
  EXPECT_EQ(cell(s, 999, 0), "1000");
  EXPECT_TRUE(cell(s, 999, 2).startsWith("Name 1000"));
  EXPECT_LE(s->cached_rows(), 64u);  // rows are read as they are shown
  p->GOBOTTOM();
  EXPECT_EQ(s->current_row(), 999);
  p->SKIPPREVIOUS();
  EXPECT_EQ(s->current_row(), 998);
  f->RB_HEX->click();  // the mode switch keeps the row
  s = p->data_server();
  EXPECT_EQ(s->current_row(), 998);
  EXPECT_EQ(cell(s, 1, 1), "2A ");
  EXPECT_EQ(cell(s, 0, 1), "20 ");
  EXPECT_TRUE(cell(s, 0, 2).startsWith("4E 61 6D 65 20 31 "));
  f->RB_ASC->click();

  // Choosing the index starts its block view at block 1; the memo shows complete blocks.
  f->CB_DATEI->setCurrentIndex(1);
  p->LISTBOXSELECT(f->CB_DATEI);
  s = p->data_server();
  EXPECT_EQ(f->FT_DATEN->text(), "Daten: T.NTX");
  EXPECT_EQ(s->rowCount(), 3);
  EXPECT_EQ(s->current_row(), 0);
  EXPECT_EQ(cell(s, 0, 1).size(), 512);
  f->CB_DATEI->setCurrentIndex(2);
  p->LISTBOXSELECT(f->CB_DATEI);
  EXPECT_EQ(p->data_server()->rowCount(), 2);
  put(dir + "/T.FPT", 511);
  p->FILL_BBDATEN(true);
  EXPECT_EQ(p->data_server()->rowCount(), 0);

  boxes.clear();
  f->PB_COPY->click();
  ASSERT_EQ(boxes.count(), 1);
  EXPECT_EQ(boxes.last().caption, "Copy");
  EXPECT_EQ(boxes.last().text, QString::fromStdString("Es wurde die Sicherungskopie \r\n" + dir + "/T_2.DBF\r\n erstellt"));
  EXPECT_TRUE(QFile::exists(QString::fromStdString(dir + "/T_2.NTX")));
  EXPECT_EQ(QFileInfo(QString::fromStdString(dir + "/T_2.FPT")).size(), 511);
  EXPECT_NE(w.server(), nullptr);  // open again
}

// A table whose version byte promises a DBT memo beside its FPT memo does not open; the
// page repairs the byte and the table opens with its memo texts.
TEST_F(HeaderPage, RepairsTheVersionByteAndAWrongRecordCount) {
  const std::string dir = twtest::copy_fixture("peer/cdx-fpt");
  const QString path = QString::fromStdString(dir + "/KUNDEN.DBF");
  {
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadWrite));
    file.write("\x83", 1);
  }
  TABDW_DBFDATEI w(&shell, path, true, false, false);
  ASSERT_EQ(w.server(), nullptr);
  EXPECT_EQ(w.TABCONTROL()->currentIndex(), kHeaderTab);
  TAB_HEADER* p = qobject_cast<TAB_HEADER*>(w.TABCONTROL()->GETPAGESYM(QStringLiteral("TAB_HEADER")));
  ASSERT_NE(p, nullptr);
  auto* f = p->form();
  EXPECT_EQ(f->FT_BH0->text(), "83 ");
  EXPECT_EQ(f->FT_BH1_3->text(), "7E 0C 0A ");
  EXPECT_EQ(f->SE_DATUM->text(), "10.12.2026");  // year byte 126
  f->CB_BYTE0->setCurrentIndex(f->CB_BYTE0->findText(QStringLiteral("F5 DBFCDX FoxPro 2.x (oder früher) mit Memo")));
  p->LISTBOXSELECT(f->CB_BYTE0);
  f->SE_DATUM->setText(QString::fromStdString(dtoc(Date::today())));
  boxes.clear();
  f->PB_ANDERSHEADER->click();
  ASSERT_EQ(boxes.count(), 1);
  EXPECT_EQ(boxes.last().caption, "Header");
  EXPECT_TRUE(boxes.last().text.startsWith(
      QString::fromStdString("Es wurde die Sicherungskopie \r\n" + dir + "/KUNDEN_1.DBF\r\n erstellt\r\n")));
  EXPECT_TRUE(boxes.last().text.contains("Pos. 0: 83 => F5")) << boxes.last().text.toStdString();
  EXPECT_EQ(f->FT_BH0->text(), "F5 ");
  boxes.clear();
  p->PB_TESTHEADER();
  EXPECT_EQ(boxes.last().caption, "Header Fehler");
  EXPECT_EQ(boxes.last().text, "Es wurden keine Fehler gefunden!");

  w.SELECTTAB(QStringLiteral("TAB_DBFDATEN"));
  ASSERT_NE(w.server(), nullptr);
  Table* t = w.server()->table();
  EXPECT_EQ(w.server()->LASTREC(), 1200u);
  int memos = 0;
  for (uint32_t r = 1; r <= 1200 && memos < 3; ++r) {
    ASSERT_TRUE(t->go_to(r));
    auto v = t->field_get("NOTIZ");
    ASSERT_TRUE(v);
    if (!v.value().str.empty()) ++memos;
  }
  EXPECT_EQ(memos, 3);

  // A wrong record count: the table is open, the page closes it for the write and opens
  // it again.
  w.SELECTTAB(QStringLiteral("TAB_HEADER"));
  {
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadWrite));
    file.seek(4);
    file.write("\x10\x27", 2);  // 10000
  }
  p->FILL_HEADER();
  EXPECT_EQ(f->SE_ANZSATZ->text(), "10000");
  boxes.clear();
  p->PB_TESTHEADER();
  EXPECT_TRUE(boxes.last().text.contains("Die Anzahl der Datensätze oder die Anfangsposition stimmt nicht"));
  f->SE_ANZSATZ->setText(QStringLiteral("1200"));
  boxes.clear();
  f->PB_ANDERSHEADER->click();
  ASSERT_EQ(boxes.count(), 1);
  EXPECT_TRUE(boxes.last().text.contains("KUNDEN_2.DBF")) << boxes.last().text.toStdString();
  EXPECT_TRUE(boxes.last().text.contains("Pos. 5: 27 => 04")) << boxes.last().text.toStdString();
  ASSERT_NE(w.server(), nullptr);
  EXPECT_EQ(w.server()->LASTREC(), 1200u);

  // The descriptor button while the grid has no row says so; the table is open again.
  FaultyFileSystem faulty(FileSystem::posix());
  faulty.fail_open = [n = 0](const std::string&, OpenMode) mutable { return n++ == 0; };
  p->set_file_system(&faulty);
  p->FILL_BBSTRUCTUR();  // its read fails: an empty grid
  EXPECT_EQ(p->structure_server()->rowCount(), 0);
  boxes.clear();
  f->PB_ANDERSSTRUKTUR->click();
  ASSERT_EQ(boxes.count(), 1);
  EXPECT_EQ(boxes.last().text, "Es wurde kein Datenfeld ausgewählt");
  EXPECT_NE(w.server(), nullptr);
  EXPECT_EQ(p->structure_server()->rowCount(), 7);  // refilled

  // Another reader takes the repaired file too.
  int st = 0;
  if (test_tools::run_command("command -v dbf_dump >/dev/null 2>&1", &st); st != 0) return;
  const std::string out = test_tools::run_command("dbf_dump --fs '|' '" + path.toStdString() + "' 2>&1", &st);
  EXPECT_EQ(st, 0) << out;
  EXPECT_GE(std::count(out.begin(), out.end(), '\n'), 1000) << out.substr(0, 400);
}

// Pictures of the page at its first size, in both modes, for a person to look at.
TEST_F(HeaderPage, Screenshots) {
  const std::string dir = twtest::copy_fixture("peer/cdx-fpt");
  shell.resize(1100, 760);
  shell.show();
  const std::string table = dir + "/KUNDEN.DBF";
  ASSERT_FALSE(table.empty());
  auto* w = new TABDW_DBFDATEI(&shell, QString::fromStdString(table), true, false, false);
  w->SHOW();
  ASSERT_NE(w->mdi_frame(), nullptr);
  w->mdi_frame()->setGeometry(0, 0, 1080, 700);
  TAB_HEADER* p = header_page(*w);
  ASSERT_NE(p, nullptr);
  p->structure_grid()->setCurrentIndex(p->structure_server()->index(0, 1));
  for (const char* mode : {"ascii", "hex"}) {
    if (QLatin1String(mode) == QLatin1String("hex")) p->form()->RB_HEX->click();
    for (int i = 0; i < 5; ++i) QCoreApplication::processEvents();
    const QImage image = shell.grab().toImage();
    ASSERT_FALSE(image.isNull());
    const QString out = QStringLiteral(MOLVANE_BINARY_DIR) + QStringLiteral("/header_page_") +
                        QLatin1String(mode) + QStringLiteral(".png");
    ASSERT_TRUE(image.save(out)) << out.toStdString();
  }
  delete w;
}

}  // namespace
}  // namespace mv
