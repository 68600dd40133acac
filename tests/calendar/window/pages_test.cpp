// The month page and the holiday page, driven through their slots as the user's choices
// reach them.
#include <QCalendarWidget>
#include <QTest>

#include "calendar/core/calendar_state.h"
#include "calendar/window/kalender_globals.h"
#include "calendar/window/start.h"
#include "calendar/window/tab_feiertage.h"
#include "calendar/window/tab_kalender.h"
#include "calendar/window/tabdw_kalender.h"
#include "tests/calendar/window/calendar_helpers.h"
#include "tests/platform/gui/qt_env.h"

namespace mv {
namespace {

class Pages : public test::CalendarHome {
 protected:
  void SetUp() override {
    CalendarHome::SetUp();
    prepare();
    window = std::make_unique<TABDW_KALENDER>();
    month = qobject_cast<TAB_KALENDER*>(window->TABCONTROL()->current_page());
    ASSERT_NE(month, nullptr);
  }
  void TearDown() override {
    window.reset();
    CalendarHome::TearDown();
  }
  TAB_FEIERTAGE* holidays() {
    window->TABCONTROL()->SELECTTAB("TAB_FEIERTAGE");
    return qobject_cast<TAB_FEIERTAGE*>(window->TABCONTROL()->current_page());
  }
  static void choose(QComboBox* c, const QVariant& value) {
    const int i = c->findData(value);
    ASSERT_GE(i, 0) << value.toString().toStdString();
    c->setCurrentIndex(i);
  }
  static void choose_text(QComboBox* c, const QString& text) {
    const int i = c->findText(text);
    ASSERT_GE(i, 0) << text.toStdString();
    c->setCurrentIndex(i);
  }
  // Both calendars set as the pickers would, then one refresh.
  void dates(QDate a, QDate b) {
    month->DATEPICKER1->SELECTEDDATE(a);
    month->DATEPICKER2->SELECTEDDATE(b);
    month->DATETIMESELECTIONCHANGED();
  }
  void kind(const char* k) {
    choose(month->CB_WERT1, QString::fromLatin1(k));
    month->LISTBOXSELECT(month->CB_WERT1);
  }
  void region(const char* code) {
    choose(month->CB_LAND2, QString::fromLatin1(code));
    month->LISTBOXSELECT(month->CB_LAND2);
  }
  static QStringList items(QComboBox* c) {
    QStringList out;
    for (int i = 0; i < c->count(); ++i) out << c->itemText(i);
    return out;
  }
  std::unique_ptr<TABDW_KALENDER> window;
  TAB_KALENDER* month = nullptr;
};

TEST(MonthPageLayout, MonthsByWindowSize) {
  const struct {
    int w, h, rows, columns;
  } cases[] = {{800, 600, 2, 2}, {1022, 778, 4, 3}, {1022, 645, 3, 4}, {633, 494, 1, 1}, {900, 700, 3, 3}};
  for (const auto& c : cases) {
    const int rows = TAB_KALENDER::rows_for(c.h);
    EXPECT_EQ(rows, c.rows) << c.w << "x" << c.h;
    EXPECT_EQ(TAB_KALENDER::columns_for(c.w, rows), c.columns) << c.w << "x" << c.h;
  }
}

TEST_F(Pages, MonthPageStartsOnTodayAndTheFirstMonthAfterTheFirstCalendar) {
  const QDate today = QDate::currentDate();
  EXPECT_EQ(month->MONTHCALENDAR1->SELECTION(), today);
  const int months = month->MONTHCALENDAR1->sheet_count();
  EXPECT_EQ(month->MONTHCALENDAR2->SELECTION(), QDate(today.year(), today.month(), 1).addMonths(months));
  EXPECT_EQ(month->CB_WERT1->currentData().toString(), "KT");
  EXPECT_EQ(month->CB_LAND1->currentData().toString(), "D");
  EXPECT_EQ(month->CB_LAND2->currentData().toString(), "00000000C");
}

TEST_F(Pages, CountsOfTheThreeKinds) {
  const struct {
    const char* kind;
    const char* region;
    QDate a, b;
    const char* shown;
  } cases[] = {
      {"KT", "00000000C", {2024, 6, 3}, {2024, 6, 7}, "4"},
      {"KT", "00000000C", {2024, 6, 7}, {2024, 6, 3}, "-4"},
      {"KT", "00000000C", {2024, 6, 7}, {2024, 6, 7}, "0"},
      {"AT", "00000000C", {2024, 6, 3}, {2024, 6, 7}, "4"},
      {"AT", "00000000C", {2024, 6, 7}, {2024, 6, 3}, "4"},
      {"AT", "00000000C", {2024, 3, 29}, {2024, 4, 2}, "0"},
      {"AT", "00000000C", {2024, 12, 30}, {2025, 1, 2}, "2"},  // across New Year
      {"AT", "11110100B", {2024, 6, 1}, {2024, 7, 1}, "20"},   // June in Bayern
      {"ZT", "00000000C", {2024, 1, 31}, {2024, 3, 15}, "45"},
      {"ZT", "00000000C", {2024, 3, 15}, {2024, 1, 31}, "45"},
      {"ZT", "00000000C", {2023, 1, 1}, {2025, 1, 1}, "720"},
  };
  for (const auto& c : cases) {
    region(c.region);
    kind(c.kind);
    dates(c.a, c.b);
    EXPECT_EQ(month->SE_DIFFERENZ1->text(), c.shown) << c.kind << " " << c.a.toString().toStdString() << " - "
                                                      << c.b.toString().toStdString();
  }
  EXPECT_EQ(month->FT_DIFF1->text(), "vom 01.01.2023 bis 01.01.2025");
  EXPECT_EQ(month->FT_TAG1->text(), "Feiertage im Januar 2023");
  dates({2024, 3, 15}, {2025, 1, 1});
  EXPECT_EQ(month->FT_TAG1->text(), "Feiertage im März 2024");
  EXPECT_EQ(month->FT_TAG2->text(), "Feiertage im Januar 2025");
  EXPECT_EQ(month->DATEPICKER2->SELECTEDDATE(), QDate(2025, 1, 1));
}

TEST_F(Pages, SetDatum) {
  region("00000000C");
  const struct {
    const char* kind;
    QDate from;
    const char* n;
    QDate want;
  } cases[] = {
      {"AT", {2024, 6, 3}, "5", {2024, 6, 7}},    {"AT", {2024, 6, 3}, "1", {2024, 6, 3}},
      {"AT", {2024, 6, 1}, "1", {2024, 6, 3}},    {"AT", {2024, 6, 1}, "-1", {2024, 5, 31}},
      {"AT", {2024, 6, 1}, "-2", {2024, 5, 30}},  {"AT", {2024, 12, 30}, "3", {2025, 1, 2}},
      {"ZT", {2024, 1, 31}, "45", {2024, 3, 15}}, {"ZT", {2024, 3, 15}, "-45", {2024, 1, 31}},
      {"KT", {2024, 3, 15}, "-15", {2024, 2, 29}}, {"KT", {2024, 3, 15}, "abc", {2024, 3, 15}},
  };
  for (const auto& c : cases) {
    kind(c.kind);
    dates(c.from, c.from);
    month->SE_DIFFERENZ1->setText(c.n);
    month->PB_SETDATUM_CLICKED();
    EXPECT_EQ(month->MONTHCALENDAR2->SELECTION(), c.want) << c.kind << " " << c.n;
    EXPECT_EQ(month->SE_DIFFERENZ1->text(), c.n) << "the typed number stays";
    EXPECT_EQ(month->DATEPICKER2->SELECTEDDATE(), c.want);
  }
  // The field takes a leading minus and digits only.
  month->SE_DIFFERENZ1->clear();
  QTest::keyClicks(month->SE_DIFFERENZ1, "-12x3");
  EXPECT_EQ(month->SE_DIFFERENZ1->text(), "-123");
}

TEST_F(Pages, HolidaysOfTheMonth) {
  region("00000000C");
  dates({2024, 8, 14}, {2024, 12, 10});
  EXPECT_EQ(items(month->CB_FTMONAT1), QStringList{"keine Feiertage"});
  EXPECT_EQ(items(month->CB_FTMONAT2), (QStringList{"25.12.2024 1. Weihnachtstag", "26.12.2024 2. Weihnachtstag",
                                                     "10.12.2024 ist kein Feiertag"}))
      << items(month->CB_FTMONAT2).join('|').toStdString();
  EXPECT_EQ(month->CB_FTMONAT2->currentIndex(), month->CB_FTMONAT2->count() - 1);

  // Choosing a holiday moves its calendar there and counts again.
  choose_text(month->CB_FTMONAT2, "26.12.2024 2. Weihnachtstag");
  month->LISTBOXSELECT(month->CB_FTMONAT2);
  EXPECT_EQ(month->MONTHCALENDAR2->SELECTION(), QDate(2024, 12, 26));
  EXPECT_EQ(month->CB_FTMONAT2->currentText(), "26.12.2024 2. Weihnachtstag");
  EXPECT_EQ(month->CB_FTMONAT2->count(), 2) << "a holiday date adds no 'kein Feiertag' item";
  EXPECT_EQ(month->SE_DIFFERENZ1->text(), QString::number(QDate(2024, 8, 14).daysTo(QDate(2024, 12, 26))));

  // "keine Feiertage" moves no calendar.
  month->LISTBOXSELECT(month->CB_FTMONAT1);
  EXPECT_EQ(month->MONTHCALENDAR1->SELECTION(), QDate(2024, 8, 14));
}

TEST_F(Pages, MonthPageCountsWhatItShows) {
  // Codes another page left behind that the combos cannot show: the shown entry wins.
  LANDCODE = "A";
  REGIONCODE = "11110100B";
  month->SHOW();
  EXPECT_EQ(month->CB_LAND1->currentData().toString(), "A");
  EXPECT_EQ(REGIONCODE, "1111111A");
  EXPECT_EQ(REGIONCODE, month->CB_LAND2->currentData().toString().toStdString());
}

TEST_F(Pages, AustriaOnTheMonthPage) {
  choose(month->CB_LAND1, "A");
  month->LISTBOXSELECT(month->CB_LAND1);
  EXPECT_EQ(items(month->CB_LAND2), QStringList{"alle gesetzlichen Feiertage"});
  EXPECT_EQ(LANDCODE, "A");
  EXPECT_EQ(REGIONCODE, "1111111A");
  dates({2024, 12, 8}, {2024, 12, 8});
  EXPECT_TRUE(items(month->CB_FTMONAT1).contains("08.12.2024 Mariä Empfängnis"))
      << items(month->CB_FTMONAT1).join('|').toStdString();
}

TEST_F(Pages, HolidayPageLists) {
  TAB_FEIERTAGE* page = holidays();
  ASSERT_NE(page, nullptr);
  page->SE_JAHR->setText("2024");
  page->EDITFOCUSCHANGE();
  EXPECT_EQ(page->VS_JAHR->POSITION(), 2024);
  const struct {
    const char* land;
    const char* region_text;
    int rows;
    const char* summary;
  } cases[] = {
      {"D", "Bayern", 16, "in Bayern gibt es 16 gesetzliche Feiertage, davon 5 regionale"},
      {"D", "alle gesetzlichen Feiertage", 18, "in Deutschland gibt es 18 gesetzliche Feiertage, davon 7 regionale"},
      {"D", "Berlin", 11, "in Berlin gibt es 11 gesetzliche Feiertage, davon 0 regionale"},
      {"A", "alle gesetzlichen Feiertage", 15, "in Österreich gibt es 15 gesetzliche Feiertage, davon 0 regionale"},
  };
  for (const auto& c : cases) {
    if (page->CB_LAND1->currentData().toString() != c.land) {
      choose(page->CB_LAND1, QString::fromLatin1(c.land));
      page->LISTBOXSELECT(page->CB_LAND1);
    }
    choose_text(page->CB_LAND2, QString::fromUtf8(c.region_text));
    page->LISTBOXSELECT(page->CB_LAND2);
    EXPECT_EQ(page->server()->rowCount(), c.rows) << c.region_text;
    EXPECT_EQ(page->FT_BEMERKUNG->text(), QString::fromUtf8(c.summary));
    EXPECT_EQ(int(FEIERTAGLISTE.size()), c.rows) << "the page's list is the program's";
  }
  EXPECT_EQ(items(page->CB_LAND2), QStringList{"alle gesetzlichen Feiertage"});
}

TEST_F(Pages, StatesOfAHoliday) {
  TAB_FEIERTAGE* page = holidays();
  page->SE_JAHR->setText("2025");
  page->EDITFOCUSCHANGE();
  choose_text(page->CB_LAND2, "Sachsen");
  page->LISTBOXSELECT(page->CB_LAND2);
  int fron = -1;
  for (int r = 0; r < page->server()->rowCount(); ++r)
    if (page->server()->value(r, 1).toString() == "Fronleichnam") fron = r;
  ASSERT_GE(fron, 0);
  page->BB_FEIERTAG->setCurrentIndex(page->server()->index(fron, 0));
  EXPECT_EQ(page->FT_LAND->text(), "Fronleichnam gilt für:");
  EXPECT_EQ(items(page->CB_FTLAND),
            (QStringList{"Baden-Württemberg", "Bayern", "Hessen", "Nordrhein-Westfalen", "Rheinland-Pfalz",
                         "Saarland", "Sachsen", "Thüringen"}))
      << items(page->CB_FTLAND).join('|').toStdString();
  page->BB_FEIERTAG->setCurrentIndex(page->server()->index(0, 0));
  EXPECT_EQ(page->FT_LAND->text(), "Neujahrstag gilt für:");
  EXPECT_EQ(items(page->CB_FTLAND), QStringList{"alle Bundesländer"});
}

TEST_F(Pages, YearFieldAndSpinner) {
  TAB_FEIERTAGE* page = holidays();
  page->SE_JAHR->setText("2199");
  page->EDITFOCUSCHANGE();
  page->VS_JAHR->step(+1);
  EXPECT_EQ(page->SE_JAHR->text(), "2199");
  EXPECT_EQ(FEIERTAGLISTE.front().date.year(), 2199);
  page->VS_JAHR->step(-1);
  EXPECT_EQ(page->SE_JAHR->text(), "2198");
  const struct {
    const char* typed;
    const char* shown;
  } cases[] = {{"1500", "1752"}, {"3000", "2199"}, {"", "1752"}, {"2024", "2024"}};
  for (const auto& c : cases) {
    page->SE_JAHR->setText(c.typed);
    page->EDITFOCUSCHANGE();
    EXPECT_EQ(page->SE_JAHR->text(), c.shown) << c.typed;
    EXPECT_EQ(page->VS_JAHR->POSITION(), QString(c.shown).toInt());
    EXPECT_EQ(FEIERTAGLISTE.front().date.year(), QString(c.shown).toInt());
  }
  EXPECT_TRUE(page->PB_DRUCK->isEnabled());
}

TEST_F(Pages, ShowingAPageMakesItsCodesTheProgramsOnes) {
  TAB_FEIERTAGE* page = holidays();
  choose_text(page->CB_LAND2, "Bayern");
  page->LISTBOXSELECT(page->CB_LAND2);
  window->TABCONTROL()->SELECTTAB("TAB_KALENDER");
  EXPECT_EQ(month->CB_LAND2->currentText(), "Bayern") << "the month page counts what it shows";
  kind("AT");
  dates({2024, 5, 27}, {2024, 6, 1});
  EXPECT_EQ(month->SE_DIFFERENZ1->text(), "4") << "Fronleichnam in Bayern";
  region("00000000C");
  window->TABCONTROL()->SELECTTAB("TAB_FEIERTAGE");
  EXPECT_EQ(REGIONCODE, "11110100B");
}

}  // namespace
}  // namespace mv
