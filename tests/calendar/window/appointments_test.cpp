// The group page and the appointments page, driven through their slots as the user's
// choices reach them, over the calendar's own tables in a private data folder.
#include <QDir>
#include <QFile>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <functional>

#include "calendar/core/appointment_list.h"
#include "calendar/core/calendar_tables.h"
#include "calendar/window/kalender_globals.h"
#include "calendar/window/tab_gruppen.h"
#include "calendar/window/tab_termine.h"
#include "platform/table/table.h"
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
 protected:
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
  p.hg_server()->set_current_row(1);
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
      auto* page = new TAB_GRUPPEN(nullptr);
      int added = 0;
      for (int i = 0; i < 40; ++i) {
        page->SE_HG->setText(QString("Kind %1 Nr %2").arg(k).arg(i));
        added += !page->PB_HINZUHG().isEmpty();
      }
      _exit(added == 40 && boxes.count() == 0 ? 0 : 1);
    }
  }
  const char start[2] = {'x', 'x'};
  ASSERT_EQ(write(go[1], start, 2), 2);
  for (pid_t child : children) {
    int status = 0;
    waitpid(child, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  }
  close(go[0]);
  close(go[1]);
  ASSERT_TRUE(open_calendar_tables().empty());
  std::vector<std::string> numbers;
  for (const std::string& r : group_records()) numbers.push_back(r.substr(2, 2));
  std::sort(numbers.begin(), numbers.end());
  std::vector<std::string> expected;
  for (int i = 1; i <= 80; ++i) expected.push_back(QString::number(i).rightJustified(2, '0').toStdString());
  EXPECT_EQ(numbers, expected);
}

}  // namespace
}  // namespace mv
