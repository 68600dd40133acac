#include "platform/table/index/index_tree.h"

#include <algorithm>
#include <cstring>
#include <numeric>

namespace mv::index {

namespace {

void node_insert(Node& n, size_t pos, size_t kl, const uint8_t* key, uint32_t recno) {
  // A page read from the file holds exactly its keys. It grows by a few keys at a time,
  // not by doubling: a page's arrays stay near their size, and the allocator serves
  // such sizes from its exact-size lists instead of searching among large free blocks.
  if (n.recnos.size() == n.recnos.capacity()) {
    const size_t more = std::max<size_t>(4, n.recnos.size() / 8);
    n.keys.reserve(n.keys.size() + more * kl);
    n.recnos.reserve(n.recnos.size() + more);
  }
  n.keys.insert(n.keys.begin() + ptrdiff_t(pos * kl), key, key + kl);
  n.recnos.insert(n.recnos.begin() + ptrdiff_t(pos), recno);
}

void node_erase(Node& n, size_t pos, size_t kl) {
  n.keys.erase(n.keys.begin() + ptrdiff_t(pos * kl), n.keys.begin() + ptrdiff_t((pos + 1) * kl));
  n.recnos.erase(n.recnos.begin() + ptrdiff_t(pos));
}

void node_set(Node& n, size_t pos, size_t kl, const uint8_t* key, uint32_t recno) {
  std::memcpy(n.keys.data() + pos * kl, key, kl);
  n.recnos[pos] = recno;
}

template <class F>
size_t first_at_least(const Node& n, size_t count, size_t kl, F&& t) {
  size_t lo = 0, hi = count;
  while (lo < hi) {
    size_t mid = (lo + hi) / 2;
    if (t(n.keys.data() + mid * kl, n.recnos[mid]) >= 0) hi = mid;
    else lo = mid + 1;
  }
  return lo;
}

// Sign of a - b over n bytes as unsigned bytes (memcmp's answer), in eight-byte words
// and without a call: SEEK compares a few dozen short keys per search.
inline int bytes_cmp(const uint8_t* a, const uint8_t* b, size_t n) {
  for (; n >= 8; a += 8, b += 8, n -= 8) {
    uint64_t x, y;
    std::memcpy(&x, a, 8);
    std::memcpy(&y, b, 8);
    if (x != y) return __builtin_bswap64(x) < __builtin_bswap64(y) ? -1 : 1;
  }
  for (; n > 0; ++a, ++b, --n)
    if (*a != *b) return *a < *b ? -1 : 1;
  return 0;
}

}  // namespace

// ---- walking ----------------------------------------------------------------------

Status TreeOrder::descend_leftmost(Cursor& c, uint32_t id) {
  for (int guard = 0; guard < 64; ++guard) {
    MV_ASSIGN_OR_RETURN(Node * n, load(id));
    c.path.push_back({id, 0});
    if (n->leaf) return Status::ok();
    if (n->kids.empty()) return Status::corrupt(info_.bag_path + ": Indexseite ohne Verweise");
    id = n->kids[0];
  }
  return Status::corrupt(info_.bag_path + ": Indexbaum zu tief (Schleife?)");
}

Status TreeOrder::descend_rightmost(Cursor& c, uint32_t id) {
  for (int guard = 0; guard < 64; ++guard) {
    MV_ASSIGN_OR_RETURN(Node * n, load(id));
    if (n->leaf) {
      c.path.push_back({id, int(n->n()) - 1});
      return Status::ok();
    }
    if (n->kids.empty()) return Status::corrupt(info_.bag_path + ": Indexseite ohne Verweise");
    c.path.push_back({id, int(n->kids.size()) - 1});
    id = n->kids.back();
  }
  return Status::corrupt(info_.bag_path + ": Indexbaum zu tief (Schleife?)");
}

// The top frame stands past the end of its page: move to the next entry.
Status TreeOrder::settle_forward(Cursor& c) {
  for (uint64_t guard = 0; guard < (uint64_t(1) << 32); ++guard) {
    if (!c.valid()) return Status::ok();
    Cursor::Frame& f = c.path.back();
    MV_ASSIGN_OR_RETURN(Node * top, load(f.id));
    if (shape_ == TreeShape::BTree) {
      // Every frame is an item position; coming up from child k makes item k next.
      if (f.idx < int(top->n())) return Status::ok();
      c.path.pop_back();
      continue;
    }
    if (top->leaf) {
      if (f.idx < int(top->n())) return Status::ok();
      c.path.pop_back();
      continue;
    }
    int nc = f.idx + 1;
    if (nc < int(top->kids.size())) {
      f.idx = nc;
      MV_RETURN_IF_ERROR(descend_leftmost(c, top->kids[size_t(nc)]));
    } else {
      c.path.pop_back();
    }
  }
  return Status::corrupt(info_.bag_path + ": Indexbaum nicht durchlaufbar");
}

// The top frame stands before the start of its page: move to the previous entry.
Status TreeOrder::settle_backward(Cursor& c) {
  for (uint64_t guard = 0; guard < (uint64_t(1) << 32); ++guard) {
    if (!c.valid()) return Status::ok();
    Cursor::Frame& f = c.path.back();
    MV_ASSIGN_OR_RETURN(Node * top, load(f.id));
    if (shape_ == TreeShape::BTree) {
      if (f.idx >= 0 && f.idx < int(top->n())) return Status::ok();
      c.path.pop_back();
      if (c.valid()) c.path.back().idx -= 1;  // the item left of the child we came from
      continue;
    }
    if (top->leaf) {
      if (f.idx >= 0 && f.idx < int(top->n())) return Status::ok();
      c.path.pop_back();
      continue;
    }
    int pc = f.idx - 1;
    if (pc >= 0) {
      f.idx = pc;
      MV_RETURN_IF_ERROR(descend_rightmost(c, top->kids[size_t(pc)]));
    } else {
      c.path.pop_back();
    }
  }
  return Status::corrupt(info_.bag_path + ": Indexbaum nicht durchlaufbar");
}

Status TreeOrder::phys_first(Cursor& c) {
  c.clear();
  MV_RETURN_IF_ERROR(descend_leftmost(c, root()));
  return settle_forward(c);
}

Status TreeOrder::phys_last(Cursor& c) {
  c.clear();
  MV_RETURN_IF_ERROR(descend_rightmost(c, root()));
  return settle_backward(c);
}

Status TreeOrder::phys_next(Cursor& c, uint32_t* recno) {
  if (!c.valid()) return Status::ok();
  MV_ASSIGN_OR_RETURN(Node * top, load(c.path.back().id));
  if (top->leaf && c.path.back().idx + 1 < int(top->n())) {
    const int i = ++c.path.back().idx;  // within the leaf: nothing to settle
    if (recno) *recno = top->recnos[size_t(i)];
    return Status::ok();
  }
  if (shape_ == TreeShape::BTree && !top->leaf) {
    int k = c.path.back().idx;
    if (size_t(k + 1) >= top->kids.size()) return Status::corrupt(info_.bag_path + ": Verweis fehlt");
    c.path.back().idx = k + 1;
    MV_RETURN_IF_ERROR(descend_leftmost(c, top->kids[size_t(k + 1)]));
    return settle_forward(c);
  }
  c.path.back().idx++;
  return settle_forward(c);
}

Status TreeOrder::phys_prev(Cursor& c, uint32_t* recno) {
  if (!c.valid()) return Status::ok();
  MV_ASSIGN_OR_RETURN(Node * top, load(c.path.back().id));
  if (top->leaf && c.path.back().idx >= 1 && c.path.back().idx <= int(top->n())) {
    const int i = --c.path.back().idx;  // within the leaf: nothing to settle
    if (recno) *recno = top->recnos[size_t(i)];
    return Status::ok();
  }
  if (shape_ == TreeShape::BTree && !top->leaf) {
    int k = c.path.back().idx;
    if (k < 0 || size_t(k) >= top->kids.size()) return Status::corrupt(info_.bag_path + ": Verweis fehlt");
    MV_RETURN_IF_ERROR(descend_rightmost(c, top->kids[size_t(k)]));
    return settle_backward(c);
  }
  c.path.back().idx--;
  return settle_backward(c);
}

const uint8_t* TreeOrder::key_at(const Cursor& c) {
  if (!c.valid()) return nullptr;
  auto n = load(c.path.back().id);
  if (!n.is_ok()) return nullptr;
  int i = c.path.back().idx;
  if (i < 0 || size_t(i) >= (*n)->n()) return nullptr;
  return node_key(**n, size_t(i));
}

uint32_t TreeOrder::recno_at(const Cursor& c) {
  if (!c.valid()) return 0;
  auto n = load(c.path.back().id);
  if (!n.is_ok()) return 0;
  int i = c.path.back().idx;
  if (i < 0 || size_t(i) >= (*n)->n()) return 0;
  return (*n)->recnos[size_t(i)];
}

template <class F>
Status TreeOrder::lower_bound_t(F&& t, Cursor& c) {
  c.clear();
  uint32_t id = root();
  const size_t kl = key_len();
  for (int guard = 0; guard < 64; ++guard) {
    MV_ASSIGN_OR_RETURN(Node * n, load(id));
    size_t pos = first_at_least(*n, n->n(), kl, t);
    if (n->leaf) {
      c.path.push_back({id, int(pos)});
      if (pos < n->n()) return Status::ok();
      return settle_forward(c);
    }
    if (n->kids.empty()) return Status::corrupt(info_.bag_path + ": Indexseite ohne Verweise");
    if (pos >= n->kids.size()) pos = n->kids.size() - 1;
    c.path.push_back({id, int(pos)});
    id = n->kids[pos];
  }
  return Status::corrupt(info_.bag_path + ": Indexbaum zu tief (Schleife?)");
}

Status TreeOrder::lower_bound(const Target& t, Cursor& c) { return lower_bound_t(t, c); }

// lower_bound_t by key alone, for SEEK. Most of a search's time is spent waiting for
// memory, page after page: each page's header, then its keys, then its numbers. An
// interior page therefore keeps, for each child a search went into, where that child's
// keys, numbers and own such views lie (Node::kid_views), so the next search goes from
// view to view without reading the pages' headers or looking them up in the cache. The
// views hold while the cache's version does: it moves with every page put, dropped or
// replaced and with every change of the tree. `key` and `recno` tell the entry reached
// when it stands in the leaf searched (else `key` stays nullptr and the cursor tells).
template <class Cmp>
Status TreeOrder::seek_down(const Cmp& cmp, Cursor& c, const uint8_t*& key, uint32_t& recno) {
  c.clear();
  key = nullptr;
  recno = 0;
  uint32_t id = root();
  const size_t kl = key_len();
  const Node* parent = nullptr;        // the page the search comes from
  Node::KidView* views = nullptr;      // its views, known to hold now
  size_t via = 0;
  auto holding = [&](const Node* n) -> Node::KidView* {
    Node::KidViews& kv = n->kid_views;
    return cache_version_ && kv.version == *cache_version_ && kv.views.size() == n->kids.size() ? kv.views.data()
                                                                                               : nullptr;
  };
  for (int guard = 0; guard < 64; ++guard) {
    if (parent && !views) views = holding(parent);
    Node::KidView v;
    Node::KidView* here = nullptr;
    if (views && views[via].node) {
      here = &views[via];
      v = *here;
    } else {
      MV_ASSIGN_OR_RETURN(Node * n, load(id));  // may move the version: nothing above holds
      v.node = n;
      v.keys = n->keys.data();
      v.n = uint32_t(n->n());
      v.kids = n->leaf ? Node::KidView::kLeaf : uint32_t(n->kids.size());
      v.nums = n->leaf ? n->recnos.data() : n->kids.data();
      v.views = n->leaf ? nullptr : holding(n);
      if (parent && cache_version_) {
        Node::KidViews& kv = parent->kid_views;
        if (kv.version != *cache_version_ || kv.views.size() != parent->kids.size()) {
          kv.views.assign(parent->kids.size(), {});
          kv.version = *cache_version_;
        }
        here = &kv.views[via];
        *here = v;
      }
    }
    const bool leaf = v.kids == Node::KidView::kLeaf;
    const size_t cnt = v.n;
    const uint8_t* keys = v.keys;
    // The numbers are read only once the search is done: asked for now, they come from
    // memory while it runs.
    if (const size_t nums = leaf ? cnt : v.kids) {
      const uint32_t early = v.nums[nums / 2];
      asm volatile("" : : "r"(early));
    }
    size_t lo = 0, hi = cnt;
    while (lo < hi) {
      const size_t mid = (lo + hi) / 2;
      if (cmp(keys + mid * kl) >= 0) hi = mid;
      else lo = mid + 1;
    }
    if (leaf) {
      c.path.push_back({id, int(lo)});
      if (lo < cnt) {
        key = keys + lo * kl;
        recno = v.nums[lo];
        return Status::ok();
      }
      return settle_forward(c);
    }
    if (v.kids == 0) return Status::corrupt(info_.bag_path + ": Indexseite ohne Verweise");
    const size_t pos = std::min(lo, size_t(v.kids) - 1);
    c.path.push_back({id, int(pos)});
    id = v.nums[pos];
    // The page's own views, made to hold now when they do not: its children's views
    // follow from the view of the page itself from now on.
    views = v.views;
    if (!views && cache_version_) {
      Node::KidViews& kv = v.node->kid_views;
      if (kv.version != *cache_version_ || kv.views.size() != v.kids) {
        kv.views.assign(v.kids, {});
        kv.version = *cache_version_;
      }
      views = kv.views.data();
      if (here) here->views = views;
    }
    parent = v.node;
    via = pos;
  }
  return Status::corrupt(info_.bag_path + ": Indexbaum zu tief (Schleife?)");
}

// ---- public navigation ------------------------------------------------------------

void TreeOrder::remember(Cursor& c) {
  if (!track_cursors_) return;
  c.gen = generation_;
  c.key.clear();
  c.recno = 0;
  if (!c.valid()) return;
  auto n = load(c.path.back().id);
  const int i = c.path.back().idx;
  if (!n.is_ok() || i < 0 || size_t(i) >= (*n)->n()) return;
  const uint8_t* k = node_key(**n, size_t(i));
  c.key.assign(k, k + key_len());
  c.recno = (*n)->recnos[size_t(i)];
}

bool TreeOrder::path_holds(const Cursor& c) {
  if (!c.valid() || c.path.front().id != root()) return false;
  for (size_t i = 0; i < c.path.size(); ++i) {
    auto n = load(c.path[i].id);
    if (!n.is_ok()) return false;
    const int idx = c.path[i].idx;
    if (i + 1 < c.path.size()) {
      if ((*n)->leaf || idx < 0 || size_t(idx) >= (*n)->kids.size() || (*n)->kids[size_t(idx)] != c.path[i + 1].id)
        return false;
    } else if (idx < 0 || size_t(idx) >= (*n)->n() || (*n)->recnos[size_t(idx)] != c.recno ||
               std::memcmp(node_key(**n, size_t(idx)), c.key.data(), key_len()) != 0) {
      return false;
    }
  }
  return true;
}

Status TreeOrder::reposition(Cursor& c, bool& on) {
  on = false;
  if (c.key.size() != key_len()) {
    c.clear();
    return Status::ok();
  }
  // Pages read again that still lead to the entry: the cursor stands where it stood
  // (also in orders whose keys cannot be searched for, their collation being unknown).
  if (path_holds(c)) {
    on = true;
    return Status::ok();
  }
  MV_RETURN_IF_ERROR(find_impl(c.key, c.recno, c));
  if (c.valid()) {
    on = true;
    return Status::ok();
  }
  // The entry is gone: the first one after it, without going back over equal keys
  // where their record numbers do not tell their places.
  const uint8_t* k = c.key.data();
  const size_t kl = key_len();
  const uint32_t recno = c.recno;
  if (shape_ == TreeShape::BPlusKeyedAll)
    return lower_bound_t(
        [&](const uint8_t* e, uint32_t r) {
          int x = phys_cmp(e, k, kl);
          if (x) return x;
          return r <= recno ? -1 : 1;
        },
        c);
  return lower_bound_t([&](const uint8_t* e, uint32_t) { return phys_cmp(e, k, kl) > 0 ? 1 : -1; }, c);
}

Status TreeOrder::step_next(Cursor& c, uint32_t* recno) {
  if (track_cursors_ && c.valid() && c.gen != generation_) {
    bool on = false;
    MV_RETURN_IF_ERROR(reposition(c, on));
    if (!on) return Status::ok();  // already on the entry after it
  }
  return phys_next(c, recno);
}

Status TreeOrder::step_prev(Cursor& c, uint32_t* recno) {
  if (track_cursors_ && c.valid() && c.gen != generation_) {
    bool on = false;
    MV_RETURN_IF_ERROR(reposition(c, on));
    if (!on && !c.valid()) return phys_last(c);  // nothing after it: the last entry is before it
  }
  return phys_prev(c, recno);
}

Status TreeOrder::first(Cursor& c) {
  return reading([&]() -> Status {
    MV_RETURN_IF_ERROR(reverse_logical_ ? phys_last(c) : phys_first(c));
    remember(c);
    return Status::ok();
  });
}

Status TreeOrder::last(Cursor& c) {
  return reading([&]() -> Status {
    MV_RETURN_IF_ERROR(reverse_logical_ ? phys_first(c) : phys_last(c));
    remember(c);
    return Status::ok();
  });
}

Status TreeOrder::next(Cursor& c) {
  return reading([&]() -> Status {
    MV_RETURN_IF_ERROR(reverse_logical_ ? step_prev(c, nullptr) : step_next(c, nullptr));
    remember(c);
    return Status::ok();
  });
}

Status TreeOrder::prev(Cursor& c) {
  return reading([&]() -> Status {
    MV_RETURN_IF_ERROR(reverse_logical_ ? step_next(c, nullptr) : step_prev(c, nullptr));
    remember(c);
    return Status::ok();
  });
}

Status TreeOrder::next(Cursor& c, uint32_t& recno) {
  constexpr uint32_t kUnknown = 0xFFFFFFFFu;
  return reading([&]() -> Status {
    recno = kUnknown;
    MV_RETURN_IF_ERROR(reverse_logical_ ? step_prev(c, &recno) : step_next(c, &recno));
    if (recno == kUnknown) recno = recno_at(c);
    remember(c);
    return Status::ok();
  });
}

Status TreeOrder::prev(Cursor& c, uint32_t& recno) {
  constexpr uint32_t kUnknown = 0xFFFFFFFFu;
  return reading([&]() -> Status {
    recno = kUnknown;
    MV_RETURN_IF_ERROR(reverse_logical_ ? step_next(c, &recno) : step_prev(c, &recno));
    if (recno == kUnknown) recno = recno_at(c);
    remember(c);
    return Status::ok();
  });
}

Status TreeOrder::seek(std::span<const uint8_t> key, Cursor& c, bool& found) {
  uint32_t recno = 0;
  return seek(key, c, found, recno);
}

Status TreeOrder::seek(std::span<const uint8_t> key, Cursor& c, bool& found, uint32_t& recno) {
  found = false;
  recno = 0;
  return reading([&]() -> Status {
    found = false;
    recno = 0;
    size_t m = std::min(key.size(), key_len());
    if (info_.keydef.type != KeyType::Character && m < key_len())
      return Status::invalid_argument("Suchbegriff hat nicht die Länge des Schlüssels");
    const uint8_t* k = key.data();
    if (!reverse_logical_) {
      const uint8_t* e = nullptr;
      const bool bytes = cmp_.plain_bytes(m);
      if (bytes && !phys_desc())
        MV_RETURN_IF_ERROR(seek_down([&](const uint8_t* x) { return bytes_cmp(x, k, m); }, c, e, recno));
      else if (bytes)
        MV_RETURN_IF_ERROR(seek_down([&](const uint8_t* x) { return -bytes_cmp(x, k, m); }, c, e, recno));
      else
        MV_RETURN_IF_ERROR(seek_down([&](const uint8_t* x) { return phys_cmp(x, k, m); }, c, e, recno));
      if (e) {
        // The common case: the entry stands in the leaf just searched.
        found = (bytes ? bytes_cmp(e, k, m) : key_cmp(e, k, m)) == 0;
        remember(c);
        return Status::ok();
      }
    } else {
      // Stored ascending, read backwards: the last entry whose prefix is <= key.
      MV_RETURN_IF_ERROR(lower_bound_t(
          [&](const uint8_t* e, uint32_t) { return key_cmp(e, k, m) > 0 ? 1 : -1; }, c));
      if (c.valid()) MV_RETURN_IF_ERROR(phys_prev(c));
      else MV_RETURN_IF_ERROR(phys_last(c));
    }
    const uint8_t* e = key_at(c);
    found = e && key_cmp(e, k, m) == 0;
    recno = recno_at(c);
    remember(c);
    return Status::ok();
  });
}

Status TreeOrder::find(std::span<const uint8_t> key, uint32_t recno, Cursor& c) {
  return reading([&]() -> Status {
    MV_RETURN_IF_ERROR(find_impl(key, recno, c));
    remember(c);
    return Status::ok();
  });
}

Status TreeOrder::find_impl(std::span<const uint8_t> key, uint32_t recno, Cursor& c) {
  {
    const size_t kl = key_len();
    if (key.size() < kl) return Status::invalid_argument("Schlüssel zu kurz");
    const uint8_t* k = key.data();
    if (shape_ == TreeShape::BPlusKeyedAll) {
      MV_RETURN_IF_ERROR(lower_bound_t(
          [&](const uint8_t* e, uint32_t r) {
            int x = phys_cmp(e, k, kl);
            if (x) return x;
            return r < recno ? -1 : (r > recno ? 1 : 0);
          },
          c));
      if (recno_at(c) == recno && key_at(c) && phys_cmp(key_at(c), k, kl) == 0) return Status::ok();
    }
    // Equal keys need not stand in record order (trees maintained by other programs).
    MV_RETURN_IF_ERROR(lower_bound_t([&](const uint8_t* e, uint32_t) { return phys_cmp(e, k, kl); }, c));
    for (uint64_t guard = 0; c.valid() && guard < (uint64_t(1) << 40); ++guard) {
      const uint8_t* e = key_at(c);
      if (!e || phys_cmp(e, k, kl) != 0) break;
      if (recno_at(c) == recno) return Status::ok();
      MV_RETURN_IF_ERROR(phys_next(c));
    }
    c.clear();
    return Status::ok();
  }
}

// ---- maintenance ------------------------------------------------------------------

Status TreeOrder::insert(std::span<const uint8_t> key, uint32_t recno, bool* inserted) {
  if (inserted) *inserted = false;
  if (read_only()) return Status::read_only(info_.bag_path + ": " + read_only_reason_);
  if (key.size() < key_len()) return Status::invalid_argument("Schlüssel zu kurz");
  MV_RETURN_IF_ERROR(begin(true));
  finger_ok_ = finger_ != kNoPage && finger_gen_ == generation_;
  if (!finger_ok_) finger_ = kNoPage;  // the tree changed since: that leaf may be gone
  Status st = insert_impl(key, recno, inserted);  // leaves finger_ on its leaf, or kNoPage
  finger_ok_ = false;
  if (st.is_ok()) bump();
  if (!st.is_ok()) finger_ = kNoPage;
  finger_gen_ = generation_;
  return end(true, std::move(st));
}

// Inserts into the finger leaf when the key falls strictly inside it (between two of its
// entries, so no key above changes), or after its end where it is the rightmost leaf of
// a tree that keeps no key for its last child, and the leaf still fits afterwards.
template <class F>
bool TreeOrder::insert_at_finger(F&& t, std::span<const uint8_t> key, uint32_t recno) {
  if (!finger_ok_) return false;
  auto r = load(finger_);
  if (!r.is_ok()) return false;
  Node* n = *r;
  size_t cnt = n->n();
  if (!n->leaf || cnt < 2) return false;
  const size_t kl = key_len();
  if (t(node_key(*n, 0), n->recnos[0]) >= 0) return false;
  size_t pos = cnt;
  if (t(node_key(*n, cnt - 1), n->recnos[cnt - 1]) >= 0) {
    pos = first_at_least(*n, cnt, kl, t);
  } else if (finger_rightmost_ && shape_ != TreeShape::BPlusKeyedAll) {
    // After the largest key of the tree: nothing above names this leaf's last key.
  } else {
    // Past its end: keys in ascending runs go on in the right neighbour (linked leaves).
    if (n->right == kNoPage || reverse_logical_ || phys_desc()) return false;
    auto rr = load(n->right);
    if (!rr.is_ok()) return false;
    n = *rr;
    cnt = n->n();
    if (!n->leaf || cnt < 2) return false;
    if (t(node_key(*n, 0), n->recnos[0]) >= 0 || t(node_key(*n, cnt - 1), n->recnos[cnt - 1]) < 0) return false;
    finger_ = n->id;
    finger_rightmost_ = false;
    pos = first_at_least(*n, cnt, kl, t);
  }
  const bool sized = n->sized;
  const uint32_t size_cache = n->size_cache, max_cache = n->max_cache;
  node_insert(*n, pos, kl, key.data(), recno);
  leaf_changed(*n, long(pos));
  if (fits(*n)) {
    mark(*n);
    return true;
  }
  // Full: undone exactly, the long way splits it.
  node_erase(*n, pos, kl);
  n->sized = sized;
  n->size_cache = size_cache;
  n->max_cache = max_cache;
  return false;
}

Status TreeOrder::insert_impl(std::span<const uint8_t> key, uint32_t recno, bool* inserted) {
  const size_t kl = key_len();
  if (info_.unique) {
    Cursor c;
    MV_RETURN_IF_ERROR(
        lower_bound_t([&](const uint8_t* e, uint32_t) { return phys_cmp(e, key.data(), kl); }, c));
    const uint8_t* e = key_at(c);
    if (e && phys_cmp(e, key.data(), kl) == 0) return Status::ok();  // the first record keeps it
  }
  if (shape_ == TreeShape::BTree) MV_RETURN_IF_ERROR(btree_insert(key, recno));
  else MV_RETURN_IF_ERROR(bplus_insert(key, recno));
  if (inserted) *inserted = true;
  return Status::ok();
}

Status TreeOrder::btree_insert(std::span<const uint8_t> key, uint32_t recno) {
  const size_t kl = key_len();
  const uint8_t* k = key.data();
  // Behind every equal key: equal keys keep the order in which they came.
  auto t = [&](const uint8_t* e, uint32_t) { return phys_cmp(e, k, kl) > 0 ? 1 : -1; };
  if (insert_at_finger(t, key, recno)) return Status::ok();
  finger_ = kNoPage;
  std::vector<Cursor::Frame>& path = path_scratch_;
  path.clear();
  uint32_t id = root();
  bool rightmost = true;  // every step went to the last child
  for (int guard = 0;; ++guard) {
    if (guard > 64) return Status::corrupt(info_.bag_path + ": Indexbaum zu tief");
    MV_ASSIGN_OR_RETURN(Node * n, load(id));
    size_t pos = first_at_least(*n, n->n(), kl, t);
    path.push_back({id, int(pos)});
    if (n->leaf) {
      node_insert(*n, pos, kl, k, recno);
      mark(*n);
      if (fits(*n)) finger_ = id, finger_rightmost_ = rightmost;
      break;
    }
    if (pos >= n->kids.size()) return Status::corrupt(info_.bag_path + ": Verweis fehlt");
    rightmost = rightmost && pos + 1 == n->kids.size();
    id = n->kids[pos];
  }
  // Split upwards while a page holds too many keys.
  for (int level = int(path.size()) - 1; level >= 0; --level) {
    MV_ASSIGN_OR_RETURN(Node * n, load(path[size_t(level)].id));
    if (fits(*n)) break;
    const size_t cnt = n->n();
    const size_t m = cnt / 2;
    MV_ASSIGN_OR_RETURN(Node * right, new_node(n->leaf));
    MV_ASSIGN_OR_RETURN(n, load(path[size_t(level)].id));  // the cache may have moved
    std::vector<uint8_t> median(node_key(*n, m), node_key(*n, m) + kl);
    uint32_t median_rec = n->recnos[m];
    right->keys.assign(n->keys.begin() + ptrdiff_t((m + 1) * kl), n->keys.end());
    right->recnos.assign(n->recnos.begin() + ptrdiff_t(m + 1), n->recnos.end());
    n->keys.resize(m * kl);
    n->recnos.resize(m);
    if (!n->leaf) {
      right->kids.assign(n->kids.begin() + ptrdiff_t(m + 1), n->kids.end());
      n->kids.resize(m + 1);
    }
    mark(*n);
    mark(*right);
    if (level == 0) {
      MV_ASSIGN_OR_RETURN(Node * r, new_node(false));
      node_insert(*r, 0, kl, median.data(), median_rec);
      r->kids = {path[0].id, right->id};
      mark(*r);
      MV_RETURN_IF_ERROR(set_root(r->id));
      break;
    }
    MV_ASSIGN_OR_RETURN(Node * p, load(path[size_t(level - 1)].id));
    size_t c = size_t(path[size_t(level - 1)].idx);
    node_insert(*p, c, kl, median.data(), median_rec);
    p->kids.insert(p->kids.begin() + ptrdiff_t(c + 1), right->id);
    mark(*p);
  }
  return Status::ok();
}

Status TreeOrder::subtree_max(uint32_t id, std::string& key, uint32_t& recno) {
  for (int guard = 0; guard < 64; ++guard) {
    MV_ASSIGN_OR_RETURN(Node * n, load(id));
    if (n->leaf) {
      if (n->n() == 0) return Status::corrupt(info_.bag_path + ": leere Indexseite");
      key.assign(reinterpret_cast<const char*>(node_key(*n, n->n() - 1)), key_len());
      recno = n->recnos.back();
      return Status::ok();
    }
    if (n->kids.empty()) return Status::corrupt(info_.bag_path + ": Indexseite ohne Verweise");
    id = n->kids.back();
  }
  return Status::corrupt(info_.bag_path + ": Indexbaum zu tief");
}

Status TreeOrder::bplus_insert(std::span<const uint8_t> key, uint32_t recno) {
  const size_t kl = key_len();
  const uint8_t* k = key.data();
  if (shape_ == TreeShape::BPlusKeyedAll) {
    return bplus_insert_with(
        [&](const uint8_t* e, uint32_t r) {
          int x = phys_cmp(e, k, kl);
          if (x) return x;
          return r < recno ? -1 : (r > recno ? 1 : 0);
        },
        key, recno);
  }
  return bplus_insert_with([&](const uint8_t* e, uint32_t) { return phys_cmp(e, k, kl) > 0 ? 1 : -1; }, key,
                           recno);
}

template <class F>
Status TreeOrder::bplus_insert_with(F&& t, std::span<const uint8_t> key, uint32_t recno) {
  const size_t kl = key_len();
  if (insert_at_finger(t, key, recno)) return Status::ok();
  finger_ = kNoPage;
  std::vector<Cursor::Frame>& path = path_scratch_;
  path.clear();
  uint32_t id = root();
  bool rightmost = true;  // every step went to the last child
  for (int guard = 0;; ++guard) {
    if (guard > 64) return Status::corrupt(info_.bag_path + ": Indexbaum zu tief");
    MV_ASSIGN_OR_RETURN(Node * n, load(id));
    size_t pos = first_at_least(*n, n->n(), kl, t);
    if (n->leaf) {
      node_insert(*n, pos, kl, key.data(), recno);
      leaf_changed(*n, long(pos));
      mark(*n);
      // Most inserts land inside a page that still fits: nothing above changes. Nor
      // after the end of the rightmost leaf where the last child has no key.
      const bool unkeyed_end = rightmost && shape_ == TreeShape::BPlusLastUnkeyed && path.size() > 0;
      if ((pos + 1 < n->n() || unkeyed_end) && fits(*n)) {
        finger_ = id;
        finger_rightmost_ = rightmost;
        return Status::ok();
      }
      path.push_back({id, int(pos)});
      break;
    }
    if (n->kids.empty()) return Status::corrupt(info_.bag_path + ": Indexseite ohne Verweise");
    if (pos >= n->kids.size()) pos = n->kids.size() - 1;
    rightmost = rightmost && pos + 1 == n->kids.size();
    path.push_back({id, int(pos)});
    id = n->kids[pos];
  }
  return bplus_after_change(path, false);
}

// After a leaf changed: split what overflows, drop what is empty, and keep every
// interior key equal to the largest key of its child.
Status TreeOrder::bplus_after_change(const std::vector<Cursor::Frame>& path, bool) {
  const size_t kl = key_len();
  const bool keyed_all = shape_ == TreeShape::BPlusKeyedAll;
  for (int level = int(path.size()) - 1; level >= 0; --level) {
    const uint32_t id = path[size_t(level)].id;
    MV_ASSIGN_OR_RETURN(Node * n, load(id));
    const bool empty = n->leaf ? n->n() == 0 : n->kids.empty();
    if (empty && level > 0) {
      // Unlink and free the page, then take its entry out of the parent.
      if (keyed_all) {
        uint32_t l = n->left, r = n->right;
        if (l != kNoPage) {
          MV_ASSIGN_OR_RETURN(Node * ln, load(l));
          ln->right = r;
          mark(*ln);
        }
        if (r != kNoPage) {
          MV_ASSIGN_OR_RETURN(Node * rn, load(r));
          rn->left = l;
          mark(*rn);
        }
      }
      MV_RETURN_IF_ERROR(free_node(id));
      MV_ASSIGN_OR_RETURN(Node * p, load(path[size_t(level - 1)].id));
      size_t c = size_t(path[size_t(level - 1)].idx);
      p->kids.erase(p->kids.begin() + ptrdiff_t(c));
      if (c < p->n()) node_erase(*p, c, kl);
      else if (p->n() > 0) node_erase(*p, p->n() - 1, kl);  // the new last child loses its key
      mark(*p);
      continue;
    }
    if (empty) {  // the root lost everything: an empty leaf again
      leaf_changed(*n, -1);
      n->leaf = true;
      n->kids.clear();
      n->keys.clear();
      n->recnos.clear();
      mark(*n);
      break;
    }
    if (!fits(*n)) {
      const size_t cnt = n->n();
      size_t m = (n->leaf || keyed_all) ? split_point(*n) : cnt / 2;
      if (m == 0 || m >= cnt) m = cnt / 2;
      MV_ASSIGN_OR_RETURN(Node * right, new_node(n->leaf));
      MV_ASSIGN_OR_RETURN(n, load(id));
      std::string up_key;
      uint32_t up_rec = 0;
      if (n->leaf || keyed_all) {
        right->keys.assign(n->keys.begin() + ptrdiff_t(m * kl), n->keys.end());
        right->recnos.assign(n->recnos.begin() + ptrdiff_t(m), n->recnos.end());
        n->keys.resize(m * kl);
        n->recnos.resize(m);
        if (!n->leaf) {
          right->kids.assign(n->kids.begin() + ptrdiff_t(m), n->kids.end());
          n->kids.resize(m);
        } else {
          leaf_changed(*n, -1);
          leaf_changed(*right, -1);
        }
        up_key.assign(reinterpret_cast<const char*>(node_key(*n, m - 1)), kl);
        up_rec = n->recnos[m - 1];
      } else {
        // n keys, n + 1 children: key m (the largest of the left half) moves up.
        up_key.assign(reinterpret_cast<const char*>(node_key(*n, m)), kl);
        up_rec = n->recnos[m];
        right->keys.assign(n->keys.begin() + ptrdiff_t((m + 1) * kl), n->keys.end());
        right->recnos.assign(n->recnos.begin() + ptrdiff_t(m + 1), n->recnos.end());
        right->kids.assign(n->kids.begin() + ptrdiff_t(m + 1), n->kids.end());
        n->keys.resize(m * kl);
        n->recnos.resize(m);
        n->kids.resize(m + 1);
      }
      if (keyed_all) {
        right->right = n->right;
        right->left = id;
        if (n->right != kNoPage) {
          MV_ASSIGN_OR_RETURN(Node * rn, load(n->right));
          rn->left = right->id;
          mark(*rn);
        }
        n->right = right->id;
      }
      mark(*n);
      mark(*right);
      const uint32_t right_id = right->id;
      if (level == 0) {
        MV_ASSIGN_OR_RETURN(Node * r, new_node(false));
        node_insert(*r, 0, kl, reinterpret_cast<const uint8_t*>(up_key.data()), up_rec);
        r->kids = {id, right_id};
        if (keyed_all) {
          std::string mk;
          uint32_t mr = 0;
          MV_RETURN_IF_ERROR(subtree_max(right_id, mk, mr));
          MV_ASSIGN_OR_RETURN(r, load(r->id));
          node_insert(*r, 1, kl, reinterpret_cast<const uint8_t*>(mk.data()), mr);
        }
        mark(*r);
        MV_RETURN_IF_ERROR(set_root(r->id));
        break;
      }
      MV_ASSIGN_OR_RETURN(Node * p, load(path[size_t(level - 1)].id));
      size_t c = size_t(path[size_t(level - 1)].idx);
      node_insert(*p, c, kl, reinterpret_cast<const uint8_t*>(up_key.data()), up_rec);
      p->kids.insert(p->kids.begin() + ptrdiff_t(c + 1), right_id);
      if (keyed_all) {
        // The right half's largest entry may be new (an insert at the end of the child).
        MV_ASSIGN_OR_RETURN(Node * rn, load(right_id));
        std::vector<uint8_t> rk(node_key(*rn, rn->n() - 1), node_key(*rn, rn->n() - 1) + kl);
        uint32_t rr = rn->recnos.back();
        MV_ASSIGN_OR_RETURN(p, load(path[size_t(level - 1)].id));
        node_set(*p, c + 1, kl, rk.data(), rr);
      }
      mark(*p);
      continue;
    }
    if (level == 0) break;
    // Keep the parent's key of this child equal to the child's largest key.
    MV_ASSIGN_OR_RETURN(Node * p, load(path[size_t(level - 1)].id));
    size_t c = size_t(path[size_t(level - 1)].idx);
    const bool last_child = c + 1 == p->kids.size();
    if (c < p->n()) {
      std::string mk;
      uint32_t mr = 0;
      MV_RETURN_IF_ERROR(subtree_max(id, mk, mr));
      MV_ASSIGN_OR_RETURN(p, load(path[size_t(level - 1)].id));
      bool same = std::memcmp(node_key(*p, c), mk.data(), kl) == 0 && (!keyed_all || p->recnos[c] == mr);
      if (!same) {
        node_set(*p, c, kl, reinterpret_cast<const uint8_t*>(mk.data()), keyed_all ? mr : 0);
        mark(*p);
      } else if (!last_child) {
        break;
      }
      if (!last_child) break;
    }
    // The last child's largest key is the parent's: go on upwards.
  }
  // A root with a single child hands over to it.
  for (int guard = 0; guard < 64; ++guard) {
    MV_ASSIGN_OR_RETURN(Node * r, load(root()));
    if (r->leaf || r->kids.size() != 1) break;
    uint32_t old = r->id, kid = r->kids[0];
    MV_RETURN_IF_ERROR(set_root(kid));
    MV_RETURN_IF_ERROR(free_node(old));
  }
  return Status::ok();
}

Status TreeOrder::remove(std::span<const uint8_t> key, uint32_t recno) {
  if (read_only()) return Status::read_only(info_.bag_path + ": " + read_only_reason_);
  if (key.size() < key_len()) return Status::invalid_argument("Schlüssel zu kurz");
  MV_RETURN_IF_ERROR(begin(true));
  Status st = [&]() -> Status {
    Cursor c;
    MV_RETURN_IF_ERROR(find_impl(key, recno, c));
    if (!c.valid())
      return Status::not_found(info_.bag_path + ": Schlüssel von Satz " + std::to_string(recno) +
                               " fehlt in " + info_.name);
    return remove_at(c);
  }();
  if (st.is_ok()) bump();
  return end(true, std::move(st));
}

Status TreeOrder::remove_at(Cursor& c) {
  const size_t kl = key_len();
  if (shape_ != TreeShape::BTree) {
    MV_ASSIGN_OR_RETURN(Node * leaf, load(c.path.back().id));
    const size_t at = size_t(c.path.back().idx);
    node_erase(*leaf, at, kl);
    leaf_changed(*leaf, -1);
    mark(*leaf);
    if (at < leaf->n() && fits(*leaf)) return Status::ok();  // neither empty nor a new largest key
    return bplus_after_change(c.path, true);
  }
  MV_ASSIGN_OR_RETURN(Node * n, load(c.path.back().id));
  const size_t k = size_t(c.path.back().idx);
  if (n->leaf) {
    node_erase(*n, k, kl);
    mark(*n);
  } else {
    // Replace the interior key by its predecessor, the largest key of child k.
    const size_t level = c.path.size() - 1;
    const uint32_t interior = n->id;
    MV_RETURN_IF_ERROR(descend_rightmost(c, n->kids[k]));
    MV_ASSIGN_OR_RETURN(Node * leaf, load(c.path.back().id));
    if (leaf->n() == 0) return Status::corrupt(info_.bag_path + ": leere Indexseite");
    std::vector<uint8_t> pk(node_key(*leaf, leaf->n() - 1), node_key(*leaf, leaf->n() - 1) + kl);
    uint32_t pr = leaf->recnos.back();
    node_erase(*leaf, leaf->n() - 1, kl);
    mark(*leaf);
    MV_ASSIGN_OR_RETURN(n, load(interior));
    node_set(*n, k, kl, pk.data(), pr);
    mark(*n);
    c.path[level].idx = int(k);
  }
  return btree_fix_underflow(c.path);
}

// A page left without keys borrows one through its parent from a sibling, or merges
// with a sibling that has only one; the root hands over to its only child.
Status TreeOrder::btree_fix_underflow(std::vector<Cursor::Frame>& path) {
  const size_t kl = key_len();
  for (int level = int(path.size()) - 1; level > 0; --level) {
    MV_ASSIGN_OR_RETURN(Node * n, load(path[size_t(level)].id));
    if (n->n() > 0) break;
    MV_ASSIGN_OR_RETURN(Node * p, load(path[size_t(level - 1)].id));
    const size_t c = size_t(path[size_t(level - 1)].idx);
    Node* ls = nullptr;
    Node* rs = nullptr;
    if (c > 0) {
      MV_ASSIGN_OR_RETURN(ls, load(p->kids[c - 1]));
    }
    if (c + 1 < p->kids.size()) {
      MV_ASSIGN_OR_RETURN(rs, load(p->kids[c + 1]));
    }
    if (ls && ls->n() >= 2) {
      node_insert(*n, 0, kl, node_key(*p, c - 1), p->recnos[c - 1]);
      if (!n->leaf) {
        n->kids.insert(n->kids.begin(), ls->kids.back());
        ls->kids.pop_back();
      }
      node_set(*p, c - 1, kl, node_key(*ls, ls->n() - 1), ls->recnos.back());
      node_erase(*ls, ls->n() - 1, kl);
      mark(*n), mark(*p), mark(*ls);
      break;
    }
    if (rs && rs->n() >= 2) {
      node_insert(*n, n->n(), kl, node_key(*p, c), p->recnos[c]);
      if (!n->leaf) {
        n->kids.push_back(rs->kids.front());
        rs->kids.erase(rs->kids.begin());
      }
      node_set(*p, c, kl, node_key(*rs, 0), rs->recnos[0]);
      node_erase(*rs, 0, kl);
      mark(*n), mark(*p), mark(*rs);
      break;
    }
    if (ls) {
      node_insert(*ls, ls->n(), kl, node_key(*p, c - 1), p->recnos[c - 1]);
      if (!n->leaf) ls->kids.push_back(n->kids[0]);
      node_erase(*p, c - 1, kl);
      p->kids.erase(p->kids.begin() + ptrdiff_t(c));
      mark(*ls), mark(*p);
      MV_RETURN_IF_ERROR(free_node(path[size_t(level)].id));
      continue;
    }
    if (rs) {
      node_insert(*rs, 0, kl, node_key(*p, c), p->recnos[c]);
      if (!n->leaf) rs->kids.insert(rs->kids.begin(), n->kids[0]);
      node_erase(*p, c, kl);
      p->kids.erase(p->kids.begin() + ptrdiff_t(c));
      mark(*rs), mark(*p);
      MV_RETURN_IF_ERROR(free_node(path[size_t(level)].id));
      continue;
    }
    break;
  }
  MV_ASSIGN_OR_RETURN(Node * r, load(root()));
  if (!r->leaf && r->n() == 0 && r->kids.size() == 1) {
    uint32_t old = r->id, kid = r->kids[0];
    MV_RETURN_IF_ERROR(set_root(kid));
    MV_RETURN_IF_ERROR(free_node(old));
  }
  return Status::ok();
}

}  // namespace mv::index
