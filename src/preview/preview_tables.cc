// Derived lookup tables of a preview instance: the saturation stretch and
// the tone tables extended over the range a stretched value can take.
#include <algorithm>

#include "preview/preview_instance.h"

namespace vantik::preview {
namespace {

// 32-bit wrap-around, as the arithmetic of the record's fields is defined
// for any stored value (the curve path stores them unchecked).
int32_t Wrap(int64_t v) { return static_cast<int32_t>(static_cast<uint32_t>(v)); }

}  // namespace

int32_t SaturationFactor(int32_t saturation) {
  return Wrap(int64_t{100} + saturation);
}

int32_t SaturationFactorBlue(int32_t saturation) {
  return Wrap(int64_t{100} + Wrap(int64_t{saturation} * 80) / 100);
}

int32_t Stretch(int32_t d, int32_t factor) {
  return Wrap(int64_t{d} * factor) / 100;
}

void PrepareTranslateTables(PreviewInstance& inst) {
  const int32_t s = inst.fields[kAdjustSaturation];
  const int32_t factors[2] = {SaturationFactor(s), SaturationFactorBlue(s)};
  for (int k = 0; k < 2; ++k) {
    for (int d = 0; d < 256; ++d) {
      // min + stretch with min in 0..255 clamps to 0 below -255 and to 255
      // above 255 either way, so the entry can be limited to -256..256.
      inst.stretch[k][d] =
          static_cast<int16_t>(std::clamp(Stretch(d, factors[k]), -256, 256));
    }
  }
  for (int c = 0; c < 3; ++c) {
    for (int v = -kToneBias; v < kToneExtSize - kToneBias; ++v) {
      const int index = std::clamp(v, 0, 255);
      inst.toneExt[c][v + kToneBias] = static_cast<uint8_t>(inst.tone[c][index]);
    }
  }
}

}  // namespace vantik::preview
