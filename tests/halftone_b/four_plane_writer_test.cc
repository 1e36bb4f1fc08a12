// The four-plane writer of the colour kernels must pack exactly as four
// separate PlaneWriters do, for every first bit and run length, including
// the plane-3 scratch byte of three-plane mode.
#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "halftone_b/kernels/four_plane_writer.h"
#include "halftone_b/kernels/plane_writer.h"

namespace vantik::halftone_b {
namespace {

TEST(FourPlaneWriter, MatchesFourPlaneWritersOnRandomRuns) {
  std::mt19937 rng(7);
  for (int trial = 0; trial < 3000; ++trial) {
    const int32_t firstBit = static_cast<int32_t>(rng() % 8);
    const uint32_t count = rng() % 70;
    const bool fourPlanes = rng() % 4 != 0;
    const int32_t stride = 12;
    std::vector<uint8_t> a(4 * stride), b;
    for (auto& v : a) v = static_cast<uint8_t>(rng());
    b = a;
    std::vector<uint32_t> dots(count);
    for (auto& d : dots) d = rng() % 16;

    uint8_t scratchA = 0x5A, scratchB = 0x5A;
    uint8_t* plane3A = fourPlanes ? a.data() + 3 * stride : &scratchA;
    PlaneWriter w0(a.data(), firstBit), w1(a.data() + stride, firstBit),
        w2(a.data() + 2 * stride, firstBit), w3(plane3A, firstBit);
    for (uint32_t d : dots) {
      w0.Put(d & 1);
      w1.Put(d & 2);
      w2.Put(d & 4);
      if (fourPlanes) w3.Put(d & 8);
    }
    w0.Finish();
    w1.Finish();
    w2.Finish();
    if (fourPlanes) w3.Finish();

    FourPlaneWriter w(b.data(), stride, fourPlanes ? b.data() + 3 * stride : &scratchB,
                      fourPlanes, firstBit);
    for (uint32_t d : dots) w.Put(d);
    w.Finish();
    ASSERT_EQ(a, b) << "firstBit " << firstBit << " count " << count
                    << " fourPlanes " << fourPlanes;
  }
}

}  // namespace
}  // namespace vantik::halftone_b
