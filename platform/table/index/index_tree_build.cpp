// Bulk build, counting, the structural check and collation detection of TreeOrder.
#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <memory>
#include <numeric>

#include "platform/base/bytes.h"
#include "platform/table/index/collation_fit.h"
#include "platform/table/index/index_tree.h"

namespace mv::index {

namespace {

void append_entry(Node& n, size_t kl, const uint8_t* key, uint32_t recno) {
  n.keys.insert(n.keys.end(), key, key + kl);
  n.recnos.push_back(recno);
}

// An entry while ties of equal leading bytes are broken: the key's eight bytes at the
// current offset, as a number that orders as they do.
struct Word {
  uint64_t w;
  uint32_t rec, i;
};

uint64_t word_at(const uint8_t* key, size_t kl, size_t off) {
  if (off + 8 <= kl) return get_be64(key + off);
  uint64_t w = 0;
  for (size_t k = 0; k < 8; ++k) w = (w << 8) | (off + k < kl ? key[off + k] : 0);
  return w;
}

// Entries whose first `off` bytes are equal, by the rest of the key, then by record number.
void sort_by_words(Word* v, size_t n, const uint8_t* kb, size_t kl, size_t off, bool desc) {
  for (size_t j = 0; j < n; ++j) {
    const uint64_t w = word_at(kb + size_t(v[j].i) * kl, kl, off);
    v[j].w = desc ? ~w : w;
  }
  std::sort(v, v + n, [](const Word& x, const Word& y) { return x.w != y.w ? x.w < y.w : x.rec < y.rec; });
  if (off + 8 >= kl) return;
  for (size_t s = 0; s < n;) {
    size_t e = s + 1;
    while (e < n && v[e].w == v[s].w) ++e;
    if (e - s > 1) sort_by_words(v + s, e - s, kb, kl, off + 8, desc);
    s = e;
  }
}

}  // namespace

// Entries by key, then by record number, into `order`: a radix sort on each key's prefix
// (a number that orders keys as the comparison does, or ties them), then the entries of
// one prefix by the whole key. No comparison of whole keys for most entries, and none
// through an index into the key bytes.
void sort_entries(std::vector<uint32_t>& order, const uint8_t* kb, size_t kl, const std::vector<uint32_t>& recnos,
                  const KeyCompare& cmp, bool desc) {
  struct Item {
    uint64_t head;
    uint32_t i;
  };
  const size_t n = recnos.size();
  // Filled below: no zeroing of two arrays as large as the keys.
  std::unique_ptr<Item[]> a_store(new Item[n]), b_store(new Item[n]);
  Item* a = a_store.get();
  Item* b = b_store.get();
  std::vector<std::array<uint32_t, 256>> counts(8);
  for (auto& c : counts) c.fill(0);
  for (size_t i = 0; i < n; ++i) {
    const uint64_t h = cmp.prefix(kb + i * kl);
    a[i] = {desc ? ~h : h, uint32_t(i)};
    for (int d = 0; d < 8; ++d) ++counts[size_t(d)][(a[i].head >> (8 * d)) & 0xFF];
  }
  for (int d = 0; d < 8; ++d) {
    auto& c = counts[size_t(d)];
    if (n == 0 || c[(a[0].head >> (8 * d)) & 0xFF] == n) continue;  // every entry has the same byte here
    uint32_t at = 0;
    for (uint32_t& x : c) {
      const uint32_t k = x;
      x = at;
      at += k;
    }
    for (size_t i = 0; i < n; ++i) b[c[(a[i].head >> (8 * d)) & 0xFF]++] = a[i];
    std::swap(a, b);
  }
  // Equal prefixes: the whole key decides, then the record number. The sort above is
  // stable, so entries in ascending record order are done where the prefix is the key.
  const bool by_record = std::is_sorted(recnos.begin(), recnos.end());
  const bool settled = cmp.prefix_decides() && by_record;
  auto less = [&](const Item& x, const Item& y) {
    int r = cmp(kb + size_t(x.i) * kl, kb + size_t(y.i) * kl, kl);
    if (r) return desc ? r > 0 : r < 0;
    return recnos[x.i] < recnos[y.i];
  };
  // Keys compared as bytes: ties are broken eight bytes at a time, each a number, so a
  // large group of one prefix (keys that start alike: a place name, a padded number) is
  // sorted without a byte comparison per pair.
  const bool by_words = cmp.plain_bytes(kl) && kl > 8;
  std::vector<Word> words;
  for (size_t s = 0; s < n;) {
    size_t e = s + 1;
    while (e < n && a[e].head == a[s].head) ++e;
    if (e - s > 1 && !settled) {
      if (by_words) {
        words.resize(e - s);
        for (size_t j = s; j < e; ++j) words[j - s] = {0, recnos[a[j].i], a[j].i};
        sort_by_words(words.data(), words.size(), kb, kl, 8, desc);
        for (size_t j = s; j < e; ++j) a[j].i = words[j - s].i;
      } else {
        std::sort(a + s, a + e, less);
      }
    }
    s = e;
  }
  for (size_t i = 0; i < n; ++i) order[i] = a[i].i;
}

bool TreeOrder::bulk_leaf_add(Node& leaf, const uint8_t* key, uint32_t recno) {
  if (leaf.n() >= bulk_leaf_capacity()) return false;
  append_entry(leaf, key_len(), key, recno);
  return true;
}

Status TreeOrder::build(std::vector<uint8_t>&& keys, std::vector<uint32_t>&& recnos) {
  if (read_only()) return Status::read_only(info_.bag_path + ": " + read_only_reason_);
  const size_t kl = key_len();
  if (keys.size() != recnos.size() * kl) return Status::invalid_argument("Schlüssellängen passen nicht");
  MV_RETURN_IF_ERROR(begin(true));
  Status st = [&]() -> Status {
    const size_t count = recnos.size();
    std::vector<uint32_t> order(count);
    sort_entries(order, keys.data(), kl, recnos, cmp_, phys_desc());
    const uint8_t* kb = keys.data();
    if (info_.unique && count > 1) {
      size_t w = 1;
      for (size_t i = 1; i < count; ++i) {
        if (cmp_(kb + size_t(order[w - 1]) * kl, kb + size_t(order[i]) * kl, kl) != 0) order[w++] = order[i];
      }
      order.resize(w);
    }
    std::vector<std::vector<Node>> levels;
    levels.emplace_back();
    const size_t icap = std::max<size_t>(2, bulk_interior_capacity());

    if (shape_ != TreeShape::BTree) {
      std::vector<Node>& leaves = levels.back();
      leaves.emplace_back();
      for (uint32_t i : order) {
        if (!bulk_leaf_add(leaves.back(), kb + size_t(i) * kl, recnos[i])) {
          const size_t had = leaves.back().n();
          leaves.emplace_back();
          leaves.back().keys.reserve(had * kl);  // the next leaf likely holds as many
          leaves.back().recnos.reserve(had);
          if (!bulk_leaf_add(leaves.back(), kb + size_t(i) * kl, recnos[i]))
            return Status::invalid_argument(info_.bag_path + ": Schlüssel passt in keine Indexseite");
        }
      }
      for (Node& n : leaves) n.bulk_bytes = 0;
      // The largest entry of every page of the level below.
      std::vector<std::pair<const uint8_t*, uint32_t>> maxes;
      for (const Node& n : leaves)
        maxes.push_back(n.n() ? std::make_pair(node_key(n, n.n() - 1), n.recnos.back())
                              : std::make_pair(static_cast<const uint8_t*>(nullptr), 0u));
      const bool keyed_all = shape_ == TreeShape::BPlusKeyedAll;
      while (levels.back().size() > 1) {
        std::vector<Node> up;
        std::vector<std::pair<const uint8_t*, uint32_t>> up_max;
        const size_t below = levels.back().size();
        const size_t per = keyed_all ? icap : icap + 1;  // children per page
        size_t pages = (below + per - 1) / per;
        size_t base = below / pages, extra = below % pages, at = 0;
        for (size_t p = 0; p < pages; ++p) {
          size_t take = base + (p < extra ? 1 : 0);
          Node n;
          n.leaf = false;
          for (size_t j = 0; j < take; ++j, ++at) {
            n.kids.push_back(uint32_t(at));
            if (keyed_all || j + 1 < take) append_entry(n, kl, maxes[at].first, keyed_all ? maxes[at].second : 0);
          }
          up_max.push_back(maxes[at - 1]);
          up.push_back(std::move(n));
        }
        levels.push_back(std::move(up));
        maxes = std::move(up_max);
      }
    } else {
      // B-tree: pages of at most `cap` keys; the key between two pages moves up.
      const size_t cap = std::max<size_t>(2, bulk_leaf_capacity());
      std::vector<std::pair<const uint8_t*, uint32_t>> items;
      items.reserve(order.size());
      for (uint32_t i : order) items.push_back({kb + size_t(i) * kl, recnos[i]});
      std::vector<uint32_t> children;  // indices into the level below; empty for leaves
      bool leaf_level = true;
      for (;;) {
        std::vector<Node>& lvl = levels.back();
        const size_t n_items = items.size();
        if (n_items <= cap) {
          Node n;
          n.leaf = leaf_level;
          for (auto& it : items) append_entry(n, kl, it.first, it.second);
          if (!leaf_level) n.kids = children;
          lvl.push_back(std::move(n));
          break;
        }
        size_t pages = (n_items + 1 + cap) / (cap + 1);
        size_t content = n_items - (pages - 1);
        size_t base = content / pages, extra = content % pages;
        std::vector<std::pair<const uint8_t*, uint32_t>> seps;
        std::vector<uint32_t> up_children;
        size_t at = 0, kid = 0;
        for (size_t p = 0; p < pages; ++p) {
          size_t take = base + (p < extra ? 1 : 0);
          Node n;
          n.leaf = leaf_level;
          n.keys.reserve(take * kl);
          n.recnos.reserve(take);
          for (size_t j = 0; j < take; ++j, ++at) {
            append_entry(n, kl, items[at].first, items[at].second);
            if (!leaf_level) n.kids.push_back(children[kid++]);
          }
          if (!leaf_level) n.kids.push_back(children[kid++]);
          up_children.push_back(uint32_t(lvl.size()));
          lvl.push_back(std::move(n));
          if (p + 1 < pages) seps.push_back(items[at++]);
        }
        items = std::move(seps);
        children = std::move(up_children);
        leaf_level = false;
        levels.emplace_back();
      }
    }
    return write_bulk(levels);
  }();
  if (st.is_ok()) bump();
  return end(true, std::move(st));
}

Status TreeOrder::clear() { return build({}, {}); }

// ---- counting, checking, collation --------------------------------------------------

Result<uint64_t> TreeOrder::key_count() {
  uint64_t total = 0;
  Status st = reading([&]() -> Status {
    total = 0;
    std::vector<std::pair<uint32_t, int>> stack{{root(), 0}};
    std::unordered_map<uint32_t, bool> seen;  // a page reached twice means a damaged tree
    while (!stack.empty()) {
      auto [id, depth] = stack.back();
      stack.pop_back();
      if (depth > 48 || !seen.emplace(id, true).second)
        return Status::corrupt(info_.bag_path + ": Indexbaum nicht durchlaufbar (Seite " + std::to_string(id) + ")");
      MV_ASSIGN_OR_RETURN(Node * n, load(id));
      if (n->leaf || shape_ == TreeShape::BTree) total += n->n();
      if (!n->leaf)
        for (uint32_t k : n->kids) stack.push_back({k, depth + 1});
    }
    return Status::ok();
  });
  MV_RETURN_IF_ERROR(st);
  return total;
}

Status TreeOrder::walk_physical(const std::function<bool(const uint8_t*, uint32_t)>& fn) {
  uint64_t told = 0;  // a walk started again (the file changed under it) goes on after these
  return reading([&]() -> Status {
    Cursor c;
    MV_RETURN_IF_ERROR(phys_first(c));
    uint32_t ahead_of = kNoPage;  // the page whose children were last read ahead
    for (uint64_t at = 0; c.valid(); ++at) {
      // Entering the children of another page: they are read together.
      if (c.path.size() >= 2 && c.path[c.path.size() - 2].id != ahead_of) {
        const Cursor::Frame& f = c.path[c.path.size() - 2];
        ahead_of = f.id;
        auto p = load(f.id);
        if (p.is_ok() && f.idx >= 0 && size_t(f.idx) < (*p)->kids.size())
          prefetch(std::vector<uint32_t>((*p)->kids.begin() + f.idx, (*p)->kids.end()));
      }
      if (at >= told) {
        ++told;
        if (!fn(key_at(c), recno_at(c))) break;
      }
      MV_RETURN_IF_ERROR(phys_next(c));
    }
    return Status::ok();
  });
}

Result<int> TreeOrder::leftmost_leaf_level() {
  int level = 0;
  for (uint32_t id = root();; ++level) {
    if (level > 48) return Status::corrupt(info_.bag_path + ": Indexbaum zu tief (Schleife?)");
    MV_ASSIGN_OR_RETURN(Node * n, load(id));
    if (n->leaf) return level;
    if (n->kids.empty()) return Status::corrupt(info_.bag_path + ": Indexseite ohne Verweise");
    id = n->kids[0];
  }
}

Status TreeOrder::tree_pages(std::vector<uint32_t>& out) {
  out.clear();
  // Pages one level above the leftmost leaf list leaves only.
  MV_ASSIGN_OR_RETURN(const int leaf_level, leftmost_leaf_level());
  std::unordered_map<uint32_t, bool> seen;
  std::vector<std::pair<uint32_t, int>> stack{{root(), 0}};
  while (!stack.empty()) {
    auto [id, depth] = stack.back();
    stack.pop_back();
    if (depth > 48 || !seen.emplace(id, true).second)
      return Status::corrupt(info_.bag_path + ": Indexbaum nicht durchlaufbar (Seite " + std::to_string(id) + ")");
    out.push_back(id);
    if (depth >= leaf_level) continue;
    MV_ASSIGN_OR_RETURN(Node * n, load(id));
    if (!n->leaf)
      for (uint32_t k : n->kids) stack.push_back({k, depth + 1});
  }
  return Status::ok();
}

namespace {
struct CheckState {
  std::vector<uint8_t> prev;
  bool have_prev = false;
  uint32_t prev_rec = 0;
  uint32_t last_recno = 0;
  CheckReport report;
  std::unordered_map<uint32_t, int> seen;
  std::vector<std::vector<uint32_t>> levels;
  int leaf_depth = -1;
};
}  // namespace

Status TreeOrder::check_visit(const uint8_t* key, uint32_t recno, void* state) {
  CheckState& s = *static_cast<CheckState*>(state);
  const size_t kl = key_len();
  const std::string where = info_.bag_path + ": " + info_.name;
  if (recno == 0 || recno > s.last_recno)
    return Status::corrupt(where + ": Eintrag für Satz " + std::to_string(recno) + ", den es nicht gibt" +
                           (s.last_recno == UINT32_MAX ? std::string()
                                                       : " (die Tabelle hat " + std::to_string(s.last_recno) + " Sätze)"));
  if (s.have_prev && !foreign_collation_) {
    int x = phys_cmp(s.prev.data(), key, kl);
    if (x > 0) return Status::corrupt(where + ": Schlüssel nicht in Reihenfolge bei Satz " + std::to_string(recno));
    if (x == 0 && info_.unique)
      return Status::corrupt(where + ": doppelter Schlüssel im eindeutigen Index bei Satz " + std::to_string(recno));
    if (x == 0 && shape_ == TreeShape::BPlusKeyedAll && s.prev_rec > recno)
      return Status::corrupt(where + ": gleiche Schlüssel nicht nach Satznummer geordnet bei Satz " +
                             std::to_string(recno));
  }
  s.prev.assign(key, key + kl);
  s.prev_rec = recno;
  s.have_prev = true;
  s.report.keys++;
  return Status::ok();
}

Status TreeOrder::check_rec(uint32_t id, int depth, void* state, std::string* max_key, uint32_t* max_rec) {
  CheckState& s = *static_cast<CheckState*>(state);
  const size_t kl = key_len();
  const std::string where = info_.bag_path + ": " + info_.name + ": Seite " + std::to_string(id);
  if (depth > 48) return Status::corrupt(where + ": Indexbaum zu tief");
  if (s.seen.count(id)) return Status::corrupt(where + " mehrfach verwendet");
  s.seen[id] = depth;
  auto loaded = load(id);
  if (!loaded.is_ok()) return Status::corrupt(loaded.status().message());
  Node* n = *loaded;
  s.report.pages++;
  if (!fits(*n)) return Status::corrupt(where + ": Seite überfüllt");
  if (s.levels.size() <= size_t(depth)) s.levels.resize(size_t(depth) + 1);
  s.levels[size_t(depth)].push_back(id);
  if (n->leaf) {
    if (s.leaf_depth < 0) s.leaf_depth = depth;
    else if (s.leaf_depth != depth) return Status::corrupt(where + ": Blätter in verschiedener Tiefe");
    if (n->n() == 0 && depth > 0) return Status::corrupt(where + ": leere Indexseite");
    s.report.depth = std::max<uint32_t>(s.report.depth, uint32_t(depth) + 1);
    for (size_t i = 0; i < n->n(); ++i) MV_RETURN_IF_ERROR(check_visit(node_key(*n, i), n->recnos[i], state));
    if (max_key && n->n()) {
      max_key->assign(reinterpret_cast<const char*>(node_key(*n, n->n() - 1)), kl);
      *max_rec = n->recnos.back();
    }
    return Status::ok();
  }
  const size_t nk = n->n();
  const std::vector<uint32_t> kids = n->kids;
  prefetch(kids);
  const std::vector<uint8_t> keys = n->keys;
  const std::vector<uint32_t> recs = n->recnos;
  if (shape_ == TreeShape::BTree) {
    if (kids.size() != nk + 1 || nk == 0) return Status::corrupt(where + ": Zahl der Verweise falsch");
    for (size_t i = 0; i <= nk; ++i) {
      MV_RETURN_IF_ERROR(check_rec(kids[i], depth + 1, state, nullptr, nullptr));
      if (i < nk) MV_RETURN_IF_ERROR(check_visit(keys.data() + i * kl, recs[i], state));
    }
    return Status::ok();
  }
  const bool keyed_all = shape_ == TreeShape::BPlusKeyedAll;
  if (kids.size() != (keyed_all ? nk : nk + 1) || kids.empty())
    return Status::corrupt(where + ": Zahl der Verweise falsch");
  std::string cmax;
  uint32_t crec = 0;
  for (size_t i = 0; i < kids.size(); ++i) {
    cmax.clear();
    MV_RETURN_IF_ERROR(check_rec(kids[i], depth + 1, state, &cmax, &crec));
    if (i < nk && !cmax.empty()) {
      const uint8_t* k = keys.data() + i * kl;
      int x = phys_cmp(k, reinterpret_cast<const uint8_t*>(cmax.data()), kl);
      if (keyed_all ? (x != 0 || recs[i] != crec) : x < 0)
        return Status::corrupt(where + ": Schlüssel der Indexseite passt nicht zur Unterseite");
    }
  }
  if (max_key) {
    *max_key = cmax;
    *max_rec = crec;
  }
  return Status::ok();
}

Result<CheckReport> TreeOrder::check(uint32_t last_recno) {
  CheckState s;
  Status st = reading([&]() -> Status {
    s = CheckState();
    s.last_recno = last_recno;
    MV_RETURN_IF_ERROR(check_rec(root(), 0, &s, nullptr, nullptr));
    if (shape_ == TreeShape::BPlusKeyedAll) {
      for (const auto& lvl : s.levels) {
        for (size_t i = 0; i < lvl.size(); ++i) {
          MV_ASSIGN_OR_RETURN(Node * n, load(lvl[i]));
          uint32_t want_l = i ? lvl[i - 1] : kNoPage;
          uint32_t want_r = i + 1 < lvl.size() ? lvl[i + 1] : kNoPage;
          if (n->left != want_l || n->right != want_r)
            return Status::corrupt(info_.bag_path + ": " + info_.name + ": Seite " + std::to_string(lvl[i]) +
                                   ": Nachbarverweise falsch");
        }
      }
    }
    return check_free_list();
  });
  MV_RETURN_IF_ERROR(st);
  return s.report;
}

template <class F>
Status TreeOrder::walk_leaves(F&& fn, bool keys_only) {
  uint64_t told = 0;  // a walk started again (the file changed under it) goes on after these
  return reading([&]() -> Status {
    MV_ASSIGN_OR_RETURN(const int leaf_level, leftmost_leaf_level());
    const size_t kl = key_len();
    uint64_t at = 0;
    bool go_on = true;
    Node scratch;
    auto emit = [&](const uint8_t* keys, const uint32_t* recnos, size_t n, size_t stride) {
      const uint64_t skip = told > at ? std::min<uint64_t>(told - at, n) : 0;
      at += n;
      if (skip == n || !go_on) return;
      told = at;
      go_on = fn(keys + skip * stride, recnos ? recnos + skip : nullptr, n - size_t(skip), stride);
    };
    // A subtree in order: child i, then (B-tree) key i. Interior pages come through the
    // cache, the leaves of one page are read together and not kept. Only for a page that
    // stands where the leftmost leaf does and turns out to be no leaf (an uneven tree).
    auto visit = [&](auto&& self, uint32_t id, int depth) -> Status {
      if (depth > 48) return Status::corrupt(info_.bag_path + ": Indexbaum zu tief (Schleife?)");
      if (depth >= leaf_level) {
        MV_ASSIGN_OR_RETURN(const Node* leaf, peek(id, scratch));
        if (leaf->leaf) {
          emit(leaf->keys.data(), leaf->recnos.data(), leaf->n(), kl);
          return Status::ok();
        }
      }
      MV_ASSIGN_OR_RETURN(Node * n, load(id));
      if (n->leaf) {
        emit(n->keys.data(), n->recnos.data(), n->n(), kl);
        return Status::ok();
      }
      if (n->kids.empty()) return Status::corrupt(info_.bag_path + ": Indexseite ohne Verweise");
      const bool staged = depth + 1 >= leaf_level && stage(n->kids);
      Status st;
      for (size_t i = 0; i < n->kids.size() && go_on && st.is_ok(); ++i) {
        st = self(self, n->kids[i], depth + 1);
        if (st.is_ok() && go_on && shape_ == TreeShape::BTree && i < n->n()) emit(node_key(*n, i), &n->recnos[i], 1, kl);
      }
      if (staged) unstage();
      return st;
    };
    // The interior pages are walked in order and what they lead to is queued: the leaves
    // (read once, not kept) and, in a B-tree, the interior keys between them. The leaves
    // of a queue are read together, over the bounds of their parents: the leaves of an
    // order lie mostly one after the other in the file, so a few large reads take them all.
    struct Step {
      uint32_t id;
      uint32_t what;  // kLeaf, kKept, or the index of an interior key of page `id`
    };
    constexpr uint32_t kLeaf = 0xFFFFFFFFu;  // a leaf to read
    constexpr uint32_t kKept = 0xFFFFFFFEu;  // a leaf met above the leaves' level, in the cache
    constexpr size_t kQueuedLeaves = 256;
    std::vector<Step> queue;
    std::vector<uint32_t> ids;
    auto drain = [&]() -> Status {
      ids.clear();
      for (const Step& s : queue)
        if (s.what == kLeaf) ids.push_back(s.id);
      const bool staged = ids.size() > 1 && stage(ids);
      Status st;
      for (size_t i = 0; i < queue.size() && go_on && st.is_ok(); ++i) {
        const Step s = queue[i];
        if (s.what == kLeaf) {
          LeafKeys lk;
          if (keys_only && staged && staged_leaf_keys(s.id, lk)) {
            emit(lk.keys, nullptr, lk.n, lk.stride);
            continue;
          }
          auto leaf = peek(s.id, scratch);
          if (!leaf.is_ok()) st = leaf.status();
          else if ((*leaf)->leaf) emit((*leaf)->keys.data(), (*leaf)->recnos.data(), (*leaf)->n(), kl);
          else st = visit(visit, s.id, leaf_level);
          continue;
        }
        auto n = load(s.id);
        if (!n.is_ok()) st = n.status();
        else if (s.what == kKept) emit((*n)->keys.data(), (*n)->recnos.data(), (*n)->n(), kl);
        else emit(node_key(**n, s.what), &(*n)->recnos[s.what], 1, kl);
      }
      if (staged) unstage();
      queue.clear();
      return st;
    };
    size_t queued_leaves = 0;
    auto enqueue = [&](Step s) -> Status {
      queue.push_back(s);
      if (s.what != kLeaf || ++queued_leaves < kQueuedLeaves) return Status::ok();
      queued_leaves = 0;
      return drain();
    };
    struct Frame {
      uint32_t id;
      int depth;
      size_t next;  // the child to visit next
    };
    std::vector<Frame> stack;
    // A page `depth` below the root: a leaf to read, or an interior page to walk.
    auto enter = [&](uint32_t id, int depth) -> Status {
      if (depth > 48) return Status::corrupt(info_.bag_path + ": Indexbaum zu tief (Schleife?)");
      if (depth >= leaf_level) return enqueue({id, kLeaf});
      MV_ASSIGN_OR_RETURN(Node * n, load(id));
      if (n->leaf) return enqueue({id, kKept});
      if (n->kids.empty()) return Status::corrupt(info_.bag_path + ": Indexseite ohne Verweise");
      // Interior children are read together too (they stay in the cache, as any page read
      // through it does).
      if (depth + 1 < leaf_level) prefetch(n->kids);
      stack.push_back({id, depth, 0});
      return Status::ok();
    };
    MV_RETURN_IF_ERROR(enter(root(), 0));
    while (!stack.empty() && go_on) {
      const Frame f = stack.back();
      MV_ASSIGN_OR_RETURN(Node * n, load(f.id));
      // Back from child next - 1: its key follows it.
      if (f.next > 0 && shape_ == TreeShape::BTree && f.next - 1 < n->n())
        MV_RETURN_IF_ERROR(enqueue({f.id, uint32_t(f.next - 1)}));
      if (f.next >= n->kids.size()) {
        stack.pop_back();
        continue;
      }
      stack.back().next++;
      MV_RETURN_IF_ERROR(enter(n->kids[f.next], f.depth + 1));
    }
    return drain();
  });
}

Result<std::optional<Collation>> TreeOrder::detect_collation(const Collation& fallback, CodePage cp) {
  if (info_.keydef.type != KeyType::Character) return std::optional<Collation>(Collation::machine());
  CollationFit fit(cp, phys_desc());
  const size_t kl = key_len();
  bool first = true;
  MV_RETURN_IF_ERROR(walk_leaves(
      [&](const uint8_t* keys, const uint32_t*, size_t n, size_t stride) {
        if (first) fit.restart(), first = false;
        return fit.see_run(keys, n, kl, stride);
      },
      /*keys_only=*/true));
  return fit.choice(fallback);
}

Status TreeOrder::walk_streaming(const std::function<bool(const uint8_t* key, uint32_t recno)>& fn) {
  const size_t kl = key_len();
  return walk_runs([&](const uint8_t* keys, const uint32_t* recnos, size_t n) {
    for (size_t i = 0; i < n; ++i)
      if (!fn(keys + i * kl, recnos[i])) return false;
    return true;
  });
}

Status TreeOrder::walk_runs(const std::function<bool(const uint8_t* keys, const uint32_t* recnos, size_t n)>& fn) {
  return walk_leaves([&](const uint8_t* keys, const uint32_t* recnos, size_t n, size_t) { return fn(keys, recnos, n); },
                     /*keys_only=*/false);
}

Result<TreeOrder::CollationSample> TreeOrder::sample_collation(const Collation& fallback, CodePage cp,
                                                               size_t limit) {
  CollationSample out;
  out.complete = true;
  if (info_.keydef.type != KeyType::Character) {
    out.fit = Collation::machine();
    return out;
  }
  CollationFit fit(cp, phys_desc());
  const size_t kl = key_len();
  const auto& moved = moved_bytes();
  size_t seen = 0;
  out.plain = true;
  MV_RETURN_IF_ERROR(walk_physical([&](const uint8_t* k, uint32_t) {
    if (seen == 0) out.complete = true, out.plain = true, fit.restart();  // the walk started again
    if (seen++ >= limit) {
      out.complete = false;
      return false;
    }
    for (size_t i = 0; i < kl && out.plain; ++i)
      if (moved[k[i]]) out.plain = false;
    return fit.see(k, kl);
  }));
  out.fit = fit.choice(fallback);
  return out;
}

}  // namespace mv::index
