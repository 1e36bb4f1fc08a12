// Kind 2 reaches engine A through all four halftone entry points.
#include <gtest/gtest.h>

#include "common/halftone_a_fixtures.h"
#include "halftone_a/instance_a.h"
#include "interface/memblock.h"

namespace vantik::halftone_a {
namespace {

using namespace vantik::testing;

TEST(EngineARoutingTest, KindTwoReachesEngineAInAllFourCalls) {
  const long live = MemLiveBlocks();
  {
    LutFixture lut(2, LutFixture::Complement, 200, 300, 1);
    HalftoneParams params = ParamsA(4, 1, 0, 16);
    int32_t key = 0;
    HalftoneHandle handle = nullptr;
    // New: engine A asks for its screen table, 300, and the instance record
    // begins with the caller's parameters.
    ASSERT_EQ(HalftoneNewThk(&params, nullptr, &lut.lut, nullptr, &key, &handle), RC_OK);
    EXPECT_EQ(key, 300);
    EXPECT_EQ(static_cast<HalftoneAInstance*>(handle)->params.kind, 2);
    EXPECT_EQ(lut.lut.gridCountA, 25);
    // SetResource, legacy form: the screen table names matrix 303 next.
    const std::string screen = ScreenText({ScreenRow(1, 2, 0, 0, 303)});
    ASSERT_EQ(HalftoneSetResourceThk(handle, screen.c_str(), &key), RC_OK);
    EXPECT_EQ(key, 303);
    const std::vector<uint8_t> matrix = MatrixBlock(1, 1, {100});
    ASSERT_EQ(HalftoneSetResourceThk(handle, matrix.data(), &key), RC_OK);
    EXPECT_EQ(key, -1);
    // Band: four ink entries, plane 3 where ink 3 >= 100.
    const uint8_t src[16] = {0, 0, 0, 200, 0, 0, 0, 50, 0, 0, 0, 100, 0, 0, 0, 99};
    uint8_t planes[4] = {0, 0, 0, 0};
    EXPECT_EQ(HalftoneThk(handle, src, planes, 1, 0, 4, 0, 0, 0, 0, nullptr), RC_OK);
    EXPECT_EQ(planes[3], 0xA0);
    EXPECT_EQ(HalftoneDeleteThk(handle), RC_OK);
  }
  EXPECT_EQ(MemLiveBlocks(), live);
}

}  // namespace
}  // namespace vantik::halftone_a
