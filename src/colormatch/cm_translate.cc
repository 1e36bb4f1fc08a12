// Tetrahedral interpolation on the uneven grid of the CmLut.
//
// For a pixel (r, g, b) the interval (i0, i1) of the first axis is the one
// whose upper node is the first, from index 1 on, at or above r; likewise
// for g and b.  The offsets inside the intervals of the second and third
// axis are rescaled to the first axis's interval width w, the tetrahedron
// is chosen by comparing the three offsets, and each output byte is the
// weighted sum of four nodes divided by w, truncated.
//
// The interval search and the divisions are precomputed per axis and
// level (CmAxisTables): a division x / d with x < 2^16 and 1 <= d <= 255 is
// (x * ceil(2^24 / d)) >> 24, which is exact because the rounding error of
// the reciprocal, times x, stays below 2^24.
#include "colormatch/cm_translate.h"

#include <cstring>

#include "interface/services.h"

namespace vantik {
namespace {

constexpr int kRecipShift = 24;

inline uint32_t Recip(uint32_t d) {
  return static_cast<uint32_t>(((uint64_t{1} << kRecipShift) + d - 1) / d);
}

inline uint32_t DivBy(uint32_t x, uint32_t recip) {
  return static_cast<uint32_t>((uint64_t{x} * recip) >> kRecipShift);
}

bool AxisUsable(const uint8_t* grid, int32_t count) {
  if (count < 2 || count > 32) return false;
  if (grid[0] != 0 || grid[count - 1] != 255) return false;
  for (int32_t i = 1; i < count; ++i)
    if (grid[i] <= grid[i - 1]) return false;
  return true;
}

void BuildAxis(CmAxisEntry* out, const uint8_t* grid, int32_t count,
               uint32_t stride) {
  int32_t i1 = 1;
  for (int v = 0; v < 256; ++v) {
    while (grid[i1] < v) ++i1;  // the last node is 255, so this stops
    const uint32_t lo = grid[i1 - 1];
    const uint32_t width = grid[i1] - lo;
    out[v].offset = static_cast<uint32_t>(i1 - 1) * stride;
    out[v].frac = static_cast<uint16_t>(v - lo);
    out[v].width = static_cast<uint16_t>(width);
    out[v].recip = Recip(width);
  }
  (void)count;
}

bool SameGrid(const CmAxisTables& t, const CmLut& lut) {
  return t.valid && t.countA == lut.gridCountA && t.countB == lut.gridCountB &&
         t.countC == lut.gridCountC && t.channels == lut.channels &&
         std::memcmp(t.gridA, lut.gridA, 32) == 0 &&
         std::memcmp(t.gridB, lut.gridB, 32) == 0 &&
         std::memcmp(t.gridC, lut.gridC, 32) == 0;
}

// One pixel: offsets of the four vertices (relative to node 000) and their
// weights, which add up to w.
struct Tetra {
  uint32_t o1, o2, o3;
  uint32_t w0, w1, w2, w3;
};

inline Tetra Choose(uint32_t fa, uint32_t fb, uint32_t fc, uint32_t w,
                    uint32_t sa, uint32_t sb, uint32_t sc) {
  const uint32_t s111 = sa + sb + sc;
  if (fb > fa) {
    if (fa >= fc) return {sb, sa + sb, s111, w - fb, fb - fa, fa - fc, fc};
    if (fb >= fc) return {sb, sb + sc, s111, w - fb, fb - fc, fc - fa, fa};
    return {sc, sb + sc, s111, w - fc, fc - fb, fb - fa, fa};
  }
  if (fa < fc) return {sc, sa + sc, s111, w - fc, fc - fa, fa - fb, fb};
  if (fb < fc) return {sa, sa + sc, s111, w - fa, fa - fc, fc - fb, fb};
  return {sa, sa + sb, s111, w - fa, fa - fb, fb - fc, fc};
}

// kW is the channel count when known at compile time, 0 for any.
template <int kW>
void Run(const CmAxisTables& t, const uint8_t* table, int32_t channels,
         const CmPixelLayout& layout, size_t count, const uint8_t* src,
         uint8_t* dst) {
  const size_t stride = static_cast<size_t>(layout.stride);
  const size_t oa = static_cast<size_t>(layout.offsetA);
  const size_t ob = static_cast<size_t>(layout.offsetB);
  const size_t oc = static_cast<size_t>(layout.offsetC);
  const size_t width = kW != 0 ? static_cast<size_t>(kW) : static_cast<size_t>(channels);
  for (size_t k = 0; k < count; ++k, src += stride, dst += width) {
    const CmAxisEntry& ea = t.a[src[oa]];
    const CmAxisEntry& eb = t.b[src[ob]];
    const CmAxisEntry& ec = t.c[src[oc]];
    const uint32_t w = ea.width;
    const uint32_t fa = ea.frac;
    const uint32_t fb = DivBy(eb.frac * w, eb.recip);
    const uint32_t fc = DivBy(ec.frac * w, ec.recip);
    const Tetra q = Choose(fa, fb, fc, w, t.strideA, t.strideB, t.strideC);
    const uint8_t* n0 = table + ea.offset + eb.offset + ec.offset;
    const uint8_t* n1 = n0 + q.o1;
    const uint8_t* n2 = n0 + q.o2;
    const uint8_t* n3 = n0 + q.o3;
    for (size_t ch = 0; ch < width; ++ch) {
      const uint32_t sum = n0[ch] * q.w0 + n1[ch] * q.w1 + n2[ch] * q.w2 + n3[ch] * q.w3;
      dst[ch] = static_cast<uint8_t>(DivBy(sum, ea.recip));
    }
  }
}

bool LayoutUsable(const CmPixelLayout& l) {
  return l.stride >= 1 && l.offsetA >= 0 && l.offsetA < l.stride &&
         l.offsetB >= 0 && l.offsetB < l.stride && l.offsetC >= 0 &&
         l.offsetC < l.stride;
}

}  // namespace

bool CmGridUsable(const CmLut& lut) {
  return lut.channels >= 1 && lut.channels <= 255 &&
         AxisUsable(lut.gridA, lut.gridCountA) &&
         AxisUsable(lut.gridB, lut.gridCountB) &&
         AxisUsable(lut.gridC, lut.gridCountC);
}

void CmBuildAxisTables(CmAxisTables& t, const CmLut& lut) {
  t.countA = lut.gridCountA;
  t.countB = lut.gridCountB;
  t.countC = lut.gridCountC;
  t.channels = lut.channels;
  std::memcpy(t.gridA, lut.gridA, 32);
  std::memcpy(t.gridB, lut.gridB, 32);
  std::memcpy(t.gridC, lut.gridC, 32);
  const uint32_t w = static_cast<uint32_t>(lut.channels);
  t.strideC = w;
  t.strideB = static_cast<uint32_t>(lut.gridCountC) * w;
  t.strideA = static_cast<uint32_t>(lut.gridCountB) * t.strideB;
  BuildAxis(t.a, lut.gridA, lut.gridCountA, t.strideA);
  BuildAxis(t.b, lut.gridB, lut.gridCountB, t.strideB);
  BuildAxis(t.c, lut.gridC, lut.gridCountC, t.strideC);
  t.valid = true;
}

bool CmRefreshAxisTables(CmInstance& instance) {
  const CmLut* lut = instance.lut;
  if (lut == nullptr || lut->table == nullptr) return false;
  if (SameGrid(instance.axes, *lut)) return true;
  if (!CmGridUsable(*lut)) return false;
  CmBuildAxisTables(instance.axes, *lut);
  return true;
}

uint32_t CmTranslateRun(CmInstance& instance, const CmPixelLayout& layout,
                        size_t count, const uint8_t* src, uint8_t* dst) {
  if (!CmRefreshAxisTables(instance) || !LayoutUsable(layout)) return kCmNoTable;
  if (count == 0) return RC_OK;
  if (src == nullptr || dst == nullptr) return kCmNoTable;
  const CmAxisTables& t = instance.axes;
  const uint8_t* table = instance.lut->table;
  switch (t.channels) {
    case 4: Run<4>(t, table, 4, layout, count, src, dst); break;
    case 3: Run<3>(t, table, 3, layout, count, src, dst); break;
    default: Run<0>(t, table, t.channels, layout, count, src, dst); break;
  }
  return RC_OK;
}

CmPixelLayout CmRenderLayout(int32_t renderMode) {
  switch (renderMode) {
    case 1: return {3, 0, 1, 2};
    case 2: return {3, 2, 1, 0};
    default: return {4, 1, 2, 3};
  }
}

// Behind CmTranslateColorsThk.  Positions are full-width, so a run of any
// length works; a count of 0 or below writes nothing.
uint32_t CmTranslate(CmHandle handle, int32_t count, const uint8_t* src,
                     uint8_t* dst) {
  if (handle == nullptr) return kCmNoTable;
  CmInstance& instance = *static_cast<CmInstance*>(handle);
  const CmPixelLayout layout = {instance.pixelStride, instance.offsetA,
                                instance.offsetB, instance.offsetC};
  const size_t n = count > 0 ? static_cast<size_t>(count) : 0;
  return CmTranslateRun(instance, layout, n, src, dst);
}

}  // namespace vantik
