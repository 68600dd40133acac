// Index files written anew from an order list for a closed table: a bag's tags in list order
// with their FOR conditions and flags, NTX files at their own paths. Whatever stops a run
// (the user, a failing write, sync or rename, another program holding the table) leaves
// every index file not yet completely rebuilt byte for byte as it was, and the table opens
// with it. Other programs' readers walk the rebuilt files as we do.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>

#include "platform/table/file_ops.h"
#include "platform/table/index/bag_rebuild.h"
#include "platform/table/table.h"
#include "tests/platform/table/index/index_test_helpers.h"
#include "tests/support/faulty_fs.h"

namespace mv {
namespace {

namespace fs = std::filesystem;
using index::IndexFormat;

OrderDefinition od(std::string name, std::string key, std::string for_expr = "", bool unique = false,
                   bool descending = false, std::string file = "") {
  return {std::move(name), std::move(key), std::move(for_expr), unique, descending, std::move(file)};
}

std::string bytes_of(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

struct Opened {
  std::unique_ptr<Table> table;
  std::unique_ptr<OrderList> orders;
};

// The table as the program opens it afterwards: with its production bag, which must be there
// when the header says so.
Opened reopen(const std::string& path, const std::string& driver, FileSystem* fsys = nullptr,
              const std::vector<std::string>& ntx = {}, CodePage cp = CodePage::Cp850) {
  Opened o;
  OpenOptions oo;
  oo.code_page = cp;
  oo.shared = false;
  oo.driver = driver;
  oo.fs = fsys;
  auto t = Table::open(path, oo);
  EXPECT_TRUE(t.is_ok()) << t.status().to_string();
  if (!t.is_ok()) return o;
  o.table = std::move(*t);
  auto l = OrderList::attach(*o.table);
  EXPECT_TRUE(l.is_ok()) << l.status().to_string();
  if (!l.is_ok()) return o;
  o.orders = std::move(*l);
  for (const std::string& f : ntx) EXPECT_TRUE(o.orders->add_index_file(f).is_ok()) << f;
  return o;
}

std::vector<uint32_t> walk(OrderList& ol, size_t n) {
  std::vector<uint32_t> w;
  index::TreeOrder* t = ol.tree(n);
  index::Cursor c;
  EXPECT_TRUE(t->first(c).is_ok());
  while (c.valid()) {
    w.push_back(t->recno_at(c));
    EXPECT_TRUE(t->next(c).is_ok());
  }
  return w;
}

struct Listed {
  std::vector<OrderDefinition> defs;
  std::vector<std::vector<uint32_t>> walks;
};

Listed list_of(const Opened& o) {
  Listed l;
  for (size_t n = 1; n <= o.orders->count(); ++n) {
    const index::OrderInfo& i = o.orders->info(n);
    l.defs.push_back(od(i.name, i.key_expr, i.for_expr, i.unique, i.descending, i.bag_path));
    l.walks.push_back(walk(*o.orders, n));
  }
  return l;
}

// The rebuilt orders are the orders as they were: keys, FOR conditions, flags and walks (and
// names, where the rebuild names them rather than their files do).
void expect_kept(const Listed& before, const Listed& after, bool names) {
  ASSERT_EQ(after.defs.size(), before.defs.size());
  for (size_t i = 0; i < before.defs.size(); ++i) {
    SCOPED_TRACE(before.defs[i].name);
    if (names) {
      EXPECT_EQ(after.defs[i].name, before.defs[i].name);
    }
    EXPECT_EQ(after.defs[i].key, before.defs[i].key);
    EXPECT_EQ(after.defs[i].for_expr, before.defs[i].for_expr);
    EXPECT_EQ(after.defs[i].unique, before.defs[i].unique);
    EXPECT_EQ(after.defs[i].descending, before.defs[i].descending);
    EXPECT_EQ(after.walks[i], before.walks[i]);
  }
}

// Every order of `o` holds exactly the keys of its records, in order.
void expect_sound(Opened& o) {
  for (size_t n = 1; n <= o.orders->count(); ++n) {
    auto rep = o.orders->check(n);
    EXPECT_TRUE(rep.is_ok()) << o.orders->info(n).name << ": " << rep.status().to_string();
  }
}

std::string copy_case(const std::string& rel, const std::string& name) {
  const std::string dir = index_test::scratch_dir(name);
  for (const auto& e : fs::directory_iterator(index_test::fixture_root() + "/" + rel))
    fs::copy_file(e.path(), dir + "/" + e.path().filename().string());
  return dir;
}

std::string name_for(std::mt19937& rng) {
  static const char* parts[] = {"Abel", "MUELLER", "Baecker", "Zorn", "Otto", "Ebert", "Ulm", "Abt", "Kranz"};
  return std::string(parts[rng() % 9]) + " " + parts[rng() % 9] + std::to_string(rng() % 40);
}

// A table of `n` records with a bag (or NTX files) of three orders; answers its path.
std::string make_table(const std::string& dir, const std::string& driver, int n) {
  const std::string path = dir + "/KUNDEN.DBF";
  EXPECT_TRUE(db_create(path, {{"NAME", 'C', 20, 0}, {"BETRAG", 'N', 10, 2}, {"DATUM", 'D', 8, 0}}, driver).is_ok());
  Opened o = reopen(path, driver);
  if (!o.orders) return path;
  Table& t = *o.table;
  std::mt19937 rng(5);
  for (int i = 0; i < n; ++i) {
    EXPECT_TRUE(t.append_blank().is_ok());
    EXPECT_TRUE(t.field_put("NAME", Value::character(name_for(rng))).is_ok());
    EXPECT_TRUE(t.field_put("BETRAG", Value::numeric(double(int(rng() % 40000) - 20000) / 4, 10, 2)).is_ok());
    EXPECT_TRUE(t.field_put("DATUM", Value::of_date(Date::from_julian(2440000 + int(rng() % 9000)))).is_ok());
  }
  const bool ntx = driver == "DBFNTX";
  for (auto [name, key] : {std::pair{"NAME", "NAME"}, {"BETRAG", "BETRAG"}, {"KOMBI", "UPPER(NAME)+DTOS(DATUM)"}}) {
    Status st = ntx ? o.orders->create_index(name, key) : o.orders->create_order(name, "", key);
    EXPECT_TRUE(st.is_ok()) << st.to_string();
  }
  o.orders.reset();
  EXPECT_TRUE(t.close().is_ok());
  return path;
}

std::string bag_of(const std::string& dbf, const std::string& driver) {
  return path_dir(dbf) + (driver == "DBFMDX" ? "/KUNDEN.mdx" : "/KUNDEN.CDX");
}

// ---------------------------------------------------------------- bags

struct FixtureCase {
  const char* dir;
  const char* driver;
  const char* table = "KUNDEN.DBF";
  CodePage code_page = CodePage::Cp850;
  friend void PrintTo(const FixtureCase& c, std::ostream* os) { *os << c.dir; }
};

class RebuiltFixtureBag : public ::testing::TestWithParam<FixtureCase> {};

// The orders other programs wrote, rebuilt from what the list carries: same names, keys, FOR
// conditions, unique and descending flags, and the same walk, each sound.
TEST_P(RebuiltFixtureBag, KeepsEveryOrderAsItWas) {
  const FixtureCase& c = GetParam();
  const std::string dir = copy_case(c.dir, "fixture");
  const std::string dbf = dir + "/" + c.table;
  Listed before;
  {
    Opened o = reopen(dbf, c.driver, nullptr, {}, c.code_page);
    ASSERT_TRUE(o.orders);
    before = list_of(o);
    ASSERT_GT(before.defs.size(), 2u);
  }
  IndexRebuildOutcome r = rebuild_index_bag({dbf, c.driver, c.code_page}, before.defs);
  ASSERT_OK(r.status);
  EXPECT_TRUE(r.skipped.empty());
  Opened o = reopen(dbf, c.driver, nullptr, {}, c.code_page);
  ASSERT_TRUE(o.orders);
  expect_kept(before, list_of(o), true);
  expect_sound(o);
}

INSTANTIATE_TEST_SUITE_P(Peers, RebuiltFixtureBag,
                         ::testing::Values(FixtureCase{"peer/cdx-fpt", "DBFCDX"}, FixtureCase{"peer/cdx-dbt", "_DBFCDX"},
                                           FixtureCase{"peer-mdx/mdx-dbt4", "DBFMDX"},
                                           // German order: the rebuilt bag sorts as the old one.
                                           FixtureCase{"peer/national-cdx-cp1252", "DBFCDX", "ADRESSEN.DBF",
                                                       CodePage::Windows1252}),
                         [](const auto& info) {
                           std::string n = info.param.dir;
                           for (char& ch : n)
                             if (!std::isalnum(uint8_t(ch))) ch = '_';
                           return n;
                         });

TEST(MdxBagRebuild, AnMdxForConditionIsRefusedBeforeAnythingIsWritten) {
  const std::string dir = copy_case("peer-mdx/mdx-dbt4", "mdxfor");
  const std::string dbf = dir + "/KUNDEN.DBF";
  const std::string bag = dir + "/KUNDEN.mdx";
  const std::string old = bytes_of(bag), old_dbf = bytes_of(dbf);
  std::vector<OrderDefinition> defs = {od("NAME", "NAME"), od("TEUER", "BETRAG", "BETRAG > 100")};
  IndexRebuildOutcome r = rebuild_index_bag({dbf, "DBFMDX"}, defs);
  EXPECT_EQ(r.status.kind(), StatusKind::NotSupported) << r.status.to_string();
  EXPECT_EQ(bytes_of(bag), old);
  EXPECT_EQ(bytes_of(dbf), old_dbf);
  EXPECT_FALSE(fs::exists(temp_name_for(bag)));
}

// A tag another program wrote with a FOR condition reads without it; rebuilt from its row it
// would lose the condition, so the rebuild is refused and the bag left as it was.
TEST(MdxBagRebuild, ATagWithAForConditionOnDiskIsNotRebuiltWithoutIt) {
  const std::string dir = copy_case("peer-mdx/mdx-dbt4", "mdxfordisk");
  const std::string dbf = dir + "/KUNDEN.DBF";
  const std::string bag = dir + "/KUNDEN.mdx";
  std::vector<OrderDefinition> defs;
  {
    Opened o = reopen(dbf, "DBFMDX");
    ASSERT_TRUE(o.orders);
    defs = list_of(o).defs;
  }
  // The second tag's header says a FOR condition follows (MDX: tag table entry i at
  // 544 + 32 i, its header page at byte 0 of the entry, pages of 512 bytes, the flag at 245).
  std::string b = bytes_of(bag);
  const size_t entry = 544 + 32 * 1;
  const uint32_t page = uint32_t(uint8_t(b[entry])) | uint32_t(uint8_t(b[entry + 1])) << 8 |
                        uint32_t(uint8_t(b[entry + 2])) << 16 | uint32_t(uint8_t(b[entry + 3])) << 24;
  b[size_t(page) * 512 + 245] = 1;
  std::ofstream(bag, std::ios::binary) << b;
  IndexRebuildOutcome r = rebuild_index_bag({dbf, "DBFMDX"}, defs);
  EXPECT_EQ(r.status.kind(), StatusKind::NotSupported) << r.status.to_string();
  EXPECT_EQ(bytes_of(bag), b);
  // Without that tag's row the others are rebuilt.
  defs.erase(defs.begin() + 1);
  EXPECT_TRUE(rebuild_index_bag({dbf, "DBFMDX"}, defs).ok());
}

// dBASE's German order is not ours to compute: such a bag is refused whole, never left out
// order by order (which would have left no bag at all).
TEST(MdxBagRebuild, AnUnknownCollationIsRefusedAndTheBagKept) {
  const std::string dir = copy_case("peer-mdx/codepages/cp850-de", "mdxde");
  const std::string dbf = dir + "/umlaut.dbf";
  const std::string bag = dir + "/umlaut.mdx";
  std::vector<OrderDefinition> defs;
  {
    Opened o = reopen(dbf, "DBFMDX");
    ASSERT_TRUE(o.orders);
    defs = list_of(o).defs;
    ASSERT_FALSE(defs.empty());
  }
  const std::string old = bytes_of(bag), old_dbf = bytes_of(dbf);
  IndexRebuildOutcome r = rebuild_index_bag({dbf, "DBFMDX"}, defs);
  EXPECT_EQ(r.status.kind(), StatusKind::NotSupported) << r.status.to_string();
  EXPECT_EQ(bytes_of(bag), old);
  EXPECT_EQ(bytes_of(dbf), old_dbf);
}

class BagRebuild : public ::testing::TestWithParam<const char*> {
 protected:
  std::string driver() const { return GetParam(); }
};

// Orders are tags in list order, each walk the records sorted by its key; an order whose
// key cannot be built is left out and named, the others are still built.
TEST_P(BagRebuild, WritesTheListInOrderAndLeavesOutWhatCannotBeBuilt) {
  const std::string dir = index_test::scratch_dir("list");
  const std::string dbf = make_table(dir, driver(), 120);
  std::vector<OrderDefinition> defs = {od("DATUM", "DTOS(DATUM)"),
                                       od("FALSCH", "NAME+"),
                                       od("BETRAGD", "BETRAG", "", false, true),
                                       od("NAMEU", "UPPER(NAME)", "", true, false)};
  IndexRebuildOutcome r = rebuild_index_bag({dbf, driver()}, defs);
  ASSERT_OK(r.status);
  EXPECT_EQ(r.skipped, std::vector<size_t>{1});
  Opened o = reopen(dbf, driver());
  ASSERT_TRUE(o.orders);
  ASSERT_EQ(o.orders->count(), 3u);
  EXPECT_EQ(o.orders->info(1).name, "DATUM");
  EXPECT_EQ(o.orders->info(2).name, "BETRAGD");
  EXPECT_EQ(o.orders->info(3).name, "NAMEU");
  EXPECT_TRUE(o.orders->info(2).descending);
  EXPECT_TRUE(o.orders->info(3).unique);
  // The date walk against the records sorted by date (ties by record number).
  std::vector<std::pair<std::string, uint32_t>> want;
  for (uint32_t n = 1; n <= o.table->lastrec(); ++n) {
    ASSERT_OK(o.table->go_to(n));
    auto v = o.table->field_get("DATUM");
    ASSERT_TRUE(v.is_ok());
    want.push_back({dtos(v->date), n});
  }
  std::sort(want.begin(), want.end());
  std::vector<uint32_t> recs;
  for (auto& w : want) recs.push_back(w.second);
  EXPECT_EQ(walk(*o.orders, 1), recs);
  expect_sound(o);
}

// Not one row can be built: the old bag stays instead of none at all.
TEST_P(BagRebuild, NoBuildableRowKeepsTheOldBag) {
  const std::string dir = index_test::scratch_dir("nothing");
  const std::string dbf = make_table(dir, driver(), 20);
  const std::string bag = bag_of(dbf, driver());
  const std::string old = bytes_of(bag);
  IndexRebuildOutcome r = rebuild_index_bag({dbf, driver()}, {od("FALSCH", "NAME+"), od("AUCH", "GIBTSNICHT")});
  EXPECT_FALSE(r.ok());
  EXPECT_EQ(r.skipped, (std::vector<size_t>{0, 1}));
  EXPECT_EQ(bytes_of(bag), old);
  Opened o = reopen(dbf, driver());
  ASSERT_TRUE(o.orders);
  EXPECT_EQ(o.orders->count(), 3u);
}

// An empty list leaves no bag, and the header no longer asks for one: the table opens.
TEST_P(BagRebuild, AnEmptyListLeavesNoBag) {
  const std::string dir = index_test::scratch_dir("empty");
  const std::string dbf = make_table(dir, driver(), 20);
  ASSERT_TRUE(fs::exists(bag_of(dbf, driver())));
  ASSERT_OK(rebuild_index_bag({dbf, driver()}, {}).status);
  EXPECT_FALSE(fs::exists(bag_of(dbf, driver())));
  EXPECT_EQ(uint8_t(bytes_of(dbf)[28]) & 1, 0);
  Opened o = reopen(dbf, driver());
  ASSERT_TRUE(o.orders);
  EXPECT_EQ(o.orders->count(), 0u);
}

// Stopped half-way: the old bag stays as it was and is the one the table opens with.
TEST_P(BagRebuild, AStopKeepsTheOldBag) {
  const std::string dir = index_test::scratch_dir("stop");
  const std::string dbf = make_table(dir, driver(), 200);
  const std::string bag = bag_of(dbf, driver());
  const std::string old = bytes_of(bag);
  std::vector<OrderDefinition> defs = {od("EINS", "NAME"), od("ZWEI", "BETRAG"), od("DREI", "DTOS(DATUM)")};
  uint64_t seen = 0;
  IndexRebuildOutcome r = rebuild_index_bag({dbf, driver()}, defs, [&](uint64_t done, uint64_t total) {
    seen = done;
    return done < total / 2;
  });
  EXPECT_EQ(r.status.kind(), StatusKind::Cancelled);
  EXPECT_EQ(seen, 300u);
  EXPECT_EQ(bytes_of(bag), old);
  EXPECT_FALSE(fs::exists(temp_name_for(bag)));
  Opened o = reopen(dbf, driver());
  ASSERT_TRUE(o.orders);
  ASSERT_EQ(o.orders->count(), 3u);
  EXPECT_EQ(o.orders->info(1).name, "NAME");
  expect_sound(o);
}

// Another connection holds the table: no exclusive open, the bag stays byte for byte.
TEST_P(BagRebuild, ATableHeldElsewhereKeepsItsBag) {
  const std::string dir = index_test::scratch_dir("held");
  const std::string dbf = make_table(dir, driver(), 20);
  const std::string bag = bag_of(dbf, driver());
  const std::string old = bytes_of(bag);
  OpenOptions so;
  so.shared = true;
  so.driver = driver();
  auto other = Table::open(dbf, so);
  ASSERT_TRUE(other.is_ok());
  IndexRebuildOutcome r = rebuild_index_bag({dbf, driver()}, {od("EINS", "NAME")});
  EXPECT_FALSE(r.opened);
  EXPECT_EQ(r.status.kind(), StatusKind::Locked) << r.status.to_string();
  EXPECT_EQ(bytes_of(bag), old);
}

// Every write, sync and rename of a rebuild failing in turn: one failure reported, the old
// bag untouched (or the new one complete), and the table opens with sound orders.
TEST_P(BagRebuild, AFailingStepKeepsTheOldBag) {
  const std::string dir = index_test::scratch_dir("faults");
  const std::string dbf = make_table(dir, driver(), 60);
  const std::string bag = bag_of(dbf, driver());
  const std::string pristine = bytes_of(bag), pristine_dbf = bytes_of(dbf);
  std::vector<OrderDefinition> defs = {od("EINS", "UPPER(NAME)"), od("ZWEI", "BETRAG")};
  // How many of each step a clean run takes.
  FaultyFileSystem count(FileSystem::posix());
  ASSERT_OK(rebuild_index_bag({dbf, driver(), CodePage::Cp850, &count}, defs).status);
  const int writes = count.writes, syncs = count.syncs, renames = count.renames;
  ASSERT_GT(writes, 0);
  ASSERT_GT(renames, 0);
  for (int kind = 0; kind < 3; ++kind) {
    const int n = kind == 0 ? writes : kind == 1 ? syncs : renames;
    for (int k = 0; k < n; ++k) {
      SCOPED_TRACE(std::to_string(kind) + "/" + std::to_string(k));
      {
        std::ofstream(bag, std::ios::binary) << pristine;
        std::ofstream(dbf, std::ios::binary) << pristine_dbf;
      }
      FaultyFileSystem f(FileSystem::posix());
      (kind == 0 ? f.fail_write_at : kind == 1 ? f.fail_sync_at : f.fail_rename_at) = k;
      IndexRebuildOutcome r = rebuild_index_bag({dbf, driver(), CodePage::Cp850, &f}, defs);
      Opened o = reopen(dbf, driver());
      ASSERT_TRUE(o.orders);
      if (!r.ok() && bytes_of(bag) == pristine) {
        ASSERT_EQ(o.orders->count(), 3u);
        EXPECT_EQ(o.orders->info(1).name, "NAME");
      } else {
        // The failing step came after the new bag was in place (closing the table).
        ASSERT_EQ(o.orders->count(), 2u);
        EXPECT_EQ(o.orders->info(1).name, "EINS");
      }
      expect_sound(o);
      EXPECT_FALSE(fs::exists(temp_name_for(bag)));
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Drivers, BagRebuild, ::testing::Values("DBFCDX", "DBFMDX"),
                         [](const auto& info) { return std::string(info.param); });

// ---------------------------------------------------------------- NTX files

// Three files re-keyed, the second one's key broken: the first is rebuilt, the run stops
// there, the third is as it was, and the table opens with all three.
TEST(NtxRebuild, TheFirstFailingFileStopsTheRun) {
  const std::string dir = index_test::scratch_dir("ntx");
  const std::string dbf = make_table(dir, "DBFNTX", 80);
  const std::string third = bytes_of(dir + "/KOMBI.NTX"), second = bytes_of(dir + "/BETRAG.NTX");
  std::vector<OrderDefinition> files = {od("NAME", "UPPER(NAME)", "", false, false, dir + "/NAME.NTX"),
                                        od("BETRAG", "BETRAG+", "", false, false, dir + "/BETRAG.NTX"),
                                        od("KOMBI", "DTOS(DATUM)", "", false, false, dir + "/KOMBI.NTX")};
  std::vector<size_t> started;
  IndexRebuildOutcome r =
      rebuild_ntx_files({dbf, "DBFNTX"}, files, {}, [&](size_t row) { started.push_back(row); });
  EXPECT_FALSE(r.ok());
  EXPECT_EQ(r.failed_row, 1u);
  EXPECT_EQ(started, (std::vector<size_t>{0, 1}));
  EXPECT_EQ(bytes_of(dir + "/BETRAG.NTX"), second);
  EXPECT_EQ(bytes_of(dir + "/KOMBI.NTX"), third);
  Opened o = reopen(dbf, "DBFNTX", nullptr, {dir + "/NAME.NTX", dir + "/BETRAG.NTX", dir + "/KOMBI.NTX"});
  ASSERT_TRUE(o.orders);
  ASSERT_EQ(o.orders->count(), 3u);
  EXPECT_EQ(o.orders->info(1).key_expr, "UPPER(NAME)");
  EXPECT_EQ(o.orders->info(3).key_expr, "UPPER(NAME)+DTOS(DATUM)");
  expect_sound(o);
}

// Other programs' NTX files rebuilt from their rows: same keys, flags and walks, the German
// key order of the national ones kept.
TEST(NtxRebuild, FixtureFilesKeepTheirOrders) {
  for (auto [name, cp] : {std::pair{"peer/ntx-nomemo", CodePage::Cp850}, {"peer/national-ntx-cp850", CodePage::Cp850}}) {
    SCOPED_TRACE(name);
    const std::string dir = copy_case(name, std::string("ntxfix_") + (cp == CodePage::Cp850 ? "a" : "b") +
                                                std::to_string(std::string(name).size()));
    const std::string dbf = dir + "/ADRESSEN.DBF";
    std::vector<std::string> files;
    for (const char* f : {"NAME", "BETRAG", "DATUM", "KOMBI", "ORTU", "MENGED", "AKTIVF"})
      files.push_back(dir + "/" + f + ".NTX");
    Listed before;
    {
      Opened o = reopen(dbf, "DBFNTX", nullptr, files, cp);
      ASSERT_TRUE(o.orders);
      before = list_of(o);
    }
    ASSERT_EQ(before.defs.size(), files.size());
    IndexRebuildOutcome r = rebuild_ntx_files({dbf, "DBFNTX", cp}, before.defs);
    ASSERT_TRUE(r.ok()) << r.status.to_string();
    Opened o = reopen(dbf, "DBFNTX", nullptr, files, cp);
    ASSERT_TRUE(o.orders);
    expect_kept(before, list_of(o), false);
    expect_sound(o);
  }
}

// A stop half-way through the second file: the first stays rebuilt, the others as they were.
TEST(NtxRebuild, AStopKeepsTheFilesNotYetRebuilt) {
  const std::string dir = index_test::scratch_dir("ntxstop");
  const std::string dbf = make_table(dir, "DBFNTX", 80);
  const std::string second = bytes_of(dir + "/BETRAG.NTX"), third = bytes_of(dir + "/KOMBI.NTX");
  std::vector<OrderDefinition> files = {od("NAME", "UPPER(NAME)", "", false, false, dir + "/NAME.NTX"),
                                        od("BETRAG", "BETRAG", "", false, true, dir + "/BETRAG.NTX"),
                                        od("KOMBI", "DTOS(DATUM)", "", false, false, dir + "/KOMBI.NTX")};
  IndexRebuildOutcome r =
      rebuild_ntx_files({dbf, "DBFNTX"}, files, [](uint64_t done, uint64_t total) { return done < total / 2; });
  EXPECT_EQ(r.status.kind(), StatusKind::Cancelled);
  EXPECT_EQ(bytes_of(dir + "/BETRAG.NTX"), second);
  EXPECT_EQ(bytes_of(dir + "/KOMBI.NTX"), third);
  EXPECT_FALSE(fs::exists(temp_name_for(dir + "/BETRAG.NTX")));
  Opened o = reopen(dbf, "DBFNTX", nullptr, {dir + "/NAME.NTX", dir + "/BETRAG.NTX"});
  ASSERT_TRUE(o.orders);
  EXPECT_EQ(o.orders->info(1).key_expr, "UPPER(NAME)");
  EXPECT_FALSE(o.orders->info(2).descending);
  expect_sound(o);
}

// ---------------------------------------------------------------- other readers

class RebuiltForReaders : public ::testing::TestWithParam<const char*> {};

TEST_P(RebuiltForReaders, PerlXBaseWalksTheRebuiltFilesAsWeDo) {
  if (!index_test::have_perl_xbase()) GTEST_SKIP() << "Perl module XBase (libdbd-xbase-perl) is not installed";
  const std::string driver = GetParam();
  const bool ntx = driver == "DBFNTX";
  const std::string dir = index_test::scratch_dir("perl");
  const std::string dbf = make_table(dir, driver, 400);
  std::vector<OrderDefinition> defs = {od("BETRAG", "BETRAG", "", false, false, dir + "/BETRAG.NTX"),
                                       od("NAME", "UPPER(NAME)", "", false, false, dir + "/NAME.NTX")};
  ASSERT_OK(ntx ? rebuild_ntx_files({dbf, driver}, defs).status : rebuild_index_bag({dbf, driver}, defs).status);
  Opened o = reopen(dbf, driver, nullptr, ntx ? std::vector<std::string>{dir + "/BETRAG.NTX", dir + "/NAME.NTX"}
                                              : std::vector<std::string>{});
  ASSERT_TRUE(o.orders);
  ASSERT_EQ(o.orders->count(), 2u);
  for (size_t n = 1; n <= 2; ++n) {
    const std::string name = o.orders->info(n).name;
    SCOPED_TRACE(name);
    const std::string file = ntx ? dir + "/" + name + ".NTX" : bag_of(dbf, driver);
    const index_test::ReaderWalk w = index_test::perl_xbase_walk(dir, file, ntx ? "-" : name, n == 1 ? 'N' : 'C');
    ASSERT_EQ(w.status, 0) << w.output;
    EXPECT_EQ(w.orders[0], walk(*o.orders, n));
  }
}

TEST(RebuiltMdxForReaders, FreePascalTDbfWalksTheRebuiltBagAsWeDo) {
  std::string why;
  const std::string walker = index_test::tdbf_walker(&why);
  if (walker.empty()) GTEST_SKIP() << why;
  const std::string dir = index_test::scratch_dir("tdbf");
  const std::string dbf = make_table(dir, "DBFMDX", 400);
  std::vector<OrderDefinition> defs = {od("DATUM", "DTOS(DATUM)"), od("BETRAG", "BETRAG", "", false, true),
                                       od("NAME", "UPPER(NAME)", "", true, false)};
  ASSERT_OK(rebuild_index_bag({dbf, "DBFMDX"}, defs).status);
  const index_test::ReaderWalk w = index_test::tdbf_walk(walker, dbf, {"DATUM", "BETRAG", "NAME"});
  ASSERT_EQ(w.status, 0) << w.output;
  const auto& parts = w.orders;
  ASSERT_GE(parts.size(), 3u);
  Opened o = reopen(dbf, "DBFMDX");
  ASSERT_TRUE(o.orders);
  for (size_t n = 1; n <= 3; ++n) EXPECT_EQ(parts[n - 1], walk(*o.orders, n)) << o.orders->info(n).name;
}

INSTANTIATE_TEST_SUITE_P(Drivers, RebuiltForReaders, ::testing::Values("DBFNTX", "DBFCDX", "DBFMDX"),
                         [](const auto& info) { return std::string(info.param); });

}  // namespace
}  // namespace mv
