// Correcting a built table by printing its nodes through the library: the
// printed nodes come closer to their targets, black and the ink limit hold,
// black-only grays stay black-only, and a print path that cannot show the
// table is refused; a kind-3 axis kept monotone stays so.
#include <gtest/gtest.h>

#include "printmodel/node_correction.h"
#include "vantik/default_resources.h"

namespace vantik::printmodel {
namespace {

// The default set's error-diffusion table for plain paper at 720 x 720,
// and the kind-3 table that diffuses magenta, for plain paper.
constexpr int kTableDiffusionPlain = 1;
constexpr int kTableHybridPlain = 9;

ResourceSet Defaults() {
  ResourceSet set;
  for (const resources::Block& b : resources::Defaults()) set.AddView(b.service, b.number, b.bytes);
  return set;
}

// Error diffusion at 720 x 720 on plain paper: the method the default
// set's table 1 serves.
ColorSettings DiffusionPlain() {
  ColorSettings cs;
  cs.halftone.kind = 1;
  cs.halftone.xResolution = 720;
  cs.halftone.yResolution = 720;
  cs.halftone.renderMode = 3;
  cs.halftone.lutMode = 1;
  cs.inks = InkSet::kColor;
  cs.paper = 0;
  return cs;
}

struct Table {
  std::vector<uint8_t> base, positions;
};

Table DiffusionTable(const ResourceSet& set, int number = kTableDiffusionPlain) {
  Table t;
  const auto block = set.Find(Service::kColor, number);
  if (!block) return t;
  t.base.assign(block->begin(), block->end());
  Result<std::vector<uint8_t>> positions = RebuildablePositions(t.base);
  if (positions.ok()) t.positions = *positions;
  return t;
}

TEST(NodeCorrection, PrintedNodesComeCloserWithBlackAndLimitKept) {
  ResourceSet set = Defaults();
  const Table table = DiffusionTable(set);
  ASSERT_FALSE(table.positions.empty());
  BuildSettings settings;
  settings.pureBlack = true;
  settings.keepTones = true;
  const TableBuilder builder(PrintModel::Default(), settings);
  const std::vector<BuiltNode> built = builder.Build(table.positions);
  std::vector<BuiltNode> nodes = built;
  CorrectionOptions options;
  options.rounds = 3;
  options.inkLimit = settings.inkLimit;
  Result<CorrectionFigures> figures =
      CorrectByPrinting(nodes, table.positions, table.base, kTableDiffusionPlain,
                        DiffusionPlain(), set, PrintModel::Default(), options);
  ASSERT_TRUE(figures.ok()) << figures.status().message();
  std::printf("nodes' Delta E 2000 to their targets as printed: mean %.2f -> %.2f, max %.2f -> %.2f\n",
              figures->meanBefore, figures->meanAfter, figures->maxBefore, figures->maxAfter);
  EXPECT_LT(figures->meanAfter, 0.8 * figures->meanBefore);
  EXPECT_LT(figures->maxAfter, figures->maxBefore);

  const size_t n = table.positions.size();
  for (size_t j = 0; j < nodes.size(); ++j) {
    const Inks& ink = nodes[j].ink;
    EXPECT_EQ(ink[3], built[j].ink[3]) << "node " << j << ": black is held";
    EXPECT_LE(ink[0] + ink[1] + ink[2] + ink[3], settings.inkLimit + 1e-9) << "node " << j;
  }
  // The pure-black grays (the darker half of the axis) keep black alone.
  for (size_t j = 0; j < n && table.positions[j] < 128; ++j) {
    const Inks& ink = nodes[(j * n + j) * n + j].ink;
    EXPECT_EQ(ink[0] + ink[1] + ink[2], 0.0) << "gray " << int(table.positions[j]);
  }
  // The set holds the corrected table on return.
  Result<std::vector<uint8_t>> written = WriteBuiltTable(table.base, nodes);
  ASSERT_TRUE(written.ok());
  const auto stored = set.Find(Service::kColor, kTableDiffusionPlain);
  ASSERT_TRUE(stored.has_value());
  EXPECT_TRUE(std::equal(stored->begin(), stored->end(), written->begin(), written->end()));
}

// Kind 3 lays its inks from both ends of one threshold matrix, so what a
// gray prints answers its inks unevenly and a free correction leaves axis
// inks that rise and fall.  With the axis kept monotone every ink still
// rises from white to black after the rounds, in what is stored.
TEST(NodeCorrection, MonotoneAxisHoldsThroughTheRounds) {
  ResourceSet set = Defaults();
  const Table table = DiffusionTable(set, kTableHybridPlain);
  ASSERT_FALSE(table.positions.empty());
  BuildSettings settings;
  settings.black = {0.0, 1.0};
  settings.keepTones = true;
  settings.monotoneAxis = true;
  settings.axisBlackShare = 0.95;
  const TableBuilder builder(PrintModel::Default(), settings);
  std::vector<BuiltNode> nodes = builder.Build(table.positions);
  ColorSettings hybrid = DiffusionPlain();
  hybrid.halftone.kind = 3;
  hybrid.halftone.variant = 0;
  hybrid.selector = resources::kSelectorDiffusedMagenta;
  CorrectionOptions options;
  options.ditherRounds = 3;
  options.inkLimit = settings.inkLimit;
  options.monotoneAxis = true;
  Result<CorrectionFigures> figures = CorrectByPrinting(nodes, table.positions, table.base, kTableHybridPlain,
                                                        hybrid, set, PrintModel::Default(), options);
  ASSERT_TRUE(figures.ok()) << figures.status().message();
  std::printf("hybrid plain, monotone axis: largest cast between grays %.2f -> %.2f\n",
              figures->axisCastBefore, figures->axisCastAfter);
  EXPECT_LT(figures->axisCastAfter, figures->axisCastBefore);
  const size_t n = table.positions.size();
  for (size_t j = 0; j + 1 < n; ++j) {
    const Inks& dark = nodes[(j * n + j) * n + j].ink;
    const Inks& light = nodes[((j + 1) * n + j + 1) * n + j + 1].ink;
    EXPECT_LE(dark[0] + dark[1] + dark[2] + dark[3], settings.inkLimit + 1e-9) << "gray " << int(table.positions[j]);
    for (int i = 0; i < kInks; ++i) {
      EXPECT_GE(dark[i], light[i]) << "ink " << i << ", gray " << int(table.positions[j]);
    }
  }
}

TEST(NodeCorrection, RefusesWhatItCannotPrint) {
  ResourceSet set = Defaults();
  const Table table = DiffusionTable(set);
  ASSERT_FALSE(table.positions.empty());
  const BuiltNode blank{};
  std::vector<BuiltNode> full(table.positions.size() * table.positions.size() * table.positions.size(),
                              blank);
  ColorSettings blackOnly = DiffusionPlain();
  blackOnly.inks = InkSet::kBlack;
  blackOnly.halftone.renderMode = 0;
  blackOnly.halftone.lutMode = 0;
  CorrectionOptions noRead;
  noRead.settle = noRead.patch;
  struct Case {
    const char* what;
    size_t nodes;
    ColorSettings settings;
    CorrectionOptions options;
  };
  const Case cases[] = {
      {"too few nodes", 8, DiffusionPlain(), {}},
      {"black-only print path", full.size(), blackOnly, {}},
      {"patches with nothing to read", full.size(), DiffusionPlain(), noRead},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::vector<BuiltNode> nodes(c.nodes, blank);
    Result<CorrectionFigures> figures =
        CorrectByPrinting(nodes, table.positions, table.base, kTableDiffusionPlain, c.settings,
                          set, PrintModel::Default(), c.options);
    EXPECT_FALSE(figures.ok());
  }
}

}  // namespace
}  // namespace vantik::printmodel
