// Status text, the checks of user values before they reach the library, and
// the records the settings become.
#include <cstdio>
#include <string>

#include "interface/params.h"
#include "interface/return_if_error.h"
#include "vantik/vantik.hpp"

namespace vantik {

std::string Status::ToString() const {
  if (ok()) return "ok";
  char code[32];
  std::snprintf(code, sizeof code, " (%s 0x%03X)", name(), code_);
  return message_ + code;
}

namespace {

Status InRange(const char* what, int value, int low, int high) {
  if (value >= low && value <= high) return Status::Ok();
  return Status(RC_BAD_VALUE, std::string(what) + " " + std::to_string(value) +
                                  " is outside " + std::to_string(low) + ".." +
                                  std::to_string(high));
}

}  // namespace

Status Validate(const Adjustments& adjust) {
  const std::pair<const char*, int> fields[] = {
      {"brightness", adjust.brightness}, {"contrast", adjust.contrast},
      {"saturation", adjust.saturation}, {"red", adjust.red},
      {"green", adjust.green},           {"blue", adjust.blue}};
  for (const auto& [name, value] : fields) {
    VANTIK_RETURN_IF_ERROR(InRange(name, value, -kAdjustLimit, kAdjustLimit));
  }
  return Status::Ok();
}

Status ValidateGamma(int gammaHundredths) {
  return InRange("gamma (hundredths)", gammaHundredths, 100, 300);
}

Status ValidateSharpen(int mode) { return InRange("sharpening", mode, 0, 3); }

Status Validate(const Calibration& calibration, int channels) {
  if (calibration.key < 0 || calibration.key > 253) {
    return InRange("calibration key", calibration.key, 0, 253);
  }
  if (static_cast<int>(calibration.levels.size()) != channels) {
    return Status(RC_BAD_VALUE, "calibration has " +
                                    std::to_string(calibration.levels.size()) +
                                    " levels but the colour table has " +
                                    std::to_string(channels) + " inks");
  }
  for (int level : calibration.levels) {
    VANTIK_RETURN_IF_ERROR(InRange("calibration level", level, 30, 70));
  }
  return Status::Ok();
}

const char* ServiceName(Service service) {
  return service == Service::kColor ? "colour" : "halftone";
}

ColorAdjustRecord Adjustments::ToRecord() const {
  ColorAdjustRecord r{};
  r.field[kAdjustBrightness] = brightness;
  r.field[kAdjustContrast] = contrast;
  r.field[kAdjustSaturation] = saturation;
  r.field[kAdjustRed] = red;
  r.field[kAdjustGreen] = green;
  r.field[kAdjustBlue] = blue;
  return r;
}

HalftoneParams HalftoneSettings::ToParams() const {
  HalftoneParams p{};
  p.kind = kind;
  p.variant = variant;
  p.renderMode = renderMode;
  p.lutMode = lutMode;
  p.xResolution = xResolution;
  p.yResolution = yResolution;
  p.horizontalScale = horizontalScale;
  p.lineWidth = lineWidth;
  return p;
}

int PlaneCount(const HalftoneSettings& settings) { return PlaneCountOf(settings.lutMode); }

int InputBytesPerPixel(const HalftoneSettings& settings) {
  return HalftoneInputLayoutOf(settings.kind, settings.renderMode, settings.lutMode)
      .bytesPerPixel;
}

}  // namespace vantik
