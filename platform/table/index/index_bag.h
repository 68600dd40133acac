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

 protected:
  IndexBag(FileSystem& fs, std::string path, IndexFormat f, BagOptions opt)
      : fs_(fs), path_(std::move(path)), format_(f), opt_(std::move(opt)) {}

  FileSystem& fs_;
  std::string path_;
  IndexFormat format_;
  BagOptions opt_;
  std::vector<std::unique_ptr<TreeOrder>> orders_;
};

// Checks the limits of a format for a new order; InvalidArgument names the limit.
Status check_order_limits(IndexFormat f, const OrderInfo& info, size_t existing_tags);

}  // namespace mv::index
