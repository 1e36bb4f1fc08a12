// The default resource set against the block formats: every combination the
// tool offers finds its blocks, and every block has the shape its reader
// expects.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <map>
#include <set>

#include "formats/id_list.h"
#include "printmodel/gamut_map.h"
#include "resources/block_formats.h"
#include "vantik/default_resources.h"
#include "vantik/resource_describe.h"

namespace vantik::resources {
namespace {

using restest::IndexEntry;
using restest::ParsedIndex;

const Block& Get(Service s, int number) {
  const Block* b = FindDefault(s, number);
  EXPECT_NE(b, nullptr) << DirectoryName(s) << " block " << number << " missing";
  static const Block kEmpty{s, number, {}, "missing"};
  return b ? *b : kEmpty;
}

struct Resolution {
  int x, y;
};
constexpr Resolution kResolutions[] = {{360, 360}, {720, 720}, {1440, 720}, {720, 1440}};

struct Combo {
  int kind, mode, paper, selector;
  Resolution res;
};

int Selectors(int kind) { return kind == 2 ? 3 : kind == 3 ? 2 : 1; }

// Everything the tool offers.  Kind 0 reaches the index as kind 3.
std::vector<Combo> OfferedCombos() {
  std::vector<Combo> out;
  for (int kind : {1, 2, 3})
    for (int mode : {kModeMono, kModeColor})
      for (int paper : {kPaperPlain, kPaperPhoto})
        for (const Resolution& r : kResolutions)
          for (int sel = 0; sel < Selectors(kind); ++sel) out.push_back({kind, mode, paper, sel, r});
  return out;
}

std::vector<int> ScreenSelectors() {
  std::vector<restest::ScreenLine> lines;
  bool end = false;
  restest::ParseScreenTable(Get(Service::kHalftone, kScreenTableNumber).bytes, &lines, &end);
  std::vector<int> out;
  for (const auto& l : lines) out.push_back(l.selector);
  return out;
}

std::vector<int16_t> Ids(std::span<const uint8_t> b) {
  formats::IdList list;
  ByteReader reader(b.data(), b.size());
  if (!formats::ParseIdList(reader, list).ok()) return {};
  return std::vector<int16_t>(list.ids, list.ids + list.count);
}

TEST(DefaultIndex, EveryOfferedComboFindsFittingBlocks) {
  const ParsedIndex index = restest::ParseIndex(Get(Service::kColor, kColorIndexNumber).bytes);
  ASSERT_TRUE(index.ok) << index.problem;
  EXPECT_LE(index.entries.size(), 100u);
  EXPECT_LE(index.longestName, 11);
  EXPECT_LE(index.kinds.size(), 12u);
  EXPECT_LE(index.papers.size(), 32u);
  EXPECT_LE(index.modes.size(), 12u);
  const std::vector<int> selectors = ScreenSelectors();

  for (const Combo& c : OfferedCombos()) {
    SCOPED_TRACE(testing::Message() << "kind " << c.kind << " mode " << c.mode << " paper " << c.paper
                                    << " selector " << c.selector << " " << c.res.x << "x" << c.res.y);
    const IndexEntry* e = restest::Lookup(index, c.kind, c.mode, c.paper, c.selector, c.res.x, c.res.y);
    ASSERT_NE(e, nullptr);
    const Block& table = Get(Service::kColor, e->table);
    ASSERT_EQ(table.kind, "table");
    restest::TableView tv{};
    ASSERT_TRUE(restest::ViewTable(table.bytes, &tv));
    ASSERT_NE(e->halftone, 0);
    if (c.kind == 2) {
      // Engine A needs four channels and takes the halftone number as the
      // selector of a screen-table line.
      EXPECT_EQ(tv.w, 4);
      EXPECT_EQ(std::count(selectors.begin(), selectors.end(), e->halftone), 1);
      continue;
    }
    // Engine B: black-only printing needs one channel, colour four.
    EXPECT_EQ(tv.w, c.mode == kModeMono ? 1 : 4);
    EXPECT_TRUE(tv.weightLight == 250 || tv.weightLight == 350 || tv.weightLight == 500);
    // Halftone numbers 300..399 would trigger the density pass for kind 3.
    EXPECT_FALSE(e->halftone >= 300 && e->halftone <= 399);
    const Block& idList = Get(Service::kHalftone, e->halftone);
    ASSERT_EQ(idList.kind, "id-list");
    const std::vector<int16_t> ids = Ids(idList.bytes);
    ASSERT_EQ(ids.size(), 3u);
    EXPECT_EQ(Get(Service::kHalftone, ids[0]).kind, "nodes");
    const int matrixId = c.res.x == 2 * c.res.y ? ids[2] : ids[1];
    const Block& matrix = Get(Service::kHalftone, matrixId);
    ASSERT_EQ(matrix.kind, "matrix16");
    // Kind 3 is also what kind 0 uses, whose kernel takes columns x AND 63.
    if (c.kind == 3) {
      EXPECT_EQ(matrix.bytes[0], 64);
    }
  }
}

TEST(DefaultIndex, TextStaysWithinTheReadersLimits) {
  for (int number : {kColorIndexNumber, kCalibrationIndex}) {
    const auto bytes = Get(Service::kColor, number).bytes;
    ASSERT_FALSE(bytes.empty());
    EXPECT_EQ(bytes.back(), 0) << "a NUL ends the text for callers that pass no length";
    size_t line = 0;
    for (uint8_t b : bytes) {
      line = (b == '\r' || b == '\n') ? 0 : line + 1;
      EXPECT_LT(line, 256u) << "block " << number << ": a line longer than a token or skipped remainder";
    }
  }
}

TEST(DefaultIndex, CalibrationIndexNamesTheCurveBlockInTableModeZero) {
  const ParsedIndex index = restest::ParseIndex(Get(Service::kColor, kCalibrationIndex).bytes);
  ASSERT_TRUE(index.ok) << index.problem;
  EXPECT_LE(index.entries.size(), 100u);
  for (const Combo& c : OfferedCombos()) {
    SCOPED_TRACE(testing::Message() << "kind " << c.kind << " paper " << c.paper << " selector " << c.selector
                                    << " " << c.res.x << "x" << c.res.y);
    const IndexEntry* e = restest::Lookup(index, c.kind, 0, c.paper, c.selector, c.res.x, c.res.y);
    ASSERT_NE(e, nullptr);
    EXPECT_EQ(Get(Service::kColor, e->table).bytes.size(), 21u * 256u);
  }
}

TEST(DefaultTables, HeaderAndGridAreWithinTheFormatsLimits) {
  for (const Block& b : Defaults()) {
    if (b.kind != "table") continue;
    SCOPED_TRACE(testing::Message() << "table " << b.number);
    restest::TableView tv{};
    ASSERT_TRUE(restest::ViewTable(b.bytes, &tv));
    EXPECT_EQ(tv.n, 17);
    EXPECT_LE(tv.n * tv.w, 192);
    EXPECT_EQ(tv.tableType, 1);
    EXPECT_EQ(tv.positions.front(), 0);
    EXPECT_EQ(tv.positions.back(), 255);
    for (size_t i = 1; i < tv.positions.size(); ++i) EXPECT_LT(tv.positions[i - 1], tv.positions[i]);
    for (int axis = 1; axis < 3; ++axis)
      for (int i = 0; i < tv.n; ++i) EXPECT_EQ(b.bytes[76 + axis * tv.n + i], tv.positions[i]);
    // Engine B divides by the dot weight at every level.
    for (int v = 0; v < 256; ++v) EXPECT_GT(restest::DotWeight(v, tv.weightLight, tv.weightFull), 0);
    EXPECT_EQ(restest::DotWeight(255, tv.weightLight, tv.weightFull), 255) << "full ink must fill every cell";
    // Engine A's level table divides by 3A - 0.7 B and, for A < 255, 765 - 3A.
    EXPECT_GE(tv.paramA, 255);
    EXPECT_NE(3 * tv.paramA, 70 * tv.paramB / 100);
    // The explicit neutral axis repeats the table's own diagonal.
    for (int j = 0; j < tv.n; ++j)
      for (int ch = 0; ch < tv.w; ++ch)
        EXPECT_EQ(tv.diagonal[j * tv.w + ch], tv.table[(j * (tv.n * tv.n + tv.n + 1)) * tv.w + ch]);
  }
}

// Coverage a level prints: engine B tables are written through the dot
// weights, engine A tables are plain coverage.
double Printed(const restest::TableView& tv, int level, bool weighted) {
  if (!weighted) return level / 255.0;
  return static_cast<double>(level) / restest::DotWeight(level, tv.weightLight, tv.weightFull);
}

// How a channel's colour ink and black combine on paper, per table: the
// tables are made for the dot placement of the screens that use them.
// kOverlap: the diffusion kernels gather cyan on black's cells (overlap
// 1.2 times that of independent dots) and keep magenta off them (0.7).
enum class Combine { kProduct, kMax, kSum, kGather, kAvoid };

struct TableCase {
  int number;
  bool weighted;        // engine B: levels go through the dot weights
  Combine combine[3];   // cyan, magenta, yellow channel with black
  bool balanced;        // C = M = Y on the neutral axis
  // Black takes the whole gray component (on a measured table: the neutral
  // axis is black alone).
  bool fullBlack = false;
  // Built by inverting the measured printer and corrected by printing every
  // node through the engine: the ideal-ink overlap model above is not the
  // printer these tables aim at, so their tone, neutrality and smoothness
  // are checked by printing them and reading the dots under the measured
  // printer (pipeline_test.cc, tests/tool/e2e_test.cc); here only what the
  // bytes alone show (black, ink limit).
  bool measured = false;
};
constexpr Combine P = Combine::kProduct, X = Combine::kMax, S = Combine::kSum, G = Combine::kGather,
                  A = Combine::kAvoid;
constexpr TableCase kColorTables[] = {
    // Error diffusion: square dots, then 1440 x 720 and 720 x 1440.
    {1, true, {G, A, P}, false, false, true}, {2, true, {G, A, P}, false, false, true},
    {13, true, {G, A, P}, false, false, true}, {14, true, {G, A, P}, false, false, true},
    {15, true, {G, A, P}, false, false, true}, {16, true, {G, A, P}, false, false, true},
    // Engine A's screens, built under each screen's own dot rule: blue noise
    // with the ink limit, clustered dots, stacked inks.
    {3, false, {X, X, X}, false, false, true}, {4, false, {X, X, X}, false, false, true},
    {17, false, {X, X, X}, false, false, true}, {18, false, {X, X, X}, false, false, true},
    {7, false, {S, S, S}, false, true, true}, {8, false, {S, S, S}, false, true, true},
    {9, true, {S, P, S}, false, false, true}, {10, true, {S, P, S}, false, false, true},  // kind 3, magenta diffused
    {11, true, {S, S, S}, false, false, true}, {12, true, {S, S, S}, false, false, true},  // kind 3, all dithered
};


double Reflectance(double ink, double black, Combine how) {
  switch (how) {
    case Combine::kProduct:
      return (1.0 - ink) * (1.0 - black);
    case Combine::kMax:
      return 1.0 - std::max(ink, black);
    case Combine::kSum:
      return 1.0 - std::min(1.0, ink + black);
    case Combine::kGather:
    case Combine::kAvoid: {
      // The overlap share is bounded so that the union never shrinks as ink
      // is added.
      const double share = std::min(how == Combine::kGather ? 1.2 : 0.7, 0.7 / std::max(black, 1e-9));
      return 1.0 - (ink + black - share * ink * black);
    }
  }
  return 0;
}

TEST(DefaultTables, NeutralRampPrintsNeutralWithTheRightTone) {
  for (const TableCase& tc : kColorTables) {
    if (tc.measured) continue;
    SCOPED_TRACE(testing::Message() << "table " << tc.number);
    restest::TableView tv{};
    ASSERT_TRUE(restest::ViewTable(Get(Service::kColor, tc.number).bytes, &tv));
    ASSERT_EQ(tv.w, 4);
    double previous = -1.0;
    for (int j = 0; j < tv.n; ++j) {
      const uint8_t* node = tv.table.data() + j * (tv.n * tv.n + tv.n + 1) * 4;
      // Gray balance: equal colour inks where the screen treats them alike.
      if (tc.balanced) {
        EXPECT_EQ(node[0], node[1]);
        EXPECT_EQ(node[1], node[2]);
      }
      const double k = Printed(tv, node[3], tc.weighted);
      const double target = tv.positions[j] / 255.0;
      double reflect[3];
      for (int ch = 0; ch < 3; ++ch) reflect[ch] = Reflectance(Printed(tv, node[ch], tc.weighted), k, tc.combine[ch]);
      EXPECT_GT(reflect[1], previous) << "a lighter gray must print lighter";
      previous = reflect[1];
      // Deep shadows (below gray 48) give up some density to the ink limit;
      // there the ramp only has to keep darkening.
      if (tv.positions[j] < 48) continue;
      for (int ch = 0; ch < 3; ++ch) {
        EXPECT_NEAR(reflect[ch], target, 0.02) << "gray " << int(tv.positions[j]) << " channel " << ch;
      }
    }
  }
}

TEST(DefaultTables, BlackStartsInTheShadowsAndInkStaysUnderTheLimit) {
  for (const TableCase& tc : kColorTables) {
    SCOPED_TRACE(testing::Message() << "table " << tc.number);
    restest::TableView tv{};
    ASSERT_TRUE(restest::ViewTable(Get(Service::kColor, tc.number).bytes, &tv));
    const int n = tv.n;
    double maxTotal = 0;
    for (int a = 0; a < n; ++a)
      for (int b = 0; b < n; ++b)
        for (int c = 0; c < n; ++c) {
          const uint8_t* node = tv.table.data() + ((a * n + b) * n + c) * 4;
          const int lightest = std::max({tv.positions[a], tv.positions[b], tv.positions[c]});
          // No black in colours whose lightest component is above mid-gray.
          // The measured tables give dark saturated colours (a deep blue,
          // a wine red) the black their colour inks cannot reach under the
          // ink limit, but never a light colour, where black dots show
          // (bar the stacked screen's neutral axis, which is black alone).
          if (tc.measured) {
            const double l = printmodel::SrgbToLab(tv.positions[a] / 255.0, tv.positions[b] / 255.0,
                                                   tv.positions[c] / 255.0).l;
            const bool axis = a == b && b == c;
            if (lightest >= 128 && l >= 50 && !(tc.fullBlack && axis)) {
              EXPECT_EQ(node[3], 0) << a << " " << b << " " << c;
            }
          } else if (lightest >= 176 && !tc.fullBlack) {
            EXPECT_EQ(node[3], 0) << a << " " << b << " " << c;
          }
          if (!tc.weighted) continue;  // engine A never stacks the composite
          double total = 0;
          for (int ch = 0; ch < 4; ++ch) total += Printed(tv, node[ch], true);
          maxTotal = std::max(maxTotal, total);
        }
    if (tc.weighted) {
      EXPECT_LE(maxTotal, tv.paramB / 255.0 + 0.02);
    }
    // Black reaches full strength at the black corner.
    EXPECT_EQ(tv.table[3], 255);
  }
}

TEST(DefaultTables, GradientsPrintSmoothly) {
  // Second differences of the printed reflectance of each channel along
  // every axis: a jump in the separation shows up as a large curvature
  // between neighbouring nodes.  Measured on paper rather than on the bytes,
  // since ink hidden under solid black may change freely.
  for (const TableCase& tc : kColorTables) {
    if (tc.measured) continue;
    SCOPED_TRACE(testing::Message() << "table " << tc.number);
    restest::TableView tv{};
    ASSERT_TRUE(restest::ViewTable(Get(Service::kColor, tc.number).bytes, &tv));
    const int n = tv.n;
    std::vector<double> reflect(static_cast<size_t>(n) * n * n * 3);
    for (int i = 0; i < n * n * n; ++i) {
      const uint8_t* node = tv.table.data() + i * 4;
      const double k = Printed(tv, node[3], tc.weighted);
      for (int ch = 0; ch < 3; ++ch)
        reflect[i * 3 + ch] = Reflectance(Printed(tv, node[ch], tc.weighted), k, tc.combine[ch]);
    }
    auto at = [&](int a, int b, int c, int ch) { return reflect[((a * n + b) * n + c) * 3 + ch]; };
    double worst = 0;
    for (int a = 0; a < n; ++a)
      for (int b = 0; b < n; ++b)
        for (int c = 1; c + 2 < n; ++c) {  // the last interval is one step shorter
          for (int ch = 0; ch < 3; ++ch) {
            worst = std::max(worst, std::fabs(at(a, b, c - 1, ch) - 2 * at(a, b, c, ch) + at(a, b, c + 1, ch)));
            worst = std::max(worst, std::fabs(at(a, c - 1, b, ch) - 2 * at(a, c, b, ch) + at(a, c + 1, b, ch)));
            worst = std::max(worst, std::fabs(at(c - 1, a, b, ch) - 2 * at(c, a, b, ch) + at(c + 1, a, b, ch)));
          }
        }
    // The input steps by 16/255 = 0.063 between nodes; a kink where black
    // begins, or where colour ink fades under solid black next to the black
    // corner, bends the ramp by at most one step.
    EXPECT_LE(worst, 0.063);
    RecordProperty("worst_curvature_table_" + std::to_string(tc.number), std::to_string(worst));
  }
}

TEST(DefaultTables, BlackOnlyTablesAndGrayLevelsFollowTheGrayRamp) {
  for (int number : {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17, 18}) {
    SCOPED_TRACE(testing::Message() << "table " << number);
    restest::TableView tv{};
    ASSERT_TRUE(restest::ViewTable(Get(Service::kColor, number).bytes, &tv));
    const bool weighted = number != 3 && number != 4 && number != 7 && number != 8 && number != 17 && number != 18;
    for (int j = 0; j < tv.n; ++j) {
      EXPECT_NEAR(Printed(tv, tv.gray[j], weighted), 1.0 - tv.positions[j] / 255.0, 0.01);
      if (tv.w == 1) {
        EXPECT_EQ(tv.table[j * (tv.n * tv.n + tv.n + 1)], tv.gray[j]);
      }
    }
    EXPECT_EQ(tv.gray[tv.n - 1], 0) << "white paper stays blank";
  }
}

}  // namespace
}  // namespace vantik::resources
