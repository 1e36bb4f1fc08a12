// Flat patches printed through the library and read under the model: a
// method whose inks all follow a threshold matrix reads the same colour for
// one gray wherever its patch lies on the page, and the settle rows and
// columns are left unread.
#include <gtest/gtest.h>

#include "printmodel/patch_printer.h"
#include "vantik/default_resources.h"

namespace vantik::printmodel {
namespace {

ResourceSet Defaults() {
  ResourceSet set;
  for (const resources::Block& b : resources::Defaults()) set.AddView(b.service, b.number, b.bytes);
  return set;
}

ColorSettings Method(int kind, int variant, int selector) {
  ColorSettings cs;
  cs.halftone.kind = kind;
  cs.halftone.variant = variant;
  cs.halftone.renderMode = 3;
  cs.halftone.lutMode = 1;
  cs.selector = selector;
  return cs;
}

TEST(PatchPrinter, OrderedDitherReadsOneColourWhereverThePatchLies) {
  // Dark grays, where a few dots of colour beside black tint the patch;
  // each printed at several places across the matrix tile.
  std::vector<Rgb> probes;
  for (uint8_t g : {40, 52, 64})
    for (int copy = 0; copy < 5; ++copy) probes.push_back({g, g, g});
  // Asked for 48-dot patches read over 40 dots, less than the 64 of a tile.
  const PatchPrinter printer(probes, 48, 8, 3);
  EXPECT_GE(printer.patch() - 8, 64);
  ColorSettings cs = Method(3, 1, resources::kSelectorAllDithered);
  cs.halftone.lineWidth = static_cast<uint32_t>(printer.width());
  Result<std::vector<Lab>> labs = printer.Print(cs, Defaults(), PrintModel::Default());
  ASSERT_TRUE(labs.ok()) << labs.status().message();
  ASSERT_EQ(labs->size(), probes.size());
  // Read over 40 dots the copies differ by up to 1.1 Delta E 2000; over
  // whole tiles only the kernel's smoothing of levels along the line, which
  // remembers a little of where the patch began, is left.
  for (size_t i = 0; i < probes.size(); ++i) {
    const Lab& first = (*labs)[i - i % 5];
    EXPECT_LT(DeltaE2000((*labs)[i], first), 0.1) << "gray " << int(probes[i][0]);
  }
}

TEST(PatchPrinter, DiffusionKeepsTheAskedPatchAndPaperReadsWhite) {
  const PatchPrinter printer({{255, 255, 255}, {0, 0, 0}}, 48, 8, 1);
  EXPECT_EQ(printer.patch(), 48);
  EXPECT_EQ(printer.width(), 96);
  ColorSettings cs = Method(1, 0, 0);
  cs.halftone.lineWidth = static_cast<uint32_t>(printer.width());
  Result<std::vector<Lab>> labs = printer.Print(cs, Defaults(), PrintModel::Default());
  ASSERT_TRUE(labs.ok()) << labs.status().message();
  EXPECT_NEAR((*labs)[0].l, 100, 1e-9);
  EXPECT_LT((*labs)[1].l, 20);
}

}  // namespace
}  // namespace vantik::printmodel
