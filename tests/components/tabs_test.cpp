#include <QMdiSubWindow>
#include <QMouseEvent>
#include <gtest/gtest.h>

#include "components/tabdw_standard.h"
#include "platform/gui/dispatch.h"
#include "tests/platform/gui/qt_env.h"

namespace mv {
namespace {

QStringList g_log;
int g_created = 0;

class PageWithNavigation : public STD_DATAWINDOW {
  Q_OBJECT
 public:
  explicit PageWithNavigation(QWidget* owner) : STD_DATAWINDOW(owner) { ++g_created; }
 public slots:
  void SHOW() override { g_log << "SHOW NAV"; STD_DATAWINDOW::SHOW(); }
  void GOTOP() { g_log << "NAV:GOTOP"; }
  void SKIPNEXT() { g_log << "NAV:SKIPNEXT"; }
  void GOTO(int r) { g_log << "NAV:GOTO " + QString::number(r); }
  void FILEREPORT(bool preview) { g_log << QString("NAV:FILEREPORT %1").arg(preview); }
};

class PlainPage : public STD_DATAWINDOW {
  Q_OBJECT
 public:
  explicit PlainPage(QWidget* owner) : STD_DATAWINDOW(owner) { ++g_created; }
 public slots:
  void SHOW() override { g_log << "SHOW PLAIN"; STD_DATAWINDOW::SHOW(); }
};

class TestDocWindow : public TABDW_STANDARD {
  Q_OBJECT
 public:
  explicit TestDocWindow(gui::SHELLWINDOW* shell) : TABDW_STANDARD(shell) {
    APPENDTAB("TAB_NAV", " Daten ");
    APPENDTAB("TAB_PLAIN", " Header ");
    APPENDTAB("TAB_BEENDEN", " Beenden ");
  }
 public slots:
  void FILECLOSE() override { g_log << "FILECLOSE"; TABDW_STANDARD::FILECLOSE(); }
};

class Tabs : public ::testing::Test {
 protected:
  void SetUp() override {
    gui::register_window_class<PageWithNavigation>("TAB_NAV");
    gui::register_window_class<PlainPage>("TAB_PLAIN");
    document_window_hooks().placement_mode = [this] { return mode; };
    g_log.clear();
    g_created = 0;
    shell.resize(1300, 800);
    shell.show();
  }
  void TearDown() override { document_window_hooks().placement_mode = nullptr; }
  unsigned mode = 1;
  gui::SHELLWINDOW shell;
};

TEST_F(Tabs, PageIsCreatedOnFirstSelectionOnlyOnce) {
  auto* w = new TestDocWindow(&shell);
  TABSTANDARD* tabs = w->TABCONTROL();
  EXPECT_EQ(g_created, 0);  // appending creates no page
  QWidget* placeholder = tabs->GETPAGESYM("TAB_NAV");
  ASSERT_NE(placeholder, nullptr);
  EXPECT_FALSE(gui::has_operation(placeholder, "GOTOP"));
  EXPECT_EQ(tabs->GETPAGESYM("TAB_UNKNOWN"), nullptr);

  w->SELECTTAB("TAB_NAV");
  EXPECT_EQ(g_created, 1);
  QWidget* page = tabs->GETPAGESYM("TAB_NAV");
  EXPECT_TRUE(gui::has_operation(page, "GOTOP"));
  EXPECT_EQ(g_log, QStringList({"SHOW NAV"}));
  EXPECT_EQ(qobject_cast<gui::DATAWINDOW*>(page)->owner(), w);

  // Re-selecting the current tab (the window is resized, or the window asks again)
  // neither creates a second page nor shows it again.
  w->SELECTTAB("TAB_NAV");
  w->mdi_frame()->resize(900, 600);
  tabs->ensure_current_page();
  EXPECT_EQ(g_created, 1);
  EXPECT_EQ(g_log, QStringList({"SHOW NAV"}));
  EXPECT_EQ(tabs->GETPAGESYM("TAB_NAV"), page);

  // The user clicks the other tab and back: each change shows the page.
  tabs->setCurrentIndex(1);
  tabs->setCurrentIndex(0);
  EXPECT_EQ(g_created, 2);
  EXPECT_EQ(g_log, QStringList({"SHOW NAV", "SHOW PLAIN", "SHOW NAV"}));
  EXPECT_EQ(tabs->GETPAGESYM("TAB_NAV"), page);
  EXPECT_EQ(TABCURSEL(tabs), 0);
  delete w;
}

TEST_F(Tabs, NavigationReachesCurrentPageOnlyWhenItHasTheOperation) {
  auto* w = new TestDocWindow(&shell);
  w->SHOW();
  w->SELECTTAB("TAB_NAV");
  g_log.clear();
  shell.canvas()->setActiveSubWindow(w->mdi_frame());
  EXPECT_TRUE(shell.router()->dispatch("GOTOP"));
  w->SKIPNEXT();
  w->GOTO(7);
  w->FILEREPORT(true);
  w->SELECTTAB("TAB_PLAIN");
  g_log.clear();
  w->GOTOP();  // the plain page has no navigation: nothing happens, no message
  w->FILEREPORT(false);
  EXPECT_TRUE(g_log.isEmpty());
  w->SELECTTAB("TAB_NAV");
  EXPECT_EQ(g_log, QStringList({"SHOW NAV"}));
  delete w;
}

TEST_F(Tabs, CloseTabClosesWindowAndLeavesShellList) {
  QPointer<TestDocWindow> w = new TestDocWindow(&shell);
  shell.REGISTERCHILD(w);
  w->SHOW();
  w->SELECTTAB("TAB_NAV");
  ASSERT_EQ(shell.ANZAHLCHILD(), 1);
  w->SELECTTAB("TAB_BEENDEN");
  EXPECT_TRUE(g_log.contains("FILECLOSE"));
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  EXPECT_TRUE(w.isNull());
  EXPECT_EQ(shell.ANZAHLCHILD(), 0);
}

struct PlacementCase {
  const char* name;
  unsigned mode;
  QSize canvas;
  int n;
  QRect expected;
};

TEST(TabsPlacement, Rules) {
  const PlacementCase cases[] = {
      {"first window at the corner", 1, {1132, 740}, 0, {0, 0, 1012, 620}},
      {"fifth window 120 in", 1, {1132, 740}, 4, {120, 120, 1012, 620}},
      {"bottom edge reached", 1, {1300, 700}, 3, {90, 80, 1012, 620}},
      {"small canvas", 1, {800, 500}, 5, {0, 0, 800, 500}},
      {"fill the canvas", 2, {900, 650}, 9, {0, 0, 900, 650}},
      {"form size", 0, {900, 650}, 2, QRect()},
      {"maximised later", 3, {900, 650}, 2, QRect()},
      {"unknown mode", 7, {900, 650}, 2, QRect()},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(TABDW_STANDARD::placement(c.mode, c.canvas, c.n), c.expected);
  }
}

TEST_F(Tabs, WindowIsPlacedByModeAndKeepsItsFormSizeWhileDragged) {
  shell.REGISTERCHILD(new QWidget(&shell));  // one window already there
  mode = 1;
  auto* w = new TestDocWindow(&shell);
  const QSize canvas = shell.canvas_size();
  EXPECT_EQ(w->mdi_frame()->geometry(), TABDW_STANDARD::placement(1, canvas, 1));
  const QSize min = w->minimum_size();
  EXPECT_GT(min.width(), 300);

  // The user drags the frame smaller than the form: refused.
  shell.show();
  w->SHOW();
  QMouseEvent press(QEvent::MouseButtonPress, QPointF(2, 2), QPointF(2, 2), Qt::LeftButton, Qt::LeftButton,
                    Qt::NoModifier);
  QCoreApplication::sendEvent(w->mdi_frame(), &press);
  w->mdi_frame()->resize(100, 80);
  EXPECT_EQ(w->mdi_frame()->size(), min);
  QMouseEvent release(QEvent::MouseButtonRelease, QPointF(2, 2), QPointF(2, 2), Qt::LeftButton, Qt::NoButton,
                      Qt::NoModifier);
  QCoreApplication::sendEvent(w->mdi_frame(), &release);
  delete w;

  mode = 3;
  auto* m = new TestDocWindow(&shell);
  const QSize before = m->mdi_frame()->size();
  EXPECT_EQ(before, m->minimum_size());  // not resized by the placement
  m->SHOW();
  EXPECT_TRUE(m->mdi_frame()->isMaximized());
  delete m;
}

}  // namespace
}  // namespace mv

#include "tabs_test.moc"
