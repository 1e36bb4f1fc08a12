// Behaviours that differ between the kernel families: which spread a dot at
// the last bounds gets (parity rules, level-0 rule), source stepping for
// horizontalScale 1 and -1, and the run checks each kernel repeats.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "common/halftone_b_kernel_fixture.h"

namespace vantik::halftone_b {
namespace {

using testing::ColorRun;
using testing::FlatFill;
using testing::KernelInstance;
using testing::KernelSetup;
using testing::Planes;
using testing::RunKernel;

enum class Family { kFourInk, kKind3, kInk };

struct KernelInfo {
  const char* name;
  HalftoneKernel kernel;
  Family family;
};

const KernelInfo kKernels[] = {
    {"ColorDiffusionKernel", ColorDiffusionKernel, Family::kFourInk},
    {"ColorDiffusionKernelWide", ColorDiffusionKernelWide, Family::kFourInk},
    {"ColorDiffusionKernelTall", ColorDiffusionKernelTall, Family::kFourInk},
    {"ColorDiffusionKernelPaired", ColorDiffusionKernelPaired, Family::kFourInk},
    {"ColorDiffusionKernelPairedWide", ColorDiffusionKernelPairedWide, Family::kFourInk},
    {"ColorDitherKernel", ColorDitherKernel, Family::kKind3},
    {"ColorDitherDiffusionKernel", ColorDitherDiffusionKernel, Family::kKind3},
    {"InkDiffusionKernel", InkDiffusionKernel, Family::kInk},
    {"InkDiffusionKernelWide", InkDiffusionKernelWide, Family::kInk},
    {"InkDiffusionKernelTall", InkDiffusionKernelTall, Family::kInk},
};

KernelSetup SetupFor(const KernelInfo& k) {
  KernelSetup s;
  if (k.family == Family::kInk) {
    s.lutMode = 0;
    s.renderMode = 0;
  }
  if (k.family == Family::kKind3) {
    s.kind = 3;
  }
  return s;
}

// Nonzero reach of an error line around x0, x0 + 1 excluded (a white pixel
// clears it).
std::pair<int, int> Reach(KernelInstance& ki, int line, int x0) {
  int left = 0, right = 0;
  for (int d = -30; d <= 30; ++d) {
    if (d == 1 || ki.line(line)[x0 + d] == 0) continue;
    left = std::min(left, d);
    right = std::max(right, d);
  }
  return {left, right};
}

// One dotted pixel at level `level` on every ink, with every matrix cell
// equal to `cell`; the reach of its error tells which spread it took.  The
// bounds are 37, 20, 5 and dotParam3.
TEST(SpreadChoice, ParityAndLevelZeroRulesOfEachFamily) {
  const struct {
    HalftoneKernel kernel;
    const char* name;
    int level, dotParam3, cell, line;
    int left, right;  // K4: -10..10 (odd) / 11 (even); K5: -15 (odd) / -14 (even)..14
  } cases[] = {
      // Four-ink, set K: odd cells lower the bound for inks 0 and 3 only.
      {ColorDiffusionKernel, "color ink0 odd", 2, 2, 101, 0, -10, 10},
      {ColorDiffusionKernel, "color ink1 odd", 2, 2, 101, 1, -15, 14},
      {ColorDiffusionKernel, "color ink3 odd", 2, 2, 101, 2, -10, 10},
      {ColorDiffusionKernel, "color ink0 even", 2, 2, 100, 0, -14, 14},
      {ColorDiffusionKernelPaired, "paired ink0 odd", 2, 2, 101, 0, -10, 10},
      {ColorDiffusionKernelPaired, "paired ink1 odd", 2, 2, 101, 1, -15, 14},
      // Level 0 with a dot: K5 in the plain front end, the level rule
      // (0 > 0 - 1: K4) in the paired one.
      {ColorDiffusionKernel, "color level 0", 0, 0, 101, 0, -15, 14},
      {ColorDiffusionKernelPaired, "paired level 0", 0, 0, 101, 0, -10, 10},
      {ColorDiffusionKernelPaired, "paired level 0 ink1", 0, 0, 101, 1, -15, 14},
      // Set J has no parity bound: J5 reaches 23 entries right.
      {ColorDiffusionKernelWide, "wide", 2, 2, 101, 0, -21, 23},
      {ColorDiffusionKernelPairedWide, "paired wide", 2, 2, 101, 1, -21, 23},
      {ColorDiffusionKernelWide, "wide level 0", 0, 2, 101, 0, -21, 23},
      // Set V, parity for all three inks: V4 = K3, V5 = K4.
      {ColorDiffusionKernelTall, "tall ink1 odd", 2, 2, 101, 1, -7, 7},
      {ColorDiffusionKernelTall, "tall ink1 even", 2, 2, 100, 1, -10, 11},
      // Single ink: the parity bit is set for even cells.
      {InkDiffusionKernel, "ink even", 2, 2, 100, 0, -10, 10},
      {InkDiffusionKernel, "ink odd", 2, 2, 101, 0, -14, 14},
      {InkDiffusionKernelWide, "ink wide", 2, 2, 101, 0, -21, 23},
      {InkDiffusionKernelTall, "ink tall even", 2, 2, 100, 0, -7, 7},
      {InkDiffusionKernelTall, "ink tall odd", 2, 2, 101, 0, -10, 11},
      // Kind 3: no parity bound; parity = bit 2 of the matrix byte clear.
      {ColorDitherDiffusionKernel, "kind3 bit2 set", 2, 2, 100, 0, -14, 14},
      {ColorDitherDiffusionKernel, "kind3 bit2 clear", 2, 2, 97, 0, -15, 14},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const bool ink = c.kernel == InkDiffusionKernel || c.kernel == InkDiffusionKernelWide ||
                     c.kernel == InkDiffusionKernelTall;
    KernelSetup s;
    s.dotParam[3] = c.dotParam3;
    s.cells.assign(256, static_cast<int16_t>(c.cell));
    const uint8_t l = static_cast<uint8_t>(c.level);
    s.fill = FlatFill(l, l, l, l);
    if (ink) {
      s.lutMode = s.renderMode = 0;
    }
    if (c.kernel == ColorDitherDiffusionKernel) s.kind = 3;
    KernelInstance ki(s);
    const int x0 = 20;
    for (int i = 0; i < 3; ++i) ki.line(i)[x0] = 32 * 300;  // forces the dot
    Planes out(8);
    const std::vector<uint8_t> src =
        ink ? std::vector<uint8_t>{l} : ColorRun({{1, 1, 1}, {255, 255, 255}});
    ASSERT_EQ(RunKernel(c.kernel, ki, src, out, 0, ink ? 1 : 2, x0, 1), RC_OK);
    // Kind 3 diffuses ink 1 on its only error line.
    const int plane = ink ? 0 : s.kind == 3 ? 1 : c.line == 2 ? 3 : c.line;
    EXPECT_TRUE(out.dot(plane, 0));
    EXPECT_EQ(Reach(ki, c.line, x0), std::make_pair(c.left, c.right));
  }
}

// Pixels for stepping tests: mixed content, a few white pixels.
std::vector<std::array<uint8_t, 4>> MixedPixels(int n, int seed) {
  std::vector<std::array<uint8_t, 4>> px;
  uint32_t r = 12345u + seed;
  for (int i = 0; i < n; ++i) {
    r = r * 1103515245u + 12345u;
    std::array<uint8_t, 4> p{static_cast<uint8_t>(r >> 24), static_cast<uint8_t>(r >> 16),
                             static_cast<uint8_t>(r >> 8), static_cast<uint8_t>(r >> 4)};
    if (i % 7 == 3) p = {0, 255, 255, 255};
    px.push_back(p);
  }
  return px;
}

std::vector<uint8_t> Flatten(const std::vector<std::array<uint8_t, 4>>& px, bool colour) {
  std::vector<uint8_t> out;
  for (const auto& p : px) {
    if (colour) {
      out.insert(out.end(), p.begin(), p.end());
    } else {
      out.push_back(p[1]);
    }
  }
  return out;
}

struct Outcome {
  std::vector<uint8_t> planes;
  std::vector<int16_t> lines;
  bool operator==(const Outcome&) const = default;
};

Outcome RunLines(const KernelInfo& k, KernelSetup s, const std::vector<uint8_t>& src,
                 uint32_t count) {
  KernelInstance ki(s);
  Outcome o;
  for (uint32_t y = 1; y <= 3; ++y) {
    Planes out(10);
    EXPECT_EQ(RunKernel(k.kernel, ki, src, out, 3, count, 5, y), RC_OK);
    o.planes.insert(o.planes.end(), out.data.begin(), out.data.end());
  }
  for (int i = 0; i < 4; ++i) {
    const auto l = ki.wholeLine(i);
    o.lines.insert(o.lines.end(), l.begin(), l.end());
  }
  return o;
}

TEST(SourceStepping, HalvedSourceEqualsDoubledPixels) {
  for (const auto& k : kKernels) {
    SCOPED_TRACE(k.name);
    const bool colour = k.family != Family::kInk;
    const auto px = MixedPixels(40, 1);
    std::vector<std::array<uint8_t, 4>> doubled;
    for (const auto& p : px) {
      doubled.push_back(p);
      doubled.push_back(p);
    }
    for (uint32_t count : {42u, 43u}) {
      KernelSetup s = SetupFor(k);
      const Outcome plain = RunLines(k, s, Flatten(doubled, colour), count);
      s.horizontalScale = 1;
      const Outcome halved = RunLines(k, s, Flatten(px, colour), count);
      EXPECT_TRUE(plain == halved) << "count " << count;
    }
  }
}

TEST(SourceStepping, PairedSourceOfInkKernelsKeepsTheLarger) {
  const auto px = MixedPixels(86, 2);
  const std::vector<uint8_t> pairs = Flatten(px, false);
  std::vector<uint8_t> larger;
  for (size_t i = 0; i + 1 < pairs.size(); i += 2) {
    larger.push_back(std::max(pairs[i], pairs[i + 1]));
  }
  for (const auto& k : kKernels) {
    if (k.family != Family::kInk) continue;
    SCOPED_TRACE(k.name);
    KernelSetup s = SetupFor(k);
    const Outcome plain = RunLines(k, s, larger, 43);
    s.horizontalScale = -1;
    EXPECT_TRUE(plain == RunLines(k, s, pairs, 43));
  }
  // Bytes 10 and 200: the level of 200 counts.
  KernelSetup s = SetupFor(kKernels[7]);
  s.horizontalScale = -1;
  s.tone.assign(256, 0);
  s.tone[200] = 255;
  KernelInstance ki(s);
  Planes out(4);
  ASSERT_EQ(RunKernel(InkDiffusionKernel, ki, {10, 200}, out, 0, 1, 0, 1), RC_OK);
  EXPECT_TRUE(out.dot(0, 0));
}

TEST(SourceStepping, ColourKernelsTakeOnePixelPerDotForMinusOne) {
  for (const auto& k : kKernels) {
    if (k.family == Family::kInk) continue;
    SCOPED_TRACE(k.name);
    const auto src = Flatten(MixedPixels(43, 3), true);
    KernelSetup s = SetupFor(k);
    const Outcome plain = RunLines(k, s, src, 43);
    s.horizontalScale = -1;
    EXPECT_TRUE(plain == RunLines(k, s, src, 43));
  }
}

TEST(RunChecks, CodesAndOrderPerKernel) {
  int flagsValue = 1;
  for (const auto& k : kKernels) {
    SCOPED_TRACE(k.name);
    KernelInstance ki(SetupFor(k));
    ki.inst.lastLine = 77;
    Planes out(10, 0x44);
    const std::vector<uint8_t> src(400, 0);
    auto call = [&](uint32_t count, uint32_t x0, int32_t flags, void* extra) {
      return k.kernel(&ki.inst, src.data(), out.data.data(), out.stride, 0, count,
                      x0, 0, 3, flags, extra);
    };
    const bool single = k.family == Family::kInk;
    // A run ending exactly at lineWidth is fine; one dot more is not.
    EXPECT_EQ(call(65, 0, 0, nullptr), RC_BAND_TOO_LARGE);
    EXPECT_EQ(call(1, 0xFFFFFFFFu, 0, nullptr), RC_BAND_TOO_LARGE);
    EXPECT_EQ(call(65, 0, 1, nullptr), RC_BAND_TOO_LARGE);
    EXPECT_EQ(call(4, 0, 1, nullptr), RC_BAD_FLAG);
    EXPECT_EQ(call(65, 0, 0, &flagsValue), single ? RC_BAD_BUFFER : RC_BAND_TOO_LARGE);
    EXPECT_EQ(ki.inst.lastLine, 77u);
    EXPECT_EQ(out.data, std::vector<uint8_t>(40, 0x44));
    // The colour kernels ignore the extra argument.
    EXPECT_EQ(call(4, 60, 0, single ? nullptr : &flagsValue), RC_OK);
    EXPECT_EQ(ki.inst.lastLine, 3u);
  }
}

TEST(PairedFrontEnd, WritesPlaneThreeInThreePlaneMode) {
  for (HalftoneKernel k : {ColorDiffusionKernelPaired, ColorDiffusionKernelTall,
                           ColorDiffusionKernelPairedWide}) {
    const auto src = Flatten(MixedPixels(43, 4), true);
    KernelInfo info{"paired", k, Family::kFourInk};
    KernelSetup s;
    const Outcome four = RunLines(info, s, src, 43);
    s.lutMode = 2;
    EXPECT_TRUE(four == RunLines(info, s, src, 43));
  }
}

// Direct ink form (renderMode 4): the pixel's bytes 0..3 are the levels.
// With a table that gives those same levels everywhere, the colour form
// must produce the same bits.
TEST(DirectInkForm, MainLoopTakesLevelsFromThePixel) {
  const HalftoneKernel kernels[] = {ColorDiffusionKernelPaired, ColorDiffusionKernelTall,
                                    ColorDiffusionKernelPairedWide, ColorDitherKernel,
                                    ColorDitherDiffusionKernel};
  for (HalftoneKernel k : kernels) {
    const bool kind3 = k == ColorDitherKernel || k == ColorDitherDiffusionKernel;
    KernelInfo info{"direct", k, kind3 ? Family::kKind3 : Family::kFourInk};
    const std::vector<std::array<uint8_t, 4>> px(43, {90, 30, 140, 60});
    const auto src = Flatten(px, true);
    KernelSetup s = SetupFor(info);
    s.fill = FlatFill(90, 30, 140, 60);
    const Outcome viaTable = RunLines(info, s, src, 43);
    s.fill = nullptr;  // complements: the colour form would differ
    const Outcome colour = RunLines(info, s, src, 43);
    s.renderMode = 4;
    const Outcome direct = RunLines(info, s, src, 43);
    EXPECT_TRUE(viaTable == direct);
    EXPECT_FALSE(colour == direct);
  }
}

}  // namespace
}  // namespace vantik::halftone_b
