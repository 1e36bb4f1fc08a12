// Halftone blocks of the default set: id lists, colour nodes, both matrix
// formats and engine A's screen table.

#include <gtest/gtest.h>

#include <algorithm>
#include <numeric>
#include <random>
#include <set>

#include "resources/block_formats.h"
#include "vantik/default_resources.h"
#include "vantik/resource_describe.h"

namespace vantik::resources {
namespace {

std::vector<const Block*> OfKind(std::string_view kind) {
  std::vector<const Block*> out;
  for (const Block& b : Defaults())
    if (b.kind == kind) out.push_back(&b);
  return out;
}

TEST(DefaultHalftone, IdListsAreTerminatedAndShort) {
  const auto lists = OfKind("id-list");
  ASSERT_FALSE(lists.empty());
  for (const Block* b : lists) {
    SCOPED_TRACE(b->number);
    ASSERT_EQ(b->bytes.size() % 2, 0u);
    const size_t ids = b->bytes.size() / 2 - 1;
    EXPECT_LE(ids, 15u);
    EXPECT_EQ(b->bytes[b->bytes.size() - 2], 0xFF);
    EXPECT_EQ(b->bytes[b->bytes.size() - 1], 0xFF);
  }
}

TEST(DefaultHalftone, ColorNodesRiseStrictlyFromZeroTo255) {
  for (const Block* b : OfKind("nodes")) {
    ASSERT_EQ(b->bytes.size(), 34u);
    EXPECT_EQ(b->bytes[0] | (b->bytes[1] << 8), 32);
    EXPECT_EQ(b->bytes[2], 0);
    EXPECT_EQ(b->bytes[33], 255);
    for (size_t i = 3; i < 34; ++i) EXPECT_LT(b->bytes[i - 1], b->bytes[i]);
  }
}

TEST(DefaultHalftone, SixteenBitMatricesArePowerOfTwoBlueNoiseRankMatrices) {
  const auto matrices = OfKind("matrix16");
  ASSERT_EQ(matrices.size(), 6u);
  std::set<int> widths;
  for (const Block* b : matrices) {
    SCOPED_TRACE(b->number);
    const int w = b->bytes[0], h = b->bytes[1];
    widths.insert(w);
    EXPECT_GE(w, 64);
    EXPECT_EQ(w & (w - 1), 0) << "the kernels take x AND (width - 1)";
    EXPECT_EQ(b->bytes[2], 2);
    ASSERT_EQ(b->bytes.size(), 4u + 2u * w * h);
    std::vector<int> cells(static_cast<size_t>(w) * h);
    for (size_t i = 0; i < cells.size(); ++i)
      cells[i] = static_cast<int16_t>(b->bytes[4 + 2 * i] | (b->bytes[5 + 2 * i] << 8));
    // Ranks 0 .. cells - 1: the engine's level table counts cells, so a level
    // covers exactly its share of the matrix.
    const MatrixStats s = AnalyseMatrix(cells, w, h);
    EXPECT_TRUE(s.permutation);
    EXPECT_LT(s.lowFrequencyShare, 0.01) << "white noise would give about 0.05";
  }
  EXPECT_TRUE(widths.count(64) && widths.count(128));
}

int Side(uint8_t stored) { return stored == 255 ? 256 : stored; }

std::vector<restest::ScreenLine> ScreenLines() {
  const Block* b = FindDefault(Service::kHalftone, kScreenTableNumber);
  std::vector<restest::ScreenLine> lines;
  bool sawEnd = false;
  if (b != nullptr) restest::ParseScreenTable(b->bytes, &lines, &sawEnd);
  return lines;
}

// The node-choice dithers made from a screen: matrix 2 of a line whose
// matrix 3 has its size.  They order the cells within each screen level
// rather than cover the whole matrix evenly by themselves.
std::set<int> NodeDithersOfScreens() {
  std::set<int> out;
  for (const auto& l : ScreenLines()) {
    const Block* m2 = FindDefault(Service::kHalftone, l.matrix2);
    const Block* m3 = FindDefault(Service::kHalftone, l.matrix3);
    if (m2 && m3 && m2->bytes.size() >= 2 && m3->bytes.size() >= 2 && m2->bytes[0] == m3->bytes[0] &&
        m2->bytes[1] == m3->bytes[1])
      out.insert(l.matrix2);
  }
  return out;
}

TEST(DefaultHalftone, ByteMatricesCoverEveryLevelEvenly) {
  const auto matrices = OfKind("matrix8");
  ASSERT_FALSE(matrices.empty());
  const std::set<int> nodeDithers = NodeDithersOfScreens();
  for (const Block* b : matrices) {
    SCOPED_TRACE(b->number);
    EXPECT_GE(b->number, 301);
    EXPECT_LE(b->number, 399);
    const int w = Side(b->bytes[0]), h = Side(b->bytes[1]);
    ASSERT_EQ(b->bytes.size(), 2u + static_cast<size_t>(w) * h);
    const auto cells = b->bytes.subspan(2);
    // Thresholds from 1: level 0 prints nothing and the grid dither never
    // steps past the last node.
    EXPECT_GE(*std::min_element(cells.begin(), cells.end()), 1);
    if (nodeDithers.count(b->number)) continue;  // checked against their screens below
    EXPECT_EQ(*std::min_element(cells.begin(), cells.end()), 1);
    // Coverage of level v is the share of cells with threshold <= v.
    for (int v : {32, 64, 128, 192, 250}) {
      const auto covered = std::count_if(cells.begin(), cells.end(), [&](uint8_t t) { return t <= v; });
      EXPECT_NEAR(static_cast<double>(covered) / cells.size(), v / 255.0, 1.0 / 255 + 1.0 / cells.size()) << v;
    }
  }
}

TEST(DefaultHalftone, BlueNoiseScreensChooseNodesByADitherMadeFromThemselves) {
  // Engine A picks the grid node of a colour by matrix 2 (the upper node
  // where the fraction between the nodes reaches the threshold) and sets
  // dots by matrix 3.  Two unrelated blue-noise matrices overlap as white
  // noise; a node dither that orders the cells within each screen level
  // keeps the dots nested.  Within every screen level its thresholds must
  // spread evenly over 1 .. 255, so that a fraction f between two nodes
  // takes the upper node in f / 255 of the cells, level by level.
  int checked = 0;
  for (const auto& l : ScreenLines()) {
    if (l.method != 5 && l.method != 6) continue;  // the blue-noise screens
    SCOPED_TRACE(l.selector);
    const Block* m2 = FindDefault(Service::kHalftone, l.matrix2);
    const Block* m3 = FindDefault(Service::kHalftone, l.matrix3);
    ASSERT_TRUE(m2 && m3);
    ASSERT_EQ(m2->bytes[0], m3->bytes[0]) << "read at the same column";
    ASSERT_EQ(m2->bytes[1], m3->bytes[1]) << "read at the same row";
    EXPECT_EQ(l.matrix2Phase, 0);
    const auto node = m2->bytes.subspan(2), screen = m3->bytes.subspan(2);
    ASSERT_EQ(node.size(), screen.size());
    for (int level = 1; level <= 255; ++level) {
      std::vector<int> t;
      for (size_t i = 0; i < screen.size(); ++i)
        if (screen[i] == level) t.push_back(node[i]);
      if (t.empty()) continue;
      ASSERT_GE(t.size(), 8u) << "too few cells at level " << level << " to spread a fraction";
      for (int f : {0, 1, 32, 100, 128, 200, 254}) {
        const auto upper = std::count_if(t.begin(), t.end(), [&](int v) { return f >= v; });
        EXPECT_NEAR(static_cast<double>(upper), f * static_cast<double>(t.size()) / 255, 1.0)
            << "level " << level << ", fraction " << f;
      }
    }
    ++checked;
  }
  EXPECT_GT(checked, 0);
}

TEST(DefaultHalftone, ClusteredScreensGrowCompactDotsBlueNoiseScreensDoNot) {
  // The 50 % pattern of a clustered screen is a few large dots: its power
  // sits at the screen frequency, its low-frequency share stays small, but
  // neighbouring cells agree far more often than in a dispersed screen.
  auto agreement = [](const Block& b) {
    const int w = b.bytes[0], h = b.bytes[1];
    const auto c = b.bytes.subspan(2);
    int same = 0;
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w; ++x) same += (c[y * w + x] <= 128) == (c[y * w + (x + 1) % w] <= 128);
    return static_cast<double>(same) / (w * h);
  };
  const Block* clustered = FindDefault(Service::kHalftone, 322);
  const Block* blue = FindDefault(Service::kHalftone, 302);
  ASSERT_TRUE(clustered && blue);
  EXPECT_GT(agreement(*clustered), 0.75);
  EXPECT_LT(agreement(*blue), 0.5);
}

TEST(DefaultHalftone, ScreenTableLinesNameKnownMethodsAndExistingMatrices) {
  const Block* b = FindDefault(Service::kHalftone, kScreenTableNumber);
  ASSERT_NE(b, nullptr);
  std::vector<restest::ScreenLine> lines;
  bool sawEnd = false;
  ASSERT_TRUE(restest::ParseScreenTable(b->bytes, &lines, &sawEnd)) << "a token runs into a line end";
  EXPECT_TRUE(sawEnd);
  const std::set<int> methods{0, 1, 2, 3, 5, 6, 7, 8, 9, 10};
  std::set<int> selectors;
  for (const auto& l : lines) {
    SCOPED_TRACE(l.selector);
    EXPECT_TRUE(selectors.insert(l.selector).second) << "duplicate selector";
    EXPECT_TRUE(methods.count(l.method));
    // Methods 3 and 5 limit ink through matrix 1; every method dithers the
    // colour grid through matrix 2 and sets dots with matrix 3.
    if (l.method == 3 || l.method == 5) {
      EXPECT_NE(l.matrix1, 0);
    }
    EXPECT_NE(l.matrix2, 0);
    EXPECT_NE(l.matrix3, 0);
    std::set<int> named;
    for (int m : {l.matrix1, l.matrix2, l.matrix3}) {
      if (m == 0) continue;
      EXPECT_TRUE(named.insert(m).second) << "a number named twice reaches only the first matrix";
      const Block* mb = FindDefault(Service::kHalftone, m);
      ASSERT_NE(mb, nullptr) << m;
      EXPECT_EQ(mb->kind, "matrix8");
    }
  }
}

TEST(MatrixStats, TellsBlueNoiseFromWhiteNoise) {
  std::vector<int> white(64 * 64);
  std::iota(white.begin(), white.end(), 0);
  std::mt19937 rng(7);
  std::shuffle(white.begin(), white.end(), rng);
  const MatrixStats s = AnalyseMatrix(white, 64, 64);
  EXPECT_TRUE(s.permutation);
  EXPECT_NEAR(s.lowFrequencyShare, 0.049, 0.02);
  white[5] = white[6];
  EXPECT_FALSE(AnalyseMatrix(white, 64, 64).permutation);
}

}  // namespace
}  // namespace vantik::resources
