// The calendar's controls: only the user's choices raise their signals; the month
// calendar shows consecutive months and keeps its selection on the sheet of its month.
#include <QCalendarWidget>
#include <QSignalSpy>
#include <QTest>
#include <QToolButton>

#include "platform/gui/calendar_controls.h"
#include "tests/platform/gui/qt_env.h"

namespace mv::gui {
namespace {

TEST(CalendarControls, MonthCalendarSheetsAndSelection) {
  MONTHCALENDAR cal;
  cal.set_grid(2, 3);
  ASSERT_EQ(cal.sheet_count(), 6);
  QSignalSpy spy(&cal, &MONTHCALENDAR::selection_changed);
  cal.SELECTION(QDate(2024, 6, 12));
  EXPECT_EQ(spy.count(), 0) << "set from the program: no signal";
  EXPECT_EQ(cal.first_month(), QDate(2024, 6, 1));
  for (int i = 0; i < 6; ++i) {
    EXPECT_EQ(cal.sheet(i)->monthShown(), (5 + i) % 12 + 1) << i;
    EXPECT_EQ(cal.sheet(i)->locale().language(), QLocale::German);
    EXPECT_EQ(cal.sheet(i)->verticalHeaderFormat(), QCalendarWidget::ISOWeekNumbers);
  }
  EXPECT_EQ(cal.sheet(0)->selectedDate(), QDate(2024, 6, 12));
  // A date within the months shown keeps the sheets where they are.
  cal.SELECTION(QDate(2024, 9, 1));
  EXPECT_EQ(cal.first_month(), QDate(2024, 6, 1));
  EXPECT_EQ(cal.sheet(3)->selectedDate(), QDate(2024, 9, 1));
  // A later one makes its month the first.
  cal.SELECTION(QDate(2025, 3, 3));
  EXPECT_EQ(cal.first_month(), QDate(2025, 3, 1));
  // The user's click on a sheet selects and signals.
  emit cal.sheet(2)->clicked(QDate(2025, 5, 20));
  ASSERT_EQ(spy.count(), 1);
  EXPECT_EQ(cal.SELECTION(), QDate(2025, 5, 20));
  EXPECT_EQ(cal.first_month(), QDate(2025, 3, 1));
  // Paging the first sheet moves all of them.
  cal.sheet(0)->setCurrentPage(2025, 4);
  EXPECT_EQ(cal.first_month(), QDate(2025, 4, 1));
  EXPECT_EQ(cal.sheet(5)->monthShown(), 9);
}

TEST(CalendarControls, PickerSpinnerAndLink) {
  DATETIMEPICKER date(DATETIMEPICKER::Kind::Date);
  QSignalSpy dspy(&date, &DATETIMEPICKER::selection_changed);
  date.SELECTEDDATE(QDate(2024, 3, 29));
  EXPECT_EQ(dspy.count(), 0);
  EXPECT_EQ(date.text(), "Freitag, 29. März 2024");
  date.setDate(QDate(2024, 3, 30));  // as the spin buttons do
  EXPECT_EQ(dspy.count(), 1);

  DATETIMEPICKER time(DATETIMEPICKER::Kind::Time);
  time.SELECTEDTIME(QTime(9, 5, 7));
  EXPECT_EQ(time.SELECTEDTIME(), "09:05:07");

  VERTICALSPINNER spin;
  spin.RANGE(1752, 2199);
  spin.POSITION(3000);
  EXPECT_EQ(spin.POSITION(), 2199);
  QSignalSpy sspy(&spin, &VERTICALSPINNER::spun);
  QTest::mouseClick(spin.up_button(), Qt::LeftButton);
  EXPECT_EQ(spin.POSITION(), 2199) << "held at the upper bound";
  QTest::mouseClick(spin.down_button(), Qt::LeftButton);
  EXPECT_EQ(spin.POSITION(), 2198);
  EXPECT_EQ(sspy.count(), 2);

  QString opened;
  HYPERLINK::set_opener([&](const QString& t) {
    opened = t;
    return true;
  });
  HYPERLINK link("Web", "https://www.example.org/");
  emit link.linkActivated("link");
  EXPECT_EQ(opened, "https://www.example.org/");
  HYPERLINK::set_opener({});

  STANDARDFOLDERDIALOG::set_chooser([](QWidget*, const QString& caption, const QString& start) {
    return caption + "|" + start;
  });
  STANDARDFOLDERDIALOG dlg(nullptr, "Wahl", "/tmp");
  dlg.SHOW();
  EXPECT_EQ(dlg.FOLDERNAME(), "Wahl|/tmp");
  STANDARDFOLDERDIALOG::set_chooser({});
}

}  // namespace
}  // namespace mv::gui
