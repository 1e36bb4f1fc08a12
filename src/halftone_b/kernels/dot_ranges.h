// Four ordered-dither rules decided with one compare: ink k gets the dot at
// matrix cell m when (m - lo[k]) mod 2^32 < width[k], both unsigned.  A rule
// "m < s" is the range [-2^30, s), a rule "m >= t" the range [t, t + 2^30),
// which covers every 16-bit cell.  Dots() returns bit k set for ink k.
#pragma once

#include <cstdint>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace vantik {

class DotRanges {
 public:
  void Set(int32_t lo0, int32_t w0, int32_t lo1, int32_t w1, int32_t lo2,
           int32_t w2, int32_t lo3, int32_t w3) {
#if defined(__SSE2__)
    // With both sides offset by 2^31 the unsigned compare becomes a signed
    // one, and (m - lo) + 2^31 = m - (lo + 2^31).
    const __m128i bias = _mm_set1_epi32(INT32_MIN);
    lo_ = _mm_add_epi32(_mm_setr_epi32(lo0, lo1, lo2, lo3), bias);
    width_ = _mm_add_epi32(_mm_setr_epi32(w0, w1, w2, w3), bias);
#else
    const int32_t lo[4] = {lo0, lo1, lo2, lo3}, w[4] = {w0, w1, w2, w3};
    for (int k = 0; k < 4; ++k) {
      lo_[k] = static_cast<uint32_t>(lo[k]);
      width_[k] = static_cast<uint32_t>(w[k]);
    }
#endif
  }

  uint32_t Dots(int32_t m) const {
#if defined(__SSE2__)
    const __m128i d = _mm_sub_epi32(_mm_set1_epi32(m), lo_);
    return static_cast<uint32_t>(
        _mm_movemask_ps(_mm_castsi128_ps(_mm_cmpgt_epi32(width_, d))));
#else
    uint32_t dots = 0;
    for (int k = 0; k < 4; ++k) {
      if (static_cast<uint32_t>(m) - lo_[k] < width_[k]) dots |= 1u << k;
    }
    return dots;
#endif
  }

 private:
#if defined(__SSE2__)
  __m128i lo_ = _mm_setzero_si128(), width_ = _mm_setzero_si128();
#else
  uint32_t lo_[4] = {0, 0, 0, 0}, width_[4] = {0, 0, 0, 0};
#endif
};

}  // namespace vantik
