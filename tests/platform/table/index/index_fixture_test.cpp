// Every order of every fixture case, read with our index readers: key count, the
// record order from top to bottom, every listed seek and the structural check; then
// each order rebuilt by our bulk writer and walked again.
#include <gtest/gtest.h>

#include <map>
#include <memory>

#include "platform/base/filesystem.h"
#include "platform/table/index/index_bag.h"
#include "tests/platform/table/index/index_test_helpers.h"

namespace mv::index {
namespace {

using index_test::Json;

KeyType key_type_of(const std::string& t) {
  if (t == "N") return KeyType::Numeric;
  if (t == "D") return KeyType::Date;
  if (t == "L") return KeyType::Logical;
  return KeyType::Character;
}

struct OrderEntries {
  std::vector<uint8_t> keys;
  std::vector<uint32_t> recnos;
};

Result<std::vector<uint32_t>> walk(TreeOrder& o, OrderEntries* entries = nullptr) {
  std::vector<uint32_t> out;
  Cursor c;
  MV_RETURN_IF_ERROR(o.first(c));
  while (c.valid()) {
    out.push_back(o.recno_at(c));
    if (entries) {
      const uint8_t* k = o.key_at(c);
      entries->keys.insert(entries->keys.end(), k, k + o.keydef().length);
      entries->recnos.push_back(o.recno_at(c));
    }
    MV_RETURN_IF_ERROR(o.next(c));
    if (out.size() > 10'000'000) return Status::corrupt("endless walk");
  }
  return out;
}

Result<std::vector<uint32_t>> walk_backwards(TreeOrder& o) {
  std::vector<uint32_t> out;
  Cursor c;
  MV_RETURN_IF_ERROR(o.last(c));
  while (c.valid()) {
    out.push_back(o.recno_at(c));
    MV_RETURN_IF_ERROR(o.prev(c));
    if (out.size() > 10'000'000) return Status::corrupt("endless walk");
  }
  std::reverse(out.begin(), out.end());
  return out;
}

Result<std::string> search_key(const TreeOrder& o, const Json& seek, CodePage cp) {
  const Json& k = seek["key"];
  switch (o.keydef().type) {
    case KeyType::Character: {
      if (seek.has("keyHex")) return index_test::from_hex(seek["keyHex"].text);
      return cp_from_utf8(cp, k.text);
    }
    case KeyType::Numeric:
      return encode_search_key(o.keydef(), Value::numeric(k.number, o.keydef().length, o.keydef().decimals));
    case KeyType::Date: {
      Date d;
      if (k.text.size() == 8)
        d = Date::from_ymd(std::stoi(k.text.substr(0, 4)), std::stoi(k.text.substr(4, 2)),
                           std::stoi(k.text.substr(6, 2)));
      return encode_search_key(o.keydef(), Value::of_date(d));
    }
    case KeyType::Logical: return encode_search_key(o.keydef(), Value::boolean(k.boolean));
  }
  return Status::invalid_argument("key type");
}

struct CaseOrder {
  std::string case_dir;
  const Json* expected = nullptr;
  const Json* order = nullptr;
  TreeOrder* tree = nullptr;
  bool collation_known = true;
};

class IndexFixtures : public ::testing::Test {
 protected:
  void SetUp() override {
    cases_ = index_test::fixture_cases();
    if (cases_.empty()) GTEST_SKIP() << "no fixtures under " << index_test::fixture_root();
  }

  // Opens every order of a case (read-only), with key type and collation set.
  void open_case(const std::string& dir, std::vector<CaseOrder>& out) {
    auto e = index_test::read_json_file(dir + "/expected.json");
    ASSERT_TRUE(e.has_value()) << dir;
    docs_.push_back(std::make_unique<Json>(std::move(*e)));
    const Json& ex = *docs_.back();
    const IndexFormat fmt = index_test::format_of_case(ex);
    const CodePage cp = index_test::code_page_of(ex["codepage"].text.empty() ? ex["header"]["codepage"].text
                                                                             : ex["codepage"].text);
    for (const Json& ord : ex["orders"].items) {
      auto path = find_file_nocase(FileSystem::posix(), dir, ord["bag"].text);
      ASSERT_TRUE(path.has_value()) << ord["bag"].text;
      auto& bag = bags_[*path];
      if (!bag) {
        BagOptions opt;
        opt.read_only = true;
        auto b = IndexBag::open(FileSystem::posix(), *path, fmt, opt);
        ASSERT_TRUE(b.is_ok()) << b.status().to_string();
        bag = std::move(*b);
      }
      TreeOrder* o = fmt == IndexFormat::Ntx ? bag->order(0) : bag->find(ord["tag"].text);
      ASSERT_NE(o, nullptr) << ord["tag"].text;
      o->set_key_type(key_type_of(ord["keyType"].text));
      CaseOrder co{dir, &ex, &ord, o, true};
      auto coll = o->detect_collation(Collation::machine(), cp);
      ASSERT_TRUE(coll.is_ok()) << coll.status().to_string();
      // Opening a table tells it from a sample of the keys: the same answer.
      auto quick = o->detect_collation_sampled(Collation::machine(), cp);
      ASSERT_TRUE(quick.is_ok()) << quick.status().to_string();
      ASSERT_EQ(quick->has_value(), coll->has_value()) << ord["tag"].text;
      if (coll->has_value()) {
        EXPECT_EQ((*quick)->kind(), (*coll)->kind()) << ord["tag"].text;
        EXPECT_EQ((*quick)->code_page(), (*coll)->code_page()) << ord["tag"].text;
      }
      if (coll->has_value()) o->set_collation(**coll);
      else {
        co.collation_known = false;
        o->set_foreign_collation();
      }
      out.push_back(co);
    }
  }

  std::vector<std::string> cases_;
  std::vector<std::unique_ptr<Json>> docs_;
  std::map<std::string, std::unique_ptr<IndexBag>> bags_;
};

TEST_F(IndexFixtures, EveryOrderWalksCountsAndSeeksAsTheWriter) {
  int orders = 0, seeks = 0, skipped_seeks = 0;
  for (const std::string& dir : cases_) {
    SCOPED_TRACE(dir);
    std::vector<CaseOrder> list;
    open_case(dir, list);
    for (CaseOrder& co : list) {
      const Json& ord = *co.order;
      SCOPED_TRACE(ord["tag"].text);
      TreeOrder& o = *co.tree;
      ++orders;
      std::vector<uint32_t> want;
      for (const Json& r : ord["recnos"].items) want.push_back(uint32_t(r.as_int()));
      auto count = o.key_count();
      ASSERT_TRUE(count.is_ok()) << count.status().to_string();
      EXPECT_EQ(*count, uint64_t(ord["keyCount"].as_int()));
      auto got = walk(o);
      ASSERT_TRUE(got.is_ok()) << got.status().to_string();
      EXPECT_EQ(*got, want);
      auto back = walk_backwards(o);
      ASSERT_TRUE(back.is_ok()) << back.status().to_string();
      EXPECT_EQ(*back, want);
      auto rep = o.check();
      EXPECT_TRUE(rep.is_ok()) << rep.status().to_string();
      EXPECT_EQ(o.info().unique, ord["unique"].boolean);
      EXPECT_EQ(o.info().descending, ord["descending"].boolean);
      EXPECT_EQ(o.info().key_expr, ord["key"].text);
      EXPECT_EQ(o.info().for_expr, ord["for"].text);
      EXPECT_EQ(o.keydef().length, ord["keyLength"].as_int());

      const CodePage cp = index_test::code_page_of((*co.expected)["codepage"].text.empty()
                                                       ? (*co.expected)["header"]["codepage"].text
                                                       : (*co.expected)["codepage"].text);
      for (const Json& s : ord["seeks"].items) {
        SCOPED_TRACE("seek " + s["key"].text + s["key"].text + (s["soft"].boolean ? " soft" : ""));
        if (!co.collation_known) {
          ++skipped_seeks;
          continue;
        }
        auto key = search_key(o, s, cp);
        ASSERT_TRUE(key.is_ok()) << key.status().to_string();
        Cursor c;
        bool found = false;
        ASSERT_TRUE(o.seek({reinterpret_cast<const uint8_t*>(key->data()), key->size()}, c, found).is_ok());
        uint32_t at = found || s["soft"].boolean ? o.recno_at(c) : 0;
        EXPECT_EQ(found, s["found"].boolean);
        const bool eof = s.has("eof") ? s["eof"].boolean : s["recno"].as_int() == 0;
        if (eof) EXPECT_EQ(at, 0u);
        else EXPECT_EQ(at, uint32_t(s["recno"].as_int()));
        ++seeks;
      }
    }
  }
  std::cout << orders << " orders, " << seeks << " seeks checked, " << skipped_seeks
            << " seeks skipped on orders of a foreign collation\n";
  EXPECT_GT(orders, 0);
}

// The German order of the national fixtures: their weight table and UPPER() map.
TEST_F(IndexFixtures, GermanCollationMatchesTheNationalFixtures) {
  int checked = 0;
  for (const std::string& dir : cases_) {
    auto e = index_test::read_json_file(dir + "/expected.json");
    ASSERT_TRUE(e.has_value());
    if (!e->has("collationOrder")) continue;
    SCOPED_TRACE(dir);
    Collation g = Collation::german(index_test::code_page_of((*e)["codepage"].text));
    const auto& order = (*e)["collationOrder"].items;
    ASSERT_EQ(order.size(), 256u);
    for (size_t i = 1; i < order.size(); ++i)
      EXPECT_LT(g.weights()[size_t(order[i - 1].as_int())], g.weights()[size_t(order[i].as_int())]) << i;
    for (int b = 0; b < 256; ++b) {
      std::string in(1, char(b));
      std::string want = in;
      for (auto& [k, v] : (*e)["upperMap"].members)
        if (std::stoi(k) == b) want = std::string(1, char(v.as_int()));
      EXPECT_EQ(upper_for(g, in), want) << b;
    }
    ++checked;
  }
  if (checked == 0) GTEST_SKIP() << "no national fixtures";
}

// What our bulk writer builds from the same entries walks the same way.
TEST_F(IndexFixtures, BulkRebuildOfEveryOrderWalksTheSame) {
  int n = 0;
  for (const std::string& dir : cases_) {
    SCOPED_TRACE(dir);
    std::vector<CaseOrder> list;
    open_case(dir, list);
    std::map<std::string, std::unique_ptr<IndexBag>> ours;
    for (CaseOrder& co : list) {
      const Json& ord = *co.order;
      SCOPED_TRACE(ord["tag"].text);
      if (!co.collation_known) continue;
      TreeOrder& o = *co.tree;
      OrderEntries entries;
      auto want = walk(o, &entries);
      ASSERT_TRUE(want.is_ok());
      const IndexFormat fmt = o.keydef().format;
      std::string out_dir = index_test::scratch_dir("rebuild_" + std::to_string(n));
      OrderInfo info = o.info();
      info.unique = false;  // the entries are already unique where they must be
      TreeOrder* mine = nullptr;
      std::unique_ptr<IndexBag> bag;
      if (fmt == IndexFormat::Ntx) {
        auto b = IndexBag::create_ntx(FileSystem::posix(), out_dir + "/" + info.name + ".NTX", info, {});
        ASSERT_TRUE(b.is_ok()) << b.status().to_string();
        bag = std::move(*b);
        mine = bag->order(0);
      } else {
        auto b = IndexBag::create_bag(FileSystem::posix(), out_dir + (fmt == IndexFormat::Cdx ? "/T.CDX" : "/T.MDX"),
                                      fmt, {});
        ASSERT_TRUE(b.is_ok()) << b.status().to_string();
        bag = std::move(*b);
        auto t = bag->add_tag(info);
        ASSERT_TRUE(t.is_ok()) << t.status().to_string();
        mine = *t;
      }
      mine->set_key_type(o.keydef().type);
      mine->set_collation(o.collation());
      const std::vector<uint8_t> keys_copy = entries.keys;
      ASSERT_TRUE(mine->build(std::move(entries.keys), std::move(entries.recnos)).is_ok());
      ASSERT_TRUE(bag->flush().is_ok());
      OrderEntries again;
      auto got = walk(*mine, &again);
      ASSERT_TRUE(got.is_ok()) << got.status().to_string();
      ASSERT_EQ(got->size(), want->size());
      // Same keys in the same order; equal keys come back in record order from a bulk
      // build, so they are compared as groups.
      EXPECT_TRUE(again.keys == keys_copy);
      const size_t kl = o.keydef().length;
      for (size_t i = 0; i < got->size();) {
        size_t j = i + 1;
        while (j < got->size() && std::equal(again.keys.begin() + ptrdiff_t(i * kl), again.keys.begin() + ptrdiff_t((i + 1) * kl),
                                             again.keys.begin() + ptrdiff_t(j * kl)))
          ++j;
        std::vector<uint32_t> a(got->begin() + ptrdiff_t(i), got->begin() + ptrdiff_t(j));
        std::vector<uint32_t> b(want->begin() + ptrdiff_t(i), want->begin() + ptrdiff_t(j));
        std::sort(a.begin(), a.end());
        std::sort(b.begin(), b.end());
        ASSERT_EQ(a, b) << "key group at " << i;
        i = j;
      }
      auto rep = mine->check();
      EXPECT_TRUE(rep.is_ok()) << rep.status().to_string();
      ++n;
    }
  }
  EXPECT_GT(n, 0);
}

}  // namespace
}  // namespace mv::index
