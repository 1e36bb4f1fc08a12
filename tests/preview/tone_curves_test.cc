#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>

#include "preview/tone_curves.h"

namespace vantik::preview {
namespace {

TEST(PrimeLogTableTest, TellingRows) {
  struct Row { int32_t prime, log; };
  const Row rows[] = {{2, 3466},   {3, 5493},   {5, 8047},  {23, 15677},
                      {29, 16836}, {251, 27627}, {509, 31162}};
  for (const Row& row : rows) {
    int k = 0;
    while (k < kPrimeLogCount - 1 && kPrimes[k] != row.prime) ++k;
    ASSERT_LT(k, kPrimeLogCount - 1) << row.prime;
    EXPECT_EQ(kPrimeLogTable[k], row.log) << row.prime;
  }
  EXPECT_EQ(kPrimeLogTable[kPrimeLogCount - 1], 0);
  // Every entry is 5000 ln(p) rounded, and the primes are the 97 up to 509.
  for (int k = 0; k < kPrimeLogCount - 1; ++k) {
    EXPECT_EQ(kPrimeLogTable[k], std::lround(5000.0 * std::log(kPrimes[k])))
        << kPrimes[k];
    if (k > 0) {
      EXPECT_LT(kPrimes[k - 1], kPrimes[k]);
    }
  }
}

TEST(IntLogTest, SumsOverTheFactorisation) {
  struct Row { int32_t x, log; };
  const Row rows[] = {
      {1, 0},          {2, 3466},           {255, 27706},  // 3 * 5 * 17
      {256, 8 * 3466}, {49, 2 * 9730},       {511, 9730 + 21452},  // 7 * 73
      {509, 31162},    {29 * 17, 16836 + 14166},
  };
  for (const Row& row : rows) EXPECT_EQ(IntLog(row.x), row.log) << row.x;
}

TEST(GammaLevelTest, FixedPoints) {
  EXPECT_EQ(GammaLevel(0, 150), 0);
  EXPECT_EQ(GammaLevel(255, 150), 255);
  EXPECT_EQ(GammaLevel(0, 300), 0);
  EXPECT_EQ(GammaLevel(255, 100), 255);
  EXPECT_EQ(GammaLevel(49, 150), 22);  // one level above the rounded 21.8
}

// The integer procedure tracks 255 (i/255)^(g/100): the rounded level or one
// above it.
TEST(GammaLevelTest, FollowsThePowerCurve) {
  for (int32_t g : {100, 120, 150, 200, 250, 300}) {
    for (int32_t i = 0; i < 256; ++i) {
      const double exact = 255.0 * std::pow(i / 255.0, g / 100.0);
      const long rounded = std::lround(exact);
      const int32_t level = GammaLevel(i, g);
      EXPECT_TRUE(level == rounded || level == rounded + 1)
          << "i=" << i << " g=" << g << " level=" << level << " exact=" << exact;
    }
  }
}

struct CurveCase {
  int32_t brightness, contrast;
  int32_t at0, at1, at16, at64, at128, at192, at240, at254, at255;
};

// Points worked out from the curve formulas in exact integer arithmetic.
// The last two rows overflow 32-bit cubic products; they are computed wide.
const CurveCase kCurveCases[] = {
    {50, 0, 0, 2, 32, 129, 219, 252, 255, 255, 255},
    {-50, 0, 0, 0, 0, 4, 37, 128, 224, 252, 254},
    {0, 50, 0, 0, 0, 18, 128, 238, 255, 255, 255},
    {0, -50, 64, 64, 72, 96, 128, 160, 184, 191, 191},
    {25, 0, 0, 1, 21, 85, 170, 244, 255, 255, 255},
    {-25, 0, 0, 0, 0, 12, 85, 170, 234, 253, 254},
    {0, 25, 0, 0, 0, 42, 128, 213, 255, 255, 255},
    {10, -10, 12, 13, 28, 76, 140, 204, 242, 242, 242},
    {-50, 50, 0, 0, 0, 0, 0, 105, 254, 255, 255},
    {50, 50, 0, 0, 2, 155, 255, 255, 255, 255, 255},
};

TEST(AdjustCurveTest, CurvePoints) {
  for (const CurveCase& c : kCurveCases) {
    int32_t curve[256];
    BuildAdjustCurve(c.brightness, c.contrast, curve);
    const int32_t at[] = {0, 1, 16, 64, 128, 192, 240, 254, 255};
    const int32_t want[] = {c.at0,   c.at1,   c.at16,  c.at64, c.at128,
                            c.at192, c.at240, c.at254, c.at255};
    for (int k = 0; k < 9; ++k) {
      EXPECT_EQ(curve[at[k]], want[k])
          << "b=" << c.brightness << " c=" << c.contrast << " i=" << at[k];
    }
  }
}

TEST(AdjustCurveTest, EveryCombinationStaysInRange) {
  for (int32_t b = -50; b <= 50; ++b) {
    for (int32_t c = -50; c <= 50; ++c) {
      int32_t curve[256];
      BuildAdjustCurve(b, c, curve);
      for (int i = 0; i < 256; ++i) {
        ASSERT_GE(curve[i], 0) << b << " " << c << " " << i;
        ASSERT_LE(curve[i], 255) << b << " " << c << " " << i;
      }
    }
  }
  int32_t curve[256];
  BuildAdjustCurve(0, 0, curve);
  for (int i = 0; i < 256; ++i) EXPECT_EQ(curve[i], i);
}

TEST(SmoothingTest, UsesTheSmoothedLeftNeighbourAndKeepsTheEnds) {
  int32_t t[256] = {};
  t[0] = 255;
  t[254] = 255;
  t[255] = 200;
  SmoothToneTable(t);
  const int32_t head[] = {255, 85, 28, 9, 3, 1, 0};
  for (int j = 0; j < 7; ++j) EXPECT_EQ(t[j], head[j]) << j;
  EXPECT_EQ(t[253], 85);   // (0 + 0 + 255) / 3
  EXPECT_EQ(t[254], 255);  // not smoothed
  EXPECT_EQ(t[255], 200);

  int32_t line[256];
  for (int i = 0; i < 256; ++i) line[i] = i;
  SmoothToneTable(line);
  for (int i = 0; i < 256; ++i) EXPECT_EQ(line[i], i);
}

TEST(ToneTableTest, OffsetsAndGammaAreClampedBeforeSmoothing) {
  int32_t curve[256], delta[256], out[256];
  for (int i = 0; i < 256; ++i) curve[i] = i;
  BuildGammaDelta(150, delta);
  for (int i = 0; i < 256; ++i) EXPECT_EQ(delta[i], 0);
  BuildToneTable(curve, 50, delta, out);
  EXPECT_EQ(out[0], 50);
  EXPECT_EQ(out[100], 150);
  EXPECT_EQ(out[255], 255);
  // Truncating division keeps the plateau one below 255 once smoothing
  // has reached it: (254 + 255 + 255) / 3 = 254.
  EXPECT_EQ(out[220], 254);
  BuildGammaDelta(200, delta);
  EXPECT_EQ(delta[49], GammaLevel(49, 200) - 22);
  BuildToneTable(curve, -50, delta, out);
  EXPECT_EQ(out[0], 0);
  EXPECT_EQ(out[255], 205);
}

}  // namespace
}  // namespace vantik::preview
