// The table with its order list as the calendar uses it: opening with or without its bag,
// orders created and chosen, SEEK, navigation and field access, and a closed or unopened
// server answering errors instead of crashing.
#include <gtest/gtest.h>

#include "platform/table/dbserver.h"
#include "platform/table/transfer.h"
#include "tests/support/faulty_fs.h"
#include "tests/support/fixtures.h"

namespace mv {
namespace {

const std::vector<StructRow> kFields = {{"NAME", 'C', 10, 0}, {"DATUM", 'D', 8, 0}};

class DbServerTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(db_create(dir.file("T.DBF"), kFields, "DBFCDX").is_ok()); }
  void fill(DBSERVER& s, std::initializer_list<const char*> names) {
    for (const char* n : names) {
      ASSERT_TRUE(s.APPEND().is_ok());
      ASSERT_TRUE(s.FIELDPUT("name", Value::character(n)).is_ok());
    }
    ASSERT_TRUE(s.COMMIT().is_ok());
  }
  testing::TempDir dir;
};

TEST_F(DbServerTest, OpensWithoutBagThenBuildsOrdersAndFindsThemAgain) {
  {
    DBSERVER s;
    ASSERT_TRUE(s.open(dir.file("T"), true, false, "DBFCDX").is_ok()) << "a missing bag is no error";
    EXPECT_TRUE(s.order_names().empty());
    fill(s, {"Mara", "Anton", "Zoe"});
    ASSERT_TRUE(s.CREATEORDER("NAME", dir.file("T"), "NAME").is_ok());
    ASSERT_TRUE(s.CREATEORDER("DAT", dir.file("T"), "DTOS(DATUM)+NAME").is_ok());
    ASSERT_TRUE(s.CLOSE().is_ok());
    EXPECT_TRUE(s.CLOSE().is_ok()) << "closing twice is harmless";
  }
  EXPECT_TRUE(FileSystem::posix().exists(dir.file("T.CDX"))) << "the bag follows the table's extension case";
  DBSERVER s;
  ASSERT_TRUE(s.open(dir.file("T.DBF"), true, false, "DBFCDX").is_ok());
  EXPECT_EQ(s.order_names(), (std::vector<std::string>{"NAME", "DAT"}));
  ASSERT_TRUE(s.SETORDER("NAME").is_ok());
  std::vector<std::string> seen;
  while (!s.eof()) {
    seen.push_back(s.FIELDGET("NAME")->str);
    ASSERT_TRUE(s.SKIP().is_ok());
  }
  EXPECT_EQ(seen, (std::vector<std::string>{"Anton     ", "Mara      ", "Zoe       "}));
  EXPECT_EQ(s.LASTREC(), 3u);

  // Exact and soft SEEK.
  auto found = s.SEEK(Value::character("Mara"));
  ASSERT_TRUE(found.is_ok());
  EXPECT_TRUE(*found);
  EXPECT_EQ(s.RECNO(), 1u);
  found = s.SEEK(Value::character("N"));
  EXPECT_FALSE(*found);
  EXPECT_TRUE(s.eof());
  found = s.SEEK(Value::character("N"), true);
  EXPECT_FALSE(*found);
  EXPECT_EQ(s.RECNO(), 3u) << "soft seek stands on the next key";
  ASSERT_TRUE(s.GOTO(2).is_ok());
  EXPECT_EQ(s.FIELDGET("name")->str, "Anton     ");
  EXPECT_FALSE(s.FIELDGET("NOPE").is_ok());
  EXPECT_FALSE(s.SETORDER("NOPE").is_ok());
}

TEST_F(DbServerTest, ServerThatIsNotOpenAnswersErrors) {
  DBSERVER s;
  EXPECT_FALSE(s.open(dir.file("MISSING"), true, false, "DBFCDX").is_ok());
  EXPECT_FALSE(s.open_status().is_ok());
  EXPECT_FALSE(s.used());
  EXPECT_FALSE(s.APPEND().is_ok());
  EXPECT_FALSE(s.FIELDGET("NAME").is_ok());
  EXPECT_FALSE(s.SEEK(Value::character("x")).is_ok());
  EXPECT_FALSE(s.SKIP().is_ok());
  EXPECT_TRUE(s.eof());
  EXPECT_EQ(s.LASTREC(), 0u);
  EXPECT_EQ(s.RECNO(), 0u);
  EXPECT_TRUE(s.DBSTRUCT().empty());
  EXPECT_TRUE(s.CLOSE().is_ok());
}

TEST_F(DbServerTest, TwoSharedServersSeeEachOthersRecords) {
  DBSERVER a, b;
  ASSERT_TRUE(a.open(dir.file("T.DBF"), true, false, "DBFCDX").is_ok());
  ASSERT_TRUE(b.open(dir.file("T.DBF"), true, false, "DBFCDX").is_ok());
  fill(a, {"Eins"});
  EXPECT_EQ(b.LASTREC(), 1u);
  DBSERVER c;
  EXPECT_EQ(c.open(dir.file("T.DBF"), false, false, "DBFCDX").kind(), StatusKind::Locked)
      << "no exclusive open while others share it";
}

TEST_F(DbServerTest, FailedOrderBuildIsReported) {
  FaultyFileSystem faulty(FileSystem::posix());
  DBSERVER s;
  ASSERT_TRUE(s.open(dir.file("T.DBF"), true, false, "DBFCDX", &faulty).is_ok());
  faulty.fail_write_at = faulty.writes;
  EXPECT_FALSE(s.CREATEORDER("NAME", dir.file("T"), "NAME").is_ok());
}

}  // namespace
}  // namespace mv
