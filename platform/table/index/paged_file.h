#pragma once
// What the three index families share below the tree: the open file, the cache of
// decoded pages, deferred writes and the lock that serialises changes between
// processes. Internal to platform/table/index.
#include <algorithm>
#include <bit>
#include <chrono>
#include <cstring>
#include <memory>
#include <string>
#include <thread>
#include <unordered_map>
#include <vector>

#include "platform/base/filesystem.h"
#include "platform/table/index/file_stamp.h"
#include "platform/table/index/index_tree.h"

namespace mv::index {

// Decoded pages by page id, in a vector indexed by id / unit: no hashing on the hot path.
// The vector grows by doubling from what it holds; an id far beyond that (a page number
// from a damaged file that its reader failed to bound) goes to a side table instead, so
// one bad number never sizes the vector (2^32 / unit slots would be gigabytes).
class PageCache {
 public:
  explicit PageCache(uint32_t unit) : unit_(unit), shift_(std::has_single_bit(unit) ? std::countr_zero(unit) : -1) {}
  Node* find(uint32_t id) const {
    const size_t i = slot(id);
    if (i < slots_.size()) return slots_[i].get();
    if (far_.empty()) return nullptr;
    auto it = far_.find(i);
    return it == far_.end() ? nullptr : it->second.get();
  }
  // `in_file`: the page was just read from the file, so its number is no damaged one and
  // may size the vector (an order whose pages lie far into a large bag would otherwise
  // keep every page aside).
  Node* put(uint32_t id, std::unique_ptr<Node> n, bool in_file = false) {
    ++version_;
    const size_t i = slot(id);
    if (i >= slots_.size()) {
      if (!in_file && i >= 2 * slots_.size() + kDenseSlack) {
        auto& slot = far_[i];
        slot = std::move(n);
        return slot.get();
      }
      slots_.resize(std::max(i + 1, slots_.size() * 2));
      // Pages kept aside while they lay beyond the vector move into it.
      for (auto it = far_.begin(); it != far_.end();) {
        if (it->first < slots_.size()) {
          slots_[it->first] = std::move(it->second);
          it = far_.erase(it);
        } else {
          ++it;
        }
      }
    }
    slots_[i] = std::move(n);
    return slots_[i].get();
  }
  void erase(uint32_t id) {
    ++version_;
    const size_t i = slot(id);
    if (i < slots_.size()) slots_[i].reset();
    else far_.erase(i);
  }
  void clear() {
    ++version_;
    slots_.clear();
    far_.clear();
  }
  // Changes with every page put, dropped or replaced: pointers to cached pages taken at
  // one version still point to those pages while it holds.
  const uint64_t* version() const { return &version_; }
  // Pages are about to change in place (a change of the tree begins).
  void touch() { ++version_; }
  template <class F>
  void for_each(F&& f) {
    for (auto& p : slots_)
      if (p) f(*p);
    for (auto& [i, p] : far_)
      if (p) f(*p);
  }

 private:
  // Slots the vector may take on at once: pages of files up to a few megabytes.
  static constexpr size_t kDenseSlack = size_t(1) << 14;
  // The slot of a page id; every family's unit is a power of two, and a shift spares the
  // division on each page of every descent.
  size_t slot(uint32_t id) const { return shift_ >= 0 ? size_t(id >> shift_) : size_t(id / unit_); }
  uint32_t unit_;
  int shift_;
  uint64_t version_ = 1;
  std::vector<std::unique_ptr<Node>> slots_;
  std::unordered_map<size_t, std::unique_ptr<Node>> far_;
};

class PagedFile {
 public:
  PagedFile(FileSystem& fs, std::string path, uint64_t lock_offset, bool shared, bool read_only)
      : fs_(fs), path_(std::move(path)), lock_offset_(lock_offset), shared_(shared), read_only_(read_only) {}
  ~PagedFile() {
    if (file_ && map_) file_->unmap();
  }

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
    auto got = read_some(off, buf, n);
    if (!got.is_ok()) return got.status();
    if (*got != n)
      return Status::corrupt(path_ + ": Indexdatei endet vorzeitig bei Offset " + std::to_string(off));
    return Status::ok();
  }
  // Up to n bytes (fewer at the end of the file).
  Result<size_t> read_some(uint64_t off, uint8_t* buf, size_t n) {
    if (const uint8_t* s = staged(off, n)) {
      std::memcpy(buf, s, n);
      return n;
    }
    return file_->read_at(off, buf, n);
  }
  // The n bytes at `off` where a staged run holds them all (valid until unstage()), else nullptr.
  const uint8_t* staged(uint64_t off, size_t n) const {
    for (const Staged& r : staged_runs_)
      if (off >= r.off && off + n <= r.off + r.len) return staged_.data() + r.at + (off - r.off);
    return nullptr;
  }
  // Pages about to be read that lie close together: each run of bytes (offset, length) is
  // read in one go and the reads within them served from memory until unstage(). Nothing
  // may write the file meanwhile. A run that cannot be read is left out (the page reads
  // themselves then tell the fault).
  void stage(const std::vector<std::pair<uint64_t, size_t>>& runs) {
    staged_runs_.clear();
    size_t total = 0;
    for (const auto& r : runs) total += r.second;
    // Never shrunk: growing it again would clear the bytes each time, and the reads
    // fill what is used.
    if (staged_.size() < total) staged_.resize(std::max(total, 2 * staged_.size()));
    size_t at = 0;
    for (const auto& [off, len] : runs) {
      auto got = file_->read_at(off, staged_.data() + at, len);
      if (got.is_ok() && *got > 0) staged_runs_.push_back({off, *got, at});
      at += len;
    }
  }
  void unstage() { staged_runs_.clear(); }

  // Operation nesting: the outermost enter of a change locks (shared mode); a reading
  // operation locks only when it must read from the file (hold_read_lock). The
  // outermost leave lets the caller write and unlock. Answers whether this is the
  // outermost call.
  bool enter(bool write, Status& st) {
    if (depth_++ > 0) return false;
    st = Status::ok();
    if (write && read_only_) {
      st = Status::read_only(path_ + ": Indexdatei ist schreibgeschützt geöffnet");
      return true;
    }
    if (shared_ && write) {
      st = lock(true);
      if (st.is_ok()) locked_ = writing_ = true;
    }
    return true;
  }
  // Within a change under the write lock: nobody else changes the file meanwhile.
  bool writing() const { return writing_; }

  // ---- Shared mode: pages read stay valid while the file's stamp is unchanged ----
  // The stamp is `length` (at most 32) header bytes from `offset` that writers change
  // with every change; the change counter our own writers keep lies within them at
  // `counter_at` (`counter_len` bytes). While that counter is zero the file was never
  // changed by our writers, the stamp may miss other programs' changes, and every
  // operation reads the file afresh.
  void watch(uint32_t offset, uint32_t length, uint32_t counter_at, uint32_t counter_len) {
    st_off_ = offset, st_len_ = std::min<uint32_t>(length, sizeof stamp_);
    ctr_at_ = counter_at, ctr_len_ = counter_len;
    if (!shared_ || !file_) return;
    auto size = file_->size();
    if (size.is_ok() && *size >= uint64_t(offset) + length) map_ = file_->map(uint64_t(offset) + length);
  }
  // Grows each time the stamp is found changed: pages read in an earlier epoch may be stale.
  uint64_t epoch() const { return epoch_; }
  // Reads the stamp (through the mapping: no system call) and starts a new epoch when it
  // differs from the one seen last, cannot be read, or is not to be trusted.
  void look() {
    uint8_t now[sizeof stamp_];
    bool got = map_ && guarded_copy(now, map_ + st_off_, st_len_);
    if (!got && map_) {  // truncated under the mapping: read from the file from now on
      file_->unmap();
      map_ = nullptr;
    }
    if (!got) got = read(st_off_, now, st_len_).is_ok();
    if (got && trusted_ && std::memcmp(now, stamp_, st_len_) == 0) return;
    ++epoch_;
    bool counted = false;
    for (uint32_t i = 0; got && i < ctr_len_; ++i) counted |= now[ctr_at_ - st_off_ + i] != 0;
    trusted_ = got && counted;
    if (got) std::memcpy(stamp_, now, st_len_);
  }
  // A reading operation is about to read from the file: from here to its end it holds
  // the read lock, and the stamp is looked at again under it (a changed one means the
  // pages the operation has used so far are stale: compare epoch()).
  Status hold_read_lock() {
    if (!shared_ || locked_) return Status::ok();
    MV_RETURN_IF_ERROR(lock(false));
    locked_ = true;
    look();
    return Status::ok();
  }
  bool leave() { return --depth_ == 0; }
  void unlock() {
    if (locked_) {
      file_->unlock(lock_offset_, 1).ignore();
      locked_ = writing_ = false;
    }
  }
  int depth() const { return depth_; }

  // A change of the bag's own pages (its directory, its tags), run as `change` under the
  // write lock: in a shared file `catch_up` first reads the bag's header again and counts
  // the change, and `flush` writes everything before the lock goes.
  template <class CatchUp, class Change, class Flush>
  Status bag_change(CatchUp&& catch_up, Change&& change, Flush&& flush) {
    Status st;
    enter(true, st);
    if (st.is_ok() && shared_) st = catch_up();
    if (st.is_ok()) st = change();
    leave();
    if (st.is_ok() && shared_) st = flush();
    unlock();
    return st;
  }

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
  bool writing_ = false;
  int depth_ = 0;
  const uint8_t* map_ = nullptr;
  struct Staged {
    uint64_t off;
    size_t len;
    size_t at;  // in staged_
  };
  std::vector<uint8_t> staged_;
  std::vector<Staged> staged_runs_;
  uint8_t stamp_[32] = {};
  uint32_t st_off_ = 0, st_len_ = 0, ctr_at_ = 0, ctr_len_ = 0;
  bool trusted_ = false;  // stamp_ was read and holds a counter of ours
  uint64_t epoch_ = 1;
};

// Bulk-built levels (leaves first) take the page ids in `ids` (same shape): each node
// gets its id, its children's positions become their ids and, with `siblings`, its
// neighbours on the level become its left and right links. Answers the nodes by id.
inline std::vector<std::pair<uint32_t, const Node*>> number_levels(std::vector<std::vector<Node>>& levels,
                                                                  const std::vector<std::vector<uint32_t>>& ids,
                                                                  bool siblings) {
  std::vector<std::pair<uint32_t, const Node*>> all;
  for (size_t l = 0; l < levels.size(); ++l)
    for (size_t i = 0; i < levels[l].size(); ++i) {
      Node& n = levels[l][i];
      n.id = ids[l][i];
      if (siblings) {
        n.left = i ? ids[l][i - 1] : kNoPage;
        n.right = i + 1 < levels[l].size() ? ids[l][i + 1] : kNoPage;
      }
      if (!n.leaf)
        for (uint32_t& k : n.kids) k = ids[l - 1][k];
      all.push_back({n.id, &n});
    }
  std::sort(all.begin(), all.end());
  return all;
}

// Writes pages sorted by id with one write per run of neighbours: ids `step` apart follow
// each other in the file. `encode(node, bytes)` fills one page of `page_bytes` and
// answers a Status; `offset_of(id)` is the page's place in the file.
template <class Encode, class OffsetOf>
Status write_page_runs(File& file, const std::vector<std::pair<uint32_t, const Node*>>& pages, size_t page_bytes,
                       uint32_t step, OffsetOf offset_of, Encode encode) {
  // A long run goes out in pieces of about a megabyte: the buffer never grows with the file.
  const size_t piece = std::max<size_t>(page_bytes, (size_t(1) << 20) / page_bytes * page_bytes);
  // Not cleared beforehand: each page is filled whole by its encoding.
  const std::unique_ptr<uint8_t[]> run(new uint8_t[std::min(piece, pages.size() * page_bytes)]);
  size_t used = 0;
  uint32_t run_start = 0;
  for (size_t i = 0; i < pages.size(); ++i) {
    if (used == 0) run_start = pages[i].first;
    MV_RETURN_IF_ERROR(encode(*pages[i].second, run.get() + used));
    used += page_bytes;
    if (i + 1 == pages.size() || pages[i + 1].first != pages[i].first + step || used >= piece) {
      MV_RETURN_IF_ERROR(file.write_at(offset_of(run_start), run.get(), used));
      used = 0;
    }
  }
  return Status::ok();
}

}  // namespace mv::index
