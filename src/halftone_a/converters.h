// Engine A line converters: one line of ink values into packed one-bit dots
// by ordered dither against threshold matrix 3 (methods 3 and 5 also against
// matrix 1 and the level table).  One frame serves every method; each method
// adds only its dot rule.
#pragma once

#include <cstdint>

#include "halftone_a/instance_a.h"

namespace vantik::halftone_a {

struct ConverterInfo {
  LineConverter convert;
  uint8_t usesMatrix1;  // methods 3 and 5
  uint8_t planes;       // planes written: 4, or 1 for methods 9 and 10
  uint8_t pixelStep;    // input advances by the format's bytes per pixel
                        // (methods 0, 9, 10) rather than 4 bytes per entry
  uint8_t entryBytes;   // bytes of an entry the rule reads from its start;
                        // 0 for method 0, which reads at the format's
                        // channel offsets
};

// The converter of a screen method (0, 1, 2, 3, 5, 6, 7, 8, 9, 10); false for
// method 4 and every other number, which have none.  plain selects the
// dot-by-dot form of the frame, which gives the same bits more slowly.
bool FindConverter(int32_t method, ConverterInfo* out, bool plain = false);

}  // namespace vantik::halftone_a
