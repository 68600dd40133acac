// The place of an entry within its order, read from the path alone. Counting the keys
// before an entry would mean reading every leaf in front of it; the data page only needs
// its scroll bar to say roughly where it stands, and that the answer grows along the order.
#include <algorithm>
#include <cmath>

#include "platform/table/index/index_tree.h"

namespace mv::index {

namespace {

// An interior entry of a B-tree stands between its two children: each child's share is
// cut by this much so that the entry fits between the last key of the one and the first
// of the next.
constexpr double kEntryGap = 1e-6;
// A place computed from a share's start can come out a hair below it.
constexpr double kRounding = 1e-9;

}  // namespace

// Each level splits the share of its page among the page's children (interior) or
// entries (leaf); the cursor's frame picks one share. The answer is the sum of the
// starts of the shares picked; `width` is the share of the entry itself.
Status TreeOrder::physical_fraction(const Cursor& c, double& at, double& width) {
  at = 0;
  width = 0;
  double share = 1;
  for (size_t i = 0; i < c.path.size(); ++i) {
    MV_ASSIGN_OR_RETURN(Node * n, load(c.path[i].id));
    const double idx = std::max(0, c.path[i].idx);
    const bool top = i + 1 == c.path.size();
    if (n->leaf) {
      width = share / double(std::max<size_t>(1, n->n()));
      at += width * idx;
      break;
    }
    const double kids = double(std::max<size_t>(1, n->kids.size()));
    if (top) {
      // A B-tree's interior entry idx: after its child idx, before child idx + 1.
      width = share * kEntryGap / kids;
      at += share * (idx + 1) / kids - width;
      break;
    }
    at += share * idx / kids;
    share /= kids;
    if (shape_ == TreeShape::BTree) share *= 1 - 2 * kEntryGap;
  }
  return Status::ok();
}

Result<double> TreeOrder::relative_position(Cursor& c) {
  double pos = 1;
  MV_RETURN_IF_ERROR(reading([&]() -> Status {
    if (track_cursors_ && c.valid() && c.gen != generation_) {
      // Another program changed the file since the cursor moved: its entry's path now.
      bool on = false;
      MV_RETURN_IF_ERROR(reposition(c, on));
      remember(c);
    }
    if (!c.valid()) {
      pos = 1;
      return Status::ok();
    }
    double at = 0, width = 0;
    MV_RETURN_IF_ERROR(physical_fraction(c, at, width));
    // Stored ascending, read backwards: the last stored entry is the first one seen.
    pos = std::clamp(reverse_logical_ ? 1 - (at + width) : at, 0.0, 1.0);
    return Status::ok();
  }));
  return pos;
}

Status TreeOrder::go_to_relative_position(double pos, Cursor& c) {
  if (!std::isfinite(pos)) pos = 0;
  pos = std::clamp(pos, 0.0, 1.0);
  return reading([&]() -> Status {
    double p = reverse_logical_ ? 1 - pos : pos;
    c.clear();
    uint32_t id = root();
    for (int guard = 0;; ++guard) {
      if (guard >= 64) return Status::corrupt(info_.bag_path + ": Indexbaum zu tief (Schleife?)");
      MV_ASSIGN_OR_RETURN(Node * n, load(id));
      if (n->leaf) {
        const size_t count = n->n();
        const size_t i = count == 0 ? 0 : std::min(count - 1, size_t(p * double(count) + kRounding));
        c.path.push_back({id, int(i)});
        break;
      }
      if (n->kids.empty()) return Status::corrupt(info_.bag_path + ": Indexseite ohne Verweise");
      const size_t kids = n->kids.size();
      const size_t i = std::min(kids - 1, size_t(p * double(kids) + kRounding));
      p = std::clamp(p * double(kids) - double(i), 0.0, 1.0);
      c.path.push_back({id, int(i)});
      if (shape_ == TreeShape::BTree) {
        // The end of a child's share belongs to the entry after the child.
        if (p >= 1 - 2 * kEntryGap && i < n->n()) break;
        p = std::min(1.0, p / (1 - 2 * kEntryGap));
      }
      id = n->kids[i];
    }
    // An empty leaf (an empty tree's root): the entry after it, or the last one.
    MV_RETURN_IF_ERROR(settle_forward(c));
    if (!c.valid()) MV_RETURN_IF_ERROR(phys_last(c));
    remember(c);
    return Status::ok();
  });
}

}  // namespace mv::index
