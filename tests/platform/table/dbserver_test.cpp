// The table with its order list as the calendar uses it: opening with or without its bag,
// orders created and chosen, SEEK, navigation and field access, and a closed or unopened
// server answering errors instead of crashing.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <iterator>

#include "platform/table/dbserver.h"
#include "platform/table/transfer.h"
#include "tests/support/faulty_fs.h"
#include "tests/support/fixtures.h"
#include "tests/support/forwarding_fs.h"

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

std::string slurp(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

// Writes that reach the table file, by offset and length (the header's date and count
// bytes lie before the first record).
struct TableWrites {
  std::vector<std::pair<uint64_t, size_t>> writes;
};

class CountingFile : public mv::testing::ForwardingFile {
 public:
  CountingFile(std::unique_ptr<File> base, TableWrites* log) : ForwardingFile(std::move(base)), log_(log) {}
  Status write_at(uint64_t o, const void* b, size_t n) override {
    if (log_) log_->writes.push_back({o, n});
    return ForwardingFile::write_at(o, b, n);
  }

 private:
  TableWrites* log_;
};

class TableWriteCounter : public mv::testing::ForwardingFileSystem {
 public:
  explicit TableWriteCounter(std::string table) : table_(std::move(table)) {}
  Result<std::unique_ptr<File>> open(const std::string& path, OpenMode mode) override {
    MV_ASSIGN_OR_RETURN(auto f, base().open(path, mode));
    return std::unique_ptr<File>(new CountingFile(std::move(f), path == table_ ? &table : nullptr));
  }

  // Writes into the record area (from `first_record` on).
  size_t record_writes(uint64_t first_record) const {
    size_t n = 0;
    for (const auto& w : table.writes) n += w.first >= first_record;
    return n;
  }
  TableWrites table;

 private:
  std::string table_;
};

TEST_F(DbServerTest, FieldChangesOfOneRecordAreOneWriteAtCommitOrMove) {
  {
    DBSERVER s;
    ASSERT_TRUE(s.open(dir.file("T.DBF"), true, false, "DBFCDX").is_ok());
    fill(s, {"Anton", "Berta"});
    ASSERT_TRUE(s.CREATEORDER("NAME", dir.file("T"), "NAME+DTOS(DATUM)").is_ok());
  }
  const uint64_t first_record = 32 + 2 * 32 + 1;
  for (const bool by_move : {false, true}) {
    SCOPED_TRACE(by_move ? "written by a move" : "written by COMMIT");
    TableWriteCounter fs(dir.file("T.DBF"));
    DBSERVER s;
    ASSERT_TRUE(s.open(dir.file("T.DBF"), true, false, "DBFCDX", &fs).is_ok());
    ASSERT_TRUE(s.SETORDER("NAME").is_ok());
    ASSERT_TRUE(s.GOTO(1).is_ok());
    ASSERT_TRUE(s.FIELDPUT("NAME", Value::character(by_move ? "Cora" : "Carl")).is_ok());
    ASSERT_TRUE(s.FIELDPUT("DATUM", Value::of_date(Date::from_ymd(2024, 2, 29))).is_ok());
    EXPECT_EQ(s.FIELDGET("NAME")->str, by_move ? "Cora      " : "Carl      ") << "reads what waits";
    EXPECT_EQ(fs.record_writes(first_record), 0u) << "nothing written before COMMIT or a move";
    ASSERT_TRUE((by_move ? s.GOTO(2) : s.COMMIT()).is_ok());
    EXPECT_EQ(fs.record_writes(first_record), 1u);
    // The order holds one key for it: the new one.
    ASSERT_TRUE(s.SETORDER("NAME").is_ok());
    std::vector<uint32_t> walk;
    for (; !s.eof(); s.SKIP().ignore()) walk.push_back(s.RECNO());
    EXPECT_EQ(walk, (by_move ? std::vector<uint32_t>{2, 1, 3} : std::vector<uint32_t>{2, 1}));

    // APPEND with its fields: one write into the record area.
    const size_t before = fs.record_writes(first_record);
    ASSERT_TRUE(s.APPEND().is_ok());
    EXPECT_EQ(s.RECNO(), 3u + (by_move ? 1u : 0u));
    EXPECT_FALSE(s.eof());
    ASSERT_TRUE(s.FIELDPUT("NAME", Value::character("Dora")).is_ok());
    EXPECT_EQ(s.LASTREC(), 2u + (by_move ? 1u : 0u)) << "the append waits for its fields";
    ASSERT_TRUE(s.COMMIT().is_ok());
    EXPECT_EQ(fs.record_writes(first_record), before + 1);
    EXPECT_EQ(s.FIELDGET("NAME")->str, "Dora      ");
  }
}

TEST_F(DbServerTest, RefusedWriteLeavesTheRecordAsItWasAndLandsNowhereElse) {
  {
    DBSERVER s;
    ASSERT_TRUE(s.open(dir.file("T.DBF"), true, false, "DBFCDX").is_ok());
    fill(s, {"Anton", "Berta"});
  }
  const std::string before = slurp(dir.file("T.DBF"));
  for (const bool append : {false, true}) {
    SCOPED_TRACE(append ? "append" : "change");
    FaultyFileSystem faulty(FileSystem::posix());
    DBSERVER s;
    ASSERT_TRUE(s.open(dir.file("T.DBF"), true, false, "DBFCDX", &faulty).is_ok());
    ASSERT_TRUE(s.GOTO(1).is_ok());
    if (append) {
      ASSERT_TRUE(s.APPEND().is_ok());
    }
    ASSERT_TRUE(s.FIELDPUT("NAME", Value::character("Falsch")).is_ok());
    faulty.fail_write_at = faulty.writes;
    EXPECT_FALSE(s.GOTO(2).is_ok()) << "the move reports the refused write";
    faulty.fail_write_at = -1;
    ASSERT_TRUE(s.GOTO(2).is_ok());
    ASSERT_TRUE(s.COMMIT().is_ok()) << "nothing left to write";
    ASSERT_TRUE(s.CLOSE().is_ok());
    EXPECT_EQ(slurp(dir.file("T.DBF")), before);
  }
}

// Whichever write of the table file is refused during an append, the record is either not
// in the table or in it with its key: the order walks as many records as the table holds.
TEST_F(DbServerTest, RefusedTableWriteOfAnAppendNeverLeavesARecordWithoutItsKey) {
  {
    DBSERVER s;
    ASSERT_TRUE(s.open(dir.file("T.DBF"), true, false, "DBFCDX").is_ok());
    fill(s, {"Anton", "Berta"});
    ASSERT_TRUE(s.CREATEORDER("NAME", dir.file("T"), "NAME").is_ok());
  }
  auto append = [&](FaultyFileSystem& faulty, int fail_at) {
    DBSERVER s;
    EXPECT_TRUE(s.open(dir.file("T.DBF"), true, false, "DBFCDX", &faulty).is_ok());
    EXPECT_TRUE(s.SETORDER("NAME").is_ok());
    EXPECT_TRUE(s.APPEND().is_ok());
    EXPECT_TRUE(s.FIELDPUT("NAME", Value::character("Cora")).is_ok());
    faulty.fail_write_at = fail_at < 0 ? -1 : faulty.writes + fail_at;
    const bool ok = s.COMMIT().is_ok();
    faulty.fail_write_at = -1;
    uint32_t walked = 0;
    EXPECT_TRUE(s.SETORDER("NAME").is_ok());
    for (; !s.eof(); s.SKIP().ignore()) ++walked;
    EXPECT_EQ(walked, s.LASTREC()) << "every record of the table in the order";
    s.discard();
    return ok;
  };
  const std::string before = slurp(dir.file("T.DBF"));
  const std::string bag = slurp(dir.file("T.CDX"));
  // Which writes of the append go to the table file.
  std::vector<std::string> paths;
  {
    FaultyFileSystem probe(FileSystem::posix());
    probe.before_write = [&](int, const std::string& path) { paths.push_back(path); };
    ASSERT_TRUE(append(probe, -1));
  }
  for (size_t n = 0; n < paths.size(); ++n) {
    if (paths[n] != dir.file("T.DBF")) continue;
    SCOPED_TRACE("table write " + std::to_string(n));
    {
      std::ofstream(dir.file("T.DBF"), std::ios::binary | std::ios::trunc) << before;
      std::ofstream(dir.file("T.CDX"), std::ios::binary | std::ios::trunc) << bag;
      std::remove((dir.file("T.CDX") + ".mvdirty").c_str());  // the mark the last refusal left
    }
    FaultyFileSystem faulty(FileSystem::posix());
    EXPECT_FALSE(append(faulty, int(n)));
  }
}

}  // namespace
}  // namespace mv
