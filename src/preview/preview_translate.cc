// Translate of the preview service: pass 1 (saturation and tone tables) and
// the hand-over to the sharpening pass.
#include <algorithm>

#include "interface/services.h"
#include "preview/preview_passes.h"

namespace vantik::preview {
namespace {

// One run in a fixed layout.  The stretch of the two channels above the
// minimum is table-driven: the minimum channel itself has distance 0 and
// stays, and a gray pixel has distance 0 everywhere, so every pixel goes
// through the same steps.  The extended tone tables clamp the stretched
// value to 0..255 on the way.
template <int kR, int kG, int kB, int kBpp, bool kSaturate>
void ToneRun(const PreviewInstance& inst, uint32_t count, const uint8_t* src,
             uint8_t* dst) {
  const uint8_t* toneR = inst.toneExt[0] + kToneBias;
  const uint8_t* toneG = inst.toneExt[1] + kToneBias;
  const uint8_t* toneB = inst.toneExt[2] + kToneBias;
  const int16_t* stretch = inst.stretch[0];
  const int16_t* stretchBlue = inst.stretch[1];
  for (uint32_t p = 0; p < count; ++p, src += kBpp, dst += kBpp) {
    int r = src[kR];
    int g = src[kG];
    int b = src[kB];
    if constexpr (kSaturate) {
      const int m = std::min(r, std::min(g, b));
      // Ties go to red, then green: blue is the minimum only when strictly
      // below both.
      const int16_t* st = (b < r && b < g) ? stretchBlue : stretch;
      r = m + st[r - m];
      g = m + st[g - m];
      b = m + st[b - m];
    }
    dst[kR] = toneR[r];
    dst[kG] = toneG[g];
    dst[kB] = toneB[b];
  }
}

template <int kR, int kG, int kB, int kBpp>
void ToneRunLayout(const PreviewInstance& inst, uint32_t count,
                   const uint8_t* src, uint8_t* dst) {
  if (inst.fields[kAdjustSaturation] != 0) {
    ToneRun<kR, kG, kB, kBpp, true>(inst, count, src, dst);
  } else {
    ToneRun<kR, kG, kB, kBpp, false>(inst, count, src, dst);
  }
}

}  // namespace

void TonePass(const PreviewInstance& inst, uint32_t count, const uint8_t* src,
              uint8_t* dst) {
  switch (inst.pixelFormat) {
    case 2: ToneRunLayout<2, 1, 0, 3>(inst, count, src, dst); break;
    case 3: ToneRunLayout<1, 2, 3, 4>(inst, count, src, dst); break;
    default: ToneRunLayout<0, 1, 2, 3>(inst, count, src, dst); break;
  }
}

uint32_t PreviewTranslate(PreviewHandle instance, uint32_t count,
                          const uint8_t* src, uint8_t* dst) {
  if (instance == nullptr) return RC_LOCK_FAILED;
  if (count != 0 && (src == nullptr || dst == nullptr)) return RC_BAD_PARAMETER;
  const auto& inst = *static_cast<const PreviewInstance*>(instance);
  TonePass(inst, count, src, dst);
  return SharpenPass(inst, count, src, dst);
}

}  // namespace vantik::preview
