// Ordered dither of one ink (MatrixDitherKernel) and the level bounds its
// vector paths run on.
//
// A dot is set where the level's threshold t is not 0 and the matrix cell c
// under it is below t.  Where the thresholds, with 0 read as "never", do not
// fall as the level rises, the levels that set a dot over a cell c are
// exactly those at or above one bound L(c), 0..256.  The thresholds then
// drop out of the loop: a dot is one unsigned byte comparison of the level
// with the cell's bound, sixteen or thirty-two dots at once.  The bounds are
// made once, when the matrix arrives (BuildDitherBounds); where the
// thresholds do fall somewhere, there are none and the kernel compares
// threshold and cell per dot, as it always may.
#pragma once

#include <cstdint>
#include <vector>

#include "halftone_b/instance_b.h"

namespace vantik::halftone_b {

// Head of the kSlotDitherBounds slot.  Row r of the matrix has two arrays
// of `stride` bytes at rows + 2 x r x stride: the bound of column k AND
// (width - 1) at index k (k < period + 15, so that sixteen, or thirty-two,
// bytes load from any phase), then 0xFF where that bound is below 256 and
// 0 where no level sets a dot (bound 256).
struct DitherBounds {
  uint32_t width, height;  // the matrix the bounds were made from
  uint32_t period;         // power of two after which x AND (width - 1) repeats
  uint32_t stride;         // bytes of one row's array, a multiple of 32
  // Rows follow.
  const uint8_t* rows() const { return reinterpret_cast<const uint8_t*>(this + 1); }
};

// The threshold of every input byte for the instance: the level table, or
// for kind 0 its entry 0 up to 128 and entry 255 above.
void DitherThresholds(const HalftoneInstanceB& instance, int16_t out[256]);

// Makes the bounds slot from the instance's matrix and level table (the
// last act of the matrix step), or leaves it empty when the thresholds fall
// somewhere.  Returns 0, or the code of a failed allocation or lock.
uint32_t BuildDitherBounds(HalftoneInstanceB& instance);

// The instance's bounds, or null when it has none for its current matrix.
const DitherBounds* DitherBoundsOf(const HalftoneInstanceB& instance);

// The ways a run can be dithered: dot by dot from the thresholds (always
// there), and over the bounds with SSE2 or AVX2 where the machine has them.
// Every way gives the same bits.
enum class DitherPath { kPerDot, kSse2, kAvx2 };

// The paths this build can take on this machine, kPerDot first.
std::vector<DitherPath> DitherPathsHere();

// The path MatrixDitherKernel takes: the widest one here, chosen once.
DitherPath ChosenDitherPath();

// MatrixDitherKernel's arguments and checks, dithering by `path` (kPerDot
// too when the instance has no bounds).
uint32_t MatrixDitherWith(DitherPath path, HalftoneInstanceB* instance,
                          const uint8_t* src, uint8_t* dst, int32_t firstBit,
                          uint32_t count, uint32_t x0, uint32_t y, int32_t flags,
                          void* extra);

}  // namespace vantik::halftone_b
