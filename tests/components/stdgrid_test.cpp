#include <QAbstractItemModelTester>
#include <QMenu>
#include <QMenuBar>
#include <gtest/gtest.h>

#include "components/stdgridbrowser.h"
#include "components/window_utils.h"
#include "platform/gui/palette.h"
#include "tests/platform/gui/qt_env.h"

namespace mv {
namespace {

using grid::GridColumn;

grid::GRIDARRAYSERVER* make_server(QObject* parent) {
  auto* s = new grid::GRIDARRAYSERVER({{"Meier", 12.5}, {"Huber", 3}, {"Gruber", 7}}, {"NAME", "BETRAG"}, parent);
  s->add_column(GridColumn::on_field(1, "NAME", "NAME", 'C', 80));
  s->add_column(GridColumn::on_field(2, "BETRAG", "BETRAG", 'N', 40));
  return s;
}

TEST(StdGrid, LookAndRowMoves) {
  STDGRIDBROWSER g;
  ASSERT_EQ(g.GRID().BACKGROUNDLIST.size(), 2u);
  EXPECT_EQ(g.row_background(0), gui::GRIDBRUSH1());
  EXPECT_EQ(g.row_background(1), gui::GRIDBRUSH2());
  EXPECT_EQ(g.row_background(2), gui::GRIDBRUSH1());
  EXPECT_EQ(g.FONT().pointSizeF(), 8.0);
  EXPECT_EQ(g.FONT().family(), "Microsoft Sans Serif");

  auto* s = make_server(&g);
  QAbstractItemModelTester tester(s, QAbstractItemModelTester::FailureReportingMode::Fatal);
  g.set_server(s);
  EXPECT_EQ(g.current_row(), 0);
  g.SKIPPREVIOUS();  // at the first row: stays
  EXPECT_EQ(g.current_row(), 0);
  g.SKIPNEXT();
  g.SKIPNEXT();
  g.SKIPNEXT();  // at the last row: stays
  EXPECT_EQ(g.current_row(), 2);
  EXPECT_EQ(s->current_row(), 2);
}

TEST(StdGrid, ZoomComputesFromBaseWidths) {
  STDGRIDBROWSER g;
  g.set_server(make_server(&g));
  QFont f("Microsoft Sans Serif");
  g.ZOOMFONT(f, 10);
  EXPECT_EQ(g.COLUMNLIST()[0]->width, 100);
  EXPECT_EQ(g.COLUMNLIST()[1]->width, 50);
  EXPECT_EQ(g.columnWidth(0), 100);
  g.ZOOMCOLUMN(12);
  g.ZOOMCOLUMN(8);
  EXPECT_EQ(g.COLUMNLIST()[0]->width, 80);
  EXPECT_EQ(g.COLUMNLIST()[1]->width, 40);
  // SETCOLUMN after a zoom takes the widths it leaves as the new base.
  g.ZOOMCOLUMN(10);
  g.SETCOLUMN(0u, 99u, false);
  EXPECT_EQ(*g.AWIDTHS(), (std::vector<int>{100, 50}));
}

TEST(StdGrid, SetColumnWidensShortCaptionsAndAddsMarkSlots) {
  STDGRIDBROWSER g;
  auto* s = make_server(&g);
  s->add_column(GridColumn::on_field(1, "KURZ", "NR", 'C', 0));  // width 0: untouched
  g.set_server(s);
  // "NAME" (4) is short at 4 and keeps its case at 4; "BETRAG" (6) is longer than 4.
  g.SETCOLUMN(4u, 4u, true);
  auto cols = g.COLUMNLIST();
  EXPECT_EQ(cols[0]->width, 80 + 10 + 20);
  EXPECT_EQ(cols[0]->caption, "NAME");
  EXPECT_EQ(cols[0]->mark_slot, GridColumn::MarkSlot::Right);
  EXPECT_EQ(cols[1]->width, 40 + 20);
  EXPECT_EQ(cols[1]->caption, "Betrag");
  EXPECT_EQ(cols[1]->mark_slot, GridColumn::MarkSlot::Left);  // numbers: mark left of the caption
  EXPECT_EQ(cols[2]->width, 0);
  EXPECT_EQ(cols[2]->caption, "NR");
  EXPECT_EQ(*g.AWIDTHS(), (std::vector<int>{110, 60, 0}));

  g.SETSORTZEICHEN(QString("betrag"));
  EXPECT_EQ(cols[1]->mark, "5");
  EXPECT_EQ(cols[0]->mark, "");
  EXPECT_EQ(s->headerData(1, Qt::Horizontal, Qt::DisplayRole).toString(), QString::fromUtf8("\u25B2 Betrag"));
  g.SETSORTZEICHEN(QString("NAME"));
  EXPECT_EQ(cols[1]->mark, "");
  EXPECT_EQ(s->headerData(0, Qt::Horizontal, Qt::DisplayRole).toString(), QString::fromUtf8("NAME \u25B2"));
}

TEST(StdGrid, EmptyGridCalls) {
  STDGRIDBROWSER g;
  g.set_server(new grid::GRIDARRAYSERVER(&g));
  g.SETCOLUMN(3u, 3u, true);
  EXPECT_TRUE(g.AWIDTHS()->empty());
  g.ZOOMFONT(QFont("Microsoft Sans Serif"), 12);
  EXPECT_TRUE(g.AWIDTHS()->empty());
  g.SETSORTZEICHEN(QString("X"));
  g.SKIPNEXT();
  EXPECT_EQ(g.current_row(), -1);
  EXPECT_EQ(proper_case("ANZAHL DER tage"), "Anzahl Der Tage");
}

TEST(MenuHelpers, ItemsByCommandName) {
  QMenuBar bar;
  QMenu* file = bar.addMenu("&Datei");
  QAction* open = file->addAction("&Öffnen...");
  open->setObjectName("FILEOPEN");
  open->setData(32001);
  QAction* exit = file->addAction("&Beenden");
  exit->setObjectName("FILEEXIT");
  exit->setData(3316);
  QAction* del = file->addAction("gelöschte");
  del->setObjectName("SETDEL");
  del->setData(3334);
  del->setCheckable(true);
  del->setChecked(true);

  EXPECT_EQ(MENUGETID(&bar, "FILEEXIT"), 3316);
  EXPECT_EQ(MENUGETID(&bar, "NOPE"), 0);
  EXPECT_FALSE(MENUISCHECKED(&bar, "NOPE"));
  EXPECT_FALSE(MENUISENABLED(&bar, "NOPE"));
  del->setEnabled(false);
  EXPECT_TRUE(MENUISCHECKED(&bar, "SETDEL"));  // grey and checked
  EXPECT_FALSE(MENUISENABLED(&bar, "SETDEL"));
  del->setEnabled(true);
  EXPECT_TRUE(MENUISENABLED(&bar, "SETDEL"));  // checked, not grey

  MENUENABLEALL(&bar, false, QStringList{});
  EXPECT_TRUE(open->isEnabled());
  MENUENABLEALL(&bar, false, std::nullopt, QStringList{"FILEEXIT"});
  EXPECT_FALSE(open->isEnabled());
  EXPECT_FALSE(del->isEnabled());
  EXPECT_TRUE(exit->isEnabled());
  MENUENABLEALL(&bar, true, QStringList{"FILEOPEN"});
  EXPECT_TRUE(open->isEnabled());
  EXPECT_FALSE(del->isEnabled());
}

TEST(WindowHelpers, CentreAndVersion) {
  EXPECT_EQ(centered_offset(1024, 300), 362);
  EXPECT_EQ(centered_offset(1025, 300), 362);
  WINDLLVERSION v("COMCTL32.DLL");
  EXPECT_EQ(v.DLL(), "COMCTL32.DLL");
  EXPECT_EQ(v.MAJORVERSION, 0u);
  EXPECT_EQ(v.BUILD, 0u);
  EXPECT_FALSE(v.ISWINNT());
  EXPECT_FALSE(_CALLFROMSELF());
  EXPECT_GT(GETMENUY(), 0);
}

}  // namespace
}  // namespace mv
