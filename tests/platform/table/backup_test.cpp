// Numbered backup copies: the first free number by the table name alone, companions
// copied beside it, a leftover companion replaced whole.
#include <gtest/gtest.h>

#include <fstream>

#include "platform/table/backup.h"
#include "tests/support/faulty_fs.h"
#include "tests/support/fixtures.h"

namespace mv {
namespace {

void put(const std::string& path, const std::string& bytes) { std::ofstream(path, std::ios::binary) << bytes; }
std::string get(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

constexpr std::string_view kExts[] = {".DBF", ".CDX", ".FPT"};

TEST(NumberedBackup, TakesTheFirstFreeTableNumberAndReplacesALeftoverCompanion) {
  struct Case {
    std::vector<std::pair<std::string, std::string>> present;  // besides T.DBF and T.CDX
    std::string expected_base;
  };
  const Case cases[] = {
      {{}, "T_1"},
      {{{"T_1.DBF", "old"}}, "T_2"},
      {{{"t_1.dbf", "old"}, {"T_2.DBF", "old"}}, "T_3"},
      {{{"t_1.cdx", "stale index"}}, "T_1"},  // a companion alone keeps no number
  };
  for (const Case& c : cases) {
    testing::TempDir dir;
    put(dir.file("T.DBF"), "table bytes");
    put(dir.file("T.CDX"), "index bytes");
    for (const auto& [name, bytes] : c.present) put(dir.file(name), bytes);
    const BackupOutcome b = make_numbered_backup(FileSystem::posix(), dir.file("T.DBF"), kExts);
    EXPECT_TRUE(b.ok()) << b.failed_ext;
    EXPECT_EQ(b.new_base, dir.file(c.expected_base));
    EXPECT_EQ(get(b.new_base + ".DBF"), "table bytes");
    // The leftover in its own spelling now holds the index, and no second spelling appears.
    const bool leftover = c.expected_base == "T_1" && !c.present.empty();
    EXPECT_EQ(get(leftover ? dir.file("t_1.cdx") : b.new_base + ".CDX"), "index bytes") << c.expected_base;
    EXPECT_FALSE(FileSystem::posix().exists(b.new_base + ".FPT"));
    auto listing = FileSystem::posix().list(dir.path());
    ASSERT_TRUE(listing);
    EXPECT_EQ(listing.value().size(), 2 + c.present.size() + 2 - (leftover ? 1 : 0)) << c.expected_base;
  }
}

TEST(NumberedBackup, AMissingTableOrAFailedCopyIsReportedAndLeavesNoPartialFile) {
  testing::TempDir dir;
  BackupOutcome b = make_numbered_backup(FileSystem::posix(), dir.file("WEG.DBF"), kExts);
  EXPECT_EQ(b.failed_ext, ".DBF");

  put(dir.file("T.DBF"), std::string(100000, 'x'));
  put(dir.file("T.FPT"), "memo");
  FaultyFileSystem faulty(FileSystem::posix());
  faulty.fail_write_at = 0;  // the table's copy
  b = make_numbered_backup(faulty, dir.file("T.DBF"), kExts);
  EXPECT_EQ(b.failed_ext, ".DBF");
  EXPECT_FALSE(FileSystem::posix().exists(dir.file("T_1.DBF")));
  EXPECT_EQ(get(dir.file("T_1.FPT")), "memo");  // the others are still copied
  auto listing = FileSystem::posix().list(dir.path());
  ASSERT_TRUE(listing);
  EXPECT_EQ(listing.value().size(), 3u);  // no temporary file left behind
}

}  // namespace
}  // namespace mv
