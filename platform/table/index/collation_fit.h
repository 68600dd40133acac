#pragma once
// Which key orders a run of stored keys still fits: byte order, the German order of the
// table's code page and that of the other code page. Opening an order tells its collation
// this way, from every key or from a sample of them.
#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

#include "platform/base/codepage.h"
#include "platform/table/index/index_key.h"

namespace mv::index {

// Bytes whose place among the others differs between byte order and the German order of
// either code page: two keys whose first differing bytes are none of these compare alike
// in every candidate order.
inline const std::array<bool, 256>& moved_bytes() {
  static const std::array<bool, 256> moved = [] {
    std::array<bool, 256> m{};
    for (CodePage cp : {CodePage::Windows1252, CodePage::Cp850}) {
      const Collation g = Collation::german(cp);
      for (int b = 0; b < 256; ++b) m[size_t(b)] = m[size_t(b)] || g.moves(uint8_t(b));
    }
    return m;
  }();
  return moved;
}

class CollationFit {
 public:
  CollationFit(CodePage cp, bool descending)
      : cp_(cp),
        other_(cp == CodePage::Windows1252 ? CodePage::Cp850 : CodePage::Windows1252),
        cands_{Collation::machine(), Collation::german(cp_), Collation::german(other_)},
        desc_(descending) {}

  // Every candidate fits again (the keys are seen from the start once more).
  void restart() {
    ok_[0] = ok_[1] = ok_[2] = true;
    prev_.clear();
  }
  // The next key is not the stored successor of the last one seen (another leaf).
  void new_run() { prev_.clear(); }
  // One key in stored order; false once no candidate fits.
  bool see(const uint8_t* k, size_t kl) {
    if (!prev_.empty()) pair(prev_.data(), k, kl);
    prev_.assign(k, k + kl);
    return any();
  }
  // `n` keys in stored order, one after the other in memory.
  bool see_run(const uint8_t* keys, size_t n, size_t kl) {
    if (n == 0) return any();
    if (!prev_.empty()) pair(prev_.data(), keys, kl);
    for (size_t i = 1; i < n && any(); ++i) pair(keys + (i - 1) * kl, keys + i * kl, kl);
    prev_.assign(keys + (n - 1) * kl, keys + n * kl);
    return any();
  }
  bool any() const { return ok_[0] || ok_[1] || ok_[2]; }
  // The fitting order; where several fit, the one the table already uses (`fallback`).
  std::optional<Collation> choice(const Collation& fallback) const {
    if (!any()) return std::nullopt;
    if (ok_[0] && fallback.is_machine()) return cands_[0];
    if (!fallback.is_machine()) {
      if (ok_[1] && fallback.code_page() == cp_) return cands_[1];
      if (ok_[2] && fallback.code_page() == other_) return cands_[2];
    }
    for (int i = 0; i < 3; ++i)
      if (ok_[i]) return cands_[i];
    return std::nullopt;
  }

 private:
  // Key b stored right after key a: the candidates that put them the other way round go.
  void pair(const uint8_t* a, const uint8_t* b, size_t kl) {
    // Every candidate orders two keys by their first differing byte.
    const size_t at = shared_head(a, b, kl);
    if (at == kl) return;
    const uint8_t p = a[at], q = b[at];
    for (int i = 0; i < 3; ++i) {
      if (!ok_[i]) continue;
      const bool before = cands_[i].is_machine() ? p < q : cands_[i].weights()[p] < cands_[i].weights()[q];
      const bool after = cands_[i].is_machine() ? p > q : cands_[i].weights()[p] > cands_[i].weights()[q];
      if (desc_ ? before : after) ok_[i] = false;
    }
  }

  CodePage cp_, other_;
  Collation cands_[3];
  bool desc_;
  bool ok_[3] = {true, true, true};
  std::vector<uint8_t> prev_;
};

}  // namespace mv::index
