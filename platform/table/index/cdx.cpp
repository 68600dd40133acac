// CDX: a compound bag of 512-byte pages. Offset 0 holds the tag directory (itself a
// tag whose keys are the tag names and whose "record numbers" are the offsets of the
// tag headers). Each tag: a 1024-byte header and a B+ tree with compressed leaves.
#include <algorithm>
#include <bit>
#include <cstring>
#include <map>
#include <unordered_set>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "platform/base/bytes.h"
#include "platform/table/index/index_formats.h"
#include "platform/table/index/index_layout.h"
#include "platform/table/index/page_store.h"

namespace mv::index {

namespace {

using namespace cdx;

constexpr bool kLittle = std::endian::native == std::endian::little;

inline uint64_t load8(const uint8_t* p) {
  uint64_t x;
  std::memcpy(&x, p, 8);
  return x;
}
inline void store8(uint8_t* p, uint64_t x) { std::memcpy(p, &x, 8); }

// Pad bytes at the end of a key, looked at eight at a time: the first word that is not
// all pad tells by its highest differing byte where the pad starts.
[[gnu::always_inline]] inline size_t trailing_pad(const uint8_t* k, size_t kl, uint8_t pad) {
  const uint64_t word = 0x0101010101010101ull * pad;
  size_t t = 0;
  if constexpr (kLittle) {
    for (; t + 8 <= kl; t += 8) {
      const uint64_t x = load8(k + kl - t - 8) ^ word;
      if (x) return t + size_t(std::countl_zero(x) / 8);
    }
    if (t == kl) return t;
    if (kl >= 8) {  // the first bytes, in a word whose last bytes are pad already
      const uint64_t x = load8(k) ^ word;
      return x ? kl - 8 + size_t(std::countl_zero(x) / 8) : kl;
    }
  } else {
    for (; t + 8 <= kl; t += 8) {
      uint64_t x;
      std::memcpy(&x, k + kl - t - 8, 8);
      if (x != word) break;
    }
  }
  while (t < kl && k[kl - 1 - t] == pad) ++t;
  return t;
}

// Where two whole keys of kl bytes first differ, at most n. Below eight bytes (number keys
// without their trailing zeros, mostly) one word of each key tells, read whole.
[[gnu::always_inline]] inline size_t key_head(const uint8_t* a, const uint8_t* b, size_t n, size_t kl) {
  if (kLittle && n < 8 && kl >= 8) {
    const uint64_t x = load8(a) ^ load8(b);
    return std::min(x ? size_t(std::countr_zero(x) / 8) : size_t(8), n);
  }
  return shared_head(a, b, n);
}

// What a key of a compressed leaf keeps of its bytes: its trailing pad bytes and the head it
// shares with the key before (none before the first key), at most all but its pad.
struct PadHead {
  size_t trail, dup;
};
struct MeasureWords {
  size_t kl;
  uint8_t pad;
  [[gnu::always_inline]] PadHead operator()(const uint8_t* prev, const uint8_t* k) const {
    const size_t trail = trailing_pad(k, kl, pad);
    return {trail, prev ? key_head(prev, k, kl - trail, kl) : 0};
  }
};
#if defined(__SSE2__)
// Keys of 16 to 32 bytes: two lanes of each key (the second one ending with the key) tell
// every byte that is pad and every byte equal to the key before's at once.
struct MeasureLanes {
  size_t kl;
  __m128i pads;
  MeasureLanes(size_t kl_, uint8_t pad) : kl(kl_), pads(_mm_set1_epi8(char(pad))) {}
  static __m128i lane(const uint8_t* p) { return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p)); }
  static uint64_t bits(__m128i eq) { return uint64_t(uint32_t(_mm_movemask_epi8(eq))); }
  [[gnu::always_inline]] PadHead operator()(const uint8_t* prev, const uint8_t* k) const {
    const __m128i a = lane(k), z = lane(k + kl - 16);
    const uint64_t is_pad = bits(_mm_cmpeq_epi8(a, pads)) | bits(_mm_cmpeq_epi8(z, pads)) << (kl - 16);
    // Both masks end below bit kl <= 32: their complements are never zero.
    const size_t trail = size_t(__builtin_clzll(~(is_pad << (64 - kl))));
    if (!prev) return {trail, 0};
    const uint64_t same =
        bits(_mm_cmpeq_epi8(a, lane(prev))) | bits(_mm_cmpeq_epi8(z, lane(prev + kl - 16))) << (kl - 16);
    return {trail, std::min(size_t(__builtin_ctzll(~same)), kl - trail)};
  }
};
#endif

// Calls f with the measure that suits keys of kl bytes.
template <class F>
[[gnu::always_inline]] inline auto with_measure(size_t kl, uint8_t pad, F&& f) {
#if defined(__SSE2__)
  if (kl >= 16 && kl <= 32) return f(MeasureLanes(kl, pad));
#endif
  return f(MeasureWords{kl, pad});
}

// Copies the few bytes of a part of a key: eight at a time, then one by one.
inline void copy_short(uint8_t* d, const uint8_t* s, size_t n) {
  for (; n >= 8; n -= 8, d += 8, s += 8) std::memcpy(d, s, 8);
  for (; n; --n) *d++ = *s++;
}

// Sixteen bytes of a key, handled at once.
typedef uint8_t Lane __attribute__((vector_size(16)));
constexpr size_t kLane = 16;
constexpr Lane kLaneIndex = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15};
inline Lane lane_of(uint8_t b) { return Lane{} + b; }
inline Lane load_lane(const uint8_t* p) {
  Lane v;
  std::memcpy(&v, p, kLane);
  return v;
}
inline void store_lane(uint8_t* p, Lane v) { std::memcpy(p, &v, kLane); }
// Two lanes of set bytes, then two of clear ones: the lane at kFirstSet + 2 * kLane - m has
// its first m bytes set (m up to 2 * kLane), and the lane after it those from kLane on.
alignas(64) constexpr uint8_t kFirstSet[4 * kLane] = {
    0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF,
    0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};

// The largest record number of a page, four at a time.
inline uint32_t largest_recno(const std::vector<uint32_t>& v) {
  typedef uint32_t Quad __attribute__((vector_size(16)));
  Quad m = {};
  size_t i = 0;
  for (; i + 4 <= v.size(); i += 4) {
    Quad x;
    std::memcpy(&x, v.data() + i, sizeof x);
    const Quad keep = Quad(m > x);
    m = (m & keep) | (x & ~keep);
  }
  uint32_t r = std::max(std::max(m[0], m[1]), std::max(m[2], m[3]));
  for (; i < v.size(); ++i) r = std::max(r, v[i]);
  return r;
}

// What decode may read around a page: a key's length and a lane.
constexpr size_t kPageSlack = 256;
static_assert(kPageSlack >= kCdxMaxKeyLength + kLane);

// Asks for a page's keys and record numbers to be brought into the cache.
inline void prefetch_node(const Node& n) {
  const uint8_t* k = n.keys.data();
  for (size_t at = 0; at < n.keys.size(); at += 64) __builtin_prefetch(k + at);
  const uint8_t* r = reinterpret_cast<const uint8_t*>(n.recnos.data());
  for (size_t at = 0; at < n.recnos.size() * sizeof(uint32_t); at += 64) __builtin_prefetch(r + at);
}

struct LeafLayout {
  int r, d, t, b;
};

// D = T = the bits of the key length; the fewest bytes per entry (3 or more) whose
// record-number field holds the largest number of the page (the tag directory holds
// header offsets there, which grow with the file).
[[gnu::always_inline]] inline LeafLayout leaf_layout(size_t kl, uint32_t max_rec) {
  const int dt = std::max(int(std::bit_width(uint32_t(kl))), 1);
  // The record field takes what the entry leaves, at most 32 bits, and at least the bits
  // of the largest number (one at the least).
  const int need = 2 * dt + std::max(int(std::bit_width(max_rec)), 1);
  const int b = std::max(3, (need + 7) / 8);
  if (b > 8) return {32, dt, dt, 8};
  return {std::min(8 * b - 2 * dt, 32), dt, dt, b};
}

}  // namespace

class CdxBag;
PagedFile& paged_file_of(CdxBag& bag);

class CdxOrder final : public PagedOrder {
 public:
  CdxOrder(OrderInfo info, CdxBag& bag, uint32_t header)
      : PagedOrder(std::move(info), TreeShape::BPlusKeyedAll, false, paged_file_of(bag), kPage),
        bag_(bag),
        header_(header) {
    reverse_logical_ = info_.descending;
  }

  uint32_t header_offset() const { return header_; }
  uint32_t counter_ = 0;
  uint8_t options_ = kOptCompact | kOptCompound;
  bool directory_ = false;
  bool replacing_ = false;  // a bulk build has given the old tree's pages back

  uint8_t pad() const { return info_.keydef.type == KeyType::Character ? 0x20 : 0x00; }
  void set_key_type(KeyType t) override {
    if (info_.keydef.type == t) return;
    TreeOrder::set_key_type(t);
    cache_.clear();  // the pad byte of decoded keys depends on it
  }

  Status read_header();
  Status write_header() override;
  Status encode(const Node& n, uint8_t* p) const;
  // `p` holds the page, with kPageSlack readable bytes before and after it.
  Status decode(uint32_t id, const uint8_t* p, Node& n) const;
  template <int Lanes>
  bool decode_keys(const uint8_t* p, size_t cnt, size_t b, uint64_t entry_mask, uint32_t rmask, int r, int d,
                   size_t dmask, size_t tmask, Node& n) const;
  Status check_free_list() override;
  // Another tag's operation looks at this tag's pages (which pages are in use): in a shared
  // file they must be those of the file as it is now, not of an earlier state.
  Status catch_up();
  size_t leaf_size(const Node& n) const;

  // ---- the page plumbing's hooks ----
  Status read_page(uint32_t id, Node& n) override;
  std::pair<uint64_t, size_t> page_span(uint32_t id) const override { return {id, kPage}; }
  Status write_page(const Node& n) override;
  Status write_pages(const std::vector<Node*>& sorted) override;
  Status reload() override;
  Status start_change() override;
  Status write_after_pages() override;

  // ---- TreeOrder ----
  Status set_root(uint32_t id) override {
    if (Node* old = cache_.find(root_)) old->dirty = true;  // loses its root attribute
    root_ = id;
    if (Node* now = cache_.find(id)) now->dirty = true;
    header_dirty_ = true;
    return Status::ok();
  }
  Result<Node*> new_node(bool leaf) override;
  Status free_node(uint32_t id) override;
  bool fits(const Node& n) const override {
    if (n.leaf) return leaf_size(n) <= kLeafData;
    return n.n() <= bulk_interior_capacity();
  }
  size_t bulk_leaf_capacity() const override { return kLeafData; }
  bool fixed_leaves() const override { return false; }
  size_t split_point(const Node& n) const override;
  void leaf_changed(Node& n, long pos) override;
  size_t entry_cost(const uint8_t* k, const uint8_t* prev) const {
    const size_t kl = key_len();
    const uint8_t p = pad();
    const size_t trail = trailing_pad(k, kl, p);
    size_t dup = 0;
    if (prev)
      dup = key_head(prev, k, kl - trail, kl);
    return kl - dup - trail;
  }
  size_t bulk_interior_capacity() const override { return 500 / (key_len() + 8); }
  bool bulk_leaf_add(Node& leaf, const uint8_t* key, uint32_t recno) override;
  size_t bulk_leaf_fill(Node& leaf, const uint8_t* keys, const uint32_t* recnos, size_t n) override;
  Status write_bulk(std::vector<std::vector<Node>>& levels) override;

 private:
  CdxBag& bag_;
  uint32_t header_;
};

class CdxBag final : public IndexBag {
 public:
  CdxBag(FileSystem& fs, const std::string& path, const BagOptions& opt)
      : IndexBag(fs, path, IndexFormat::Cdx, opt), pf(fs, path, kLockOffset, opt.shared, opt.read_only) {}
  ~CdxBag() override { flush().ignore(); }

  PagedFile pf;
  uint32_t free_head = 0;
  uint32_t free_head_dropped = 0;  // a broken head as the file has it, for the check
  uint64_t file_end = 0;
  bool dir_dirty = false;
  std::map<uint32_t, uint32_t> freed;  // page -> next free page, not yet written
  std::unique_ptr<CdxOrder> dir;
  // The pages of every tree and tag header, while known, and the pages handed out from
  // the free list since: a page taken from the list must be none of them.
  std::unordered_set<uint32_t> live;
  bool live_known = false;
  std::unordered_set<uint32_t> taken;

  Status read_dir_header() {
    uint8_t h[24];
    MV_RETURN_IF_ERROR(pf.read(0, h, sizeof h));
    free_head = get_le32(h + kFreeList);
    if (free_head == 0xFFFFFFFFu) free_head = 0;
    MV_ASSIGN_OR_RETURN(uint64_t size, pf.file().size());
    file_end = (size + kPage - 1) / kPage * kPage;
    free_head_dropped = 0;
    if (free_head % kPage || free_head >= file_end) {  // a broken list is not followed
      free_head_dropped = free_head;
      free_head = 0;
    }
    live_known = false;
    taken.clear();
    return Status::ok();
  }

  // Every page in use: the directory, the tag headers and the pages of every tree.
  Status used_pages(std::unordered_set<uint32_t>& out) {
    out.clear();
    out.insert(0);
    out.insert(kPage);
    std::vector<uint32_t> pages;
    if (!dir->replacing_) {
      MV_RETURN_IF_ERROR(dir->catch_up());
      MV_RETURN_IF_ERROR(dir->tree_pages(pages));
      out.insert(pages.begin(), pages.end());
    }
    for (auto& o : orders_) {
      CdxOrder* c = static_cast<CdxOrder*>(o.get());
      out.insert(c->header_offset());
      out.insert(c->header_offset() + kPage);
      if (c->replacing_) continue;  // its pages are on the free list already
      MV_RETURN_IF_ERROR(c->catch_up());
      MV_RETURN_IF_ERROR(c->tree_pages(pages));
      out.insert(pages.begin(), pages.end());
    }
    return Status::ok();
  }

  bool cached_anywhere(uint32_t id) {
    if (dir->cache_.find(id)) return true;
    for (auto& o : orders_)
      if (static_cast<CdxOrder*>(o.get())->cache_.find(id)) return true;
    return false;
  }

  // A page from the file's free list may be reused when it is one: on a page boundary
  // past the directory, inside the file, holding only the link to the next free page,
  // and none of the pages in use. `next` answers that link.
  bool free_page_usable(uint32_t id, uint32_t& next) {
    if (id < kTagHeader || id % kPage || uint64_t(id) + kPage > file_end || taken.count(id) || cached_anywhere(id))
      return false;
    uint8_t b[kPage];
    if (!pf.read(id, b, kPage).is_ok()) return false;
    for (size_t i = 4; i < kPage; ++i)
      if (b[i]) return false;
    next = get_le32(b);
    if (!live_known) {
      if (!used_pages(live).is_ok()) return false;
      live_known = true;
    }
    return !live.count(id);
  }

  // The free list as the check sees it: every entry a free page, no entry twice.
  Status check_free_list() {
    std::unordered_set<uint32_t> used;
    MV_RETURN_IF_ERROR(used_pages(used));
    std::unordered_set<uint32_t> seen;
    const std::string where = path_ + ": Liste der freien Seiten: Seite ";
    uint32_t id = free_head != 0 ? free_head : free_head_dropped;
    while (id != 0 && id != 0xFFFFFFFFu) {
      if (id % kPage) return Status::corrupt(where + std::to_string(id) + " liegt nicht auf einer Seitengrenze");
      if (id < kTagHeader || uint64_t(id) + kPage > file_end)
        return Status::corrupt(where + std::to_string(id) + " liegt außerhalb der Datei");
      if (used.count(id)) return Status::corrupt(where + std::to_string(id) + " ist belegt");
      if (!seen.insert(id).second) return Status::corrupt(where + std::to_string(id) + " kommt zweimal vor");
      auto f = freed.find(id);
      if (f != freed.end()) {
        id = f->second;
        continue;
      }
      uint8_t b[4];
      MV_RETURN_IF_ERROR(pf.read(id, b, 4));
      id = get_le32(b);
    }
    return Status::ok();
  }

  // Shared: the file's change counter (in the directory header, beside its root and the
  // free list, which make the stamp) grows under the write lock before any page changes.
  Status bump_change_counter() {
    uint8_t b[4];
    MV_RETURN_IF_ERROR(pf.read(kCounter, b, 4));
    uint32_t v = get_le32(b) + 1;
    if (v == 0) v = 1;
    put_le32(b, v);
    if (dir) dir->counter_ = v;
    return pf.file().write_at(kCounter, b, 4);
  }

  Status open_existing() {
    MV_RETURN_IF_ERROR(pf.open(opt_.read_only ? OpenMode::Read : OpenMode::ReadWrite));
    pf.watch(kRoot, kCounter + 4, kCounter, 4);
    MV_RETURN_IF_ERROR(read_dir_header());
    OrderInfo di;
    di.name = "(Verzeichnis)";
    di.bag_path = path_;
    di.keydef = {IndexFormat::Cdx, KeyType::Character, 10, 0};
    dir = std::make_unique<CdxOrder>(di, *this, 0);
    dir->directory_ = true;
    MV_RETURN_IF_ERROR(dir->read_header());
    std::vector<std::pair<uint32_t, std::string>> tags;
    MV_RETURN_IF_ERROR(dir->walk_physical([&](const uint8_t* k, uint32_t rec) {
      tags.push_back({rec, trim_name(k, dir->keydef().length)});
      return tags.size() < 10000;
    }));
    // Tags come in the order they were created: by the offset of their headers.
    std::sort(tags.begin(), tags.end());
    for (auto& [off, name] : tags) {
      // A bag to be rebuilt leaves out a tag whose header a killed writer had not yet written.
      if (off == 0 || off % kPage || uint64_t(off) + kTagHeader > file_end) {
        if (opt_.salvage) continue;
        return Status::corrupt(path_ + ": Tag " + name + ": ungültiger Verweis auf den Tag-Kopf");
      }
      OrderInfo info;
      info.name = name;
      info.bag_path = path_;
      info.keydef.format = IndexFormat::Cdx;
      auto o = std::make_unique<CdxOrder>(info, *this, off);
      Status st = o->read_header();
      if (!st.is_ok() && opt_.salvage && st.kind() == StatusKind::Corrupt) continue;
      MV_RETURN_IF_ERROR(st);
      orders_.push_back(std::move(o));
    }
    return Status::ok();
  }

  Status create_new() {
    MV_RETURN_IF_ERROR(pf.open(OpenMode::Create));
    free_head = 0;
    file_end = kTagHeader;
    OrderInfo di;
    di.name = "(Verzeichnis)";
    di.bag_path = path_;
    di.keydef = {IndexFormat::Cdx, KeyType::Character, 10, 0};
    dir = std::make_unique<CdxOrder>(di, *this, 0);
    dir->directory_ = true;
    dir->options_ = 0xE0;
    MV_RETURN_IF_ERROR(dir->clear());
    MV_RETURN_IF_ERROR(flush());
    pf.watch(kRoot, kCounter + 4, kCounter, 4);
    return Status::ok();
  }

  // A free page, else a new one at the end. A damaged free list (an entry that is no
  // free page) is dropped: its pages stay unused, no page in use is overwritten.
  Result<uint32_t> allocate_page() {
    if (free_head != 0) {
      uint32_t id = free_head;
      auto f = freed.find(id);
      uint32_t next = 0;
      if (f != freed.end()) {
        free_head = f->second;
        freed.erase(f);
        dir_dirty = true;
        return took(id);
      }
      dir_dirty = true;
      if (free_page_usable(id, next)) {
        free_head = next % kPage == 0 && next < file_end && next != id ? next : 0;
        return took(id);
      }
      free_head = 0;
    }
    uint32_t id = uint32_t(file_end);
    file_end += kPage;
    return took(id);
  }

  uint32_t took(uint32_t id) {
    taken.insert(id);
    if (live_known) live.insert(id);
    return id;
  }

  void release_page(uint32_t id) {
    taken.erase(id);
    live.erase(id);
    freed[id] = free_head;
    free_head = id;
    dir_dirty = true;
  }

  Status write_freed() {
    uint8_t b[kPage];
    for (auto& [id, next] : freed) {
      std::memset(b, 0, kPage);
      put_le32(b, next);
      MV_RETURN_IF_ERROR(pf.file().write_at(id, b, kPage));
    }
    freed.clear();
    if (dir_dirty) {
      uint8_t f[4];
      put_le32(f, free_head);
      MV_RETURN_IF_ERROR(pf.file().write_at(4, f, 4));
      dir_dirty = false;
      free_head_dropped = 0;
    }
    return Status::ok();
  }

  Status flush() override {
    if (pf.read_only() || pf.depth() > 0 || !dir) return Status::ok();
    MV_RETURN_IF_ERROR(dir->flush_pages());
    for (auto& o : orders_) MV_RETURN_IF_ERROR(static_cast<CdxOrder*>(o.get())->flush_pages());
    return write_freed();
  }

  // The directory lists every tag by name; it is small and rebuilt whole.
  Status rebuild_directory() {
    std::vector<uint8_t> keys;
    std::vector<uint32_t> recs;
    for (auto& o : orders_) {
      std::string n = upper_ascii(o->info().name);
      n.resize(10, ' ');
      keys.insert(keys.end(), n.begin(), n.end());
      recs.push_back(static_cast<CdxOrder*>(o.get())->header_offset());
    }
    return dir->build(std::move(keys), std::move(recs));
  }

  Result<TreeOrder*> add_tag(const OrderInfo& in) override {
    if (opt_.read_only) return Status::read_only(path_ + ": Indexdatei ist schreibgeschützt geöffnet");
    OrderInfo info = in;
    info.name = upper_ascii(info.name);
    info.bag_path = path_;
    info.keydef.format = IndexFormat::Cdx;
    if (find(info.name)) MV_RETURN_IF_ERROR(drop_tag(info.name));
    MV_RETURN_IF_ERROR(check_order_limits(IndexFormat::Cdx, info, orders_.size()));
    CdxOrder* raw = nullptr;
    MV_RETURN_IF_ERROR(with_bag_lock([&]() -> Status {
      // Tag headers take two pages in a row: always at the end of the file.
      uint32_t off = uint32_t(file_end);
      file_end += kTagHeader;
      took(off), took(off + kPage);
      auto o = std::make_unique<CdxOrder>(info, *this, off);
      o->options_ =
          uint8_t(kOptCompact | kOptCompound | (info.unique ? kOptUnique : 0) | (info.for_expr.empty() ? 0 : kOptFor));
      raw = o.get();
      orders_.push_back(std::move(o));
      MV_RETURN_IF_ERROR(raw->clear());
      return rebuild_directory();
    }));
    return static_cast<TreeOrder*>(raw);
  }

  template <class F>
  Status with_bag_lock(F&& f) {
    return pf.bag_change(
        [&] {
          MV_RETURN_IF_ERROR(read_dir_header());
          return bump_change_counter();
        },
        f, [&] { return flush(); });
  }

  Status drop_tag(const std::string& name) override {
    if (opt_.read_only) return Status::read_only(path_ + ": Indexdatei ist schreibgeschützt geöffnet");
    auto it = std::find_if(orders_.begin(), orders_.end(),
                           [&](auto& o) { return upper_ascii(o->info().name) == upper_ascii(name); });
    if (it == orders_.end()) return Status::not_found(path_ + ": Tag " + name + " nicht vorhanden");
    return with_bag_lock([&]() -> Status {
      CdxOrder* o = static_cast<CdxOrder*>(it->get());
      std::vector<uint32_t> pages;
      MV_RETURN_IF_ERROR(o->collect_pages(pages));
      o->cache_.clear();
      for (uint32_t p : pages) release_page(p);
      release_page(o->header_offset());
      release_page(o->header_offset() + kPage);
      orders_.erase(it);
      return rebuild_directory();
    });
  }
};

PagedFile& paged_file_of(CdxBag& bag) { return bag.pf; }

// ---- CdxOrder -----------------------------------------------------------------------

Status CdxOrder::check_free_list() { return bag_.check_free_list(); }

Status CdxOrder::catch_up() {
  if (!bag_.pf.shared() || !on_disk_ || seen_ == bag_.pf.epoch()) return Status::ok();
  // A tag with unwritten changes is the one being changed: its pages are the newest.
  bool dirty = header_dirty_;
  cache_.for_each([&](Node& n) { dirty = dirty || n.dirty; });
  if (dirty) return Status::ok();
  cache_.clear();
  MV_RETURN_IF_ERROR(read_header());
  seen_ = bag_.pf.epoch();
  bump();
  return Status::ok();
}

Status CdxOrder::read_header() {
  uint8_t h[kTagHeader];
  MV_RETURN_IF_ERROR(bag_.pf.read(header_, h, kTagHeader));
  root_ = get_le32(h + kRoot);
  counter_ = get_le32(h + kCounter);
  uint16_t kl = get_le16(h + kKeyLength);
  options_ = h[kOptions];
  if (kl == 0 || kl > kCdxMaxKeyLength)
    return Status::corrupt(bag_.pf.path() + ": Tag " + info_.name + ": unmögliche Schlüssellänge " +
                           std::to_string(kl));
  if (!(options_ & kOptCompact))
    return Status::not_supported(bag_.pf.path() + ": Tag " + info_.name + ": kein kompakter Index");
  if (root_ == 0 || root_ % kPage || root_ >= bag_.file_end)
    return Status::corrupt(bag_.pf.path() + ": Tag " + info_.name + ": ungültiger Verweis auf die Wurzel");
  info_.keydef.length = kl;
  info_.unique = options_ & kOptUnique;
  info_.descending = get_le16(h + kOrder) == 1;
  reverse_logical_ = info_.descending;
  uint16_t for_len = get_le16(h + kForExprLength), key_len_ = get_le16(h + kKeyExprLength);
  if (!directory_) {
    size_t kle = std::min<size_t>(key_len_ ? key_len_ : kExprPool, kExprPool);
    info_.key_expr = trim_name(h + kExprPoolAt, kle);
    size_t start = std::min<size_t>(key_len_, kExprPool);
    if (for_len > 1 && start < kExprPool)
      info_.for_expr = trim_name(h + kExprPoolAt + start, std::min<size_t>(for_len, kExprPool - start));
    else info_.for_expr.clear();
    // Written back, each expression takes its NUL: when both no longer fit the pool the
    // header could not be written without cutting an expression.
    if (info_.key_expr.size() + 1 + info_.for_expr.size() + 1 > kExprPool)
      set_read_only("Schlüssel- und FOR-Ausdruck füllen den Tag-Kopf ganz aus; der Tag wird nur gelesen");
  }
  set_collation(collation());
  on_disk_ = true;
  return Status::ok();
}

Status CdxOrder::write_header() {
  uint8_t h[kTagHeader] = {};
  put_le32(h + kRoot, root_);
  if (directory_) put_le32(h + kFreeList, bag_.free_head);
  put_le32(h + kCounter, counter_);
  put_le16(h + kKeyLength, uint16_t(key_len()));
  h[kOptions] = options_;
  h[kSignature] = 1;
  h[kObserved] = 0x00, h[kObserved + 1] = 0x04, h[kObserved + 2] = 0x00, h[kObserved + 3] = 0x02;
  put_le16(h + kOrder, info_.descending ? 1 : 0);
  const size_t kel = info_.key_expr.size() + 1, fel = info_.for_expr.size() + 1;
  if (kel + fel > kExprPool)
    return Status::read_only(bag_.pf.path() + ": Tag " + info_.name +
                             ": Schlüssel- und FOR-Ausdruck passen nicht in den Tag-Kopf");
  put_le16(h + kKeyExprLengthCopy, uint16_t(kel));
  put_le16(h + kForExprLength, uint16_t(fel));
  put_le16(h + kKeyExprLength, uint16_t(kel));
  std::memcpy(h + kExprPoolAt, info_.key_expr.data(), kel - 1);
  std::memcpy(h + kExprPoolAt + kel, info_.for_expr.data(), fel - 1);
  header_dirty_ = false;
  on_disk_ = true;
  if (directory_) {
    // Only the root, the counter and the fields after the free list: the free list
    // itself belongs to the bag and is written with it.
    MV_RETURN_IF_ERROR(bag_.pf.file().write_at(kRoot, h + kRoot, 4));
    return bag_.pf.file().write_at(kCounter, h + kCounter, kTagHeader - kCounter);
  }
  return bag_.pf.file().write_at(header_, h, kTagHeader);
}

size_t CdxOrder::leaf_size(const Node& n) const {
  if (!n.sized) {
    uint32_t max_rec = 0;
    size_t stored = 0;
    for (size_t i = 0; i < n.n(); ++i) {
      max_rec = std::max(max_rec, n.recnos[i]);
      stored += entry_cost(node_key(n, i), i ? node_key(n, i - 1) : nullptr);
    }
    n.size_cache = uint32_t(stored);
    n.max_cache = max_rec;
    n.sized = true;
  }
  return n.n() * size_t(leaf_layout(key_len(), n.max_cache).b) + n.size_cache;
}

// Keeps the cached size of a leaf up to date for an insert; anything else measures anew.
void CdxOrder::leaf_changed(Node& n, long pos) {
  if (pos < 0 || !n.sized) {
    n.sized = false;
    return;
  }
  const size_t i = size_t(pos);
  const uint8_t* prev = i ? node_key(n, i - 1) : nullptr;
  const uint8_t* mine = node_key(n, i);
  const uint8_t* next = i + 1 < n.n() ? node_key(n, i + 1) : nullptr;
  long delta = long(entry_cost(mine, prev));
  if (next) delta += long(entry_cost(next, mine)) - long(entry_cost(next, prev));
  n.size_cache = uint32_t(long(n.size_cache) + delta);
  n.max_cache = std::max(n.max_cache, n.recnos[i]);
}

// Compressed leaves split where both halves fit, as evenly as possible by bytes.
size_t CdxOrder::split_point(const Node& n) const {
  const size_t cnt = n.n();
  if (!n.leaf || cnt < 2) return cnt / 2;
  const size_t kl = key_len();
  const size_t b = size_t(leaf_layout(kl, largest_recno(n.recnos)).b);
  const uint8_t p = pad();
  // Each entry's cost after its neighbour; as the first entry of a page it costs its
  // shared head more. Pages of usual size keep both on the stack.
  constexpr size_t kOnStack = 512;
  uint16_t chained_stack[kOnStack], dup_stack[kOnStack];
  std::vector<uint16_t> chained_heap, dup_heap;
  uint16_t* chained = chained_stack;
  uint16_t* dups = dup_stack;
  if (cnt > kOnStack) {
    chained_heap.resize(cnt), dup_heap.resize(cnt);
    chained = chained_heap.data(), dups = dup_heap.data();
  }
  const size_t total = with_measure(kl, p, [&](auto measure) __attribute__((always_inline)) {
    size_t sum = 0;
    for (size_t i = 0; i < cnt; ++i) {
      const uint8_t* k = node_key(n, i);
      const PadHead m = measure(i > 0 ? k - kl : nullptr, k);
      chained[i] = uint16_t(b + kl - m.trail - m.dup);
      dups[i] = uint16_t(m.dup);
      sum += chained[i];
    }
    return sum;
  });
  size_t best = cnt / 2, best_diff = SIZE_MAX;
  size_t left = chained[0];
  for (size_t m = 1; m < cnt; left += chained[m], ++m) {
    const size_t right = total - left + dups[m];
    if (left > kLeafData || right > kLeafData) continue;
    const size_t diff = left > right ? left - right : right - left;
    if (diff < best_diff) best = m, best_diff = diff;
  }
  if (best_diff != SIZE_MAX) return best;
  // No split fits at the width the largest record number gives every entry: the larger
  // numbers lie in one half only (pages of a batch evened out, one of them with small
  // numbers). Each half is then measured at its own width, so that both fit.
  std::vector<uint32_t> max_from(cnt + 1, 0);  // the largest record number from entry m on
  for (size_t m = cnt; m-- > 0;) max_from[m] = std::max(max_from[m + 1], n.recnos[m]);
  uint32_t max_left = n.recnos[0];
  left = chained[0];
  for (size_t m = 1; m < cnt; left += chained[m], max_left = std::max(max_left, n.recnos[m]), ++m) {
    const size_t lb = size_t(leaf_layout(kl, max_left).b), rb = size_t(leaf_layout(kl, max_from[m]).b);
    const size_t l = left - m * b + m * lb;
    const size_t r = total - left + dups[m] - (cnt - m) * b + (cnt - m) * rb;
    if (l > kLeafData || r > kLeafData) continue;
    const size_t diff = l > r ? l - r : r - l;
    if (diff < best_diff) best = m, best_diff = diff;
  }
  return best;
}

bool CdxOrder::bulk_leaf_add(Node& leaf, const uint8_t* k, uint32_t recno) {
  const size_t kl = key_len();
  const size_t cnt = leaf.n();
  // The keys come one after the other: the ones a few ahead are asked for now.
  __builtin_prefetch(k + 8 * kl);
  const uint8_t* prev = cnt > 0 ? leaf.keys.data() + leaf.keys.size() - kl : nullptr;
  const PadHead m = with_measure(kl, pad(), [&](auto measure) { return measure(prev, k); });
  const uint32_t max_rec = std::max<uint32_t>(cnt ? leaf.bulk_max_recno : 0, recno);
  const size_t stored = leaf.bulk_bytes + (kl - m.dup - m.trail);
  if (cnt > 0 && stored + (cnt + 1) * size_t(leaf_layout(kl, max_rec).b) > kLeafData) return false;
  leaf.bulk_bytes = uint32_t(stored);
  leaf.bulk_max_recno = max_rec;
  // Appended as they are, not first cleared as a resize would.
  leaf.keys.insert(leaf.keys.end(), k, k + kl);
  leaf.recnos.push_back(recno);
  return true;
}

// As bulk_leaf_add for each entry in turn, the entries measured first and appended at once.
size_t CdxOrder::bulk_leaf_fill(Node& leaf, const uint8_t* keys, const uint32_t* recnos, size_t n) {
  if (n == 0) return 0;
  const size_t kl = key_len();
  const uint8_t padb = pad();
  const size_t cnt = leaf.n();
  const uint8_t* prev = cnt ? leaf.keys.data() + leaf.keys.size() - kl : nullptr;
  size_t bytes = cnt ? leaf.bulk_bytes : 0;
  uint32_t max_rec = cnt ? leaf.bulk_max_recno : 0;
  const size_t i = with_measure(kl, padb, [&](auto measure) __attribute__((always_inline)) {
    size_t i = 0;
    if (!prev) {  // an empty leaf takes its first entry, whatever it takes
      bytes = kl - measure(nullptr, keys).trail;
      max_rec = recnos[0];
      prev = keys;
      i = 1;
    }
    // The entry width only grows with the largest record number: measured anew only then.
    size_t b = size_t(leaf_layout(kl, max_rec).b);
    size_t used = bytes + (cnt + i) * b;  // what the leaf takes so far
    for (; i < n; ++i) {
      const uint8_t* k = keys + i * kl;
      const PadHead m = measure(prev, k);
      const size_t own = kl - m.dup - m.trail;
      if (recnos[i] > max_rec) {
        const size_t wider = size_t(leaf_layout(kl, recnos[i]).b);
        if (bytes + own + (cnt + i + 1) * wider > kLeafData) break;
        max_rec = recnos[i];
        b = wider;
        bytes += own;
        used = bytes + (cnt + i + 1) * b;
      } else {
        if (used + own + b > kLeafData) break;
        bytes += own;
        used += own + b;
      }
      prev = k;
    }
    return i;
  });
  leaf.bulk_bytes = uint32_t(bytes);
  leaf.bulk_max_recno = max_rec;
  leaf.keys.insert(leaf.keys.end(), keys, keys + i * kl);
  leaf.recnos.insert(leaf.recnos.end(), recnos, recnos + i);
  return i;
}

Status CdxOrder::encode(const Node& n, uint8_t* p) const {
  std::memset(p, 0, kPage);
  const bool is_root = n.id == root_;
  const size_t kl = key_len();
  put_le16(p + kNodeAttributes, uint16_t((n.leaf ? 2 : 0) | (is_root ? 1 : 0)));
  put_le16(p + kNodeCount, uint16_t(n.n()));
  put_le32(p + kNodeLeft, n.left);
  put_le32(p + kNodeRight, n.right);
  if (!n.leaf) {
    if (n.n() > bulk_interior_capacity()) return Status::invalid_argument("CDX: Indexseite überfüllt");
    for (size_t i = 0; i < n.n(); ++i) {
      uint8_t* e = p + kInteriorItems + i * (kl + 8);
      std::memcpy(e, node_key(n, i), kl);
      put_be32(e + kl, n.recnos[i]);
      put_be32(e + kl + 4, n.kids[i]);
    }
    return Status::ok();
  }
  const LeafLayout l = leaf_layout(kl, largest_recno(n.recnos));
  const size_t eb = size_t(l.b);
  const uint32_t rmask = uint32_t((uint64_t(1) << l.r) - 1);
  put_le32(p + kLeafRecordMask, rmask);
  p[kLeafDupMask] = uint8_t((1 << l.d) - 1);
  p[kLeafTrailMask] = uint8_t((1 << l.t) - 1);
  p[kLeafRecordBits] = uint8_t(l.r), p[kLeafDupBits] = uint8_t(l.d), p[kLeafTrailBits] = uint8_t(l.t);
  p[kLeafEntryBytes] = uint8_t(l.b);
  size_t end = kPage;
  size_t entries = kLeafEntries;
  const uint8_t padb = pad();
  // Held apart from the node: stores into the page could otherwise alias its fields.
  const uint8_t* const first = n.keys.data();
  const uint32_t* const recs = n.recnos.data();
  const size_t cnt = n.n();
  const bool fits = with_measure(kl, padb, [&](auto measure) __attribute__((always_inline)) {
    for (size_t i = 0; i < cnt; ++i) {
      const uint8_t* k = first + i * kl;
      const auto [trail, dup] = measure(i > 0 ? k - kl : nullptr, k);
      const size_t stored = kl - dup - trail;
      if (entries + eb + stored > end) return false;
      end -= stored;
      const uint8_t* src = k + dup;
      // Entries grow from the front, key bytes from the back, the free space between them
      // stays zero: while eight bytes lie between the two, whole words are written, the
      // bytes past an entry or before a key's bytes being zeros into that space.
      const uint64_t v = uint64_t(recs[i]) | (uint64_t(dup) << l.r) | (uint64_t(trail) << (l.r + l.d));
      if (kLittle && entries + 8 <= end) {
        if (stored >= 8) {
          for (size_t j = 0; j + 8 < stored; j += 8) store8(p + end + j, load8(src + j));
          store8(p + end + stored - 8, load8(src + stored - 8));
        } else if (stored > 0 && src + stored >= first + 8) {
          const unsigned below = unsigned(8 - stored) * 8;  // bytes of the word before the key's
          store8(p + end + stored - 8, load8(src + stored - 8) >> below << below);
        } else {
          copy_short(p + end, src, stored);
        }
        store8(p + entries, v);
      } else {
        copy_short(p + end, src, stored);
        for (size_t j = 0; j < eb; ++j) p[entries + j] = uint8_t(v >> (8 * j));
      }
      entries += eb;
    }
    return true;
  });
  if (!fits) return Status::invalid_argument("CDX: Blattseite überfüllt");
  put_le16(p + kLeafFreeSpace, uint16_t(end - entries));
  return Status::ok();
}

Status CdxOrder::decode(uint32_t id, const uint8_t* p, Node& n) const {
  // Named only when a page turns out damaged: pages are decoded by the thousand.
  auto where = [&] { return bag_.pf.path() + ": Tag " + info_.name + ": Seite " + std::to_string(id); };
  const uint16_t attr = get_le16(p + kNodeAttributes);
  const size_t cnt = get_le16(p + kNodeCount);
  const size_t kl = key_len();
  n.id = id;
  n.leaf = attr & 2;
  n.left = get_le32(p + kNodeLeft);
  n.right = get_le32(p + kNodeRight);
  // Room for a few more keys: an insert into a page just read does not move its arrays.
  // Keys are put together a lane at a time, which may write up to a lane past the last.
  n.keys.reserve(std::max((cnt + cnt / 8 + 4) * kl, cnt * kl + kLane));
  n.recnos.reserve(cnt + cnt / 8 + 4);
  n.recnos.resize(cnt);
  n.kids.clear();
  if (attr > 3 || !n.leaf) n.keys.resize(cnt * kl);  // a leaf's keys are sized below
  if (attr > 3) return Status::corrupt(where() + ": unbekannte Seitenart " + std::to_string(attr));
  if (!n.leaf) {
    if (cnt == 0 || kInteriorItems + cnt * (kl + 8) > kPage) return Status::corrupt(where() + ": ungültige Schlüsselzahl");
    n.kids.resize(cnt);
    for (size_t i = 0; i < cnt; ++i) {
      const uint8_t* e = p + kInteriorItems + i * (kl + 8);
      std::memcpy(n.keys.data() + i * kl, e, kl);
      n.recnos[i] = get_be32(e + kl);
      n.kids[i] = get_be32(e + kl + 4);
      if (n.kids[i] == 0 || n.kids[i] % kPage || n.kids[i] >= bag_.file_end)
        return Status::corrupt(where() + ": ungültiger Seitenverweis");
    }
    return Status::ok();
  }
  const uint32_t rmask = get_le32(p + kLeafRecordMask);
  const uint8_t dmask = p[kLeafDupMask], tmask = p[kLeafTrailMask];
  const uint8_t r = p[kLeafRecordBits], d = p[kLeafDupBits], t = p[kLeafTrailBits], b = p[kLeafEntryBytes];
  if (b < 1 || b > 8 || r > 32 || d > 8 || t > 8 || r + d + t > 8 * b || cnt * b > kLeafData) {
    n.keys.resize(cnt * kl);
    return Status::corrupt(where() + ": ungültige Bitbreiten");
  }
  n.keys.resize(cnt * kl + kLane);
  const uint64_t entry_mask = b >= 8 ? ~uint64_t(0) : (uint64_t(1) << (8 * b)) - 1;
  // The first key has no key before it to share a head with.
  if (cnt > 0 && ((get_le64(p + kLeafEntries) & entry_mask) >> r & dmask) != 0) {
    n.keys.resize(cnt * kl);
    return Status::corrupt(where() + ": ungültige Schlüsselkompression");
  }
  bool ok;
  if (kl <= kLane) ok = decode_keys<1>(p, cnt, b, entry_mask, rmask, r, d, dmask, tmask, n);
  else if (kl <= 2 * kLane) ok = decode_keys<2>(p, cnt, b, entry_mask, rmask, r, d, dmask, tmask, n);
  else ok = decode_keys<0>(p, cnt, b, entry_mask, rmask, r, d, dmask, tmask, n);
  n.keys.resize(cnt * kl);
  if (ok) return Status::ok();
  // Told apart only now: the entry that failed is found again.
  size_t end = kPage;
  const size_t room = kLeafEntries + cnt * b;
  for (size_t i = 0; i < cnt; ++i) {
    const uint64_t v = get_le64(p + kLeafEntries + i * b) & entry_mask;
    const size_t dup = (v >> r) & dmask, trail = (v >> (r + d)) & tmask;
    if (dup + trail > kl) return Status::corrupt(where() + ": ungültige Schlüsselkompression");
    if (end < room + kl - dup - trail) break;
    end -= kl - dup - trail;
  }
  return Status::corrupt(where() + ": Schlüsselbytes überlappen");
}

// The keys and record numbers of a leaf of cnt entries, into n's arrays (keys with room
// for a lane past the last); false where an entry does not fit its page. `Lanes` is the
// number of lanes a key takes when that is one or two, else 0 (a loop over its lanes).
template <int Lanes>
bool CdxOrder::decode_keys(const uint8_t* p, size_t cnt, size_t b, uint64_t entry_mask, uint32_t rmask, int r,
                           int d, size_t dmask, size_t tmask, Node& n) const {
  const size_t kl = key_len();
  const uint8_t padb = pad();
  size_t end = kPage;
  const size_t room = kLeafEntries + cnt * b;  // the key bytes start past the entries
  // Each key takes its shared head from the key before it, its own bytes from the end of
  // the page and the pad byte for its trailing blanks. Sixteen bytes of a key at a time
  // are put together from the three in a register; the key before is kept aside as well,
  // since reading it back from where it was stored piecewise would stall on those stores.
  Lane prev0 = {}, prev1 = {};
  alignas(16) uint8_t prev[Lanes > 0 ? 1 : kPageSlack] = {};
  const Lane pads = lane_of(padb);
  uint8_t* const keys = n.keys.data();
  uint32_t* const recs = n.recnos.data();
  for (size_t i = 0; i < cnt; ++i) {
    const uint64_t v = get_le64(p + kLeafEntries + i * b) & entry_mask;
    const size_t dup = (v >> r) & dmask;
    const size_t trail = (v >> (r + d)) & tmask;
    // Wraps far past kl where head and pad overlap.
    const size_t stored = kl - dup - trail;
    if (stored > kl || end < room + stored) return false;
    end -= stored;
    uint8_t* k = keys + i * kl;
    recs[i] = uint32_t(v & rmask);
    if constexpr (Lanes > 0) {
      // Byte j of the key is page byte end - dup + j while dup <= j < kl - trail. The
      // masks of the bytes before dup and before kl - trail (both at most 2 * kLane) are
      // read from a row of set bytes followed by clear ones, each at its place.
      const uint8_t* from = p + end - dup;
      const uint8_t* head = kFirstSet + 2 * kLane - dup;
      const uint8_t* body = kFirstSet + 2 * kLane - (kl - trail);
      {
        const Lane before = load_lane(head), own = load_lane(body);
        prev0 = (prev0 & before) | (load_lane(from) & own & ~before) | (pads & ~own);
        store_lane(k, prev0);
      }
      if constexpr (Lanes > 1) {
        const Lane before = load_lane(head + kLane), own = load_lane(body + kLane);
        prev1 = (prev1 & before) | (load_lane(from + kLane) & own & ~before) | (pads & ~own);
        store_lane(k + kLane, prev1);
      }
    } else if (kl <= kCdxMaxKeyLength) {
      const uint8_t* from = p + end - dup;
      const Lane head = lane_of(uint8_t(dup)), body = lane_of(uint8_t(kl - trail));
      Lane at = kLaneIndex;
      for (size_t j = 0; j < kl; j += kLane, at += kLane) {
        const Lane before = Lane(at < head), own = Lane(at < body);
        const Lane x = (load_lane(prev + j) & before) | (load_lane(from + j) & own & ~before) | (pads & ~own);
        store_lane(prev + j, x);
        store_lane(k + j, x);
      }
    } else {
      copy_short(k, k - kl, dup);
      copy_short(k + dup, p + end, stored);
      std::memset(k + dup + stored, padb, trail);
    }
  }
  return true;
}

Status CdxOrder::read_page(uint32_t id, Node& n) {
  if (id == 0 || id % kPage || uint64_t(id) + kPage > bag_.file_end)
    return Status::corrupt(bag_.pf.path() + ": Tag " + info_.name + ": Verweis auf Seite " + std::to_string(id) +
                           " außerhalb der Datei");
  // Room around the page: decode reads entries and key bytes a lane at a time, a key's
  // lane reaching as far before or past its bytes as a key is long.
  uint8_t buf[kPageSlack + kPage + kPageSlack];
  const size_t reach = std::min(kPageSlack, key_len() + kLane);
  std::memset(buf + kPageSlack - reach, 0, reach);
  std::memset(buf + kPageSlack + kPage, 0, reach);
  MV_RETURN_IF_ERROR(bag_.pf.read(id, buf + kPageSlack, kPage));
  return decode(id, buf + kPageSlack, n);
}

Status CdxOrder::write_page(const Node& n) {
  uint8_t buf[kPage];
  MV_RETURN_IF_ERROR(encode(n, buf));
  return bag_.pf.file().write_at(n.id, buf, kPage);
}

Status CdxOrder::write_pages(const std::vector<Node*>& sorted) {
  std::vector<std::pair<uint32_t, const Node*>> pages;
  pages.reserve(sorted.size());
  for (Node* n : sorted) pages.push_back({n->id, n});
  // The pages were changed long before they are written: while one page is encoded, the
  // next one's keys and record numbers are fetched into the cache, and the page after.
  size_t next = 0;
  return write_page_runs(bag_.pf.file(), pages, kPage, kPage, [](uint32_t id) { return uint64_t(id); },
                         [this, &pages, &next](const Node& n, uint8_t* p) {
                           ++next;
                           if (next + 1 < pages.size()) __builtin_prefetch(pages[next + 1].second);
                           if (next < pages.size()) prefetch_node(*pages[next].second);
                           return encode(n, p);
                         });
}

Result<Node*> CdxOrder::new_node(bool leaf) {
  MV_ASSIGN_OR_RETURN(uint32_t id, bag_.allocate_page());
  return cache_new(id, leaf);
}

Status CdxOrder::free_node(uint32_t id) {
  cache_.erase(id);
  bag_.release_page(id);
  return Status::ok();
}

// Reads keep the pages while the directory header's root, free list and change counter
// are unchanged.
Status CdxOrder::reload() {
  MV_RETURN_IF_ERROR(bag_.read_dir_header());
  return read_header();
}

// Other programs leave the counter alone: a change starts from the file as it is.
Status CdxOrder::start_change() {
  ++counter_, header_dirty_ = true;
  if (bag_.pf.shared() && on_disk_ && !directory_) return bag_.bump_change_counter();
  return Status::ok();
}

Status CdxOrder::write_after_pages() { return bag_.write_freed(); }

Status CdxOrder::write_bulk(std::vector<std::vector<Node>>& levels) {
  // The old tree's pages go to the free list; the new pages take free pages first.
  std::vector<uint32_t> old;
  if (root_ != 0) {
    Status st = collect_pages(old);
    if (!st.is_ok()) old.clear();  // a damaged old tree is dropped, not followed
  }
  cache_.clear();
  for (uint32_t p : old) bag_.release_page(p);
  std::vector<std::vector<uint32_t>> ids(levels.size());
  replacing_ = true;
  for (size_t l = 0; l < levels.size(); ++l)
    for (size_t i = 0; i < levels[l].size(); ++i) {
      auto id = bag_.allocate_page();
      if (!id.is_ok()) replacing_ = false;
      MV_RETURN_IF_ERROR(id.status());
      ids[l].push_back(*id);
    }
  replacing_ = false;
  root_ = ids.back().back();
  header_dirty_ = true;
  const auto all = number_levels(levels, ids, /*siblings=*/true);
  for (auto& [id, n] : all) bag_.freed.erase(id);  // reused before they were written as free
  MV_RETURN_IF_ERROR(write_page_runs(
      bag_.pf.file(), all, kPage, kPage, [](uint32_t id) { return uint64_t(id); },
      [this](const Node& n, uint8_t* p) { return encode(n, p); }));
  if (!bag_.pf.shared()) {
    MV_RETURN_IF_ERROR(write_header());
    MV_RETURN_IF_ERROR(bag_.write_freed());
  }
  return Status::ok();
}

// ---- entry points ---------------------------------------------------------------------

Result<std::unique_ptr<IndexBag>> open_cdx(FileSystem& fs, const std::string& path, const BagOptions& opt) {
  return start_bag<CdxBag>(fs, path, opt, [](CdxBag& b) { return b.open_existing(); });
}

Result<std::unique_ptr<IndexBag>> create_cdx(FileSystem& fs, const std::string& path, const BagOptions& opt) {
  return start_bag<CdxBag>(fs, path, opt, [](CdxBag& b) { return b.create_new(); });
}

}  // namespace mv::index
