// Ordered dither of one ink: each dot compares the level's threshold with
// the matrix cell under it.
#include <cstring>

#include "halftone_b/kernels/kernels.h"
#include "halftone_b/kernels/plane_writer.h"

namespace vantik::halftone_b {

namespace {

// Scale 0: one byte per dot; 1: one byte per two dots; -1: the smaller of
// two bytes per dot.
template <int Scale>
void DitherRun(const int16_t* threshold, const int16_t* row, uint32_t columnMask,
               const uint8_t* src, uint32_t count, uint32_t x0,
               PlaneWriter& out) {
  int32_t t = 0;
  for (uint32_t i = 0; i < count; ++i) {
    if (Scale == 1) {
      if ((i & 1) == 0) t = threshold[*src++];
    } else if (Scale == -1) {
      const uint8_t a = src[0], b = src[1];
      src += 2;
      t = threshold[a < b ? a : b];
    } else {
      t = threshold[*src++];
    }
    const int32_t cell = row[(x0 + i) & columnMask];
    out.Put(t != 0 && cell < t);
  }
}

}  // namespace

VANTIK_HALFTONE_KERNEL(MatrixDitherKernel) {
  if (extra != nullptr) return RC_BAD_BUFFER;
  const uint32_t code = CheckRun(*instance, firstBit, count, x0, flags);
  if (code != RC_OK) return code;
  instance->lastLine = y;

  const auto* matrix = static_cast<const int16_t*>(instance->slots[kSlotThresholdMatrix].data);
  const int16_t* row = matrix + (y % instance->matrixHeight) * instance->matrixWidth;
  const uint32_t columnMask = instance->matrixWidth - 1;

  // Threshold per input byte.  Kind 0 knows only two levels: none up to 128,
  // full above it.
  int16_t threshold[256];
  const auto* level = static_cast<const int16_t*>(instance->slots[kSlotLevelTable].data);
  if (instance->params.kind == 0) {
    for (int a = 0; a < 256; ++a) threshold[a] = a > 128 ? level[255] : level[0];
  } else {
    std::memcpy(threshold, level, sizeof threshold);
  }

  PlaneWriter out(dst, firstBit);
  switch (instance->params.horizontalScale) {
    case 1:
      DitherRun<1>(threshold, row, columnMask, src, count, x0, out);
      break;
    case -1:
      DitherRun<-1>(threshold, row, columnMask, src, count, x0, out);
      break;
    default:
      DitherRun<0>(threshold, row, columnMask, src, count, x0, out);
      break;
  }
  out.Finish();
  return RC_OK;
}

}  // namespace vantik::halftone_b
