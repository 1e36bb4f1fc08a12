// Correcting a built table by printing its nodes through the library: the
// printed nodes come closer to their targets, black and the ink limit hold,
// black-only grays stay black-only, and a print path that cannot show the
// table is refused.
#include <gtest/gtest.h>

#include "printmodel/node_correction.h"
#include "vantik/default_resources.h"

namespace vantik::printmodel {
namespace {

// The default set's error-diffusion table for plain paper at 720 x 720.
constexpr int kTableDiffusionPlain = 1;

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

Table DiffusionTable(const ResourceSet& set) {
  Table t;
  const auto block = set.Find(Service::kColor, kTableDiffusionPlain);
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
