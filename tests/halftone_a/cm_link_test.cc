// Engine A and colour matching share the CmLut: Create re-samples it to 25
// nodes, colour matching's later translations follow the new grid, and its
// Delete frees the new table.
#include <gtest/gtest.h>

#include "common/cm_fixtures.h"
#include "common/halftone_a_fixtures.h"
#include "interface/memblock.h"

namespace {

TEST(EngineAColorMatchingTest, TranslationFollowsTheResampledGrid) {
  const long live = vantik::MemLiveBlocks();
  const ColorAdjustRecord adjust = cmfix::DefaultAdjust();
  const HalftoneParams cmParams = cmfix::DefaultParams();  // 4-byte pixels x R G B
  int32_t key = 0;
  CmHandle cm = nullptr;
  ASSERT_EQ(CmNewThk(&adjust, nullptr, nullptr, nullptr, &cmParams, nullptr, nullptr, &key, &cm),
            RC_OK);
  cmfix::IndexText index;
  index.lines.push_back(cmfix::MatchingLine(5, 1));
  const std::string indexText = cmfix::MakeIndex(index);
  ASSERT_EQ(CmSetResourceWithLength(cm, indexText.data(), indexText.size(), &key), RC_OK);
  ASSERT_EQ(key, 5);
  const std::vector<uint8_t> table = cmfix::MakeTableBlock({});
  ASSERT_EQ(CmSetResourceWithLength(cm, table.data(), table.size(), &key), RC_OK);
  ASSERT_EQ(key, -1);
  CmLut* lut = CmGetLutThk(cm);
  ASSERT_EQ(lut->gridCountA, 3);

  HalftoneHandle ht = nullptr;
  const HalftoneParams params = vantik::testing::ParamsA(1);
  ASSERT_EQ(HalftoneNewThk(&params, nullptr, lut, nullptr, &key, &ht), RC_OK);
  EXPECT_EQ(key, 300);
  ASSERT_EQ(lut->gridCountA, 25);

  // Pixels on nodes of the new grid translate to exactly those nodes.
  struct Case { int r, g, b; int i, j, k; };
  const Case cases[] = {{11, 128, 244, 1, 12, 23}, {0, 255, 21, 0, 24, 2}, {138, 138, 138, 13, 13, 13}};
  for (const Case& c : cases) {
    const uint8_t pixel[4] = {0, static_cast<uint8_t>(c.r), static_cast<uint8_t>(c.g),
                              static_cast<uint8_t>(c.b)};
    uint8_t out[4] = {};
    ASSERT_EQ(CmTranslateColorsThk(cm, 1, pixel, out, 0, nullptr), RC_OK);
    const uint8_t* node = lut->table + ((c.i * 25 + c.j) * 25 + c.k) * 4;
    EXPECT_EQ(std::vector<uint8_t>(out, out + 4), std::vector<uint8_t>(node, node + 4))
        << c.r << " " << c.g << " " << c.b;
  }
  EXPECT_EQ(HalftoneDeleteThk(ht), RC_OK);
  EXPECT_EQ(CmDeleteThk(cm), RC_OK);
  EXPECT_EQ(vantik::MemLiveBlocks(), live);  // the new table went with the CmLut
}

}  // namespace
