#include "platform/table/index/page_store.h"

#include <algorithm>
#include <memory>
#include <vector>

namespace mv::index {

Result<Node*> PagedOrder::load(uint32_t id) {
  if (Node* hit = cache_.find(id)) {
    if (undo_active_) touched(id, hit);
    return hit;
  }
  MV_RETURN_IF_ERROR(may_read());
  auto n = std::make_unique<Node>();
  MV_RETURN_IF_ERROR(read_page(id, *n));
  if (undo_active_) touched(id, nullptr);
  return cache_.put(id, std::move(n), /*in_file=*/true);
}

Result<const Node*> PagedOrder::peek(uint32_t id, Node& scratch) {
  if (const Node* hit = cache_.find(id)) return hit;
  MV_RETURN_IF_ERROR(may_read());
  scratch.dirty = false;
  scratch.sized = false;
  scratch.left = scratch.right = kNoPage;
  MV_RETURN_IF_ERROR(read_page(id, scratch));
  return static_cast<const Node*>(&scratch);
}

bool PagedOrder::staged_leaf_keys(uint32_t id, LeafKeys& out) {
  // Shared files stage nothing (their pages are read under the lock).
  if (pf_.shared() || cache_.find(id)) return false;
  const auto [off, len] = page_span(id);
  const uint8_t* page = len ? pf_.staged(off, len) : nullptr;
  return page && leaf_keys(id, page, out);
}

Status PagedOrder::may_read() {
  if (!pf_.shared()) return Status::ok();
  // Outside an operation (a cursor kept from before the file changed) nothing is read.
  if (pf_.depth() == 0) return stale_pages();
  if (!pf_.writing()) {
    MV_RETURN_IF_ERROR(pf_.hold_read_lock());
    if (seen_ != pf_.epoch()) return stale_pages();
  }
  return Status::ok();
}

bool PagedOrder::stage(const std::vector<uint32_t>& ids) {
  // Shared files read their pages under the lock, one operation at a time.
  if (pf_.shared()) return false;
  // Pages at most kGap bytes apart are read together, in runs of at most kRun bytes.
  constexpr uint64_t kGap = 8 * 1024;
  constexpr uint64_t kRun = 256 * 1024;
  std::vector<uint64_t> want;
  size_t bytes = 0;
  for (uint32_t id : ids) {
    if (cache_.find(id)) continue;
    const auto [off, len] = page_span(id);
    if (len == 0) return false;
    bytes = len;
    want.push_back(off);
  }
  if (want.size() < 2) return false;
  std::sort(want.begin(), want.end());
  want.erase(std::unique(want.begin(), want.end()), want.end());
  std::vector<std::pair<uint64_t, size_t>> runs;
  for (size_t i = 0; i < want.size();) {
    const uint64_t start = want[i];
    uint64_t end = start + bytes;
    size_t j = i + 1;
    while (j < want.size() && want[j] <= end + kGap && want[j] + bytes - start <= kRun) end = want[j++] + bytes;
    if (j - i >= 2) runs.push_back({start, size_t(end - start)});
    i = j;
  }
  if (runs.empty()) return false;
  pf_.stage(runs);
  return true;
}

// Reads keep the pages while the file's stamp (its headers' change counters, roots and
// free lists) is unchanged. A change starts from the file as it is: not every program
// counts its changes, and their pages must never be overwritten by ours.
Status PagedOrder::begin(bool write) {
  if (write) cache_.touch();  // pages change in place from here
  Status st;
  const bool outer = pf_.enter(write, st);
  if (outer && st.is_ok() && pf_.shared() && on_disk_) {
    pf_.look();
    if (!write && seen_ != pf_.epoch()) st = pf_.hold_read_lock();
    if (st.is_ok() && (write || seen_ != pf_.epoch())) {
      const bool changed = seen_ != pf_.epoch();
      cache_.clear();
      st = reload();
      seen_ = st.is_ok() ? pf_.epoch() : 0;
      if (changed) bump();
    }
  }
  if (st.is_ok() && outer && write) st = start_change();
  if (!st.is_ok()) {
    pf_.leave();
    pf_.unlock();
    return st;
  }
  return Status::ok();
}

Status PagedOrder::end(bool write, Status st) {
  if (write) cache_.touch();  // what a search saw during the change is gone
  if (!pf_.leave()) return st;
  finish_operation(write, st);
  if (write && pf_.shared()) {
    Status f = flush_pages();
    if (f.is_ok()) f = write_after_pages();
    if (st.is_ok()) st = f;
    if (!st.is_ok()) cache_.clear();
    pf_.look();  // our own change: the pages kept are the file's
    seen_ = st.is_ok() ? pf_.epoch() : 0;
  }
  pf_.unlock();
  return st;
}

Status PagedOrder::flush_pages() {
  MV_RETURN_IF_ERROR(write_before_pages());
  // Pages in file order: fewer seeks, and a new page is never written past a hole.
  std::vector<Node*> dirty;
  cache_.for_each([&](Node& n) {
    if (n.dirty) dirty.push_back(&n);
  });
  // The cache hands its pages over by id already, unless a page lies aside from the rest.
  auto by_id = [](Node* a, Node* b) { return a->id < b->id; };
  if (!std::is_sorted(dirty.begin(), dirty.end(), by_id)) std::sort(dirty.begin(), dirty.end(), by_id);
  MV_RETURN_IF_ERROR(write_pages(dirty));
  for (Node* n : dirty) n->dirty = false;
  if (header_dirty_) MV_RETURN_IF_ERROR(write_header());
  return Status::ok();
}

Status PagedOrder::collect_pages(std::vector<uint32_t>& out) {
  std::vector<uint32_t> stack{root_};
  while (!stack.empty()) {
    const uint32_t id = stack.back();
    stack.pop_back();
    if (out.size() > (uint64_t(1) << 24)) return Status::corrupt(pf_.path() + ": Indexbaum nicht durchlaufbar");
    out.push_back(id);
    MV_ASSIGN_OR_RETURN(Node * n, load(id));
    if (!n->leaf)
      for (uint32_t k : n->kids) stack.push_back(k);
  }
  return Status::ok();
}

}  // namespace mv::index
