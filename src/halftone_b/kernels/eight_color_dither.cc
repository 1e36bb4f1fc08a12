// Ordered dither of colour pixels reduced to eight colours: each of the
// three components is one bit, and the 2 x 2 x 2 colour table gives the four
// ink levels of that colour.
#include "halftone_b/kernels/kernels.h"
#include "halftone_b/kernels/plane_writer.h"

namespace vantik::halftone_b {

namespace {

constexpr int kPlanes = 4;
// The main loop reads the matrix row through this fixed column mask, the
// tail dot through matrixWidth - 1.  A narrower matrix makes the main loop
// read on into later rows and the level table behind the cells, all inside
// the matrix block.
constexpr uint32_t kMainColumnMask = 63;

struct Colour {
  bool white;       // all three components above 128
  int16_t ink[4];   // threshold (level table value) per ink
};

Colour LookUp(const uint8_t* pixel, const uint8_t* sampled, const int16_t* level) {
  const int c1 = pixel[1] > 128, c2 = pixel[2] > 128, c3 = pixel[3] > 128;
  Colour c;
  c.white = c1 + c2 + c3 == 3;
  const uint8_t* entry = sampled + 4 * (4 * c1 + 2 * c2 + c3);
  for (int k = 0; k < kPlanes; ++k) c.ink[k] = level[entry[k]];
  return c;
}

// Inks 3 and 0 fill the matrix from its low end, 1 and 2 from its high end.
void MainDot(const Colour& c, int32_t m, int32_t top, PlaneWriter* out) {
  bool ink[kPlanes] = {false, false, false, false};
  if (!c.white) {
    const int32_t s0 = c.ink[0], s1 = c.ink[1], s2 = c.ink[2], s3 = c.ink[3];
    if (s0 + s3 <= top) {
      if (m < s3) {
        ink[3] = true;
      } else if (m < s0 + s3) {
        ink[0] = true;
      }
    } else {
      ink[3] = m < s3;
      ink[0] = s0 > top - m;
    }
    const int32_t n = top - m;
    ink[1] = s1 > n;
    ink[2] = s2 > n;
  }
  for (int k = 0; k < kPlanes; ++k) out[k].Put(ink[k]);
}

// The tail dot sets at most one ink of each pair.
void TailDot(const Colour& c, int32_t m, int32_t cells, PlaneWriter* out) {
  bool ink[kPlanes] = {false, false, false, false};
  const int32_t s0 = c.ink[0], s1 = c.ink[1], s2 = c.ink[2], s3 = c.ink[3];
  if (m < s3) {
    ink[3] = true;
  } else if (m < s0 + s3) {
    ink[0] = true;
  }
  const int32_t n = cells - 1 - m;
  if (n < s1) {
    ink[1] = true;
  } else if (n < s1 + s2) {
    ink[2] = true;
  }
  for (int k = 0; k < kPlanes; ++k) out[k].Put(ink[k]);
}

}  // namespace

VANTIK_HALFTONE_KERNEL(EightColorDitherKernel) {
  const uint32_t code = CheckRun(*instance, firstBit, count, x0, flags);
  if (code != RC_OK) return code;
  instance->lastLine = y;

  const auto* matrix = static_cast<const int16_t*>(instance->slots[kSlotThresholdMatrix].data);
  const int16_t* row = matrix + (y % instance->matrixHeight) * instance->matrixWidth;
  const auto* level = static_cast<const int16_t*>(instance->slots[kSlotLevelTable].data);
  const auto* sampled = static_cast<const uint8_t*>(instance->slots[kSlotSampledLut].data);
  const int32_t cells = static_cast<int32_t>(instance->matrixCells);
  const int32_t top = static_cast<int16_t>(instance->matrixCells - 1);
  const bool repeatPixel = instance->params.horizontalScale == 1;

  PlaneWriter out[kPlanes] = {
      PlaneWriter(dst, firstBit), PlaneWriter(dst + planeStride, firstBit),
      PlaneWriter(dst + 2 * planeStride, firstBit),
      PlaneWriter(dst + 3 * planeStride, firstBit)};

  const bool tail = (count & 1) != 0;
  const uint32_t pairs = count / 2;
  uint32_t x = x0;
  for (uint32_t i = 0; i < pairs; ++i) {
    const Colour even = LookUp(src, sampled, level);
    src += 4;
    MainDot(even, row[x & kMainColumnMask], top, out);
    ++x;
    if (repeatPixel) {
      MainDot(even, row[x & kMainColumnMask], top, out);
    } else {
      const Colour odd = LookUp(src, sampled, level);
      src += 4;
      MainDot(odd, row[x & kMainColumnMask], top, out);
    }
    ++x;
  }
  if (tail) {
    TailDot(LookUp(src, sampled, level), row[x & (instance->matrixWidth - 1)],
            cells, out);
  }
  for (PlaneWriter& plane : out) plane.Finish();
  return RC_OK;
}

}  // namespace vantik::halftone_b
