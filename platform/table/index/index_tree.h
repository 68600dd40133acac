#pragma once
// The tree algorithms every index family shares: walking in key order, seeking,
// inserting and deleting with page splits and merges, building bottom-up from sorted
// keys, and the structural check. Each family (NTX, CDX, MDX) supplies its page codec,
// its page allocation and the shape of its tree:
//   - NTX is a B-tree: keys live in interior pages too, and an interior page of n keys
//     has n + 1 children.
//   - CDX is a B+ tree: every key is in a leaf; interior entry i holds the last key and
//     record number of child i; pages on one level are linked left and right.
//   - MDX is a B+ tree whose interior pages hold n keys and n + 1 children: key i is the
//     largest key of child i, the last child has no key.
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <unordered_map>
#include <vector>

#include "platform/base/filesystem.h"
#include "platform/base/status.h"
#include "platform/table/index/index_key.h"

namespace mv::index {

inline constexpr uint32_t kNoPage = 0xFFFFFFFFu;

enum class TreeShape : uint8_t { BTree, BPlusKeyedAll, BPlusLastUnkeyed };

// One page of a tree, decoded.
struct Node {
  uint32_t id = 0;                // byte offset (NTX, CDX) or page number (MDX)
  bool leaf = true;
  std::vector<uint8_t> keys;      // n keys of key_len bytes
  std::vector<uint32_t> recnos;   // n record numbers (0 where a format keeps none)
  std::vector<uint32_t> kids;     // interior: children (n + 1, or n for CDX)
  uint32_t left = kNoPage, right = kNoPage;  // CDX siblings
  bool dirty = false;
  // While a bulk build fills a leaf: the key bytes it will store so far and its largest
  // record number (CDX sizes its compressed leaves by both).
  uint32_t bulk_bytes = 0;
  uint32_t bulk_max_recno = 0;
  // A family's cached page measure (CDX: compressed size), valid while `sized`.
  mutable bool sized = false;
  mutable uint32_t size_cache = 0, max_cache = 0;
  // Interior, for SEEK (TreeOrder::seek_down): each child as a search last found it in
  // the cache, valid while the cache's version is still `version`. A copy of a page, or a
  // page assigned anew, starts without.
  struct KidView {
    static constexpr uint32_t kLeaf = 0xFFFFFFFFu;
    const Node* node = nullptr;
    const uint8_t* keys = nullptr;
    const uint32_t* nums = nullptr;  // leaf: record numbers; interior: children
    KidView* views = nullptr;        // the child's own views once they hold at this version
    uint32_t n = 0;                  // keys
    uint32_t kids = kLeaf;           // children; kLeaf for a leaf
  };
  struct KidViews {
    std::vector<KidView> views;
    uint64_t version = 0;
    KidViews() = default;
    KidViews(const KidViews&) {}
    KidViews(KidViews&&) noexcept {}
    KidViews& operator=(const KidViews&) { return forget(); }
    KidViews& operator=(KidViews&&) noexcept { return forget(); }
    KidViews& forget() {
      views.clear();
      version = 0;
      return *this;
    }
  };
  mutable KidViews kid_views;

  size_t n() const { return recnos.size(); }
};

// What describes an order, whatever file it lives in.
struct OrderInfo {
  std::string name;       // tag name; NTX: the file's base name
  std::string key_expr;
  std::string for_expr;
  std::string bag_path;   // full path of the index file
  bool unique = false;
  bool descending = false;
  KeyDef keydef;
};

// A position in a tree: the path from the root. For the top frame `idx` is the entry;
// for the frames above it, the child that was descended into.
struct Cursor {
  struct Frame {
    uint32_t id;
    int idx;
  };
  std::vector<Frame> path;
  // Shared files: the entry the cursor stood on after its last move and the tree's
  // generation then, so that a move after another program's change finds its place again.
  uint64_t gen = 0;
  std::vector<uint8_t> key;
  uint32_t recno = 0;
  bool valid() const { return !path.empty(); }
  void clear() { path.clear(); }
};

struct CheckReport {
  uint64_t keys = 0;
  uint32_t depth = 0;
  uint32_t pages = 0;
};

// Entries (keys flat, kl each, and their record numbers) by key, then by record number,
// into `order` (sized like `recnos`); `desc` the other way round by key.
void sort_entries(std::vector<uint32_t>& order, const uint8_t* keys, size_t kl, const std::vector<uint32_t>& recnos,
                  const KeyCompare& cmp, bool desc);

// One order = one tree. Subclasses: NtxOrder, CdxOrder, MdxOrder.
class TreeOrder {
 public:
  virtual ~TreeOrder() = default;

  const OrderInfo& info() const { return info_; }
  const KeyDef& keydef() const { return info_.keydef; }
  const Collation& collation() const { return cmp_.collation(); }
  // Read-only with a reason, e.g. a collation that is neither byte order nor German.
  bool read_only() const { return !read_only_reason_.empty(); }
  const std::string& read_only_reason() const { return read_only_reason_; }
  void set_read_only(std::string why) { read_only_reason_ = std::move(why); }
  // The stored keys fit neither byte order nor the German order: the order is read
  // (walked) but never changed, and the check leaves the key order alone.
  void set_foreign_collation() {
    foreign_collation_ = true;
    set_read_only("die Sortierfolge der Schlüssel ist unbekannt; der Index wird nur gelesen");
  }
  bool foreign_collation() const { return foreign_collation_; }
  void set_collation(const Collation& c) { cmp_ = KeyCompare(info_.keydef, c); }
  // The type of the key expression's value, known to the caller that evaluates it
  // (CDX and NTX files do not record it).
  virtual void set_key_type(KeyType t) {
    info_.keydef.type = t;
    cmp_ = KeyCompare(info_.keydef, cmp_.collation());
  }
  void set_decimals(uint16_t d) { info_.keydef.decimals = d; }
  // Bumped by every change of the tree; cursors of an older generation re-seek.
  uint64_t generation() const { return generation_; }

  // ---- logical navigation (the order as the user sees it) ----
  Status first(Cursor& c);
  Status last(Cursor& c);
  Status next(Cursor& c);
  Status prev(Cursor& c);
  // The same, answering the record number of the entry reached (0 past either end).
  Status next(Cursor& c, uint32_t& recno);
  Status prev(Cursor& c, uint32_t& recno);
  const uint8_t* key_at(const Cursor& c);
  uint32_t recno_at(const Cursor& c);
  // SEEK: the first entry whose key, cut to the length of `key`, is >= key (<= in a
  // descending order). `found` when that entry's key starts with `key`.
  Status seek(std::span<const uint8_t> key, Cursor& c, bool& found);
  // The same, answering the record number of the entry reached (0 past the end).
  Status seek(std::span<const uint8_t> key, Cursor& c, bool& found, uint32_t& recno);
  // The cursor on (key, recno) or invalid when that entry is not in the order.
  Status find(std::span<const uint8_t> key, uint32_t recno, Cursor& c);

  // ---- place within the order (the data page's scroll bar), without counting keys
  // Where the cursor's entry stands in the order as the user sees it: 0 for the first
  // entry, rising towards 1 for the last, 1 past the end. Estimated from the entry's
  // place in each page on its path from the root, as if every page of a level held
  // equally many keys; only the pages of that path are read. Entries further on in the
  // order always answer more.
  Result<double> relative_position(Cursor& c);
  // The cursor on the entry standing at `pos` (0 to 1) by the same estimate.
  Status go_to_relative_position(double pos, Cursor& c);

  // ---- maintenance ----
  // Unique orders skip a key that is already there (`inserted` false).
  Status insert(std::span<const uint8_t> key, uint32_t recno, bool* inserted = nullptr);
  // Inserts entries order[0..count) of `keys` (key_len each) and `recnos`, best in key
  // order, in a few changes of the tree instead of one per key: the keys of a slice go
  // down the tree together, each leaf they reach takes its keys in one pass and splits
  // into as many pages as it needs, each page above takes its children's new pages in one
  // pass. Every page a slice changes is read before the first change, so a page that
  // cannot be read fails the slice with the tree as it was; slices before it stay in.
  // Unique orders take the keys one by one (each is looked for first).
  Status insert_batch(const uint8_t* keys, const uint32_t* recnos, const uint32_t* order, size_t count);
  // Removes (key, recno); NotFound when it is missing.
  Status remove(std::span<const uint8_t> key, uint32_t recno);
  // Replaces the whole tree by one built bottom-up from these entries (keys flat,
  // key_len each). Sorting, unique filtering and descending are done here.
  Status build(std::vector<uint8_t>&& keys, std::vector<uint32_t>&& recnos);
  // Empties the order.
  Status clear();

  // Number of keys (walks the tree).
  Result<uint64_t> key_count();
  // Structural check: order of keys, page links, counts, record numbers (1 to
  // `last_recno`). Corrupt with the reason.
  Result<CheckReport> check(uint32_t last_recno = UINT32_MAX);
  // The collation the stored keys fit: byte order, else German, else nothing.
  // Orders of fewer than two distinct keys fit both and answer `fallback`.
  Result<std::optional<Collation>> detect_collation(const Collation& fallback, CodePage cp);
  // The same over the first `limit` keys in stored order: `complete` when those were all
  // of them; `plain` when none of them holds a byte that sorts differently in any of the
  // candidate orders (every candidate then fits them alike). `fit` is empty when the keys
  // seen fit no candidate.
  struct CollationSample {
    std::optional<Collation> fit;
    bool complete = true;
    bool plain = true;
  };
  Result<CollationSample> sample_collation(const Collation& fallback, CodePage cp, size_t limit);
  // The same from a sample that grows far slower than the order: the keys of every
  // interior page in key order, and every leaf of an order of up to kSampledLeaves
  // leaves, else that many leaves spread over it (the first and the last among them).
  // A pair out of order that the sample leaves out goes unseen: opening a table tells
  // the collation from every key, the walk put off until keys are compared (OrderList).
  static constexpr size_t kSampledLeaves = 64;
  Result<std::optional<Collation>> detect_collation_sampled(const Collation& fallback, CodePage cp);
  // Whether a SEEK of `key` lands on the same entry in every candidate order: true when
  // the key and every key of each page on its way down compare alike in all of them
  // (their first differing bytes are none that any candidate places apart). A seek that
  // passes needs no word on which candidate the whole order follows.
  // `examined` grows by the number of keys looked at.
  Result<bool> seeks_alike_in_every_collation(std::span<const uint8_t> key, uint64_t* examined = nullptr);

  // Physical walk, all entries in stored order (tests, check).
  Status walk_physical(const std::function<bool(const uint8_t* key, uint32_t recno)>& fn);
  // The same for a walk over a whole large order: the leaves are read a page of them at a
  // time and not kept in the cache.
  Status walk_streaming(const std::function<bool(const uint8_t* key, uint32_t recno)>& fn);
  // The same a run of neighbouring entries at a time (a leaf, or a key between two leaves).
  // Neither may change the file meanwhile (the leaves are read ahead).
  Status walk_runs(const std::function<bool(const uint8_t* keys, const uint32_t* recnos, size_t n)>& fn);
  // Every page the tree uses, root first. Only interior pages are read: leaves are known
  // from their parents. Used to tell a free page from a live one; Corrupt when the tree
  // cannot be walked.
  Status tree_pages(std::vector<uint32_t>& out);

 protected:
  TreeOrder(OrderInfo info, TreeShape shape, bool reverse_logical)
      : info_(std::move(info)), shape_(shape), reverse_logical_(reverse_logical) {
    cmp_ = KeyCompare(info_.keydef, Collation::machine());
  }

  // ---- the family's part ----
  virtual Result<Node*> load(uint32_t id) = 0;
  virtual uint32_t root() const = 0;
  virtual Status set_root(uint32_t id) = 0;
  virtual Result<Node*> new_node(bool leaf) = 0;  // allocated, cached, dirty
  virtual Status free_node(uint32_t id) = 0;
  virtual bool fits(const Node& n) const = 0;
  virtual void mark(Node& n) { n.dirty = true; }
  // A leaf changed: an entry was inserted at `pos`, or (pos < 0) anything else.
  virtual void leaf_changed(Node& n, long pos) { (void)n, (void)pos; }
  // Where an overfull page splits: the first entry of the right half.
  virtual size_t split_point(const Node& n) const { return n.n() / 2; }
  // Around every operation: locks in shared mode, drops stale pages, writes what
  // changed. `write` tells a change of the tree.
  virtual Status begin(bool write) = 0;
  virtual Status end(bool write, Status st) = 0;
  // Bulk build: the family lays out the given levels (leaves first) and writes them.
  virtual Status write_bulk(std::vector<std::vector<Node>>& levels) = 0;
  virtual size_t bulk_leaf_capacity() const = 0;       // keys per leaf for fixed layouts
  virtual bool fixed_leaves() const { return true; }   // false: leaves hold what fits their bytes
  virtual size_t bulk_interior_capacity() const = 0;   // keys per interior page
  // Bulk build: appends the entry to the leaf, or answers false when it does not fit.
  virtual bool bulk_leaf_add(Node& leaf, const uint8_t* key, uint32_t recno);
  // The same for up to n entries whose keys lie one after the other: appends them in turn
  // while they fit and answers how many it took. A family that measures its leaves may
  // measure them all first and append them at once.
  virtual size_t bulk_leaf_fill(Node& leaf, const uint8_t* keys, const uint32_t* recnos, size_t n) {
    const size_t kl = key_len();
    size_t i = 0;
    while (i < n && bulk_leaf_add(leaf, keys + i * kl, recnos[i])) ++i;
    return i;
  }
  // These pages are about to be read: the family may read their bytes beforehand, close
  // neighbours together (answers whether it did), until unstage().
  virtual bool stage(const std::vector<uint32_t>& ids) {
    (void)ids;
    return false;
  }
  virtual void unstage() {}
  // Where the n keys of leaf `id` lie, `stride` bytes apart, when its bytes were read
  // ahead (stage) and it is a sound leaf whose keys the family keeps as they are stored:
  // valid until unstage(). Otherwise (cached, not read ahead, damaged, interior, or keys
  // that must be decoded) false, and peek() tells.
  struct LeafKeys {
    const uint8_t* keys = nullptr;
    size_t n = 0;
    size_t stride = 0;
  };
  virtual bool staged_leaf_keys(uint32_t id, LeafKeys& out) {
    (void)id, (void)out;
    return false;
  }
  // Page `id` to be looked at once: from the cache, else read into `scratch` and not kept.
  virtual Result<const Node*> peek(uint32_t id, Node& scratch) {
    (void)scratch;
    MV_ASSIGN_OR_RETURN(Node * n, load(id));
    return static_cast<const Node*>(n);
  }
  // These pages are read ahead into the cache, close neighbours together. A page that
  // cannot be read is left for the read that needs it.
  void prefetch(const std::vector<uint32_t>& ids) {
    if (!stage(ids)) return;
    for (uint32_t id : ids) (void)load(id);
    unstage();
  }
  // The family's list of free pages, checked after the tree: Corrupt names an entry that
  // is a live page, lies outside the file or off a page boundary, or a list that loops.
  virtual Status check_free_list() { return Status::ok(); }

  size_t key_len() const { return info_.keydef.length; }
  const uint8_t* node_key(const Node& n, size_t i) const { return n.keys.data() + i * key_len(); }
  int key_cmp(const uint8_t* a, const uint8_t* b, size_t m) const { return cmp_(a, b, m); }
  // Sign of (a - b) in the tree's stored order, by key only.
  int phys_cmp(const uint8_t* a, const uint8_t* b, size_t m) const {
    int r = cmp_(a, b, m);
    return phys_desc() ? -r : r;
  }
  bool phys_desc() const { return info_.descending && !reverse_logical_; }
  bool keyed_recnos() const { return shape_ != TreeShape::BPlusLastUnkeyed; }
  void bump() { ++generation_; }
  // A page had to be read and the file turned out changed since the operation's other
  // pages were read: the operation is run again on fresh pages.
  Status stale_pages() {
    stale_ = true;
    return Status::io_error(info_.bag_path + ": Indexdatei wurde während des Lesens geändert");
  }
  // A reading operation between begin and end, again from the start while it meets
  // pages that another program changed under it.
  template <class F>
  Status reading(F&& f) {
    for (int attempt = 0;; ++attempt) {
      stale_ = false;
      MV_RETURN_IF_ERROR(begin(false));
      Status st = f();
      st = end(false, std::move(st));
      if (!stale_ || attempt >= 100) return st;
    }
  }

  OrderInfo info_;
  TreeShape shape_;
  bool reverse_logical_;  // CDX: descending orders are stored ascending, read backwards
  KeyCompare cmp_;
  std::string read_only_reason_;
  uint64_t generation_ = 1;
  bool foreign_collation_ = false;
  std::vector<Cursor::Frame> path_scratch_;
  // The leaf the last insert went into without a split, while the tree is unchanged
  // since (finger_gen_ == generation_): keys inserted in key order mostly land there.
  uint32_t finger_ = kNoPage;
  uint64_t finger_gen_ = 0;
  bool finger_ok_ = false;  // during an insert: the finger may be tried
  bool finger_rightmost_ = false;  // the finger leaf is the last leaf of the tree
  // Shared files: other programs may change the tree between two calls, so cursors
  // remember their entry (set by the family).
  bool track_cursors_ = false;
  bool stale_ = false;
  // The page cache's version (set by the family; none: SEEK keeps no views): pages and
  // what they hold stay where they are in memory while it is unchanged.
  const uint64_t* cache_version_ = nullptr;

 private:
  using Target = std::function<int(const uint8_t* key, uint32_t recno)>;
  template <class F>
  Status bplus_insert_with(F&& t, std::span<const uint8_t> key, uint32_t recno);
  template <class F>
  Status lower_bound_t(F&& t, Cursor& c);
  template <class F>
  bool insert_at_finger(F&& t, std::span<const uint8_t> key, uint32_t recno);
  Status phys_first(Cursor& c);
  Status phys_last(Cursor& c);
  // A step within a leaf page tells the record reached in `*recno` (when given).
  Status phys_next(Cursor& c, uint32_t* recno = nullptr);
  Status phys_prev(Cursor& c, uint32_t* recno = nullptr);
  Status descend_leftmost(Cursor& c, uint32_t id);
  Status descend_rightmost(Cursor& c, uint32_t id);
  // First entry with target(entry) >= 0 in stored order.
  Status lower_bound(const Target& t, Cursor& c);
  template <class Cmp>
  Status seek_down(const Cmp& cmp, Cursor& c, const uint8_t*& key, uint32_t& recno);
  Status settle_forward(Cursor& c);
  // Shared files: a cursor of an older generation is put back on its entry (`on` true)
  // or, when the entry is gone, on the first entry after it in stored order.
  Status reposition(Cursor& c, bool& on);
  // The cursor's path leads from the root to its remembered entry in the pages as they are now.
  bool path_holds(const Cursor& c);
  Status step_next(Cursor& c, uint32_t* recno);
  Status step_prev(Cursor& c, uint32_t* recno);
  void remember(Cursor& c);
  Status settle_backward(Cursor& c);
  Status insert_impl(std::span<const uint8_t> key, uint32_t recno, bool* inserted);
  Status remove_at(Cursor& c);
  Status btree_insert(std::span<const uint8_t> key, uint32_t recno);
  Status bplus_insert(std::span<const uint8_t> key, uint32_t recno);
  Status btree_fix_underflow(std::vector<Cursor::Frame>& path);
  Status bplus_after_change(const std::vector<Cursor::Frame>& path, bool removed_leaf);
  Status subtree_max(uint32_t id, std::string& key, uint32_t& recno);
  Status find_impl(std::span<const uint8_t> key, uint32_t recno, Cursor& c);
  // walk_runs, handing each run as `run(keys, recnos, n, stride)`; `keys_only`: recnos may
  // be nullptr and the keys of a leaf may lie `stride` bytes apart in the page as read.
  template <class F>
  Status walk_leaves(F&& run, bool keys_only);
  Status physical_fraction(const Cursor& c, double& at, double& width);
  // The interior keys in key order to `fn` (false stops), the leaves' ids in `leaves`;
  // `even` false (and the walk given up) when a leaf stands higher than the first.
  Status interior_keys(const std::function<bool(const uint8_t* key)>& fn, std::vector<uint32_t>& leaves, bool& even);
  // The depth of the leftmost leaf (0: the root is a leaf).
  Result<int> leftmost_leaf_level();
  Status check_rec(uint32_t id, int depth, void* state, std::string* max_key, uint32_t* max_rec);
  Status check_visit(const uint8_t* key, uint32_t recno, void* state);

  // ---- batch inserts (index_tree_batch.cpp)
  struct BatchRun;    // the keys of a batch in stored order
  struct BatchPiece;  // a page a changed page became, with the key its parent keeps of it
  // The keys of a batch that go to one child.
  struct BatchPart {
    size_t child;
    size_t lo, hi;
  };
  Status insert_keywise(const uint8_t* keys, const uint32_t* recnos, const uint32_t* order, size_t count);
  Status batch_slice(const BatchRun& b, size_t lo, size_t hi);
  Status batch_read(const BatchRun& b, uint32_t id, size_t lo, size_t hi, int depth);
  Status batch_apply(const BatchRun& b, uint32_t id, size_t lo, size_t hi, int depth, std::vector<BatchPiece>& out);
  Status batch_split(Node* n, long carry, uint32_t carry_rec, int depth, std::vector<BatchPiece>& out);
  void batch_merge(const Node& leaf, const BatchRun& b, size_t lo, size_t hi);
  Status batch_pack(const std::vector<uint32_t>& pages, uint32_t left, uint32_t right, std::vector<BatchPiece>& out);
  Status batch_parts(const Node& n, const BatchRun& b, size_t lo, size_t hi, std::vector<BatchPart>& out);
  int entry_vs_item(const uint8_t* e, uint32_t er, const uint8_t* k, uint32_t kr) const;
  int entry_vs_item(const uint8_t* e, uint32_t er, const BatchRun& b, size_t j) const;
  long pool_key(const uint8_t* k);
  // Keys the pieces of a running batch hand up, key_len each.
  std::vector<uint8_t> batch_keys_;
  // How the reading walk shared the batch out: the parts of each interior page it visited,
  // in visiting order, for the walk that changes the tree.
  std::vector<BatchPart> plan_;
  std::vector<size_t> plan_sizes_;
  size_t plan_at_ = 0, plan_node_ = 0;
  // The entries of a run of leaves being laid out anew: the first run_n_ of arrays that
  // only grow.
  std::vector<uint8_t> run_keys_;
  std::vector<uint32_t> run_recs_;
  size_t run_n_ = 0;
  void run_put(const uint8_t* keys, const uint32_t* recs, size_t n);
  // Room in the run's arrays for `need` entries in all.
  void run_room(size_t need);
  long up_key_ = -1;  // B-tree: the entry that went up after the last leaf laid out
  uint32_t up_rec_ = 0;
};

}  // namespace mv::index
