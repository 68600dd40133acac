// Index files we write, read by other programs: the Perl module XBase's index reader
// (NTX, CDX, MDX) and Free Pascal's TDbf (MDX). Their walk of every order must equal
// ours, after a bulk build and after long runs of appends, edits and deletes. A missing
// tool skips with a message.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <random>
#include <sstream>

#include "platform/table/index/order_list.h"
#include "platform/table/table.h"
#include "tests/platform/table/index/index_test_helpers.h"

namespace mv {
namespace {

using index::IndexFormat;

struct TagSpec {
  const char* name;
  const char* key;
  char type;  // C or N as the readers want it
  bool descending;
  bool unique;
};

const TagSpec kTags[] = {
    {"NAME", "UPPER(NAME)", 'C', false, false},
    {"BETRAG", "BETRAG", 'N', false, false},
    {"NAMED", "NAME", 'C', true, false},
    {"NAMEU", "NAME", 'C', false, true},
    {"KOMBI", "UPPER(NAME)+DTOS(DATUM)", 'C', false, false},
};

std::string name_for(std::mt19937& rng) {
  static const char* parts[] = {"Abel", "MUELLER", "Baecker", "Zorn", "Otto", "Ebert", "Ulm", "Abt", "Kranz"};
  std::string s = parts[rng() % 9];
  s += ", ";
  s += parts[rng() % 9];
  s += std::to_string(rng() % 50);
  return s;
}

class ExternalReaders : public ::testing::TestWithParam<std::tuple<std::string, bool>> {
 protected:
  IndexFormat format() const {
    return *index_format_of_driver(std::get<0>(GetParam()));
  }

  // A table of `n` records with every tag, built in one pass or maintained record by
  // record; answers the table path.
  std::string make(const std::string& dir, int n, bool maintained) {
    const std::string& driver = std::get<0>(GetParam());
    std::string path = dir + "/KUNDEN.DBF";
    EXPECT_TRUE(db_create(path, {{"NAME", 'C', 24, 0}, {"BETRAG", 'N', 10, 2}, {"DATUM", 'D', 8, 0}, {"NOTIZ", 'M', 10, 0}}, driver).is_ok());
    OpenOptions o;
    o.shared = false;
    o.driver = driver;
    auto t = Table::open(path, o);
    EXPECT_TRUE(t.is_ok());
    auto ol = OrderList::attach(**t);
    EXPECT_TRUE(ol.is_ok());
    std::mt19937 rng(17);
    auto add = [&] {
      EXPECT_TRUE((*t)->append_blank().is_ok());
      EXPECT_TRUE((*t)->field_put("NAME", Value::character(name_for(rng))).is_ok());
      EXPECT_TRUE((*t)->field_put("BETRAG", Value::numeric(double(int(rng() % 400000) - 200000) / 4, 10, 2)).is_ok());
      EXPECT_TRUE((*t)->field_put("DATUM", Value::of_date(Date::from_julian(2440000 + int(rng() % 20000)))).is_ok());
    };
    auto create = [&] {
      for (const TagSpec& s : kTags) {
        CreateOrderOptions co;
        co.descending = s.descending;
        co.unique = s.unique;
        Status st = format() == IndexFormat::Ntx ? (*ol)->create_index(s.name, s.key, co)
                                                 : (*ol)->create_order(s.name, "", s.key, co);
        EXPECT_TRUE(st.is_ok()) << st.to_string();
      }
    };
    if (!maintained) {
      for (int i = 0; i < n; ++i) add();
      create();
    } else {
      create();
      for (int i = 0; i < n; ++i) {
        add();
        if (i > 10 && rng() % 3 == 0) {
          EXPECT_TRUE((*t)->go_to(uint32_t(rng() % (*t)->lastrec()) + 1).is_ok());
          EXPECT_TRUE((*t)->field_put("NAME", Value::character(name_for(rng))).is_ok());
          if (rng() % 2) {
            EXPECT_TRUE((*t)->delete_record().is_ok());
          }
        }
      }
    }
    ol->reset();
    EXPECT_TRUE((*t)->close().is_ok());
    return path;
  }

  // Our walk of every tag, stored order (what a reader that ignores the descending flag
  // of a CDX tag sees) and logical order.
  std::map<std::string, std::vector<uint32_t>> ours(const std::string& path, bool stored_order) {
    std::map<std::string, std::vector<uint32_t>> out;
    OpenOptions o;
    o.driver = std::get<0>(GetParam());
    o.read_only = true;
    auto t = Table::open(path, o);
    EXPECT_TRUE(t.is_ok());
    auto ol = OrderList::attach(**t);
    EXPECT_TRUE(ol.is_ok());
    if (format() == IndexFormat::Ntx) {
      for (const TagSpec& s : kTags) EXPECT_TRUE((*ol)->add_index_file(s.name).is_ok());
    }
    for (size_t n = 1; n <= (*ol)->count(); ++n) {
      index::TreeOrder* o2 = (*ol)->tree(n);
      std::vector<uint32_t> w;
      index::Cursor c;
      EXPECT_TRUE(o2->first(c).is_ok());
      while (c.valid()) {
        w.push_back(o2->recno_at(c));
        EXPECT_TRUE(o2->next(c).is_ok());
      }
      if (stored_order && format() == IndexFormat::Cdx && o2->info().descending) std::reverse(w.begin(), w.end());
      out[o2->info().name] = w;
    }
    return out;
  }
};

TEST_P(ExternalReaders, PerlXBaseWalksEveryOrderAsWeDo) {
  if (!index_test::have_perl_xbase()) GTEST_SKIP() << "Perl module XBase (libdbd-xbase-perl) is not installed";
  const bool maintained = std::get<1>(GetParam());
  std::string dir = index_test::scratch_dir(std::string("perl_") + std::get<0>(GetParam()) + (maintained ? "_m" : "_b"));
  std::string path = make(dir, maintained ? 3000 : 5000, maintained);
  auto want = ours(path, true);
  ASSERT_EQ(want.size(), std::size(kTags));
  for (const TagSpec& s : kTags) {
    SCOPED_TRACE(s.name);
    std::string file, tag = s.name;
    if (format() == IndexFormat::Ntx) {
      file = dir + "/" + s.name + ".NTX";
      tag = "-";
    } else {
      file = dir + (format() == IndexFormat::Cdx ? "/KUNDEN.CDX" : "/KUNDEN.mdx");
    }
    const index_test::ReaderWalk w = index_test::perl_xbase_walk(dir, file, tag, s.type);
    ASSERT_EQ(w.status, 0) << w.output;
    EXPECT_EQ(w.orders[0], want[s.name]);
  }
}

// TDbf reads the dBASE family's MDX bags only.
class MdxExternalReaders : public ExternalReaders {};

TEST_P(MdxExternalReaders, FreePascalTDbfWalksEveryMdxTagAsWeDo) {
  std::string why;
  const std::string walker = index_test::tdbf_walker(&why);
  if (walker.empty()) GTEST_SKIP() << why;
  const bool maintained = std::get<1>(GetParam());
  std::string dir = index_test::scratch_dir(std::string("tdbf_") + (maintained ? "m" : "b"));
  std::string path = make(dir, maintained ? 3000 : 5000, maintained);
  std::vector<std::string> tags;
  for (const TagSpec& s : kTags) tags.push_back(s.name);
  const index_test::ReaderWalk w = index_test::tdbf_walk(walker, path, tags);
  ASSERT_EQ(w.status, 0) << w.output;
  auto want = ours(path, false);
  const auto& parts = w.orders;
  ASSERT_GE(parts.size(), std::size(kTags));
  for (size_t i = 0; i < std::size(kTags); ++i) {
    SCOPED_TRACE(kTags[i].name);
    EXPECT_EQ(parts[i], want[kTags[i].name]);
  }
}

auto param_name = [](const auto& info) {
  return std::string(std::get<0>(info.param)) + (std::get<1>(info.param) ? "_maintained" : "_bulk");
};
INSTANTIATE_TEST_SUITE_P(Files, ExternalReaders,
                         ::testing::Combine(::testing::Values(std::string("DBFNTX"), std::string("DBFCDX"), std::string("DBFMDX")), ::testing::Bool()),
                         param_name);
INSTANTIATE_TEST_SUITE_P(Files, MdxExternalReaders, ::testing::Combine(::testing::Values(std::string("DBFMDX")), ::testing::Bool()),
                         param_name);

}  // namespace
}  // namespace mv
