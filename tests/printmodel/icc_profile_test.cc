// The output profile, read back by LittleCMS: its CMYK to Lab side predicts
// what the model prints, its Lab to CMYK side separates as the tables do,
// and absolute colorimetry shows the paper's own colour.
#include <gtest/gtest.h>
#include <lcms2.h>

#include <algorithm>
#include <cmath>

#include "printmodel/icc_profile.h"

namespace vantik::printmodel {
namespace {

// A plain separation for the test: complementary inks, no black.
Status Complement(std::span<const uint8_t> rgb, std::span<uint8_t> cmyk) {
  for (size_t i = 0; i < rgb.size() / 3; ++i) {
    for (int c = 0; c < 3; ++c) cmyk[i * 4 + c] = static_cast<uint8_t>(255 - rgb[i * 3 + c]);
    cmyk[i * 4 + 3] = 0;
  }
  return Status::Ok();
}

class OutputProfile : public testing::Test {
 protected:
  void SetUp() override {
    Result<std::vector<uint8_t>> bytes =
        BuildOutputProfile(PrintModel::Default(), Complement, "test printer");
    ASSERT_TRUE(bytes.ok()) << bytes.status().message();
    bytes_ = std::move(*bytes);
    profile_ = cmsOpenProfileFromMem(bytes_.data(), static_cast<cmsUInt32Number>(bytes_.size()));
    ASSERT_NE(profile_, nullptr);
    lab_ = cmsCreateLab4Profile(nullptr);
  }
  void TearDown() override {
    if (profile_ != nullptr) cmsCloseProfile(profile_);
    if (lab_ != nullptr) cmsCloseProfile(lab_);
  }
  std::vector<uint8_t> bytes_;
  cmsHPROFILE profile_ = nullptr, lab_ = nullptr;
};

TEST_F(OutputProfile, DescribesACmykPrinter) {
  EXPECT_EQ(cmsGetDeviceClass(profile_), cmsSigOutputClass);
  EXPECT_EQ(cmsGetColorSpace(profile_), cmsSigCmykData);
  EXPECT_EQ(cmsGetPCS(profile_), cmsSigLabData);
  char text[64] = {};
  cmsGetProfileInfoASCII(profile_, cmsInfoDescription, "en", "US", text, sizeof text);
  EXPECT_STREQ(text, "test printer");
  for (int intent : {INTENT_PERCEPTUAL, INTENT_RELATIVE_COLORIMETRIC, INTENT_SATURATION}) {
    EXPECT_TRUE(cmsIsIntentSupported(profile_, intent, LCMS_USED_AS_OUTPUT)) << intent;
    EXPECT_TRUE(cmsIsIntentSupported(profile_, intent, LCMS_USED_AS_INPUT)) << intent;
  }
}

// CMYK -> Lab of the profile against the model, over the shipped patches.
TEST_F(OutputProfile, PredictsWhatTheModelPrints) {
  const PrintModel& model = PrintModel::Default();
  const Xyz paper = model.paper();
  const cmsCIEXYZ* d50 = cmsD50_XYZ();
  for (int intent : {INTENT_RELATIVE_COLORIMETRIC, INTENT_ABSOLUTE_COLORIMETRIC}) {
    cmsHTRANSFORM t = cmsCreateTransform(profile_, TYPE_CMYK_DBL, lab_, TYPE_Lab_DBL, intent, 0);
    ASSERT_NE(t, nullptr);
    double sum = 0, worst = 0;
    const auto& samples = PrintModel::DefaultMeasurements().samples;
    for (const Sample& s : samples) {
      const double cmyk[4] = {s.ink[0] * 100, s.ink[1] * 100, s.ink[2] * 100, s.ink[3] * 100};
      cmsCIELab got;
      cmsDoTransform(t, cmyk, &got, 1);
      Xyz want = model.Predict(s.ink);
      if (intent == INTENT_RELATIVE_COLORIMETRIC) {
        want = {want.x * d50->X / paper.x, want.y * d50->Y / paper.y, want.z * d50->Z / paper.z};
      }
      const double e = DeltaE2000({got.L, got.a, got.b}, ToLab(want));
      sum += e;
      worst = std::max(worst, e);
    }
    cmsDeleteTransform(t);
    // 17 nodes per ink: the table's interpolation stays well below what an
    // eye sees.
    EXPECT_LT(sum / samples.size(), 0.3) << "intent " << intent;
    EXPECT_LT(worst, 1.5) << "intent " << intent;
  }
}

// Lab -> CMYK through the profile separates sRGB colours as the tables do.
TEST_F(OutputProfile, SeparatesAsTheTables) {
  cmsHPROFILE srgb = cmsCreate_sRGBProfile();
  cmsHTRANSFORM t = cmsCreateTransform(srgb, TYPE_RGB_8, profile_, TYPE_CMYK_8,
                                       INTENT_RELATIVE_COLORIMETRIC, 0);
  ASSERT_NE(t, nullptr);
  const uint8_t rgb[][3] = {{255, 255, 255}, {128, 128, 128}, {200, 40, 30},
                            {30, 120, 60},   {20, 20, 90},    {0, 0, 0}};
  // Interpolating 33 nodes per Lab axis bends the mapping a little where it
  // curves most, in the dark colours.
  for (const auto& c : rgb) {
    uint8_t got[4], want[4];
    cmsDoTransform(t, c, got, 1);
    ASSERT_TRUE(Complement(std::span<const uint8_t>(c, 3), want).ok());
    for (int k = 0; k < 4; ++k) {
      EXPECT_NEAR(got[k], want[k], 6) << int(c[0]) << "," << int(c[1]) << "," << int(c[2]) << " ink " << k;
    }
  }
  cmsDeleteTransform(t);
  cmsCloseProfile(srgb);
}

TEST(OutputProfileErrors, SeparationFailureIsPassedOn) {
  Result<std::vector<uint8_t>> bytes = BuildOutputProfile(
      PrintModel::Default(),
      [](std::span<const uint8_t>, std::span<uint8_t>) { return Status(RC_FAILURE, "no tables"); },
      "x");
  ASSERT_FALSE(bytes.ok());
  EXPECT_EQ(bytes.status().message(), "no tables");
}

}  // namespace
}  // namespace vantik::printmodel
