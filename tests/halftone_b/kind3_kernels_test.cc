// Kind-3 colour kernels: pairs of dots sharing thresholds, the ink-0/ink-3
// overlap above the matrix top, and the diffused ink 1's own reset rules.
#include <gtest/gtest.h>

#include "common/halftone_b_kernel_fixture.h"

namespace vantik::halftone_b {
namespace {

using testing::ColorRun;
using testing::FlatFill;
using testing::KernelInstance;
using testing::KernelSetup;
using testing::Planes;
using testing::RunKernel;

// A 32 x 32 matrix whose even columns hold 276 (matrix byte 20: a component
// between nodes stays on the lower node) and odd columns 970 (byte 202: it
// rounds up).  Component 12 lies between nodes 8 and 16 with weight 127, so
// pixel (12, 255, 255) gives ink 0 level 247 at an even dot, and 239 at an
// odd one, smoothed with its neighbour to 243.  Level table for 1024 cells:
// 247 -> 988, 243 -> 968; the odd dot's cell 970 lies between.
TEST(Kind3, OddDotKeepsThresholdsOfAnEqualPartner) {
  KernelSetup s;
  s.kind = 3;
  s.matrixWidth = s.matrixHeight = 32;
  s.cells.resize(1024);
  for (int i = 0; i < 1024; ++i) s.cells[i] = (i & 1) ? 970 : 276;
  for (HalftoneKernel k : {ColorDitherKernel, ColorDitherDiffusionKernel}) {
    KernelInstance ki(s);
    ASSERT_EQ(ki.table(kSlotLevelTable)[247], 988);
    ASSERT_EQ(ki.table(kSlotLevelTable)[243], 968);
    Planes same(2), differ(2);
    ASSERT_EQ(RunKernel(k, ki, ColorRun({{12, 255, 255}, {12, 255, 255}}), same, 0, 2, 0, 1),
              RC_OK);
    // The partner differs only in a component that leaves ink 0 alone; the
    // odd dot is then computed afresh for its own cell.
    ASSERT_EQ(RunKernel(k, ki, ColorRun({{12, 255, 255}, {12, 255, 254}}), differ, 0, 2, 0, 1),
              RC_OK);
    EXPECT_EQ(same.plane(0)[0], 0xC0);
    EXPECT_EQ(differ.plane(0)[0], 0x80);
  }
}

TEST(Kind3, InksZeroAndThreeOverlapAboveTheMatrixTop) {
  KernelSetup s;
  s.kind = 3;
  s.fill = FlatFill(255, 0, 0, 255);  // s0 = s3 = 256 > top = 255
  KernelInstance ki(s);
  Planes out(2);
  const std::vector<std::array<uint8_t, 3>> px(8, {40, 50, 60});
  ASSERT_EQ(RunKernel(ColorDitherKernel, ki, ColorRun(px), out, 0, 8, 0, 1), RC_OK);
  EXPECT_EQ(out.plane(0)[0], 0xFF);
  EXPECT_EQ(out.plane(3)[0], 0xFF);
  EXPECT_EQ(out.plane(1)[0], 0x00);
  // The tail dot gives the pixel to ink 3 alone.
  Planes tail(2);
  ASSERT_EQ(RunKernel(ColorDitherKernel, ki, ColorRun(px), tail, 0, 7, 0, 1), RC_OK);
  EXPECT_EQ(tail.plane(0)[0], 0xFC);
  EXPECT_EQ(tail.plane(3)[0], 0xFE);
}

// A 255 x 255 matrix: level 255 reads -511 from the level table and the
// matrix top (65024) reads -512 as a signed 16-bit value.  A black pixel then
// gets inks 1 and 2 (from the top) and neither ink 0 nor ink 3.
TEST(Kind3, LevelTableAndTopReadSignedForA255By255Matrix) {
  KernelSetup s;
  s.kind = 3;
  s.matrixWidth = s.matrixHeight = 255;
  s.cells.assign(255 * 255, 100);
  KernelInstance ki(s);
  ASSERT_EQ(ki.table(kSlotLevelTable)[255], -511);
  Planes out(2);
  const std::vector<std::array<uint8_t, 3>> px(8, {0, 0, 0});
  ASSERT_EQ(RunKernel(ColorDitherKernel, ki, ColorRun(px), out, 0, 8, 0, 1), RC_OK);
  const uint8_t expected[4] = {0x00, 0xFF, 0xFF, 0x00};
  for (int k = 0; k < 4; ++k) EXPECT_EQ(out.plane(k)[0], expected[k]) << k;
}

TEST(Kind3, DiffusedInkOneClearsAtWhiteAndLevelZeroOnly) {
  KernelSetup s;
  s.kind = 3;
  s.lineWidth = 128;
  KernelInstance ki(s);
  int16_t* e = ki.line(0);
  for (uint32_t x = 0; x < 128; ++x) e[x] = 5;
  ki.inst.lastLine = 31;
  ki.inst.lastEnd = 40;
  // Pixel 0 has ink 1 level 0 (component 2 = 255), pixel 1 is white.
  Planes out(2);
  ASSERT_EQ(RunKernel(ColorDitherDiffusionKernel, ki,
                      ColorRun({{10, 255, 10}, {255, 255, 255}, {10, 255, 10}, {10, 255, 10}}),
                      out, 0, 4, 100, 31),
            RC_OK);
  EXPECT_EQ(e[100], 0);
  EXPECT_EQ(e[101], 0);
  EXPECT_EQ(e[102], 0);
  // No reset rule: a skipped gap on line 31 keeps its error, and lastEnd is
  // not kept by these kernels.
  for (uint32_t x = 40; x < 100; ++x) ASSERT_EQ(e[x], 5) << x;
  EXPECT_EQ(ki.inst.lastEnd, 40u);
  EXPECT_EQ(ki.inst.lastLine, 31u);
}

TEST(InkDiffusion, LevelZeroDropsForwardErrorAndOddRunsDiffuseTheLastPixel) {
  KernelSetup s;
  s.lutMode = s.renderMode = 0;
  s.lineWidth = 128;
  KernelInstance ki(s);
  int16_t* e = ki.line(0);
  e[10] = 32 * 50;
  Planes out(2);
  // 200 then two level-0 pixels: the error 200 sent forward is dropped.
  ASSERT_EQ(RunKernel(InkDiffusionKernel, ki, {200, 0, 0}, out, 0, 3, 10, 1), RC_OK);
  EXPECT_NE(e[10], 0);
  EXPECT_EQ(e[11], 0);
  EXPECT_EQ(e[12], 0);
  // A run of one pixel is diffused (no tail pixel in this family).
  ASSERT_EQ(RunKernel(InkDiffusionKernel, ki, {200}, out, 0, 1, 20, 1), RC_OK);
  EXPECT_NE(e[20], 0);
  EXPECT_TRUE(out.dot(0, 0));
}

TEST(InkDiffusion, SameLineGapIsClearedOnLinesFifteenModSixteen) {
  for (HalftoneKernel k : {InkDiffusionKernel, InkDiffusionKernelWide, InkDiffusionKernelTall}) {
    KernelSetup s;
    s.lutMode = s.renderMode = 0;
    s.lineWidth = 128;
    KernelInstance ki(s);
    int16_t* e = ki.line(0);
    for (uint32_t x = 0; x < 128; ++x) e[x] = 5;
    ki.inst.lastLine = 31;
    ki.inst.lastEnd = 40;
    Planes out(2);
    ASSERT_EQ(RunKernel(k, ki, {0, 0, 0, 0}, out, 0, 4, 100, 31), RC_OK);
    for (uint32_t x = 0; x < 40; ++x) ASSERT_EQ(e[x], 5) << x;
    for (uint32_t x = 40; x < 104; ++x) ASSERT_EQ(e[x], 0) << x;
    for (uint32_t x = 104; x < 128; ++x) ASSERT_EQ(e[x], 5) << x;
    EXPECT_EQ(ki.inst.lastEnd, 104u);
  }
}

}  // namespace
}  // namespace vantik::halftone_b
