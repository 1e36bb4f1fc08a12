#include <gtest/gtest.h>

#include "vantik/vantik.h"

namespace {

TEST(EntryPointsTest, NullRecordsGiveBadParameter) {
  PreviewHandle preview = nullptr;
  PreviewOptions options{};
  ColorAdjustRecord adjust{};
  EXPECT_EQ(PreviewNewThk(nullptr, nullptr, nullptr, nullptr, &options, nullptr, 1, &preview),
            RC_BAD_PARAMETER);
  EXPECT_EQ(PreviewNewThk(&adjust, nullptr, nullptr, nullptr, nullptr, nullptr, 1, &preview),
            RC_BAD_PARAMETER);
  int32_t inOut = 0;
  CmHandle cm = nullptr;
  HalftoneParams params{};
  EXPECT_EQ(CmNewThk(nullptr, nullptr, nullptr, nullptr, &params, nullptr, nullptr, &inOut, &cm),
            RC_BAD_PARAMETER);
  HalftoneHandle ht = nullptr;
  EXPECT_EQ(HalftoneNewThk(nullptr, nullptr, nullptr, nullptr, &inOut, &ht), RC_BAD_PARAMETER);
  EXPECT_EQ(HalftoneDeleteThk(nullptr), RC_BAD_PARAMETER);
}

TEST(EntryPointsTest, CodeNames) {
  EXPECT_STREQ(VantikCodeName(RC_BAD_RESOURCE), "RC_BAD_RESOURCE");
  EXPECT_STREQ(VantikCodeName(0x20B), "RC_BAD_BUFFER");
  EXPECT_STREQ(VantikCodeName(0x999), "RC_UNKNOWN");
}

}  // namespace
