// Batches of keys put into a tree in one walk. The keys of a slice, sorted as the tree
// stores them, are shared out among the children of each page by that page's keys; a
// leaf takes all of its keys in one merge and, overfull, splits into as many pages as it
// needs; a page above takes the new pages of its children in one pass and splits the
// same way, up to a new root. A random key thus costs no descent from the root and no
// split of its own, and a page is read, changed and measured once per slice.
//
// The walk runs twice: first it only reads every page the change will take up (the
// leaves reached, the pages above them and, where pages are linked, each one's right
// neighbour), then it changes them from the cache. A page that cannot be read fails the
// slice before anything changed.
#include <algorithm>
#include <cstring>

#include "platform/table/index/index_tree.h"

namespace mv::index {

namespace {

// Keys per slice: the pages near the root are taken up once per slice, and a family that
// copies pages for undoing never holds copies of more than a slice's leaves. Random keys
// of one slice reach most leaves of a large order, so a leaf is laid out anew once per
// slice: fewer, larger slices lay out fewer leaves.
constexpr size_t kBatchSlice = 131072;

// Room for `count` entries and a few more, not for twice as many: pages keep arrays near
// their size (the next batch adds a few keys to most of them), which the allocator
// serves from lists of equal sizes.
void reserve_entries(Node& n, size_t count, size_t kl) {
  if (n.recnos.capacity() >= count) return;
  const size_t room = count + count / 8 + 4;
  n.keys.reserve(room * kl);
  n.recnos.reserve(room);
}

}  // namespace

struct TreeOrder::BatchRun {
  // The items copied out in stored order: the walks over the tree take them up in that
  // order, several times each, and read them from one stream instead of all over the
  // caller's arrays.
  std::vector<uint8_t> keys;
  std::vector<uint32_t> recnos;
  size_t kl;
  std::vector<uint64_t> heads;  // each item's key prefix (KeyCompare::prefix), in stored order
  bool plain = false;           // keys compare as bytes
  const uint8_t* key(size_t j) const { return keys.data() + j * kl; }
  uint32_t rec(size_t j) const { return recnos[j]; }
};

// The same for item j of a batch: mostly the key prefixes alone decide.
// Inlined where it is called: the merge calls it for every probe of every leaf.
[[gnu::always_inline]] inline int TreeOrder::entry_vs_item(const uint8_t* e, uint32_t er, const BatchRun& b,
                                                           size_t j) const {
  if (b.plain) {
    const int x = byte_order(e, b.key(j), b.kl);
    if (x) return phys_desc() ? -x : x;
    return shape_ == TreeShape::BPlusKeyedAll && er > b.rec(j) ? 1 : -1;
  }
  const uint64_t he = cmp_.prefix(e), hk = b.heads[j];
  if (he != hk) return (he < hk) != phys_desc() ? -1 : 1;
  return entry_vs_item(e, er, b.key(j), b.rec(j));
}

// What the parent keeps of a piece. B-tree: the key between the piece before and this
// one (none for the first). B+ trees: the piece's largest key, or (key < 0) none known, for
// the last piece of an interior page of a tree whose last child has no key, which keeps
// the key its parent had.
struct TreeOrder::BatchPiece {
  uint32_t id;
  long key;  // into batch_keys_, in keys
  uint32_t rec;
};


long TreeOrder::pool_key(const uint8_t* k) {
  const size_t kl = key_len();
  const long at = long(batch_keys_.size() / kl);
  batch_keys_.insert(batch_keys_.end(), k, k + kl);
  return at;
}

// Sign of (entry - item) in stored order. An entry equal to the item stands before it:
// equal keys keep the order in which they came, except where the record number orders
// them (every key of the tree carries it in its pages).
int TreeOrder::entry_vs_item(const uint8_t* e, uint32_t er, const uint8_t* k, uint32_t kr) const {
  const int x = phys_cmp(e, k, key_len());
  if (x) return x;
  if (shape_ == TreeShape::BPlusKeyedAll && er > kr) return 1;
  return -1;
}

Status TreeOrder::insert_batch(const uint8_t* keys, const uint32_t* recnos, const uint32_t* order, size_t count) {
  if (count == 0) return Status::ok();
  if (read_only()) return Status::read_only(info_.bag_path + ": " + read_only_reason_);
  if (info_.unique) return insert_keywise(keys, recnos, order, count);
  const size_t kl = key_len();
  BatchRun b{{}, {}, kl, {}};
  auto gather = [&](const uint32_t* seq) {
    b.keys.resize(count * kl);
    b.recnos.resize(count);
    for (size_t j = 0; j < count; ++j) {
      std::memcpy(b.keys.data() + j * kl, keys + size_t(seq[j]) * kl, kl);
      b.recnos[j] = recnos[seq[j]];
    }
  };
  gather(order);
  // The caller sorts by key: a descending order stores them the other way round. Equal
  // keys keep the caller's order, where the record number does not decide.
  const bool by_recno = shape_ == TreeShape::BPlusKeyedAll;
  auto before_at = [&](size_t x, size_t y) {
    const int c = phys_cmp(b.key(x), b.key(y), kl);
    if (c) return c < 0;
    return by_recno && b.rec(x) < b.rec(y);
  };
  bool sorted = true;
  for (size_t j = 1; j < count && sorted; ++j) sorted = !before_at(j, j - 1);
  if (!sorted) {
    std::vector<uint32_t> seq(order, order + count);
    auto before = [&](uint32_t x, uint32_t y) {
      const int c = phys_cmp(keys + size_t(x) * kl, keys + size_t(y) * kl, kl);
      if (c) return c < 0;
      return by_recno && recnos[x] < recnos[y];
    };
    std::stable_sort(seq.begin(), seq.end(), before);
    gather(seq.data());
  }
  b.plain = cmp_.plain_bytes(b.kl);
  if (!b.plain) {
    b.heads.resize(count);
    for (size_t j = 0; j < count; ++j) b.heads[j] = cmp_.prefix(b.key(j));
  }
  for (size_t from = 0; from < count; from += kBatchSlice) {
    MV_RETURN_IF_ERROR(begin(true));
    Status st = batch_slice(b, from, std::min(count, from + kBatchSlice));
    finger_ = kNoPage;
    if (st.is_ok()) bump();
    MV_RETURN_IF_ERROR(end(true, std::move(st)));
  }
  return Status::ok();
}

// Unique orders: each key is looked for before it goes in.
Status TreeOrder::insert_keywise(const uint8_t* keys, const uint32_t* recnos, const uint32_t* order, size_t count) {
  const size_t kl = key_len();
  constexpr size_t kSlice = 512;
  for (size_t from = 0; from < count; from += kSlice) {
    MV_RETURN_IF_ERROR(begin(true));
    Status st;
    for (size_t j = from; j < std::min(count, from + kSlice) && st.is_ok(); ++j) {
      const uint32_t i = order[j];
      finger_ok_ = finger_ != kNoPage && finger_gen_ == generation_;
      if (!finger_ok_) finger_ = kNoPage;
      st = insert_impl({keys + size_t(i) * kl, kl}, recnos[i], nullptr);
      finger_ok_ = false;
      if (st.is_ok()) bump();
      else finger_ = kNoPage;
      finger_gen_ = generation_;
    }
    MV_RETURN_IF_ERROR(end(true, std::move(st)));
  }
  return Status::ok();
}

Status TreeOrder::batch_slice(const BatchRun& b, size_t lo, size_t hi) {
  batch_keys_.clear();
  plan_.clear();
  plan_sizes_.clear();
  plan_at_ = plan_node_ = 0;
  MV_RETURN_IF_ERROR(batch_read(b, root(), lo, hi, 0));
  std::vector<BatchPiece> top;
  MV_RETURN_IF_ERROR(batch_apply(b, root(), lo, hi, 0, top));
  // The root split: a new root above its pieces, itself split while it holds too many.
  for (int guard = 0; top.size() > 1; ++guard) {
    if (guard > 48) return Status::corrupt(info_.bag_path + ": Indexbaum zu tief");
    MV_ASSIGN_OR_RETURN(Node * r, new_node(false));
    const size_t kl = key_len();
    for (size_t j = 0; j < top.size(); ++j) {
      r->kids.push_back(top[j].id);
      const bool keyed = shape_ == TreeShape::BTree          ? j > 0
                         : shape_ == TreeShape::BPlusKeyedAll ? true
                                                              : j + 1 < top.size();
      if (!keyed) continue;
      if (top[j].key < 0) return Status::corrupt(info_.bag_path + ": Schlüssel einer Indexseite fehlt");
      const uint8_t* k = batch_keys_.data() + size_t(top[j].key) * kl;
      r->keys.insert(r->keys.end(), k, k + kl);
      r->recnos.push_back(top[j].rec);
    }
    mark(*r);
    MV_RETURN_IF_ERROR(set_root(r->id));
    top.clear();
    MV_RETURN_IF_ERROR(batch_split(r, -1, 0, 0, top));
  }
  return Status::ok();
}

// The children of interior page n that items [lo, hi) go to, in order, each with its items,
// appended to `out`.
Status TreeOrder::batch_parts(const Node& n, const BatchRun& b, size_t lo, size_t hi, std::vector<BatchPart>& out) {
  const size_t kl = key_len();
  const size_t cnt = n.n();
  const bool keyed_all = shape_ == TreeShape::BPlusKeyedAll;
  if (keyed_all ? (n.kids.size() != cnt || cnt == 0) : n.kids.size() != cnt + 1)
    return Status::corrupt(info_.bag_path + ": Seite " + std::to_string(n.id) + ": Zahl der Verweise falsch");
  // Item j goes to the first child whose key stands after it (CDX: the last child when
  // none does; the others: the last child, which has no key).
  const size_t last_keyed = keyed_all ? cnt - 1 : cnt;
  size_t from = 0;
  for (size_t j = lo; j < hi;) {
    // Galloping from the child after the last one: a dense batch mostly goes on there.
    auto after_item = [&](size_t i) { return entry_vs_item(n.keys.data() + i * kl, n.recnos[i], b, j) > 0; };
    size_t l = from, h = last_keyed;
    for (size_t step = 1; l < h; step *= 2) {
      const size_t probe = l + step - 1;
      if (probe >= h) break;
      if (after_item(probe)) {
        h = probe;
        break;
      }
      l = probe + 1;
    }
    while (l < h) {
      const size_t mid = (l + h) / 2;
      if (after_item(mid)) h = mid;
      else l = mid + 1;
    }
    const size_t c = l;
    size_t e = hi;
    if (c < last_keyed) {
      // The items before the first that child c's key does not stand after: galloping,
      // as a child mostly takes a few of them.
      const uint8_t* ck = n.keys.data() + c * kl;
      const uint32_t cr = n.recnos[c];
      auto goes_here = [&](size_t k) { return entry_vs_item(ck, cr, b, k) > 0; };
      size_t ok = j, step = 1;
      while (ok + step < hi && goes_here(ok + step)) ok += step, step *= 2;
      size_t bad = std::min(hi, ok + step);
      while (bad - ok > 1) {
        const size_t mid = ok + (bad - ok) / 2;
        if (goes_here(mid)) ok = mid;
        else bad = mid;
      }
      e = ok + 1;
    }
    out.push_back({c, j, e});
    j = e;
    from = c + 1;
  }
  return Status::ok();
}

Status TreeOrder::batch_read(const BatchRun& b, uint32_t id, size_t lo, size_t hi, int depth) {
  if (depth > 48) return Status::corrupt(info_.bag_path + ": Indexbaum zu tief (Schleife?)");
  MV_ASSIGN_OR_RETURN(Node * n, load(id));
  // A page that splits gives its right neighbour a new left neighbour.
  if (shape_ == TreeShape::BPlusKeyedAll && n->right != kNoPage) MV_RETURN_IF_ERROR(load(n->right).status());
  if (n->leaf) return Status::ok();
  const size_t first = plan_.size();
  MV_RETURN_IF_ERROR(batch_parts(*n, b, lo, hi, plan_));
  // The walk that changes the tree visits the pages in this order again and takes the
  // same shares from the plan.
  const std::vector<BatchPart> parts(plan_.begin() + ptrdiff_t(first), plan_.end());
  plan_sizes_.push_back(parts.size());
  std::vector<uint32_t> ids;
  ids.reserve(parts.size() * 2);
  for (const BatchPart& p : parts) {
    ids.push_back(n->kids[p.child]);
    if (shape_ == TreeShape::BPlusKeyedAll && p.child + 1 < n->kids.size()) ids.push_back(n->kids[p.child + 1]);
  }
  prefetch(ids);
  for (const BatchPart& p : parts) MV_RETURN_IF_ERROR(batch_read(b, n->kids[p.child], p.lo, p.hi, depth + 1));
  return Status::ok();
}

void TreeOrder::run_room(size_t need) {
  const size_t kl = key_len();
  if (need <= run_recs_.size() && need * kl <= run_keys_.size()) return;
  const size_t room = std::max(need, 2 * run_recs_.size());
  run_keys_.resize(room * kl);
  run_recs_.resize(room);
}

void TreeOrder::run_put(const uint8_t* keys, const uint32_t* recs, size_t n) {
  const size_t kl = key_len();
  run_room(run_n_ + n);
  if (n == 1) {
    copy_key(run_keys_.data() + run_n_ * kl, keys, kl);
    run_recs_[run_n_] = *recs;
  } else if (n > 0) {
    std::memcpy(run_keys_.data() + run_n_ * kl, keys, n * kl);
    std::memcpy(run_recs_.data() + run_n_, recs, n * sizeof(uint32_t));
  }
  run_n_ += n;
}

// Appends the entries of `leaf` and items [lo, hi) to the run, in stored order.
void TreeOrder::batch_merge(const Node& leaf, const BatchRun& b, size_t lo, size_t hi) {
  const size_t kl = key_len();
  const size_t cnt = leaf.n();
  const uint8_t* keys = leaf.keys.data();
  const uint32_t* recs = leaf.recnos.data();
  // Room for all of them first: the entries then go in without a check each.
  run_room(run_n_ + cnt + (hi - lo));
  uint8_t* out_keys = run_keys_.data();
  uint32_t* out_recs = run_recs_.data();
  size_t at = run_n_;
  auto take = [&](size_t from, size_t to) {
    if (to == from) return;
    std::memcpy(out_keys + at * kl, keys + from * kl, (to - from) * kl);
    std::memcpy(out_recs + at, recs + from, (to - from) * sizeof(uint32_t));
    at += to - from;
  };
  size_t i = 0;
  for (size_t j = lo; j < hi; ++j) {
    auto after = [&](size_t m) { return entry_vs_item(keys + m * kl, recs[m], b, j) > 0; };
    // The entries before item j: up to the first one that stands after it.
    size_t l = i, h = cnt;
    while (l < h) {
      const size_t mid = (l + h) / 2;
      if (after(mid)) h = mid;
      else l = mid + 1;
    }
    take(i, l);
    i = l;
    copy_key(out_keys + at * kl, b.key(j), kl);
    out_recs[at++] = b.rec(j);
  }
  take(i, cnt);
  run_n_ = at;
}

// The run's entries laid out on as few leaves as hold them: the run's own pages first, in
// order, then new ones; pages left over are freed. Leaves of a fixed number of entries
// take equal shares; compressed leaves are filled in turn and the last two evened out.
// In a B-tree one entry between two leaves goes up instead. `left` and `right` are the
// run's neighbours on its level (linked pages).
Status TreeOrder::batch_pack(const std::vector<uint32_t>& pages, uint32_t left, uint32_t right,
                             std::vector<BatchPiece>& out) {
  const size_t kl = key_len();
  const size_t total = run_n_;
  const bool btree = shape_ == TreeShape::BTree;
  auto entry = [&](size_t i) { return run_keys_.data() + i * kl; };
  std::vector<uint32_t> ids;
  ids.reserve(pages.size() + 4);
  auto next_page = [&]() -> Result<Node*> {
    Node* n = nullptr;
    if (ids.size() < pages.size()) {
      MV_ASSIGN_OR_RETURN(n, load(pages[ids.size()]));
    } else {
      MV_ASSIGN_OR_RETURN(n, new_node(true));
    }
    ids.push_back(n->id);
    n->leaf = true;
    n->kids.clear();
    n->keys.clear();
    n->recnos.clear();
    n->bulk_bytes = 0;
    n->bulk_max_recno = 0;
    return n;
  };
  auto finish = [&](Node& n) {
    leaf_changed(n, -1);
    mark(n);
  };
  if (fixed_leaves()) {
    const size_t cap = bulk_leaf_capacity();
    const size_t k = btree ? (total + 1 + cap) / (cap + 1) : (total + cap - 1) / cap;
    const size_t entries = btree ? total - (k - 1) : total;  // on the leaves
    size_t at = 0;
    for (size_t p = 0; p < k; ++p) {
      const size_t share = entries / k + (p < entries % k ? 1 : 0);
      MV_ASSIGN_OR_RETURN(Node * n, next_page());
      reserve_entries(*n, share, kl);
      n->keys.assign(entry(at), entry(at + share));
      n->recnos.assign(run_recs_.begin() + ptrdiff_t(at), run_recs_.begin() + ptrdiff_t(at + share));
      at += share;
      finish(*n);
      BatchPiece piece{n->id, -1, 0};
      if (!btree) {
        piece.key = pool_key(node_key(*n, n->n() - 1));
        piece.rec = n->recnos.back();
      } else if (p > 0) {
        piece.key = up_key_;
        piece.rec = up_rec_;
      }
      out.push_back(piece);
      if (btree && p + 1 < k) {
        up_key_ = pool_key(entry(at));
        up_rec_ = run_recs_[at];
        ++at;
      }
    }
  } else {
    if (btree) return Status::not_supported(info_.bag_path + ": B-Baum mit komprimierten Blättern");
    Node* prev = nullptr;
    Node* n = nullptr;
    for (size_t at = 0; at < total;) {
      prev = n;
      MV_ASSIGN_OR_RETURN(n, next_page());
      at += bulk_leaf_fill(*n, entry(at), run_recs_.data() + at, total - at);
      if (n->n() == 0) return Status::invalid_argument(info_.bag_path + ": Schlüssel passt in keine Indexseite");
    }
    if (prev) {
      // The last leaf holds what was left: the last two share their entries evenly.
      const size_t was = prev->n();
      prev->keys.insert(prev->keys.end(), n->keys.begin(), n->keys.end());
      prev->recnos.insert(prev->recnos.end(), n->recnos.begin(), n->recnos.end());
      prev->sized = false;
      size_t m = split_point(*prev);
      if (m == 0 || m >= prev->n()) m = was;
      n->keys.assign(prev->keys.begin() + ptrdiff_t(m * kl), prev->keys.end());
      n->recnos.assign(prev->recnos.begin() + ptrdiff_t(m), prev->recnos.end());
      prev->keys.resize(m * kl);
      prev->recnos.resize(m);
    }
    for (uint32_t id : ids) {
      MV_ASSIGN_OR_RETURN(Node * piece, load(id));
      finish(*piece);
      out.push_back({id, pool_key(node_key(*piece, piece->n() - 1)), piece->recnos.back()});
    }
  }
  for (size_t p = ids.size(); p < pages.size(); ++p) MV_RETURN_IF_ERROR(free_node(pages[p]));
  if (shape_ == TreeShape::BPlusKeyedAll) {
    for (size_t p = 0; p < ids.size(); ++p) {
      MV_ASSIGN_OR_RETURN(Node * n, load(ids[p]));
      n->left = p ? ids[p - 1] : left;
      n->right = p + 1 < ids.size() ? ids[p + 1] : right;
    }
    if (right != kNoPage) {
      MV_ASSIGN_OR_RETURN(Node * rn, load(right));
      if (rn->left != ids.back()) {
        rn->left = ids.back();
        mark(*rn);
      }
    }
  }
  return Status::ok();
}

Status TreeOrder::batch_apply(const BatchRun& b, uint32_t id, size_t lo, size_t hi, int depth,
                              std::vector<BatchPiece>& out) {
  const size_t kl = key_len();
  MV_ASSIGN_OR_RETURN(Node * n, load(id));
  if (n->leaf) {  // the root
    run_n_ = 0;
    batch_merge(*n, b, lo, hi);
    return batch_pack({id}, n->left, n->right, out);
  }
  if (plan_node_ >= plan_sizes_.size()) return Status::corrupt(info_.bag_path + ": Indexbaum während des Einfügens verändert");
  const std::vector<BatchPart> parts(plan_.begin() + ptrdiff_t(plan_at_),
                                     plan_.begin() + ptrdiff_t(plan_at_ + plan_sizes_[plan_node_]));
  plan_at_ += plan_sizes_[plan_node_++];
  // Every leaf stands at one depth: the children are leaves when the first one reached is.
  MV_ASSIGN_OR_RETURN(Node * first, load(n->kids[parts.front().child]));
  const bool leaves_below = first->leaf;
  const size_t cnt = n->n();
  const size_t grow = parts.size() * 4;
  std::vector<uint8_t> nk;
  std::vector<uint32_t> nr, nkids;
  nk.reserve((cnt + grow) * kl);
  nr.reserve(cnt + grow);
  nkids.reserve(n->kids.size() + grow);
  auto put_key = [&](const uint8_t* k, uint32_t r) {
    nk.insert(nk.end(), k, k + kl);
    nr.push_back(r);
  };
  // A run of leaves may take up every child and become a few pages more.
  std::vector<BatchPiece> sub;
  std::vector<uint32_t> pages;
  sub.reserve(n->kids.size() + 4);
  pages.reserve(n->kids.size());
  size_t pi = 0;
  for (size_t c = 0; c < n->kids.size();) {
    if (pi >= parts.size() || parts[pi].child != c) {
      const uint8_t* own = c < cnt ? n->keys.data() + c * kl : nullptr;
      if (shape_ == TreeShape::BPlusKeyedAll) put_key(own, n->recnos[c]);
      nkids.push_back(n->kids[c]);
      if (shape_ != TreeShape::BPlusKeyedAll && own) put_key(own, n->recnos[c]);
      ++c;
      continue;
    }
    // Children c..e become the pieces in `sub`: one child page and what it split into,
    // or a run of neighbouring leaves that all take keys, laid out anew together.
    size_t e = c;
    sub.clear();
    if (!leaves_below) {
      MV_RETURN_IF_ERROR(batch_apply(b, n->kids[c], parts[pi].lo, parts[pi].hi, depth + 1, sub));
      ++pi;
    } else {
      while (pi + (e - c) + 1 < parts.size() && parts[pi + (e - c) + 1].child == e + 1) ++e;
      run_n_ = 0;
      pages.clear();
      uint32_t left = kNoPage, right = kNoPage;
      for (size_t x = c; x <= e; ++x, ++pi) {
        MV_ASSIGN_OR_RETURN(Node * leaf, load(n->kids[x]));
        if (!leaf->leaf) return Status::corrupt(info_.bag_path + ": Blätter in verschiedener Tiefe");
        if (x == c) left = leaf->left;
        right = leaf->right;
        batch_merge(*leaf, b, parts[pi].lo, parts[pi].hi);
        pages.push_back(leaf->id);
        // B-tree: the key between two leaves of the run joins them.
        if (shape_ == TreeShape::BTree && x < e) {
          run_put(n->keys.data() + x * kl, n->recnos.data() + x, 1);
        }
      }
      MV_RETURN_IF_ERROR(batch_pack(pages, left, right, sub));
    }
    const uint8_t* own = e < cnt ? n->keys.data() + e * kl : nullptr;
    const uint32_t own_rec = e < cnt ? n->recnos[e] : 0;
    for (size_t j = 0; j < sub.size(); ++j) {
      const uint8_t* pk = sub[j].key >= 0 ? batch_keys_.data() + size_t(sub[j].key) * kl : nullptr;
      if (shape_ == TreeShape::BTree) {
        if (j > 0) {
          if (!pk) return Status::corrupt(info_.bag_path + ": Schlüssel einer Indexseite fehlt");
          put_key(pk, sub[j].rec);
        }
        nkids.push_back(sub[j].id);
      } else if (shape_ == TreeShape::BPlusKeyedAll) {
        if (!pk) return Status::corrupt(info_.bag_path + ": Schlüssel einer Indexseite fehlt");
        put_key(pk, sub[j].rec);
        nkids.push_back(sub[j].id);
      } else {
        nkids.push_back(sub[j].id);
        if (j + 1 < sub.size()) {
          if (!pk) return Status::corrupt(info_.bag_path + ": Schlüssel einer Indexseite fehlt");
          put_key(pk, sub[j].rec);
        } else if (own) {
          // The child's key stays an upper bound of its last piece; a leaf's own largest
          // key is kept exactly, as a single insert keeps it.
          if (pk) put_key(pk, sub[j].rec);
          else put_key(own, own_rec);
        }
      }
    }
    if (shape_ == TreeShape::BTree && own) put_key(own, own_rec);
    c = e + 1;
  }
  n->keys.swap(nk);
  n->recnos.swap(nr);
  n->kids.swap(nkids);
  mark(*n);
  return batch_split(n, -1, 0, depth, out);
}

// Splits page n in halves until every piece fits, the pieces to `out` in key order.
// `carry` is a key the parent keeps for n that the split passes on: in a B-tree the key
// before n (to n's first piece), in a tree whose last child has no key the upper bound of
// an interior page (to its last piece).
Status TreeOrder::batch_split(Node* n, long carry, uint32_t carry_rec, int depth, std::vector<BatchPiece>& out) {
  const size_t kl = key_len();
  const bool keyed_all = shape_ == TreeShape::BPlusKeyedAll;
  // B-tree pages and the interior pages of the last-unkeyed tree hand their middle key up.
  const bool moves_up = shape_ == TreeShape::BTree || (!n->leaf && shape_ == TreeShape::BPlusLastUnkeyed);
  if (fits(*n)) {
    BatchPiece p{n->id, carry, carry_rec};
    if (!moves_up && n->n() > 0) {
      p.key = pool_key(node_key(*n, n->n() - 1));
      p.rec = n->recnos.back();
    }
    out.push_back(p);
    return Status::ok();
  }
  if (depth > 96) return Status::corrupt(info_.bag_path + ": Indexseite lässt sich nicht teilen");
  const size_t cnt = n->n();
  size_t m = cnt / 2;
  if (!moves_up) {
    m = split_point(*n);
    if (m == 0 || m >= cnt) m = cnt / 2;
  }
  MV_ASSIGN_OR_RETURN(Node * right, new_node(n->leaf));
  long up = -1;
  uint32_t up_rec = 0;
  const size_t from = moves_up ? m + 1 : m;
  if (moves_up) {
    up = pool_key(node_key(*n, m));
    up_rec = n->recnos[m];
  }
  reserve_entries(*right, cnt - from, kl);
  right->keys.assign(n->keys.begin() + ptrdiff_t(from * kl), n->keys.end());
  right->recnos.assign(n->recnos.begin() + ptrdiff_t(from), n->recnos.end());
  n->keys.resize(m * kl);
  n->recnos.resize(m);
  if (!n->leaf) {
    const size_t kf = moves_up ? m + 1 : m;
    right->kids.assign(n->kids.begin() + ptrdiff_t(kf), n->kids.end());
    n->kids.resize(kf);
  }
  if (keyed_all) {
    right->right = n->right;
    right->left = n->id;
    if (n->right != kNoPage) {
      MV_ASSIGN_OR_RETURN(Node * rn, load(n->right));
      rn->left = right->id;
      mark(*rn);
    }
    n->right = right->id;
  }
  if (n->leaf) {
    leaf_changed(*n, -1);
    leaf_changed(*right, -1);
  }
  mark(*n);
  mark(*right);
  if (shape_ == TreeShape::BTree) {
    MV_RETURN_IF_ERROR(batch_split(n, carry, carry_rec, depth + 1, out));
    return batch_split(right, up, up_rec, depth + 1, out);
  }
  if (moves_up) {  // an interior page of the last-unkeyed tree
    MV_RETURN_IF_ERROR(batch_split(n, up, up_rec, depth + 1, out));
    return batch_split(right, carry, carry_rec, depth + 1, out);
  }
  MV_RETURN_IF_ERROR(batch_split(n, -1, 0, depth + 1, out));
  return batch_split(right, -1, 0, depth + 1, out);
}

}  // namespace mv::index
