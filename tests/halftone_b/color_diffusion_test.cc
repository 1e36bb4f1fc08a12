// Shared diffusion pieces (jitter, spreads, choice rules, reset rule, tail
// pixel) and the documented behaviours of the four-ink diffusion kernel.
#include <gtest/gtest.h>

#include <cstring>

#include "common/halftone_b_kernel_fixture.h"
#include "halftone_b/kernels/diffusion_frame.h"

namespace vantik::halftone_b {
namespace {

using testing::ColorRun;
using testing::FlatFill;
using testing::KernelInstance;
using testing::KernelSetup;
using testing::Planes;
using testing::RunKernel;

TEST(ThresholdJitter, RangesOfTheEvenIndexes) {
  const struct { int index; int value; } cases[] = {
      {0, 24}, {6, 24}, {8, 20}, {128, 20}, {130, -20}, {246, -20},
      {248, -24}, {254, -24}};
  for (const auto& c : cases) {
    EXPECT_EQ(kThresholdJitter[c.index], c.value) << c.index;
  }
  // The cell's bit 0 is ignored; negative cells use their low byte.
  EXPECT_EQ(ThresholdJitter(7), 24);
  EXPECT_EQ(ThresholdJitter(-1), -24);
}

// One spread applied to an empty line: the total share, the reach on both
// sides, the store weight and the carry, all per unit of E.
struct SpreadCase {
  char set;
  int member;
  int parity;
  double total, store, carry;
  int left, right;
};

void ApplySpread(char set, int member, int32_t E, int p, int16_t* e,
                 int32_t& carry) {
  if (set == 'K') SpreadSetK::Spread(member, e, E, p, carry);
  if (set == 'J') SpreadSetJ::Spread(member, e, E, p, carry);
  if (set == 'V') SpreadSetV::Spread(member, e, E, p, carry);
}

TEST(SpreadSets, SharesReachAndCarryOfEveryMember) {
  const SpreadCase cases[] = {
      {'K', 0, 0, 32, 8, 0, -2, 2},      {'K', 1, 0, 32, 8, 4, -2, 2},
      {'K', 2, 1, 32, 4, 4, -4, 5},      {'K', 2, 0, 32, 6, 4, -4, 4},
      {'K', 3, 0, 32, 3, 3, -7, 7},      {'K', 4, 1, 32, 2, 2, -10, 10},
      {'K', 4, 0, 32, 2, 2, -10, 11},    {'K', 5, 1, 30, 1, 1, -15, 14},
      {'K', 5, 0, 30, 1, 1, -14, 14},    {'J', 0, 1, 32, 8, 0, -3, 2},
      {'J', 0, 0, 32, 8, 0, -2, 3},      {'J', 1, 0, 32, 4, 4, -4, 4},
      {'J', 2, 0, 32, 2, 0, -7, 7},      {'J', 3, 0, 32, 2, 0, -10, 10},
      {'J', 4, 0, 32, 1, 1, -14, 14},    {'J', 5, 0, 32, 0.5, 0.5, -21, 23},
      {'V', 0, 0, 32, 16, 0, -2, 2},     {'V', 1, 0, 32, 8, 8, -1, 2},
      {'V', 2, 0, 32, 12, 4, -2, 2},     {'V', 3, 0, 32, 8, 6, -4, 4},
      {'V', 4, 1, 32, 3, 3, -7, 7},      {'V', 5, 1, 32, 2, 2, -10, 10},
      {'V', 5, 0, 32, 2, 2, -10, 11},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(::testing::Message() << c.set << c.member << " p=" << c.parity);
    int16_t line[64] = {};
    int16_t* e = line + 30;
    const int32_t E = 32, incoming = 5;
    int32_t carry = incoming;
    ApplySpread(c.set, c.member, E, c.parity, e, carry);
    int sum = carry - incoming, left = 0, right = 0;
    for (int i = -30; i < 34; ++i) {
      sum += e[i];
      if (e[i] != 0 && i < left) left = i;
      if (e[i] != 0 && i > right) right = i;
    }
    EXPECT_EQ(sum, c.total * E);
    EXPECT_EQ(e[0], c.store * E + incoming);
    EXPECT_EQ(carry, c.carry * E);
    EXPECT_EQ(left, c.left);
    EXPECT_EQ(right, c.right);
  }
}

TEST(SpreadSets, HalfSharesOfJ5DropTheOddUnit) {
  int16_t line[64] = {};
  int32_t carry = 0;
  SpreadSetJ::Spread(5, line + 30, 3, 0, carry);  // half of 3 is 1
  int sum = carry;
  for (int16_t v : line) sum += v;
  EXPECT_EQ(sum, 18 * 3 + 28 * 1);
  line[0] = 0;
  // Negative error halves toward minus infinity.
  int16_t neg[64] = {};
  carry = 0;
  SpreadSetJ::Spread(5, neg + 30, -3, 0, carry);
  EXPECT_EQ(carry, -2);
}

TEST(SpreadSets, EntriesWrapAtSixteenBits) {
  int16_t line[64] = {};
  int16_t* e = line + 30;
  e[1] = 32000;
  int32_t carry = 0;
  SpreadSetK::Spread(0, e, 100, 0, carry);  // +1 gets 800
  EXPECT_EQ(e[1], static_cast<int16_t>(32800));
}

TEST(SpreadSets, ChoiceRules) {
  const SpreadBounds b{37, 20, 5, 2};
  const struct { char set; int v; bool dot; int bound3; int member; } cases[] = {
      {'K', 38, false, 2, 1}, {'K', 37, false, 2, 0}, {'K', 38, true, 2, 1},
      {'K', 21, true, 2, 2},  {'K', 20, true, 2, 3},  {'K', 5, true, 2, 4},
      {'K', 2, true, 2, 5},   {'K', 2, true, 1, 4},   {'K', 0, false, 2, 0},
      {'J', 200, false, 2, 0}, {'J', 38, true, 2, 1}, {'J', 21, true, 2, 2},
      {'J', 6, true, 2, 3},   {'J', 3, true, 2, 4},   {'J', 2, true, 1, 5},
      {'V', 38, false, 2, 1}, {'V', 38, true, 2, 1},  {'V', 21, false, 2, 2},
      {'V', 21, true, 2, 2},  {'V', 20, false, 2, 0}, {'V', 20, true, 2, 3},
      {'V', 5, true, 2, 4},   {'V', 2, true, 2, 5},   {'V', 2, true, 1, 4},
  };
  for (const auto& c : cases) {
    int got = -1;
    if (c.set == 'K') got = SpreadSetK::Choose(c.v, c.dot, c.bound3, b);
    if (c.set == 'J') got = SpreadSetJ::Choose(c.v, c.dot, c.bound3, b);
    if (c.set == 'V') got = SpreadSetV::Choose(c.v, c.dot, c.bound3, b);
    EXPECT_EQ(got, c.member) << c.set << " v=" << c.v << " dot=" << c.dot
                             << " bound3=" << c.bound3;
  }
}

TEST(ResetErrorLines, RuleCases) {
  constexpr uint32_t W = 64;
  const struct {
    uint32_t prevLine, prevEnd, y, x0, count, from, to;
  } cases[] = {
      {0, 0, 0, 0, 10, 0, 0},      // fresh instance, line 0: nothing
      {0, 0, 1, 5, 10, 0, 0},      // fresh instance, line 1: nothing
      {0, 0, 2, 5, 10, 0, W},      // a skipped line clears the width
      {37, 20, 40, 0, 10, 0, W},
      {14, 30, 15, 12, 4, 0, 12},  // next line, 15 mod 16: [0, x0)
      {14, 30, 15, 0, 4, 0, 0},    // ... unless x0 is 0
      {31, 40, 31, 100 - 60, 4, 0, 0},  // same line, gap not after the end
      {31, 10, 31, 40, 4, 10, 40}, // same line 31: [previous end, x0)
      {30, 10, 30, 40, 4, 0, 0},   // same line, 14 mod 16: nothing
      {15, 50, 16, 0, 8, 50, W},   // next line, 0 mod 16: [previous end, W)
      {15, W, 16, 0, 8, 0, 0},     // a run that reached W counts as 0
      {15, 0, 16, 0, 8, 0, 0},
      {20, 30, 21, 10, 8, 0, 0},   // other lines clear nothing
      {21, 30, 21, 40, 8, 0, 0},
      {0xFFFFFFFFu, 0, 5, 0, 8, 0, W},  // prevLine + 1 wraps to 0
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(::testing::Message() << "prev " << c.prevLine << "/" << c.prevEnd
                                    << " y " << c.y << " x0 " << c.x0);
    HalftoneInstanceB inst{};
    inst.params.lineWidth = W;
    inst.lastLine = c.prevLine;
    inst.lastEnd = c.prevEnd;
    int16_t a[W + 60], b[W + 60];
    for (auto& v : a) v = 7;
    for (auto& v : b) v = 9;
    int16_t* lines[2] = {a + 30, b + 30};
    ResetErrorLines(lines, 2, &inst, c.y, c.count, c.x0);
    EXPECT_EQ(inst.lastLine, c.y);
    EXPECT_EQ(inst.lastEnd, c.x0 + c.count);
    for (int i = 0; i < static_cast<int>(W) + 60; ++i) {
      const int x = i - 30;
      const bool cleared = x >= static_cast<int>(c.from) && x < static_cast<int>(c.to);
      ASSERT_EQ(a[i], cleared ? 0 : 7) << "x=" << x;
      ASSERT_EQ(b[i], cleared ? 0 : 9) << "x=" << x;
    }
  }
}

TEST(TailPixel, InkPairsNeverShareADot) {
  // s0, s1, s2, s3, m, cells - 1 -> inks
  const struct { int32_t s[4]; int32_t m, top; uint32_t dots; } cases[] = {
      {{50, 30, 30, 50}, 10, 100, 8},      // ink 3 from the low cells
      {{50, 30, 30, 50}, 60, 100, 1 | 4},  // then ink 0; n = 40: ink 2
      {{50, 30, 30, 50}, 100, 100, 2},     // n = 0: ink 1
      {{50, 30, 30, 50}, 90, 100, 1 | 2},
      {{50, 30, 30, 50}, 50, 100, 1 | 4},
      {{0, 0, 0, 0}, 0, 100, 0},
      {{10, 0, 0, 0}, -5, 100, 8},         // a negative cell is below s3 = 0
  };
  for (const auto& c : cases) {
    EXPECT_EQ(TailDots(c.s, c.m, c.top), c.dots) << "m=" << c.m;
  }
}

TEST(TailPixel, ColourFormRoundsAtMidpointAndDropsLowLevels) {
  uint8_t node[256], weight[256];
  std::memset(node, 0, sizeof node);
  std::memset(weight, 200, sizeof weight);
  weight[7] = 128;  // component 7 rounds up to node 1
  // 2 x 2 x 2 grid: entry 0 = (31, 40, 0, 0), entry 4 (c1 rounded up) = (90, 0, 0, 0).
  uint8_t lut[32] = {};
  lut[0] = 31;
  lut[1] = 40;
  lut[4 * 4 + 0] = 90;
  int32_t levels[256];
  for (int i = 0; i < 256; ++i) levels[i] = i;
  const uint8_t plain[4] = {99, 1, 1, 1};
  const uint8_t rounded[4] = {99, 7, 1, 1};
  const uint8_t direct[4] = {31, 40, 0, 0};
  // Level 31 is dropped in the colour form, kept in the direct form.
  EXPECT_EQ(TailPixelDither(3, plain, node, weight, lut, 2, levels, 20, 100), 0u);
  EXPECT_EQ(TailPixelDither(4, direct, node, weight, lut, 2, levels, 20, 100), 1u);
  // Ink 1 at level 40 from the high cells: n = 100 - 70 = 30 < 40.
  EXPECT_EQ(TailPixelDither(3, plain, node, weight, lut, 2, levels, 70, 100), 2u);
  EXPECT_EQ(TailPixelDither(3, rounded, node, weight, lut, 2, levels, 80, 100), 1u);
}

// ---- ColorDiffusionKernel --------------------------------------------------

TEST(ColorDiffusion, WhitePixelsDropErrorAndCarry) {
  KernelSetup s;  // complements: black pixels give level 255 on every ink
  KernelInstance ki(s);
  const uint32_t x0 = 10;
  for (int l : {0, 1, 2}) ki.line(l)[x0] = 32 * 100;
  const auto src = ColorRun({{0, 0, 0}, {255, 255, 255}, {255, 255, 255}, {0, 0, 0}});
  Planes out(8);
  ASSERT_EQ(RunKernel(ColorDiffusionKernel, ki, src, out, 0, 4, x0, 1), RC_OK);
  for (int l : {0, 1, 2}) {
    SCOPED_TRACE(l);
    // The first pixel spread error forward and left a carry (K1 at 255);
    // the white pixels cleared their entries and the carry.
    EXPECT_NE(ki.line(l)[x0], 0);
    EXPECT_EQ(ki.line(l)[x0 + 1], 0);
    EXPECT_EQ(ki.line(l)[x0 + 2], 0);
    EXPECT_EQ(ki.line(l)[x0 + 3], 0);
  }
  for (int k = 0; k < 4; ++k) {
    EXPECT_TRUE(out.dot(k, 0)) << k;
    EXPECT_FALSE(out.dot(k, 1)) << k;
    EXPECT_FALSE(out.dot(k, 2)) << k;
  }
}

TEST(ColorDiffusion, LevelZeroIsForgottenAfterFiveQuietPixels) {
  KernelSetup s;
  s.fill = FlatFill(0, 200, 0, 0);
  KernelInstance ki(s);
  const uint32_t x0 = 20;
  for (uint32_t x = x0; x < x0 + 6; ++x) ki.line(0)[x] = ki.line(2)[x] = 96;
  const std::vector<std::array<uint8_t, 3>> px(6, {10, 10, 10});
  Planes out(8);
  ASSERT_EQ(RunKernel(ColorDiffusionKernel, ki, ColorRun(px), out, 0, 6, x0, 1), RC_OK);
  for (int l : {0, 2}) {
    SCOPED_TRACE(l);
    // Four pixels still diffuse their entries (K0) ...
    for (uint32_t x = x0; x < x0 + 4; ++x) EXPECT_NE(ki.line(l)[x], 0) << x;
    // ... the fifth and sixth only clear theirs, forward error included.
    EXPECT_EQ(ki.line(l)[x0 + 4], 0);
    EXPECT_EQ(ki.line(l)[x0 + 5], 0);
  }
}

TEST(ColorDiffusion, CountOneAndZeroWithFirstBit) {
  KernelSetup s;
  s.fill = FlatFill(255, 0, 0, 0);  // tail: ink 0 on every cell, nothing else
  const struct { int firstBit; uint32_t count; uint8_t plane0, others; } cases[] = {
      {0, 1, 0x80, 0x00}, {3, 1, 0xF0, 0xE0}, {3, 0, 0xE0, 0xE0}, {0, 0, 0xFF, 0xFF}};
  for (const auto& c : cases) {
    SCOPED_TRACE(::testing::Message() << "firstBit " << c.firstBit << " count " << c.count);
    KernelInstance ki(s);
    Planes out(4, 0xFF);
    const auto src = ColorRun({{1, 2, 3}});
    ASSERT_EQ(RunKernel(ColorDiffusionKernel, ki, src, out, c.firstBit, c.count, 5, 1), RC_OK);
    EXPECT_EQ(out.plane(0)[0], c.plane0);
    for (int k = 1; k < 4; ++k) EXPECT_EQ(out.plane(k)[0], c.others) << k;
    for (int k = 0; k < 4; ++k) EXPECT_EQ(out.plane(k)[1], 0xFF) << k;
    EXPECT_EQ(ki.inst.lastEnd, 5 + c.count);
    // The tail pixel does not touch the error lines.
    for (int l = 0; l < 3; ++l)
      for (uint32_t x = 0; x < s.lineWidth; ++x) ASSERT_EQ(ki.line(l)[x], 0);
  }
}

TEST(ColorDiffusion, TailPixelOfHalvedSourceReadsTheNextPixel) {
  KernelSetup s;
  s.horizontalScale = 1;
  KernelInstance ki(s);
  // Dots 0..3 use pixels 0 and 1 (white); the tail dot 4 reads pixel 2,
  // black: every level is 255, so inks 3 and 1 take the dot (each pair gives
  // it to one ink only).
  const auto src = ColorRun({{255, 255, 255}, {255, 255, 255}, {0, 0, 0}});
  Planes out(4);
  ASSERT_EQ(RunKernel(ColorDiffusionKernel, ki, src, out, 0, 5, 0, 1), RC_OK);
  const uint8_t expected[4] = {0x00, 0x08, 0x00, 0x08};
  for (int k = 0; k < 4; ++k) EXPECT_EQ(out.plane(k)[0], expected[k]) << k;
}

TEST(ColorDiffusion, ThreePlaneModeKeepsPlaneThreeButDiffusesInkThree) {
  KernelSetup s;
  s.lineWidth = 48;
  std::vector<std::array<uint8_t, 3>> px;
  for (int i = 0; i < 41; ++i) {
    px.push_back({static_cast<uint8_t>(i * 5), static_cast<uint8_t>(90 + i),
                  static_cast<uint8_t>(200 - i * 3)});
  }
  const auto src = ColorRun(px);
  KernelInstance four(s);
  s.lutMode = 2;
  KernelInstance three(s);
  Planes a(8, 0x5A), b(8, 0x5A);
  for (uint32_t y = 1; y < 4; ++y) {
    ASSERT_EQ(RunKernel(ColorDiffusionKernel, four, src, a, 0, 41, 3, y), RC_OK);
    ASSERT_EQ(RunKernel(ColorDiffusionKernel, three, src, b, 0, 41, 3, y), RC_OK);
  }
  EXPECT_EQ(std::vector<uint8_t>(a.data.begin(), a.data.begin() + 24),
            std::vector<uint8_t>(b.data.begin(), b.data.begin() + 24));
  EXPECT_EQ(std::vector<uint8_t>(b.data.begin() + 24, b.data.end()),
            std::vector<uint8_t>(8, 0x5A));
  EXPECT_NE(std::vector<uint8_t>(a.data.begin() + 24, a.data.end()),
            std::vector<uint8_t>(8, 0x5A));
  for (int l = 0; l < 3; ++l) EXPECT_EQ(four.wholeLine(l), three.wholeLine(l)) << l;
  EXPECT_NE(three.wholeLine(2), std::vector<int16_t>(three.wholeLine(2).size(), 0));
}

TEST(ColorDiffusion, MatrixWiderThan256IsRefusedBeforeAnything) {
  KernelSetup s;
  s.matrixWidth = 512;
  s.matrixHeight = 1;
  for (HalftoneKernel k : {ColorDiffusionKernel, ColorDiffusionKernelWide}) {
    KernelInstance ki(s);
    ki.inst.lastLine = 7;
    ki.line(0)[3] = 55;
    Planes out(4, 0x33);
    const auto src = ColorRun({{0, 0, 0}, {0, 0, 0}});
    EXPECT_EQ(RunKernel(k, ki, src, out, 2, 2, 0, 9), RC_BAD_RESOURCE);
    EXPECT_EQ(ki.inst.lastLine, 7u);
    EXPECT_EQ(ki.line(0)[3], 55);
    EXPECT_EQ(out.data, std::vector<uint8_t>(16, 0x33));
  }
}

TEST(ColorDiffusion, RunChecksAndMissingTables) {
  KernelSetup s;
  KernelInstance ki(s);
  Planes out(4, 0x33);
  const auto src = ColorRun({{0, 0, 0}, {0, 0, 0}});
  // x0 + count must not wrap past the line-width check.
  EXPECT_EQ(ColorDiffusionKernel(&ki.inst, src.data(), out.data.data(), 4, 0, 2,
                                 0xFFFFFFFFu, 0, 1, 0, nullptr),
            RC_BAND_TOO_LARGE);
  EXPECT_EQ(RunKernel(ColorDiffusionKernel, ki, src, out, 8, 2, 0, 1), RC_BAD_VALUE);
  EXPECT_EQ(RunKernel(ColorDiffusionKernel, ki, src, out, -1, 2, 0, 1), RC_BAD_VALUE);
  EXPECT_EQ(out.data, std::vector<uint8_t>(16, 0x33));
  // An instance whose tables were never made (or were released) is refused.
  HalftoneInstanceB bare{};
  bare.params.lineWidth = 64;
  bare.matrixWidth = bare.matrixHeight = 16;
  EXPECT_EQ(ColorDiffusionKernel(&bare, src.data(), out.data.data(), 4, 0, 2, 0,
                                 0, 1, 0, nullptr),
            RC_BAD_RESOURCE);
}

}  // namespace
}  // namespace vantik::halftone_b
