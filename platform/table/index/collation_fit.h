#pragma once
// Which key orders a run of stored keys still fits: byte order, the German order of the
// table's code page and that of the other code page. Opening an order tells its collation
// this way, from every key or from a sample of them.
#include <algorithm>
#include <array>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <optional>
#include <vector>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

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
    have_prev_ = false;
  }
  // The next key is not the stored successor of the last one seen (another leaf).
  void new_run() { have_prev_ = false; }
  // One key in stored order; false once no candidate fits.
  bool see(const uint8_t* k, size_t kl) {
    if (have_prev_) pair(prev_.data(), k, kl);
    keep(k, kl);
    return any();
  }
  // `n` keys in stored order, `stride` bytes apart (kl: one after the other).
  bool see_run(const uint8_t* keys, size_t n, size_t kl, size_t stride = 0) {
    if (n == 0) return any();
    if (stride == 0) stride = kl;
    if (have_prev_) pair(prev_.data(), keys, kl);
    if (n > 1 && any()) {
      // The keys found plain and in order at the start tell nothing: the rest is weighed
      // from the last of them on.
      const size_t done = plain_ordered_head(keys, n, kl, stride);
      if (done < n) {
        const uint8_t* rest = keys + (done - 1) * stride;
        const size_t m = n - done + 1;
#if defined(__SSE2__)
        if (kl >= 16 && kl <= 32)
          pairs(rest, m, kl, stride, [kl](const uint8_t* a, const uint8_t* b) { return difference_16_32(a, b, kl); });
        else
#endif
          pairs(rest, m, kl, stride, [kl](const uint8_t* a, const uint8_t* b) { return first_difference(a, b, kl); });
      }
    }
    keep(keys + (n - 1) * stride, kl);
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
  void keep(const uint8_t* k, size_t kl) {
    if (prev_.size() != kl) prev_.resize(kl);
    std::memcpy(prev_.data(), k, kl);
    have_prev_ = true;
  }
  // Key b stored right after key a: the candidates that put them the other way round go.
  void pair(const uint8_t* a, const uint8_t* b, size_t kl) {
    // Every candidate orders two keys by their first differing byte.
    const size_t at = first_difference(a, b, kl);
    if (at != kl) weigh(a[at], b[at]);
  }
  // Neighbours of a run, `diff` telling where two keys first differ. Most pairs differ
  // first in bytes that keep their place in every candidate and stand in byte order:
  // every candidate fits them and nothing more is looked at.
  template <class Diff>
  void pairs(const uint8_t* a, size_t n, size_t kl, size_t stride, Diff diff) {
    for (size_t i = 1; i < n; ++i, a += stride) {
      const size_t at = diff(a, a + stride);
      if (at == kl) continue;
      const uint8_t p = a[at], q = a[stride + at];
      if (!moved_[p] && !moved_[q] && (desc_ ? p > q : p < q)) continue;
      weigh(p, q);
      if (!any()) return;
    }
  }
  // How many keys at the start of a run (at least one) hold no byte that any candidate
  // moves and stand in stored byte order, ties allowed: every candidate puts each pair of
  // them as byte order does, so they all fit them. A byte with the top bit set is taken
  // for a moved one (all of them have it). Keys of 16 to 32 bytes, two blocks of 16 each.
  size_t plain_ordered_head(const uint8_t* k, size_t n, size_t kl, size_t stride) const {
#if defined(__SSE2__)
    if (moved_high_ && kl >= 16 && kl <= 32)
      return desc_ ? plain_ordered_head<true>(k, n, kl, stride) : plain_ordered_head<false>(k, n, kl, stride);
#endif
    (void)k, (void)n, (void)kl, (void)stride;
    return 1;
  }
#if defined(__SSE2__)
  template <bool Desc>
  static size_t plain_ordered_head(const uint8_t* k, size_t n, size_t kl, size_t stride) {
    // The bytes of the key before are kept; where two neighbours first differ comes
    // without a branch, as in pairs(). High bytes are gathered and looked for once.
    // Two keys a turn.
    const size_t t = kl - 16;
    auto at = [](const uint8_t* p) { return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p)); };
    auto has_high = [&](const uint8_t* p) { return _mm_movemask_epi8(_mm_or_si128(at(p), at(p + t))) != 0; };
    // Keys p (bytes x) and q (bytes y) out of stored byte order.
    auto out_of_order = [t](__m128i x0, __m128i x1, __m128i y0, __m128i y1, const uint8_t* p, const uint8_t* q) {
      const uint64_t bits = uint64_t(uint32_t(_mm_movemask_epi8(_mm_cmpeq_epi8(x0, y0))) ^ 0xFFFFu) |
                            uint64_t(uint32_t(_mm_movemask_epi8(_mm_cmpeq_epi8(x1, y1))) ^ 0xFFFFu) << t;
      if (!bits) return false;
      const size_t d = size_t(std::countr_zero(bits));
      return (p[d] < q[d]) == Desc;
    };
    if (has_high(k)) return 1;
    const uint8_t* p = k;
    __m128i a0 = at(p), a1 = at(p + t), high = _mm_setzero_si128();
    size_t i = 1;
    bool stop = false;
    for (; i + 1 < n; i += 2) {
      const uint8_t* q = p + stride;
      const uint8_t* r = q + stride;
      const __m128i b0 = at(q), b1 = at(q + t), c0 = at(r), c1 = at(r + t);
      high = _mm_or_si128(high, _mm_or_si128(_mm_or_si128(b0, b1), _mm_or_si128(c0, c1)));
      if (out_of_order(a0, a1, b0, b1, p, q)) {
        stop = true;
        break;
      }
      if (out_of_order(b0, b1, c0, c1, q, r)) {
        ++i, stop = true;
        break;
      }
      a0 = c0, a1 = c1, p = r;
    }
    if (!stop && i < n) {
      const uint8_t* q = p + stride;
      const __m128i b0 = at(q), b1 = at(q + t);
      high = _mm_or_si128(high, _mm_or_si128(b0, b1));
      if (!out_of_order(a0, a1, b0, b1, p, q)) ++i;
    }
    // i: the first key out of order, or n. The first key with a high byte up to it ends
    // the head sooner (key 0 has none; `high` may hold the key after i too).
    if (_mm_movemask_epi8(high)) {
      const size_t seen = std::min(i, n - 1);
      for (size_t j = 1; j <= seen; ++j)
        if (has_high(k + j * stride)) return j;
    }
    return i;
  }
#endif
  static bool moved_all_high() {
    static const bool high = [] {
      const auto& m = moved_bytes();
      return std::none_of(m.begin(), m.begin() + 0x80, [](bool b) { return b; });
    }();
    return high;
  }
  // The first differing bytes of two neighbours, p in the first.
  void weigh(uint8_t p, uint8_t q) {
    // Bytes that keep their place in every candidate: byte order tells for all of them.
    if (!moved_[p] && !moved_[q]) {
      if (desc_ ? p < q : p > q) ok_[0] = ok_[1] = ok_[2] = false;
      return;
    }
    for (int i = 0; i < 3; ++i) {
      const auto& w = cands_[i].weights();
      if (desc_ ? w[p] < w[q] : w[p] > w[q]) ok_[i] = false;
    }
  }
  // Where two keys of kl bytes first differ (kl when they do not). Keys of 16 to 32 bytes
  // are looked at as two blocks of 16 (the second ending at the end) without a branch:
  // which part of two neighbours differs first follows no pattern. Others eight bytes at a
  // time, the last bytes of a length that is no multiple of eight as one word ending at
  // the end (what it shares with the word before is known equal by then).
  static size_t first_difference(const uint8_t* a, const uint8_t* b, size_t kl) {
#if defined(__SSE2__)
    if (kl >= 16 && kl <= 32) return difference_16_32(a, b, kl);
#endif
    if constexpr (std::endian::native == std::endian::little) {
      if (kl >= 8) {
        size_t d = 0;
        for (; d + 8 <= kl; d += 8) {
          const uint64_t x = load64(a + d) ^ load64(b + d);
          if (x) return d + size_t(std::countr_zero(x) >> 3);
        }
        if (d == kl) return kl;
        const uint64_t x = load64(a + kl - 8) ^ load64(b + kl - 8);
        return x ? kl - 8 + size_t(std::countr_zero(x) >> 3) : kl;
      }
    }
    return shared_head(a, b, kl);
  }
#if defined(__SSE2__)
  static size_t difference_16_32(const uint8_t* a, const uint8_t* b, size_t kl) {
    auto differ = [&](size_t o) {
      const __m128i x = _mm_loadu_si128(reinterpret_cast<const __m128i*>(a + o));
      const __m128i y = _mm_loadu_si128(reinterpret_cast<const __m128i*>(b + o));
      return uint32_t(_mm_movemask_epi8(_mm_cmpeq_epi8(x, y))) ^ 0xFFFFu;
    };
    const uint64_t bits = uint64_t(differ(0)) | uint64_t(differ(kl - 16)) << (kl - 16);
    return bits ? size_t(std::countr_zero(bits)) : kl;
  }
#endif
  static uint64_t load64(const uint8_t* p) {
    uint64_t v;
    std::memcpy(&v, p, 8);
    return v;
  }

  CodePage cp_, other_;
  Collation cands_[3];
  bool desc_;
  const bool* moved_ = moved_bytes().data();
  bool moved_high_ = moved_all_high();
  bool ok_[3] = {true, true, true};
  bool have_prev_ = false;
  std::vector<uint8_t> prev_;  // the last key seen, while have_prev_
};

}  // namespace mv::index
