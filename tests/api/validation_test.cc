// User values are checked before they reach the library, and errors read as
// one sentence with the code's name.
#include <gtest/gtest.h>

#include "vantik/vantik.hpp"

namespace vantik {
namespace {

struct AdjustCase {
  const char* name;
  int Adjustments::*field;
  int value;
  bool ok;
};

TEST(ValidateTest, AdjustmentsOutsideRangeNameTheField) {
  const AdjustCase cases[] = {
      {"brightness", &Adjustments::brightness, 50, true},
      {"brightness", &Adjustments::brightness, 51, false},
      {"contrast", &Adjustments::contrast, -50, true},
      {"contrast", &Adjustments::contrast, -51, false},
      {"saturation", &Adjustments::saturation, 60, false},
      {"red", &Adjustments::red, -60, false},
      {"green", &Adjustments::green, 99, false},
      {"blue", &Adjustments::blue, -1000, false},
  };
  for (const AdjustCase& c : cases) {
    Adjustments a;
    a.*c.field = c.value;
    Status s = Validate(a);
    EXPECT_EQ(s.ok(), c.ok) << c.name << " " << c.value;
    if (!c.ok) {
      EXPECT_EQ(s.code(), uint32_t{RC_BAD_VALUE});
      EXPECT_EQ(s.message(), std::string(c.name) + " " + std::to_string(c.value) +
                                 " is outside -50..50");
    }
  }
}

TEST(ValidateTest, GammaSharpenAndCalibrationBounds) {
  EXPECT_TRUE(ValidateGamma(100).ok());
  EXPECT_TRUE(ValidateGamma(300).ok());
  EXPECT_FALSE(ValidateGamma(99).ok());
  EXPECT_FALSE(ValidateGamma(301).ok());
  EXPECT_TRUE(ValidateSharpen(3).ok());
  EXPECT_FALSE(ValidateSharpen(4).ok());
  EXPECT_FALSE(ValidateSharpen(-1).ok());

  EXPECT_TRUE(Validate(Calibration{0, {30, 50, 70, 50}}, 4).ok());
  EXPECT_EQ(Validate(Calibration{0, {29, 50, 50, 50}}, 4).message(),
            "calibration level 29 is outside 30..70");
  EXPECT_EQ(Validate(Calibration{0, {50, 71, 50, 50}}, 4).message(),
            "calibration level 71 is outside 30..70");
  EXPECT_EQ(Validate(Calibration{0, {50, 50}}, 4).message(),
            "calibration has 2 levels but the colour table has 4 inks");
  // 0xFE and 0xFF end records of the calibration blocks; they cannot be keys.
  EXPECT_FALSE(Validate(Calibration{254, {50, 50, 50, 50}}, 4).ok());
}

TEST(StatusTest, TextCarriesMessageNameAndCode) {
  EXPECT_EQ(Status().ToString(), "ok");
  Status s(RC_BAD_RESOURCE, "colour table block 120 was not accepted");
  EXPECT_FALSE(s.ok());
  EXPECT_STREQ(s.name(), "RC_BAD_RESOURCE");
  EXPECT_EQ(s.ToString(), "colour table block 120 was not accepted (RC_BAD_RESOURCE 0x300)");
}

TEST(HalftoneSettingsTest, PlanesAndPixelForm) {
  HalftoneSettings colour;  // engine B, RGB in bytes 1..3
  EXPECT_EQ(PlaneCount(colour), 4);
  EXPECT_EQ(InputBytesPerPixel(colour), 4);
  HalftoneSettings black;
  black.lutMode = 0;
  black.renderMode = 0;
  EXPECT_EQ(PlaneCount(black), 1);
  EXPECT_EQ(InputBytesPerPixel(black), 1);
  HalftoneSettings packed;
  packed.kind = 2;
  packed.renderMode = 1;
  EXPECT_EQ(InputBytesPerPixel(packed), 3);
  // Engine A reads the form of its render mode whatever the lutMode; a
  // buffer sized by the lutMode would be read past its end.
  struct Case {
    int renderMode, lutMode, bytes;
  };
  for (const Case& c : {Case{3, 0, 4}, Case{0, 1, 1}, Case{4, 1, 4}, Case{2, 0, 3}}) {
    HalftoneSettings a;
    a.kind = 2;
    a.renderMode = c.renderMode;
    a.lutMode = c.lutMode;
    EXPECT_EQ(InputBytesPerPixel(a), c.bytes) << c.renderMode << "/" << c.lutMode;
  }
  HalftoneParams p = packed.ToParams();
  EXPECT_EQ(p.kind, 2);
  EXPECT_EQ(p.renderMode, 1);
  EXPECT_EQ(p.pointer, nullptr);
}

}  // namespace
}  // namespace vantik
