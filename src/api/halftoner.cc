// Halftoner: creates a halftone instance from a colour matcher's table and
// answers its resource dialogue from a ResourceSet.
#include <string>

#include "interface/params.h"
#include "vantik/vantik.hpp"

namespace vantik {

namespace {

const char* EngineName(const HalftoneSettings& s) {
  return s.kind == kKindEngineA ? "engine A" : "engine B";
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

Result<Halftoner> Halftoner::Create(ColorMatcher& matcher,
                                    const ResourceSet& resources) {
  const HalftoneSettings& settings = matcher.settings().halftone;
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

}  // namespace vantik
