// Counting openings in "ZovuZUZ.INI" and the column list with its stored layout.
#include <gtest/gtest.h>

#include <QFile>
#include <QRegularExpression>

#include "tablewindow/history.h"
#include "tablewindow_helpers.h"

namespace mv {
namespace {

const QString kSection = QStringLiteral("/daten/KUNDEN.DBF");

TEST(History, CountingAnOpening) {
  const QString file = QString::fromStdString(twtest::scratch_dir("count")) + "/ZovuZUZ.INI";
  twtest::IniHistory ini(file);
  const QDateTime when(QDate(2024, 3, 7), QTime(9, 5, 3));
  count_opening(ini, kSection, when);
  EXPECT_EQ(ini.GETSTRING(kSection, "Anzahl"), "1");
  EXPECT_EQ(ini.GETSTRING(kSection, "Datum"), "07.03.2024");
  EXPECT_EQ(ini.GETSTRING(kSection, "Zeit"), "09:05:03");
  EXPECT_EQ(ini.GETSTRING(kSection, "Spalte1"), "");

  struct Case {
    const char* stored;
    const char* next;
  };
  for (const Case& c : std::vector<Case>{{"41", "42"}, {"abc", "1"}, {"", "1"}, {" 7", "8"}}) {
    SCOPED_TRACE(c.stored);
    ini.WRITESTRING(kSection, "Anzahl", c.stored);
    count_opening(ini, kSection);
    EXPECT_EQ(ini.GETSTRING(kSection, "Anzahl"), c.next);
    EXPECT_TRUE(QRegularExpression("^\\d\\d:\\d\\d:\\d\\d$").match(ini.GETSTRING(kSection, "Zeit")).hasMatch());
    EXPECT_TRUE(QRegularExpression("^\\d\\d\\.\\d\\d\\.\\d\\d\\d\\d$").match(ini.GETSTRING(kSection, "Datum")).hasMatch());
  }
  // The file holds the section under the path as opened.
  QFile f(file);
  ASSERT_TRUE(f.open(QIODevice::ReadOnly));
  EXPECT_TRUE(f.readAll().contains("[/daten/KUNDEN.DBF]"));
}

TEST(History, DefaultColumns) {
  const StructureList fields = {{"NAME", "C", 30, 0, {}}, {"OK", "L", 1, 0, {}}, {"GEBDAT", "D", 8, 0, {}},
                                {"NR", "N", 2, 0, {}}};
  const ColumnList c = default_columns(fields);
  ASSERT_EQ(c.size(), 6u);
  EXPECT_EQ(c[0], (ColumnRow{0, 0, "DEL", 3, 3, false, "L", "DEL"}));
  EXPECT_EQ(c[1], (ColumnRow{0, 0, "SATZNR", 7, 7, false, "N", "SATZNR"}));
  EXPECT_EQ(c[2], (ColumnRow{1, 1, "NAME", 30, 30, true, "C", "NAME"}));
  EXPECT_EQ(c[3].display_width, 3);
  EXPECT_EQ(c[4].display_width, 10);
  EXPECT_EQ(c[5].display_width, 2);
  EXPECT_EQ(c[4].print_width, 8);
}

// Each case: the stored keys, and the rows that differ afterwards from the default
// list of NAME C30, OK L1, GEBDAT D8, NR N2.
TEST(History, StoredLayoutReadBack) {
  const StructureList fields = {{"NAME", "C", 30, 0, {}}, {"OK", "L", 1, 0, {}}, {"GEBDAT", "D", 8, 0, {}},
                                {"NR", "N", 2, 0, {}}};
  struct Change {
    size_t row;
    int order;
    QString heading;
    int width;
    bool shown;
  };
  struct Case {
    const char* name;
    std::vector<std::pair<const char*, const char*>> keys;
    std::vector<Change> changes;
  };
  const std::vector<Case> cases = {
      {"no layout", {}, {}},
      {"DEL row by heading, any case",
       {{"Spalte3", "0,2,Delete,4"}},
       {{0, 2, "Delete", 4, true}}},
      {"other position-0 key goes to SATZNR", {{"Spalte4", "0,1,Nr.,7"}}, {{1, 1, "Nr.", 7, true}}},
      {"SATZNR heading beginning with Del lands on DEL",
       {{"Spalte2", "0,1,Deleted rows,9"}},
       {{0, 1, "Deleted rows", 9, true}}},
      {"field by position, not printed", {{"Spalte3", "1,0,NAME,30"}}, {{2, 0, "NAME", 30, false}}},
      {"heading with a comma is cut",
       {{"Spalte5", "3,1,Name, Vorname,20"}},
       {{4, 1, "Name", 0, true}}},
      {"position no field has is skipped", {{"Spalte3", "99,1,X,5"}}, {}},
      {"keys beyond the row count are not read", {{"Spalte7", "1,5,Spät,3"}}, {}},
      {"values that are no numbers give 0",
       {{"Spalte6", "4,x,Nummer,y"}},
       {{5, 0, "Nummer", 0, false}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    MemoryHistoryStore ini;
    for (const auto& [k, v] : c.keys) ini.WRITESTRING(kSection, k, v);
    ColumnList expected = default_columns(fields);
    for (const Change& ch : c.changes) {
      expected[ch.row].print_order = ch.order;
      expected[ch.row].heading = ch.heading;
      expected[ch.row].print_width = ch.width;
      expected[ch.row].shown = ch.shown;
    }
    ColumnList got = default_columns(fields);
    apply_stored_layout(got, ini, kSection);
    EXPECT_EQ(got, expected);
  }
}

TEST(History, LayoutSortIsStableWithDelFirst) {
  ColumnList cols = default_columns({{"A", "C", 5, 0, {}}, {"B", "N", 3, 0, {}}});
  // As the list-format dialog may leave it: by print order, SATZNR ahead of DEL.
  std::swap(cols[0], cols[1]);
  std::swap(cols[2], cols[3]);
  MemoryHistoryStore ini;
  apply_stored_layout(cols, ini, kSection);
  ASSERT_EQ(cols.size(), 4u);
  EXPECT_EQ(cols[0].name, "DEL");
  EXPECT_EQ(cols[1].name, "SATZNR");
  EXPECT_EQ(cols[2].name, "A");
  EXPECT_EQ(cols[3].name, "B");
}

TEST(History, SavedLayoutRoundTrip) {
  const QString file = QString::fromStdString(twtest::scratch_dir("save")) + "/ZovuZUZ.INI";
  twtest::IniHistory ini(file);
  ColumnList cols = default_columns({{"NAME", "C", 30, 0, {}}, {"NR", "N", 5, 0, {}}});
  cols[2].heading = "Kunde";
  cols[2].print_order = 0;
  cols[3].heading = "Nummer";
  cols[3].print_order = 1;
  cols[0].print_order = 2;
  save_layout(cols, ini, kSection);
  EXPECT_EQ(ini.GETSTRING(kSection, "Spalte1"), "0,2,DEL,3");
  EXPECT_EQ(ini.GETSTRING(kSection, "Spalte3"), "1,0,NAME,30");
  EXPECT_EQ(ini.GETSTRING(kSection, "Spalte4"), "2,1,Nummer,5");
  ColumnList back = default_columns({{"NAME", "C", 30, 0, {}}, {"NR", "N", 5, 0, {}}});
  apply_stored_layout(back, ini, kSection);
  EXPECT_EQ(back[0].print_order, 2);
  EXPECT_EQ(back[2].print_order, 0);
  EXPECT_EQ(back[2].heading, "NAME");  // an unprinted row keeps its field name
  EXPECT_EQ(back[3].heading, "Nummer");
}

}  // namespace
}  // namespace mv
