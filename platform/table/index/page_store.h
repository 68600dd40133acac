#pragma once
// The page and lock plumbing every index family runs its tree on: pages loaded through
// the cache, the read lock taken when a page must come from a shared file, operations
// entered and left with the file caught up when another program changed it, and the
// changed pages written at the end. The family supplies how a page is read, written and
// counted (its hooks below). Internal to platform/table/index.
#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "platform/table/index/index_bag.h"
#include "platform/table/index/index_tree.h"
#include "platform/table/index/paged_file.h"

namespace mv::index {

class PagedOrder : public TreeOrder {
 public:
  // Every changed page written in file order, then the order's header.
  Status flush_pages();
  // Every page of the tree, root first (interior pages are read).
  Status collect_pages(std::vector<uint32_t>& out);

  uint32_t root() const override { return root_; }
  Status set_root(uint32_t id) override {
    root_ = id;
    header_dirty_ = true;
    return Status::ok();
  }

  uint32_t root_ = 0;
  PageCache cache_;
  bool header_dirty_ = false;
  bool on_disk_ = false;
  uint64_t seen_ = 0;  // shared: the file's epoch the cached pages belong to

 protected:
  // `unit`: the distance of two page ids (the cache's slot size).
  PagedOrder(OrderInfo info, TreeShape shape, bool reverse_logical, PagedFile& pf, uint32_t unit)
      : TreeOrder(std::move(info), shape, reverse_logical), cache_(unit), pf_(pf) {
    track_cursors_ = pf.shared();
    cache_version_ = cache_.version();
  }

  // A new page `id`, empty and to be written, in the cache.
  Node* cache_new(uint32_t id, bool leaf) {
    auto n = std::make_unique<Node>();
    n->id = id;
    n->leaf = leaf;
    n->dirty = true;
    return cache_.put(id, std::move(n));
  }

  // ---- TreeOrder
  Result<Node*> load(uint32_t id) override;
  bool stage(const std::vector<uint32_t>& ids) override;
  void unstage() override { pf_.unstage(); }
  Result<const Node*> peek(uint32_t id, Node& scratch) override;
  bool staged_leaf_keys(uint32_t id, LeafKeys& out) override;
  Status begin(bool write) override;
  Status end(bool write, Status st) override;

  // ---- the family's part
  // Page `id` read from the file and decoded; Corrupt naming the page when the id lies
  // outside the file.
  virtual Status read_page(uint32_t id, Node& n) = 0;
  // Where page `id` lies in the file and how many bytes it takes (read_page reads them
  // through the PagedFile): neighbouring pages are then read in one go.
  virtual std::pair<uint64_t, size_t> page_span(uint32_t id) const = 0;
  // Page `id` as stored (page_span's bytes): where its keys lie when it is a leaf that
  // read_page would decode without complaint and whose keys it would copy as they stand.
  virtual bool leaf_keys(uint32_t id, const uint8_t* page, LeafKeys& out) const {
    (void)id, (void)page, (void)out;
    return false;
  }
  // `n` encoded and written to its place.
  virtual Status write_page(const Node& n) = 0;
  // The changed pages, sorted by id, written: one by one unless the family writes
  // neighbouring pages in one go (after a batch of inserts most leaves changed).
  virtual Status write_pages(const std::vector<Node*>& sorted) {
    for (Node* n : sorted) MV_RETURN_IF_ERROR(write_page(*n));
    return Status::ok();
  }
  virtual Status write_header() = 0;
  // Another program changed the file: what the family keeps of it besides the pages is
  // dropped and its headers are read again.
  virtual Status reload() = 0;
  // The outermost begin of a change, the file caught up with: the change counters are
  // bumped (and in a shared file written) before any page changes.
  virtual Status start_change() = 0;
  // The outermost end of an operation, before anything is written.
  virtual void finish_operation(bool write, const Status& st) { (void)write, (void)st; }
  // What the family writes before the pages (on every flush) and after them (at the end
  // of a change in a shared file).
  virtual Status write_before_pages() { return Status::ok(); }
  virtual Status write_after_pages() { return Status::ok(); }
  // While `undo_active_`: page `id` is used by the running change (`before`: the cached
  // page, nullptr when it comes from the file).
  virtual void touched(uint32_t id, const Node* before) { (void)id, (void)before; }

  PagedFile& pf_;
  bool undo_active_ = false;

 private:
  // Shared files: a page may be read now (under the read lock, from the epoch seen).
  Status may_read();
};

// A bag of type B on `path`, made ready by `start` (opening or creating its file).
template <class B, class Start>
Result<std::unique_ptr<IndexBag>> start_bag(FileSystem& fs, const std::string& path, const BagOptions& opt,
                                            Start&& start) {
  auto bag = std::make_unique<B>(fs, path, opt);
  MV_RETURN_IF_ERROR(start(*bag));
  return std::unique_ptr<IndexBag>(std::move(bag));
}

}  // namespace mv::index
