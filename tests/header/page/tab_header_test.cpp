// The header page offscreen: what it shows of a table file, in text and hex mode, and
// what it refuses.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDir>
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
