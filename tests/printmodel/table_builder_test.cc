// The table builder on the default model: colours the model prints invert
// back to inks that print them, the neutral axis falls in lightness, the ink
// limit holds, pure black leaves the dark grays to black ink alone, dark
// saturated nodes reach their colour, and the gamut outline holds light tints.
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <string>
#include <vector>

#include "printmodel/table_builder.h"

namespace vantik::printmodel {
namespace {

TEST(TableBuilder, PrintableColoursInvertToInksThatPrintThem) {
  const BuildSettings settings;
  TableBuilder builder(PrintModel::Default(), settings);
  const Inks cases[] = {{0.3, 0.1, 0.05, 0}, {0.1, 0.7, 0.6, 0.2}, {0.8, 0.2, 0.7, 0.4},
                        {0.05, 0.05, 0.05, 0}, {0.6, 0.6, 0.6, 0.5}};
  for (const Inks& ink : cases) {
    const Lab target = builder.Printed(ink);
    const Inks got = builder.Solve(target, ink[3], {0, 0, 0, 0});
    EXPECT_LT(DeltaE2000(builder.Printed(got), target), 1.0) << ink[0] << " " << ink[1];
  }
}

TEST(TableBuilder, NeutralAxisFallsAndInkLimitHolds) {
  const std::vector<uint8_t> positions = {0, 64, 128, 192, 255};
  for (bool pure : {false, true}) {
    BuildSettings settings;
    settings.pureBlack = pure;
    TableBuilder builder(PrintModel::Default(), settings);
    const std::vector<BuiltNode> nodes = builder.Build(positions);
    const int n = static_cast<int>(positions.size());
    for (const BuiltNode& node : nodes) {
      EXPECT_LE(node.ink[0] + node.ink[1] + node.ink[2] + node.ink[3], settings.inkLimit + 1e-9);
    }
    for (int j = 1; j < n; ++j) {
      const BuiltNode& dark = nodes[(static_cast<size_t>(j - 1) * n + j - 1) * n + j - 1];
      const BuiltNode& light = nodes[(static_cast<size_t>(j) * n + j) * n + j];
      EXPECT_LT(dark.printed.l, light.printed.l) << "pure " << pure << " step " << j;
    }
    const BuiltNode& black = nodes[0];
    if (pure) {
      EXPECT_EQ(black.ink[0] + black.ink[1] + black.ink[2], 0.0);
    } else {
      EXPECT_GT(black.ink[0] + black.ink[1] + black.ink[2], 0.5);  // rich black
    }
  }
}

// Dark warm colours (shadows of skin, brown) reach their lightness only in a
// narrow band of black under the ink limit: with too little black the colour
// inks run into the limit and the node prints several L* too light.
TEST(TableBuilder, DarkSaturatedNodesReachTheirTargetUnderTheInkLimit) {
  BuildSettings settings;
  settings.inkLimit = 2.6;
  settings.black = {0.5, 1.8};
  settings.keepTones = true;
  TableBuilder builder(PrintModel::Default(), settings);
  const std::vector<uint8_t> positions = {32, 48, 64};
  const std::vector<BuiltNode> nodes = builder.Build(positions);
  const int n = static_cast<int>(positions.size());
  for (const auto& [r, g, b] : {std::array{2, 0, 0}, std::array{2, 1, 0}, std::array{2, 1, 1}}) {
    const BuiltNode& node = nodes[(static_cast<size_t>(r) * n + g) * n + b];
    EXPECT_LT(DeltaE2000(node.printed, node.target), 1.0)
        << int(positions[r]) << "," << int(positions[g]) << "," << int(positions[b]) << " prints L* "
        << node.printed.l << " for " << node.target.l;
  }
}

// The gamut outline near paper white: the printer's own light tints lie
// inside it, so that light colours are not compressed toward gray.
TEST(GamutMap, OutlineHoldsTheLightestTints) {
  const PrintModel& model = PrintModel::Default();
  const GamutMap gamut(model, 2.6);
  const ModelPrinter printer(model);
  const Inks tints[] = {{0.03, 0, 0, 0}, {0, 0.03, 0, 0}, {0, 0, 0.04, 0}, {0, 0, 0.1, 0},
                        {0.04, 0, 0.06, 0}, {0, 0.05, 0.02, 0}, {0.02, 0.03, 0, 0}};
  for (const Inks& ink : tints) {
    const Lab lab = printer.Print(ink);
    const double chroma = std::hypot(lab.a, lab.b);
    EXPECT_GE(gamut.MaxChroma(lab.l, std::atan2(lab.b, lab.a)), chroma - 1.0)
        << ink[0] << " " << ink[1] << " " << ink[2] << " at L* " << lab.l << " chroma " << chroma;
  }
}

// The axis inks of an n^3 table (red slowest): n = 3 here, black first.
std::vector<BuiltNode> AxisTable(const std::vector<Inks>& axis) {
  const size_t n = axis.size();
  std::vector<BuiltNode> nodes(n * n * n);
  for (size_t j = 0; j < n; ++j) nodes[(j * n + j) * n + j].ink = axis[j];
  return nodes;
}

TEST(MakeAxisMonotone, PoolsInksThatFallTowardBlackAndKeepsTheLimit) {
  struct Case {
    const char* what;
    std::vector<Inks> axis;  // black, mid gray, white
    double limit;
    std::vector<Inks> want;
  };
  const Case cases[] = {
      {"rising inks stay", {{0.6, 0.5, 0.4, 1.0}, {0.3, 0.2, 0.2, 0.4}, {0, 0, 0, 0}}, 2.6,
       {{0.6, 0.5, 0.4, 1.0}, {0.3, 0.2, 0.2, 0.4}, {0, 0, 0, 0}}},
      // Cyan falls toward black: black and mid gray share their mean.
      {"cyan pooled", {{0.2, 0.5, 0.4, 1.0}, {0.4, 0.2, 0.2, 0.4}, {0, 0, 0, 0}}, 2.6,
       {{0.3, 0.5, 0.4, 1.0}, {0.3, 0.2, 0.2, 0.4}, {0, 0, 0, 0}}},
      // Pooling magenta would put the black node over the limit: its
      // colour is trimmed and the order still holds.
      {"limit kept", {{0.5, 0.4, 0.5, 1.0}, {0.5, 0.8, 0.5, 0.2}, {0, 0, 0, 0}}, 2.4, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::vector<BuiltNode> nodes = AxisTable(c.axis);
    MakeAxisMonotone(nodes, 3, c.limit);
    const Inks got[3] = {nodes[0].ink, nodes[13].ink, nodes[26].ink};
    for (size_t j = 0; j < 3; ++j) {
      EXPECT_LE(got[j][0] + got[j][1] + got[j][2] + got[j][3], c.limit + 1e-9) << "node " << j;
      for (int i = 0; i < kInks; ++i) {
        if (j > 0) {
          EXPECT_GE(got[j - 1][i], got[j][i] - 1e-9) << "ink " << i << " node " << j;
        }
        if (!c.want.empty()) {
          EXPECT_NEAR(got[j][i], c.want[j][i], 1e-9) << "ink " << i << " node " << j;
        }
      }
    }
  }
}

// The axis built for halftones that calibrate by one curve for every ink:
// each ink rises from white to black, black carries nearly all of each
// gray's tone, and the grays still fall in lightness and print neutral.
TEST(TableBuilder, MonotoneAxisTakesItsToneInBlack) {
  const std::vector<uint8_t> positions = {0, 32, 64, 96, 128, 160, 192, 224, 255};
  for (double limit : {2.6, 3.0}) {
    BuildSettings settings;
    settings.inkLimit = limit;
    settings.black = {0.0, 1.0};
    settings.keepTones = true;
    settings.monotoneAxis = true;
    settings.axisBlackShare = 0.95;
    TableBuilder builder(PrintModel::Default(), settings);
    const std::vector<BuiltNode> nodes = builder.Build(positions);
    const size_t n = positions.size();
    auto axis = [&](size_t j) -> const BuiltNode& { return nodes[(j * n + j) * n + j]; };
    for (size_t j = 0; j < n; ++j) {
      SCOPED_TRACE("limit " + std::to_string(limit) + ", gray " + std::to_string(positions[j]));
      const BuiltNode& node = axis(j);
      EXPECT_LE(node.ink[0] + node.ink[1] + node.ink[2] + node.ink[3], limit + 1e-9);
      EXPECT_LT(std::hypot(node.printed.a, node.printed.b), 1.5);
      if (j + 1 < n) {
        EXPECT_LT(node.printed.l, axis(j + 1).printed.l);
        for (int i = 0; i < kInks; ++i) {
          EXPECT_GE(node.ink[i], axis(j + 1).ink[i]) << "ink " << i;
        }
      }
      // Midtones: black alone would print at least 80 % of the gray's
      // darkness (the colour inks only balance and deepen it).
      if (positions[j] > 32 && positions[j] < 255) {
        const double paper = builder.Printed({0, 0, 0, 0}).l;
        const double blackAlone = builder.Printed({0, 0, 0, node.ink[3]}).l;
        EXPECT_GT(paper - blackAlone, 0.8 * (paper - node.printed.l));
      }
    }
  }
}

}  // namespace
}  // namespace vantik::printmodel
