// The table builder on the default model: colours the model prints invert
// back to inks that print them, the neutral axis falls in lightness, the ink
// limit holds, and pure black leaves the dark grays to black ink alone.
#include <gtest/gtest.h>

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

}  // namespace
}  // namespace vantik::printmodel
