#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <random>
#include <vector>

#include "preview/preview_support.h"

namespace vantik::test {
namespace {

using TranslateTest = PreviewTest;

using Rgb = std::array<uint8_t, 3>;

// Identity curves, so that a curve-path instance shows saturation and
// sharpening alone and can carry settings the parameter path refuses.
const uint8_t* IdentityCurves() {
  static uint8_t curves[768];
  for (int i = 0; i < 768; ++i) curves[i] = static_cast<uint8_t>(i & 255);
  return curves;
}

PreviewHandle Make(PreviewSetup s) {
  PreviewHandle h = nullptr;
  EXPECT_EQ(Create(s, &h), RC_OK);
  return h;
}

PreviewHandle MakeCurve(int32_t saturation, int32_t mode = 0,
                        const uint8_t* curves = IdentityCurves()) {
  PreviewSetup s;
  s.fields[3] = saturation;
  s.mode = mode;
  s.curves = curves;
  return Make(s);
}

std::vector<Rgb> TranslateRun(PreviewHandle h, const std::vector<Rgb>& in) {
  std::vector<Rgb> out(in.size());
  EXPECT_EQ(PreviewTranslateColorsThk(h, static_cast<uint32_t>(in.size()),
                                      in[0].data(), out[0].data(), 0, nullptr),
            RC_OK);
  return out;
}

struct SaturationCase {
  int32_t saturation;
  Rgb in, out;
};

TEST_F(TranslateTest, SaturationStretchesAwayFromTheMinimum) {
  const SaturationCase cases[] = {
      // gray is never touched
      {50, {77, 77, 77}, {77, 77, 77}},
      {-50, {0, 0, 0}, {0, 0, 0}},
      {-300, {255, 255, 255}, {255, 255, 255}},
      // -50 halves the distances; 60/100 when blue is the minimum
      {-50, {10, 110, 210}, {10, 60, 110}},
      {-50, {110, 10, 210}, {60, 10, 110}},
      {-50, {110, 210, 10}, {70, 130, 10}},
      // +50: factor 150/100, 140/100 for blue; limited to 255
      {50, {10, 110, 210}, {10, 160, 255}},
      {50, {110, 210, 10}, {150, 255, 10}},
      // ties go to red, then green; blue only when strictly lowest
      {-50, {50, 50, 150}, {50, 50, 100}},
      {-50, {150, 50, 50}, {100, 50, 50}},
      {-50, {150, 150, 50}, {110, 110, 50}},
      // truncation toward zero: 1 * 50 / 100 = 0
      {-50, {0, 1, 3}, {0, 0, 1}},
      // beyond -100 on the curve path the stretch would fall below 0: the
      // channel is limited to 0 instead of indexing before the table
      {-300, {10, 110, 210}, {10, 0, 0}},
      {-300, {110, 210, 10}, {0, 0, 10}},  // t = 100 - 240 = -140
      {-126, {110, 210, 10}, {10, 10, 10}},  // t = 100 - 100 = 0
      {1000, {10, 11, 12}, {10, 21, 32}},
  };
  for (const SaturationCase& c : cases) {
    PreviewHandle h = MakeCurve(c.saturation);
    EXPECT_EQ(TranslateRun(h, {c.in})[0], c.out)
        << "s=" << c.saturation << " in=" << int(c.in[0]) << "," << int(c.in[1])
        << "," << int(c.in[2]);
    EXPECT_EQ(PreviewDeleteThk(h), RC_OK);
  }
}

TEST_F(TranslateTest, PixelFormatsPlaceTheChannels) {
  // Curves that tell the channels apart: red inverted, green halved, blue kept.
  uint8_t curves[768];
  for (int i = 0; i < 256; ++i) {
    curves[i] = static_cast<uint8_t>(255 - i);
    curves[256 + i] = static_cast<uint8_t>(i / 2);
    curves[512 + i] = static_cast<uint8_t>(i);
  }
  struct Case { int32_t format; std::vector<uint8_t> in, out; };
  const Case cases[] = {
      {1, {10, 100, 200, 0, 50, 60}, {245, 50, 200, 255, 25, 60}},
      {2, {200, 100, 10, 60, 50, 0}, {200, 50, 245, 60, 25, 255}},
      {3, {7, 10, 100, 200, 9, 0, 50, 60}, {0xEE, 245, 50, 200, 0xDD, 255, 25, 60}},
  };
  for (const Case& c : cases) {
    PreviewSetup s;
    s.format = c.format;
    s.curves = curves;
    PreviewHandle h = Make(s);
    std::vector<uint8_t> dst(c.in.size(), 0);
    if (c.format == 3) {
      dst[0] = 0xEE;  // byte 0 of each pixel is neither read nor written
      dst[4] = 0xDD;
    }
    EXPECT_EQ(PreviewTranslateColorsThk(h, 2, c.in.data(), dst.data(), 0, nullptr), RC_OK);
    EXPECT_EQ(dst, c.out) << "format " << c.format;
    // The same buffer as source and destination.
    std::vector<uint8_t> inPlace = c.in;
    EXPECT_EQ(PreviewTranslateColorsThk(h, 2, inPlace.data(), inPlace.data(), 0, nullptr),
              RC_OK);
    for (size_t k = 0; k < inPlace.size(); ++k) {
      if (c.format == 3 && k % 4 == 0) {
        EXPECT_EQ(inPlace[k], c.in[k]);
      } else {
        EXPECT_EQ(inPlace[k], c.out[k]) << "format " << c.format << " byte " << k;
      }
    }
    EXPECT_EQ(PreviewDeleteThk(h), RC_OK);
  }
}

std::vector<Rgb> Gray(const std::vector<int>& levels) {
  std::vector<Rgb> px;
  for (int v : levels) px.push_back({uint8_t(v), uint8_t(v), uint8_t(v)});
  return px;
}

struct SharpenCase {
  const char* what;
  int32_t mode;
  std::vector<int> in, out;  // gray levels, whose luminance is the level
};

TEST_F(TranslateTest, SharpeningEdgeRules) {
  const SharpenCase cases[] = {
      {"mode 1", 1, {100, 100, 100, 121, 100, 100, 100}, {100, 100, 79, 163, 79, 100, 100}},
      {"threshold 20 is not an edge", 3, {100, 100, 100, 120, 100, 100, 100},
       {100, 100, 100, 120, 100, 100, 100}},
      {"mode 2", 2, {100, 100, 100, 130, 100, 100, 100}, {100, 100, 100, 190, 100, 100, 100}},
      {"mode 3", 3, {100, 100, 100, 130, 100, 100, 100}, {100, 100, 70, 250, 70, 100, 100}},
      {"first and last two pass", 1, {0, 200, 0, 0, 0, 200, 0}, {0, 200, 0, 0, 0, 200, 0}},
      {"five pixels: only the middle", 1, {0, 0, 200, 0, 0}, {0, 0, 255, 0, 0}},
      {"four pixels: never", 3, {0, 0, 200, 0}, {0, 0, 200, 0}},
      {"one pixel", 3, {200}, {200}},
      {"luminance taken before writing", 1, {0, 0, 100, 0, 100, 0, 0},
       {0, 0, 255, 0, 255, 0, 0}},
  };
  for (const SharpenCase& c : cases) {
    PreviewHandle h = MakeCurve(0, c.mode);
    EXPECT_EQ(TranslateRun(h, Gray(c.in)), Gray(c.out)) << c.what;
    EXPECT_EQ(PreviewDeleteThk(h), RC_OK);
  }
}

// The sharpening input is the source when fields 1..6 are all 0, so the
// curves do not reach the output there; otherwise it is pass 1's result.
TEST_F(TranslateTest, SharpeningInputDependsOnTheAdjustments) {
  uint8_t inverted[768];
  for (int i = 0; i < 768; ++i) inverted[i] = static_cast<uint8_t>(255 - (i & 255));
  const std::vector<Rgb> in = Gray({10, 10, 10, 10, 10});

  PreviewHandle plain = MakeCurve(0, 1, inverted);
  EXPECT_EQ(TranslateRun(plain, in), in);
  EXPECT_EQ(PreviewDeleteThk(plain), RC_OK);

  PreviewSetup s;
  s.fields[4] = 1;  // any of fields 1..6
  s.mode = 1;
  s.curves = inverted;
  PreviewHandle adjusted = Make(s);
  EXPECT_EQ(TranslateRun(adjusted, in), Gray({245, 245, 245, 245, 245}));
  EXPECT_EQ(PreviewDeleteThk(adjusted), RC_OK);
}

// A mode outside 0..3 can only be stored through the curve path; it is
// treated as off and takes no luminance line.
TEST_F(TranslateTest, UnknownSharpeningModeIsOff) {
  const std::vector<Rgb> in = Gray({0, 0, 200, 0, 0});
  for (int32_t mode : {-1, 4, 1000}) {
    PreviewHandle h = MakeCurve(0, mode);
    MemResetFaults();
    EXPECT_EQ(TranslateRun(h, in), in) << mode;
    EXPECT_EQ(MemCallCount(MemOp::kAlloc), 0) << mode;
    EXPECT_EQ(PreviewDeleteThk(h), RC_OK);
  }
}

TEST_F(TranslateTest, LuminanceLineFailures) {
  struct Case { MemOp op; uint32_t rc; };
  const Case cases[] = {{MemOp::kAlloc, RC_NO_MEMORY},
                        {MemOp::kLock, RC_LOCK_FAILED},
                        {MemOp::kUnlock, RC_UNLOCK_FAILED}};
  for (const Case& c : cases) {
    PreviewHandle h = MakeCurve(0, 3);
    const std::vector<Rgb> in = Gray({0, 0, 200, 0, 0});
    std::vector<Rgb> out(in.size());
    MemFailNth(c.op, 1);
    EXPECT_EQ(PreviewTranslateColorsThk(h, 5, in[0].data(), out[0].data(), 0, nullptr), c.rc);
    MemResetFaults();
    EXPECT_EQ(MemLiveBlocks(), live_ + 1);  // only the instance is left
    EXPECT_EQ(PreviewDeleteThk(h), RC_OK);
  }
}

// The table-driven translation against the plain per-pixel one, over random
// settings (both paths, all formats and modes, saturations far outside the
// parameter range) and random runs, in place and out of place.
TEST_F(TranslateTest, MatchesThePlainTranslation) {
  std::mt19937 rng(1234);
  auto pick = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
  uint8_t curves[768];
  for (int round = 0; round < 400; ++round) {
    PreviewSetup s;
    s.format = pick(1, 3);
    const bool curvePath = pick(0, 1) == 1;
    if (curvePath) {
      for (uint8_t& b : curves) b = static_cast<uint8_t>(pick(0, 255));
      s.curves = curves;
      for (int f = 1; f < 7; ++f) s.fields[f] = pick(0, 2) == 0 ? 0 : pick(-60, 60);
      const int32_t wild[] = {0, -101, -126, -300, 250, 1000, INT32_MIN, INT32_MAX};
      s.fields[3] = pick(0, 1) ? wild[pick(0, 7)] : pick(-400, 400);
      s.mode = pick(-1, 5);
    } else {
      for (int f = 1; f < 7; ++f) s.fields[f] = pick(0, 2) == 0 ? 0 : pick(-50, 50);
      s.mode = pick(0, 3);
      s.withGamma = pick(0, 1) == 1;
      s.gamma = pick(100, 300);
    }
    PreviewHandle h = Make(s);
    ASSERT_NE(h, nullptr);
    const int bpp = s.format == 3 ? 4 : 3;
    const uint32_t count = static_cast<uint32_t>(pick(0, 3) == 0 ? pick(0, 6) : pick(7, 300));
    std::vector<uint8_t> src(size_t{count} * bpp + 1);
    int level = pick(0, 255);
    for (uint8_t& b : src) {
      // Mostly smooth runs with jumps, some gray pixels, full-range noise.
      const int kind = pick(0, 9);
      if (kind < 6) level = std::clamp(level + pick(-12, 12), 0, 255);
      if (kind == 9) level = pick(0, 255);
      b = static_cast<uint8_t>(kind == 8 ? pick(0, 255) : level);
    }
    std::vector<uint8_t> want(src.size()), got(src.size());
    for (size_t k = 0; k < src.size(); ++k) want[k] = got[k] = static_cast<uint8_t>(k * 31);
    ReferenceTranslate(Inst(h), count, src.data(), want.data());
    ASSERT_EQ(PreviewTranslateColorsThk(h, count, src.data(), got.data(), 0, nullptr), RC_OK);
    ASSERT_EQ(got, want) << "round " << round;

    std::vector<uint8_t> refInPlace = src, inPlace = src;
    ReferenceTranslate(Inst(h), count, refInPlace.data(), refInPlace.data());
    ASSERT_EQ(PreviewTranslateColorsThk(h, count, inPlace.data(), inPlace.data(), 0, nullptr),
              RC_OK);
    ASSERT_EQ(inPlace, refInPlace) << "round " << round << " in place";
    EXPECT_EQ(PreviewDeleteThk(h), RC_OK);
  }
}

}  // namespace
}  // namespace vantik::test
