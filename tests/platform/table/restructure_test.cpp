// Rebuilding a table with a new field list and renaming a field in place, on small tables
// of every driver: the records, memo texts, deletion flags and orders of the result are
// compared with what the source data says they must be, not with what the code computed.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <cstring>
#include <map>

#include "platform/base/bytes.h"
#include "platform/base/text.h"
#include "platform/runtime/date.h"
#include "platform/table/index/index_layout.h"
#include "platform/table/index/order_list.h"
#include "platform/table/modes.h"
#include "platform/table/restructure.h"
#include "table_helpers.h"
#include "tests/platform/table/run_command.h"
#include "tests/support/mem_fs.h"

namespace mv::testing {
namespace {

constexpr int kRecords = 7;
const std::vector<uint32_t> kDeleted{2, 6};

// The source record i (1-based), as text per field.
std::string src_name(int i) { return "Name " + std::to_string(i) + " Meier"; }
std::string src_nummer(int i) { return std::to_string(i * 7); }
std::string src_betrag(int i) {
  char b[32];
  std::snprintf(b, sizeof b, "%.2f", i * 1.5);
  return b;
}
std::string src_datum(int i) { return dtos(Date::from_ymd(2020, 1, 1) + (i - 1)); }
std::string src_aktiv(int i) { return i % 2 ? "T" : "F"; }
// Every fourth record has no memo; the third a long one that spans several blocks.
std::string src_notiz(int i) {
  if (i % 4 == 0) return "";
  if (i == 3) return std::string(1500, 'x') + "Ende";
  return "Notiz " + std::to_string(i);
}

std::vector<StructRow> source_rows(bool memo) {
  std::vector<StructRow> rows{{"NAME", 'C', 20, 0}, {"NUMMER", 'C', 6, 0}, {"BETRAG", 'N', 10, 2},
                              {"DATUM", 'D', 8, 0}, {"AKTIV", 'L', 1, 0}};
  if (memo) rows.push_back({"NOTIZ", 'M', 10, 0});
  return rows;
}

bool has_bag(const std::string& driver) { return driver != "DBFNTX"; }
// MDX tags keep no FOR condition.
bool bet_has_for(const std::string& driver) { return driver != "DBFMDX"; }

// The source table with its orders: a production bag (NAME: UPPER(NAME); BET: BETRAG FOR
// AKTIV, descending) or, for "DBFNTX", two NTX files with the same orders.
void make_source(FileSystem& fs, const std::string& dir, const std::string& driver, bool memo) {
  const std::string path = dir + "KUNDEN.DBF";
  ASSERT_TRUE(db_create(path, source_rows(memo), driver, CodePage::Cp850, &fs).is_ok());
  auto t = open_ok(path, false, false, driver, &fs);
  ASSERT_TRUE(t);
  for (int i = 1; i <= kRecords; ++i) {
    MV_ASSERT_OK(t->append_blank());
    MV_ASSERT_OK(t->field_put("NAME", Value::character(src_name(i))));
    MV_ASSERT_OK(t->field_put("NUMMER", Value::character(src_nummer(i))));
    MV_ASSERT_OK(t->field_put("BETRAG", Value::numeric(i * 1.5)));
    MV_ASSERT_OK(t->field_put("DATUM", Value::of_date(Date::from_ymd(2020, 1, 1) + (i - 1))));
    MV_ASSERT_OK(t->field_put("AKTIV", Value::boolean(i % 2 == 1)));
    if (memo && !src_notiz(i).empty()) MV_ASSERT_OK(t->field_put("NOTIZ", Value::character(src_notiz(i))));
  }
  for (uint32_t r : kDeleted) {
    MV_ASSERT_OK(t->go_to(r));
    MV_ASSERT_OK(t->delete_record());
  }
  auto ol = OrderList::attach(*t);
  ASSERT_TRUE(ol.is_ok()) << ol.status().to_string();
  CreateOrderOptions bet;
  if (bet_has_for(driver)) bet.for_expr = "AKTIV";
  bet.descending = true;
  if (has_bag(driver)) {
    MV_ASSERT_OK((*ol)->create_order("NAME", "", "UPPER(NAME)"));
    MV_ASSERT_OK((*ol)->create_order("BET", "", "BETRAG", bet));
  } else {
    MV_ASSERT_OK((*ol)->create_index(dir + "KNAME.NTX", "UPPER(NAME)"));
    MV_ASSERT_OK((*ol)->create_index(dir + "KBET.NTX", "BETRAG", bet));
  }
  ol->reset();
  MV_ASSERT_OK(t->close());
}

// A field's value as text, the way the source functions above write it.
std::string text_of(Table& t, int pos) {
  const FieldInfo& f = t.field(pos);
  auto v = t.field_get(pos);
  if (!v) return "<" + v.status().to_string() + ">";
  switch (f.type) {
    case 'C':
    case 'M':
      return std::string(rtrim(v->str));
    case 'N':
    case 'F': {
      if (t.field_blank(pos)) return "";
      char b[64];
      std::snprintf(b, sizeof b, "%.*f", int(f.decimals), v->num);
      return b;
    }
    case 'D':
      return v->date.empty() ? "" : dtos(v->date);
    case 'L':
      return t.field_blank(pos) ? "" : v->logical ? "T" : "F";
    default:
      return "?";
  }
}

using Expect = std::function<std::string(const std::string& field, int i)>;

// Every record in record order: its deletion flag and each field as `expect` says.
void check_records(FileSystem& fs, const std::string& path, const std::string& driver,
                   const std::vector<StructRow>& rows, const Expect& expect) {
  auto t = open_ok(path, false, true, driver, &fs);
  ASSERT_TRUE(t);
  ASSERT_EQ(t->dbstruct(), rows);
  ASSERT_EQ(t->lastrec(), uint32_t(kRecords));
  for (int i = 1; i <= kRecords; ++i) {
    MV_ASSERT_OK(t->go_to(uint32_t(i)));
    const bool deleted = std::find(kDeleted.begin(), kDeleted.end(), uint32_t(i)) != kDeleted.end();
    EXPECT_EQ(t->deleted(), deleted) << "record " << i;
    for (size_t p = 1; p <= t->fcount(); ++p)
      EXPECT_EQ(text_of(*t, int(p)), expect(t->field(int(p)).name, i)) << "record " << i << " " << t->field(int(p)).name;
  }
}

// What the source says about a field kept under its name.
std::string kept(const std::string& field, int i) {
  if (field == "NAME") return src_name(i);
  if (field == "NUMMER") return src_nummer(i);
  if (field == "BETRAG") return src_betrag(i);
  if (field == "DATUM") return src_datum(i);
  if (field == "AKTIV") return src_aktiv(i);
  if (field == "NOTIZ") return src_notiz(i);
  return "";
}

// The record numbers an order walks, computed from the source: NAME by upper-case name,
// BET the active records (all for MDX) by amount, largest first.
std::vector<uint32_t> expected_walk(const std::string& order, const std::string& driver) {
  std::vector<uint32_t> r;
  for (int i = 1; i <= kRecords; ++i)
    if (order != "BET" || !bet_has_for(driver) || i % 2 == 1) r.push_back(uint32_t(i));
  if (order == "NAME")
    std::stable_sort(r.begin(), r.end(), [](uint32_t a, uint32_t b) {
      return upper_ascii(src_name(int(a))) < upper_ascii(src_name(int(b)));
    });
  else
    std::stable_sort(r.begin(), r.end(), [](uint32_t a, uint32_t b) { return a * 1.5 > b * 1.5; });
  return r;
}

std::string ntx_file_of(const std::string& order) { return order == "NAME" ? "KNAME.NTX" : "KBET.NTX"; }

// The orders of the rebuilt table: their definitions, key counts and walks.
void check_orders(FileSystem& fs, const std::string& dir, const std::string& driver,
                  const std::vector<std::string>& want) {
  auto t = open_ok(dir + "KUNDEN.DBF", false, false, driver, &fs);
  ASSERT_TRUE(t);
  OrderListOptions lo;
  lo.require_production = true;
  auto ol_r = OrderList::attach(*t, lo);
  ASSERT_TRUE(ol_r.is_ok()) << ol_r.status().to_string();
  auto& ol = *ol_r;
  if (!has_bag(driver))
    for (const auto& o : want) MV_ASSERT_OK(ol->add_index_file(dir + ntx_file_of(o)));
  ASSERT_EQ(ol->count(), want.size());
  for (const auto& name : want) {
    SCOPED_TRACE(name);
    size_t n = 0;
    for (size_t k = 1; k <= ol->count(); ++k)
      if (upper_ascii(ol->info(k).name) == (has_bag(driver) ? name : upper_ascii(path_stem(ntx_file_of(name))))) n = k;
    ASSERT_NE(n, 0u);
    EXPECT_EQ(ol->problem(n), "");
    const auto& info = ol->info(n);
    EXPECT_EQ(info.key_expr, name == "NAME" ? "UPPER(NAME)" : "BETRAG");
    EXPECT_EQ(info.for_expr, name == "BET" && bet_has_for(driver) ? "AKTIV" : "");
    EXPECT_EQ(info.descending, name == "BET");
    const auto walk = expected_walk(name, driver);
    auto kc = ol->key_count(n);
    ASSERT_TRUE(kc.is_ok());
    EXPECT_EQ(*kc, walk.size());
    MV_ASSERT_OK(ol->set_order(n));
    std::vector<uint32_t> got;
    MV_ASSERT_OK(t->go_top());
    while (!t->eof()) {
      got.push_back(t->recno());
      MV_ASSERT_OK(t->skip(1));
    }
    EXPECT_EQ(got, walk);
    auto chk = ol->check(n);
    ASSERT_TRUE(chk.is_ok()) << chk.status().to_string();
  }
}

bool any_new_file(FileSystem& fs, const std::string& dir) {
  auto files = fs.list(dir);
  EXPECT_TRUE(files.is_ok());
  if (!files) return true;
  for (const auto& f : *files)
    if (upper_ascii(f.name).find("_NEU") != std::string::npos || f.name.find(".mv") != std::string::npos) return true;
  return false;
}

std::vector<uint8_t> file_bytes(FileSystem& fs, const std::string& path) {
  auto f = fs.open(path, OpenMode::Read);
  if (!f) return {};
  std::vector<uint8_t> b(size_t((*f)->size().value()));
  EXPECT_TRUE((*f)->read_exact(0, b.data(), b.size()).is_ok());
  return b;
}

RestructureField kept_field(const StructRow& r) { return {r, r.name}; }

struct Case {
  const char* what;
  bool memo_before;
  // The new field list from the old one.
  std::function<std::vector<RestructureField>(const std::vector<StructRow>&)> fields;
  Expect expect;
  std::vector<std::string> orders;  // orders that survive (BET without its FOR condition too, for MDX)
  bool type_change = false;
};

std::vector<RestructureField> all_kept(const std::vector<StructRow>& rows) {
  std::vector<RestructureField> f;
  for (const auto& r : rows) f.push_back(kept_field(r));
  return f;
}

const std::vector<Case>& cases() {
  static const std::vector<Case> c{
      {"append a field", true,
       [](const std::vector<StructRow>& rows) {
         auto f = all_kept(rows);
         f.push_back({{"EXTRA", 'C', 5, 0}, ""});
         return f;
       },
       kept, {"NAME", "BET"}},
      {"insert before row 3", true,
       [](const std::vector<StructRow>& rows) {
         auto f = all_kept(rows);
         f.insert(f.begin() + 2, RestructureField{{"NEU", 'N', 5, 0}, ""});
         return f;
       },
       kept, {"NAME", "BET"}},
      {"delete rows 1 and 5 (orders on them left out)", true,
       [](const std::vector<StructRow>& rows) {
         auto f = all_kept(rows);
         f.erase(f.begin() + 4);
         f.erase(f.begin());
         return f;
       },
       kept, {}},
      {"widen the name", true,
       [](const std::vector<StructRow>& rows) {
         auto f = all_kept(rows);
         f[0].row.length = 30;
         return f;
       },
       kept, {"NAME", "BET"}},
      {"narrow the name (cut)", true,
       [](const std::vector<StructRow>& rows) {
         auto f = all_kept(rows);
         f[0].row.length = 6;
         return f;
       },
       [](const std::string& field, int i) { return field == "NAME" ? src_name(i).substr(0, 6) : kept(field, i); },
       {"NAME", "BET"}},
      {"C to N and D to C, text file left", true,
       [](const std::vector<StructRow>& rows) {
         auto f = all_kept(rows);
         f[1].row = {"NUMMER", 'N', 8, 1};
         f[3].row = {"DATUM", 'C', 10, 0};
         return f;
       },
       [](const std::string& field, int i) {
         if (field == "NUMMER") return std::to_string(i * 7) + ".0";
         return kept(field, i);
       },
       {"NAME", "BET"}, true},
      {"first memo field, from the name", false,
       [](const std::vector<StructRow>& rows) {
         auto f = all_kept(rows);
         f.push_back({{"NOTIZ", 'M', 10, 0}, "NAME"});
         return f;
       },
       [](const std::string& field, int i) { return field == "NOTIZ" ? src_name(i) : kept(field, i); },
       {"NAME", "BET"}},
      {"memo field removed", true,
       [](const std::vector<StructRow>& rows) {
         auto f = all_kept(rows);
         f.pop_back();
         return f;
       },
       kept, {"NAME", "BET"}},
      {"memo to text and back under another name", true,
       [](const std::vector<StructRow>& rows) {
         auto f = all_kept(rows);
         f.back() = {{"KURZ", 'C', 8, 0}, "NOTIZ"};
         f.push_back({{"LANG", 'M', 10, 0}, "NOTIZ"});
         return f;
       },
       [](const std::string& field, int i) {
         if (field == "KURZ") return src_notiz(i).substr(0, 8);
         if (field == "LANG") return src_notiz(i);
         return kept(field, i);
       },
       {"NAME", "BET"}},
  };
  return c;
}

class Restructure : public ::testing::TestWithParam<std::string> {
 protected:
  void SetUp() override { set_deleted_filter(false); }
};

TEST_P(Restructure, EveryCaseKeepsRecordsMemosFlagsAndOrders) {
  const std::string driver = GetParam();
  for (const Case& c : cases()) {
    SCOPED_TRACE(c.what);
    // In memory: the sequence of cases runs without waiting for the disk.
    fuzzing::MemFileSystem fs;
    const std::string dir = "/d/";
    make_source(fs, dir, driver, c.memo_before);
    const auto fields = c.fields(source_rows(c.memo_before));
    RestructureOptions opt;
    opt.driver = driver;
    if (!has_bag(driver)) opt.ntx_files = {dir + "KNAME.NTX", dir + "KBET.NTX"};
    if (c.type_change) opt.delimited_path = dir + "KUNDEN";
    uint64_t calls = 0, last_total = 0;
    opt.progress = [&](uint64_t done, uint64_t total) {
      ++calls;
      EXPECT_EQ(done, calls);
      last_total = total;
      return true;
    };
    // The filter that hides deleted records is on, as after every opening in the window:
    // the rebuild takes them all the same.
    set_deleted_filter(true);
    RestructureOutcome out = restructure_table(fs, dir + "KUNDEN.DBF", fields, opt);
    set_deleted_filter(false);
    ASSERT_TRUE(out.ok()) << out.message;
    EXPECT_EQ(calls, uint64_t(kRecords));
    EXPECT_EQ(last_total, uint64_t(kRecords));

    std::vector<StructRow> rows;
    bool memo_after = false;
    for (const auto& f : fields) {
      rows.push_back(f.row);
      memo_after |= f.row.type == 'M';
    }
    check_records(fs, dir + "KUNDEN.DBF", driver, rows, c.expect);
    std::vector<std::string> orders = c.orders;
    if (!bet_has_for(driver) && std::find(orders.begin(), orders.end(), "BET") == orders.end() &&
        std::any_of(fields.begin(), fields.end(), [](const auto& f) { return f.row.name == "BETRAG"; }))
      orders.push_back("BET");
    check_orders(fs, dir, driver, orders);

    // Orders left out are named; with none left the bag is gone with its table flag.
    std::vector<std::string> left;
    for (const char* o : {"NAME", "BET"})
      if (std::find(orders.begin(), orders.end(), o) == orders.end())
        left.push_back(has_bag(driver) ? o : upper_ascii(path_stem(ntx_file_of(o))));
    EXPECT_EQ(out.orders_left, left);
    const auto bytes = file_bytes(fs, dir + "KUNDEN.DBF");
    if (has_bag(driver)) {
      const std::string bag = driver == "DBFMDX" ? "KUNDEN.mdx" : "KUNDEN.CDX";
      EXPECT_EQ(fs.exists(dir + bag), !orders.empty());
      EXPECT_EQ((bytes[28] & 0x01) != 0, !orders.empty());
      if (driver == "DBFMDX" && !orders.empty()) {
        // The bag names its table by its final name.
        const auto mdx = file_bytes(fs, dir + bag);
        EXPECT_EQ(std::string(reinterpret_cast<const char*>(mdx.data()) + index::mdx::kTableName), "KUNDEN");
      }
    }
    // The memo file follows the memo fields; nothing else stays behind.
    const std::string memo = driver == "DBFCDX" ? "KUNDEN.FPT" : "KUNDEN.DBT";
    EXPECT_EQ(fs.exists(dir + memo), memo_after);
    EXPECT_FALSE(any_new_file(fs, dir));
    // The text file of a type change stays; it is never read back.
    EXPECT_EQ(fs.exists(dir + "KUNDEN.txt"), c.type_change);
  }
}

INSTANTIATE_TEST_SUITE_P(Drivers, Restructure, ::testing::Values("DBFNTX", "DBFCDX", "_DBFCDX", "DBFMDX"),
                         [](const auto& info) { return info.param[0] == '_' ? "U" + info.param.substr(1) : info.param; });

TEST(RestructureText, AnOldTextFileIsNeverImported) {
  set_deleted_filter(false);
  TempDir dir;
  make_source(FileSystem::posix(), dir.path() + "/", "DBFCDX", true);
  // A text file of an earlier run with other values: the rebuild writes its own and takes
  // the values from the table.
  {
    FILE* f = std::fopen(dir.file("KUNDEN.txt").c_str(), "wb");
    std::fputs("\"Falsch\",\"999\",1,20000101,T\r\n", f);
    std::fclose(f);
  }
  auto fields = all_kept(source_rows(true));
  fields[1].row = {"NUMMER", 'N', 8, 1};
  RestructureOptions opt;
  opt.driver = "DBFCDX";
  opt.delimited_path = dir.file("KUNDEN");
  RestructureOutcome out = restructure_table(FileSystem::posix(), dir.file("KUNDEN.DBF"), fields, opt);
  ASSERT_TRUE(out.ok()) << out.message;
  std::vector<StructRow> rows;
  for (const auto& f : fields) rows.push_back(f.row);
  check_records(FileSystem::posix(), dir.file("KUNDEN.DBF"), "DBFCDX", rows, [](const std::string& field, int i) {
    return field == "NUMMER" ? std::to_string(i * 7) + ".0" : kept(field, i);
  });
  const auto text = read_bytes(dir.file("KUNDEN.txt"));
  EXPECT_EQ(std::string(text.begin(), text.begin() + 16), "\"Name 1 Meier\",\"");
}

TEST(RestructureText, CompanionFilesKeepTheirSpelling) {
  set_deleted_filter(false);
  for (const char* driver : {"DBFCDX", "DBFMDX"}) {
    SCOPED_TRACE(driver);
    fuzzing::MemFileSystem fs;
    // A table named in lower case, its memo and bag found beside it in lower case too.
    ASSERT_TRUE(db_create("/d/kunden.dbf", source_rows(true), driver, CodePage::Cp850, &fs).is_ok());
    {
      auto t = open_ok("/d/kunden.dbf", false, false, driver, &fs);
      ASSERT_TRUE(t);
      MV_ASSERT_OK(t->append_blank());
      MV_ASSERT_OK(t->field_put("NOTIZ", Value::character("Text")));
      auto ol = OrderList::attach(*t);
      ASSERT_TRUE(ol.is_ok());
      MV_ASSERT_OK((*ol)->create_order("NAME", "", "NAME"));
      ol->reset();
      MV_ASSERT_OK(t->close());
    }
    auto before = fs.list("/d/");
    ASSERT_TRUE(before.is_ok());
    std::vector<std::string> names;
    for (const auto& e : *before) names.push_back(e.name);
    std::sort(names.begin(), names.end());
    RestructureOptions opt;
    opt.driver = driver;
    auto fields = all_kept(source_rows(true));
    fields[0].row.length = 25;
    ASSERT_TRUE(restructure_table(fs, "/d/kunden.dbf", fields, opt).ok());
    auto after = fs.list("/d/");
    ASSERT_TRUE(after.is_ok());
    std::vector<std::string> now;
    for (const auto& e : *after) now.push_back(e.name);
    std::sort(now.begin(), now.end());
    EXPECT_EQ(now, names);
    auto t = open_ok("/d/kunden.dbf", false, false, driver, &fs);
    ASSERT_TRUE(t);
    auto ol = OrderList::attach(*t);
    ASSERT_TRUE(ol.is_ok());
    EXPECT_EQ((*ol)->count(), 1u);
    MV_ASSERT_OK(t->go_top());
    EXPECT_EQ(str_field(*t, "NOTIZ"), "Text");
  }
}

TEST(RestructureText, TheTableKeepsTheCodePageItsMarkNames) {
  TempDir dir;
  const std::string path = dir.file("ANSI.DBF");
  ASSERT_TRUE(db_create(path, {{"NAME", 'C', 10, 0}}, "DBFCDX", CodePage::Windows1252).is_ok());
  {
    OpenOptions o;
    o.shared = false;
    o.driver = "DBFCDX";
    o.code_page = CodePage::Windows1252;
    auto t = Table::open(path, o);
    ASSERT_TRUE(t.is_ok());
    MV_ASSERT_OK((*t)->append_blank());
    MV_ASSERT_OK((*t)->field_put(1, Value::character("M\xFCller")));
    MV_ASSERT_OK((*t)->close());
  }
  const auto before = read_bytes(path);
  ASSERT_EQ(before[29], 0x03);
  RestructureOptions opt;
  opt.driver = "DBFCDX";
  ASSERT_TRUE(restructure_table(FileSystem::posix(), path, {{{"NAME", 'C', 12, 0}, "NAME"}}, opt).ok());
  const auto after = read_bytes(path);
  EXPECT_EQ(after[29], 0x03);
  const size_t hl = after[8] | after[9] << 8;
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(&after[hl + 1]), 12), "M\xFCller      ");
}

// OLE fields are ten-byte pointers into the table's ".DFL" file: a new table gets an empty
// one in the driver's memo format and blank pointers; a rebuild keeps the pointers and the
// file's objects, and a structure without OLE fields takes the file away with the swap.
TEST(RestructureText, OleFieldsKeepTheirObjectFile) {
  set_deleted_filter(false);
  fuzzing::MemFileSystem fs;
  ASSERT_TRUE(db_create("/d/KUNDEN.DBF", {{"NAME", 'C', 10, 0}, {"BILD", 'O', 10, 0}}, "DBFCDX", CodePage::Cp850, &fs)
                  .is_ok());
  const std::vector<uint8_t> empty_dfl = file_bytes(fs, "/d/KUNDEN.DFL");
  ASSERT_EQ(empty_dfl.size(), 512u);  // the memo header of the driver's format
  uint32_t header_length = 0;
  {
    auto t = open_ok("/d/KUNDEN.DBF", false, false, "DBFCDX", &fs);
    ASSERT_TRUE(t);
    MV_ASSERT_OK(t->append_blank());
    MV_ASSERT_OK(t->field_put("NAME", Value::character("Meier")));
    header_length = t->header_info().header_length;
    MV_ASSERT_OK(t->close());
  }
  std::vector<uint8_t> dbf = file_bytes(fs, "/d/KUNDEN.DBF");
  ASSERT_GE(dbf.size(), header_length + 21u);
  EXPECT_EQ(std::string(dbf.begin() + header_length + 11, dbf.begin() + header_length + 21), std::string(10, ' '));
  // Another program stored an object: a pointer in the record, its bytes in the file.
  {
    auto f = fs.open("/d/KUNDEN.DBF", OpenMode::ReadWrite);
    ASSERT_TRUE(f.is_ok());
    MV_ASSERT_OK((*f)->write_at(header_length + 11, "         1", 10));
    auto d = fs.open("/d/KUNDEN.DFL", OpenMode::ReadWrite);
    ASSERT_TRUE(d.is_ok());
    MV_ASSERT_OK((*d)->write_at(512, "OBJEKT", 6));
  }
  const std::vector<uint8_t> dfl = file_bytes(fs, "/d/KUNDEN.DFL");
  RestructureOptions opt;
  opt.driver = "DBFCDX";
  ASSERT_TRUE(restructure_table(fs, "/d/KUNDEN.DBF",
                                {{{"NAME", 'C', 20, 0}, "NAME"}, {{"BILD", 'O', 10, 0}, "BILD"}}, opt)
                  .ok());
  EXPECT_EQ(file_bytes(fs, "/d/KUNDEN.DFL"), dfl);
  dbf = file_bytes(fs, "/d/KUNDEN.DBF");
  ASSERT_GE(dbf.size(), header_length + 31u);
  EXPECT_EQ(std::string(dbf.begin() + header_length + 21, dbf.begin() + header_length + 31), "         1");
  ASSERT_TRUE(restructure_table(fs, "/d/KUNDEN.DBF", {{{"NAME", 'C', 20, 0}, "NAME"}}, opt).ok());
  EXPECT_FALSE(fs.exists("/d/KUNDEN.DFL"));
}

// Another program's bag written in the German key order: the rebuilt orders keep that
// order, so every walk is the same as before and the other program still finds its keys.
TEST(RestructureText, RebuiltOrdersKeepTheGermanKeyOrder) {
  set_deleted_filter(false);
  const std::string src = fixture_case("peer/national-cdx-cp1252");
  ASSERT_FALSE(src.empty());
  TempDir d;
  for (const char* f : {"ADRESSEN.DBF", "ADRESSEN.CDX"})
    std::filesystem::copy_file(src + "/" + f, d.file(f));
  auto walks = [&](std::vector<index::Collation::Kind>* kinds) {
    std::vector<std::vector<uint32_t>> all;
    OpenOptions o;
    o.shared = false;
    o.driver = "DBFCDX";
    o.code_page = CodePage::Windows1252;
    auto t = Table::open(d.file("ADRESSEN.DBF"), o);
    EXPECT_TRUE(t.is_ok());
    if (!t) return all;
    auto ol = OrderList::attach(**t);
    EXPECT_TRUE(ol.is_ok());
    if (!ol.is_ok()) return all;
    for (size_t n = 1; n <= (*ol)->count(); ++n) {
      EXPECT_TRUE((*ol)->set_order(n).is_ok());
      std::vector<uint32_t> w;
      for (Status st = (*t)->go_top(); st.is_ok() && !(*t)->eof(); st = (*t)->skip(1)) w.push_back((*t)->recno());
      all.push_back(std::move(w));
      if (kinds && (*ol)->tree(n)->keydef().type == index::KeyType::Character) kinds->push_back((*ol)->tree(n)->collation().kind());
    }
    return all;
  };
  std::vector<index::Collation::Kind> kinds;
  const auto before = walks(nullptr);
  ASSERT_FALSE(before.empty());
  RestructureOptions opt;
  opt.driver = "DBFCDX";
  opt.code_page = CodePage::Windows1252;
  std::vector<RestructureField> fields{{{"NAME", 'C', 30, 0}, "NAME"},   {{"ORT", 'C', 25, 0}, "ORT"},
                                       {{"BETRAG", 'N', 10, 2}, "BETRAG"}, {{"MENGE", 'N', 6, 0}, "MENGE"},
                                       {{"DATUM", 'D', 8, 0}, "DATUM"},    {{"AKTIV", 'L', 1, 0}, "AKTIV"}};
  const RestructureOutcome r = restructure_table(FileSystem::posix(), d.file("ADRESSEN.DBF"), fields, opt);
  ASSERT_TRUE(r.ok()) << r.message;
  EXPECT_EQ(walks(&kinds), before);
  ASSERT_FALSE(kinds.empty());
  for (auto k : kinds) EXPECT_EQ(k, index::Collation::Kind::German);
}

TEST(RestructureReaders, PerlXBaseReadsARebuiltTable) {
  if (test_tools::run_command("command -v dbf_dump 2>/dev/null").empty())
    GTEST_SKIP() << "dbf_dump (libdbd-xbase-perl) is not installed";
  set_deleted_filter(false);
  for (const char* driver : {"DBFNTX", "DBFCDX"}) {
    SCOPED_TRACE(driver);
    TempDir dir;
    make_source(FileSystem::posix(), dir.path() + "/", driver, true);
    auto fields = all_kept(source_rows(true));
    fields[0].row.length = 12;
    fields.insert(fields.begin() + 1, RestructureField{{"NEU", 'C', 3, 0}, ""});
    RestructureOptions opt;
    opt.driver = driver;
    ASSERT_TRUE(restructure_table(FileSystem::posix(), dir.file("KUNDEN.DBF"), fields, opt).ok());
    int st = 0;
    const std::string out =
        test_tools::run_command("dbf_dump --fs '|' '" + dir.file("KUNDEN.DBF") + "' 2>&1", &st);
    EXPECT_EQ(st, 0);
    // dbf_dump leaves deleted records out.
    std::string want;
    for (int i = 1; i <= kRecords; ++i) {
      if (std::find(kDeleted.begin(), kDeleted.end(), uint32_t(i)) != kDeleted.end()) continue;
      // Perl prints the amounts as numbers: 1.50 as 1.5, 6.00 as 6.
      std::string betrag = src_betrag(i);
      while (betrag.back() == '0') betrag.pop_back();
      if (betrag.back() == '.') betrag.pop_back();
      want += src_name(i).substr(0, 12) + "||" + src_nummer(i) + "|" + betrag + "|" + src_datum(i) + "|" +
              (i % 2 ? "1" : "0") + "|" + src_notiz(i) + "\n";
    }
    EXPECT_EQ(out, want);
  }
}

// ---------------------------------------------------------------- rename in place

TEST(RenameInPlace, OnlyTheTenNameBytesChange) {
  TempDir dir;
  const std::string path = dir.file("T.DBF");
  ASSERT_TRUE(db_create(path, {{"XNAME", 'C', 5, 0}, {"NAME", 'C', 8, 0}, {"BETRAG", 'N', 6, 2}}, "DBFCDX").is_ok());
  {
    auto t = open_ok(path);
    MV_ASSERT_OK(t->append_blank());
    MV_ASSERT_OK(t->field_put("NAME", Value::character("NAME")));
    MV_ASSERT_OK(t->close());
  }
  auto before = read_bytes(path);
  // Junk after a name's NUL does not keep it from matching.
  before[64 + 6] = 'Q';
  write_bytes(path, before);
  EXPECT_EQ(rename_field_in_place(FileSystem::posix(), path, "NAME", "KUNDE"), "");
  const auto after = read_bytes(path);
  ASSERT_EQ(after.size(), before.size());
  for (size_t i = 0; i < after.size(); ++i)
    if (i < 64 || i >= 74) {
      EXPECT_EQ(after[i], before[i]) << "byte " << i;
    }
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(&after[64]), 10), std::string("KUNDE\0\0\0\0\0", 10));
  auto t = open_ok(path);
  EXPECT_EQ(t->field_pos("KUNDE"), 2);
  EXPECT_EQ(t->field_pos("XNAME"), 1);
  MV_ASSERT_OK(t->go_top());
  EXPECT_EQ(str_field(*t, "KUNDE"), "NAME");
}

TEST(RenameInPlace, RefusalsChangeNothing) {
  TempDir dir;
  const std::string path = dir.file("T.DBF");
  ASSERT_TRUE(db_create(path, {{"XNAME", 'C', 5, 0}, {"NAME", 'C', 8, 0}}, "DBFNTX").is_ok());
  // Bytes outside the descriptors' name fields never count as a name.
  auto bytes = read_bytes(path);
  std::memcpy(&bytes[12], "AME", 3);
  write_bytes(path, bytes);
  const struct {
    const char* from;
    const char* to;
    const char* message;
  } rows[] = {
      {"AME", "B", "Der alte Feldname wurde nicht gefunden!"},
      {"NAM", "B", "Der alte Feldname wurde nicht gefunden!"},
      {"NAME", "XNAME", "Der Name des Datenfeldes wurde schon vergeben!"},
      {"NAME", "xname", "Der Name des Datenfeldes wurde schon vergeben!"},
      {"NAME", "", "Der Name des Datenfeldes fehlt!"},
  };
  for (const auto& r : rows) {
    SCOPED_TRACE(r.from);
    EXPECT_EQ(rename_field_in_place(FileSystem::posix(), path, r.from, r.to), r.message);
    EXPECT_EQ(read_bytes(path), bytes);
  }
}

}  // namespace
}  // namespace mv::testing
