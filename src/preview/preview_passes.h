// The two passes of the preview translation.
#pragma once

#include <cstdint>

#include "preview/preview_instance.h"

namespace vantik::preview {

// Pass 1: saturation and tone tables, source to destination.
void TonePass(const PreviewInstance& inst, uint32_t count, const uint8_t* src,
              uint8_t* dst);

// Pass 2: edge sharpening with a luminance line from the memory blocks.
// Returns 0 when the mode is off or the pass succeeded, else a code.
uint32_t SharpenPass(const PreviewInstance& inst, uint32_t count,
                     const uint8_t* src, uint8_t* dst);

}  // namespace vantik::preview
