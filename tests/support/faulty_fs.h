#pragma once
// A file system that fails on demand: the Nth write, a short write, a full disk, a refused
// lock, a failing rename, remove, truncate or sync. Tests use it to show that no operation
// loses a user's file when a step fails.
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/base/filesystem.h"

namespace mv {

// A file system that fails on demand, for tests. Wraps another one.
class FaultyFileSystem : public FileSystem {
 public:
  explicit FaultyFileSystem(FileSystem& base) : base_(base) {}

  // Faults; each counter counts calls across all files opened through this object.
  int fail_write_at = -1;        // the Nth write_at (0-based) fails with IoError
  int short_write_at = -1;       // the Nth write_at writes half, then fails
  int64_t disk_full_after = -1;  // total bytes written before every write fails ("disk full")
  int fail_rename_at = -1;       // the Nth rename fails
  int fail_remove_at = -1;
  int fail_truncate_at = -1;
  int fail_sync_at = -1;
  bool refuse_locks = false;
  std::function<bool(const std::string& path, OpenMode)> fail_open;

  int writes = 0, renames = 0, removes = 0, truncates = 0, syncs = 0;
  int64_t bytes_written = 0;

  Result<std::unique_ptr<File>> open(const std::string& path, OpenMode mode) override;
  Status rename(const std::string& from, const std::string& to) override;
  Status remove(const std::string& path) override;
  Result<std::vector<DirEntry>> list(const std::string& dir) override { return base_.list(dir); }
  bool exists(const std::string& path) override { return base_.exists(path); }
  Status make_dir(const std::string& path) override { return base_.make_dir(path); }
  Result<DirEntry> stat(const std::string& path) override { return base_.stat(path); }
  // Counted with the file syncs: fail_sync_at reaches a folder's sync too.
  Status sync_dir(const std::string& dir) override;
  // Called before every rename, remove and truncate with its number (0-based, all three
  // counted together): a test can end the process there to play a killed writer.
  std::function<void(int step, const char* what, const std::string& path)> before_step;
  // Called before every write_at with its number (0-based), likewise.
  std::function<void(int nth, const std::string& path)> before_write;
  int steps = 0;

 private:
  friend class FaultyFile;
  FileSystem& base_;
};

}  // namespace mv
