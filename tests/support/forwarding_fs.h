#pragma once
// A file and a file system that pass every call on to another: tests that watch or spoil
// one kind of call derive from them and override only that call.
#include <memory>
#include <string>
#include <vector>

#include "platform/base/filesystem.h"

namespace mv::testing {

// Passes every call on to `base`. It does not map: where a test wants the mapping of the
// file underneath, it overrides map and unmap itself.
class ForwardingFile : public File {
 public:
  explicit ForwardingFile(std::unique_ptr<File> base) : base_(std::move(base)) {}
  Result<size_t> read_at(uint64_t o, void* b, size_t n) override { return base_->read_at(o, b, n); }
  Status write_at(uint64_t o, const void* b, size_t n) override { return base_->write_at(o, b, n); }
  Result<uint64_t> size() override { return base_->size(); }
  Status truncate(uint64_t s) override { return base_->truncate(s); }
  Status sync() override { return base_->sync(); }
  Status lock(uint64_t o, uint64_t l, LockType t) override { return base_->lock(o, l, t); }
  Status unlock(uint64_t o, uint64_t l) override { return base_->unlock(o, l); }
  const std::string& path() const override { return base_->path(); }

 protected:
  File& base() { return *base_; }

 private:
  std::unique_ptr<File> base_;
};

// Passes every call on to `base` (the real file system unless given another).
class ForwardingFileSystem : public FileSystem {
 public:
  explicit ForwardingFileSystem(FileSystem& base = FileSystem::posix()) : base_(base) {}
  Result<std::unique_ptr<File>> open(const std::string& p, OpenMode m) override { return base_.open(p, m); }
  Status rename(const std::string& a, const std::string& b) override { return base_.rename(a, b); }
  Status remove(const std::string& p) override { return base_.remove(p); }
  Result<std::vector<DirEntry>> list(const std::string& d) override { return base_.list(d); }
  bool exists(const std::string& p) override { return base_.exists(p); }
  Status make_dir(const std::string& p) override { return base_.make_dir(p); }
  Result<DirEntry> stat(const std::string& p) override { return base_.stat(p); }
  Status sync_dir(const std::string& d) override { return base_.sync_dir(d); }

 protected:
  FileSystem& base() { return base_; }

 private:
  FileSystem& base_;
};

}  // namespace mv::testing
