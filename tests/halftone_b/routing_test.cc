// Every kind but 2 reaches engine B in all four halftone calls.
#include <gtest/gtest.h>

#include <vector>

#include "common/halftone_b_fixtures.h"
#include "interface/memblock.h"

namespace vantik::halftone_b {
namespace {

using testing::MakeParams;
using testing::MakeTestLut;
using testing::TestLut;

TEST(EngineBRouting, KindsOtherThanTwoReachEngineB) {
  for (int32_t kind : {0, 1, 3, -1}) {
    SCOPED_TRACE(kind);
    const long live = MemLiveBlocks();
    TestLut lut = MakeTestLut();
    HalftoneParams p = MakeParams(kind, 0);
    int32_t next = 0;
    HalftoneHandle h = nullptr;
    int reserved = 0;
    // Only engine B refuses a reserved argument.
    EXPECT_EQ(HalftoneNewThk(&p, nullptr, lut.get(), &reserved, &next, &h), 0x203u);
    ASSERT_EQ(HalftoneNewThk(&p, nullptr, lut.get(), nullptr, &next, &h), 0u);
    EXPECT_EQ(next, 500);
    std::vector<uint8_t> ids = testing::IdListBlock({612, 613});
    ASSERT_EQ(HalftoneSetResourceThk(h, ids.data(), &next), 0u);
    EXPECT_EQ(next, 612);
    ASSERT_EQ(HalftoneSetResourceThk(h, ids.data(), &next), 0u);
    EXPECT_EQ(next, 613);
    std::vector<uint8_t> matrix = testing::DefaultMatrixBlock();
    ASSERT_EQ(HalftoneSetResourceThk(h, matrix.data(), &next), 0u);
    EXPECT_EQ(next, -1);
    uint8_t pixels[8] = {0};
    uint8_t plane[2] = {0};
    EXPECT_EQ(HalftoneThk(h, pixels, plane, 0, 0, 8, 0, 0, 0, 1, nullptr), 0x20Au);
    EXPECT_EQ(HalftoneDeleteThk(h), 0u);
    EXPECT_EQ(MemLiveBlocks(), live);
  }
}

TEST(EngineBRouting, KindTwoDoesNotReachEngineB) {
  // Engine B answers a missing CmLut with 0x202; the other engine does not.
  HalftoneParams p = MakeParams(2, 0);
  int32_t next = 0;
  HalftoneHandle h = nullptr;
  EXPECT_NE(HalftoneNewThk(&p, nullptr, nullptr, nullptr, &next, &h), 0x202u);
  EXPECT_EQ(h, nullptr);
}

}  // namespace
}  // namespace vantik::halftone_b
