#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "colormatch/cm_internal.h"
#include "colormatch/cm_translate.h"
#include "common/cm_table_fixtures.h"
#include "interface/services.h"

namespace vantik::colormatch {
namespace {

using testing::HandInstance;
using testing::PlainTranslate;
using testing::RandomGrid;

// Grid 0, 128, 255 on every axis, two channels; node (a, b, c) holds
// (10 + 8i, 250 - 7i) with i = 9a + 3b + c, distinct for every node.
std::vector<uint8_t> SmallTable() {
  std::vector<uint8_t> t;
  for (int a = 0; a < 3; ++a)
    for (int b = 0; b < 3; ++b)
      for (int c = 0; c < 3; ++c) {
        const int idx = 9 * a + 3 * b + c;
        t.push_back(static_cast<uint8_t>(10 + 8 * idx));
        t.push_back(static_cast<uint8_t>(250 - 7 * idx));
      }
  return t;
}

const std::vector<uint8_t> kGrid3 = {0, 128, 255};

std::vector<uint8_t> NodeOf(const std::vector<uint8_t>& t, int a, int b, int c) {
  const size_t at = ((a * 3 + b) * 3 + c) * 2;
  return {t[at], t[at + 1]};
}

TEST(CmTranslate, KnownPixels) {
  HandInstance h;
  const std::vector<uint8_t> t = SmallTable();
  h.SetTable(3, 3, 3, 2, kGrid3, kGrid3, kGrid3, t);
  const auto n = [&](int a, int b, int c) { return NodeOf(t, a, b, c); };
  const auto mix = [&](std::vector<uint8_t> p, std::vector<uint8_t> q) {
    return std::vector<uint8_t>{static_cast<uint8_t>((p[0] * 64 + q[0] * 64) / 128),
                                static_cast<uint8_t>((p[1] * 64 + q[1] * 64) / 128)};
  };
  struct Case {
    const char* what;
    uint8_t r, g, b;
    std::vector<uint8_t> want;
  } cases[] = {
      {"black", 0, 0, 0, n(0, 0, 0)},
      {"white", 255, 255, 255, n(2, 2, 2)},
      {"middle node", 128, 128, 128, n(1, 1, 1)},
      {"mixed nodes", 0, 128, 255, n(0, 1, 2)},
      {"node on 255 and 0", 255, 0, 128, n(2, 0, 1)},
      // fa = fb = fc = 64 in the first cell: only 000 and 111 weigh.
      {"tie in the first cell", 64, 64, 64, mix(n(0, 0, 0), n(1, 1, 1))},
      // fa = 0, fb = fc = 0 on the upper cell of the first axis.
      {"on a face", 128, 0, 0, n(1, 0, 0)},
  };
  for (const Case& c : cases) {
    const uint8_t px[4] = {0xEE, c.r, c.g, c.b};
    uint8_t out[2] = {0xAA, 0xAA};
    ASSERT_EQ(CmTranslate(h.handle(), 1, px, out), RC_OK) << c.what;
    EXPECT_EQ(std::vector<uint8_t>(out, out + 2), c.want) << c.what;
  }
}

TEST(CmTranslate, EachTetrahedronAgreesWithTheFormula) {
  HandInstance h;
  h.SetTable(3, 3, 3, 2, kGrid3, kGrid3, kGrid3, SmallTable());
  // One pixel per ordering of (fa, fb, fc), plus ties on each pair.
  const uint8_t pixels[][3] = {{10, 40, 5},  {10, 40, 20}, {10, 20, 40}, {20, 10, 40},
                               {40, 10, 20}, {40, 20, 10}, {30, 30, 10}, {30, 10, 30},
                               {10, 30, 30}, {200, 140, 250}};
  for (const auto& p : pixels) {
    const uint8_t px[4] = {0, p[0], p[1], p[2]};
    uint8_t got[2], want[2];
    ASSERT_EQ(CmTranslate(h.handle(), 1, px, got), RC_OK);
    PlainTranslate(h.lut(), kCmNodeLayout, 1, px, want);
    EXPECT_EQ(got[0], want[0]);
    EXPECT_EQ(got[1], want[1]);
  }
}

TEST(CmTranslate, RenderModeLayouts) {
  struct Case {
    int32_t renderMode;
    CmPixelLayout want;
  } cases[] = {{1, {3, 0, 1, 2}}, {2, {3, 2, 1, 0}}, {3, {4, 1, 2, 3}},
               {0, {4, 1, 2, 3}}, {7, {4, 1, 2, 3}}};
  for (const Case& c : cases) {
    HandInstance h;
    h.SetTable(3, 3, 3, 2, kGrid3, kGrid3, kGrid3, SmallTable());
    h->params.renderMode = c.renderMode;
    CmSetRenderLayout(*h);
    EXPECT_EQ(h->pixelStride, c.want.stride) << c.renderMode;
    EXPECT_EQ(h->offsetA, c.want.offsetA) << c.renderMode;
    EXPECT_EQ(h->offsetB, c.want.offsetB) << c.renderMode;
    EXPECT_EQ(h->offsetC, c.want.offsetC) << c.renderMode;
  }
  // With layout (3; 2, 1, 0) the byte at pixel offset 2 drives the first axis.
  HandInstance h;
  const std::vector<uint8_t> t = SmallTable();
  h.SetTable(3, 3, 3, 2, kGrid3, kGrid3, kGrid3, t);
  h->params.renderMode = 2;
  CmSetRenderLayout(*h);
  const uint8_t px[6] = {0, 128, 255, 255, 0, 0};  // two pixels
  uint8_t out[4];
  ASSERT_EQ(CmTranslate(h.handle(), 2, px, out), RC_OK);
  EXPECT_EQ(std::vector<uint8_t>(out, out + 2), NodeOf(t, 2, 1, 0));
  EXPECT_EQ(std::vector<uint8_t>(out + 2, out + 4), NodeOf(t, 0, 0, 2));
}

TEST(CmTranslate, CountZeroOrNegativeWritesNothing) {
  HandInstance h;
  h.SetTable(3, 3, 3, 2, kGrid3, kGrid3, kGrid3, SmallTable());
  const uint8_t px[4] = {0, 1, 2, 3};
  for (int32_t count : {0, -1, -70000}) {
    uint8_t out[2] = {0x5A, 0x5A};
    EXPECT_EQ(CmTranslate(h.handle(), count, px, out), RC_OK) << count;
    EXPECT_EQ(out[0], 0x5A);
    EXPECT_EQ(out[1], 0x5A);
  }
}

TEST(CmTranslate, WithoutTableRefusesAndWritesNothing) {
  uint8_t out[8] = {1, 2, 3, 4, 5, 6, 7, 8};
  const uint8_t px[8] = {};
  EXPECT_EQ(CmTranslate(nullptr, 2, px, out), kCmNoTable);
  {  // right after creation: no table, layout all zero
    ColorAdjustRecord adjust{};
    HalftoneParams params{};
    int32_t inOut = 7;
    CmHandle fresh = nullptr;
    ASSERT_EQ(CmNewThk(&adjust, nullptr, nullptr, nullptr, &params, nullptr, nullptr, &inOut,
                       &fresh),
              RC_OK);
    EXPECT_EQ(CmTranslateColorsThk(fresh, 2, px, out, 0, nullptr), kCmNoTable);
    EXPECT_EQ(CmTranslateColorsThk(fresh, 0, px, out, 0, nullptr), kCmNoTable);
    CmDeleteThk(fresh);
  }
  // A grid made unusable behind the instance's back is refused too.
  HandInstance broken;
  broken.SetTable(3, 3, 3, 2, kGrid3, kGrid3, kGrid3, SmallTable());
  broken.lut().gridB[1] = 0;
  EXPECT_EQ(CmTranslate(broken.handle(), 2, px, out), kCmNoTable);
  EXPECT_EQ(std::vector<uint8_t>(out, out + 8), (std::vector<uint8_t>{1, 2, 3, 4, 5, 6, 7, 8}));
  EXPECT_NE(kCmNoTable, 0u);
}

// Runs longer than 64 KiB on either side translate every pixel in place.
TEST(CmTranslate, LongRunUsesFullWidthPositions) {
  HandInstance h;
  h.SetTable(3, 3, 3, 2, kGrid3, kGrid3, kGrid3, SmallTable());
  const int32_t count = 40000;  // 160,000 input bytes, 80,000 output bytes
  std::vector<uint8_t> src(static_cast<size_t>(count) * 4);
  std::mt19937 rng(7);
  for (auto& v : src) v = static_cast<uint8_t>(rng());
  std::vector<uint8_t> got(static_cast<size_t>(count) * 2, 0), want(got.size(), 1);
  ASSERT_EQ(CmTranslate(h.handle(), count, src.data(), got.data()), RC_OK);
  PlainTranslate(h.lut(), kCmNodeLayout, count, src.data(), want.data());
  EXPECT_EQ(got, want);
}

// The table-driven path against the formula over random grids (equal and
// unequal counts, narrow and wide intervals), channel counts and layouts.
TEST(CmTranslate, FastPathMatchesFormulaOnRandomTables) {
  std::mt19937 rng(20240611);
  const CmPixelLayout layouts[] = {{4, 1, 2, 3}, {3, 0, 1, 2}, {3, 2, 1, 0}};
  for (int trial = 0; trial < 300; ++trial) {
    std::uniform_int_distribution<int> nd(2, 32), wd(1, 8);
    const bool equal = trial % 2 == 0;
    const int nA = nd(rng), nB = equal ? nA : nd(rng), nC = equal ? nA : nd(rng);
    const int w = trial % 3 == 0 ? 4 : wd(rng);
    std::vector<uint8_t> gA = RandomGrid(rng, nA), gB = RandomGrid(rng, nB),
                         gC = RandomGrid(rng, nC);
    std::vector<uint8_t> table(static_cast<size_t>(nA) * nB * nC * w);
    for (auto& v : table) v = static_cast<uint8_t>(rng());
    const CmPixelLayout layout = layouts[trial % 3];
    HandInstance h;
    h.SetTable(nA, nB, nC, w, gA, gB, gC, table, layout);
    const size_t count = 2000;
    std::vector<uint8_t> src(count * layout.stride);
    for (auto& v : src) v = static_cast<uint8_t>(rng());
    // Make sure the ends and the node positions themselves come up.
    for (size_t k = 0; k < 64; ++k) {
      src[k * layout.stride + layout.offsetA] = gA[rng() % nA];
      src[k * layout.stride + layout.offsetB] = gB[rng() % nB];
      src[k * layout.stride + layout.offsetC] = k % 2 ? 255 : 0;
    }
    std::vector<uint8_t> got(count * w), want(count * w);
    ASSERT_EQ(CmTranslate(h.handle(), static_cast<int32_t>(count), src.data(), got.data()),
              RC_OK);
    PlainTranslate(h.lut(), layout, count, src.data(), want.data());
    ASSERT_EQ(got, want) << "trial " << trial << " n " << nA << "/" << nB << "/" << nC
                         << " w " << w;
  }
}

// The four-channel path works in batches of pixels: every run length
// through and past a batch, source and destination at any alignment, and
// pixels whose fractions tie (the same grid on every axis, components
// equal in pairs or all three) give the formula's bytes and write nothing
// past the run.
TEST(CmTranslate, FourChannelsAtEveryRunLengthAndAlignment) {
  std::mt19937 rng(99);
  const int nodeCounts[] = {2, 5, 17, 32};
  for (int n : nodeCounts) {
    const std::vector<uint8_t> g = RandomGrid(rng, n);
    const std::vector<uint8_t> gB = RandomGrid(rng, n == 2 ? 3 : n - 1);
    for (bool sameGrid : {true, false}) {
      std::vector<uint8_t> table(static_cast<size_t>(n) * (sameGrid ? n : gB.size()) * n * 4);
      for (auto& v : table) v = static_cast<uint8_t>(rng());
      HandInstance h;
      const std::vector<uint8_t>& second = sameGrid ? g : gB;
      h.SetTable(n, static_cast<int>(second.size()), n, 4, g, second, g, table);
      for (size_t count = 0; count <= 140; ++count) {
        const size_t srcAt = rng() % 4, dstAt = rng() % 4;
        std::vector<uint8_t> src(srcAt + count * 4);
        for (auto& v : src) v = static_cast<uint8_t>(rng());
        for (size_t k = 0; k < count; k += 3) {
          uint8_t* px = &src[srcAt + k * 4];
          px[1] = px[2] = px[3];          // all three equal
          if (k % 2) px[2] = px[1] / 2;   // two equal
        }
        std::vector<uint8_t> got(dstAt + count * 4 + 8, 0xA5), want(count * 4);
        ASSERT_EQ(CmTranslate(h.handle(), static_cast<int32_t>(count), src.data() + srcAt,
                              got.data() + dstAt),
                  RC_OK);
        PlainTranslate(h.lut(), kCmNodeLayout, count, src.data() + srcAt, want.data());
        ASSERT_EQ(std::vector<uint8_t>(got.begin() + dstAt, got.begin() + dstAt + count * 4), want)
            << "nodes " << n << " count " << count;
        for (size_t i = 0; i < dstAt; ++i) ASSERT_EQ(got[i], 0xA5);
        for (size_t i = dstAt + count * 4; i < got.size(); ++i) ASSERT_EQ(got[i], 0xA5);
      }
    }
  }
}

// The two division-free quotients agree with x / d for every x < 2^16 and
// every interval width d.
TEST(CmTranslate, DivisionWithoutDivideIsExact) {
  for (uint32_t d = 1; d <= 255; ++d) {
    const uint32_t recip = CmRecip(d);
    const float inverse = 1.0f / static_cast<float>(d);
    for (uint32_t x = 0; x < 65536; ++x) {
      ASSERT_EQ(CmDivByRecip(x, recip), x / d) << x << " / " << d;
      ASSERT_EQ(CmDivByInverse(x, inverse), x / d) << x << " / " << d;
    }
  }
}

// A halftone engine may replace the grid and table after loading; the
// translation follows the new grid.
TEST(CmTranslate, FollowsAReplacedGrid) {
  HandInstance h;
  h.SetTable(3, 3, 3, 2, kGrid3, kGrid3, kGrid3, SmallTable());
  const uint8_t px[4] = {0, 100, 150, 200};
  uint8_t out[4];
  ASSERT_EQ(CmTranslate(h.handle(), 1, px, out), RC_OK);
  std::mt19937 rng(3);
  const std::vector<uint8_t> g = RandomGrid(rng, 25);
  std::vector<uint8_t> table(25 * 25 * 25 * 4);
  for (auto& v : table) v = static_cast<uint8_t>(rng());
  h.SetTable(25, 25, 25, 4, g, g, g, table);
  uint8_t want[4];
  ASSERT_EQ(CmTranslate(h.handle(), 1, px, out), RC_OK);
  PlainTranslate(h.lut(), kCmNodeLayout, 1, px, want);
  EXPECT_EQ(std::vector<uint8_t>(out, out + 4), std::vector<uint8_t>(want, want + 4));
}

}  // namespace
}  // namespace vantik::colormatch
