// Which collation a stored order follows, told from a sample of its keys. Every interior
// key is a key of the order (NTX) or the largest key below it (CDX, MDX), so the interior
// keys read in key order are a subsequence of the order's keys, about one in every leaf;
// each leaf is a run of neighbours. A pair out of order in either is out of order in the
// whole order. What the interior pages hold spreads over the whole order, so keys that
// tell the collations apart show up there unless they are rare.
#include <algorithm>

#include "platform/table/index/index_tree.h"

namespace mv::index {

Status TreeOrder::interior_keys(const std::function<bool(const uint8_t* key)>& fn, std::vector<uint32_t>& leaves,
                                bool& even) {
  leaves.clear();
  even = true;
  // The depth of the leftmost leaf: every leaf stands that deep.
  int leaf_level = 0;
  for (uint32_t id = root();; ++leaf_level) {
    if (leaf_level > 48) return Status::corrupt(info_.bag_path + ": Indexbaum zu tief (Schleife?)");
    MV_ASSIGN_OR_RETURN(Node * n, load(id));
    if (n->leaf) break;
    if (n->kids.empty()) return Status::corrupt(info_.bag_path + ": Indexseite ohne Verweise");
    id = n->kids[0];
  }
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
  const CodePage other = cp == CodePage::Windows1252 ? CodePage::Cp850 : CodePage::Windows1252;
  const Collation cands[] = {Collation::machine(), Collation::german(cp), Collation::german(other)};
  bool ok[3] = {true, true, true};
  const size_t kl = key_len();
  const bool desc = phys_desc();
  std::vector<uint8_t> prev;
  bool have = false;
  // One run of keys in stored order: false once no candidate is left.
  auto see = [&](const uint8_t* k) {
    if (have) {
      for (int i = 0; i < 3; ++i) {
        if (!ok[i]) continue;
        const int x = cands[i].compare(prev.data(), k, kl);
        if (desc ? x < 0 : x > 0) ok[i] = false;
      }
    }
    prev.assign(k, k + kl);
    have = true;
    return ok[0] || ok[1] || ok[2];
  };
  bool even = true;
  MV_RETURN_IF_ERROR(reading([&]() -> Status {
    ok[0] = ok[1] = ok[2] = true;
    have = false;
    std::vector<uint32_t> leaves;
    MV_RETURN_IF_ERROR(interior_keys(see, leaves, even));
    if (!even) return Status::ok();
    const size_t take = std::min(leaves.size(), kSampledLeaves);
    for (size_t j = 0; j < take && (ok[0] || ok[1] || ok[2]); ++j) {
      const size_t at = take < 2 ? 0 : j * (leaves.size() - 1) / (take - 1);
      MV_ASSIGN_OR_RETURN(Node * leaf, load(leaves[at]));
      have = false;
      for (size_t i = 0; i < leaf->n(); ++i)
        if (!see(node_key(*leaf, i))) break;
    }
    return Status::ok();
  }));
  // A tree whose leaves stand at different depths (damaged, yet readable): every key.
  if (!even) return detect_collation(fallback, cp);
  if (!ok[0] && !ok[1] && !ok[2]) return std::optional<Collation>();
  // Keys that fit more than one order keep what the table already uses.
  if (ok[0] && fallback.is_machine()) return std::optional<Collation>(cands[0]);
  if (!fallback.is_machine()) {
    if (ok[1] && fallback.code_page() == cp) return std::optional<Collation>(cands[1]);
    if (ok[2] && fallback.code_page() == other) return std::optional<Collation>(cands[2]);
  }
  for (int i = 0; i < 3; ++i)
    if (ok[i]) return std::optional<Collation>(cands[i]);
  return std::optional<Collation>();
}

}  // namespace mv::index
