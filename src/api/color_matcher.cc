// ColorMatcher: creates a colour-matching instance and answers its resource
// dialogue from a ResourceSet, then translates RGB runs into ink values.
#include <algorithm>
#include <string>
#include <tuple>
#include <utility>

#include "interface/params.h"
#include "interface/return_if_error.h"
#include "vantik/vantik.hpp"

namespace vantik {

// Records whose addresses the library keeps while the dialogue runs; held
// on the heap so that moving a ColorMatcher does not move them.
struct ColorMatcher::Owned {
  ColorSettings settings;
  ColorAdjustRecord record{};
  TaggedValuePair pairs[2]{};
  TaggedValueList list{};
  int32_t gamma = 0;
  std::vector<uint8_t> calibrationRecord;
};

namespace {

// Colour modes A and B of the record for an ink set.
std::pair<int32_t, int32_t> ColorModesOf(InkSet inks) {
  if (inks == InkSet::kBlack) return {kColorModeABlackOnly, kColorModeBNone};
  return {kColorModeAPlain, kColorModeBColorTables};
}

// The kind and table mode the library derives from the settings (for
// messages).
ColorModes DerivedModes(const ColorSettings& s) {
  const auto [a, b] = ColorModesOf(s.inks);
  return ResolveColorModes(s.halftone.kind, a, b);
}

std::string Describe(const ColorSettings& s, const ResourceSet& resources,
                     int indexBlock, int mode) {
  const int kind = DerivedModes(s).kind;
  std::string paper = std::to_string(s.paper);
  if (auto block = resources.Find(Service::kColor, s.indexBlock)) {
    if (auto names = ReadIndexNames(*block)) paper = names->PaperName(s.paper);
  }
  return "colour-table index (block " + std::to_string(indexBlock) +
         ") has no entry for kind " + std::to_string(kind) + ", mode " +
         std::to_string(mode) + ", " + std::to_string(s.halftone.xResolution) +
         " x " + std::to_string(s.halftone.yResolution) + " dpi, selector " +
         std::to_string(s.selector) + ", paper " + paper;
}

// What the block asked for at this point of the dialogue is, in words.
std::string BlockRole(int previous, int number) {
  switch (number) {
    case 980: return "calibration slots";
    case 990: return "calibration reference levels";
    case 900: return "calibration index";
    default: break;
  }
  if (previous == 900) return "calibration curves named by the calibration index";
  return "colour table named by the colour-table index";
}

}  // namespace

ColorMatcher::ColorMatcher(CmHandle handle, std::unique_ptr<Owned> owned)
    : handle_(handle), owned_(std::move(owned)) {}

ColorMatcher::ColorMatcher(ColorMatcher&& other) noexcept
    : handle_(std::exchange(other.handle_, nullptr)),
      owned_(std::move(other.owned_)) {}

ColorMatcher& ColorMatcher::operator=(ColorMatcher&& other) noexcept {
  if (this != &other) {
    if (handle_ != nullptr) CmDeleteThk(handle_);
    handle_ = std::exchange(other.handle_, nullptr);
    owned_ = std::move(other.owned_);
  }
  return *this;
}

ColorMatcher::~ColorMatcher() {
  if (handle_ != nullptr) CmDeleteThk(handle_);
}

Result<ColorMatcher> ColorMatcher::Create(const ColorSettings& settings,
                                          const ResourceSet& resources) {
  VANTIK_RETURN_IF_ERROR(Validate(settings.adjust));
  if (settings.gammaHundredths != 0) {
    VANTIK_RETURN_IF_ERROR(ValidateGamma(settings.gammaHundredths));
  }
  auto owned = std::make_unique<Owned>();
  owned->settings = settings;
  ColorAdjustRecord& r = owned->record;
  r = settings.adjust.ToRecord();
  r.field[kAdjustTableSelector] = settings.selector;
  r.field[kAdjustPaper] = settings.paper;
  std::tie(r.field[kAdjustColorModeA], r.field[kAdjustColorModeB]) = ColorModesOf(settings.inks);
  int count = 0;
  if (settings.gammaHundredths != 0) {
    owned->gamma = settings.gammaHundredths;
    owned->pairs[count++] = {1, &owned->gamma};
  }
  if (settings.calibration) {
    // "CW:", key, one level per ink, 0xFE 0xFF.  The library ignores a
    // record it cannot use, so key and levels are checked here; the level
    // count is checked against the table once its channel count is known.
    const Calibration& c = *settings.calibration;
    VANTIK_RETURN_IF_ERROR(Validate(c, static_cast<int>(c.levels.size())));
    std::vector<uint8_t>& rec = owned->calibrationRecord;
    rec = {0x43, 0x57, 0x3A, static_cast<uint8_t>(c.key)};
    for (int level : c.levels) rec.push_back(static_cast<uint8_t>(level));
    rec.push_back(0xFE);
    rec.push_back(0xFF);
    owned->pairs[count++] = {512, rec.data()};
  }
  owned->list = {count, owned->pairs};
  TaggedValueList* list = count > 0 ? &owned->list : nullptr;
  r.field14 = list;

  HalftoneParams params = settings.halftone.ToParams();
  int32_t inOut = 0;
  CmHandle handle = nullptr;
  uint32_t rc = CmNewThk(&r, nullptr, nullptr, list, &params, nullptr, nullptr,
                         &inOut, &handle);
  if (rc != RC_OK) {
    return Status(rc, "could not create a colour-matching instance");
  }
  ColorMatcher matcher(handle, std::move(owned));
  const ColorSettings& s = matcher.owned_->settings;

  auto index = resources.Find(Service::kColor, s.indexBlock);
  if (!index) {
    return Status(RC_BAD_RESOURCE, "the resource set has no colour-table index (colour block " +
                                       std::to_string(s.indexBlock) + ")");
  }
  rc = CmSetResourceWithLength(handle, index->data(), index->size(), &inOut);
  if (rc == RC_BAD_RESOURCE) {
    return Status(rc, Describe(s, resources, s.indexBlock, DerivedModes(s).tableMode));
  }
  if (rc != RC_OK) {
    return Status(rc, "colour-table index (block " + std::to_string(s.indexBlock) +
                          ") was not accepted");
  }
  int previous = s.indexBlock;
  for (int steps = 0; inOut != -1; ++steps) {
    if (steps > 8) {
      return Status(RC_BAD_RESOURCE, "colour matching keeps asking for blocks (last: " +
                                         std::to_string(inOut) + ")");
    }
    int number = inOut;
    std::string role = BlockRole(previous, number);
    auto block = resources.Find(Service::kColor, number);
    if (!block) {
      return Status(RC_BAD_RESOURCE, "the resource set has no colour block " +
                                         std::to_string(number) + " (" + role + ")");
    }
    // Before the table arrives the calibration levels cannot be checked;
    // after it they must match the table's inks.
    if (number == 980 && s.calibration) {
      Status c = Validate(*s.calibration, matcher.channels());
      if (!c.ok()) return c;
    }
    rc = CmSetResourceWithLength(handle, block->data(), block->size(), &inOut);
    if (rc == RC_BAD_RESOURCE && number == 900) {
      ColorSettings calib = s;
      std::string text = Describe(calib, resources, 900, 0);
      text.replace(0, std::string("colour-table index").size(), "calibration index");
      return Status(rc, text);
    }
    if (rc != RC_OK) {
      return Status(rc, "colour block " + std::to_string(number) + " (" + role + ") was not accepted");
    }
    previous = number;
  }
  if (s.calibration && matcher.channels() != static_cast<int>(s.calibration->levels.size())) {
    // The library ignores a record it cannot read; say so instead of
    // printing uncalibrated.
    return Validate(*s.calibration, matcher.channels());
  }
  return matcher;
}

int ColorMatcher::channels() const {
  CmLut* l = lut();
  return l == nullptr ? 0 : l->channels;
}

CmLut* ColorMatcher::lut() const {
  return handle_ == nullptr ? nullptr : CmGetLutThk(handle_);
}

const ColorSettings& ColorMatcher::settings() const { return owned_->settings; }

Status ColorMatcher::Translate(std::span<const uint8_t> rgb,
                               std::span<uint8_t> inks) const {
  const int ch = channels();
  const size_t pixels = rgb.size() / 3;
  if (ch <= 0 || inks.size() < pixels * static_cast<size_t>(ch)) {
    return Status(RC_BAD_PARAMETER, "ink buffer too small for the translation");
  }
  const PixelLayout lay = TranslationLayoutOf(owned_->settings.halftone.renderMode);
  // Runs stay within the translation's 16-bit positions: 1024 pixels of at
  // most 4 bytes in, 1024 x channels (channels at most 19) bytes out.
  constexpr size_t kRun = 1024;
  uint8_t src[kRun * 4] = {};
  for (size_t done = 0; done < pixels;) {
    size_t n = std::min(kRun, pixels - done);
    for (size_t i = 0; i < n; ++i) {
      const uint8_t* p = &rgb[(done + i) * 3];
      uint8_t* q = &src[i * lay.bytesPerPixel];
      q[lay.offsets[0]] = p[0];
      q[lay.offsets[1]] = p[1];
      q[lay.offsets[2]] = p[2];
    }
    uint32_t rc = CmTranslateColorsThk(handle_, static_cast<int32_t>(n), src,
                                       &inks[done * ch], 0, nullptr);
    if (rc != RC_OK) return Status(rc, "colour translation failed");
    done += n;
  }
  return Status::Ok();
}

}  // namespace vantik
