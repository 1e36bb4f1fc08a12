// MatrixDitherKernel: thresholds against the matrix, source stepping, bit
// packing, and a pinned multi-line result.
#include <gtest/gtest.h>

#include <cstdio>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "common/halftone_b_fixtures.h"
#include "halftone_b/kernels/kernels.h"
#include "halftone_b/kernels/matrix_dither.h"
#include "halftone_b/resources.h"

namespace vantik::halftone_b {
namespace {

using testing::KernelRig;
using testing::MakeParams;

std::string Hex(const std::vector<uint8_t>& bytes) {
  std::string s;
  char buf[3];
  for (uint8_t b : bytes) {
    std::snprintf(buf, sizeof buf, "%02x", b);
    s += buf;
  }
  return s;
}

// 4 x 2 matrix; the level table is the identity unless a test changes it.
struct Rig : KernelRig {
  explicit Rig(int32_t kind = 3, int32_t scale = 0)
      : KernelRig(MakeParams(kind, 0, 720, 720, 64, 0, scale), 4, 2,
                  {0, 5, 10, -3, 20, 30, 40, 50}) {
    for (int a = 0; a < 256; ++a) level()[a] = static_cast<int16_t>(a);
  }
  uint32_t Run(const std::vector<uint8_t>& src, uint8_t* dst, uint32_t count,
               uint32_t x0 = 0, uint32_t y = 0, int32_t firstBit = 0) {
    return MatrixDitherKernel(&instance, src.data(), dst, 0, firstBit, count, x0, 0, y, 0,
                              nullptr);
  }
  bool Dot(uint8_t a, uint32_t x, uint32_t y) {
    uint8_t out = 0;
    EXPECT_EQ(Run({a}, &out, 1, x, y), 0u);
    return out == 0x80;
  }
};

TEST(MatrixDitherKernel, DotWhenTheCellIsBelowANonZeroThreshold) {
  struct Case {
    uint8_t a;
    uint32_t x, y;
    bool dot;
  };
  const Case cases[] = {
      {0, 3, 0, false},  // threshold 0 sets nothing, even over cell -3
      {1, 3, 0, true},   {5, 1, 0, false},  // a cell equal to the threshold
      {6, 1, 0, true},   {6, 5, 0, true},    // column 5 AND 3 = 1
      {6, 2, 0, false},  {20, 0, 1, false}, {21, 0, 1, true},
      {21, 0, 3, true},  // row 3 mod 2 = 1
      {21, 0, 2, true},  // row 0, cell 0
      {41, 6, 1, true},  {41, 2, 3, true},  {40, 2, 3, false},
  };
  for (const Case& c : cases) {
    Rig rig;
    EXPECT_EQ(rig.Dot(c.a, c.x, c.y), c.dot)
        << "level " << int(c.a) << " at " << c.x << "," << c.y;
  }
  Rig rig;
  rig.level()[200] = -2;  // negative thresholds compare signed
  EXPECT_TRUE(rig.Dot(200, 3, 0));
  EXPECT_FALSE(rig.Dot(200, 0, 0));
}

TEST(MatrixDitherKernel, KindZeroKnowsTwoLevels) {
  Rig rig(0);
  rig.level()[0] = 10;
  rig.level()[255] = 35;
  EXPECT_TRUE(rig.Dot(128, 1, 0));    // level[0] = 10 over cell 5
  EXPECT_FALSE(rig.Dot(128, 2, 0));   // 10 over cell 10
  EXPECT_TRUE(rig.Dot(129, 0, 1));    // level[255] = 35 over cell 20
  EXPECT_FALSE(rig.Dot(255, 2, 1));   // 35 over cell 40
  EXPECT_TRUE(rig.Dot(0, 0, 0));
}

TEST(MatrixDitherKernel, SourceStepping) {
  // One matrix row of zeros: a dot wherever the level is not 0.
  struct Case {
    int32_t scale;
    std::vector<uint8_t> src;  // exactly the bytes the run may read
    uint32_t count;
    uint8_t bits;
  };
  const Case cases[] = {
      {0, {0, 9, 0, 1, 1}, 5, 0x58},
      {1, {0, 9, 0}, 6, 0x30},        // pairs of dots share a pixel
      {1, {7, 0, 3}, 5, 0xC8},        // the odd last dot reads a pixel of its own
      {-1, {5, 0, 0, 5, 7, 8}, 3, 0x20},  // the smaller of each pair
      {-1, {1, 1, 255, 2}, 2, 0xC0},
  };
  for (const Case& c : cases) {
    KernelRig rig(MakeParams(3, 0, 720, 720, 64, 0, c.scale), 8, 1, std::vector<int16_t>(8, 0));
    for (int a = 0; a < 256; ++a) rig.level()[a] = static_cast<int16_t>(a);
    uint8_t out = 0;
    EXPECT_EQ(MatrixDitherKernel(&rig.instance, c.src.data(), &out, 0, 0, c.count, 0, 0, 0, 0,
                                 nullptr),
              0u);
    EXPECT_EQ(out, c.bits) << "scale " << c.scale;
  }
}

TEST(MatrixDitherKernel, FirstBitAndPartlyFilledBytes) {
  struct Case {
    int32_t firstBit;
    uint32_t count;
    std::vector<uint8_t> expected;  // four bytes, 0x5A before the run
  };
  const Case cases[] = {
      {0, 0, {0x5A, 0x5A, 0x5A, 0x5A}},  // nothing written
      {3, 0, {0x40, 0x5A, 0x5A, 0x5A}},  // earlier bits kept, the rest cleared
      {0, 1, {0x80, 0x5A, 0x5A, 0x5A}},
      {3, 1, {0x50, 0x5A, 0x5A, 0x5A}},
      {3, 5, {0x5F, 0x5A, 0x5A, 0x5A}},  // exactly fills the first byte
      {3, 13, {0x5F, 0xFF, 0x5A, 0x5A}},
      {3, 14, {0x5F, 0xFF, 0x80, 0x5A}},
      {7, 2, {0x5B, 0x80, 0x5A, 0x5A}},
  };
  for (const Case& c : cases) {
    Rig rig;
    rig.level()[255] = 1000;
    std::vector<uint8_t> src(c.count + 1, 255);
    std::vector<uint8_t> out(4, 0x5A);
    rig.instance.lastLine = 9;
    EXPECT_EQ(rig.Run(src, out.data(), c.count, 0, 4, c.firstBit), 0u);
    EXPECT_EQ(Hex(out), Hex(c.expected)) << "first bit " << c.firstBit << " count " << c.count;
    EXPECT_EQ(rig.instance.lastLine, 4u);
  }
}

// The kernel through the entry points on a real resource set: a 16 x 16
// matrix, a bent tone curve, four runs of 48 dots on different lines and
// columns.  The planes are pinned.
std::string GoldenRuns(int32_t kind, int32_t scale) {
  testing::TestLut lut = testing::MakeTestLut();
  for (int i = 0; i < 256; ++i) lut.lut.toneCurve[i] = static_cast<uint8_t>(i * i / 255);
  testing::EngineBSession s;
  EXPECT_TRUE(s.Start(MakeParams(kind, 0, 720, 720, 100, 0, scale), lut));
  uint32_t seed = 12345;
  std::string all;
  const uint32_t x0s[4] = {0, 5, 17, 52};
  for (uint32_t line = 0; line < 4; ++line) {
    std::vector<uint8_t> src(96);
    for (size_t i = 0; i < src.size(); ++i) {
      seed = seed * 1103515245u + 12345u;
      src[i] = static_cast<uint8_t>((i * 5 + line * 40) + (seed >> 27));
    }
    std::vector<uint8_t> out(7, 0);
    EXPECT_EQ(HalftoneThk(s.handle, src.data(), out.data(), 0, static_cast<int32_t>(line), 48,
                          x0s[line], 0, line * 7 + 3, 0, nullptr),
              0u);
    all += Hex(out) + " ";
  }
  return all;
}

TEST(MatrixDitherKernel, Golden) {
  EXPECT_EQ(GoldenRuns(3, 0),
            "0000002094fe00 00040406de8000 02024b4f480000 10125be0000000 ");
  EXPECT_EQ(GoldenRuns(3, 1),
            "00000000002000 00000004040480 020202424a4b40 10101212537f60 ");
  EXPECT_EQ(GoldenRuns(3, -1),
            "00201600002400 0004d000049c00 024b40024b6000 105a00001b0000 ");
  EXPECT_EQ(GoldenRuns(0, 0),
            "000001ffffff00 00037ffffea000 00dfffffc80000 0fffffe0000000 ");
}

// ---- Level bounds and the vector paths --------------------------------------

// A rig whose instance carries the level bounds, as the matrix step makes
// them; the bounds' block is released with the rig.
struct BoundsRig : KernelRig {
  BoundsRig(int32_t kind, int32_t scale, uint32_t width, uint32_t height,
            const std::vector<int16_t>& cells, const std::vector<int16_t>& levels)
      : KernelRig(MakeParams(kind, 0, 720, 720, 400, 0, scale), width, height, cells) {
    std::copy(levels.begin(), levels.end(), level());
    code = BuildDitherBounds(instance);
  }
  ~BoundsRig() { ReleaseSlots(instance); }
  uint32_t code;
};

std::vector<int16_t> Levels(const std::function<int(int)>& f) {
  std::vector<int16_t> t(256);
  for (int a = 0; a < 256; ++a) t[a] = static_cast<int16_t>(f(a));
  return t;
}

// The level table the matrix step builds for a matrix of `cells` cells.
std::vector<int16_t> StepLevels(uint32_t cells) {
  int16_t dw[256];
  EXPECT_TRUE(BuildDotWeightTable(350, 100, dw));
  std::vector<int16_t> t(256);
  BuildLevelTable(cells, dw, t.data());
  return t;
}

TEST(MatrixDitherKernel, BoundsExistOnlyWhereTheThresholdsNeverFall) {
  struct Case {
    const char* name;
    int32_t kind;
    std::vector<int16_t> levels;
    bool bounds;
  };
  const Case cases[] = {
      {"identity", 3, Levels([](int a) { return a; }), true},
      {"zeros, then negative and rising", 3, Levels([](int a) { return a < 10 ? 0 : 2 * a - 201; }),
       true},
      {"all zero", 3, Levels([](int) { return 0; }), true},
      {"falls once", 3, Levels([](int a) { return a == 77 ? 5 : a; }), false},
      // 0 means no dot, so a 0 after a negative threshold is a fall.
      {"zero after a negative", 3, Levels([](int a) { return a - 100; }), false},
      {"kind 0, rising", 0, Levels([](int a) { return a == 255 ? 40 : (a == 0 ? 3 : -999); }),
       true},
      // Kind 0 reads entries 0 and 255 only.
      {"kind 0, falling", 0, Levels([](int a) { return a == 0 ? 40 : 3; }), false},
  };
  for (const Case& c : cases) {
    BoundsRig rig(c.kind, 0, 4, 2, {0, 5, 10, -3, 20, 30, 40, 50}, c.levels);
    EXPECT_EQ(rig.code, 0u);
    EXPECT_EQ(DitherBoundsOf(rig.instance) != nullptr, c.bounds) << c.name;
  }
}

TEST(MatrixDitherKernel, EveryPathGivesTheDotByDotBits) {
  struct Case {
    const char* name;
    int32_t kind;
    uint32_t width, height;
    std::vector<int16_t> levels;
    int16_t cellLow, cellHigh;  // cells drawn from this range
  };
  const Case cases[] = {
      {"identity 16 x 16", 3, 16, 16, Levels([](int a) { return a; }), -5, 270},
      {"step table 64 x 64", 3, 64, 64, StepLevels(4096), 0, 4095},
      {"step table, width 48", 3, 48, 5, StepLevels(240), -2, 300},
      {"negative thresholds, width 255", 3, 255, 3,
       Levels([](int a) { return a < 10 ? 0 : 2 * a - 201; }), -200, 320},
      {"width 1", 3, 1, 7, Levels([](int a) { return a / 3; }), -1, 90},
      {"width 3", 3, 3, 2, Levels([](int a) { return a; }), 0, 255},
      {"width 8, flat", 3, 8, 1, Levels([](int a) { return a < 50 ? 0 : 5; }), 0, 9},
      {"all zero", 3, 16, 2, Levels([](int) { return 0; }), -10, 10},
      {"kind 0", 0, 32, 4, Levels([](int a) { return a == 255 ? 900 : (a == 0 ? 0 : -1); }), 0,
       1000},
  };
  std::mt19937 rng(7);
  for (const Case& c : cases) {
    std::uniform_int_distribution<int> cellOf(c.cellLow, c.cellHigh);
    std::vector<int16_t> cells(c.width * c.height);
    for (int16_t& v : cells) v = static_cast<int16_t>(cellOf(rng));
    for (int32_t scale : {0, 1, -1}) {
      BoundsRig rig(c.kind, scale, c.width, c.height, cells, c.levels);
      ASSERT_NE(DitherBoundsOf(rig.instance), nullptr) << c.name;
      const uint32_t lineWidth = rig.instance.params.lineWidth;
      for (uint32_t count = 0; count <= 100; ++count) {
        for (int32_t firstBit = 0; firstBit < 8; ++firstBit) {
          const uint32_t x0 = rng() % (lineWidth - count + 1);
          const uint32_t y = rng() % 1000;
          // The source ends where the run's last byte is, at a random
          // alignment, so that a read past it shows under the sanitizer.
          const size_t srcBytes = scale == 1 ? (count + 1) / 2 : (scale == -1 ? 2 * count : count);
          const size_t align = rng() % 32;
          std::vector<uint8_t> src(align + srcBytes);
          for (uint8_t& b : src) b = static_cast<uint8_t>(rng());
          // Levels near the bounds' edges and kind 0's step at 128 as well.
          for (size_t i = align; i < src.size(); i += 3) {
            const uint8_t near[] = {0, 1, 127, 128, 129, 254, 255};
            src[i] = near[rng() % 7];
          }
          std::vector<uint8_t> before((firstBit + count + 7) / 8 + 3);
          for (uint8_t& b : before) b = static_cast<uint8_t>(rng());
          std::vector<uint8_t> expected = before;
          ASSERT_EQ(MatrixDitherWith(DitherPath::kPerDot, &rig.instance, src.data() + align,
                                     expected.data(), firstBit, count, x0, y, 0, nullptr),
                    0u);
          for (DitherPath path : DitherPathsHere()) {
            std::vector<uint8_t> out = before;
            ASSERT_EQ(MatrixDitherWith(path, &rig.instance, src.data() + align, out.data(),
                                       firstBit, count, x0, y, 0, nullptr),
                      0u);
            ASSERT_EQ(Hex(out), Hex(expected))
                << c.name << ", scale " << scale << ", path " << static_cast<int>(path)
                << ", count " << count << ", first bit " << firstBit << ", x0 " << x0
                << ", y " << y;
          }
        }
      }
    }
  }
}

TEST(MatrixDitherKernel, MatrixStepMakesBoundsForTheDefaultResources) {
  for (int32_t kind : {0, 3}) {
    testing::TestLut lut = testing::MakeTestLut();
    testing::EngineBSession s;
    ASSERT_TRUE(s.Start(MakeParams(kind, 0, 720, 720, 100), lut));
    EXPECT_NE(DitherBoundsOf(*static_cast<HalftoneInstanceB*>(s.handle)), nullptr)
        << "kind " << kind;
  }
}

}  // namespace
}  // namespace vantik::halftone_b
