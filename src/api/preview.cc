// Preview: a screen preview of RGB pixels under the user's adjustments,
// gamma and sharpening.
#include <string>
#include <utility>

#include "interface/return_if_error.h"
#include "vantik/vantik.hpp"

namespace vantik {

Result<Preview> Preview::Create(const PreviewSettings& settings) {
  VANTIK_RETURN_IF_ERROR(Validate(settings.adjust));
  VANTIK_RETURN_IF_ERROR(ValidateGamma(settings.gammaHundredths));
  VANTIK_RETURN_IF_ERROR(ValidateSharpen(settings.sharpen));
  ColorAdjustRecord r = settings.adjust.ToRecord();
  int32_t gamma = settings.gammaHundredths;
  TaggedValuePair pair{1, &gamma};
  TaggedValueList list{1, &pair};  // read only while the instance is made
  PreviewOptions options{settings.sharpen, nullptr};
  PreviewHandle handle = nullptr;
  uint32_t rc = PreviewNewThk(&r, nullptr, nullptr, &list, &options, nullptr, 1, &handle);
  if (rc != RC_OK) {
    // The preview hands out its instance before it checks the settings.
    if (handle != nullptr) PreviewDeleteThk(handle);
    return Status(rc, "could not create a preview");
  }
  return Preview(handle);
}

Preview::Preview(Preview&& other) noexcept
    : handle_(std::exchange(other.handle_, nullptr)) {}

Preview& Preview::operator=(Preview&& other) noexcept {
  if (this != &other) {
    if (handle_ != nullptr) PreviewDeleteThk(handle_);
    handle_ = std::exchange(other.handle_, nullptr);
  }
  return *this;
}

Preview::~Preview() {
  if (handle_ != nullptr) PreviewDeleteThk(handle_);
}

Status Preview::Translate(std::span<const uint8_t> rgb, std::span<uint8_t> out) const {
  if (out.size() < rgb.size()) {
    return Status(RC_BAD_PARAMETER, "preview output buffer too small");
  }
  uint32_t rc = PreviewTranslateColorsThk(handle_, static_cast<uint32_t>(rgb.size() / 3),
                                          rgb.data(), out.data(), 0, nullptr);
  if (rc != RC_OK) return Status(rc, "preview translation failed");
  return Status::Ok();
}

}  // namespace vantik
