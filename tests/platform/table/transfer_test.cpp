// Copying to and appending from tables, SDF and delimited text files.
#include <gtest/gtest.h>

#include <string>

#include "platform/base/bytes.h"
#include "table_helpers.h"

namespace mv::testing {
namespace {

class TransferTest : public ::testing::Test {
 protected:
  void SetUp() override { set_deleted_filter(false); }
  void TearDown() override { set_deleted_filter(false); }
  std::string text_of(const std::string& path) {
    auto b = read_bytes(path);
    return std::string(b.begin(), b.end());
  }
  TempDir dir;
};

std::vector<std::string> names_of(Table& t) {
  std::vector<std::string> out;
  for (ok(t.go_top()); !t.eof(); ok(t.skip(1))) out.push_back(str_field(t, "NAME") + (t.deleted() ? "*" : ""));
  return out;
}

TEST_F(TransferTest, CopyDbTakesScopeConditionsFieldsAndFilter) {
  std::string src = dir.file("QUELLE.DBF");
  make_table(src, "DBFCDX", 6, true, {3});
  auto t = open_ok(src);
  // All records, the deleted one with its flag, memos copied.
  MV_ASSERT_OK(t->copy_db(dir.file("ALLE")));
  {
    auto c = open_ok(dir.file("ALLE.dbf"));
    EXPECT_EQ(names_of(*c), (std::vector<std::string>{"Name 1", "Name 2", "Name 3*", "Name 4", "Name 5", "Name 6"}));
    MV_EXPECT_OK(c->go_to(4));
    EXPECT_EQ(str_field(*c, "NOTIZ"), "Notiz 4");
  }
  EXPECT_TRUE(FileSystem::posix().exists(dir.file("ALLE.FPT")));
  // A while-condition starts at the current record and stops the run; the filter hides
  // deleted records; a field list and a FOR condition select.
  set_deleted_filter(true);
  MV_ASSERT_OK(t->go_to(2));
  int calls = 0;
  TransferOptions o;
  o.fields = {"NAME", "BETRAG"};
  o.for_condition = [](Table& s) { return s.recno() != 4; };
  o.while_condition = [&](Table&) { return ++calls <= 3; };
  MV_ASSERT_OK(t->copy_db(dir.file("TEIL.dbf"), o));
  auto c = open_ok(dir.file("TEIL.dbf"));
  EXPECT_EQ(c->fcount(), 2u);
  EXPECT_EQ(names_of(*c), (std::vector<std::string>{"Name 2", "Name 5"}));
  EXPECT_EQ(calls, 4);
  EXPECT_FALSE(FileSystem::posix().exists(dir.file("TEIL.FPT")));
  // Unknown fields are refused; the open table cannot be its own target.
  o.fields = {"GIBTESNICHT"};
  EXPECT_FALSE(t->copy_db(dir.file("X"), o).is_ok());
  EXPECT_FALSE(t->copy_db(src).is_ok());
}

TEST_F(TransferTest, CopyStructureMakesAnEmptyTable) {
  std::string src = dir.file("S.DBF");
  make_table(src, "DBFNTX", 3, true);
  auto t = open_ok(src, false, false, "DBFNTX");
  MV_ASSERT_OK(t->copy_structure(dir.file("LEER")));
  auto c = open_ok(dir.file("LEER.dbf"), false, false, "DBFNTX");
  EXPECT_EQ(c->dbstruct(), t->dbstruct());
  EXPECT_EQ(c->lastrec(), 0u);
  EXPECT_EQ(c->version(), 0x83);
  EXPECT_TRUE(FileSystem::posix().exists(dir.file("LEER.DBT")));
}

TEST_F(TransferTest, SdfAndDelimitedTextAreWrittenAsTheOtherProgramsDo) {
  std::string src = dir.file("T.DBF");
  MV_ASSERT_OK(db_create(src, {{"NAME", 'C', 8, 0}, {"ZAHL", 'N', 6, 2}, {"DATUM", 'D', 8, 0}, {"JA", 'L', 1, 0},
                               {"NOTIZ", 'M', 10, 0}},
                         "DBFCDX"));
  auto t = open_ok(src);
  MV_ASSERT_OK(t->append_blank());
  MV_ASSERT_OK(t->field_put(1, Value::character(" M\x81ller")));
  MV_ASSERT_OK(t->field_put(2, Value::numeric(-3.5)));
  MV_ASSERT_OK(t->field_put(3, Value::of_date(Date::from_ymd(2024, 3, 1))));
  MV_ASSERT_OK(t->field_put(4, Value::boolean(true)));
  MV_ASSERT_OK(t->field_put(5, Value::character("nicht exportiert")));
  MV_ASSERT_OK(t->append_blank());
  MV_ASSERT_OK(t->copy_sdf(dir.file("AUS")));
  EXPECT_EQ(text_of(dir.file("AUS.txt")), " M\x81ller  -3.5020240301T\r\n" + std::string(23, ' ') + "\r\n\x1A");
  MV_ASSERT_OK(t->copy_delimited(dir.file("AUS.csv")));
  EXPECT_EQ(text_of(dir.file("AUS.csv")), "\" M\x81ller\",-3.50,20240301,T\r\n\"\",,,F\r\n\x1A");
  MV_ASSERT_OK(t->copy_delimited(dir.file("AUS2.txt"), '\''));
  EXPECT_EQ(text_of(dir.file("AUS2.txt")), "' M\x81ller',-3.50,20240301,T\r\n'',,,F\r\n\x1A");
}

TEST_F(TransferTest, AppendFromTextReadsQuotesSeparatorsAndLineEnds) {
  std::string path = dir.file("ZIEL.DBF");
  MV_ASSERT_OK(db_create(path, {{"NAME", 'C', 8, 0}, {"ZAHL", 'N', 6, 2}, {"DATUM", 'D', 8, 0}, {"JA", 'L', 1, 0}},
                         "DBFCDX"));
  std::string csv =
      "\"Ab, cd\",1.5,20240301,T\r\n"
      "\"Zu \"lang\" ist das\",9999.999,2024,n\n"
      "ohne,-2\r"
      "\n"
      "\"x\",abc,20241301,Y\r\n"
      "\x1A"
      "\"nach dem Ende\",1,,\r\n";
  write_bytes(dir.file("EIN.txt"), std::vector<uint8_t>(csv.begin(), csv.end()));
  auto t = open_ok(path);
  int calls = 0;
  TransferOptions o;
  o.while_condition = [&](Table&) { return ++calls > 0; };
  MV_ASSERT_OK(t->append_delimited(dir.file("EIN"), std::nullopt, o));
  ASSERT_EQ(t->lastrec(), 4u);
  EXPECT_EQ(calls, 4);
  struct Row {
    const char *name, *zahl, *datum, *ja;
  } want[] = {{"Ab, cd  ", "  1.50", "20240301", "T"},
              {"Zu \"lang", "******", "        ", "F"},
              {"ohne    ", " -2.00", "        ", " "},
              {"x       ", "  0.00", "        ", "T"}};
  for (uint32_t r = 1; r <= 4; ++r) {
    SCOPED_TRACE(r);
    MV_ASSERT_OK(t->go_to(r));
    EXPECT_EQ(t->field_raw(1), want[r - 1].name);
    EXPECT_EQ(t->field_raw(2), want[r - 1].zahl);
    EXPECT_EQ(t->field_raw(3), want[r - 1].datum);
    EXPECT_EQ(t->field_raw(4), want[r - 1].ja);
  }
  // SDF: cut by position; a short line leaves the rest empty; the while-condition stops.
  std::string sdf = "Erster    1.2520240229T\nZweiter\r\nDritter   3.00        F\r\n";
  write_bytes(dir.file("EIN.sdf"), std::vector<uint8_t>(sdf.begin(), sdf.end()));
  MV_ASSERT_OK(t->zap());
  calls = 0;
  o.while_condition = [&](Table&) { return ++calls <= 2; };
  MV_ASSERT_OK(t->append_sdf(dir.file("EIN.sdf"), o));
  ASSERT_EQ(t->lastrec(), 2u);
  MV_ASSERT_OK(t->go_to(1));
  EXPECT_EQ(t->field_raw(1), "Erster  ");
  EXPECT_EQ(t->field_raw(2), "  1.25");
  EXPECT_EQ(t->field_raw(3), "20240229");
  EXPECT_EQ(t->field_raw(4), "T");
  MV_ASSERT_OK(t->go_to(2));
  EXPECT_EQ(t->field_raw(1), "Zweiter ");
  EXPECT_EQ(t->field_raw(2), "      ");
  // A missing source is a clear NotFound.
  EXPECT_EQ(t->append_sdf(dir.file("FEHLT.txt")).kind(), StatusKind::NotFound);
}

TEST_F(TransferTest, TextRoundTripKeepsTheRecords) {
  std::string src = dir.file("RUND.DBF");
  make_table(src, "DBFNTX", 50, false, {7});
  auto t = open_ok(src, false, false, "DBFNTX");
  MV_ASSERT_OK(t->copy_delimited(dir.file("RUND.txt")));
  MV_ASSERT_OK(t->copy_sdf(dir.file("RUND.sdf")));
  for (int mode = 0; mode < 2; ++mode) {
    SCOPED_TRACE(mode);
    std::string dst = dir.file("ZURUECK" + std::to_string(mode) + ".DBF");
    MV_ASSERT_OK(t->copy_structure(dst));
    auto d = open_ok(dst, false, false, "DBFNTX");
    MV_ASSERT_OK(mode == 0 ? d->append_delimited(dir.file("RUND.txt")) : d->append_sdf(dir.file("RUND.sdf")));
    ASSERT_EQ(d->lastrec(), 50u);
    for (uint32_t r = 1; r <= 50; ++r) {
      MV_ASSERT_OK(t->go_to(r));
      MV_ASSERT_OK(d->go_to(r));
      std::vector<uint8_t> a(t->record().begin() + 1, t->record().end());
      std::vector<uint8_t> b(d->record().begin() + 1, d->record().end());
      EXPECT_EQ(a, b) << "record " << r;
    }
  }
}

TEST_F(TransferTest, AppendDbMatchesFieldsByName) {
  std::string src = dir.file("VON.DBF");
  MV_ASSERT_OK(db_create(src, {{"ZAHL", 'C', 10, 0}, {"NAME", 'C', 30, 0}, {"NOTIZ", 'M', 10, 0}, {"EXTRA", 'N', 3, 0}},
                         "DBFCDX"));
  {
    auto s = open_ok(src);
    for (int i = 1; i <= 3; ++i) {
      MV_ASSERT_OK(s->append_blank());
      MV_ASSERT_OK(s->field_put("ZAHL", Value::character(std::to_string(i * 1000 + 0.5).substr(0, 6))));
      MV_ASSERT_OK(s->field_put("NAME", Value::character("Quelle " + std::to_string(i))));
      MV_ASSERT_OK(s->field_put("NOTIZ", Value::character("Memo " + std::to_string(i))));
    }
    MV_ASSERT_OK(s->go_to(2));
    MV_ASSERT_OK(s->delete_record());
  }
  std::string dst = dir.file("NACH.DBF");
  MV_ASSERT_OK(db_create(dst, {{"NAME", 'C', 10, 0}, {"ZAHL", 'N', 8, 1}, {"NOTIZ", 'M', 10, 0}}, "DBFNTX"));
  auto d = open_ok(dst, false, false, "DBFNTX");
  int calls = 0;
  TransferOptions o;
  o.while_condition = [&](Table&) { return ++calls > 0; };
  MV_ASSERT_OK(d->append_db(src, o));
  EXPECT_EQ(calls, 3);
  ASSERT_EQ(d->lastrec(), 3u);
  EXPECT_EQ(names_of(*d), (std::vector<std::string>{"Quelle 1", "Quelle 2*", "Quelle 3"}));
  MV_ASSERT_OK(d->go_to(3));
  EXPECT_EQ(d->field_raw(2), "  3000.5");
  EXPECT_EQ(str_field(*d, "NOTIZ"), "Memo 3");
  // With the filter on, the deleted source record stays out.
  set_deleted_filter(true);
  MV_ASSERT_OK(d->append_db(src));
  EXPECT_EQ(d->lastrec(), 5u);
}

}  // namespace
}  // namespace mv::testing
