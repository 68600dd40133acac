// The calendar window: its tabs, the holiday codes and the size it reads and stores, F1
// without a manual, and a picture of each page under the build folder.
#include <QDir>
#include <QFileInfo>
#include <QTabBar>
#include <QTest>

#include "calendar/core/calendar_state.h"
#include "calendar/window/kalender_globals.h"
#include "calendar/window/tab_feiertage.h"
#include "calendar/window/tab_info.h"
#include "calendar/window/tab_kalender.h"
#include "calendar/window/start.h"
#include "calendar/window/tabdw_kalender.h"
#include "components/app_paths.h"
#include "tests/calendar/window/calendar_helpers.h"
#include "tests/platform/gui/qt_env.h"

namespace mv {
namespace {

using Window = test::CalendarHome;

TEST_F(Window, TabsCaptionAndFirstStartCodes) {
  prepare();
  TABDW_KALENDER w;
  EXPECT_EQ(w.caption(), "Kalender Vers. 2.8-3.6");
  QStringList captions, names;
  for (const auto& t : w.TABCONTROL()->PAGES()) {
    captions << t.caption;
    names << t.name;
  }
  EXPECT_EQ(captions, (QStringList{" Monatskalender ", " Feiertage ", " Termine/Ereignisse ", " Gruppen ", " Info "}));
  EXPECT_EQ(names, (QStringList{"TAB_KALENDER", "TAB_FEIERTAGE", "TAB_TERMINE", "TAB_GRUPPEN", "TAB_INFO"}));
  EXPECT_EQ(w.TABCONTROL()->selected_name(), "TAB_KALENDER");
  EXPECT_NE(qobject_cast<TAB_KALENDER*>(w.TABCONTROL()->current_page()), nullptr);
  EXPECT_EQ(ini("Land1"), "D") << "defaults written at once";
  EXPECT_EQ(ini("Land2"), "00000000C");
  EXPECT_EQ(w.size(), w.OMINSIZE()) << "no stored size: the design size";
  EXPECT_EQ(w.minimumSize(), w.OMINSIZE().boundedTo(w.OMAXSIZE()));
  EXPECT_LE(w.OMAXSIZE().width(), 1022);
  EXPECT_LE(w.OMAXSIZE().height(), 778);
  // The pages not built yet are empty pages of their class names.
  w.TABCONTROL()->SELECTTAB("TAB_GRUPPEN");
  EXPECT_EQ(w.TABCONTROL()->current_page()->objectName(), "TAB_GRUPPEN");
}

TEST_F(Window, StoredCodesAreTakenAsAPair) {
  const struct {
    const char* land1;
    const char* land2;
    const char* want1;
    const char* want2;
  } cases[] = {
      {"A", "1111111A", "A", "1111111A"},
      {"D", "11110100B", "D", "11110100B"},
      {"CH", "11110100B", "D", "00000000C"},
      {"X", "11110100B", "D", "00000000C"},  // neither Germany nor Austria
      {"D", "", "D", "00000000C"},
  };
  for (const auto& c : cases) {
    set_ini("Land1", c.land1);
    set_ini("Land2", c.land2);
    prepare();
    {
      TABDW_KALENDER w;
      EXPECT_EQ(LANDCODE, c.want1) << c.land1 << "/" << c.land2;
      EXPECT_EQ(REGIONCODE, c.want2) << c.land1 << "/" << c.land2;
      EXPECT_EQ(ini("Land1"), c.want1);
      EXPECT_EQ(ini("Land2"), c.want2);
    }
    kalender_finish();
  }
}

TEST_F(Window, SizeRules) {
  const QSize design(470, 330);
  const struct {
    QSize stored, screen, want;
  } opening[] = {
      {{0, 0}, {1920, 1080}, design},            // nothing stored
      {{10, 10}, {1920, 1080}, design},          // below the design
      {{2000, 900}, {1920, 1080}, {1022, 778}},  // above the maximum
      {{800, 600}, {1920, 1080}, {800, 600}},
      {{800, 600}, {400, 300}, {400, 300}},      // a screen smaller than the design
  };
  for (const auto& c : opening)
    EXPECT_EQ(TABDW_KALENDER::opening_size(design, c.stored, c.screen), c.want) << c.stored.width();
  EXPECT_EQ(TABDW_KALENDER::stored_size({1022, 778}), QSize(1022, 645));
  EXPECT_EQ(TABDW_KALENDER::stored_size({1000, 700}), QSize(1000, 700));

  // Closing stores the size and the codes; the next window opens at it.
  prepare();
  QSize closed;
  {
    TABDW_KALENDER w;
    w.show();
    w.resize(w.OMINSIZE() + QSize(40, 30));
    closed = w.size();
    w.TABCONTROL()->SELECTTAB("TAB_FEIERTAGE");
    auto* page = qobject_cast<TAB_FEIERTAGE*>(w.TABCONTROL()->current_page());
    ASSERT_NE(page, nullptr);
    page->CB_LAND1->setCurrentIndex(page->CB_LAND1->findData("A"));
    page->LISTBOXSELECT(page->CB_LAND1);
    w.close();
  }
  EXPECT_EQ(ini("WinWidth"), QString::number(closed.width()));
  EXPECT_EQ(ini("WinHeight"), QString::number(closed.height()));
  EXPECT_EQ(ini("Land1"), "A");
  EXPECT_EQ(ini("Land2"), "1111111A");
  TABDW_KALENDER again;
  EXPECT_EQ(again.size(), closed);
  EXPECT_EQ(LANDCODE, "A");
}

TEST_F(Window, ResizingSelectsNoTabAndShowsNoPage) {
  prepare();
  TABDW_KALENDER w;
  w.show();
  w.TABCONTROL()->SELECTTAB("TAB_INFO");
  int shown = 0;
  QObject::connect(w.TABCONTROL(), &TABSTANDARD::page_shown, [&] { ++shown; });
  w.resize(w.size() + QSize(30, 20));
  QCoreApplication::processEvents();
  EXPECT_EQ(shown, 0);
  EXPECT_EQ(w.TABCONTROL()->selected_name(), "TAB_INFO");
}

TEST_F(Window, F1WithoutManualSaysSo) {
  prepare();
  TABDW_KALENDER w;
  w.show();
  QApplication::setActiveWindow(&w);
  QTest::keyClick(&w, Qt::Key_F1);
  ASSERT_EQ(boxes.count(), 1);
  EXPECT_EQ(boxes.last().caption, "Achtung");
  const QString path = ADDBACKSLASH(QFileInfo(QCoreApplication::applicationFilePath()).absolutePath()) + "Kalender.pdf";
  EXPECT_EQ(boxes.last().text, "Das Dokument \r\n" + path + "\r\nwurde nicht gefunden");
}

// Pictures of the pages at the design size and at a larger size, to look at.
TEST_F(Window, ScreenshotOfEachPage) {
  prepare();
  const QString out = QStringLiteral(MOLVANE_BINARY_DIR "/screenshots");
  QDir().mkpath(out);
  for (QSize extra : {QSize(0, 0), QSize(300, 200)}) {
    set_ini("WinWidth", QString::number(0));
    TABDW_KALENDER probe;
    const QSize size = probe.OMINSIZE() + extra;
    set_ini("WinWidth", QString::number(size.width()));
    set_ini("WinHeight", QString::number(size.height()));
    TABDW_KALENDER w;
    w.show();
    for (const char* page : {"TAB_KALENDER", "TAB_FEIERTAGE", "TAB_INFO"}) {
      w.TABCONTROL()->SELECTTAB(page);
      QCoreApplication::processEvents();
      const QString file = out + QStringLiteral("/kalender_%1_%2x%3.png")
                                     .arg(QString::fromLatin1(page).toLower())
                                     .arg(w.width())
                                     .arg(w.height());
      EXPECT_TRUE(w.grab().save(file)) << file.toStdString();
    }
  }
}

}  // namespace
}  // namespace mv
