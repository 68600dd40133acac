// NTX: one order per file, 1024-byte pages, a B-tree whose pages list their items
// through an offset array. Page pointers are byte offsets.
#include <algorithm>
#include <cstring>
#include <unordered_set>

#include "platform/base/bytes.h"
#include "platform/table/index/index_formats.h"
#include "platform/table/index/index_layout.h"
#include "platform/table/index/page_store.h"

namespace mv::index {

namespace {

using namespace ntx;

uint16_t ntx_max_keys(uint16_t key_size) {
  int item = key_size + 8;
  int m = 1022 / (item + 2) - 1;
  if (m % 2) --m;
  return uint16_t(std::max(m, 2));
}

std::string cstr(const uint8_t* p, size_t n) {
  size_t len = 0;
  while (len < n && p[len]) ++len;
  return std::string(reinterpret_cast<const char*>(p), len);
}

}  // namespace

class NtxOrder final : public PagedOrder {
 public:
  NtxOrder(OrderInfo info, PagedFile& pf) : PagedOrder(std::move(info), TreeShape::BTree, false, pf, kPage) {}

  uint16_t max_keys = 0;
  uint32_t free_ = 0;
  uint16_t counter_ = 0;
  uint16_t signature_ = 6;
  uint64_t file_end_ = 0;
  std::unordered_map<uint32_t, uint32_t> freed_;  // freed page -> next free page

  Status read_header() {
    uint8_t h[kPage];
    MV_RETURN_IF_ERROR(pf_.read(0, h, kPage));
    uint16_t sig = get_le16(h + kSignature);
    if (sig != 6 && sig != 7 && sig != 3)
      return Status::corrupt(pf_.path() + ": keine NTX-Datei (Kennung " + std::to_string(sig) + ")");
    signature_ = sig;
    counter_ = get_le16(h + kCounter);
    root_ = get_le32(h + kRoot);
    free_ = get_le32(h + kFreeList);
    uint16_t item = get_le16(h + kItemSize), ks = get_le16(h + kKeySize);
    if (ks == 0 || ks > kNtxMaxKeyLength || item != ks + 8)
      return Status::corrupt(pf_.path() + ": unmögliche Schlüssellänge " + std::to_string(ks));
    max_keys = get_le16(h + kMaxKeys);
    if (max_keys < 2 || size_t(4 + 2 * max_keys) + size_t(max_keys + 1) * item > kPage)
      return Status::corrupt(pf_.path() + ": unmögliche Seitenbelegung " + std::to_string(max_keys));
    if (root_ == 0 || root_ % kPage)
      return Status::corrupt(pf_.path() + ": ungültiger Verweis auf die Wurzelseite");
    info_.keydef.length = ks;
    info_.keydef.decimals = get_le16(h + kKeyDecimals);
    info_.key_expr = cstr(h + kKeyExpr, kExprSize);
    info_.unique = h[kUnique] == 1;
    info_.descending = h[kDescending] == 1;
    info_.for_expr = cstr(h + kForExpr, kExprSize);
    // An expression that fills its 256 bytes leaves no room for the NUL we write: written
    // back it would lose its last character.
    if (info_.key_expr.size() >= kExprSize || info_.for_expr.size() >= kExprSize)
      set_read_only("der Indexausdruck füllt sein Feld im Dateikopf ganz aus; der Index wird nur gelesen");
    MV_ASSIGN_OR_RETURN(uint64_t size, pf_.file().size());
    file_end_ = (size + kPage - 1) / kPage * kPage;
    on_disk_ = true;
    return Status::ok();
  }

  Status write_header() override {
    uint8_t h[kPage] = {};
    put_le16(h + kSignature, uint16_t(info_.for_expr.empty() ? 6 : 7));
    put_le16(h + kCounter, counter_);
    put_le32(h + kRoot, root_);
    put_le32(h + kFreeList, free_);
    put_le16(h + kItemSize, uint16_t(key_len() + 8));
    put_le16(h + kKeySize, uint16_t(key_len()));
    put_le16(h + kKeyDecimals, info_.keydef.decimals);
    put_le16(h + kMaxKeys, max_keys);
    put_le16(h + kHalfPage, uint16_t(max_keys / 2));
    std::memcpy(h + kKeyExpr, info_.key_expr.data(), std::min<size_t>(info_.key_expr.size(), kExprSize - 1));
    h[kUnique] = info_.unique ? 1 : 0;
    h[kDescending] = info_.descending ? 1 : 0;
    std::memcpy(h + kForExpr, info_.for_expr.data(), std::min<size_t>(info_.for_expr.size(), kExprSize - 1));
    header_dirty_ = false;
    on_disk_ = true;
    return pf_.file().write_at(0, h, kPage);
  }

  // The offsets every page we write starts with (all max_keys + 1 of them): entry k at
  // base + k * item.
  const uint8_t* standard_offsets() const {
    const size_t item = key_len() + 8;
    const size_t base = kNodeOffsets + 2 * (size_t(max_keys) + 1);
    if (offsets_.size() != base - kNodeOffsets || offsets_item_ != item) {
      offsets_.resize(base - kNodeOffsets);
      offsets_item_ = item;
      for (size_t k = 0; k <= max_keys; ++k) put_le16(offsets_.data() + 2 * k, uint16_t(base + k * item));
    }
    return offsets_.data();
  }

  // A page of more keys than the header allows would run past the page: refused.
  Status encode(const Node& n, uint8_t* p) const {
    const size_t item = key_len() + 8;
    if (n.n() > max_keys || (!n.leaf && n.kids.size() != n.n() + 1))
      return Status::corrupt(pf_.path() + ": Seite " + std::to_string(n.id) + " hat " + std::to_string(n.n()) +
                             " Schlüssel, Platz ist für " + std::to_string(max_keys));
    const size_t cnt = n.n(), kl = key_len();
    put_le16(p, uint16_t(cnt));
    // The entries' offsets are the same on every page we write.
    const size_t base = kNodeOffsets + 2 * (size_t(max_keys) + 1);
    std::memcpy(p + kNodeOffsets, standard_offsets(), base - kNodeOffsets);
    const uint8_t* keys = n.keys.data();
    const uint32_t* recs = n.recnos.data();
    uint8_t* it = p + base;
    if (n.leaf) {
      // A leaf's entries point to no child: the pointer and the record number in one go.
      for (size_t k = 0; k < cnt; ++k, it += item) {
        put_le64(it, uint64_t(recs[k]) << 32);
        copy_key(it + 8, keys + k * kl, kl);
      }
    } else {
      const uint32_t* kids = n.kids.data();
      for (size_t k = 0; k < cnt; ++k, it += item) {
        put_le32(it, kids[k]);
        put_le32(it + 4, recs[k]);
        copy_key(it + 8, keys + k * kl, kl);
      }
    }
    // After the entries: the last child, the rest of the page cleared.
    put_le32(it, n.leaf ? 0 : n.kids[cnt]);
    std::memset(it + 4, 0, kPage - size_t(it + 4 - p));
    return Status::ok();
  }

  Status decode(uint32_t id, const uint8_t* p, Node& n) const {
    const size_t item = key_len() + 8;
    const size_t cnt = get_le16(p);
    if (cnt > max_keys)
      return Status::corrupt(pf_.path() + ": Seite " + std::to_string(id) + ": zu viele Schlüssel");
    n.id = id;
    const size_t kl = key_len();
    // Room for a full page and the key that splits it: neither an insert nor a batch that
    // lays the page out anew moves its arrays.
    const size_t room = size_t(max_keys) + 1;
    const size_t base = kNodeOffsets + 2 * (size_t(max_keys) + 1);
    // A leaf as we write them (most pages): its entries one after the other from `base`,
    // every one within the page (the header bounds base + (max_keys + 1) * item). Its keys
    // and record numbers are gathered here and copied into the page's arrays at once, which
    // spares clearing the arrays first.
    if (std::memcmp(p + kNodeOffsets, standard_offsets(), 2 * (cnt + 1)) == 0 && get_le32(p + base) == 0) {
      uint8_t keys[kPage];
      uint32_t recs[kPage / 8 + 1];
      const uint8_t* it = p + base;
      for (size_t k = 0; k < cnt; ++k, it += item) {
        recs[k] = get_le32(it + 4);
        copy_key(keys + k * kl, it + 8, kl);
      }
      n.keys.reserve(room * kl);
      n.recnos.reserve(room);
      n.keys.assign(keys, keys + cnt * kl);
      n.recnos.assign(recs, recs + cnt);
      n.leaf = true;
      n.kids.clear();
      return Status::ok();
    }
    n.keys.reserve(room * kl);
    n.recnos.reserve(room);
    n.keys.resize(cnt * kl);
    n.recnos.resize(cnt);
    // The children's pointers are gathered here first: a leaf (most pages) keeps none.
    uint32_t kids[kPage / 8 + 1];
    for (size_t k = 0; k <= cnt; ++k) {
      size_t off = get_le16(p + kNodeOffsets + 2 * k);
      if (off < 2 || off + item > kPage)
        return Status::corrupt(pf_.path() + ": Seite " + std::to_string(id) + ": ungültiger Eintragsverweis");
      const uint8_t* it = p + off;
      kids[k] = get_le32(it);
      if (k < cnt) {
        n.recnos[k] = get_le32(it + 4);
        copy_key(n.keys.data() + k * kl, it + 8, kl);
      }
    }
    n.leaf = kids[0] == 0;
    n.kids.clear();
    if (!n.leaf) {
      for (size_t k = 0; k <= cnt; ++k)
        if (kids[k] == 0 || kids[k] % kPage)
          return Status::corrupt(pf_.path() + ": Seite " + std::to_string(id) + ": ungültiger Seitenverweis");
      n.kids.assign(kids, kids + cnt + 1);
    }
    return Status::ok();
  }

  // ---- the page plumbing's hooks ----
  Status read_page(uint32_t id, Node& n) override {
    if (id == 0 || id % kPage || id >= file_end_)
      return Status::corrupt(pf_.path() + ": Verweis auf Seite " + std::to_string(id) + " außerhalb der Datei");
    // A page read ahead is decoded where it lies.
    if (const uint8_t* staged = pf_.staged(id, kPage)) return decode(id, staged, n);
    uint8_t buf[kPage];
    MV_RETURN_IF_ERROR(pf_.read(id, buf, kPage));
    return decode(id, buf, n);
  }
  std::pair<uint64_t, size_t> page_span(uint32_t id) const override { return {id, kPage}; }
  // A leaf whose items stand one after the other in the order of its offset table (as a
  // page built or written by us does); the checks are those of read_page and decode.
  bool leaf_keys(uint32_t id, const uint8_t* p, LeafKeys& out) const override {
    if (id == 0 || id % kPage || id >= file_end_) return false;
    const size_t item = key_len() + 8;
    const size_t cnt = get_le16(p);
    if (cnt > max_keys) return false;
    const size_t first = get_le16(p + kNodeOffsets);
    if (first < 2 || first + (cnt + 1) * item > kPage) return false;
    // Our own pages: their offsets are those encode writes.
    if (std::memcmp(p + kNodeOffsets, standard_offsets(), 2 * (cnt + 1)) != 0)
      for (size_t k = 1; k <= cnt; ++k)
        if (get_le16(p + kNodeOffsets + 2 * k) != first + k * item) return false;
    if (get_le32(p + first) != 0) return false;  // a child: an interior page
    out = {p + first + 8, cnt, item};
    return true;
  }
  Status write_page(const Node& n) override {
    uint8_t buf[kPage];
    MV_RETURN_IF_ERROR(encode(n, buf));
    return pf_.file().write_at(n.id, buf, kPage);
  }
  void touched(uint32_t id, const Node* before) override { remember(id, before); }
  Status write_pages(const std::vector<Node*>& sorted) override {
    std::vector<std::pair<uint32_t, const Node*>> pages;
    pages.reserve(sorted.size());
    for (Node* n : sorted) pages.push_back({n->id, n});
    return write_page_runs(pf_.file(), pages, kPage, kPage, [](uint32_t id) { return uint64_t(id); },
                           [this](const Node& n, uint8_t* p) { return encode(n, p); });
  }

  // ---- TreeOrder ----
  Result<Node*> new_node(bool leaf) override {
    uint32_t id = take_free_page();
    if (id == 0) {
      id = uint32_t(file_end_);
      file_end_ += kPage;
    }
    header_dirty_ = true;
    remember(id, cache_.find(id));
    if (live_known_) live_.insert(id);
    return cache_new(id, leaf);
  }
  Status free_node(uint32_t id) override {
    remember(id, cache_.find(id));
    cache_.erase(id);
    live_.erase(id);
    freed_[id] = free_;
    free_ = id;
    header_dirty_ = true;
    return Status::ok();
  }

  // The head of the free list when it is a page that may be reused, else 0. Pages freed
  // here are known; a page from the file must be a free page: on a page boundary inside
  // the file, without keys, and no page of the tree. A list that breaks these rules is
  // damaged: it is dropped (its pages stay unused) and new pages go to the end.
  uint32_t take_free_page() {
    if (free_ == 0) return 0;
    const uint32_t id = free_;
    auto f = freed_.find(id);
    if (f != freed_.end()) {
      free_ = f->second;
      freed_.erase(f);
      return id;
    }
    uint32_t next = 0;
    if (!free_page_usable(id, next)) {
      free_ = 0;
      header_dirty_ = true;
      return 0;
    }
    free_ = next != id ? next : 0;
    return id;
  }

  bool free_page_usable(uint32_t id, uint32_t& next) {
    if (id < kPage || id % kPage || uint64_t(id) + kPage > file_end_ || id == root_ || cache_.find(id)) return false;
    uint8_t buf[kPage];
    if (!pf_.read(id, buf, kPage).is_ok() || get_le16(buf) != 0) return false;
    const size_t off = get_le16(buf + kNodeOffsets);
    next = off >= 2 && off + 4 <= kPage ? get_le32(buf + off) : 0;
    if (!live_known_) {
      std::vector<uint32_t> pages;
      if (!tree_pages(pages).is_ok()) return false;
      live_.clear();
      live_.insert(pages.begin(), pages.end());
      live_known_ = true;
    }
    return !live_.count(id);
  }

  Status check_free_list() override {
    std::vector<uint32_t> pages;
    MV_RETURN_IF_ERROR(tree_pages(pages));
    const std::unordered_set<uint32_t> live(pages.begin(), pages.end());
    std::unordered_set<uint32_t> seen;
    const std::string where = pf_.path() + ": Liste der freien Seiten: Seite ";
    for (uint32_t id = free_; id != 0;) {
      if (id % kPage) return Status::corrupt(where + std::to_string(id) + " liegt nicht auf einer Seitengrenze");
      if (id < kPage || uint64_t(id) + kPage > file_end_)
        return Status::corrupt(where + std::to_string(id) + " liegt außerhalb der Datei");
      if (live.count(id)) return Status::corrupt(where + std::to_string(id) + " gehört zum Indexbaum");
      if (!seen.insert(id).second) return Status::corrupt(where + std::to_string(id) + " kommt zweimal vor");
      auto f = freed_.find(id);
      if (f != freed_.end()) {
        id = f->second;
        continue;
      }
      uint8_t buf[kPage];
      MV_RETURN_IF_ERROR(pf_.read(id, buf, kPage));
      if (get_le16(buf) != 0) return Status::corrupt(where + std::to_string(id) + " enthält Schlüssel");
      const size_t off = get_le16(buf + kNodeOffsets);
      id = off >= 2 && off + 4 <= kPage ? get_le32(buf + off) : 0;
    }
    return Status::ok();
  }

  // A change that fails half-way (a split that found no page) must not leave its pages
  // in the cache to be written later: every page it touched is taken back to its state
  // before the change, the free list and the file end too.
  void remember(uint32_t id, const Node* before) {
    if (!undo_active_) return;
    // Pages lie kPage apart and within the file: a stamp per page tells the pages this
    // change touched already, without a lookup.
    const size_t slot = id / kPage;
    if (slot >= undo_stamp_.size()) undo_stamp_.resize(std::max(slot + 1, undo_stamp_.size() * 2), 0);
    if (undo_stamp_[slot] == undo_epoch_) return;
    undo_stamp_[slot] = undo_epoch_;
    undo_.emplace_back(id, before && before->dirty ? std::make_unique<Node>(*before) : nullptr);
  }
  void undo_begin() {
    undo_.clear();
    if (++undo_epoch_ == 0) {
      std::fill(undo_stamp_.begin(), undo_stamp_.end(), 0);
      undo_epoch_ = 1;
    }
    undo_active_ = true;
    undo_root_ = root_;
    undo_free_ = free_;
    undo_end_ = file_end_;
    undo_freed_ = freed_;
  }
  void undo_rollback() {
    for (auto& [id, before] : undo_) {
      if (before) cache_.put(id, std::move(before));
      else cache_.erase(id);
    }
    root_ = undo_root_;
    free_ = undo_free_;
    file_end_ = undo_end_;
    freed_ = undo_freed_;
    live_known_ = false;
  }
  bool fits(const Node& n) const override { return n.n() <= max_keys; }
  size_t bulk_leaf_capacity() const override { return max_keys; }
  size_t bulk_interior_capacity() const override { return max_keys; }

  // Reads keep the pages while the header's counter, root and free list are unchanged.
  Status reload() override {
    freed_.clear();
    live_known_ = false;
    return read_header();
  }
  Status start_change() override {
    ++counter_, header_dirty_ = true;
    undo_begin();
    // Told before any page changes: whoever keeps pages of this file drops them.
    if (pf_.shared() && on_disk_) {
      uint8_t c[2];
      put_le16(c, counter_);
      if (Status w = pf_.file().write_at(kCounter, c, 2); !w.is_ok()) {
        undo_active_ = false;
        return w;
      }
    }
    return Status::ok();
  }
  void finish_operation(bool write, const Status& st) override {
    if (write && !st.is_ok() && undo_active_) undo_rollback();
    undo_active_ = false;
    undo_.clear();
  }
  // Pages freed by the change, each with the link to the next free page.
  Status write_before_pages() override {
    uint8_t buf[kPage];
    for (auto& [id, next] : freed_) {
      std::memset(buf, 0, kPage);
      const size_t base = kNodeOffsets + 2 * (size_t(max_keys) + 1);
      const size_t item = key_len() + 8;
      for (size_t k = 0; k <= max_keys; ++k) put_le16(buf + kNodeOffsets + 2 * k, uint16_t(base + k * item));
      put_le32(buf + base, next);
      MV_RETURN_IF_ERROR(pf_.file().write_at(id, buf, kPage));
    }
    freed_.clear();
    return Status::ok();
  }

  Status write_bulk(std::vector<std::vector<Node>>& levels) override {
    // The whole file is written anew: header, then the pages level by level. A failure
    // from here on leaves nothing the cache could take back.
    undo_active_ = false;
    undo_.clear();
    live_known_ = false;
    cache_.clear();
    freed_.clear();
    free_ = 0;
    uint32_t next = kPage;
    std::vector<std::vector<uint32_t>> ids(levels.size());
    for (size_t l = 0; l < levels.size(); ++l)
      for (size_t i = 0; i < levels[l].size(); ++i) {
        ids[l].push_back(next);
        next += kPage;
      }
    const auto pages = number_levels(levels, ids, /*siblings=*/false);
    root_ = ids.back().back();
    // Shared: the count goes on (a rebuilt file must not look like one seen before).
    if (!pf_.shared()) counter_ = 1;
    MV_RETURN_IF_ERROR(pf_.file().truncate(kPage));
    MV_RETURN_IF_ERROR(write_page_runs(pf_.file(), pages, kPage, kPage, [](uint32_t id) { return uint64_t(id); },
                                       [this](const Node& n, uint8_t* p) { return encode(n, p); }));
    file_end_ = next;
    return write_header();
  }

 private:
  // encode's copy of the offsets every page starts with, for entries of offsets_item_ bytes.
  mutable std::vector<uint8_t> offsets_;
  mutable size_t offsets_item_ = 0;
  // The pages of the tree, while known: a free page must not be one of them.
  std::unordered_set<uint32_t> live_;
  bool live_known_ = false;
  // The running change: each page it touched, with a copy where the page held changes
  // not yet written (nullptr: the file holds its state before the change).
  std::vector<std::pair<uint32_t, std::unique_ptr<Node>>> undo_;
  std::vector<uint32_t> undo_stamp_;  // by page: the number of the change that last touched it
  uint32_t undo_epoch_ = 0;
  uint32_t undo_root_ = 0, undo_free_ = 0;
  uint64_t undo_end_ = 0;
  std::unordered_map<uint32_t, uint32_t> undo_freed_;
};

class NtxBag final : public IndexBag {
 public:
  NtxBag(FileSystem& fs, const std::string& path, const BagOptions& opt)
      : IndexBag(fs, path, IndexFormat::Ntx, opt), pf_(fs, path, kLockOffset, opt.shared, opt.read_only) {}

  Status open_existing() {
    MV_RETURN_IF_ERROR(pf_.open(opt_.read_only ? OpenMode::Read : OpenMode::ReadWrite));
    pf_.watch(kSignature, kItemSize, kCounter, 2);
    OrderInfo info;
    info.bag_path = path_;
    info.name = upper_ascii(path_stem(path_));
    info.keydef.format = IndexFormat::Ntx;
    auto o = std::make_unique<NtxOrder>(info, pf_);
    MV_RETURN_IF_ERROR(o->read_header());
    order_ = o.get();
    orders_.push_back(std::move(o));
    return Status::ok();
  }

  Status create_new(const OrderInfo& info) {
    MV_RETURN_IF_ERROR(pf_.open(OpenMode::Create));
    OrderInfo i = info;
    i.bag_path = path_;
    if (i.name.empty()) i.name = upper_ascii(path_stem(path_));
    i.keydef.format = IndexFormat::Ntx;
    auto o = std::make_unique<NtxOrder>(i, pf_);
    o->max_keys = ntx_max_keys(i.keydef.length);
    order_ = o.get();
    orders_.push_back(std::move(o));
    MV_RETURN_IF_ERROR(order_->clear());
    pf_.watch(kSignature, kItemSize, kCounter, 2);
    return Status::ok();
  }

  Status flush() override {
    if (pf_.read_only() || pf_.depth() > 0 || !order_) return Status::ok();
    return order_->flush_pages();
  }
  ~NtxBag() override { flush().ignore(); }

 private:
  PagedFile pf_;
  NtxOrder* order_ = nullptr;
};

Result<std::unique_ptr<IndexBag>> open_ntx(FileSystem& fs, const std::string& path, const BagOptions& opt) {
  return start_bag<NtxBag>(fs, path, opt, [](NtxBag& b) { return b.open_existing(); });
}

Result<std::unique_ptr<IndexBag>> create_ntx_file(FileSystem& fs, const std::string& path, const OrderInfo& info,
                                                  const BagOptions& opt) {
  MV_RETURN_IF_ERROR(check_order_limits(IndexFormat::Ntx, info, 0));
  return start_bag<NtxBag>(fs, path, opt, [&](NtxBag& b) { return b.create_new(info); });
}

}  // namespace mv::index
