// Which collation a stored order follows, told from a sample of its keys. Every interior
// key is a key of the order (NTX) or the largest key below it (CDX, MDX), so the interior
// keys read in key order are a subsequence of the order's keys, about one in every leaf;
// each leaf is a run of neighbours. A pair out of order in either is out of order in the
// whole order. What the interior pages hold spreads over the whole order, so keys that
// tell the collations apart show up there unless they are rare.
#include <algorithm>

#include "platform/table/index/collation_fit.h"
#include "platform/table/index/index_tree.h"

namespace mv::index {

Status TreeOrder::interior_keys(const std::function<bool(const uint8_t* key)>& fn, std::vector<uint32_t>& leaves,
                                bool& even) {
  leaves.clear();
  even = true;
  // Every leaf stands as deep as the leftmost one.
  MV_ASSIGN_OR_RETURN(const int leaf_level, leftmost_leaf_level());
  if (leaf_level == 0) {
    leaves.push_back(root());
    return Status::ok();
  }
  // In-order over the interior levels: child i, then key i. The node is loaded again
  // after each child (the page cache may have let it go).
  struct Frame {
    uint32_t id;
    int depth;
    size_t next;  // the child to visit next
  };
  std::vector<Frame> stack{{root(), 0, 0}};
  const size_t kl = key_len();
  std::vector<uint8_t> key(kl);
  uint64_t pages = 0;
  bool go_on = true;
  while (!stack.empty() && go_on) {
    Frame& f = stack.back();
    if (++pages > (uint64_t(1) << 32)) return Status::corrupt(info_.bag_path + ": Indexbaum nicht durchlaufbar");
    MV_ASSIGN_OR_RETURN(Node * n, load(f.id));
    if (n->leaf || f.depth >= leaf_level) {
      even = false;
      return Status::ok();
    }
    if (f.next > 0 && f.next - 1 < n->n()) {
      // Back from child next - 1: its key (the last child of an MDX page has none).
      std::copy(node_key(*n, f.next - 1), node_key(*n, f.next - 1) + kl, key.begin());
      if (!fn(key.data())) break;
    }
    if (f.next >= n->kids.size()) {
      stack.pop_back();
      continue;
    }
    const uint32_t kid = n->kids[f.next++];
    if (f.depth + 1 >= leaf_level) {
      leaves.push_back(kid);
      continue;
    }
    if (stack.size() > 48) return Status::corrupt(info_.bag_path + ": Indexbaum zu tief (Schleife?)");
    stack.push_back({kid, f.depth + 1, 0});
  }
  return Status::ok();
}

Result<std::optional<Collation>> TreeOrder::detect_collation_sampled(const Collation& fallback, CodePage cp) {
  if (info_.keydef.type != KeyType::Character) return std::optional<Collation>(Collation::machine());
  CollationFit fit(cp, phys_desc());
  const size_t kl = key_len();
  bool even = true;
  MV_RETURN_IF_ERROR(reading([&]() -> Status {
    fit.restart();
    std::vector<uint32_t> leaves;
    MV_RETURN_IF_ERROR(interior_keys([&](const uint8_t* k) { return fit.see(k, kl); }, leaves, even));
    if (!even) return Status::ok();
    const size_t take = std::min(leaves.size(), kSampledLeaves);
    for (size_t j = 0; j < take && fit.any(); ++j) {
      const size_t at = take < 2 ? 0 : j * (leaves.size() - 1) / (take - 1);
      MV_ASSIGN_OR_RETURN(Node * leaf, load(leaves[at]));
      fit.new_run();
      for (size_t i = 0; i < leaf->n(); ++i)
        if (!fit.see(node_key(*leaf, i), kl)) break;
    }
    return Status::ok();
  }));
  // A tree whose leaves stand at different depths (damaged, yet readable): every key.
  if (!even) return detect_collation(fallback, cp);
  return fit.choice(fallback);
}

Result<bool> TreeOrder::seeks_alike_in_every_collation(std::span<const uint8_t> key, uint64_t* examined) {
  if (info_.keydef.type != KeyType::Character) return true;
  if (phys_desc() || reverse_logical_) return false;
  const auto& moved = moved_bytes();
  const size_t m = std::min(key.size(), key_len());
  const uint8_t* k = key.data();
  for (size_t i = 0; i < m; ++i)
    if (moved[k[i]]) return false;
  bool alike = true;
  MV_RETURN_IF_ERROR(reading([&]() -> Status {
    // With every key of a page comparing alike, byte order picks the child every candidate
    // would pick, so the way down is the same in all of them.
    uint32_t id = root();
    for (int depth = 0;; ++depth) {
      if (depth > 48) return Status::corrupt(info_.bag_path + ": Indexbaum zu tief (Schleife?)");
      MV_ASSIGN_OR_RETURN(Node * n, load(id));
      if (examined) *examined += n->n();
      size_t below = 0;
      for (size_t j = 0; j < n->n(); ++j) {
        const uint8_t* s = node_key(*n, j);
        const size_t i = shared_head(s, k, m);
        if (i == m) continue;
        if (moved[s[i]]) {
          alike = false;
          return Status::ok();
        }
        if (s[i] < k[i]) ++below;
      }
      if (n->leaf || n->kids.empty()) return Status::ok();
      id = n->kids[std::min(below, n->kids.size() - 1)];
    }
  }));
  return alike;
}

}  // namespace mv::index
