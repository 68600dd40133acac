// Appending from another file while writes fail: a failed append is taken back whole.
#include <gtest/gtest.h>

#include <fstream>

#include "platform/table/index/order_list.h"
#include "table_helpers.h"
#include "tests/support/faulty_fs.h"

namespace mv {
namespace {

using testing::make_table;
using testing::open_ok;
using testing::TempDir;

// Each write, short write and rename failing in turn, for the three append modes into a
// table with a production bag: the table holds its old records or all of the new ones,
// and its order agrees with it at the next open.
TEST(AppendFaults, AFailedAppendIsTakenBackWhole) {
  const char* modes[] = {"db", "sdf", "delimited"};
  for (const char* mode : modes) {
    for (int kind = 0; kind < 3; ++kind) {
      for (int nth = 0; nth < 10; ++nth) {
        SCOPED_TRACE(std::string(mode) + " " + std::to_string(kind) + "/" + std::to_string(nth));
        TempDir dir;
        const std::string path = dir.path() + "/ZIEL.DBF";
        const std::string src = dir.path() + "/QUELLE.DBF";
        make_table(path, "DBFCDX", 5);
        make_table(src, "DBFCDX", 20);
        {
          auto t = open_ok(path);
          ASSERT_TRUE(t);
          auto ol = OrderList::attach(*t);
          ASSERT_TRUE(ol.is_ok());
          MV_ASSERT_OK((*ol)->create_order("NAME", "", "NAME"));
          ol->reset();
          MV_ASSERT_OK(t->close());
          auto s = open_ok(src);
          ASSERT_TRUE(s);
          MV_ASSERT_OK(s->copy_sdf(dir.path() + "/QUELLE.TXT"));
          MV_ASSERT_OK(s->copy_delimited(dir.path() + "/QUELLE.CSV"));
        }
        FaultyFileSystem fs(FileSystem::posix());
        Status st;
        {
          auto t = open_ok(path, false, false, "DBFCDX", &fs);
          ASSERT_TRUE(t);
          auto ol = OrderList::attach(*t);
          ASSERT_TRUE(ol.is_ok());
          if (kind == 0) fs.fail_write_at = fs.writes + nth;
          if (kind == 1) fs.short_write_at = fs.writes + nth;
          if (kind == 2) fs.fail_rename_at = fs.renames + nth;
          const std::string m = mode;
          st = m == "db" ? t->append_db(src) : m == "sdf" ? t->append_sdf(dir.path() + "/QUELLE.TXT")
                                                          : t->append_delimited(dir.path() + "/QUELLE.CSV");
          // Writing the orders' pages at the end may fail too: the records stay appended and
          // the order is made right at the next open.
          t->commit().ignore();
          ol->reset();
          t->close().ignore();
        }
        auto t = open_ok(path);
        ASSERT_TRUE(t);
        auto ol = OrderList::attach(*t);
        ASSERT_TRUE(ol.is_ok()) << ol.status().to_string();
        EXPECT_EQ(t->lastrec(), st ? 25u : 5u) << st.to_string();
        auto report = (*ol)->check(1);
        EXPECT_TRUE(report.is_ok()) << report.status().to_string();
        if (report) {
          EXPECT_EQ(report->keys, uint64_t(t->lastrec()));
        }
      }
    }
  }
}

}  // namespace
}  // namespace mv
