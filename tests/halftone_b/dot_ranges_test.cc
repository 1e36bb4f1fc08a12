// The vector form of the four-ink range test against the plain form, which
// is what the kernels use where SSE2 is missing.
#include <gtest/gtest.h>

#include <random>

#include "halftone_b/kernels/dot_ranges.h"

namespace vantik::halftone_b {
namespace {

// The rule itself, on a few hand-made ranges: "m < s", "m >= t", an empty
// range and a range that wraps past 2^32.
TEST(DotRanges, PlainFormFollowsTheRule) {
  DotRangesPlain r;
  constexpr uint32_t kHalf = 1u << 31;
  r.Set(static_cast<uint32_t>(5) - kHalf, kHalf,  // ink 0: m < 5
        10, kHalf,                                // ink 1: m >= 10
        7, 0,                                     // ink 2: never
        static_cast<uint32_t>(-3), 6);            // ink 3: -3 <= m < 3
  struct Case {
    int32_t m;
    uint32_t dots;
  } cases[] = {{-32768, 1}, {-4, 1}, {-3, 9}, {2, 9}, {3, 1}, {4, 1},
               {5, 0},      {9, 0},  {10, 2}, {32767, 2}};
  for (const Case& c : cases) EXPECT_EQ(r.Dots(c.m), c.dots) << "m " << c.m;
}

#if defined(__SSE2__)
TEST(DotRanges, VectorFormMatchesPlainOnRandomRanges) {
  std::mt19937 rng(14);
  // Bounds near the edges of the unsigned and signed ranges come up often,
  // since that is where a biased signed compare could go wrong.
  const uint32_t edges[] = {0u, 1u, 0x7FFFFFFFu, 0x80000000u, 0x80000001u,
                            0xFFFFFFFFu, 0xFFFF8000u, 0x00007FFFu};
  auto pick = [&]() -> uint32_t {
    return rng() % 3 == 0 ? edges[rng() % 8] : static_cast<uint32_t>(rng());
  };
  for (int trial = 0; trial < 20000; ++trial) {
    uint32_t v[8];
    for (auto& x : v) x = pick();
    DotRangesPlain plain;
    DotRangesSse2 vec;
    plain.Set(v[0], v[1], v[2], v[3], v[4], v[5], v[6], v[7]);
    vec.Set(v[0], v[1], v[2], v[3], v[4], v[5], v[6], v[7]);
    for (int i = 0; i < 16; ++i) {
      int32_t m = static_cast<int32_t>(rng());
      if (i < 4) m = static_cast<int32_t>(v[2 * i]);   // at lo
      if (i == 4) m = -32768;
      if (i == 5) m = 32767;
      if (i > 12) m = static_cast<int16_t>(rng());      // any 16-bit cell
      ASSERT_EQ(vec.Dots(m), plain.Dots(m)) << "trial " << trial << " m " << m;
    }
  }
}
#endif

}  // namespace
}  // namespace vantik::halftone_b
