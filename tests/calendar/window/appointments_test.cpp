// The group page and the appointments page, driven through their slots as the user's
// choices reach them, over the calendar's own tables in a private data folder.
#include <QAbstractButton>
#include <QDateTimeEdit>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <functional>
#include <set>

#include "calendar/core/appointment_list.h"
#include "calendar/core/calendar_tables.h"
#include "calendar/window/kalender_globals.h"
#include "calendar/window/tab_gruppen.h"
#include "calendar/window/tab_termine.h"
#include "calendar/window/tabdw_kalender.h"
#include "platform/report/preview.h"
#include "platform/report/printerdevice.h"
#include "platform/table/table.h"
#include "tablewindow/environment.h"
#include "tablewindow/tab_dbfdaten.h"
#include "tablewindow/tabdw_dbfdatei.h"
#include "tablewindow/tableserver.h"
#include "tests/calendar/window/calendar_helpers.h"
#include "tests/platform/gui/qt_env.h"
#include "tests/support/faulty_fs.h"

namespace mv {
namespace {

std::string text_of(DBSERVER& db, const char* field) {
  auto v = db.FIELDGET(field);
  return v.is_ok() ? v->str : std::string("?");
}

std::string trimmed_right(std::string s) {
  while (!s.empty() && s.back() == ' ') s.pop_back();
  return s;
}

class CalendarPages : public test::CalendarHome {
 public:
  void SetUp() override {
    CalendarHome::SetUp();
    prepare();
    ASSERT_TRUE(GRUPPENDB && GRUPPENDB->used());
    ASSERT_TRUE(TERMINDB && TERMINDB->used());
  }
  void TearDown() override {
    termine.reset();
    gruppen.reset();
    CalendarHome::TearDown();
  }

  // Two programs at once, each its own process with the tables opened anew: `work(k)` runs
  // in both (k 0 and 1) from the same moment on and tells whether all of its steps took;
  // both must end without a step refused and without a message box.
  // `meanwhile` runs over and over in this process until both have ended.
  void run_two_programs(const std::function<bool(int k)>& work, const std::function<void()>& meanwhile = {}) {
    int go[2];
    ASSERT_EQ(pipe(go), 0);
    pid_t children[2];
    for (int k = 0; k < 2; ++k) {
      children[k] = fork();
      ASSERT_GE(children[k], 0);
      if (children[k] == 0) {
        char c;
        if (read(go[0], &c, 1) != 1) _exit(2);
        GRUPPENDB = std::make_unique<DBGRUPPE>();
        TERMINDB = std::make_unique<DBTERMIN>();
        const bool ok = work(k);
        for (const auto& b : boxes.shown()) fprintf(stderr, "%s\n", qPrintable(b.text));
        _exit(ok && boxes.count() == 0 ? 0 : 1);
      }
    }
    const char start[2] = {'x', 'x'};
    ASSERT_EQ(write(go[1], start, 2), 2);
    for (int running = 2; running > 0;) {
      for (pid_t& child : children) {
        int status = 0;
        if (child == 0 || waitpid(child, &status, meanwhile ? WNOHANG : 0) != child) continue;
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
        child = 0;
        --running;
      }
      if (meanwhile && running > 0) meanwhile();
    }
    close(go[0]);
    close(go[1]);
  }

  static void add_group(const std::string& ga, const std::string& hg, const std::string& ug, const std::string& name) {
    ASSERT_TRUE(GRUPPENDB->APPEND().is_ok());
    ASSERT_TRUE(GRUPPENDB->FIELDPUT("GA", Value::character(ga)).is_ok());
    ASSERT_TRUE(GRUPPENDB->FIELDPUT("HG", Value::character(hg)).is_ok());
    ASSERT_TRUE(GRUPPENDB->FIELDPUT("UG", Value::character(ug)).is_ok());
    ASSERT_TRUE(GRUPPENDB->FIELDPUT("Benennung", Value::character(name)).is_ok());
  }
  // "GA|HG|UG|Benennung" of every group record in natural order.
  static std::vector<std::string> group_records() {
    std::vector<std::string> out;
    EXPECT_TRUE(GRUPPENDB->SETORDER(size_t{0}).is_ok());
    for (; !GRUPPENDB->eof(); GRUPPENDB->SKIP().ignore())
      out.push_back(text_of(*GRUPPENDB, "GA") + "|" + text_of(*GRUPPENDB, "HG") + "|" + text_of(*GRUPPENDB, "UG") +
                    "|" + trimmed_right(text_of(*GRUPPENDB, "Benennung")));
    return out;
  }
  static uint32_t add_appointment(QDate date, bool yearly, const std::string& time, const std::string& hg,
                                  const std::string& ug, const std::string& text) {
    EXPECT_TRUE(TERMINDB->APPEND().is_ok());
    EXPECT_TRUE(TERMINDB->FIELDPUT("Datum", Value::of_date(to_date(date))).is_ok());
    EXPECT_TRUE(TERMINDB->FIELDPUT("Serie", Value::character(yearly ? "J" : " ")).is_ok());
    EXPECT_TRUE(TERMINDB->FIELDPUT("UhrZeit", Value::character(time)).is_ok());
    EXPECT_TRUE(TERMINDB->FIELDPUT("HG", Value::character(hg)).is_ok());
    EXPECT_TRUE(TERMINDB->FIELDPUT("UG", Value::character(ug)).is_ok());
    EXPECT_TRUE(TERMINDB->FIELDPUT("Bemerkung", Value::character(text)).is_ok());
    EXPECT_TRUE(TERMINDB->COMMIT().is_ok());
    return TERMINDB->RECNO();
  }
  // The shown values of a list column, trailing blanks removed (dates as "dd.MM.yyyy").
  static QStringList column(const grid::GRIDARRAYSERVER* s, const QStringList& names, const QString& name) {
    QStringList out;
    const int element = int(names.indexOf(name)) + 1;
    for (int r = 0; r < s->rowCount(); ++r) {
      const QVariant v = s->value(r, element);
      out << (v.typeId() == QMetaType::QDate ? date_text(v.toDate()) : v.toString().trimmed());
    }
    return out;
  }
  static QStringList items(const QComboBox* c) {
    QStringList out;
    for (int i = 0; i < c->count(); ++i) out << c->itemText(i);
    return out;
  }
  TAB_GRUPPEN& groups_page() {
    if (!gruppen) gruppen = std::make_unique<TAB_GRUPPEN>(nullptr);
    return *gruppen;
  }
  TAB_TERMINE& page() {
    if (!termine) {
      termine = std::make_unique<TAB_TERMINE>(nullptr);
      termine->SHOW();
    }
    return *termine;
  }
  void list(const char* kind, QDate date = {}, int year = 0) {
    TAB_TERMINE& p = page();
    p.CB_LISTE->setCurrentIndex(p.CB_LISTE->findData(QString::fromLatin1(kind)));
    if (date.isValid()) p.DP_DATUMLISTE->SELECTEDDATE(date);
    if (year) p.SE_JAHR->setText(QString::number(year));
    p.LISTBOXSELECT(p.CB_LISTE);
  }
  QStringList remarks() { return column(page().server(), page().column_names(), "Bemerkung"); }

  std::unique_ptr<TAB_GRUPPEN> gruppen;
  std::unique_ptr<TAB_TERMINE> termine;
};

// ---------------------------------------------------------------- groups

TEST_F(CalendarPages, GroupPageCases) {
  struct Case {
    const char* what;
    std::function<void()> given;
    std::function<QString(TAB_GRUPPEN&)> act;
    std::vector<std::string> records;  // the group table afterwards (natural order)
    QStringList main_rows, sub_rows;   // the two lists afterwards (numbers)
    QString returned;
    QString box;  // the box shown, empty: none
  };
  auto mains = [](int n) {
    return [n] {
      for (int i = 1; i <= n; ++i) add_group("H", QString::number(i).rightJustified(2, '0').toStdString(), "", "G" + std::to_string(i));
    };
  };
  const Case cases[] = {
      {"empty table: the first main group is 01",
       [] {},
       [](TAB_GRUPPEN& p) {
         p.SE_HG->setText("Familie");
         return p.PB_HINZUHG();
       },
       {"H|01|  |Familie"}, {"01"}, {}, "01", ""},
      {"the next main group follows the highest, whatever subgroups exist",
       [&] {
         mains(5)();
         add_group("U", "05", "01", "Sub");
       },
       [](TAB_GRUPPEN& p) {
         p.SE_HG->setText("Sechs");
         return p.PB_HINZUHG();
       },
       {"H|01|  |G1", "H|02|  |G2", "H|03|  |G3", "H|04|  |G4", "H|05|  |G5", "U|05|01|Sub", "H|06|  |Sechs"},
       {"01", "02", "03", "04", "05", "06"}, {}, "06", ""},
      {"subgroups count per main group",
       [&] {
         mains(4)();
         add_group("U", "04", "01", "Vier");
       },
       [](TAB_GRUPPEN& p) {
         p.hg_server()->set_current_row(2);  // main group 03, chosen by code
         p.SE_UG->setText("Erste");
         p.PB_HINZUUG();
         p.SE_UG->setText("Zweite");
         return p.PB_HINZUUG();
       },
       {"H|01|  |G1", "H|02|  |G2", "H|03|  |G3", "H|04|  |G4", "U|04|01|Vier", "U|03|01|Erste", "U|03|02|Zweite"},
       {"01", "02", "03", "04"}, {"01", "02"}, "02", ""},
      {"no subgroup without a main group",
       [] {},
       [](TAB_GRUPPEN& p) {
         p.SE_UG->setText("Waise");
         return p.PB_HINZUUG();
       },
       {}, {}, {}, "", ""},
      {"leading blanks go; blanks only add nothing",
       [] {},
       [](TAB_GRUPPEN& p) {
         p.SE_HG->setText("   ");
         p.PB_HINZUHG();
         p.SE_HG->setText("  Beruf");
         return p.PB_HINZUHG();
       },
       {"H|01|  |Beruf"}, {"01"}, {}, "01", ""},
      {"a rename with an empty field blanks the name, the number stays",
       [&] { mains(2)(); },
       [](TAB_GRUPPEN& p) {
         p.hg_server()->set_current_row(1);
         p.SE_HG->setText("");
         p.PB_ANDERSHG();
         return QString();
       },
       {"H|01|  |G1", "H|02|  |"}, {"01", "02"}, {}, "", ""},
      {"past 99 main groups nothing is added",
       [&] { mains(99)(); },
       [](TAB_GRUPPEN& p) {
         p.SE_HG->setText("Hundert");
         return p.PB_HINZUHG();
       },
       {}, {}, {}, "", "Es sind bereits 99 Hauptgruppen vorhanden!"},
      {"past 99 subgroups nothing is added",
       [&] {
         mains(1)();
         for (int i = 1; i <= 99; ++i)
           add_group("U", "01", QString::number(i).rightJustified(2, '0').toStdString(), "S" + std::to_string(i));
       },
       [](TAB_GRUPPEN& p) {
         p.SE_UG->setText("Hundert");
         return p.PB_HINZUUG();
       },
       {}, {}, {}, "", "Es sind bereits 99 Untergruppen vorhanden!"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    gruppen.reset();
    close_calendar_tables();
    QFile::remove(data() + "Gruppe.DBF");
    QFile::remove(data() + "Gruppe.CDX");
    ASSERT_TRUE(open_calendar_tables().empty());
    c.given();
    ASSERT_TRUE(GRUPPENDB->COMMIT().is_ok());
    const std::vector<std::string> before = group_records();
    boxes.clear();
    TAB_GRUPPEN& p = groups_page();
    EXPECT_EQ(c.act(p), c.returned);
    if (c.box.isEmpty()) {
      EXPECT_EQ(boxes.count(), 0);
    } else {
      ASSERT_EQ(boxes.count(), 1);
      EXPECT_EQ(boxes.last().caption, "Achtung");
      EXPECT_EQ(boxes.last().text, c.box);
    }
    const std::vector<std::string> after = group_records();
    if (c.records.empty() && !c.box.isEmpty()) {
      EXPECT_EQ(after, before) << "nothing added";
      continue;
    }
    EXPECT_EQ(after, c.records);
    QStringList main_rows, sub_rows;
    for (int r = 0; r < p.hg_server()->rowCount(); ++r) main_rows << p.hg_server()->value(r, 1).toString();
    for (int r = 0; r < p.ug_server()->rowCount(); ++r) sub_rows << p.ug_server()->value(r, 1).toString();
    EXPECT_EQ(main_rows, c.main_rows);
    EXPECT_EQ(sub_rows, c.sub_rows);
    if (!c.returned.isEmpty()) {
      // The new group is the selected row and its name is in the field.
      const auto* s = c.sub_rows.isEmpty() ? p.hg_server() : p.ug_server();
      EXPECT_EQ(s->value(s->current_row(), 1).toString(), c.returned);
    }
  }
}

TEST_F(CalendarPages, GroupPageFollowsSelectionsAndKeepsThemWhenShownAgain) {
  add_group("H", "01", "", "Familie");
  add_group("H", "02", "", "Beruf");
  add_group("U", "01", "01", "Geburtstage");
  add_group("U", "01", "02", "Hochzeitstage");
  ASSERT_TRUE(GRUPPENDB->COMMIT().is_ok());
  TAB_GRUPPEN& p = groups_page();
  EXPECT_EQ(p.SE_HG->text(), "Familie");
  EXPECT_EQ(p.ug_server()->rowCount(), 2);
  EXPECT_EQ(p.SE_UG->text(), "Geburtstage");
  p.hg_server()->set_current_row(1);  // by code: the name and the subgroups follow
  EXPECT_EQ(p.SE_HG->text(), "Beruf");
  EXPECT_EQ(p.ug_server()->rowCount(), 0);
  p.CELLSELECT(p.BB_HG);
  EXPECT_EQ(p.SE_HG->text(), "Beruf");
  EXPECT_EQ(p.ug_server()->rowCount(), 0) << "a main group without subgroups";
  p.hg_server()->set_current_row(0);
  p.CELLSELECT(p.BB_HG);
  p.ug_server()->set_current_row(1);
  p.CELLSELECT(p.BB_UG);
  EXPECT_EQ(p.SE_UG->text(), "Hochzeitstage");

  // Another program adds a group; shown again, the page lists it and keeps the choice.
  {
    DBGRUPPE other;
    ASSERT_TRUE(other.APPEND().is_ok());
    ASSERT_TRUE(other.FIELDPUT("GA", Value::character("U")).is_ok());
    ASSERT_TRUE(other.FIELDPUT("HG", Value::character("01")).is_ok());
    ASSERT_TRUE(other.FIELDPUT("UG", Value::character("03")).is_ok());
    ASSERT_TRUE(other.FIELDPUT("Benennung", Value::character("Jahrestage")).is_ok());
    ASSERT_TRUE(other.COMMIT().is_ok());
  }
  p.SHOW();
  EXPECT_EQ(p.ug_server()->rowCount(), 3);
  EXPECT_EQ(p.SE_HG->text(), "Familie");
  EXPECT_EQ(p.SE_UG->text(), "Hochzeitstage");

  // A rename is committed at once: another program reads it.
  p.SE_UG->setText("Hochzeiten");
  p.PB_ANDERSUG();
  DBGRUPPE other;
  ASSERT_TRUE(other.GOTO(4).is_ok());
  EXPECT_EQ(trimmed_right(text_of(other, "Benennung")), "Hochzeiten");
}

// Two programs adding main groups at once never give one number twice.
TEST_F(CalendarPages, TwoProgramsAddingMainGroupsGiveEveryNumberOnce) {
  close_calendar_tables();
  run_two_programs([](int k) {
    auto* page = new TAB_GRUPPEN(nullptr);
    int added = 0;
    for (int i = 0; i < 40; ++i) {
      page->SE_HG->setText(QString("Kind %1 Nr %2").arg(k).arg(i));
      added += !page->PB_HINZUHG().isEmpty();
    }
    return added == 40;
  });
  ASSERT_TRUE(open_calendar_tables().empty());
  std::vector<std::string> numbers;
  for (const std::string& r : group_records()) numbers.push_back(r.substr(2, 2));
  std::sort(numbers.begin(), numbers.end());
  std::vector<std::string> expected;
  for (int i = 1; i <= 80; ++i) expected.push_back(QString::number(i).rightJustified(2, '0').toStdString());
  EXPECT_EQ(numbers, expected);
}

// ---------------------------------------------------------------- appointments

class AppointmentLists : public CalendarPages {
 protected:
  void SetUp() override {
    CalendarPages::SetUp();
    add_group("H", "01", "", "Familie");
    add_group("U", "01", "01", "Geburtstage");
    add_group("H", "02", "", "Beruf");
    ASSERT_TRUE(GRUPPENDB->COMMIT().is_ok());
    add_appointment({2024, 6, 10}, false, "09:00:00", "", "", "Einmal Juni");
    add_appointment({2024, 3, 15}, false, "", "02", "", "Maerz");
    add_appointment({2024, 12, 31}, false, "18:00:00", "", "", "Silvester");
    add_appointment({2025, 1, 2}, false, "", "", "", "Januar");
    add_appointment({2024, 2, 29}, true, "09:30:00", "01", "01", "Schalttag");
    add_appointment({2000, 1, 1}, true, "", "", "", "Neujahr");
    add_appointment({1990, 6, 10}, true, "08:00:00", "01", "01", "Geburtstag");
    add_appointment({2010, 3, 20}, true, "", "01", "", "Fruehling");
    add_appointment({2024, 6, 10}, false, "08:00:00", "", "", "Gleichzeitig");
  }
};

TEST_F(AppointmentLists, KindsListTheirPeriodWithEveryYearlyOccurrence) {
  struct Case {
    const char* what;
    const char* kind;
    QDate date;
    int year;
    QDate today;
    QString hg, ug;
    QStringList remarks;
  } cases[] = {
      {"a day: one-offs and yearly ones, by time then record", "T", {2024, 6, 10}, 0, {}, "", "",
       {"Geburtstag", "Gleichzeitig", "Einmal Juni"}},
      {"a week from its Sunday", "W", {2024, 6, 16}, 0, {}, "", "", {"Geburtstag", "Gleichzeitig", "Einmal Juni"}},
      {"a week from its Monday", "W", {2024, 6, 10}, 0, {}, "", "", {"Geburtstag", "Gleichzeitig", "Einmal Juni"}},
      {"a week across New Year", "W", {2024, 12, 31}, 0, {}, "", "", {"Silvester", "Neujahr", "Januar"}},
      {"a month", "M", {2024, 3, 1}, 0, {}, "", "", {"Maerz", "Fruehling"}},
      {"a month of a leap year's February", "M", {2028, 2, 10}, 0, {}, "", "", {"Schalttag"}},
      {"no 29 February outside leap years", "M", {2025, 2, 10}, 0, {}, "", "", {}},
      {"from mid-month: this month's earlier ones come next year", "A", {2024, 6, 15}, 0, {2024, 6, 15}, "", "",
       {"Silvester", "Neujahr", "Januar", "Fruehling", "Geburtstag"}},
      {"from 29 February the period ends on 28 February", "A", {2024, 2, 29}, 0, {2024, 2, 29}, "", "",
       {"Schalttag", "Maerz", "Fruehling", "Geburtstag", "Gleichzeitig", "Einmal Juni", "Silvester", "Neujahr",
        "Januar"}},
      {"a leap year", "J", {}, 2028, {}, "", "", {"Neujahr", "Schalttag", "Fruehling", "Geburtstag"}},
      {"a year without 29 February", "J", {}, 2025, {}, "", "", {"Neujahr", "Januar", "Fruehling", "Geburtstag"}},
      {"a main group", "H", {}, 2024, {}, "01", "", {"Schalttag", "Fruehling", "Geburtstag"}},
      {"appointments without main group", "H", {}, 2024, {}, "", "",
       {"Neujahr", "Gleichzeitig", "Einmal Juni", "Silvester"}},
      {"a subgroup", "U", {}, 2024, {}, "01", "01", {"Schalttag", "Geburtstag"}},
      {"a main group's appointments without subgroup", "U", {}, 2024, {}, "01", "", {"Fruehling"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    TAB_TERMINE& p = page();
    p.set_today(c.today);
    ASSERT_TRUE(choose_value(p.CB_HG, c.hg));
    p.FILLCB_UG();
    ASSERT_TRUE(choose_value(p.CB_UG, c.ug));
    list(c.kind, c.date, c.year);
    EXPECT_EQ(remarks(), c.remarks);
  }
}

TEST_F(AppointmentLists, ColumnsAndRowValuesByKind) {
  const struct {
    const char* kind;
    QStringList columns;
    QStringList shown;
  } cases[] = {
      {"J", {"Serie", "Datum", "Uhrzeit", "HauptGruppe", "UnterGruppe", "Bemerkung", "DBSatz"},
       {"Serie", "Datum", "Uhrzeit", "HauptGruppe", "UnterGruppe", "Bemerkung"}},
      {"H", {"Serie", "Datum", "Uhrzeit", "UnterGruppe", "Bemerkung", "DBSatz"},
       {"Serie", "Datum", "Uhrzeit", "UnterGruppe", "Bemerkung"}},
      {"U", {"Serie", "Datum", "Uhrzeit", "Bemerkung", "DBSatz"}, {"Serie", "Datum", "Uhrzeit", "Bemerkung"}},
  };
  TAB_TERMINE& p = page();
  ASSERT_TRUE(choose_value(p.CB_HG, "01"));
  p.FILLCB_UG();
  for (const auto& c : cases) {
    SCOPED_TRACE(c.kind);
    list(c.kind, {}, 2028);
    EXPECT_EQ(p.column_names(), c.columns);
    QStringList shown;
    for (const auto& col : p.server()->columns()) shown << col.caption;
    EXPECT_EQ(shown, c.shown);
  }
  // The yearly 29 February in 2028: "ab", its stored date, its groups' names.
  list("J", {}, 2028);
  const QStringList names = p.column_names();
  const int row = int(column(p.server(), names, "Bemerkung").indexOf("Schalttag"));
  ASSERT_GE(row, 0);
  EXPECT_EQ(column(p.server(), names, "Serie")[row], "ab");
  EXPECT_EQ(column(p.server(), names, "Datum")[row], "29.02.2024");
  EXPECT_EQ(column(p.server(), names, "Uhrzeit")[row], "09:30:00");
  EXPECT_EQ(column(p.server(), names, "HauptGruppe")[row], "Familie");
  EXPECT_EQ(column(p.server(), names, "UnterGruppe")[row], "Geburtstage");
  EXPECT_EQ(column(p.server(), names, "Serie")[0], "ab");
  // The year field is held to its range and written back.
  p.SE_JAHR->setText("3000");
  p.EDITFOCUSCHANGE();
  EXPECT_EQ(p.SE_JAHR->text(), "2100");
  EXPECT_EQ(p.VS_JAHR->POSITION(), 2100);
}

TEST_F(AppointmentLists, SavingLoadingAndChanging) {
  TAB_TERMINE& p = page();
  // Combos: sorted names, the item without group first; a main group refills the subgroups.
  EXPECT_EQ(items(p.CB_HG), (QStringList{kOhneZuordnung, "Beruf", "Familie"}));
  ASSERT_TRUE(choose_value(p.CB_HG, "01"));
  p.LISTBOXSELECT(p.CB_HG);
  EXPECT_EQ(items(p.CB_UG), (QStringList{kOhneZuordnung, "Geburtstage"}));
  EXPECT_EQ(p.CB_UG->currentIndex(), 0);

  // A yearly appointment without time, saved from the controls.
  p.CB_SERIE->setCurrentIndex(1);
  p.LISTBOXSELECT(p.CB_SERIE);
  EXPECT_EQ(p.FT_DATUM->text(), "ab:");
  p.DP_ABDATUM->SELECTEDDATE({2024, 2, 29});
  p.CHB_UHRZEIT->setChecked(false);
  p.SE_BEMERKUNG->setText("  Familienfest");
  list("J", {}, 2028);
  ASSERT_TRUE(p.SAVETERMIN(0));
  const uint32_t saved = p.loaded_recno();
  EXPECT_EQ(saved, 10u);
  ASSERT_TRUE(TERMINDB->GOTO(saved).is_ok());
  EXPECT_EQ(text_of(*TERMINDB, "UhrZeit"), "        ");
  EXPECT_EQ(text_of(*TERMINDB, "Serie"), "J");
  EXPECT_EQ(text_of(*TERMINDB, "HG"), "01");
  EXPECT_EQ(trimmed_right(text_of(*TERMINDB, "Bemerkung")), "Familienfest");
  const QStringList names = p.column_names();
  EXPECT_EQ(p.server()->rows()[p.server()->current_row()].last().toUInt(), saved) << "the saved one is selected";

  // Loading it back: "um:" unticked, the disabled time picker at 12:00:00.
  p.CHB_UHRZEIT->setChecked(true);
  p.DP_UHRZEIT->SELECTEDTIME(QTime(7, 0));
  p.CELLSELECT();
  EXPECT_FALSE(p.CHB_UHRZEIT->isChecked());
  EXPECT_FALSE(p.DP_UHRZEIT->isEnabled());
  EXPECT_EQ(p.DP_UHRZEIT->SELECTEDTIME(), "12:00:00");
  EXPECT_EQ(p.SE_BEMERKUNG->text(), "Familienfest");

  // "Ändern" after a refill by code writes into the loaded record only.
  list("T", {2024, 6, 10});
  ASSERT_GT(p.server()->rowCount(), 0);
  EXPECT_EQ(p.SE_BEMERKUNG->text(), "Familienfest") << "a refill by code leaves the controls alone";
  p.SE_BEMERKUNG->setText("Geändert");
  p.CHB_UHRZEIT->setChecked(true);
  p.DP_UHRZEIT->SELECTEDTIME(QTime(9, 30));
  p.PB_ANDERS();
  ASSERT_TRUE(TERMINDB->GOTO(saved).is_ok());
  EXPECT_EQ(field_text(*TERMINDB, "Bemerkung").trimmed(), "Geändert");
  EXPECT_EQ(text_of(*TERMINDB, "UhrZeit"), "09:30:00");
  EXPECT_EQ(TERMINDB->LASTREC(), 10u);
  ASSERT_TRUE(TERMINDB->GOTO(1).is_ok());
  EXPECT_EQ(trimmed_right(text_of(*TERMINDB, "Bemerkung")), "Einmal Juni");

  // Saved outside the listed period: the list holds no row of it.
  p.DP_ABDATUM->SELECTEDDATE({2030, 5, 5});
  p.CB_SERIE->setCurrentIndex(0);
  ASSERT_TRUE(p.SAVETERMIN(0));
  for (const QVariantList& r : p.server()->rows()) EXPECT_NE(r.last().toUInt(), 11u);
  (void)names;
}

// ---------------------------------------------------------------- failing writes

struct OrderKey {
  const char* tag;
  std::vector<const char*> fields;  // the key is their stored bytes in a row
};
const std::vector<OrderKey> kTermineKeys = {
    {"DateZeit", {"Datum", "UhrZeit"}},    {"HGDate", {"HG", "Datum", "UhrZeit"}},
    {"HGUGDate", {"HG", "UG", "Datum", "UhrZeit"}}, {"Serie", {"Serie", "Datum"}},
    {"SerieHGUG", {"Serie", "HG", "UG", "Datum"}},  {"Bemerk", {"Bemerkung", "Datum"}}};
const std::vector<OrderKey> kGruppeKeys = {{"GAHGUG", {"GA", "HG", "UG"}}};

// Every order walks through every record, sorted by its key (then record number).
void expect_orders_match_records(DBSERVER& db, const std::vector<OrderKey>& orders) {
  Table& t = *db.table();
  for (const OrderKey& o : orders) {
    SCOPED_TRACE(o.tag);
    std::vector<std::pair<std::string, uint32_t>> expected;
    for (uint32_t r = 1; r <= db.LASTREC(); ++r) {
      ASSERT_TRUE(db.GOTO(r).is_ok());
      std::string key;
      for (const char* f : o.fields) key += t.field_raw(t.field_pos(f));
      expected.push_back({key, r});
    }
    std::sort(expected.begin(), expected.end());
    std::vector<uint32_t> want, walk;
    for (const auto& e : expected) want.push_back(e.second);
    ASSERT_TRUE(db.SETORDER(o.tag).is_ok());
    for (; !db.eof() && walk.size() <= want.size(); db.SKIP().ignore()) walk.push_back(db.RECNO());
    EXPECT_EQ(walk, want);
  }
}

QByteArray record_bytes(const QByteArray& dbf, int recno) {
  const int header = uint8_t(dbf[8]) | uint8_t(dbf[9]) << 8;
  const int length = uint8_t(dbf[10]) | uint8_t(dbf[11]) << 8;
  return dbf.mid(header + (recno - 1) * length, length);
}

int record_count(const QByteArray& dbf) {
  return int(uint8_t(dbf[4]) | uint8_t(dbf[5]) << 8 | uint8_t(dbf[6]) << 16 | uint32_t(uint8_t(dbf[7])) << 24);
}

TEST_F(AppointmentLists, EveryFailedWriteIsToldAndLosesNothing) {
  close_calendar_tables();
  const QStringList files = {"Termine.DBF", "Termine.CDX", "Gruppe.DBF", "Gruppe.CDX"};
  std::map<QString, QByteArray> pristine;
  for (const QString& f : files) pristine[f] = read_file(data() + f);
  // Memory-backed where the system has it: every try syncs the bag's change mark.
  QTemporaryDir shm(QDir("/dev/shm").exists() ? QStringLiteral("/dev/shm/kalender-XXXXXX")
                                                : QDir::tempPath() + "/kalender-XXXXXX");
  ASSERT_TRUE(shm.isValid());
  DATENPFAD = (shm.path() + "/").toStdString();
  const QString folder = shm.path() + "/";
  struct Op {
    const char* what;
    const char* file;
    int target;  // the record written (0: a new one)
    std::function<bool(CalendarPages&)> run;
  };
  const Op ops[] = {
      {"new appointment", "Termine.DBF", 0,
       [](CalendarPages& t) {
         TAB_TERMINE& p = t.page();
         p.DP_ABDATUM->SELECTEDDATE({2024, 7, 1});
         p.CHB_UHRZEIT->setChecked(true);
         p.SE_BEMERKUNG->setText("Neu");
         return p.SAVETERMIN(0);
       }},
      {"changed appointment", "Termine.DBF", 3,
       [](CalendarPages& t) {
         TAB_TERMINE& p = t.page();
         p.DP_ABDATUM->SELECTEDDATE({2023, 12, 30});
         p.SE_BEMERKUNG->setText("Verlegt");
         return p.SAVETERMIN(3);
       }},
      {"group add", "Gruppe.DBF", 0,
       [](CalendarPages& t) {
         TAB_GRUPPEN& p = t.groups_page();
         p.SE_HG->setText("Verein");
         return !p.PB_HINZUHG().isEmpty();
       }},
  };
  for (const Op& op : ops) {
    for (int n = 0;; ++n) {
      SCOPED_TRACE(std::string(op.what) + ", write " + std::to_string(n));
      termine.reset();
      gruppen.reset();
      close_calendar_tables();
      for (const QString& f : files) {
        QFile::remove(folder + f + ".mvdirty");
        QFile out(folder + f);
        ASSERT_TRUE(out.open(QIODevice::WriteOnly | QIODevice::Truncate));
        out.write(pristine[f]);
      }
      FaultyFileSystem faulty(FileSystem::posix());
      ASSERT_TRUE(open_calendar_tables(&faulty).empty());
      boxes.clear();
      // The page is built before the fault is armed: only the operation's writes count.
      if (op.target == 0 && QString(op.file) == "Gruppe.DBF") groups_page(); else page();
      faulty.fail_write_at = faulty.writes + n;
      const bool ok = op.run(*this);
      const bool hit = faulty.writes > faulty.fail_write_at;
      faulty.fail_write_at = -1;
      if (!hit) {
        EXPECT_TRUE(ok);
        EXPECT_EQ(boxes.count(), 0);
        break;
      }
      EXPECT_FALSE(ok);
      ASSERT_EQ(boxes.count(), 1);
      EXPECT_EQ(boxes.last().caption, "Achtung");
      EXPECT_TRUE(boxes.last().text.contains(op.file)) << boxes.last().text.toStdString();
      EXPECT_GE(boxes.last().text.count("\r\n"), 2) << "what failed, the file and the reason";
      if (termine) {
        EXPECT_EQ(termine->SE_BEMERKUNG->text(), op.target ? "Verlegt" : "Neu") << "the controls keep their values";
      }

      termine.reset();
      gruppen.reset();
      close_calendar_tables();
      // After a restart: other records as they were, the written one wholly old or new,
      // every order in step with the records.
      ASSERT_TRUE(open_calendar_tables().empty());
      const QByteArray now = read_file(folder + op.file), before = pristine[op.file];
      const int old_count = record_count(before);
      ASSERT_TRUE(record_count(now) == old_count || (op.target == 0 && record_count(now) == old_count + 1));
      for (int r = 1; r <= old_count; ++r) {
        if (r == op.target) continue;
        EXPECT_EQ(record_bytes(now, r), record_bytes(before, r)) << "record " << r;
      }
      DBSERVER& db = QString(op.file) == "Gruppe.DBF" ? static_cast<DBSERVER&>(*GRUPPENDB) : *TERMINDB;
      if (op.target > 0) {
        ASSERT_TRUE(db.GOTO(uint32_t(op.target)).is_ok());
        const std::string remark = trimmed_right(text_of(db, "Bemerkung"));
        if (remark == "Verlegt") {
          EXPECT_EQ(db.FIELDGET("Datum")->date, Date::from_ymd(2023, 12, 30));
        } else {
          EXPECT_EQ(record_bytes(now, op.target), record_bytes(before, op.target));
        }
      } else if (record_count(now) > old_count) {
        ASSERT_TRUE(db.GOTO(uint32_t(old_count + 1)).is_ok());
        EXPECT_FALSE(trimmed_right(text_of(db, QString(op.file) == "Gruppe.DBF" ? "Benennung" : "Bemerkung")).empty());
      }
      expect_orders_match_records(*TERMINDB, kTermineKeys);
      expect_orders_match_records(*GRUPPENDB, kGruppeKeys);
      // Every appointment shows on its day.
      for (uint32_t r = 1; r <= TERMINDB->LASTREC(); ++r) {
        ASSERT_TRUE(TERMINDB->GOTO(r).is_ok());
        AppointmentQuery q;
        q.kind = 'T';
        q.list_date = TERMINDB->FIELDGET("Datum")->date;
        auto hits = collect_appointments(*TERMINDB, q);
        ASSERT_TRUE(hits.is_ok());
        EXPECT_TRUE(std::any_of(hits->begin(), hits->end(), [r](const AppointmentHit& h) { return h.recno == r; }))
            << "record " << r;
      }
    }
  }
  termine.reset();
  gruppen.reset();
  close_calendar_tables();
}

// Two programs saving through the page at once: every appointment lands once, with its keys.
TEST_F(CalendarPages, TwoProgramsSavingAppointmentsAtOnceLoseNone) {
  close_calendar_tables();
  // Memory-backed where the system has it: 2,000 saves each sync the bag's change mark.
  QTemporaryDir shm(QDir("/dev/shm").exists() ? QStringLiteral("/dev/shm/kalender-XXXXXX")
                                                : QDir::tempPath() + "/kalender-XXXXXX");
  ASSERT_TRUE(shm.isValid());
  DATENPFAD = (shm.path() + "/").toStdString();
  ASSERT_TRUE(open_calendar_tables().empty());
  close_calendar_tables();
  // Molvane's table window has the appointments open (shared, the default) all along and
  // moves to their end while the two save.
  MemoryHistoryStore history;
  TableWindowEnvironment env;
  env.history = &history;
  set_table_window_environment(env);
  gui::SHELLWINDOW shell;
  auto* molvane =
      new TABDW_DBFDATEI(&shell, QString::fromStdString(DATENPFAD + std::string(kTermineFile)), true, false, false);
  molvane->SHOW();
  ASSERT_TRUE(molvane->server() && molvane->server()->USED());
  uint32_t seen = 0;
  auto read_along = [&] {
    QCoreApplication::processEvents();
    molvane->data_page()->GOBOTTOM();
    const uint32_t last = molvane->server()->RECNO();
    const uint32_t now = molvane->server()->LASTREC();
    EXPECT_GE(now, seen) << "the reader's record count went back";
    // On the last record it saw; an empty table stands on its end (record 1).
    EXPECT_TRUE(now == 0 ? last == 1 : last >= seen && last <= now) << last << " of " << now;
    seen = now;
  };
  run_two_programs([](int k) {
    auto* p = new TAB_TERMINE(nullptr);
    p->SHOW();
    // A list of a day without appointments: each save's refill stays small.
    p->CB_LISTE->setCurrentIndex(p->CB_LISTE->findData("T"));
    p->DP_DATUMLISTE->SELECTEDDATE({1950, 1, 1});
    int saved = 0;
    for (int i = 0; i < 1000; ++i) {
      p->DP_ABDATUM->SELECTEDDATE(QDate(2030, 1, 1).addDays(i));
      p->CB_SERIE->setCurrentIndex(i % 2);
      p->SE_BEMERKUNG->setText(QString("Kind %1 Nr %2").arg(k).arg(i));
      saved += p->SAVETERMIN(0);
    }
    return saved == 1000;
  }, read_along);
  molvane->data_page()->GOBOTTOM();
  EXPECT_EQ(molvane->server()->LASTREC(), 2000u);
  EXPECT_EQ(molvane->server()->RECNO(), 2000u);
  EXPECT_EQ(boxes.count(), 0);
  delete molvane;
  ASSERT_TRUE(open_calendar_tables().empty());
  EXPECT_EQ(TERMINDB->LASTREC(), 2000u);
  std::set<std::string> remarks;
  for (uint32_t r = 1; r <= TERMINDB->LASTREC(); ++r) {
    ASSERT_TRUE(TERMINDB->GOTO(r).is_ok());
    remarks.insert(trimmed_right(text_of(*TERMINDB, "Bemerkung")));
  }
  EXPECT_EQ(remarks.size(), 2000u) << "each appointment once";
  expect_orders_match_records(*TERMINDB, kTermineKeys);
  close_calendar_tables();
}

// ---------------------------------------------------------------- printing and pictures

TEST_F(AppointmentLists, DruckenPrintsTheListWithThePagesColumnsAndTheGroup) {
  TAB_TERMINE& p = page();
  ASSERT_TRUE(choose_value(p.CB_HG, "01"));
  p.FILLCB_UG();
  list("H", {}, 2028);
  ASSERT_EQ(p.server()->rowCount(), 3);
  EXPECT_TRUE(p.button("PB_DRUCK")->isEnabled());
  int shown = 0;
  report::set_preview_hook([&](report::PreviewWindow& w) { shown = w.pages(); });
  p.PB_DRUCK();
  report::set_preview_hook({});
  EXPECT_EQ(shown, 1);

  const QString out = path("termine.pdf");
  report::set_pdf_route(out);
  p.FILEREPORT(false);
  report::set_pdf_route(QString());
  QProcess text;
  text.start("pdftotext", {"-layout", out, "-"});
  ASSERT_TRUE(text.waitForFinished(20000));
  const QString all = QString::fromUtf8(text.readAllStandardOutput());
  EXPECT_TRUE(all.contains("Termine je Hauptgruppe ab: 2028")) << all.toStdString();
  EXPECT_TRUE(all.contains("Gruppe: Familie")) << all.toStdString();
  EXPECT_TRUE(all.contains(QRegularExpression("Serie\\s+Datum\\s+Uhrzeit\\s+UnterGruppe\\s+Bemerkung")));
  EXPECT_FALSE(all.contains("DBSatz"));
  EXPECT_TRUE(all.contains(QRegularExpression("ab\\s+29\\.02\\.2024\\s+09:30:00\\s+Geburtstage\\s+Schalttag")));
  EXPECT_TRUE(all.contains("Seite: 1 von 1"));
  EXPECT_EQ(boxes.count(), 0);
}

TEST_F(AppointmentLists, ScreenshotsOfBothPages) {
  // In the window at its design size, as the program opens it first.
  TABDW_KALENDER w;
  w.resize(w.OMINSIZE());
  w.show();
  for (const char* name : {"TAB_GRUPPEN", "TAB_TERMINE"}) {
    SCOPED_TRACE(name);
    w.TABCONTROL()->SELECTTAB(name);
    QWidget* page = w.TABCONTROL()->current_page();
    ASSERT_NE(page, nullptr);
    if (auto* t = qobject_cast<TAB_TERMINE*>(page)) {
      t->CB_LISTE->setCurrentIndex(t->CB_LISTE->findData("J"));
      t->SE_JAHR->setText("2028");
      t->LISTBOXSELECT(t->CB_LISTE);
    }
    QApplication::processEvents();
    EXPECT_TRUE(w.grab().save(QStringLiteral(MOLVANE_BINARY_DIR "/kalender_") + QString(name).toLower() + ".png"));
    // Every label and every captioned button shows its text whole.
    std::vector<QWidget*> whole;
    for (QLabel* l : page->findChildren<QLabel*>()) whole.push_back(l);
    for (QAbstractButton* b : page->findChildren<QAbstractButton*>())
      if (!b->text().isEmpty()) whole.push_back(b);
    for (QDateTimeEdit* d : page->findChildren<QDateTimeEdit*>()) whole.push_back(d);
    for (QWidget* c : whole) {
      if (c->isVisible()) {
        EXPECT_GE(c->width(), c->sizeHint().width()) << c->objectName().toStdString();
      }
    }
  }
}

}  // namespace
}  // namespace mv
