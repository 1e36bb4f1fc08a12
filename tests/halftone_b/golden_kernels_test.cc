// Golden runs: a fixed resource set and a fixed multi-line input per kernel,
// with the output planes, the error lines and the dot counts pinned, so that
// later optimisation cannot change a bit unnoticed.  The input mixes smooth
// ramps, white (or level-0) pixels, an odd run, a skipped line, a line 15 mod
// 16 and a line split into two runs, the second starting mid-byte.
#include <gtest/gtest.h>

#include <bit>

#include "common/halftone_b_kernel_fixture.h"

namespace vantik::halftone_b {
namespace {

using testing::Fnv1a;
using testing::KernelInstance;
using testing::KernelSetup;

struct GoldenRun {
  uint32_t y, x0, count;
};

constexpr uint32_t kWidth = 64;
constexpr GoldenRun kRuns[] = {{0, 0, 64}, {1, 3, 45}, {2, 0, 64}, {15, 8, 40},
                               {16, 0, 21}, {16, 21, 43}, {17, 1, 62}};

uint8_t Component(int k, uint32_t x, uint32_t y) {
  switch (k) {
    case 0: return static_cast<uint8_t>(x * 4 + y * 16);
    case 1: return static_cast<uint8_t>(128 + (x * 7) % 100 - y * 9);
    default: return static_cast<uint8_t>(255 - ((x * 3 + y * 5) & 255));
  }
}

// Source of one run.  Colour pixels carry a fourth byte (ink 0's level in
// the direct form); every 11th column is white.  Level bytes are 0 at every
// 9th column.  With horizontalScale 1 the run reads half as many pixels.
std::vector<uint8_t> Source(bool colour, const GoldenRun& r) {
  std::vector<uint8_t> s;
  for (uint32_t i = 0; i <= r.count; ++i) {
    const uint32_t x = r.x0 + i;
    if (colour) {
      const bool white = x % 11 == 5;
      s.push_back(static_cast<uint8_t>(x * 9 + r.y));
      for (int k = 0; k < 3; ++k) s.push_back(white ? 255 : Component(k, x, r.y));
    } else {
      s.push_back(x % 9 == 4 ? 0 : static_cast<uint8_t>(x * 5 + r.y * 13));
    }
  }
  return s;
}

struct GoldenCase {
  const char* name;
  HalftoneKernel kernel;
  int32_t kind, lutMode, renderMode;
  uint64_t planeHash, lineHash;
  int dots[4];
};

// name, kernel, kind, lutMode, renderMode, hash of every line's planes after
// every run, hash of the four error lines at the end, dots of the last line.
const GoldenCase kCases[] = {
#include "golden_kernels_values.inc"
};

struct GoldenResult {
  uint64_t planeHash = 1469598103934665603ull, lineHash = 0;
  int dots[4] = {0, 0, 0, 0};
};

GoldenResult RunGolden(const GoldenCase& c) {
  KernelSetup s;
  s.kind = c.kind;
  s.lutMode = c.lutMode;
  s.renderMode = c.renderMode;
  s.lineWidth = kWidth;
  KernelInstance ki(s);
  GoldenResult g;
  uint8_t planes[4 * 8];
  uint32_t lastY = 0xFFFFFFFFu;
  for (const GoldenRun& r : kRuns) {
    if (r.y != lastY) {
      std::memset(planes, 0, sizeof planes);
      lastY = r.y;
    }
    const auto src = Source(c.lutMode != 0, r);
    EXPECT_EQ(c.kernel(&ki.inst, src.data(), planes + r.x0 / 8, 8,
                       static_cast<int32_t>(r.x0 % 8), r.count, r.x0, 0, r.y, 0,
                       nullptr),
              RC_OK);
    g.planeHash = Fnv1a(planes, sizeof planes, g.planeHash);
  }
  for (int k = 0; k < 4; ++k) {
    // Dots of the last line's planes.
    for (int b = 0; b < 8; ++b) g.dots[k] += std::popcount(planes[8 * k + b]);
  }
  g.lineHash = 1469598103934665603ull;
  for (int i = 0; i < 4; ++i) {
    const auto l = ki.wholeLine(i);
    g.lineHash = Fnv1a(l.data(), l.size() * 2, g.lineHash);
  }
  return g;
}

TEST(GoldenKernels, PlanesAndErrorLinesArePinned) {
  for (const GoldenCase& c : kCases) {
    const GoldenResult g = RunGolden(c);
    EXPECT_EQ(g.planeHash, c.planeHash) << c.name;
    EXPECT_EQ(g.lineHash, c.lineHash) << c.name;
    for (int k = 0; k < 4; ++k) EXPECT_EQ(g.dots[k], c.dots[k]) << c.name << " plane " << k;
  }
}

}  // namespace
}  // namespace vantik::halftone_b
