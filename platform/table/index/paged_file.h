#pragma once
// What the three index families share below the tree: the open file, the cache of
// decoded pages, deferred writes and the lock that serialises changes between
// processes. Internal to platform/table/index.
#include <algorithm>
#include <chrono>
#include <memory>
#include <string>
#include <thread>
#include <unordered_map>
#include <vector>

#include "platform/base/filesystem.h"
#include "platform/table/index/index_tree.h"

namespace mv::index {

// Decoded pages by page id, in a vector indexed by id / unit: no hashing on the hot path.
class PageCache {
 public:
  explicit PageCache(uint32_t unit) : unit_(unit) {}
  Node* find(uint32_t id) const {
    const size_t i = id / unit_;
    return i < slots_.size() ? slots_[i].get() : nullptr;
  }
  Node* put(uint32_t id, std::unique_ptr<Node> n) {
    const size_t i = id / unit_;
    if (i >= slots_.size()) slots_.resize(std::max(i + 1, slots_.size() * 2));
    slots_[i] = std::move(n);
    return slots_[i].get();
  }
  void erase(uint32_t id) {
    const size_t i = id / unit_;
    if (i < slots_.size()) slots_[i].reset();
  }
  void clear() { slots_.clear(); }
  template <class F>
  void for_each(F&& f) {
    for (auto& p : slots_)
      if (p) f(*p);
  }

 private:
  uint32_t unit_;
  std::vector<std::unique_ptr<Node>> slots_;
};

class PagedFile {
 public:
  PagedFile(FileSystem& fs, std::string path, uint64_t lock_offset, bool shared, bool read_only)
      : fs_(fs), path_(std::move(path)), lock_offset_(lock_offset), shared_(shared), read_only_(read_only) {}

  Status open(OpenMode mode) {
    auto f = fs_.open(path_, mode);
    if (!f.is_ok()) return f.status();
    file_ = std::move(f).value();
    return Status::ok();
  }
  File& file() { return *file_; }
  const std::string& path() const { return path_; }
  bool shared() const { return shared_; }
  bool read_only() const { return read_only_; }

  // Reads exactly n bytes; a short file is Corrupt (a damaged index, not an I/O fault).
  Status read(uint64_t off, uint8_t* buf, size_t n) {
    auto got = file_->read_at(off, buf, n);
    if (!got.is_ok()) return got.status();
    if (*got != n)
      return Status::corrupt(path_ + ": Indexdatei endet vorzeitig bei Offset " + std::to_string(off));
    return Status::ok();
  }

  // Operation nesting: the outermost enter locks (shared mode; the caller then drops
  // what another process may have changed); the outermost leave lets the caller write
  // and unlock. Answers whether this is the outermost call.
  bool enter(bool write, Status& st) {
    if (depth_++ > 0) return false;
    st = Status::ok();
    if (write && read_only_) {
      st = Status::read_only(path_ + ": Indexdatei ist schreibgeschützt geöffnet");
      return true;
    }
    if (shared_) {
      st = lock(write);
      if (st.is_ok()) locked_ = true;
    }
    return true;
  }
  bool leave() { return --depth_ == 0; }
  void unlock() {
    if (locked_) {
      file_->unlock(lock_offset_, 1).ignore();
      locked_ = false;
    }
  }
  int depth() const { return depth_; }

 private:
  Status lock(bool write) {
    // Index locks are held for one tree change only: wait a little for them.
    Status st;
    for (int attempt = 0; attempt < 2000; ++attempt) {
      st = file_->lock(lock_offset_, 1, write ? LockType::Exclusive : LockType::Shared);
      if (st.is_ok() || st.kind() != StatusKind::Locked) return st;
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return st;
  }

  FileSystem& fs_;
  std::string path_;
  std::unique_ptr<File> file_;
  uint64_t lock_offset_;
  bool shared_;
  bool read_only_;
  bool locked_ = false;
  int depth_ = 0;
};

}  // namespace mv::index
