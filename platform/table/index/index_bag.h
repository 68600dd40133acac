#pragma once
// Index files: one NTX file (one order), a CDX bag or an MDX bag (many tags).
// A bag owns its file, a cache of decoded pages and the lock that keeps two processes
// from changing the same tree at once. Orders are TreeOrder objects owned by the bag.
#include <memory>
#include <string>
#include <vector>

#include "platform/base/filesystem.h"
#include "platform/base/status.h"
#include "platform/table/index/index_tree.h"

namespace mv::index {

struct BagOptions {
  bool shared = false;     // other processes may use the file: lock around every change
  bool read_only = false;
  // MDX: the table's base name and language driver (DBF byte 29), written when created.
  std::string table_name;
  uint8_t language_driver = 0;
  bool production = true;  // MDX production flag
  // The bag was left unfinished by a killed writer and is opened to be rebuilt: pages its
  // header does not count yet are taken as part of the file.
  bool salvage = false;
};

// Format limits.
inline constexpr size_t kNtxMaxKeyLength = 256;
inline constexpr size_t kCdxMaxKeyLength = 240;
inline constexpr size_t kMdxMaxKeyLength = 100;
inline constexpr size_t kMdxMaxTags = 47;
inline constexpr size_t kCdxMaxTagName = 10;
inline constexpr size_t kMdxMaxTagName = 10;
inline constexpr size_t kMaxExpressionLength = 220;  // fits every family's header

class IndexBag {
 public:
  virtual ~IndexBag() = default;

  // Opens an existing index file. Damaged headers answer Corrupt with the reason.
  static Result<std::unique_ptr<IndexBag>> open(FileSystem& fs, const std::string& path, IndexFormat format,
                                                const BagOptions& opt);
  // A new, empty CDX or MDX bag (replaces an existing file).
  static Result<std::unique_ptr<IndexBag>> create_bag(FileSystem& fs, const std::string& path,
                                                      IndexFormat format, const BagOptions& opt);
  // A new NTX file holding one empty order (replaces an existing file); fill it with
  // order(0)->build().
  static Result<std::unique_ptr<IndexBag>> create_ntx(FileSystem& fs, const std::string& path,
                                                      const OrderInfo& info, const BagOptions& opt);

  IndexFormat format() const { return format_; }
  const std::string& path() const { return path_; }
  bool read_only() const { return opt_.read_only; }
  size_t size() const { return orders_.size(); }
  TreeOrder* order(size_t i) { return i < orders_.size() ? orders_[i].get() : nullptr; }
  TreeOrder* find(const std::string& name);  // without regard to case

  // CDX and MDX: a new, empty tag (fill it with build()); an existing tag of the
  // same name is replaced. Limits: key length, tag count, name length.
  virtual Result<TreeOrder*> add_tag(const OrderInfo& info);
  virtual Status drop_tag(const std::string& name);

  // Writes every changed page and header.
  virtual Status flush() = 0;

  // ---- the mark of changes in progress
  // A file beside the index (change_mark_path) says that the index may be behind its
  // table: it is made before the first change and taken away once the changes are on
  // disk, so a writer killed in between leaves it. Other programs never look at it (a
  // reserved header byte would be zeroed by the first of them to write the header, and
  // its meaning would be ours alone anyway). Every writer of ours holds a read lock on it
  // while it changes the index; the last one takes it away.
  //
  // Sets the mark unless this bag holds it already (nothing for a read-only bag).
  Status begin_changes();
  // The changes are written: the index file is synced and the mark taken away unless
  // another writer still holds it. Nothing when this bag holds no mark.
  Status end_changes();
  // While the mark is held: the disk starts on what is written so far, so that the sync
  // of end_changes waits for less.
  void start_writeback();
  bool changing() const { return mark_ != nullptr; }
  // Whether the mark was left by a writer that is gone: the index may be stale.
  bool left_unfinished();

 protected:
  IndexBag(FileSystem& fs, std::string path, IndexFormat f, BagOptions opt)
      : fs_(fs), path_(std::move(path)), format_(f), opt_(std::move(opt)) {}

  FileSystem& fs_;
  std::string path_;
  IndexFormat format_;
  BagOptions opt_;
  std::vector<std::unique_ptr<TreeOrder>> orders_;

 private:
  std::unique_ptr<File> mark_;  // the mark we hold (its read lock with it)
  uint64_t mark_device_ = 0, mark_inode_ = 0;
};

// The file that marks `index_path` as being changed.
std::string change_mark_path(const std::string& index_path);
// Whether the index file `index_path` carries the mark of a writer that is gone. `patient`:
// other writers of ours may be at work (a shared table), so a mark nobody holds yet is
// looked at once more.
bool change_left_unfinished(FileSystem& fs, const std::string& index_path, bool patient);

// Checks the limits of a format for a new order; InvalidArgument names the limit.
Status check_order_limits(IndexFormat f, const OrderInfo& info, size_t existing_tags);

}  // namespace mv::index
