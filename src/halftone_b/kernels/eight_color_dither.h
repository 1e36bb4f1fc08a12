// Ordered dither of colour pixels reduced to eight colours
// (EightColorDitherKernel) and the table its vector path runs on.
//
// In the main loop a dot's inks depend only on the pixel's colour (one of
// eight) and the matrix cell under it, so they are worked out once per
// colour and cell when the matrix arrives (BuildEightColourDots); a run then
// looks up sixteen dots at a time.  The tail dot of an odd run keeps its own
// rule and is made dot by dot.
#pragma once

#include <cstdint>

#include "halftone_b/instance_b.h"
#include "halftone_b/kernels/matrix_dither.h"

namespace vantik::halftone_b {

// Head of the kSlotEightColourDots slot.  For matrix row r and colour k
// (4 x c1 + 2 x c2 + c3) the bytes at rows + (8 x r + k) x kStride hold,
// at index j, the inks (bit i for ink i) of a main-loop dot over column
// j AND 63 of that row; indices 64..79 repeat 0..15, so that sixteen load
// from any column.
struct EightColourDots {
  static constexpr uint32_t kStride = 80;
  uint32_t width, height;  // the matrix the table was made from
  const uint8_t* rows() const { return reinterpret_cast<const uint8_t*>(this + 1); }
};

// Makes the table from the instance's matrix, level table and colour table
// (the last act of the matrix step).  Returns 0, or the code of a failed
// allocation or lock.
uint32_t BuildEightColourDots(HalftoneInstanceB& instance);

// EightColorDitherKernel's arguments and checks, dot by dot for kPerDot
// (or when the instance has no table) and sixteen dots at a time otherwise.
uint32_t EightColorDitherWith(DitherPath path, HalftoneInstanceB* instance, const uint8_t* src,
                              uint8_t* dst, int32_t planeStride, int32_t firstBit,
                              uint32_t count, uint32_t x0, uint32_t y, int32_t flags);

}  // namespace vantik::halftone_b
