// Every order of every fixture case through the table and its order list: the orders the
// table lists, their key counts, the record order from top to bottom with SKIP, and every
// listed SEEK (found, record number).
#include <gtest/gtest.h>

#include "fixture_cases.h"
#include "platform/table/index/order_list.h"

namespace mv::testing {
namespace {

Value seek_value(const Json& s, const std::string& key_type, CodePage cp) {
  const Json& k = s["key"];
  if (key_type == "N") return Value::numeric(k.number);
  if (key_type == "L") return Value::boolean(k.boolean);
  if (key_type == "D") {
    Date d;
    if (k.text.size() == 8)
      d = Date::from_ymd(std::stoi(k.text.substr(0, 4)), std::stoi(k.text.substr(4, 2)), std::stoi(k.text.substr(6, 2)));
    return Value::of_date(d);
  }
  if (const Json* hex = s.find("keyHex")) {
    std::string bytes;
    for (size_t i = 0; i + 1 < hex->text.size(); i += 2) bytes += char(std::stoi(hex->text.substr(i, 2), nullptr, 16));
    return Value::character(bytes);
  }
  auto b = cp_from_utf8(cp, k.text);
  return Value::character(b.is_ok() ? *b : k.text);
}

TEST(InteropOrders, EveryOrderWalksAndSeeksThroughTheTable) {
  auto cases = load_fixture_cases();
  const bool filter = deleted_filter();
  set_deleted_filter(false);
  size_t orders = 0, seeks = 0, skipped = 0;
  for (const FixtureCase& c : cases) {
    const Json& list = c.expected["orders"];
    if (list.items.empty()) continue;
    SCOPED_TRACE(c.name);
    std::string used;
    auto t = open_case_table(c, &used);
    ASSERT_TRUE(t.is_ok()) << t.status().to_string();
    auto ol = OrderList::attach(**t);
    ASSERT_TRUE(ol.is_ok()) << ol.status().to_string();
    if (index_format_of_driver((*t)->driver()) == index::IndexFormat::Ntx) {
      for (const Json& o : list.items) ASSERT_TRUE((*ol)->add_index_file(c.folder + "/" + o["bag"].text).is_ok());
    }
    ASSERT_EQ((*ol)->count(), list.items.size());
    for (const std::string& m : (*ol)->messages()) std::printf("  %s: %s\n", c.name.c_str(), m.c_str());
    const uint32_t last = (*t)->lastrec();
    for (size_t i = 0; i < list.items.size(); ++i) {
      const Json& o = list.items[i];
      SCOPED_TRACE(o["tag"].text);
      const index::OrderInfo& info = (*ol)->info(i + 1);
      EXPECT_EQ(info.name, o["tag"].text);
      EXPECT_EQ(info.key_expr, o["key"].text);
      EXPECT_EQ(info.for_expr, o["for"].text);
      EXPECT_EQ(info.unique, o["unique"].boolean);
      EXPECT_EQ(info.descending, o["descending"].boolean);
      EXPECT_EQ(path_file(info.bag_path), o["bag"].text);
      ASSERT_TRUE((*ol)->set_order(i + 1).is_ok());
      auto kc = (*ol)->key_count();
      ASSERT_TRUE(kc.is_ok());
      EXPECT_EQ(*kc, uint64_t(o["keyCount"].as_int()));
      std::vector<uint32_t> got, want;
      for (const Json& r : o["recnos"].items) want.push_back(uint32_t(r.as_int()));
      ASSERT_TRUE((*t)->go_top().is_ok());
      while (!(*t)->eof() && got.size() <= want.size()) {
        got.push_back((*t)->recno());
        ASSERT_TRUE((*t)->skip(1).is_ok());
      }
      EXPECT_EQ(got, want);
      ++orders;
      // Only the dBASE language drivers whose collation we do not know leave orders
      // read-only: every other order's keys are computed as its writer computed them.
      const Json* ld = c.expected["header"].find("languageDriver");
      if (c.driver != "DBFMDX" || !ld || (ld->as_int() != 0x10 && ld->as_int() != 0x58)) {
        EXPECT_EQ((*ol)->problem(i + 1), "");
      } else if (o["keyType"].text == "C") {
        EXPECT_NE((*ol)->problem(i + 1).find("Sortierfolge"), std::string::npos);
      }
      if (!(*ol)->problem(i + 1).empty()) {
        skipped += o["seeks"].items.size();  // a collation we do not know: read, not searched
        continue;
      }
      for (const Json& s : o["seeks"].items) {
        SCOPED_TRACE("seek " + s["key"].text + (s["soft"].boolean ? " soft" : ""));
        auto found = (*ol)->seek(seek_value(s, o["keyType"].text, c.code_page), s["soft"].boolean);
        ASSERT_TRUE(found.is_ok()) << found.status().to_string();
        EXPECT_EQ(*found, s["found"].boolean);
        EXPECT_EQ((*ol)->found(), s["found"].boolean);
        const Json* eof = s.find("eof");
        const bool want_eof = eof ? eof->boolean : s["recno"].as_int() == 0;
        EXPECT_EQ((*t)->eof(), want_eof);
        if (!want_eof) EXPECT_EQ((*t)->recno(), uint32_t(s["recno"].as_int()));
        else EXPECT_EQ((*t)->recno(), last + 1);
        ++seeks;
      }
    }
  }
  set_deleted_filter(filter);
  std::printf("%zu orders walked, %zu seeks checked, %zu seeks skipped (foreign collation)\n", orders, seeks, skipped);
}

}  // namespace
}  // namespace mv::testing
