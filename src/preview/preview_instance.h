// The preview instance record and the helpers shared by Create, Translate
// and Delete.
#pragma once

#include <cstdint>

#include "interface/params.h"
#include "vantik/vantik.h"

namespace vantik::preview {

inline constexpr int kPreviewFields = kPreviewAdjustFields;  // record fields 0..6

// Offset of the stretched-value range inside the extended tone tables: a
// stretched channel value v in -256..511 is looked up at v + kToneBias.
inline constexpr int kToneBias = 256;
inline constexpr int kToneExtSize = 768;

struct PreviewInstance {
  // The record as the service keeps it.
  int32_t fields[kPreviewFields];  // selector, brightness, contrast,
                                   // saturation, red/green/blue offset
  int32_t mode;                    // sharpening: 1..3; anything else is off
  int32_t tone[3][256];            // red, green, blue; each entry 0..255
  int32_t offset[3];               // byte of red, green, blue in a pixel
  int32_t bytesPerPixel;           // 3 or 4
  int32_t pixelFormat;             // 1..3
  void* selfBlock;                 // the block holding this record

  // Derived from the fields above by PrepareTranslateTables, so that the
  // per-pixel work is lookups and additions only.
  // stretch[0][d] = d * o / 100 (o = 100 + s) and stretch[1][d] with the
  // weaker blue factor, each limited to -256..256 (beyond that the stretched
  // value clamps the same way).
  int16_t stretch[2][256];
  // toneExt[c][v + kToneBias] = tone[c][clamp(v)] for v in -256..511.
  uint8_t toneExt[3][kToneExtSize];
};

// Fills the derived part of the instance from its record fields.
void PrepareTranslateTables(PreviewInstance& instance);

// The saturation factors o and t of the translation, in 32-bit wrap-around
// arithmetic (the saturation is not range-checked on the curve path).
int32_t SaturationFactor(int32_t saturation);
int32_t SaturationFactorBlue(int32_t saturation);
// d * factor / 100 with a 32-bit wrap-around product, d in 0..255.
int32_t Stretch(int32_t d, int32_t factor);

}  // namespace vantik::preview
