// Widening of the 16-bit caller records into the library's records.
#pragma once

#include <cstdint>

#include "vantik/vantik.h"

namespace vantik::bridge {

inline constexpr uint32_t kAdjustBytes16 = 36;   // twelve shorts, three far
inline constexpr uint32_t kParamsBytes16 = 24;   // nine shorts, a word, a far
inline constexpr uint32_t kOptionsBytes16 = 6;   // a short, a far

// The address fields are left null: the entry points replace them with
// their separate arguments, which the stubs map from the same frame.
void WidenAdjust(const uint8_t* rec, ColorAdjustRecord* out);
void WidenParams(const uint8_t* rec, HalftoneParams* out);
void WidenOptions(const uint8_t* rec, PreviewOptions* out);

}  // namespace vantik::bridge
