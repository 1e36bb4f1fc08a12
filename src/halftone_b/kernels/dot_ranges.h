// Four ordered-dither rules decided with one compare: ink k gets the dot at
// matrix cell m when (m - lo[k]) mod 2^32 < width[k], both unsigned.  A rule
// "m < s" is the range [-2^30, s), a rule "m >= t" the range [t, t + 2^30),
// which covers every 16-bit cell.  Dots() returns bit k set for ink k.
//
// Two forms with one interface: a plain one that builds everywhere and an
// SSE2 one; DotRanges names the one the kernels use.  Both are compiled on
// x86-64 so that tests can hold the vector form to the plain one.
#pragma once

#include <cstdint>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace vantik::halftone_b {

class DotRangesPlain {
 public:
  void Set(uint32_t lo0, uint32_t w0, uint32_t lo1, uint32_t w1, uint32_t lo2,
           uint32_t w2, uint32_t lo3, uint32_t w3) {
    const uint32_t lo[4] = {lo0, lo1, lo2, lo3}, w[4] = {w0, w1, w2, w3};
    for (int k = 0; k < 4; ++k) {
      lo_[k] = lo[k];
      width_[k] = w[k];
    }
  }

  uint32_t Dots(int32_t m) const {
    uint32_t dots = 0;
    for (int k = 0; k < 4; ++k) {
      if (static_cast<uint32_t>(m) - lo_[k] < width_[k]) dots |= 1u << k;
    }
    return dots;
  }

 private:
  uint32_t lo_[4] = {0, 0, 0, 0}, width_[4] = {0, 0, 0, 0};
};

#if defined(__SSE2__)
class DotRangesSse2 {
 public:
  void Set(uint32_t lo0, uint32_t w0, uint32_t lo1, uint32_t w1, uint32_t lo2,
           uint32_t w2, uint32_t lo3, uint32_t w3) {
    // With both sides offset by 2^31 the unsigned compare becomes a signed
    // one, and (m - lo) + 2^31 = m - (lo + 2^31).
    constexpr uint32_t kBias = 1u << 31;
    lo_ = _mm_setr_epi32(Signed(lo0 + kBias), Signed(lo1 + kBias),
                         Signed(lo2 + kBias), Signed(lo3 + kBias));
    width_ = _mm_setr_epi32(Signed(w0 + kBias), Signed(w1 + kBias),
                            Signed(w2 + kBias), Signed(w3 + kBias));
  }

  uint32_t Dots(int32_t m) const {
    const __m128i d = _mm_sub_epi32(_mm_set1_epi32(m), lo_);
    return static_cast<uint32_t>(
        _mm_movemask_ps(_mm_castsi128_ps(_mm_cmpgt_epi32(width_, d))));
  }

 private:
  static int32_t Signed(uint32_t v) { return static_cast<int32_t>(v); }
  __m128i lo_ = _mm_setzero_si128(), width_ = _mm_setzero_si128();
};

using DotRanges = DotRangesSse2;
#else
using DotRanges = DotRangesPlain;
#endif

}  // namespace vantik::halftone_b
