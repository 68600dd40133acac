// Replacing several files at once: whichever sync or rename fails, the targets keep their
// bytes and nothing of the attempt (new files, backups, journal) is left in the folder.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <set>

#include "platform/table/file_ops.h"
#include "tests/support/faulty_fs.h"
#include "tests/support/fixtures.h"

namespace mv {
namespace {

std::set<std::string> folder(const std::string& dir) {
  std::set<std::string> out;
  for (const auto& e : std::filesystem::directory_iterator(dir)) {
    std::ifstream in(e.path(), std::ios::binary);
    out.insert(e.path().filename().string() + "=" + std::string(std::istreambuf_iterator<char>(in), {}));
  }
  return out;
}

void put(const std::string& path, const std::string& text) { std::ofstream(path, std::ios::binary) << text; }

TEST(ReplaceFiles, FailedStepLeavesTheFolderAsItWas) {
  for (int kind = 0; kind < 2; ++kind) {
    for (int n = 0;; ++n) {
      SCOPED_TRACE((kind == 0 ? "sync " : "rename ") + std::to_string(n));
      testing::TempDir dir;
      std::vector<std::pair<std::string, std::string>> moves;
      for (const char* name : {"A.DBF", "A.CDX", "B.DBF"}) {
        put(dir.file(name), std::string("alt ") + name);
        put(temp_name_for(dir.file(name)), std::string("neu ") + name);
        moves.emplace_back(temp_name_for(dir.file(name)), dir.file(name));
      }
      std::set<std::string> before;
      for (const char* name : {"A.DBF", "A.CDX", "B.DBF"}) before.insert(std::string(name) + "=alt " + name);
      FaultyFileSystem faulty(FileSystem::posix());
      (kind == 0 ? faulty.fail_sync_at : faulty.fail_rename_at) = n;
      const Status st = replace_files(faulty, moves);
      if (st.is_ok()) {
        // The fault came after the replace had happened (or never came): all new.
        std::set<std::string> after;
        for (const char* name : {"A.DBF", "A.CDX", "B.DBF"}) after.insert(std::string(name) + "=neu " + name);
        EXPECT_EQ(folder(dir.path()), after);
        if ((kind == 0 ? faulty.syncs : faulty.renames) <= n) break;
        continue;
      }
      EXPECT_EQ(folder(dir.path()), before);
    }
  }
}

}  // namespace
}  // namespace mv
