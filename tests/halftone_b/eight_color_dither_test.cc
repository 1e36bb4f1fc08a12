// EightColorDitherKernel: colour lookup, the ink rules of the main loop and
// of the tail dot, source stepping, the fixed column mask, and a pinned
// multi-line result.
#include <gtest/gtest.h>

#include <array>
#include <bitset>
#include <cstdio>
#include <string>
#include <vector>

#include <random>

#include "common/halftone_b_fixtures.h"
#include "halftone_b/kernels/eight_color_dither.h"
#include "halftone_b/kernels/kernels.h"
#include "halftone_b/resources.h"

namespace vantik::halftone_b {
namespace {

using testing::KernelRig;
using testing::MakeParams;

constexpr int32_t kStride = 16;  // bytes between planes

using Pixel = std::array<uint8_t, 4>;
// Byte 0 is never read; bytes 1..3 above 128 are the colour's bits.
constexpr Pixel kIndex0 = {255, 0, 0, 0};
constexpr Pixel kWhite = {0, 200, 129, 255};

std::vector<uint8_t> Pixels(std::initializer_list<Pixel> list) {
  std::vector<uint8_t> v;
  for (const Pixel& p : list) v.insert(v.end(), p.begin(), p.end());
  return v;
}

// A rig with identity levels and one matrix row of the given cells.
struct Rig : KernelRig {
  explicit Rig(std::vector<int16_t> row, int32_t scale = 0, uint32_t width = 64,
               uint32_t height = 1)
      : KernelRig(MakeParams(0, 1, 720, 720, 128, 0, scale), width, height, row) {
    for (int a = 0; a < 256; ++a) level()[a] = static_cast<int16_t>(a);
  }
  void SetEntry(uint32_t node, int s0, int s1, int s2, int s3) {
    ink(node, 0) = static_cast<uint8_t>(s0);
    ink(node, 1) = static_cast<uint8_t>(s1);
    ink(node, 2) = static_cast<uint8_t>(s2);
    ink(node, 3) = static_cast<uint8_t>(s3);
  }
  // Runs and returns the four planes, kStride bytes each.
  std::vector<uint8_t> Run(const std::vector<uint8_t>& src, uint32_t count, uint32_t x0 = 0,
                           uint32_t y = 0, int32_t firstBit = 0) {
    std::vector<uint8_t> planes(4 * kStride, 0);
    EXPECT_EQ(EightColorDitherKernel(&instance, src.data(), planes.data(), kStride, firstBit,
                                     count, x0, 0, y, 0, nullptr),
              0u);
    return planes;
  }
};

// Inks set at the first dot of each plane.
std::string FirstDotInks(const std::vector<uint8_t>& planes) {
  std::string s;
  for (int k = 0; k < 4; ++k) {
    if (planes[k * kStride] & 0x80) s += static_cast<char>('0' + k);
  }
  return s;
}

int DotsInPlane(const std::vector<uint8_t>& planes, int k) {
  int n = 0;
  for (int i = 0; i < kStride; ++i) n += static_cast<int>(std::bitset<8>(planes[k * kStride + i]).count());
  return n;
}

std::vector<int16_t> Ramp64() {
  std::vector<int16_t> row(64);
  for (int i = 0; i < 64; ++i) row[i] = static_cast<int16_t>(i);
  return row;
}

TEST(EightColorDitherKernel, MainLoopInkRules) {
  // 64 cells: top = 63.  Each case runs two dots of one pixel (scale 1)
  // from column m, whose cell is m.
  struct Case {
    int s0, s1, s2, s3, m;
    const char* inks;
  };
  const Case cases[] = {
      // s0 + s3 <= top: ink 3 below s3, else ink 0 below s0 + s3.
      {20, 0, 0, 10, 5, "3"},   {20, 0, 0, 10, 10, "0"},
      {20, 0, 0, 10, 29, "0"},  {20, 0, 0, 10, 30, ""},
      {53, 0, 0, 10, 63, ""},   {53, 0, 0, 10, 62, "0"},
      // s0 + s3 > top: ink 3 below s3 and, independently, ink 0 from the top.
      {30, 0, 0, 40, 5, "3"},   {30, 0, 0, 40, 35, "03"},
      {30, 0, 0, 40, 50, "0"},  {30, 0, 0, 40, 33, "3"},
      // Inks 1 and 2 count from the top, independently.
      {0, 10, 0, 0, 60, "1"},   {0, 10, 0, 0, 53, ""},
      {0, 10, 20, 0, 50, "2"},  {0, 10, 20, 0, 43, ""},
      {0, 10, 20, 0, 54, "12"},
  };
  for (const Case& c : cases) {
    Rig rig(Ramp64(), 1);
    rig.SetEntry(0, c.s0, c.s1, c.s2, c.s3);
    EXPECT_EQ(FirstDotInks(rig.Run(Pixels({kIndex0}), 2, c.m)), c.inks)
        << c.s0 << "," << c.s1 << "," << c.s2 << "," << c.s3 << " over " << c.m;
  }
}

TEST(EightColorDitherKernel, ColourBitsPickTheEntry) {
  // Entry n gives ink 0 the level 8n; over a ramp of 0..63 that sets 8n
  // dots in plane 0.  The white pixel sets none whatever entry 7 holds.
  const Pixel pixels[8] = {{0, 0, 0, 0},       {0, 0, 0, 129},   {0, 0, 129, 128},
                           {0, 128, 255, 200}, {0, 129, 0, 0},   {0, 200, 10, 130},
                           {0, 255, 129, 0},   {0, 129, 129, 129}};
  for (uint32_t n = 0; n < 8; ++n) {
    Rig rig(Ramp64());
    for (uint32_t e = 0; e < 8; ++e) rig.SetEntry(e, static_cast<int>(8 * e), 0, 0, 0);
    std::vector<uint8_t> src;
    for (int i = 0; i < 64; ++i) src.insert(src.end(), pixels[n].begin(), pixels[n].end());
    EXPECT_EQ(DotsInPlane(rig.Run(src, 64), 0), n == 7 ? 0 : static_cast<int>(8 * n)) << n;
  }
}

TEST(EightColorDitherKernel, TailDotRules) {
  // A run of one dot is all tail: one pixel, no white test, and at most one
  // ink of each pair.
  struct Case {
    Pixel pixel;
    int s0, s1, s2, s3, m;
    const char* inks;
  };
  const Case cases[] = {
      {kWhite, 0, 0, 0, 40, 35, "3"},    // a white pixel is looked up (entry 7)
      {kIndex0, 30, 0, 0, 40, 35, "3"},  // the main loop would set 0 and 3
      {kIndex0, 30, 0, 0, 40, 50, "0"},  // below s0 + s3
      {kIndex0, 30, 0, 0, 40, 62, "0"},  // main loop: s0 > 63 - 62 too
      {kIndex0, 0, 10, 20, 0, 60, "1"},  // n = 63 - 60 = 3 < s1
      {kIndex0, 0, 10, 20, 0, 50, "2"},  // n = 13: not below s1, below s1 + s2
      {kIndex0, 0, 10, 20, 0, 33, ""},   // n = 30
  };
  for (const Case& c : cases) {
    Rig rig(Ramp64());
    rig.SetEntry(c.pixel == kWhite ? 7 : 0, c.s0, c.s1, c.s2, c.s3);
    EXPECT_EQ(FirstDotInks(rig.Run(Pixels({c.pixel}), 1, c.m)), c.inks) << c.m;
  }
}

TEST(EightColorDitherKernel, OddRunsEndInATailDot) {
  // Three dots at scale 0: one pair of two pixels, then the tail reads the
  // third.  Entry 0 sets ink 3 everywhere, entry 7 (white) ink 1 everywhere.
  Rig rig(std::vector<int16_t>(64, 0));
  rig.SetEntry(0, 0, 0, 0, 64);
  rig.SetEntry(7, 0, 64, 0, 0);
  std::vector<uint8_t> planes = rig.Run(Pixels({kIndex0, kWhite, kWhite}), 3, 0, 0, 2);
  EXPECT_EQ(planes[3 * kStride], 0x20);  // dot 0 only
  EXPECT_EQ(planes[1 * kStride], 0x08);  // the white tail dot is looked up
  EXPECT_EQ(planes[0], 0);
  EXPECT_EQ(planes[2 * kStride], 0);
}

TEST(EightColorDitherKernel, SourceStepping) {
  // Entry 0 sets ink 3 at every cell, white sets nothing.
  struct Case {
    int32_t scale;
    std::vector<uint8_t> src;
    uint32_t count;
    uint8_t plane3;
  };
  const Case cases[] = {
      {0, Pixels({kIndex0, kWhite, kWhite, kIndex0}), 4, 0x90},
      {-1, Pixels({kIndex0, kWhite, kWhite, kIndex0}), 4, 0x90},  // like scale 0
      {1, Pixels({kIndex0, kWhite}), 4, 0xC0},                   // a pixel per pair
      {1, Pixels({kWhite, kIndex0, kIndex0}), 5, 0x38},           // the tail reads the third
      {0, Pixels({kWhite, kIndex0, kIndex0}), 3, 0x60},
  };
  for (const Case& c : cases) {
    Rig rig(std::vector<int16_t>(64, 0), c.scale);
    rig.SetEntry(0, 0, 0, 0, 64);
    EXPECT_EQ(rig.Run(c.src, c.count)[3 * kStride], c.plane3) << "scale " << c.scale;
  }
}

TEST(EightColorDitherKernel, PlanesAndFirstBit) {
  Rig rig(std::vector<int16_t>(64, 0));
  rig.SetEntry(0, 64, 64, 64, 0);  // inks 0, 1 and 2 everywhere
  std::vector<uint8_t> planes(4 * kStride, 0xFF);
  std::vector<uint8_t> src = Pixels({kIndex0, kIndex0, kIndex0, kIndex0, kIndex0, kIndex0});
  ASSERT_EQ(EightColorDitherKernel(&rig.instance, src.data(), planes.data(), kStride, 5, 6, 0,
                                   0, 0, 0, nullptr),
            0u);
  for (int k = 0; k < 3; ++k) {
    EXPECT_EQ(planes[k * kStride], 0xFF) << k;  // earlier bits kept, 3 dots set
    EXPECT_EQ(planes[k * kStride + 1], 0xE0) << k;
    EXPECT_EQ(planes[k * kStride + 2], 0xFF) << k;  // untouched
  }
  EXPECT_EQ(planes[3 * kStride], 0xF8);
  EXPECT_EQ(planes[3 * kStride + 1], 0x00);
  EXPECT_EQ(rig.instance.lastLine, 0u);

  // Count 0 with a first bit clears the rest of each plane's first byte.
  std::vector<uint8_t> empty(4 * kStride, 0xFF);
  rig.instance.lastLine = 3;
  ASSERT_EQ(EightColorDitherKernel(&rig.instance, src.data(), empty.data(), kStride, 2, 0, 0, 0,
                                   8, 0, nullptr),
            0u);
  for (int k = 0; k < 4; ++k) EXPECT_EQ(empty[k * kStride], 0xC0);
  EXPECT_EQ(rig.instance.lastLine, 8u);
}

TEST(EightColorDitherKernel, MainLoopAndTailUseDifferentColumns) {
  // A 4 x 2 matrix: the main loop reads row[x AND 63], the tail row[x AND 3].
  // On line 0, x = 4 is cell 4 (0) for the main loop but cell 0 (50) for
  // the tail, where ink 3 misses and n = 7 - 50 falls below s1 = 0.
  Rig rig({50, 50, 50, 50, 0, 0, 0, 0}, 1, 4, 2);
  rig.SetEntry(0, 0, 0, 0, 5);
  EXPECT_EQ(FirstDotInks(rig.Run(Pixels({kIndex0}), 2, 4)), "3");
  EXPECT_EQ(FirstDotInks(rig.Run(Pixels({kIndex0}), 1, 4)), "1");
}

TEST(EightColorDitherKernel, NarrowMatrixReadsStayInTheMatrixBlock) {
  // Through the resource steps: a 4 x 4 matrix block, so the main loop's
  // row[x AND 63] runs on past the cells into the level table of the same
  // block.  The result equals a 64-wide row holding exactly those values.
  testing::TestLut lut = testing::MakeTestLut();
  testing::EngineBSession s;
  std::vector<int16_t> cells = {3, 9, 1, 12, 7, 0, 15, 4, 11, 2, 14, 6, 5, 13, 8, 10};
  ASSERT_TRUE(s.Start(MakeParams(0, 1, 720, 720, 64), lut, testing::IdListBlock({600, 601}),
                      {}, testing::MatrixBlock(4, 4, cells)));
  auto& inst = *static_cast<HalftoneInstanceB*>(s.handle);
  const auto* block = static_cast<const int16_t*>(inst.slots[kSlotThresholdMatrix].data);
  const auto* sampled = static_cast<const uint8_t*>(inst.slots[kSlotSampledLut].data);
  const auto* level = static_cast<const int16_t*>(inst.slots[kSlotLevelTable].data);

  for (uint32_t y = 0; y < 4; ++y) {
    std::vector<uint8_t> src;
    for (int i = 0; i < 64; ++i) {
      const Pixel p = {0, static_cast<uint8_t>(i * 37), static_cast<uint8_t>(i * 11 + y),
                       static_cast<uint8_t>(i * 5)};
      src.insert(src.end(), p.begin(), p.end());
    }
    std::vector<uint8_t> planes(4 * kStride, 0);
    ASSERT_EQ(HalftoneThk(s.handle, src.data(), planes.data(), kStride, 0, 64, 0, 0, y, 0,
                          nullptr),
              0u);

    std::vector<int16_t> row(block + y * 4, block + y * 4 + 64);
    Rig wide(row, 0, 64, 1);
    wide.instance.matrixCells = 16;  // same top as the real matrix
    for (int a = 0; a < 256; ++a) wide.level()[a] = level[a];
    for (int n = 0; n < 32; ++n) wide.sampled[n] = sampled[n];
    EXPECT_EQ(planes, wide.Run(src, 64)) << "line " << y;
  }
}

std::string Hex(const std::vector<uint8_t>& bytes) {
  std::string s;
  char buf[3];
  for (uint8_t b : bytes) {
    std::snprintf(buf, sizeof buf, "%02x", b);
    s += buf;
  }
  return s;
}

// Through the entry points on a real resource set: the 2 x 2 x 2 table
// re-sampled from a 3-node CmLut, a 16 x 16 matrix, runs on four lines with
// odd and even counts.  The four planes are pinned.
std::string GoldenRuns(int32_t scale) {
  testing::TestLut lut = testing::MakeTestLut();
  testing::EngineBSession s;
  EXPECT_TRUE(s.Start(MakeParams(0, 1, 720, 720, 100, 0, scale), lut));
  uint32_t seed = 777;
  std::string all;
  const uint32_t x0s[4] = {0, 9, 30, 51};
  const uint32_t counts[4] = {40, 37, 33, 48};
  for (uint32_t line = 0; line < 4; ++line) {
    std::vector<uint8_t> src(4 * 48);
    for (uint8_t& b : src) {
      seed = seed * 1103515245u + 12345u;
      b = static_cast<uint8_t>(seed >> 24);
    }
    std::vector<uint8_t> planes(4 * 8, 0);
    EXPECT_EQ(HalftoneThk(s.handle, src.data(), planes.data(), 8, static_cast<int32_t>(line),
                          counts[line], x0s[line], 0, line * 5 + 1, 0, nullptr),
              0u);
    all += Hex(planes) + " ";
  }
  return all;
}

TEST(EightColorDitherKernel, Golden) {
  EXPECT_EQ(GoldenRuns(0),
            "08c11839f30000007b7399d8f8000000be2b1574930000000801101090000000 "
            "76f682ee680000007a6f5b7fc00000005194f031bc0000005004002000000000 "
            "0ace256fc00000001f1aa811a00000000dccf796000000000808200000000000 "
            "0ff386c00a74c00010d4653ca70d40001b563846713ac0000050000000004000 ");
  EXPECT_EQ(GoldenRuns(1),
            "00c0f003030000003fcf3f0fc3000000cffc0ccf0300000000c0000303000000 "
            "7e79fe79800000007f9879fe6400000066078661f80000006600006000000000 "
            "0333c3f0000000000ffc0f332000000003cfc3c3c00000000300030020000000 "
            "07fff87e01e7800018079981e19860001e7999e07e0180000001980000000000 ");
}

// The sixteen-dot path against the dot-by-dot one: matrices of 64 columns
// and narrower (whose main loop reads on into later rows and the level
// table), colour tables whose levels run past the matrix, every scale,
// every run length 0..100 with odd ones ending in a tail dot, every first
// bit, and a source that ends where the run's last pixel does.
TEST(EightColorDitherKernel, SixteenDotPathGivesTheDotByDotBits) {
  std::mt19937 rng(31);
  struct Shape {
    uint32_t width, height;
  };
  const Shape shapes[] = {{64, 64}, {64, 3}, {16, 5}, {1, 1}, {48, 2}};
  for (const Shape& shape : shapes) {
    for (int32_t scale : {0, 1, -1}) {
      const uint32_t cells = shape.width * shape.height;
      std::vector<int16_t> cellValues(cells);
      for (int16_t& v : cellValues) v = static_cast<int16_t>(rng() % (cells + 20)) - 10;
      KernelRig rig(MakeParams(0, 1, 720, 720, 300, 0, scale), shape.width, shape.height,
                    cellValues);
      for (int a = 0; a < 256; ++a) rig.level()[a] = static_cast<int16_t>(rng() % (cells + 40));
      for (uint32_t node = 0; node < 8; ++node)
        for (int k = 0; k < 4; ++k) rig.ink(node, k) = static_cast<uint8_t>(rng());
      ASSERT_EQ(BuildEightColourDots(rig.instance), 0u);
      for (uint32_t count = 0; count <= 100; ++count) {
        const int32_t firstBit = static_cast<int32_t>(rng() % 8);
        const uint32_t x0 = rng() % (300 - count + 1), y = rng() % 200;
        const uint32_t pixels = scale == 1 ? (count + 1) / 2 : count;
        std::vector<uint8_t> src(4 * size_t{pixels});
        for (uint8_t& b : src) {
          const uint8_t near[] = {0, 128, 129, 255};
          b = rng() % 2 ? static_cast<uint8_t>(rng()) : near[rng() % 4];
        }
        const int32_t stride = 16;
        std::vector<uint8_t> before(4 * stride);
        for (uint8_t& b : before) b = static_cast<uint8_t>(rng());
        std::vector<uint8_t> want = before, got = before;
        ASSERT_EQ(EightColorDitherWith(DitherPath::kPerDot, &rig.instance, src.data(),
                                       want.data(), stride, firstBit, count, x0, y, 0),
                  0u);
        ASSERT_EQ(EightColorDitherWith(DitherPath::kSse2, &rig.instance, src.data(), got.data(),
                                       stride, firstBit, count, x0, y, 0),
                  0u);
        ASSERT_EQ(Hex(got), Hex(want)) << shape.width << " x " << shape.height << ", scale "
                                       << scale << ", count " << count << ", first bit "
                                       << firstBit << ", x0 " << x0 << ", y " << y;
      }
      ReleaseSlots(rig.instance);
    }
  }
}

}  // namespace
}  // namespace vantik::halftone_b
