// Halftoner: creates a halftone instance from a colour matcher's table and
// answers its resource dialogue from a ResourceSet.
#include <string>

#include "vantik/vantik.hpp"

namespace vantik {

namespace {

const char* EngineName(const HalftoneSettings& s) {
  return s.kind == 2 ? "engine A" : "engine B";
}

}  // namespace

Halftoner::Halftoner(HalftoneHandle handle, const HalftoneSettings& settings)
    : handle_(handle),
      settings_(settings),
      planes_(PlaneCount(settings)),
      bytesPerPixel_(InputBytesPerPixel(settings)) {}

Halftoner::Halftoner(Halftoner&& other) noexcept
    : handle_(std::exchange(other.handle_, nullptr)),
      settings_(other.settings_),
      planes_(other.planes_),
      bytesPerPixel_(other.bytesPerPixel_) {}

Halftoner& Halftoner::operator=(Halftoner&& other) noexcept {
  if (this != &other) {
    if (handle_ != nullptr) HalftoneDeleteThk(handle_);
    handle_ = std::exchange(other.handle_, nullptr);
    settings_ = other.settings_;
    planes_ = other.planes_;
    bytesPerPixel_ = other.bytesPerPixel_;
  }
  return *this;
}

Halftoner::~Halftoner() {
  if (handle_ != nullptr) HalftoneDeleteThk(handle_);
}

Result<Halftoner> Halftoner::Create(const HalftoneSettings& settings,
                                    ColorMatcher& matcher,
                                    const ResourceSet& resources) {
  if (settings.lineWidth == 0) {
    return Status(RC_BAD_PARAMETER, "halftone line width is 0");
  }
  CmLut* lut = matcher.lut();
  if (lut == nullptr || lut->table == nullptr) {
    return Status(RC_BAD_PARAMETER, "the colour matcher has no colour table");
  }
  HalftoneParams params = settings.ToParams();
  int32_t inOut = 0;
  HalftoneHandle handle = nullptr;
  uint32_t rc = HalftoneNewThk(&params, nullptr, lut, nullptr, &inOut, &handle);
  if (rc != RC_OK) {
    // Engine B may hand out its instance before refusing the settings.
    if (handle != nullptr) HalftoneDeleteThk(handle);
    return Status(rc, std::string(EngineName(settings)) +
                          " refused the halftone settings (kind " +
                          std::to_string(settings.kind) + ", " +
                          std::to_string(settings.xResolution) + " x " +
                          std::to_string(settings.yResolution) + " dpi)");
  }
  Halftoner h(handle, settings);
  int previous = -1;
  for (int steps = 0; inOut != -1; ++steps) {
    if (steps > 16) {
      return Status(RC_BAD_RESOURCE, std::string(EngineName(settings)) +
                                         " keeps asking for blocks (last: " +
                                         std::to_string(inOut) + ")");
    }
    const int number = inOut;
    auto block = resources.Find(Service::kHalftone, number);
    if (!block) {
      std::string who = previous < 0 ? "the colour table" : "halftone block " + std::to_string(previous);
      return Status(RC_BAD_RESOURCE, "the resource set has no halftone block " +
                                         std::to_string(number) + " (named by " + who +
                                         " for " + EngineName(settings) + ")");
    }
    rc = HalftoneSetResourceWithLength(handle, block->data(), block->size(), &inOut);
    if (rc != RC_OK) {
      return Status(rc, std::string(EngineName(settings)) + " did not accept halftone block " +
                            std::to_string(number) + " at " +
                            std::to_string(settings.xResolution) + " x " +
                            std::to_string(settings.yResolution) + " dpi");
    }
    previous = number;
  }
  return h;
}

Status Halftoner::Line(const uint8_t* src, uint8_t* dst, int32_t planeStride,
                       uint32_t count, uint32_t x0, uint32_t y) {
  uint32_t rc = HalftoneThk(handle_, src, dst, planeStride, 0, count, x0, 0, y, 0, nullptr);
  if (rc != RC_OK) {
    return Status(rc, "halftoning line " + std::to_string(y) + " failed");
  }
  return Status::Ok();
}

// ---- Preview --------------------------------------------------------------------

Result<Preview> Preview::Create(const PreviewSettings& settings) {
  Status valid = Validate(settings.adjust);
  if (!valid.ok()) return valid;
  valid = ValidateGamma(settings.gammaHundredths);
  if (!valid.ok()) return valid;
  valid = ValidateSharpen(settings.sharpen);
  if (!valid.ok()) return valid;
  ColorAdjustRecord r{};
  r.field[1] = settings.adjust.brightness;
  r.field[2] = settings.adjust.contrast;
  r.field[3] = settings.adjust.saturation;
  r.field[4] = settings.adjust.red;
  r.field[5] = settings.adjust.green;
  r.field[6] = settings.adjust.blue;
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
