// Writes into index files whose bytes are damaged: the write either works and leaves
// every order right, or stops with a Status; it never overwrites a page in use or writes
// past a buffer.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>

#include "platform/base/bytes.h"
#include "platform/table/index/index_bag.h"
#include "platform/table/index/order_list.h"
#include "platform/table/modes.h"
#include "platform/table/table.h"
#include "platform/table/transfer.h"
#include "tests/platform/table/index/index_test_helpers.h"
#include "tests/support/fixtures.h"

namespace mv {
namespace {

using index::IndexFormat;
using testing::TempDir;

std::vector<uint8_t> read_bytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<uint8_t>((std::istreambuf_iterator<char>(in)), {});
}

void write_bytes(const std::string& path, const std::vector<uint8_t>& b) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(b.data()), std::streamsize(b.size()));
}

void patch32(const std::string& path, size_t at, uint32_t v) {
  auto b = read_bytes(path);
  if (b.size() < at + 4) b.resize(at + 4);
  put_le32(b.data() + at, v);
  write_bytes(path, b);
}

// A file of the folder by its name, without regard to case.
std::string file_in(const TempDir& dir, const std::string& name) {
  for (const auto& e : std::filesystem::directory_iterator(dir.path())) {
    std::string f = e.path().filename().string();
    if (f.size() == name.size() &&
        std::equal(f.begin(), f.end(), name.begin(), [](char a, char b) { return std::toupper(a) == std::toupper(b); }))
      return e.path().string();
  }
  ADD_FAILURE() << name << " not found";
  return dir.file(name);
}

std::string name_of(int i) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "Name %04d", (i * 7919) % 1000);
  return buf;
}

std::unique_ptr<Table> open_table(const std::string& path, const char* driver, bool shared = false) {
  OpenOptions o;
  o.driver = driver;
  o.shared = shared;
  auto t = Table::open(path, o);
  EXPECT_TRUE(t.is_ok()) << t.status().to_string();
  return t.is_ok() ? std::move(*t) : nullptr;
}

Status append(Table& t, int from, int to) {
  for (int i = from; i < to; ++i) {
    MV_RETURN_IF_ERROR(t.append_blank());
    MV_RETURN_IF_ERROR(t.field_put("NAME", Value::character(name_of(i))));
    MV_RETURN_IF_ERROR(t.field_put("BETRAG", Value::numeric(i * 1.5, 10, 2)));
    MV_RETURN_IF_ERROR(t.field_put("AKTIV", Value::boolean(i % 2 == 1)));
  }
  return t.commit();
}

// Appends, changes a few keys, deletes some records and (exclusive) packs: splits,
// removals and a rebuild, each taking pages from the free list.
Status write_a_lot(Table& t) {
  MV_RETURN_IF_ERROR(append(t, 1000, 1200));
  for (uint32_t r = 5; r <= 120; r += 23) {
    MV_RETURN_IF_ERROR(t.go_to(r));
    MV_RETURN_IF_ERROR(t.field_put("NAME", Value::character("Umbenannt " + std::to_string(r))));
  }
  for (uint32_t r = 3; r <= 200; r += 17) {
    MV_RETURN_IF_ERROR(t.go_to(r));
    MV_RETURN_IF_ERROR(t.delete_record());
  }
  MV_RETURN_IF_ERROR(t.commit());
  return t.shared() ? Status::ok() : t.pack();
}

// Opens the table (shared or not) with its orders and writes.
void write_through_table(const std::string& path, const char* driver, bool shared);

// The table with the orders NAME (UPPER(NAME)) and BETRAG: tags of the production bag,
// or one NTX file each.
std::string make_table(const TempDir& dir, const char* driver, int records) {
  const std::string path = dir.file("DATEN.DBF");
  EXPECT_TRUE(db_create(path, {{"NAME", 'C', 20, 0}, {"BETRAG", 'N', 10, 2}, {"AKTIV", 'L', 1, 0}}, driver).is_ok());
  auto t = open_table(path, driver);
  auto ol = OrderList::attach(*t);
  EXPECT_TRUE(ol.is_ok());
  EXPECT_TRUE(append(*t, 0, records).is_ok());
  if (std::string(driver) == "DBFNTX") {
    EXPECT_TRUE((*ol)->create_index("NAME", "UPPER(NAME)").is_ok());
    EXPECT_TRUE((*ol)->create_index("BETRAG", "BETRAG").is_ok());
  } else {
    EXPECT_TRUE((*ol)->create_order("NAME", "", "UPPER(NAME)").is_ok());
    EXPECT_TRUE((*ol)->create_order("BETRAG", "", "BETRAG").is_ok());
  }
  ol->reset();
  EXPECT_TRUE(t->close().is_ok());
  return path;
}

std::unique_ptr<OrderList> attach(Table& t, const char* driver) {
  auto ol = OrderList::attach(t);
  EXPECT_TRUE(ol.is_ok()) << ol.status().to_string();
  if (!ol.is_ok()) return nullptr;
  if (std::string(driver) == "DBFNTX")
    for (const char* f : {"NAME", "BETRAG"}) {
      EXPECT_TRUE((*ol)->add_index_file(f).is_ok());
    }
  return std::move(*ol);
}

// Each order passes its check and walks the records in the order the table's fields
// give (key, then record number).
void expect_orders_right(const std::string& path, const char* driver) {
  set_deleted_filter(false);
  auto t = open_table(path, driver);
  ASSERT_TRUE(t);
  auto ol = attach(*t, driver);
  ASSERT_TRUE(ol);
  ASSERT_EQ(ol->count(), 2u);
  std::vector<std::pair<std::string, uint32_t>> by_name, by_betrag;
  for (uint32_t r = 1; r <= t->lastrec(); ++r) {
    ASSERT_OK(t->go_to(r));
    std::string name(t->field_raw(t->field_pos("NAME")));
    for (char& c : name) c = char(std::toupper(uint8_t(c)));
    auto b = t->field_get("BETRAG");
    ASSERT_TRUE(b.is_ok());
    char num[32];
    std::snprintf(num, sizeof num, "%014.2f", b->num);
    by_name.push_back({name, r});
    by_betrag.push_back({num, r});
  }
  std::sort(by_name.begin(), by_name.end());
  std::sort(by_betrag.begin(), by_betrag.end());
  for (size_t n = 1; n <= 2; ++n) {
    SCOPED_TRACE(ol->info(n).name);
    auto rep = ol->check(n);
    ASSERT_TRUE(rep.is_ok()) << rep.status().to_string();
    const auto& want = ol->info(n).name == "NAME" ? by_name : by_betrag;
    ASSERT_OK(ol->set_order(n));
    ASSERT_OK(t->go_top());
    std::vector<uint32_t> seen;
    while (!t->eof() && seen.size() <= want.size()) {
      seen.push_back(t->recno());
      ASSERT_OK(t->skip(1));
    }
    ASSERT_EQ(seen.size(), want.size());
    for (size_t i = 0; i < seen.size(); ++i) ASSERT_EQ(seen[i], want[i].second) << "entry " << i;
  }
  ol.reset();
  ASSERT_OK(t->close());
  set_deleted_filter(true);
}

void write_through_table(const std::string& path, const char* driver, bool shared) {
  auto t = open_table(path, driver, shared);
  ASSERT_TRUE(t);
  auto ol = attach(*t, driver);
  ASSERT_TRUE(ol);
  ASSERT_OK(write_a_lot(*t));
  ol.reset();
  ASSERT_OK(t->close());
}

// The pages of an order's tree, root first (leaves last).
std::vector<uint32_t> tree_pages(const std::string& file, IndexFormat f, const std::string& tag) {
  index::BagOptions opt;
  opt.read_only = true;
  auto bag = index::IndexBag::open(FileSystem::posix(), file, f, opt);
  EXPECT_TRUE(bag.is_ok()) << bag.status().to_string();
  if (!bag.is_ok()) return {};
  index::TreeOrder* o = f == IndexFormat::Ntx ? (*bag)->order(0) : (*bag)->find(tag);
  std::vector<uint32_t> pages;
  EXPECT_TRUE(o && o->tree_pages(pages).is_ok());
  return pages;
}

// The offset of a CDX tag's header: the page before the one whose pool starts with `expr`.
uint32_t cdx_tag_header(const std::string& file, const std::string& expr) {
  const auto b = read_bytes(file);
  for (size_t off = 1024; off + 1024 <= b.size(); off += 512)
    if (std::memcmp(b.data() + off + 512, expr.c_str(), expr.size() + 1) == 0) return uint32_t(off);
  ADD_FAILURE() << "no tag header for " << expr;
  return 0;
}

Status check_all(const std::string& path, const char* driver) {
  auto t = open_table(path, driver);
  if (!t) return Status::corrupt("Tabelle");
  auto ol = attach(*t, driver);
  Status st;
  for (size_t n = 1; ol && n <= ol->count() && st.is_ok(); ++n) {
    auto rep = ol->check(n);
    if (!rep.is_ok()) st = rep.status();
  }
  ol.reset();
  t->close().ignore();
  return st;
}

// ---- CDX: expressions that fill the tag header --------------------------------------

TEST(DamagedIndexWrites, ACdxTagWhoseExpressionsFillItsHeaderIsOnlyRead) {
  TempDir dir;
  const std::string path = make_table(dir, "DBFCDX", 60);
  const std::string cdx = file_in(dir, "DATEN.CDX");
  // BETRAG's pool becomes a 300-byte key expression and a 212-byte FOR condition, no
  // room left for either NUL.
  const uint32_t h = cdx_tag_header(cdx, "BETRAG");
  auto b = read_bytes(cdx);
  const std::string key = std::string(294, ' ') + "BETRAG", cond = std::string(207, ' ') + "AKTIV";
  ASSERT_EQ(key.size() + cond.size(), 512u);
  std::memcpy(b.data() + h + 512, key.data(), key.size());
  std::memcpy(b.data() + h + 512 + key.size(), cond.data(), cond.size());
  put_le16(b.data() + h + 504, uint16_t(key.size()));
  put_le16(b.data() + h + 506, uint16_t(cond.size()));
  put_le16(b.data() + h + 510, uint16_t(key.size()));
  b[h + 14] |= 0x08;
  write_bytes(cdx, b);
  const std::vector<uint8_t> damaged = b, header(b.begin() + h, b.begin() + h + 1024);

  {
    auto bag = index::IndexBag::open(FileSystem::posix(), cdx, IndexFormat::Cdx, {});
    ASSERT_TRUE(bag.is_ok()) << bag.status().to_string();
    index::TreeOrder* wide = (*bag)->find("BETRAG");
    index::TreeOrder* name = (*bag)->find("NAME");
    ASSERT_TRUE(wide && name);
    EXPECT_EQ(wide->info().key_expr, key);
    EXPECT_EQ(wide->info().for_expr, cond);
    EXPECT_TRUE(wide->read_only());
    EXPECT_NE(wide->read_only_reason().find("Tag-Kopf"), std::string::npos) << wide->read_only_reason();
    auto rep = wide->check();
    ASSERT_TRUE(rep.is_ok()) << rep.status().to_string();
    EXPECT_EQ(rep->keys, 60u);
    const std::string k(wide->keydef().length, '\0');
    Status s = wide->insert({reinterpret_cast<const uint8_t*>(k.data()), k.size()}, 61);
    EXPECT_EQ(s.kind(), StatusKind::ReadOnly) << s.to_string();
    EXPECT_EQ(wide->build({}, {}).kind(), StatusKind::ReadOnly);
    const std::string nk = std::string("NAME 9999") + std::string(name->keydef().length - 9, ' ');
    ASSERT_OK(name->insert({reinterpret_cast<const uint8_t*>(nk.data()), nk.size()}, 61));
    ASSERT_OK((*bag)->flush());
  }
  b = read_bytes(cdx);
  EXPECT_EQ(std::vector<uint8_t>(b.begin() + h, b.begin() + h + 1024), header);
  {
    auto bag = index::IndexBag::open(FileSystem::posix(), cdx, IndexFormat::Cdx, {});
    ASSERT_TRUE(bag.is_ok()) << bag.status().to_string();
    auto rep = (*bag)->find("NAME")->check();
    ASSERT_TRUE(rep.is_ok()) << rep.status().to_string();
    EXPECT_EQ(rep->keys, 61u);
  }
  // Through the table: the write is refused up front, so the tag misses no record.
  write_bytes(cdx, damaged);
  {
    auto t = open_table(path, "DBFCDX");
    ASSERT_TRUE(t);
    auto ol = attach(*t, "DBFCDX");
    ASSERT_TRUE(ol);
    Status st = append(*t, 60, 61);
    EXPECT_EQ(st.kind(), StatusKind::ReadOnly) << st.to_string();
    ol.reset();
    t->close().ignore();
  }
  {
    auto t = open_table(path, "DBFCDX");
    ASSERT_TRUE(t);
    auto ol = attach(*t, "DBFCDX");
    ASSERT_TRUE(ol);
    ASSERT_EQ(ol->info(1).name, "NAME");
    auto rep = ol->check(1);
    ASSERT_TRUE(rep.is_ok()) << rep.status().to_string();
    EXPECT_EQ(rep->keys, t->lastrec());
  }
  b = read_bytes(cdx);
  EXPECT_EQ(std::vector<uint8_t>(b.begin() + h, b.begin() + h + 1024), header);
}

// ---- NTX: the free-page pointer of the header -----------------------------------------

TEST(DamagedIndexWrites, AnNtxFreePointerAtNoFreePageIsNeverUsed) {
  struct Case {
    const char* what;
    std::function<uint32_t(const std::vector<uint32_t>& pages, uint64_t size)> free;
  };
  const Case cases[] = {
      {"a leaf in use", [](const std::vector<uint32_t>& p, uint64_t) { return p.back(); }},
      {"the root", [](const std::vector<uint32_t>& p, uint64_t) { return p.front(); }},
      {"past the end", [](const std::vector<uint32_t>&, uint64_t size) { return uint32_t(size + 40 * 1024); }},
      {"off a page boundary", [](const std::vector<uint32_t>& p, uint64_t) { return p.back() + 100; }},
      {"inside the header", [](const std::vector<uint32_t>&, uint64_t) { return 512u; }},
  };
  for (const Case& c : cases)
    for (bool shared : {false, true}) {
      SCOPED_TRACE(std::string(c.what) + (shared ? ", shared" : ""));
      TempDir dir;
      const std::string path = make_table(dir, "DBFNTX", 150);
      const std::string ntx = file_in(dir, "NAME.NTX");
      const auto pages = tree_pages(ntx, IndexFormat::Ntx, "");
      ASSERT_GT(pages.size(), 3u);
      patch32(ntx, 8, c.free(pages, read_bytes(ntx).size()));
      Status before = check_all(path, "DBFNTX");
      EXPECT_EQ(before.kind(), StatusKind::Corrupt) << before.to_string();
      write_through_table(path, "DBFNTX", shared);
      expect_orders_right(path, "DBFNTX");
    }
}

// The same for an NTX key expression that fills its 256 bytes without a NUL.
TEST(DamagedIndexWrites, AnNtxExpressionFillingItsFieldIsOnlyRead) {
  TempDir dir;
  make_table(dir, "DBFNTX", 60);
  const std::string ntx = file_in(dir, "NAME.NTX");
  auto b = read_bytes(ntx);
  const std::string key = std::string(245, ' ') + "UPPER(NAME)";
  ASSERT_EQ(key.size(), 256u);
  std::memcpy(b.data() + 22, key.data(), key.size());
  write_bytes(ntx, b);
  {
    auto bag = index::IndexBag::open(FileSystem::posix(), ntx, IndexFormat::Ntx, {});
    ASSERT_TRUE(bag.is_ok()) << bag.status().to_string();
    index::TreeOrder* o = (*bag)->order(0);
    EXPECT_EQ(o->info().key_expr, key);
    EXPECT_TRUE(o->read_only());
    auto rep = o->check();
    ASSERT_TRUE(rep.is_ok()) << rep.status().to_string();
    EXPECT_EQ(rep->keys, 60u);
    const std::string k(o->keydef().length, ' ');
    Status s = o->insert({reinterpret_cast<const uint8_t*>(k.data()), k.size()}, 61);
    EXPECT_EQ(s.kind(), StatusKind::ReadOnly) << s.to_string();
    ASSERT_OK((*bag)->flush());
  }
  EXPECT_EQ(read_bytes(ntx), b);
}

// A change that fails half-way (here: the emptied leaf's neighbour cannot be read)
// takes back what it changed, so no half-done page is written later.
TEST(DamagedIndexWrites, AFailedNtxChangeLeavesNoHalfDonePage) {
  TempDir dir;
  make_table(dir, "DBFNTX", 150);
  const std::string ntx = file_in(dir, "NAME.NTX");
  auto b = read_bytes(ntx);
  // The root's first two children: leaves next to each other.
  const uint32_t root = get_le32(b.data() + 4);
  auto item = [&](uint32_t page, size_t k) { return b.data() + page + get_le16(b.data() + page + 2 + 2 * k); };
  const uint32_t first = get_le32(item(root, 0)), second = get_le32(item(root, 1));
  ASSERT_NE(first, 0u);
  const size_t kl = get_le16(b.data() + 14);
  std::vector<std::pair<std::string, uint32_t>> keys;
  for (size_t k = 0; k < get_le16(b.data() + first); ++k)
    keys.push_back({std::string(reinterpret_cast<const char*>(item(first, k) + 8), kl), get_le32(item(first, k) + 4)});
  ASSERT_GT(keys.size(), 2u);
  const std::vector<uint8_t> good_second(b.begin() + second, b.begin() + second + 1024);
  put_le16(b.data() + second, 0xFFFF);
  write_bytes(ntx, b);
  {
    auto bag = index::IndexBag::open(FileSystem::posix(), ntx, IndexFormat::Ntx, {});
    ASSERT_TRUE(bag.is_ok());
    index::TreeOrder* o = (*bag)->order(0);
    auto span = [](const std::string& k) {
      return std::span<const uint8_t>(reinterpret_cast<const uint8_t*>(k.data()), k.size());
    };
    for (size_t i = 1; i < keys.size(); ++i) ASSERT_OK(o->remove(span(keys[i].first), keys[i].second));
    // The last key empties the leaf, which then borrows from its damaged neighbour.
    Status st = o->remove(span(keys[0].first), keys[0].second);
    EXPECT_EQ(st.kind(), StatusKind::Corrupt) << st.to_string();
    ASSERT_OK((*bag)->flush());
  }
  b = read_bytes(ntx);
  std::copy(good_second.begin(), good_second.end(), b.begin() + second);
  write_bytes(ntx, b);
  auto bag = index::IndexBag::open(FileSystem::posix(), ntx, IndexFormat::Ntx, {});
  ASSERT_TRUE(bag.is_ok());
  auto rep = (*bag)->order(0)->check();
  ASSERT_TRUE(rep.is_ok()) << rep.status().to_string();
  EXPECT_EQ(rep->keys, 150 - (keys.size() - 1));
}

// ---- CDX: the free list of the bag ----------------------------------------------------

TEST(DamagedIndexWrites, ACdxFreeListOnAPageInUseIsNeverUsed) {
  struct Case {
    const char* what;
    std::function<uint32_t(const std::string& cdx)> free;
  };
  const Case cases[] = {
      {"a leaf of another tag",
       [](const std::string& cdx) { return tree_pages(cdx, IndexFormat::Cdx, "BETRAG").back(); }},
      {"the root of another tag",
       [](const std::string& cdx) { return tree_pages(cdx, IndexFormat::Cdx, "BETRAG").front(); }},
      {"a tag header", [](const std::string& cdx) { return cdx_tag_header(cdx, "BETRAG"); }},
      {"the second page of a tag header", [](const std::string& cdx) { return cdx_tag_header(cdx, "BETRAG") + 512; }},
      {"the directory header", [](const std::string&) { return 512u; }},
  };
  for (const Case& c : cases)
    for (bool shared : {false, true}) {
      SCOPED_TRACE(std::string(c.what) + (shared ? ", shared" : ""));
      TempDir dir;
      const std::string path = make_table(dir, "DBFCDX", 300);
      const std::string cdx = file_in(dir, "DATEN.CDX");
      patch32(cdx, 4, c.free(cdx));
      Status before = check_all(path, "DBFCDX");
      EXPECT_EQ(before.kind(), StatusKind::Corrupt) << before.to_string();
      write_through_table(path, "DBFCDX", shared);
      expect_orders_right(path, "DBFCDX");
    }
}

// The check follows the free list and names what is wrong with it.
TEST(DamagedIndexWrites, TheCheckReportsADamagedCdxFreeList) {
  TempDir dir;
  const std::string path = make_table(dir, "DBFCDX", 300);
  const std::string cdx = file_in(dir, "DATEN.CDX");
  EXPECT_TRUE(check_all(path, "DBFCDX").is_ok());
  const auto good = read_bytes(cdx), table = read_bytes(path);
  const uint32_t end = uint32_t(good.size());
  struct Case {
    const char* what;
    std::function<void(std::vector<uint8_t>&)> damage;
    const char* message;
  };
  const Case cases[] = {
      {"a page in use", [&](std::vector<uint8_t>& b) { put_le32(b.data() + 4, cdx_tag_header(cdx, "UPPER(NAME)")); },
       "belegt"},
      {"out of the file", [&](std::vector<uint8_t>& b) { put_le32(b.data() + 4, end + 4096); }, "außerhalb"},
      {"off a page boundary", [&](std::vector<uint8_t>& b) { put_le32(b.data() + 4, end - 512 + 8); }, "Seitengrenze"},
      {"a loop",
       [&](std::vector<uint8_t>& b) {
         // Two free pages at the end, each naming the other.
         b.resize(end + 1024, 0);
         put_le32(b.data() + end, end + 512);
         put_le32(b.data() + end + 512, end);
         put_le32(b.data() + 4, end);
       },
       "zweimal"},
      {"a free page naming a page in use",
       [&](std::vector<uint8_t>& b) {
         b.resize(end + 512, 0);
         put_le32(b.data() + end, tree_pages(cdx, IndexFormat::Cdx, "NAME").back());
         put_le32(b.data() + 4, end);
       },
       "belegt"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    auto b = good;
    c.damage(b);
    write_bytes(cdx, b);
    Status st = check_all(path, "DBFCDX");
    EXPECT_EQ(st.kind(), StatusKind::Corrupt) << st.to_string();
    EXPECT_NE(st.message().find(c.message), std::string::npos) << st.to_string();
    EXPECT_NE(st.message().find("freien Seiten"), std::string::npos) << st.to_string();
    write_through_table(path, "DBFCDX", false);
    expect_orders_right(path, "DBFCDX");
    write_bytes(cdx, good);
    write_bytes(path, table);
  }
}

}  // namespace
}  // namespace mv
