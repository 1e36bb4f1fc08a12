// The page replay with halftone engine A (kind 2).
#include <gtest/gtest.h>

#include "bridge/bridge_page.h"
#include "common/cm_fixtures.h"
#include "common/halftone_a_fixtures.h"

namespace vantik::test::page {
namespace {

// The small table block, with the two parameters engine A builds its level
// table from (200 and 300, big-endian at bytes 64 and 68).
Block TableBlock() {
  Block b = cmfix::MakeTableBlock(cmfix::TableRecipe{});
  b[64] = 0;
  b[65] = 200;
  b[68] = 300 >> 8;
  b[69] = 300 & 0xFF;
  return b;
}

// Engine A (kind 2) on the hand-made table: halftone number 1 is the screen
// selector that engine A looks up; screen 300 and matrices 301..303.
PageSetup EngineAPage() {
  PageSetup p{"engine A", WithPreviewSettings(cmfix::DefaultAdjust()), cmfix::DefaultParams(),
              vantik::testing::ParamsA(1, 1, 0, 256), 3, {}};
  p.blocks = vantik::testing::StandardBlocks(2);
  p.blocks[-2] = ToBlock(cmfix::MakeIndex({{cmfix::MatchingLine(120, 1)}}));
  p.blocks[120] = TableBlock();
  return p;
}

using BridgePageTest = BridgeTest;

TEST_F(BridgePageTest, EngineAPageEqualsTheDirectEntryPoints) { ExpectSamePage(EngineAPage()); }

}  // namespace
}  // namespace vantik::test::page
