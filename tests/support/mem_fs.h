#pragma once
// A file system in memory for the fuzz targets: every input becomes a few files without
// touching the disk.
#include <algorithm>
#include <cstring>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "platform/base/filesystem.h"

namespace mv::fuzzing {

using Bytes = std::vector<uint8_t>;

class MemFile : public File {
 public:
  MemFile(std::shared_ptr<Bytes> data, std::string path, bool writable)
      : data_(std::move(data)), path_(std::move(path)), writable_(writable) {}
  Result<size_t> read_at(uint64_t off, void* buf, size_t n) override {
    if (off >= data_->size()) return size_t(0);
    size_t k = std::min<uint64_t>(n, data_->size() - off);
    memcpy(buf, data_->data() + off, k);
    return k;
  }
  Status write_at(uint64_t off, const void* buf, size_t n) override {
    if (!writable_) return Status::io_error(path_ + ": read only");
    if (off + n > (64u << 20)) return Status::io_error(path_ + ": too large");
    if (data_->size() < off + n) data_->resize(off + n);
    memcpy(data_->data() + off, buf, n);
    return Status::ok();
  }
  Result<uint64_t> size() override { return uint64_t(data_->size()); }
  Status truncate(uint64_t n) override {
    if (n > (64u << 20)) return Status::io_error("too large");
    data_->resize(n);
    return Status::ok();
  }
  Status sync() override { return Status::ok(); }
  Status lock(uint64_t, uint64_t, LockType) override { return Status::ok(); }
  Status unlock(uint64_t, uint64_t) override { return Status::ok(); }
  const std::string& path() const override { return path_; }

 private:
  std::shared_ptr<Bytes> data_;
  std::string path_;
  bool writable_;
};

class MemFileSystem : public FileSystem {
 public:
  void put(const std::string& path, Bytes bytes) { files_[path] = std::make_shared<Bytes>(std::move(bytes)); }
  Result<std::unique_ptr<File>> open(const std::string& path, OpenMode mode) override {
    auto it = files_.find(path);
    if (mode == OpenMode::Create || (mode == OpenMode::CreateNew && it == files_.end())) {
      files_[path] = std::make_shared<Bytes>();
      return std::unique_ptr<File>(new MemFile(files_[path], path, true));
    }
    if (it == files_.end()) return Status::not_found(path);
    if (mode == OpenMode::CreateNew) return Status::io_error(path + ": exists");
    return std::unique_ptr<File>(new MemFile(it->second, path, mode != OpenMode::Read));
  }
  Status rename(const std::string& from, const std::string& to) override {
    auto it = files_.find(from);
    if (it == files_.end()) return Status::not_found(from);
    auto data = it->second;
    files_.erase(it);
    files_[to] = data;
    return Status::ok();
  }
  Status remove(const std::string& path) override {
    return files_.erase(path) ? Status::ok() : Status::not_found(path);
  }
  Result<std::vector<DirEntry>> list(const std::string& dir) override {
    std::vector<DirEntry> out;
    std::string prefix = dir.empty() || dir == "." ? "" : (dir.back() == '/' ? dir : dir + "/");
    for (const auto& [p, d] : files_)
      if (p.rfind(prefix, 0) == 0 && p.find('/', prefix.size()) == std::string::npos)
        out.push_back({p.substr(prefix.size()), false, d->size(), 0});
    return out;
  }
  bool exists(const std::string& path) override { return files_.count(path) != 0; }
  Status make_dir(const std::string&) override { return Status::ok(); }
  Result<DirEntry> stat(const std::string& path) override {
    auto it = files_.find(path);
    if (it == files_.end()) return Status::not_found(path);
    return DirEntry{path, false, it->second->size(), 0};
  }

 private:
  std::map<std::string, std::shared_ptr<Bytes>> files_;
};

}  // namespace mv::fuzzing
