#pragma once
// Which key orders a run of stored keys still fits: byte order, the German order of the
// table's code page and that of the other code page. Opening an order tells its collation
// this way, from every key or from a sample of them.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

#include "platform/base/codepage.h"
#include "platform/table/index/index_key.h"

namespace mv::index {

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
    if (!prev_.empty()) {
      // Every candidate orders two keys by their first differing byte.
      const uint8_t* p = prev_.data();
      size_t at = 0;
      while (at < kl && p[at] == k[at]) ++at;
      if (at < kl)
        for (int i = 0; i < 3; ++i) {
          if (!ok_[i]) continue;
          const int x = cands_[i].compare(p + at, k + at, 1);
          if (desc_ ? x < 0 : x > 0) ok_[i] = false;
        }
    }
    prev_.assign(k, k + kl);
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
  CodePage cp_, other_;
  Collation cands_[3];
  bool desc_;
  bool ok_[3] = {true, true, true};
  std::vector<uint8_t> prev_;
};

}  // namespace mv::index
