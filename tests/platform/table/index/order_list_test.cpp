// The order list on a real table: orders created, kept right through appends, edits,
// deletes, pack and zap, read again after reopening; two handles in shared mode; the
// clear Status for a missing production bag, an unknown key expression, format limits
// and damaged index files.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <random>

#include <sys/wait.h>
#include <unistd.h>

#include "platform/table/index/order_list.h"
#include "platform/table/table.h"
#include "tests/platform/table/index/index_test_helpers.h"

namespace mv {
namespace {

using index::IndexFormat;

struct DriverCase {
  const char* driver;
  IndexFormat format;
  // Test lists show the driver, not the struct's bytes.
  friend void PrintTo(const DriverCase& c, std::ostream* os) { *os << c.driver; }
};

std::vector<StructRow> fields() {
  return {{"NAME", 'C', 20, 0}, {"BETRAG", 'N', 10, 2}, {"DATUM", 'D', 8, 0}, {"AKTIV", 'L', 1, 0}};
}

std::unique_ptr<Table> open_table(const std::string& path, const char* driver, bool shared = false) {
  OpenOptions o;
  o.shared = shared;
  o.driver = driver;
  auto t = Table::open(path, o);
  EXPECT_TRUE(t.is_ok()) << t.status().to_string();
  return t.is_ok() ? std::move(*t) : nullptr;
}

std::string random_name(std::mt19937& rng) {
  static const char* parts[] = {"Abel", "Mueller", "baecker", "Zorn", "Otto", "ebert", "Ulm", "Abt"};
  std::string s = parts[rng() % 8];
  if (rng() % 2) s += std::string(" ") + parts[rng() % 8];
  return s;
}

class OrderListWrites : public ::testing::TestWithParam<DriverCase> {
 protected:
  void SetUp() override {
    set_deleted_filter(true);
    dir_ = index_test::scratch_dir(std::string("orders_") + GetParam().driver);
    path_ = dir_ + "/KUNDEN.DBF";
    ASSERT_OK(db_create(path_, fields(), GetParam().driver));
    table_ = open_table(path_, GetParam().driver);
    ASSERT_TRUE(table_);
    auto ol = OrderList::attach(*table_);
    ASSERT_TRUE(ol.is_ok()) << ol.status().to_string();
    orders_ = std::move(*ol);
  }
  void TearDown() override { set_deleted_filter(true); }

  void create_orders() {
    const bool ntx = GetParam().format == IndexFormat::Ntx;
    CreateOrderOptions desc;
    desc.descending = true;
    CreateOrderOptions uniq;
    uniq.unique = true;
    CreateOrderOptions aktiv;
    aktiv.for_expr = "AKTIV";
    if (ntx) {
      ASSERT_OK(orders_->create_index("NAME", "UPPER(NAME)"));
      ASSERT_OK(orders_->create_index("BETRAG", "BETRAG", desc));
      ASSERT_OK(orders_->create_index("NAMEU", "NAME", uniq));
      ASSERT_OK(orders_->create_index("AKTIVF", "DTOS(DATUM)+NAME", aktiv));
    } else {
      ASSERT_OK(orders_->create_order("NAME", "", "UPPER(NAME)"));
      ASSERT_OK(orders_->create_order("BETRAG", "", "BETRAG", desc));
      ASSERT_OK(orders_->create_order("NAMEU", "", "NAME", uniq));
      if (GetParam().format == IndexFormat::Cdx) ASSERT_OK(orders_->create_order("AKTIVF", "", "DTOS(DATUM)+NAME", aktiv));
      else ASSERT_OK(orders_->create_order("DATUM", "", "DATUM"));
    }
  }

  void reopen() {
    orders_.reset();
    ASSERT_OK(table_->close());
    table_ = open_table(path_, GetParam().driver);
    ASSERT_TRUE(table_);
    auto ol = OrderList::attach(*table_);
    ASSERT_TRUE(ol.is_ok()) << ol.status().to_string();
    orders_ = std::move(*ol);
    if (GetParam().format == IndexFormat::Ntx)
      for (const char* f : {"NAME", "BETRAG", "NAMEU", "AKTIVF"}) ASSERT_OK(orders_->add_index_file(f));
    ASSERT_EQ(orders_->count(), 4u);
    ASSERT_TRUE(orders_->messages().empty()) << orders_->messages()[0];
  }

  // Every order: structural check, key count against the records, and a walk through
  // the table that visits each record of the order once in key order.
  void verify(const std::string& when) {
    SCOPED_TRACE(when);
    set_deleted_filter(false);
    ASSERT_OK(table_->commit());
    for (size_t n = 1; n <= orders_->count(); ++n) {
      SCOPED_TRACE(orders_->info(n).name);
      auto rep = orders_->check(n);
      ASSERT_TRUE(rep.is_ok()) << rep.status().to_string();
      ASSERT_OK(orders_->set_order(n));
      ASSERT_OK(table_->go_top());
      std::vector<uint32_t> seen;
      Value prev;
      while (!table_->eof()) {
        seen.push_back(table_->recno());
        auto kv = orders_->key_value();
        ASSERT_TRUE(kv.is_ok());
        if (!prev.is_nil()) {
          std::string a = index::encode_key(orders_->tree(n)->keydef(), prev);
          std::string b = index::encode_key(orders_->tree(n)->keydef(), *kv);
          index::KeyCompare cmp(orders_->tree(n)->keydef(), orders_->tree(n)->collation());
          int x = cmp(reinterpret_cast<const uint8_t*>(a.data()), reinterpret_cast<const uint8_t*>(b.data()), a.size());
          ASSERT_TRUE(orders_->info(n).descending ? x >= 0 : x <= 0) << "record " << table_->recno();
        }
        prev = *kv;
        ASSERT_OK(table_->skip(1));
        ASSERT_LE(seen.size(), table_->lastrec());
      }
      std::sort(seen.begin(), seen.end());
      ASSERT_TRUE(std::adjacent_find(seen.begin(), seen.end()) == seen.end());
      ASSERT_EQ(seen.size(), rep->keys);
    }
    ASSERT_OK(orders_->set_order(size_t(0)));
    set_deleted_filter(true);
  }

  std::string dir_, path_;
  std::unique_ptr<Table> table_;
  std::unique_ptr<OrderList> orders_;
};

TEST_P(OrderListWrites, OrdersStayRightThroughLongRunsOfWrites) {
  create_orders();
  ASSERT_EQ(orders_->count(), 4u);
  std::mt19937 rng(7);
  for (int step = 0; step < 900; ++step) {
    int op = int(rng() % 100);
    if (op < 45 || table_->lastrec() == 0) {
      ASSERT_OK(table_->append_blank());
      ASSERT_OK(table_->field_put("NAME", Value::character(random_name(rng))));
      ASSERT_OK(table_->field_put("BETRAG", Value::numeric(double(int(rng() % 2000) - 1000) / 4, 10, 2)));
      ASSERT_OK(table_->field_put("DATUM", Value::of_date(Date::from_julian(2450000 + int(rng() % 3000)))));
      ASSERT_OK(table_->field_put("AKTIV", Value::boolean(rng() % 2)));
    } else if (op < 80) {
      ASSERT_OK(table_->go_to(uint32_t(rng() % table_->lastrec()) + 1));
      if (rng() % 2) ASSERT_OK(table_->field_put("NAME", Value::character(random_name(rng))));
      else ASSERT_OK(table_->field_put("AKTIV", Value::boolean(rng() % 2)));
      if (rng() % 3 == 0) ASSERT_OK(table_->field_put("BETRAG", Value::numeric(double(rng() % 100), 10, 2)));
    } else if (op < 92) {
      ASSERT_OK(table_->go_to(uint32_t(rng() % table_->lastrec()) + 1));
      ASSERT_OK(rng() % 3 ? table_->delete_record() : table_->recall());
    } else if (op < 94) {
      ASSERT_OK(table_->pack());
    } else if (op < 99) {
      // SEEK on the name order: the hit has the key, or the key is not there at all.
      ASSERT_OK(orders_->set_order("NAME"));
      std::string name = random_name(rng);
      for (char& c : name) c = char(std::toupper(uint8_t(c)));
      auto found = orders_->seek(Value::character(name), false);
      ASSERT_TRUE(found.is_ok());
      if (*found) {
        auto kv = orders_->key_value();
        ASSERT_EQ(kv->str.substr(0, name.size()), name);
        ASSERT_FALSE(table_->deleted());
      } else {
        ASSERT_TRUE(table_->eof());
      }
      ASSERT_OK(orders_->set_order(size_t(0)));
    } else {
      reopen();
    }
    if (step % 150 == 149) verify("step " + std::to_string(step));
    if (HasFatalFailure()) return;
  }
  verify("end");
  reopen();
  verify("after reopening");
  EXPECT_GT(table_->lastrec(), 100u);
  ASSERT_OK(table_->zap());
  verify("after zap");
}

// Appends in exclusive mode reach the orders in large sorted batches that go in a slice
// of keys at a time, leaf run by leaf run; runs longer than a slice, with names from a few
// hundred values (many equal keys) and a short walk in between (which puts the batch
// collected so far in), leave every order complete and in key order.
TEST_P(OrderListWrites, AppendsLongerThanABatchKeepEveryOrderRight) {
  create_orders();
  std::mt19937 rng(23);
  std::vector<std::string> names(300);
  for (auto& n : names) n = random_name(rng);
  for (int i = 0; i < 40000; ++i) {
    ASSERT_OK(table_->append_blank());
    ASSERT_OK(table_->field_put("NAME", Value::character(names[rng() % names.size()])));
    ASSERT_OK(table_->field_put("BETRAG", Value::numeric(double(int(rng() % 20000) - 10000) / 4, 10, 2)));
    ASSERT_OK(table_->field_put("DATUM", Value::of_date(Date::from_julian(2450000 + int(rng() % 3000)))));
    ASSERT_OK(table_->field_put("AKTIV", Value::boolean(rng() % 2)));
    if (i == 20000) {
      ASSERT_OK(orders_->set_order("NAME"));
      ASSERT_OK(table_->go_top());
      for (int k = 0; k < 50 && !table_->eof(); ++k) ASSERT_OK(table_->skip(1));
      ASSERT_OK(orders_->set_order(size_t(0)));
    }
  }
  verify("after the appends");
}

INSTANTIATE_TEST_SUITE_P(Drivers, OrderListWrites,
                         ::testing::Values(DriverCase{"DBFNTX", IndexFormat::Ntx},
                                           DriverCase{"DBFCDX", IndexFormat::Cdx},
                                           DriverCase{"DBFMDX", IndexFormat::Mdx}),
                         [](const auto& info) { return std::string(info.param.driver); });

// Tables written by a dBASE IV-compatible program: its UPPER() folds every accented letter
// of the code page and its DTOS() keys the empty date as "18991230". Copies of the
// fixtures open writable, keep every order right through a run of edits, appends and
// deletes, and open writable again; a new tag computes its keys the same way.
class PeerMdxWrites : public ::testing::TestWithParam<const char*> {
 protected:
  // The key of every record by the dBASE family's rules, computed here from the record.
  static std::string peer_key(Table& t, const index::TreeOrder& o, uint32_t recno) {
    struct Fields final : FieldResolver {
      explicit Fields(const Table& t) : t(t) {}
      std::optional<FieldRef> resolve(std::string_view, std::string_view name) override {
        int pos = t.field_pos(name);
        if (pos == 0) return std::nullopt;
        const FieldInfo& f = t.field(pos);
        FieldRef r;
        r.len = int(f.length);
        r.dec = f.decimals;
        r.offset = f.offset;
        if (f.type == 'C') r.type = ValueType::Character, r.storage = FieldStorage::Character;
        else if (f.type == 'N') r.type = ValueType::Numeric, r.storage = FieldStorage::NumericText;
        else if (f.type == 'D') r.type = ValueType::Date, r.storage = FieldStorage::DateText;
        else return std::nullopt;
        return r;
      }
      const Table& t;
    } fields(t);
    ExprOptions opt;
    opt.code_page = t.code_page();
    opt.literals_utf8 = false;
    opt.case_flavour = CaseFlavour::Full;
    opt.dtos_empty_day_zero = true;
    Expression e = Expression::compile(o.info().key_expr, opt, &fields);
    EXPECT_TRUE(e.ok()) << o.info().key_expr;
    std::vector<uint8_t> rec;
    EXPECT_TRUE(t.read_record(recno, rec).is_ok());
    const Value* v = e.evaluate({rec.data(), rec.size(), recno, nullptr});
    EXPECT_NE(v, nullptr);
    return v ? index::encode_key(o.keydef(), *v) : std::string();
  }

  // Every order: writable, the structural check, and its entries against the keys of the
  // records (all records for a plain order; for a unique one each entry's own record).
  static void verify(Table& t, OrderList& ol, const std::string& when) {
    SCOPED_TRACE(when);
    ASSERT_OK(t.commit());
    for (size_t n = 1; n <= ol.count(); ++n) {
      index::TreeOrder& o = *ol.tree(n);
      SCOPED_TRACE(o.info().name);
      ASSERT_EQ(ol.problem(n), "");
      auto rep = ol.check(n);
      ASSERT_TRUE(rep.is_ok()) << rep.status().to_string();
      std::vector<std::pair<std::string, uint32_t>> stored, want;
      index::Cursor c;
      ASSERT_OK(o.first(c));
      while (c.valid()) {
        std::string key(reinterpret_cast<const char*>(o.key_at(c)), o.keydef().length);
        // The other program's numbers count their digits differently: compared as values.
        if (o.keydef().type == index::KeyType::Numeric)
          key = index::encode_key(o.keydef(), index::decode_key(o.keydef(), {o.key_at(c), o.keydef().length}));
        stored.push_back({key, o.recno_at(c)});
        ASSERT_OK(o.next(c));
      }
      ASSERT_EQ(stored.size(), rep->keys);
      if (o.info().unique) {
        for (const auto& [key, recno] : stored) ASSERT_EQ(key, peer_key(t, o, recno)) << "record " << recno;
        continue;
      }
      for (uint32_t r = 1; r <= t.lastrec(); ++r) want.push_back({peer_key(t, o, r), r});
      std::sort(stored.begin(), stored.end());
      std::sort(want.begin(), want.end());
      ASSERT_TRUE(stored == want);
    }
  }
};

TEST_P(PeerMdxWrites, FixtureTablesOpenWritableAndStayRight) {
  const std::string src = index_test::fixture_root() + "/peer-mdx/" + GetParam();
  auto expected = index_test::read_json_file(src + "/expected.json");
  ASSERT_TRUE(expected);
  const std::string dir = index_test::scratch_dir("peer");
  for (const auto& f : std::filesystem::directory_iterator(src))
    std::filesystem::copy_file(f.path(), dir + "/" + f.path().filename().string());
  const std::string path = dir + "/" + (*expected)["files"].items[0].text;
  OpenOptions oo;
  oo.shared = false;
  oo.driver = "DBFMDX";
  oo.code_page = index_test::code_page_of((*expected)["header"]["codepage"].text);
  set_deleted_filter(false);
  auto t = Table::open(path, oo);
  ASSERT_TRUE(t.is_ok()) << t.status().to_string();
  auto ol = OrderList::attach(**t);
  ASSERT_TRUE(ol.is_ok()) << ol.status().to_string();
  ASSERT_EQ((*ol)->count(), (*expected)["orders"].items.size());
  ASSERT_TRUE((*ol)->messages().empty()) << (*ol)->messages()[0];
  verify(**t, **ol, "as written by the other program");

  Table& tb = **t;
  const CodePage cp = tb.code_page();
  auto text = [&](const char* utf8) { return Value::character(cp_from_utf8(cp, utf8).value()); };
  // Names and places whose accents only the full UPPER() folds, and empty dates.
  const char* names[] = {"éclair", "Ñandú", "øre Ångström", "çà et là", "müller", "Brötchen", "abel", "ZORN"};
  const char* places[] = {"Écully", "señora", "Åre", "wien", "Graz", "œuvre"};
  std::mt19937 rng(11);
  for (int step = 0; step < 400; ++step) {
    const int op = int(rng() % 10);
    if (op < 4) {
      ASSERT_OK(tb.append_blank());
    } else {
      ASSERT_OK(tb.go_to(uint32_t(rng() % tb.lastrec()) + 1));
      if (op == 9) {
        ASSERT_OK(rng() % 3 ? tb.delete_record() : tb.recall());
        continue;
      }
    }
    ASSERT_OK(tb.field_put("NAME", text(names[rng() % 8])));
    const char* place = places[rng() % 6];
    if (cp != CodePage::Cp850 || std::string(place) != "œuvre") ASSERT_OK(tb.field_put("ORT", text(place)));
    ASSERT_OK(tb.field_put("BETRAG", Value::numeric(double(int(rng() % 4000) - 2000) / 4, 10, 2)));
    ASSERT_OK(tb.field_put("MENGE", Value::numeric(double(rng() % 500), 6, 0)));
    ASSERT_OK(tb.field_put("DATUM", Value::of_date(rng() % 4 ? Date::from_julian(2450000 + int(rng() % 5000)) : Date())));
    if (HasFatalFailure()) return;
  }
  verify(tb, **ol, "after the edits");

  // Reopened: still writable; a new tag keys as the others do.
  ol->reset();
  ASSERT_OK(tb.close());
  t = Table::open(path, oo);
  ASSERT_TRUE(t.is_ok()) << t.status().to_string();
  ol = OrderList::attach(**t);
  ASSERT_TRUE(ol.is_ok());
  ASSERT_TRUE((*ol)->messages().empty()) << (*ol)->messages()[0];
  ASSERT_OK((*ol)->create_order("ORTD", "", "UPPER(ORT)+DTOS(DATUM)+UPPER(NAME)"));
  verify(**t, **ol, "after reopening, with a new tag");
  set_deleted_filter(true);
}

INSTANTIATE_TEST_SUITE_P(Fixtures, PeerMdxWrites, ::testing::Values("mdx-dbt4", "mdx-dbt3", "mdx-maintained"),
                         [](const auto& info) {
                           std::string n = info.param;
                           for (char& c : n)
                             if (c == '-') c = '_';
                           return n;
                         });

// An MDX order whose keys were computed with a-z-only UPPER() and blank DTOS() of the empty
// date (as our own earlier files) keeps those rules: the stored keys decide, not the family.
TEST(PeerMdxRules, StoredKeysDecideHowKeysAreComputed) {
  const std::string dir = index_test::scratch_dir("own_rules");
  const std::string path = dir + "/T.DBF";
  ASSERT_OK(db_create(path, {{"NAME", 'C', 10, 0}, {"DATUM", 'D', 8, 0}}, "DBFMDX", CodePage::Windows1252));
  OpenOptions oo;
  oo.shared = false;
  oo.driver = "DBFMDX";
  oo.code_page = CodePage::Windows1252;
  {
    auto t = std::move(Table::open(path, oo).value());
    for (const auto& [name, date] : {std::pair<const char*, Date>{"\xe9" "clair", Date::from_ymd(2020, 1, 1)},
                                     {"abel", Date()}, {"Zorn", Date::from_ymd(2021, 5, 5)}}) {
      ASSERT_OK(t->append_blank());
      ASSERT_OK(t->field_put("NAME", Value::character(name)));
      ASSERT_OK(t->field_put("DATUM", Value::of_date(date)));
    }
    ASSERT_OK(t->close());
  }
  {
    index::BagOptions bo;
    bo.table_name = "T";
    bo.language_driver = 0x57;
    auto bag = index::IndexBag::create_bag(FileSystem::posix(), dir + "/T.mdx", IndexFormat::Mdx, bo);
    ASSERT_TRUE(bag.is_ok()) << bag.status().to_string();
    auto tag = [&](const char* name, const char* expr, uint16_t len, const std::string& keys) {
      index::OrderInfo info;
      info.name = name;
      info.key_expr = expr;
      info.keydef = {IndexFormat::Mdx, index::KeyType::Character, len, 0};
      auto o = (*bag)->add_tag(info);
      ASSERT_TRUE(o.is_ok()) << o.status().to_string();
      ASSERT_OK((*o)->build(std::vector<uint8_t>(keys.begin(), keys.end()), {1, 2, 3}));
    };
    tag("NAME", "UPPER(NAME)", 10, "\xe9" "CLAIR    ABEL      ZORN      ");
    tag("DATUM", "DTOS(DATUM)", 8, "20200101        20210505");
    ASSERT_OK((*bag)->flush());
  }
  auto t = std::move(Table::open(path, oo).value());
  auto ol = OrderList::attach(*t);
  ASSERT_TRUE(ol.is_ok()) << ol.status().to_string();
  ASSERT_EQ((*ol)->count(), 2u);
  ASSERT_TRUE((*ol)->messages().empty()) << (*ol)->messages()[0];
  ASSERT_OK(t->append_blank());
  ASSERT_OK(t->field_put("NAME", Value::character("\xe7" "a")));
  ASSERT_OK(t->commit());
  for (size_t n = 1; n <= 2; ++n) ASSERT_TRUE((*ol)->check(n).is_ok()) << n;
  auto key_of = [&](size_t n, uint32_t recno) {
    index::TreeOrder& o = *(*ol)->tree(n);
    index::Cursor c;
    EXPECT_TRUE(o.first(c).is_ok());
    while (c.valid() && o.recno_at(c) != recno) EXPECT_TRUE(o.next(c).is_ok());
    return c.valid() ? std::string(reinterpret_cast<const char*>(o.key_at(c)), o.keydef().length) : std::string();
  };
  EXPECT_EQ(key_of(1, 4), "\xe7" "A        ");
  EXPECT_EQ(key_of(2, 4), "        ");
  // A new tag in that bag keys as its orders do.
  ASSERT_OK((*ol)->create_order("BEIDE", "", "UPPER(NAME)+DTOS(DATUM)"));
  EXPECT_EQ(key_of(3, 4), "\xe7" "A                ");
  EXPECT_EQ(key_of(3, 1), "\xe9" "CLAIR    20200101");
}

// A dBASE table whose language driver sorts in an order we do not know: its character
// orders are read (the writer's order) but never changed, and no new one is built.
TEST(PeerMdxRules, UnknownLanguageDriverCollationKeepsTheTableUnchanged) {
  const std::string src = index_test::fixture_root() + "/peer-mdx/codepages/cp850-de";
  const std::string dir = index_test::scratch_dir("collated");
  for (const auto& f : std::filesystem::directory_iterator(src))
    std::filesystem::copy_file(f.path(), dir + "/" + f.path().filename().string());
  OpenOptions oo;
  oo.shared = false;
  oo.driver = "DBFMDX";
  auto t = Table::open(dir + "/umlaut.dbf", oo);
  ASSERT_TRUE(t.is_ok()) << t.status().to_string();
  auto ol = OrderList::attach(**t);
  ASSERT_TRUE(ol.is_ok()) << ol.status().to_string();
  ASSERT_EQ((*ol)->count(), 3u);
  for (size_t n = 1; n <= 3; ++n) EXPECT_NE((*ol)->problem(n).find("0x10"), std::string::npos) << n;
  const uint32_t before = (*t)->lastrec();
  EXPECT_EQ((*t)->append_blank().kind(), StatusKind::ReadOnly);
  EXPECT_EQ((*t)->lastrec(), before);
  Status st = (*ol)->create_order("ORTX", "", "UPPER(ORT)");
  EXPECT_EQ(st.kind(), StatusKind::NotSupported) << st.to_string();
  EXPECT_EQ((*ol)->count(), 3u);
}

// Two handles on one table in shared mode, as two programs would hold it.
TEST_P(OrderListWrites, TwoSharedHandlesKeepOneIndexRight) {
  create_orders();
  orders_.reset();
  ASSERT_OK(table_->close());
  auto a = open_table(path_, GetParam().driver, true);
  auto b = open_table(path_, GetParam().driver, true);
  ASSERT_TRUE(a && b);
  auto oa = OrderList::attach(*a);
  auto ob = OrderList::attach(*b);
  ASSERT_TRUE(oa.is_ok() && ob.is_ok());
  if (GetParam().format == IndexFormat::Ntx)
    for (const char* f : {"NAME", "BETRAG", "NAMEU", "AKTIVF"}) {
      ASSERT_OK((*oa)->add_index_file(f));
      ASSERT_OK((*ob)->add_index_file(f));
    }
  std::mt19937 rng(11);
  for (int i = 0; i < 200; ++i) {
    Table& t = i % 2 ? *a : *b;
    if (i % 3 == 0 && t.lastrec() > 0) {
      ASSERT_OK(t.go_to(uint32_t(rng() % t.lastrec()) + 1));
      ASSERT_OK(t.field_put("NAME", Value::character(random_name(rng))));
    } else {
      ASSERT_OK(t.append_blank());
      ASSERT_OK(t.field_put("NAME", Value::character(random_name(rng))));
      ASSERT_OK(t.field_put("BETRAG", Value::numeric(double(i), 10, 2)));
      ASSERT_OK(t.field_put("AKTIV", Value::boolean(i % 2)));
    }
  }
  for (auto* ol : {oa->get(), ob->get()}) {
    for (size_t n = 1; n <= ol->count(); ++n) {
      auto rep = ol->check(n);
      ASSERT_TRUE(rep.is_ok()) << ol->info(n).name << ": " << rep.status().to_string();
    }
  }
}

// Two processes append to and edit one shared table with its orders open; afterwards
// every order holds exactly the records it should, in key order.
TEST_P(OrderListWrites, TwoProcessesKeepOneIndexRight) {
  create_orders();
  orders_.reset();
  ASSERT_OK(table_->close());
  table_.reset();
  auto work = [&](uint32_t seed) -> Status {
    OpenOptions oo;
    oo.shared = true;
    oo.driver = GetParam().driver;
    auto t = Table::open(path_, oo);
    if (!t.is_ok()) return t.status();
    auto ol = OrderList::attach(**t);
    if (!ol.is_ok()) return ol.status();
    if (GetParam().format == IndexFormat::Ntx)
      for (const char* f : {"NAME", "BETRAG", "NAMEU", "AKTIVF"}) MV_RETURN_IF_ERROR((*ol)->add_index_file(f));
    std::mt19937 rng(seed);
    // A lock held by the other process is a Status, not a wait: try again (for up to
    // ten seconds, as a loaded machine may keep the other process from running).
    auto retry = [](auto&& op) {
      for (int i = 0; i < 50000; ++i) {
        Status st = op();
        if (st.kind() != StatusKind::Locked) return st;
        usleep(200);
      }
      return Status::locked("SHARING: gave up");
    };
    Table& tb = **t;
    for (int i = 0; i < 150; ++i) {
      MV_RETURN_IF_ERROR(retry([&] { return tb.append_blank(); }));
      MV_RETURN_IF_ERROR(retry([&] { return tb.field_put("NAME", Value::character(random_name(rng))); }));
      MV_RETURN_IF_ERROR(retry([&] { return tb.field_put("AKTIV", Value::boolean(rng() % 2)); }));
      if (i % 5 == 4) {
        MV_RETURN_IF_ERROR(retry([&] { return tb.go_to(uint32_t(rng() % tb.lastrec()) + 1); }));
        MV_RETURN_IF_ERROR(retry([&] { return tb.field_put("BETRAG", Value::numeric(double(rng() % 1000), 10, 2)); }));
      }
    }
    return Status::ok();
  };
  pid_t child = fork();
  if (child == 0) {
    Status st = work(101);
    if (!st.is_ok()) std::fprintf(stderr, "child: %s\n", st.to_string().c_str());
    _exit(st.is_ok() ? 0 : 1);
  }
  const Status parent = work(202);
  int status = 0;
  waitpid(child, &status, 0);
  ASSERT_TRUE(parent.is_ok()) << parent.to_string();
  ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  table_ = open_table(path_, GetParam().driver);
  auto ol = OrderList::attach(*table_);
  ASSERT_TRUE(ol.is_ok());
  orders_ = std::move(*ol);
  if (GetParam().format == IndexFormat::Ntx)
    for (const char* f : {"NAME", "BETRAG", "NAMEU", "AKTIVF"}) ASSERT_OK(orders_->add_index_file(f));
  EXPECT_EQ(table_->lastrec(), 300u);
  verify("after two processes");
}

TEST(OrderListOpening, MissingProductionBagGivesAClearStatus) {
  for (const char* driver : {"DBFCDX", "DBFMDX"}) {
    SCOPED_TRACE(driver);
    std::string dir = index_test::scratch_dir(std::string("missing_") + driver);
    std::string path = dir + "/ADRESSEN.DBF";
    ASSERT_OK(db_create(path, fields(), driver));
    {
      auto t = open_table(path, driver);
      auto ol = OrderList::attach(*t);
      ASSERT_TRUE(ol.is_ok());
      ASSERT_OK((*ol)->create_order("NAME", "", "NAME"));
    }
    for (auto& f : std::filesystem::directory_iterator(dir))
      if (f.path().extension() != ".DBF") std::filesystem::remove(f.path());
    auto t = open_table(path, driver);
    auto ol = OrderList::attach(*t);
    ASSERT_FALSE(ol.is_ok());
    EXPECT_EQ(ol.status().kind(), StatusKind::NotFound);
    EXPECT_NE(ol.status().message().find("fehlt"), std::string::npos) << ol.status().message();
    OrderListOptions lenient;
    lenient.require_production = false;
    auto ol2 = OrderList::attach(*t, lenient);
    ASSERT_TRUE(ol2.is_ok());
    EXPECT_EQ((*ol2)->count(), 0u);
    EXPECT_EQ((*ol2)->messages().size(), 1u);
    // Creating the first order again writes the bag anew.
    ASSERT_OK((*ol2)->create_order("NAME", "", "NAME"));
    EXPECT_EQ((*ol2)->count(), 1u);
  }
}

// Opening reads only the first keys of an order to tell its collation. When those hold no
// umlaut, the order written in the German order is still taken as German once a key is
// sought or written: SEEK finds the umlaut where the German order put it, and an appended
// record goes where it belongs.
TEST(OrderListOpening, GermanOrderIsToldBeyondTheFirstKeys) {
  for (const char* driver : {"DBFNTX", "DBFCDX"}) {
    SCOPED_TRACE(driver);
    const std::string dir = index_test::scratch_dir(std::string("german_late_") + driver);
    const std::string path = dir + "/NAMEN.DBF";
    ASSERT_OK(db_create(path, fields(), driver));
    char ae = 0;
    {
      auto t = open_table(path, driver);
      ae = t->code_page() == CodePage::Windows1252 ? char(0xC4) : char(0x8E);
      std::vector<std::string> names;
      for (int i = 0; i < 6000; ++i) names.push_back("A" + std::to_string(100000 + i));
      names.push_back(std::string(1, ae) + "rger");
      for (int i = 0; i < 50; ++i) names.push_back("B" + std::to_string(100 + i));
      for (const std::string& n : names) {
        ASSERT_OK(t->append_blank());
        ASSERT_OK(t->field_put(1, Value::character(n)));
      }
      auto ol = OrderList::attach(*t);
      ASSERT_TRUE(ol.is_ok());
      ASSERT_OK(std::string(driver) == "DBFNTX" ? (*ol)->create_index("NAMEN", "NAME")
                                                : (*ol)->create_order("NAME", "", "NAME"));
      // The file as a program of the German order writes it.
      index::TreeOrder* tree = (*ol)->tree(1);
      const index::Collation german = index::Collation::german(t->code_page());
      tree->set_collation(german);
      std::vector<uint8_t> keys;
      std::vector<uint32_t> recnos;
      for (uint32_t r = 1; r <= names.size(); ++r) {
        std::string k = names[r - 1];
        k.resize(20, ' ');
        keys.insert(keys.end(), k.begin(), k.end());
        recnos.push_back(r);
      }
      ASSERT_OK(tree->build(std::move(keys), std::move(recnos)));
      ASSERT_OK((*ol)->flush());
      // Far from the umlaut a seek lands alike in every key order; next to it, not.
      auto alike = [&](const std::string& k) {
        auto r = tree->seeks_alike_in_every_collation({reinterpret_cast<const uint8_t*>(k.data()), k.size()});
        return r.is_ok() && *r;
      };
      EXPECT_TRUE(alike("A103000"));
      EXPECT_FALSE(alike("B100"));
      EXPECT_FALSE(alike(std::string(1, ae)));
    }
    auto t = open_table(path, driver);
    auto ol = OrderList::attach(*t);
    ASSERT_TRUE(ol.is_ok());
    if (std::string(driver) == "DBFNTX") ASSERT_OK((*ol)->add_index_file("NAMEN"));
    ASSERT_EQ((*ol)->count(), 1u);
    ASSERT_OK((*ol)->set_order(1));
    // The first seek needs no walk; the next ones, near the umlaut, wait for it.
    const std::pair<std::string, uint32_t> seeks[] = {{"A103000", 3001}, {"B100", 6002}, {std::string(1, ae), 6001}};
    for (const auto& [key, recno] : seeks) {
      auto f = (*ol)->seek(Value::character(key), false);
      ASSERT_TRUE(f.is_ok()) << f.status().to_string();
      EXPECT_TRUE(*f) << key;
      EXPECT_EQ(t->recno(), recno) << key;
    }
    ASSERT_OK(t->append_blank());
    ASSERT_OK(t->field_put(1, Value::character(std::string(1, ae) + "a")));
    ASSERT_OK(t->commit());
    auto f = (*ol)->seek(Value::character(std::string(1, ae) + "a"), false);
    ASSERT_TRUE(f.is_ok() && *f);
    EXPECT_EQ(t->recno(), 6052u);
    auto rep = (*ol)->check(1);
    ASSERT_TRUE(rep.is_ok()) << rep.status().to_string();
    EXPECT_EQ(rep->keys, 6052u);
    EXPECT_EQ((*ol)->tree(1)->collation().kind(), index::Collation::Kind::German);
  }
}

// An order whose key we cannot compute is read but never changed: every write of the
// table is refused with the reason.
TEST(OrderListOpening, UnknownKeyExpressionMakesTheTableReadOnly) {
  std::string dir = index_test::scratch_dir("unknown_key");
  std::string path = dir + "/T.DBF";
  ASSERT_OK(db_create(path, fields(), "DBFNTX"));
  {
    auto t = open_table(path, "DBFNTX");
    ASSERT_OK(t->append_blank());
    ASSERT_OK(t->field_put("NAME", Value::character("Abel")));
    ASSERT_OK(t->append_blank());
    ASSERT_OK(t->field_put("NAME", Value::character("Zorn")));
    ASSERT_OK(t->close());
  }
  index::OrderInfo info;
  info.name = "ODD";
  info.key_expr = "NOSUCHFN(NAME)";
  info.keydef = {IndexFormat::Ntx, index::KeyType::Character, 20, 0};
  auto bag = index::IndexBag::create_ntx(FileSystem::posix(), dir + "/ODD.NTX", info, {});
  ASSERT_TRUE(bag.is_ok());
  std::string a(20, ' '), z(20, ' ');
  a.replace(0, 4, "ABEL");
  z.replace(0, 4, "ZORN");
  std::vector<uint8_t> keys(z.begin(), z.end());
  keys.insert(keys.end(), a.begin(), a.end());
  ASSERT_OK((*bag)->order(0)->build(std::move(keys), {2, 1}));
  bag->reset();

  auto t = open_table(path, "DBFNTX");
  auto ol = OrderList::attach(*t);
  ASSERT_TRUE(ol.is_ok());
  ASSERT_OK((*ol)->add_index_file("ODD.NTX"));
  ASSERT_EQ((*ol)->messages().size(), 1u);
  EXPECT_NE((*ol)->problem(1).find("NOSUCHFN"), std::string::npos) << (*ol)->problem(1);
  // Read: the order walks as stored.
  ASSERT_OK((*ol)->set_order(1));
  ASSERT_OK(t->go_top());
  EXPECT_EQ(t->recno(), 1u);
  ASSERT_OK(t->skip(1));
  EXPECT_EQ(t->recno(), 2u);
  // Written: refused with the reason.
  Status st = t->append_blank();
  EXPECT_EQ(st.kind(), StatusKind::ReadOnly);
  EXPECT_NE(st.message().find("NOSUCHFN"), std::string::npos) << st.message();
  EXPECT_EQ(t->lastrec(), 2u);
  st = t->field_put("NAME", Value::character("Otto"));
  EXPECT_EQ(st.kind(), StatusKind::ReadOnly);
}

TEST(OrderListOpening, FormatLimitsGiveAClearStatus) {
  std::string dir = index_test::scratch_dir("limits");
  std::string path = dir + "/T.DBF";
  std::vector<StructRow> f = fields();
  f.push_back({"LANG", 'C', 120, 0});
  ASSERT_OK(db_create(path, f, "DBFMDX"));
  auto t = open_table(path, "DBFMDX");
  auto ol = OrderList::attach(*t);
  ASSERT_TRUE(ol.is_ok());
  Status st = (*ol)->create_order("LANG", "", "LANG");  // 120 bytes: MDX keys hold 100
  EXPECT_EQ(st.kind(), StatusKind::InvalidArgument);
  EXPECT_NE(st.message().find("100"), std::string::npos) << st.message();
  st = (*ol)->create_order("VIEL_ZU_LANG", "", "NAME");
  EXPECT_EQ(st.kind(), StatusKind::InvalidArgument) << st.to_string();
  CreateOrderOptions aktiv;
  aktiv.for_expr = "AKTIV";
  st = (*ol)->create_order("AKTIVF", "", "NAME", aktiv);
  EXPECT_EQ(st.kind(), StatusKind::NotSupported) << st.to_string();
  for (int i = 0; i < 47; ++i) ASSERT_OK((*ol)->create_order("T" + std::to_string(i), "", "NAME"));
  st = (*ol)->create_order("T47", "", "NAME");
  EXPECT_EQ(st.kind(), StatusKind::InvalidArgument);
  EXPECT_NE(st.message().find("47"), std::string::npos) << st.message();
  EXPECT_EQ((*ol)->count(), 47u);
}

// Damaged index pages: a Status from opening, walking or the check, never a crash.
TEST(OrderListOpening, DamagedIndexFilesGiveCorrupt) {
  for (const char* driver : {"DBFNTX", "DBFCDX", "DBFMDX"}) {
    SCOPED_TRACE(driver);
    std::string dir = index_test::scratch_dir(std::string("damaged_") + driver);
    std::string path = dir + "/T.DBF";
    ASSERT_OK(db_create(path, fields(), driver));
    std::string file;
    {
      auto t = open_table(path, driver);
      auto ol = OrderList::attach(*t);
      ASSERT_TRUE(ol.is_ok());
      for (int i = 0; i < 400; ++i) {
        ASSERT_OK(t->append_blank());
        ASSERT_OK(t->field_put("NAME", Value::character("Name " + std::to_string(i * 7919 % 400))));
      }
      ASSERT_OK((*ol)->create_order("NAME", "", "NAME"));
      file = (*ol)->info(1).bag_path;
    }
    const std::vector<uint8_t> good = [&] {
      std::ifstream in(file, std::ios::binary);
      return std::vector<uint8_t>((std::istreambuf_iterator<char>(in)), {});
    }();
    std::mt19937 rng(3);
    int failures_seen = 0;
    for (int round = 0; round < 60; ++round) {
      std::vector<uint8_t> bad = good;
      for (int k = 0; k < 8; ++k) bad[512 + rng() % (bad.size() - 512)] = uint8_t(rng());
      {
        std::ofstream out(file, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(bad.data()), std::streamsize(bad.size()));
      }
      auto t = open_table(path, driver);
      auto ol = OrderList::attach(*t);
      if (ol.is_ok() && std::string(driver) == "DBFNTX") {
        Status s = (*ol)->add_index_file("NAME");
        if (!s.is_ok()) {
          ++failures_seen;
          continue;
        }
      }
      if (!ol.is_ok() || (*ol)->count() == 0) {
        ++failures_seen;
        continue;
      }
      auto rep = (*ol)->check(1);
      if (!rep.is_ok()) ++failures_seen;
      (*ol)->set_order(1).ignore();
      if (t->go_top().is_ok())
        for (int i = 0; i < 1000 && !t->eof(); ++i)
          if (!t->skip(1).is_ok()) break;
    }
    EXPECT_GT(failures_seen, 0);
  }
}


// ---- orders damaged by hand: a small table, its index bytes changed in place ----

std::vector<uint8_t> file_bytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<uint8_t>((std::istreambuf_iterator<char>(in)), {});
}

void put_file_bytes(const std::string& path, const std::vector<uint8_t>& b) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(b.data()), std::streamsize(b.size()));
}

uint32_t le32(const std::vector<uint8_t>& b, size_t at) {
  return uint32_t(b[at]) | uint32_t(b[at + 1]) << 8 | uint32_t(b[at + 2]) << 16 | uint32_t(b[at + 3]) << 24;
}

void set_le32(std::vector<uint8_t>& b, size_t at, uint32_t v) {
  for (int i = 0; i < 4; ++i) b[at + size_t(i)] = uint8_t(v >> (8 * i));
}

// A table of `n` records named "Name 0001" ... in record order, with one order NAME on
// NAME; answers the index file.
std::string table_with_order(const std::string& path, const char* driver, int n, bool unique = false) {
  EXPECT_TRUE(db_create(path, fields(), driver).is_ok());
  auto t = open_table(path, driver);
  auto ol = OrderList::attach(*t);
  EXPECT_TRUE(ol.is_ok());
  for (int i = 1; i <= n; ++i) {
    char name[16];
    std::snprintf(name, sizeof name, "Name %04d", i);
    EXPECT_TRUE(t->append_blank().is_ok());
    EXPECT_TRUE(t->field_put("NAME", Value::character(name)).is_ok());
  }
  CreateOrderOptions o;
  o.unique = unique;
  Status st = std::string(driver) == "DBFNTX" ? (*ol)->create_index("NAME", "NAME", o)
                                              : (*ol)->create_order("NAME", "", "NAME", o);
  EXPECT_TRUE(st.is_ok()) << st.to_string();
  return (*ol)->info(1).bag_path;
}

// Opens the table with its order NAME; answers the attach result.
Result<std::unique_ptr<OrderList>> attach_with_order(Table& t, const char* driver) {
  auto ol = OrderList::attach(t);
  if (ol.is_ok() && std::string(driver) == "DBFNTX") MV_RETURN_IF_ERROR((*ol)->add_index_file("NAME"));
  return ol;
}

// MDX: the page of the first tag's header, and the node block it names as root.
size_t mdx_tag_header(const std::vector<uint8_t>& b) { return size_t(le32(b, 544)) * 512; }
size_t mdx_root(const std::vector<uint8_t>& b) { return size_t(le32(b, mdx_tag_header(b))) * 512; }

// Page numbers near 2^32 must not pass the bounds by wrapping around, nor make the page
// cache grow to fit them: opening gives Corrupt at once (and allocates nothing big).
TEST(DamagedOrders, MdxPageNumbersNearTheTopAreRefused) {
  struct Case {
    const char* name;
    uint32_t page;
    bool child;  // the root's first child, else the root itself
  };
  for (const Case& c : {Case{"root 0xFFFFFFFF", 0xFFFFFFFFu, false}, Case{"root 0xFFFFFFFE", 0xFFFFFFFEu, false},
                        Case{"child 0xFFFFFFFF", 0xFFFFFFFFu, true}, Case{"child 0xFFFFFFFE", 0xFFFFFFFEu, true}}) {
    SCOPED_TRACE(c.name);
    const std::string dir = index_test::scratch_dir("mdx_wrap");
    const std::string path = dir + "/T.DBF";
    const std::string file = table_with_order(path, "DBFMDX", 100);
    std::vector<uint8_t> b = file_bytes(file);
    ASSERT_EQ(le32(b, mdx_root(b)), 2u) << "100 keys of 20 bytes fill three leaves under the root";
    if (c.child) set_le32(b, mdx_root(b) + 8, c.page);
    else set_le32(b, mdx_tag_header(b), c.page);
    put_file_bytes(file, b);
    auto t = open_table(path, "DBFMDX");
    ASSERT_TRUE(t);
    auto ol = OrderList::attach(*t);
    if (ol.is_ok()) {
      // Opened: the order is not usable, and using it says so.
      auto rep = (*ol)->check(1);
      ASSERT_FALSE(rep.is_ok());
      EXPECT_EQ(rep.status().kind(), StatusKind::Corrupt) << rep.status().to_string();
    } else {
      EXPECT_EQ(ol.status().kind(), StatusKind::Corrupt) << ol.status().to_string();
      EXPECT_NE(ol.status().message().find(".mdx"), std::string::npos) << ol.status().message();
    }
  }
}

// A tag the tree only reads (here: one with a FOR condition we cannot keep) makes the
// whole table read-only up front, with the reason; nothing is appended half-way.
TEST(DamagedOrders, AReadOnlyMdxTagRefusesWritesOfTheTable) {
  const std::string dir = index_test::scratch_dir("mdx_for");
  const std::string path = dir + "/T.DBF";
  const std::string file = table_with_order(path, "DBFMDX", 50);
  std::vector<uint8_t> b = file_bytes(file);
  b[mdx_tag_header(b) + 245] = 1;  // the tag has a FOR condition
  put_file_bytes(file, b);

  auto t = open_table(path, "DBFMDX");
  ASSERT_TRUE(t);
  auto ol = OrderList::attach(*t);
  ASSERT_TRUE(ol.is_ok()) << ol.status().to_string();
  ASSERT_EQ((*ol)->count(), 1u);
  EXPECT_FALSE((*ol)->problem(1).empty());
  EXPECT_EQ((*ol)->messages().size(), 1u);
  for (const auto& write : std::vector<std::function<Status()>>{
           [&] { return t->append_blank(); },
           [&] {
             EXPECT_TRUE(t->go_to(1).is_ok());
             return t->field_put("NAME", Value::character("Otto"));
           },
           [&] { return t->delete_record(); }}) {
    Status st = write();
    EXPECT_EQ(st.kind(), StatusKind::ReadOnly) << st.to_string();
    EXPECT_NE(st.message().find("FOR"), std::string::npos) << st.message();
  }
  EXPECT_EQ(t->lastrec(), 50u);
  ASSERT_OK(t->go_to(1));
  EXPECT_EQ(t->field_get("NAME")->str.substr(0, 9), "Name 0001");
  EXPECT_FALSE(t->deleted());
  // The order still reads, and matches the table.
  auto rep = (*ol)->check(1);
  ASSERT_TRUE(rep.is_ok()) << rep.status().to_string();
  EXPECT_EQ(rep->keys, 50u);
  ASSERT_OK((*ol)->set_order(1));
  ASSERT_OK(t->go_bottom());
  EXPECT_EQ(t->recno(), 50u);
}

// An entry naming a record the table does not have (past LASTREC, or 0) beyond the
// entries looked at on opening: the walk stops with Corrupt naming the index file
// instead of ending early as if the order were done, and the check finds it.
TEST(DamagedOrders, AnEntryForAMissingRecordIsReported) {
  for (const char* driver : {"DBFNTX", "DBFMDX"}) {
    for (uint32_t bad : {9999u, 0u}) {
      SCOPED_TRACE(std::string(driver) + " record " + std::to_string(bad));
      const std::string dir = index_test::scratch_dir("past_lastrec");
      const std::string path = dir + "/T.DBF";
      const std::string file = table_with_order(path, driver, 700);
      std::vector<uint8_t> b = file_bytes(file);
      // Both families store the record number in the four bytes before the key (MDX
      // interior pages hold a page number there instead).
      const std::string key = "Name 0600";
      size_t pos = 0;
      for (auto at = b.begin(); (at = std::search(at, b.end(), key.begin(), key.end())) != b.end(); ++at)
        if (le32(b, size_t(at - b.begin()) - 4) == 600u) {
          pos = size_t(at - b.begin());
          break;
        }
      ASSERT_NE(pos, 0u);
      set_le32(b, pos - 4, bad);
      put_file_bytes(file, b);

      auto t = open_table(path, driver);
      ASSERT_TRUE(t);
      auto ol = attach_with_order(*t, driver);
      ASSERT_TRUE(ol.is_ok()) << ol.status().to_string();
      ASSERT_EQ((*ol)->count(), 1u);
      auto rep = (*ol)->check(1);
      ASSERT_FALSE(rep.is_ok()) << rep->keys << " keys";
      EXPECT_EQ(rep.status().kind(), StatusKind::Corrupt);
      EXPECT_NE(rep.status().message().find(std::to_string(bad)), std::string::npos) << rep.status().message();
      ASSERT_OK((*ol)->set_order(1));
      ASSERT_OK(t->go_top());
      uint32_t seen = 0;
      Status st;
      while (!t->eof() && (st = t->skip(1)).is_ok()) ++seen;
      EXPECT_EQ(st.kind(), StatusKind::Corrupt) << "walk ended after " << seen << " records";
      EXPECT_EQ(seen, 598u);
      const std::string file_name = std::filesystem::path(file).filename().string();
      EXPECT_NE(st.message().find(file_name), std::string::npos) << st.message();
      // From the end backwards the walk meets it as well.
      ASSERT_OK(t->go_bottom());
      while (!t->bof() && (st = t->skip(-1)).is_ok()) {
      }
      EXPECT_EQ(st.kind(), StatusKind::Corrupt);
    }
  }
}

// Appended keys reach the order as one sorted batch. A batch the order refuses is told
// as an error and stays whole: once the order takes keys again, the next flush puts every
// one of them in, none is lost.
TEST(DamagedOrders, ARefusedBatchIsKeptForTheNextFlush) {
  const std::string dir = index_test::scratch_dir("batch_fault");
  const std::string path = dir + "/T.DBF";
  table_with_order(path, "DBFNTX", 30);
  auto t = open_table(path, "DBFNTX");
  ASSERT_TRUE(t);
  auto ol = attach_with_order(*t, "DBFNTX");
  ASSERT_TRUE(ol.is_ok()) << ol.status().to_string();
  (*ol)->tree(1)->set_read_only("gesperrt");
  for (const char* name : {"Name 0000", "Name 0015", "Name 9999"}) {
    ASSERT_OK(t->append_blank());
    ASSERT_OK(t->field_put("NAME", Value::character(name)));
  }
  const Status first = t->commit();
  EXPECT_EQ(first.kind(), StatusKind::ReadOnly) << first.to_string();
  (*ol)->tree(1)->set_read_only("");
  ASSERT_OK(t->commit());
  auto rep = (*ol)->check(1);
  ASSERT_TRUE(rep.is_ok()) << rep.status().to_string();
  EXPECT_EQ(rep->keys, 33u);
}

// A unique order keeps one record per key, but an order with no key at all cannot belong
// to a table with records.
TEST(DamagedOrders, AnEmptyUniqueOrderOfAFullTableFailsTheCheck) {
  const std::string dir = index_test::scratch_dir("empty_unique");
  const std::string path = dir + "/T.DBF";
  const std::string file = table_with_order(path, "DBFMDX", 30, /*unique=*/true);
  std::vector<uint8_t> b = file_bytes(file);
  ASSERT_EQ(le32(b, mdx_root(b)), 30u) << "the root is the only leaf";
  set_le32(b, mdx_root(b), 0);
  set_le32(b, mdx_root(b) + 8, 0);  // no pointer after the last item: a leaf
  put_file_bytes(file, b);

  auto t = open_table(path, "DBFMDX");
  ASSERT_TRUE(t);
  auto ol = OrderList::attach(*t);
  ASSERT_TRUE(ol.is_ok()) << ol.status().to_string();
  auto rep = (*ol)->check(1);
  ASSERT_FALSE(rep.is_ok());
  EXPECT_EQ(rep.status().kind(), StatusKind::Corrupt);
  EXPECT_NE(rep.status().message().find("0 Schlüssel"), std::string::npos) << rep.status().message();
}

}  // namespace
}  // namespace mv
