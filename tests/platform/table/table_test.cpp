// Records, navigation, fields, memo files and new tables of the table layer.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <random>
#include <tuple>

#include "platform/base/bytes.h"
#include "platform/base/text.h"
#include "platform/table/dbf_format.h"
#include "platform/table/field_codec.h"
#include "table_helpers.h"

namespace mv::testing {
namespace {

class TableTest : public ::testing::Test {
 protected:
  void SetUp() override { set_deleted_filter(false); }
  void TearDown() override { set_deleted_filter(false); }
  TempDir dir;
};

struct Pos {
  uint32_t recno;
  bool eof, bof;
};
void expect_pos(Table& t, Pos p) {
  EXPECT_EQ(t.recno(), p.recno);
  EXPECT_EQ(t.eof(), p.eof);
  EXPECT_EQ(t.bof(), p.bof);
}

TEST_F(TableTest, NavigationOnAnEmptyTable) {
  std::string path = dir.file("LEER.DBF");
  make_table(path, "DBFNTX", 0);
  auto t = open_ok(path);
  expect_pos(*t, {1, true, true});
  MV_EXPECT_OK(t->go_bottom());
  expect_pos(*t, {1, true, true});
  MV_EXPECT_OK(t->skip(1));
  expect_pos(*t, {1, true, true});
  MV_EXPECT_OK(t->skip(-1));
  expect_pos(*t, {1, true, true});
  MV_EXPECT_OK(t->go_to(1));
  EXPECT_TRUE(t->eof());
  EXPECT_EQ(t->lastrec(), 0u);
  EXPECT_EQ(*t->count_rest(), 0u);
  EXPECT_EQ(str_field(*t, "NAME"), "");
}

TEST_F(TableTest, NavigationPastEitherEnd) {
  std::string path = dir.file("FUENF.DBF");
  make_table(path, "DBFCDX", 5);
  auto t = open_ok(path);
  expect_pos(*t, {1, false, false});
  MV_EXPECT_OK(t->skip(-1));
  expect_pos(*t, {1, false, true});
  MV_EXPECT_OK(t->skip(3));
  expect_pos(*t, {4, false, false});
  MV_EXPECT_OK(t->go_bottom());
  expect_pos(*t, {5, false, false});
  MV_EXPECT_OK(t->skip(1));
  expect_pos(*t, {6, true, false});
  EXPECT_EQ(str_field(*t, "NAME"), "");  // the phantom record is blank
  MV_EXPECT_OK(t->skip(1));
  expect_pos(*t, {6, true, false});
  MV_EXPECT_OK(t->skip(-1));
  expect_pos(*t, {5, false, false});
  MV_EXPECT_OK(t->go_top());
  MV_EXPECT_OK(t->skip(10));
  expect_pos(*t, {6, true, false});
  MV_EXPECT_OK(t->go_to(0));
  EXPECT_TRUE(t->eof());
  MV_EXPECT_OK(t->go_to(99));
  expect_pos(*t, {6, true, false});
  MV_EXPECT_OK(t->go_to(3));
  expect_pos(*t, {3, false, false});
  EXPECT_EQ(str_field(*t, "NAME"), "Name 3");
  EXPECT_EQ(*t->count_rest(), 3u);
  EXPECT_EQ(t->recno(), 3u);
}

TEST_F(TableTest, DeletedFilterIsReadAtEachStep) {
  std::string path = dir.file("GELOESCHT.DBF");
  make_table(path, "DBFCDX", 5, false, {1, 3, 5});
  auto t = open_ok(path);
  set_deleted_filter(true);
  MV_EXPECT_OK(t->go_top());
  expect_pos(*t, {2, false, false});
  EXPECT_EQ(*t->count_rest(), 2u);
  MV_EXPECT_OK(t->go_bottom());
  expect_pos(*t, {4, false, false});
  // Deleted while current: stays current until moved from.
  MV_EXPECT_OK(t->go_to(2));
  MV_EXPECT_OK(t->delete_record());
  expect_pos(*t, {2, false, false});
  EXPECT_TRUE(t->deleted());
  MV_EXPECT_OK(t->skip(1));
  expect_pos(*t, {4, false, false});
  MV_EXPECT_OK(t->skip(-1));  // 3, 2, 1 are hidden: first visible record with BOF
  expect_pos(*t, {4, false, true});
  MV_EXPECT_OK(t->skip(1));
  expect_pos(*t, {6, true, false});
  // GOTO ignores the filter.
  MV_EXPECT_OK(t->go_to(3));
  expect_pos(*t, {3, false, false});
  EXPECT_TRUE(t->deleted());
  // The filter switched off takes effect at the next step.
  set_deleted_filter(false);
  MV_EXPECT_OK(t->go_top());
  expect_pos(*t, {1, false, false});
  set_deleted_filter(true);
  MV_EXPECT_OK(t->go_to(4));
  MV_EXPECT_OK(t->delete_record());
  MV_EXPECT_OK(t->go_top());
  expect_pos(*t, {6, true, true});
}

// A navigator over a fixed list of record numbers (an order).
class ListNavigator : public OrderNavigator {
 public:
  explicit ListNavigator(std::vector<uint32_t> order) : order_(std::move(order)) {}
  Result<uint32_t> first() override { return order_.empty() ? 0u : order_.front(); }
  Result<uint32_t> last() override { return order_.empty() ? 0u : order_.back(); }
  Result<uint32_t> next(uint32_t r, std::span<const uint8_t>) override {
    auto it = std::find(order_.begin(), order_.end(), r);
    return it == order_.end() || it + 1 == order_.end() ? 0u : *(it + 1);
  }
  Result<uint32_t> prev(uint32_t r, std::span<const uint8_t>) override {
    auto it = std::find(order_.begin(), order_.end(), r);
    return it == order_.end() || it == order_.begin() ? 0u : *(it - 1);
  }
  Result<SeekResult> seek(std::span<const uint8_t>, bool) override { return SeekResult{}; }

 private:
  std::vector<uint32_t> order_;
};

TEST_F(TableTest, NavigationFollowsTheCurrentOrderWithTheFilterOnTop) {
  std::string path = dir.file("ORDER.DBF");
  make_table(path, "DBFCDX", 5, false, {4});
  auto t = open_ok(path);
  ListNavigator nav({5, 4, 3, 2, 1});
  t->set_navigator(&nav);
  set_deleted_filter(true);
  std::vector<uint32_t> seen;
  for (ok(t->go_top()); !t->eof(); ok(t->skip(1))) seen.push_back(t->recno());
  EXPECT_EQ(seen, (std::vector<uint32_t>{5, 3, 2, 1}));
  MV_EXPECT_OK(t->skip(-1));
  expect_pos(*t, {1, false, false});
  MV_EXPECT_OK(t->go_bottom());
  expect_pos(*t, {1, false, false});
  MV_EXPECT_OK(t->go_to(5));
  EXPECT_EQ(*t->count_rest(), 4u);
  MV_EXPECT_OK(t->skip(-1));
  expect_pos(*t, {5, false, true});
}

// Records every hook call.
class RecordingMaintainer : public OrderMaintainer {
 public:
  std::vector<std::string> calls;
  Status record_changing(uint32_t r, std::span<const uint8_t> b) override { return log("changing", r, b); }
  Status record_changed(uint32_t r, std::span<const uint8_t> b) override { return log("changed", r, b); }
  Status record_appended(uint32_t r, std::span<const uint8_t> b) override { return log("appended", r, b); }
  Status records_replaced() override {
    calls.push_back("replaced");
    return Status::ok();
  }
  Status flush() override {
    calls.push_back("flush");
    return Status::ok();
  }

 private:
  Status log(const char* what, uint32_t r, std::span<const uint8_t> b) {
    calls.push_back(std::string(what) + " " + std::to_string(r) + " " + char(b[0]) +
                    std::string(reinterpret_cast<const char*>(b.data()) + 1, 4));
    return Status::ok();
  }
};

TEST_F(TableTest, EveryWriteReachesTheOrderMaintainer) {
  std::string path = dir.file("HOOK.DBF");
  make_table(path, "DBFNTX", 2);
  RecordingMaintainer m;  // outlives the table, whose close still flushes through it
  auto t = open_ok(path, false, false, "DBFNTX");
  t->set_order_maintainer(&m);
  MV_EXPECT_OK(t->go_to(1));
  MV_EXPECT_OK(t->field_put("NAME", Value::character("Abel")));
  MV_EXPECT_OK(t->delete_record());
  MV_EXPECT_OK(t->recall());
  MV_EXPECT_OK(t->append_blank());
  MV_EXPECT_OK(t->field_put("NAME", Value::character("Zorn")));
  MV_EXPECT_OK(t->commit());
  MV_EXPECT_OK(t->pack());
  MV_EXPECT_OK(t->zap());
  std::vector<std::string> want{"changing 1  Name", "changed 1  Abel", "changing 1  Abel", "changed 1 *Abel",
                                "changing 1 *Abel", "changed 1  Abel", "appended 3      ", "changing 3      ",
                                "changed 3  Zorn",  "flush",           "replaced",         "replaced"};
  EXPECT_EQ(m.calls, want);
}

// ---------------------------------------------------------------- fields

// A blank record of a table with binary fields holds zero bytes there, as their writer
// leaves them: blanks would read as 538976288 in an integer and as a damaged memo pointer.
TEST_F(TableTest, AppendBlankLeavesBinaryFieldsZero) {
  std::string why;
  const std::string src = fixture_case("peer-mdx/vfp", &why);
  if (src.empty()) GTEST_SKIP() << why;
  for (const char* f : {"kontakt.dbf", "kontakt.fpt"})
    write_bytes(dir.file(f), read_bytes(src + "/" + f));
  const std::string path = dir.file("kontakt.dbf");
  uint32_t n = 0;
  {
    auto t = open_ok(path, false, false, "DBFCDX");
    ASSERT_TRUE(t);
    n = t->lastrec();
    MV_ASSERT_OK(t->append_blank());
    MV_ASSERT_OK(t->close());
  }
  auto t = open_ok(path, false, true, "DBFCDX");
  ASSERT_TRUE(t);
  ASSERT_EQ(t->lastrec(), n + 1);
  MV_ASSERT_OK(t->go_to(n + 1));
  for (int pos = 1; pos <= int(t->fcount()); ++pos) {
    const FieldInfo& f = t->field(pos);
    SCOPED_TRACE(f.name);
    const std::string_view raw = t->field_raw(pos);
    if (dbf::is_binary_field(f.type, f.length, t->version())) {
      EXPECT_EQ(raw, std::string(f.length, '\0'));
    } else {
      EXPECT_EQ(raw, std::string(f.length, ' '));
    }
    auto v = t->field_get(pos);
    EXPECT_TRUE(v.is_ok()) << v.status().to_string();
    if (v.is_ok() && v->is_num()) {
      EXPECT_EQ(v->num, 0);
    } else if (v.is_ok() && v->is_char()) {
      EXPECT_EQ(rtrim(v->str), "");
    }
  }
}


TEST_F(TableTest, FieldTypesRoundTrip) {
  std::string path = dir.file("TYPEN.DBF");
  std::vector<StructRow> rows{{"LANG", 'C', 300, 0}, {"ZAHL", 'N', 10, 2}, {"FLIESS", 'F', 8, 3},
                              {"DATUM", 'D', 8, 0},  {"JA", 'L', 1, 0},    {"TEXT", 'M', 10, 0}};
  MV_ASSERT_OK(db_create(path, rows, "DBFNTX"));
  std::string long_text(300, 'x');
  long_text[0] = 'A';
  {
    auto t = open_ok(path, false, false, "DBFNTX");
    EXPECT_EQ(t->dbstruct(), rows);
    EXPECT_EQ(t->record_length(), 1 + 300 + 10 + 8 + 8 + 1 + 10);
    MV_ASSERT_OK(t->append_blank());
    MV_EXPECT_OK(t->field_put(1, Value::character(long_text)));
    MV_EXPECT_OK(t->field_put(2, Value::numeric(-1234.565)));
    MV_EXPECT_OK(t->field_put(3, Value::numeric(2.5)));
    MV_EXPECT_OK(t->field_put(4, Value::of_date(Date::from_ymd(2024, 2, 29))));
    MV_EXPECT_OK(t->field_put(5, Value::boolean(true)));
    MV_EXPECT_OK(t->field_put(6, Value::character("Zeile 1\r\nZeile 2")));
    // Too wide for N(10,2): refused, the field keeps its value.
    Status wide = t->field_put(2, Value::numeric(12345678.9));
    EXPECT_EQ(wide.kind(), StatusKind::InvalidArgument);
    EXPECT_EQ(t->field_put(1, Value::character(long_text + "y")).kind(), StatusKind::InvalidArgument);
    EXPECT_EQ(t->field_put(4, Value::character("x")).kind(), StatusKind::InvalidArgument);
    MV_EXPECT_OK(t->close());
  }
  auto t = open_ok(path, false, false, "DBFNTX");
  EXPECT_EQ(t->field_get(1)->str, long_text);
  EXPECT_EQ(t->field_raw(2), "  -1234.57");
  EXPECT_DOUBLE_EQ(t->field_get(2)->num, -1234.57);
  EXPECT_EQ(t->field_raw(3), "   2.500");
  EXPECT_EQ(t->field_raw(4), "20240229");
  EXPECT_TRUE(t->field_get(5)->logical);
  EXPECT_EQ(t->field_get(6)->str, "Zeile 1\r\nZeile 2");
  EXPECT_EQ(t->field_raw(6), "         1");
}

// FIELDPUT per field type: the bytes written, or the refusal with its reason and the field
// left as it was, alike for a record just appended (still in memory, no order open) and
// for one already in the file, and the file gets what the current record shows.
TEST_F(TableTest, FieldPutWritesEachTypeOrRefusesAlike) {
  const std::string path = dir.file("PUT.DBF");
  MV_ASSERT_OK(db_create(path, {{"NAME", 'C', 5, 0}, {"BETRAG", 'N', 7, 2}, {"MENGE", 'N', 3, 0},
                                {"DATUM", 'D', 8, 0}, {"AKTIV", 'L', 1, 0}}, "DBFCDX"));
  const Value before[] = {Value::character("Vor"), Value::numeric(1.5), Value::numeric(7),
                          Value::of_date(Date::from_ymd(2000, 1, 1)), Value::boolean(true)};
  const double inf = std::numeric_limits<double>::infinity();
  const std::string wrong = ": der Wert hat den falschen Typ für ein Feld vom Typ ";
  const std::string too_wide = "Feld BETRAG: der Wert passt nicht in die Feldlänge 7 mit 2 Dezimalstellen";
  struct Case {
    int pos;
    Value v;
    std::string want;  // the field's bytes, or the message of the refusal
    bool refused = false;
  } cases[] = {
      {1, Value::character("Abc"), "Abc  "},
      {1, Value::character("Abcde"), "Abcde"},
      {1, Value::character("Abcde   "), "Abcde"},
      {1, Value::character(""), "     "},
      {1, Value::nil(), "     "},
      {1, Value::character("Abcdef"), "Feld NAME: der Text ist länger als 5 Zeichen", true},
      {1, Value::numeric(1), "Feld NAME" + wrong + "C", true},
      {2, Value::numeric(2.675), "   2.68"},
      {2, Value::numeric(-123.456), "-123.46"},
      {2, Value::numeric(-0.001), "   0.00"},
      {2, Value::numeric(9999.99), "9999.99"},
      {2, Value::numeric(9999.995), too_wide, true},
      {2, Value::numeric(-1000), too_wide, true},
      {2, Value::numeric(inf), too_wide, true},
      {2, Value::numeric(std::nan("")), too_wide, true},
      {2, Value::character("1"), "Feld BETRAG" + wrong + "N", true},
      {3, Value::numeric(999.4), "999"},
      {3, Value::numeric(-99), "-99"},
      {3, Value::numeric(-0.4), "  0"},
      {3, Value::numeric(999.5), "Feld MENGE: der Wert passt nicht in die Feldlänge 3 mit 0 Dezimalstellen", true},
      {4, Value::of_date(Date::from_ymd(2024, 2, 29)), "20240229"},
      {4, Value::of_date(Date::from_ymd(1, 1, 1)), "00010101"},
      {4, Value::of_date(Date::from_ymd(9999, 12, 31)), "99991231"},
      {4, Value::of_date(Date()), "        "},
      {4, Value::of_date(Date::from_ymd(9999, 12, 31) + 1), "Feld DATUM: das Jahr liegt außerhalb von 1 bis 9999", true},
      {4, Value::boolean(true), "Feld DATUM" + wrong + "D", true},
      {5, Value::boolean(false), "F"},
      {5, Value::nil(), " "},
      {5, Value::of_date(Date::from_ymd(2024, 1, 1)), "Feld AKTIV" + wrong + "L", true},
  };
  std::vector<std::vector<uint8_t>> shown;
  {
    auto t = open_ok(path, false, false, "DBFCDX");
    for (bool in_file : {false, true}) {
      for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.pos) + (in_file ? " in the file: " : " appended: ") + c.want);
        MV_ASSERT_OK(t->append_blank());
        for (int pos = 1; pos <= 5; ++pos) MV_ASSERT_OK(t->field_put(pos, before[pos - 1]));
        if (in_file) MV_ASSERT_OK(t->commit());
        const std::string old(t->field_raw(c.pos));
        Status st = t->field_put(c.pos, c.v);
        if (c.refused) {
          EXPECT_EQ(st.kind(), StatusKind::InvalidArgument);
          EXPECT_EQ(st.message(), c.want);
          EXPECT_EQ(t->field_raw(c.pos), old);
        } else {
          MV_EXPECT_OK(st);
          EXPECT_EQ(t->field_raw(c.pos), c.want);
        }
        shown.emplace_back(t->record().begin(), t->record().end());
      }
    }
    MV_ASSERT_OK(t->close());
  }
  auto t = open_ok(path, false, true, "DBFCDX");
  ASSERT_EQ(t->lastrec(), shown.size());
  std::vector<uint8_t> stored;
  for (uint32_t r = 1; r <= shown.size(); ++r) {
    MV_ASSERT_OK(t->read_record(r, stored));
    EXPECT_EQ(stored, shown[r - 1]) << "record " << r;
  }
}

TEST(FieldCodec, NumbersAreFormattedOrRefused) {
  struct Case {
    double v;
    uint32_t len, dec;
    const char* want;
  } cases[] = {{2.675, 6, 2, "  2.68"}, {-0.001, 5, 2, " 0.00"}, {-2.5, 3, 0, " -3"}, {999.995, 6, 2, ""},
               {12345, 5, 0, "12345"},  {123456, 5, 0, ""},     {0.5, 4, 0, "   1"}, {-1.25, 5, 1, " -1.3"}};
  auto field = [](char type, uint32_t len, uint32_t dec) {
    FieldInfo f;
    f.name = "F";
    f.type = type;
    f.length = len;
    f.decimals = uint8_t(dec);
    f.offset = 0;
    return f;
  };
  // FIELDPUT writes the same bytes, or refuses the same values.
  auto put = [&](double v, uint32_t len, uint32_t dec) {
    std::string out(len, '#');
    Status st = encode_field(field('N', len, dec), Value::numeric(v), reinterpret_cast<uint8_t*>(out.data()));
    return st.is_ok() ? out : std::string();
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.v);
    EXPECT_EQ(format_number(c.v, c.len, c.dec), c.want);
    EXPECT_EQ(put(c.v, c.len, c.dec), c.want);
  }
  std::mt19937_64 rng(3);
  for (int i = 0; i < 20000; ++i) {
    const uint32_t dec = uint32_t(rng() % 5), len = 4 + uint32_t(rng() % 16);
    double v = double(int64_t(rng() % 2000000001) - 1000000000) / std::pow(10.0, double(rng() % 7));
    if (i % 3 == 0) v = double(int64_t(rng() % 200001) - 100000) / 1000.0 + 0.005;  // halfway cases
    SCOPED_TRACE(v);
    ASSERT_EQ(put(v, len, dec), format_number(v, len, dec)) << len << "," << dec;
  }
  for (auto [y, m, d, want] : {std::tuple{1, 1, 1, "00010101"}, {2024, 2, 29, "20240229"}, {9999, 12, 31, "99991231"}}) {
    std::string out(8, '#');
    ASSERT_TRUE(encode_field(field('D', 8, 0), Value::of_date(Date::from_ymd(y, m, d)), reinterpret_cast<uint8_t*>(out.data())).is_ok());
    EXPECT_EQ(out, want);
  }
  EXPECT_DOUBLE_EQ(parse_number("  -12.50"), -12.5);
  EXPECT_DOUBLE_EQ(parse_number("      "), 0);
  EXPECT_DOUBLE_EQ(parse_number("*****"), 0);
  EXPECT_DOUBLE_EQ(parse_number(" -.5"), -0.5);
}

// ---------------------------------------------------------------- creating tables

TEST_F(TableTest, NewTablesPerDriverAsTheOtherProgramsWriteThem) {
  struct Case {
    const char* driver;
    bool memo;
    CodePage cp;
    uint8_t version, language, flags;
    const char* memo_ext;
  } cases[] = {
      {"DBFNTX", true, CodePage::Cp850, 0x83, 0x00, 0x00, ".DBT"},
      {"DBFNTX", false, CodePage::Windows1252, 0x07, 0x00, 0x00, nullptr},
      {"_DBFCDX", true, CodePage::Windows1252, 0x87, 0x00, 0x00, ".DBT"},
      {"DBFCDX", true, CodePage::Windows1252, 0xF5, 0x03, 0x02, ".FPT"},
      {"DBFCDX", false, CodePage::Cp850, 0x03, 0x02, 0x00, nullptr},
      {"DBFMDX", true, CodePage::Cp850, 0x8B, 0x02, 0x00, ".DBT"},
      {"DBFMDX", false, CodePage::Windows1252, 0x03, 0x57, 0x00, nullptr},
  };
  int i = 0;
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.driver) + (c.memo ? " memo" : ""));
    std::string base = dir.file("NEU" + std::to_string(i++));
    MV_ASSERT_OK(db_create(base, sample_fields(c.memo), c.driver, c.cp));
    auto b = read_bytes(base + ".dbf");
    size_t n = c.memo ? 5 : 4;
    ASSERT_EQ(b.size(), 32 + 32 * n + 1 + 1);
    EXPECT_EQ(b[0], c.version);
    EXPECT_EQ(b[29], c.language);
    EXPECT_EQ(b[28], c.flags);
    EXPECT_EQ(get_le32(&b[4]), 0u);
    EXPECT_EQ(get_le16(&b[8]), 32 + 32 * n + 1);
    EXPECT_EQ(get_le16(&b[10]), 1 + 20 + 10 + 8 + 1 + (c.memo ? 10 : 0));
    EXPECT_EQ(b[32 + 32 * n], 0x0D);
    EXPECT_EQ(b.back(), 0x1A);
    EXPECT_EQ(b[1], dbf_year_byte(c.version, Date::today().year()));
    if (c.memo) {
      auto m = read_bytes(base + c.memo_ext);
      ASSERT_EQ(m.size(), 512u);
      if (std::string(c.memo_ext) == ".FPT") {
        EXPECT_EQ(get_be32(&m[0]), 8u);
        EXPECT_EQ(get_be16(&m[6]), 64u);
      } else {
        EXPECT_EQ(get_le32(&m[0]), 1u);
      }
    }
    // And it opens with its own driver, holding nothing.
    auto t = open_ok(base + ".dbf", false, false, c.driver);
    ASSERT_TRUE(t);
    EXPECT_EQ(t->lastrec(), 0u);
  }
  // Bad field lists are refused.
  EXPECT_FALSE(db_create(dir.file("X"), {{"1ABC", 'C', 5, 0}}).is_ok());
  EXPECT_FALSE(db_create(dir.file("X"), {{"A", 'C', 5, 0}, {"a", 'N', 5, 0}}).is_ok());
  EXPECT_FALSE(db_create(dir.file("X"), {{"A", 'Q', 5, 0}}).is_ok());
  EXPECT_FALSE(db_create(dir.file("X"), {{"A", 'N', 5, 4}}).is_ok());
  EXPECT_FALSE(db_create(dir.file("X"), {}).is_ok());
  EXPECT_FALSE(db_create(dir.file("X"), sample_fields(false), "DBFXYZ").is_ok());
}

TEST_F(TableTest, OpenFailsWhenTheDriverCannotReadTheMemoFile) {
  std::string path = dir.file("KUNDEN.DBF");
  make_table(path, "DBFCDX", 1, true);  // 0xF5 with an FPT
  OpenOptions o;
  for (const char* d : {"DBFNTX", "_DBFCDX", "DBFMDX"}) {
    o.driver = d;
    auto t = Table::open(path, o);
    ASSERT_FALSE(t.is_ok()) << d;
    EXPECT_EQ(t.status().kind(), StatusKind::NotSupported);
  }
  o.driver = "DBFCDX";
  EXPECT_TRUE(Table::open(path, o).is_ok());
  std::remove((dir.file("KUNDEN.FPT")).c_str());
  auto t = Table::open(path, o);
  ASSERT_FALSE(t.is_ok());
  EXPECT_EQ(t.status().kind(), StatusKind::NotFound);
}

// ---------------------------------------------------------------- memo files

TEST_F(TableTest, MemoBlocksAroundTheBoundariesOfEveryKind) {
  for (const char* driver : {"DBFNTX", "DBFCDX", "DBFMDX"}) {
    SCOPED_TRACE(driver);
    std::string path = dir.file(std::string("M") + driver + ".DBF");
    MV_ASSERT_OK(db_create(path, sample_fields(true), driver));
    std::vector<size_t> sizes{1, 55, 56, 57, 503, 504, 505, 509, 510, 511, 512, 513, 1016, 1017, 5000};
    {
      auto t = open_ok(path, false, false, driver);
      for (size_t n : sizes) {
        MV_ASSERT_OK(t->append_blank());
        std::string text(n, 'a');
        text.back() = 'z';
        MV_ASSERT_OK(t->field_put("NOTIZ", Value::character(text)));
      }
      MV_ASSERT_OK(t->close());
    }
    auto t = open_ok(path, true, true, driver);
    for (size_t i = 0; i < sizes.size(); ++i) {
      MV_ASSERT_OK(t->go_to(uint32_t(i + 1)));
      auto v = t->field_get("NOTIZ");
      ASSERT_TRUE(v.is_ok()) << v.status().to_string();
      EXPECT_EQ(v->str.size(), sizes[i]);
      EXPECT_EQ(v->str.back(), 'z');
    }
  }
}

TEST_F(TableTest, MemoRewritesStayInPlaceOrReuseFreedBlocks) {
  std::string path = dir.file("FREI.DBF");
  MV_ASSERT_OK(db_create(path, sample_fields(true), "DBFMDX"));
  auto t = open_ok(path, false, false, "DBFMDX");
  MV_ASSERT_OK(t->append_blank());
  MV_ASSERT_OK(t->field_put("NOTIZ", Value::character(std::string(1500, 'l'))));  // blocks 1-3
  EXPECT_EQ(t->field_raw(5), "         1");
  // Fits: same block, blocks 2-3 go to the free chain.
  MV_ASSERT_OK(t->field_put("NOTIZ", Value::character("kurz")));
  EXPECT_EQ(t->field_raw(5), "         1");
  // Needs 6 blocks: no free run is large enough, so at the end (4-9); block 1 is freed.
  MV_ASSERT_OK(t->field_put("NOTIZ", Value::character(std::string(3000, 'g'))));
  EXPECT_EQ(t->field_raw(5), "         4");
  MV_ASSERT_OK(t->append_blank());
  MV_ASSERT_OK(t->field_put("NOTIZ", Value::character(std::string(600, 'r'))));  // the run 2-3
  EXPECT_EQ(t->field_raw(5), "         2");
  MV_ASSERT_OK(t->append_blank());
  MV_ASSERT_OK(t->field_put("NOTIZ", Value::character(std::string(100, 's'))));  // the run 1
  EXPECT_EQ(t->field_raw(5), "         1");
  MV_ASSERT_OK(t->append_blank());
  MV_ASSERT_OK(t->field_put("NOTIZ", Value::character(std::string(100, 'e'))));  // end of file
  EXPECT_EQ(t->field_raw(5), "        10");
  MV_ASSERT_OK(t->go_to(1));
  EXPECT_EQ(t->field_get("NOTIZ")->str, std::string(3000, 'g'));
  MV_ASSERT_OK(t->go_to(2));
  EXPECT_EQ(t->field_get("NOTIZ")->str, std::string(600, 'r'));
  MV_ASSERT_OK(t->go_to(3));
  EXPECT_EQ(t->field_get("NOTIZ")->str, std::string(100, 's'));
  MV_ASSERT_OK(t->go_to(4));
  EXPECT_EQ(t->field_get("NOTIZ")->str, std::string(100, 'e'));
  // Emptied: the pointer goes blank.
  MV_ASSERT_OK(t->field_put("NOTIZ", Value::character("")));
  EXPECT_EQ(t->field_raw(5), "          ");
  EXPECT_EQ(t->field_get("NOTIZ")->str, "");
}

TEST_F(TableTest, Dbase3MemoCannotHoldTheEndMarker) {
  std::string path = dir.file("EOF.DBF");
  MV_ASSERT_OK(db_create(path, sample_fields(true), "DBFNTX"));
  auto t = open_ok(path, false, false, "DBFNTX");
  MV_ASSERT_OK(t->append_blank());
  EXPECT_EQ(t->field_put("NOTIZ", Value::character("a\x1A" "b")).kind(), StatusKind::InvalidArgument);
  EXPECT_EQ(t->field_get("NOTIZ")->str, "");
}

TEST_F(TableTest, PackAndZapKeepTheFilesInPlace) {
  std::string path = dir.file("PACK.DBF");
  make_table(path, "DBFCDX", 6, true, {2, 5});
  auto t = open_ok(path);
  MV_ASSERT_OK(t->pack());
  EXPECT_EQ(t->lastrec(), 4u);
  std::vector<std::string> names;
  for (ok(t->go_top()); !t->eof(); ok(t->skip(1)))
    names.push_back(str_field(*t, "NAME") + "/" + str_field(*t, "NOTIZ"));
  EXPECT_EQ(names, (std::vector<std::string>{"Name 1/Notiz 1", "Name 3/Notiz 3", "Name 4/Notiz 4", "Name 6/Notiz 6"}));
  MV_ASSERT_OK(t->close());
  auto b = read_bytes(path);
  EXPECT_EQ(b.size(), get_le16(&b[8]) + 4u * get_le16(&b[10]) + 1);
  EXPECT_EQ(get_le32(&b[4]), 4u);
  EXPECT_EQ(b.back(), 0x1A);

  t = open_ok(path);
  MV_ASSERT_OK(t->zap());
  EXPECT_EQ(t->lastrec(), 0u);
  EXPECT_TRUE(t->eof());
  MV_ASSERT_OK(t->close());
  b = read_bytes(path);
  EXPECT_EQ(b.size(), get_le16(&b[8]) + 1u);
  EXPECT_EQ(read_bytes(dir.file("PACK.FPT")).size(), 512u);
  std::vector<std::string> left;
  auto listing = FileSystem::posix().list(dir.path());
  ASSERT_TRUE(listing.is_ok());
  for (const auto& e : *listing) left.push_back(e.name);
  EXPECT_EQ(left, (std::vector<std::string>{"PACK.DBF", "PACK.FPT"}));
  // Shared tables are refused.
  t = open_ok(path, true);
  EXPECT_FALSE(t->pack().is_ok());
  EXPECT_FALSE(t->zap().is_ok());
}

TEST_F(TableTest, AppendedRecordsReachTheFileInBlocksWithTheCountAfterThem) {
  std::string path = dir.file("VIELE.DBF");
  make_table(path, "DBFCDX", 0);
  auto t = open_ok(path);
  for (int i = 0; i < 20000; ++i) {
    MV_ASSERT_OK(t->append_blank());
    MV_ASSERT_OK(t->field_put(1, Value::character(std::to_string(i))));
  }
  // Whatever is on disk now is consistent: the header counts exactly what is there.
  auto b = read_bytes(path);
  uint32_t count = get_le32(&b[4]);
  EXPECT_GT(count, 0u);
  EXPECT_LE(count, 20000u);
  EXPECT_EQ(b.size(), get_le16(&b[8]) + size_t(count) * get_le16(&b[10]) + 1);
  MV_ASSERT_OK(t->go_to(12345));
  EXPECT_EQ(str_field(*t, "NAME"), "12344");
  MV_ASSERT_OK(t->commit());
  b = read_bytes(path);
  EXPECT_EQ(get_le32(&b[4]), 20000u);
  EXPECT_EQ(b.size(), get_le16(&b[8]) + 20000u * get_le16(&b[10]) + 1);
}

}  // namespace
}  // namespace mv::testing
