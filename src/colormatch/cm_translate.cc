// Tetrahedral interpolation on the uneven grid of the CmLut.
//
// For a pixel (r, g, b) the interval (i0, i1) of the first axis is the one
// whose upper node is the first, from index 1 on, at or above r; likewise
// for g and b.  The offsets inside the intervals of the second and third
// axis are rescaled to the first axis's interval width w, the tetrahedron
// is chosen by comparing the three offsets, and each output byte is the
// weighted sum of four nodes divided by w, truncated.
//
// The interval search is precomputed per axis and level (CmAxisTables), the
// divisions are exact reciprocal multiplications (cm_axis_tables.h), and the
// tetrahedron is picked without branches from three comparisons.
#include "colormatch/cm_translate.h"

#include <cstddef>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "formats/format.h"
#include "interface/services.h"
#include "interface/tetrahedral.h"

namespace vantik::colormatch {
namespace {

void BuildAxis(CmAxisEntry* out, const uint8_t* grid, uint32_t stride) {
  int32_t i1 = 1;
  for (int v = 0; v < 256; ++v) {
    while (grid[i1] < v) ++i1;  // the last node is 255, so this stops
    const uint32_t lo = grid[i1 - 1];
    const uint32_t width = grid[i1] - lo;
    out[v].offset = static_cast<uint32_t>(i1 - 1) * stride;
    out[v].frac = static_cast<uint16_t>(v - lo);
    out[v].width = static_cast<uint16_t>(width);
    out[v].recip = CmRecip(width);
    out[v].inverse = 1.0f / static_cast<float>(width);
  }
}

bool SameGrid(const CmAxisTables& t, const CmLut& lut) {
  return t.valid && t.countA == lut.gridCountA && t.countB == lut.gridCountB &&
         t.countC == lut.gridCountC && t.channels == lut.channels &&
         std::memcmp(t.gridA, lut.gridA, 32) == 0 &&
         std::memcmp(t.gridB, lut.gridB, 32) == 0 &&
         std::memcmp(t.gridC, lut.gridC, 32) == 0;
}

// The tetrahedron of one pixel: node 000, the offsets of the second and
// third vertex from it, and the weights.  The fractions of the second and
// third axis are rescaled to the first axis's interval width w.
struct Cell {
  const uint8_t* n0;  // node 000
  uint32_t o1, o2;    // second and third vertex, from node 000
  tetra::Tetrahedron t;
};

inline Cell Locate(const CmAxisTables& t, const uint8_t* table,
                   const uint8_t* px, size_t oa, size_t ob, size_t oc) {
  const CmAxisEntry& ea = t.a[px[oa]];
  const CmAxisEntry& eb = t.b[px[ob]];
  const CmAxisEntry& ec = t.c[px[oc]];
  const uint32_t w = ea.width;
  const uint32_t f[3] = {ea.frac, CmDivByRecip(eb.frac * w, eb.recip),
                         CmDivByRecip(ec.frac * w, ec.recip)};
  const tetra::Tetrahedron tet = tetra::Choose(w, f);
  return {table + ea.offset + eb.offset + ec.offset, t.vertex1[tet.index],
          t.vertex2[tet.index], tet};
}

// Any channel count: integer sums, exact reciprocal division.
void RunAny(const CmAxisTables& t, const uint8_t* table, const CmPixelLayout& l,
            size_t count, const uint8_t* src, uint8_t* dst) {
  const size_t stride = static_cast<size_t>(l.stride);
  const size_t width = static_cast<size_t>(t.channels);
  const uint32_t o3 = t.strideA + t.strideB + t.strideC;
  for (size_t k = 0; k < count; ++k, src += stride, dst += width) {
    const Cell q = Locate(t, table, src, l.offsetA, l.offsetB, l.offsetC);
    const uint32_t recip = t.a[src[l.offsetA]].recip;
    tetra::Blend(q.n0, q.n0 + q.o1, q.n0 + q.o2, q.n0 + o3, q.t, width, dst,
                 [recip](uint32_t sum) { return CmDivByRecip(sum, recip); });
  }
}

#if defined(__SSE2__)
inline __m128i Load4(const uint8_t* p) {
  int32_t v;
  std::memcpy(&v, p, 4);
  return _mm_cvtsi32_si128(v);
}

inline __m128i LoadLanes(const uint16_t* p) {
  return _mm_load_si128(reinterpret_cast<const __m128i*>(p));
}

// Four channels, eight pixels at a time in three stages:
//  1. per pixel, from the axis tables: the three fractions (the second and
//     third already rescaled to the first axis's width w), w, and node 000;
//  2. for the eight pixels at once: the fractions in falling order
//     x1 >= x2 >= x3 give the weights w - x1, x1 - x2, x2 - x3 and x3, the
//     axis of the largest gives the second vertex and the axis of the
//     smallest the third (node 111 less that axis's step).  Where fractions
//     tie, the vertex that depends on the tie has weight 0, so any order of
//     equal fractions gives the same sums;
//  3. per pixel: the bytes of two vertices interleaved as 16-bit lanes meet
//     their two weights in one multiply-add, and the quotient by w comes
//     from CmDivByInverse's single-precision form, which is exact.
void RunFour(const CmAxisTables& t, const uint8_t* table, const CmPixelLayout& l,
             size_t count, const uint8_t* src, uint8_t* dst) {
  const size_t stride = static_cast<size_t>(l.stride);
  const size_t oa = static_cast<size_t>(l.offsetA), ob = static_cast<size_t>(l.offsetB),
               oc = static_cast<size_t>(l.offsetC);
  const uint32_t o3 = t.strideA + t.strideB + t.strideC;
  // Axis steps in units of one node (4 bytes), which fit 16-bit lanes.
  const __m128i stepA = _mm_set1_epi16(static_cast<int16_t>(t.strideA / 4));
  const __m128i stepB = _mm_set1_epi16(static_cast<int16_t>(t.strideB / 4));
  const __m128i stepC = _mm_set1_epi16(static_cast<int16_t>(t.strideC / 4));
  const __m128i stepAll = _mm_set1_epi16(static_cast<int16_t>(o3 / 4));
  const __m128i zero = _mm_setzero_si128();
  const __m128 half = _mm_set1_ps(0.5f);

  // Stage 1 fills whole batches before stage 2 reads them as vectors, so
  // that the vector loads find the scalar stores long written.
  constexpr size_t kBatch = 64;
  // Per pixel: the first axis's fraction and width (fraction | width << 16,
  // as they lie in CmAxisEntry), the other two fractions, node 000; then
  // the two middle vertices (second | third << 16, in nodes), the weights
  // in pairs and 1 / width.
  alignas(16) uint32_t fracWidth[kBatch];
  alignas(16) uint16_t fb[kBatch], fc[kBatch];
  alignas(16) uint32_t vertices[kBatch], w01[kBatch], w23[kBatch];
  alignas(16) float inverse[kBatch];
  uint32_t node[kBatch];
  static_assert(offsetof(CmAxisEntry, width) == offsetof(CmAxisEntry, frac) + 2);

  for (size_t done = 0; done < count; done += kBatch) {
    const size_t n = count - done < kBatch ? count - done : kBatch;
    const uint8_t* px = src + done * stride;
    for (size_t k = 0; k < n; ++k, px += stride) {
      const uint32_t r = px[oa], g = px[ob], b = px[oc];
      const CmAxisEntry& ea = t.a[r];
      const uint8_t* scaled = &t.scaled[0][0] + t.scaledRow[r];
      std::memcpy(&fracWidth[k], &ea.frac, 4);
      fb[k] = scaled[g];
      fc[k] = scaled[256 + b];
      node[k] = ea.offset + t.b[g].offset + t.c[b].offset;
    }
    // Lanes after the last pixel are computed but not used (width 1 keeps
    // their 1 / width finite).
    const size_t lanes = (n + 7) & ~size_t{7};
    for (size_t k = n; k < lanes; ++k) {
      fracWidth[k] = 1u << 16;
      fb[k] = fc[k] = 0;
    }

    for (size_t k = 0; k < lanes; k += 8) {
      const __m128i p0 = _mm_load_si128(reinterpret_cast<const __m128i*>(fracWidth + k));
      const __m128i p1 = _mm_load_si128(reinterpret_cast<const __m128i*>(fracWidth + k + 4));
      const __m128i low = _mm_set1_epi32(0xFFFF);
      const __m128i w0 = _mm_srli_epi32(p0, 16), w1 = _mm_srli_epi32(p1, 16);
      // 1 / width, rounded as the scalar division rounds.
      _mm_store_ps(inverse + k, _mm_div_ps(_mm_set1_ps(1.0f), _mm_cvtepi32_ps(w0)));
      _mm_store_ps(inverse + k + 4, _mm_div_ps(_mm_set1_ps(1.0f), _mm_cvtepi32_ps(w1)));
      const __m128i a = _mm_packs_epi32(_mm_and_si128(p0, low), _mm_and_si128(p1, low));
      const __m128i width = _mm_packs_epi32(w0, w1);
      const __m128i b = LoadLanes(fb + k), c = LoadLanes(fc + k);
      const __m128i x1 = _mm_max_epi16(_mm_max_epi16(a, b), c);
      const __m128i x3 = _mm_min_epi16(_mm_min_epi16(a, b), c);
      const __m128i x2 =
          _mm_sub_epi16(_mm_sub_epi16(_mm_add_epi16(_mm_add_epi16(a, b), c), x1), x3);
      // Largest: A when neither other is above it, else B unless C is above B.
      const __m128i aNotLargest = _mm_or_si128(_mm_cmpgt_epi16(b, a), _mm_cmpgt_epi16(c, a));
      const __m128i cAboveB = _mm_cmpgt_epi16(c, b);
      const __m128i bcLargest =
          _mm_or_si128(_mm_and_si128(cAboveB, stepC), _mm_andnot_si128(cAboveB, stepB));
      const __m128i second = _mm_or_si128(_mm_andnot_si128(aNotLargest, stepA),
                                          _mm_and_si128(aNotLargest, bcLargest));
      // Smallest: A when neither other is below it, else B unless C is below B.
      const __m128i aNotSmallest = _mm_or_si128(_mm_cmpgt_epi16(a, b), _mm_cmpgt_epi16(a, c));
      const __m128i bAboveC = _mm_cmpgt_epi16(b, c);
      const __m128i bcSmallest =
          _mm_or_si128(_mm_and_si128(bAboveC, stepC), _mm_andnot_si128(bAboveC, stepB));
      const __m128i smallest = _mm_or_si128(_mm_andnot_si128(aNotSmallest, stepA),
                                            _mm_and_si128(aNotSmallest, bcSmallest));
      const __m128i third = _mm_sub_epi16(stepAll, smallest);
      _mm_store_si128(reinterpret_cast<__m128i*>(vertices + k), _mm_unpacklo_epi16(second, third));
      _mm_store_si128(reinterpret_cast<__m128i*>(vertices + k + 4), _mm_unpackhi_epi16(second, third));
      const __m128i weight0 = _mm_sub_epi16(width, x1);
      const __m128i weight1 = _mm_sub_epi16(x1, x2);
      const __m128i weight2 = _mm_sub_epi16(x2, x3);
      _mm_store_si128(reinterpret_cast<__m128i*>(w01 + k), _mm_unpacklo_epi16(weight0, weight1));
      _mm_store_si128(reinterpret_cast<__m128i*>(w01 + k + 4), _mm_unpackhi_epi16(weight0, weight1));
      _mm_store_si128(reinterpret_cast<__m128i*>(w23 + k), _mm_unpacklo_epi16(weight2, x3));
      _mm_store_si128(reinterpret_cast<__m128i*>(w23 + k + 4), _mm_unpackhi_epi16(weight2, x3));
    }

    uint8_t* out = dst + done * 4;
    for (size_t k = 0; k < n; ++k, out += 4) {
      const uint8_t* n0 = table + node[k];
      const size_t second = vertices[k] & 0xFFFF, third = vertices[k] >> 16;
      const __m128i v01 =
          _mm_unpacklo_epi8(_mm_unpacklo_epi8(Load4(n0), Load4(n0 + second * 4)), zero);
      const __m128i v23 =
          _mm_unpacklo_epi8(_mm_unpacklo_epi8(Load4(n0 + third * 4), Load4(n0 + o3)), zero);
      const __m128i sum =
          _mm_add_epi32(_mm_madd_epi16(v01, _mm_set1_epi32(static_cast<int32_t>(w01[k]))),
                        _mm_madd_epi16(v23, _mm_set1_epi32(static_cast<int32_t>(w23[k]))));
      const __m128 inv = _mm_set1_ps(inverse[k]);
      const __m128i quo = _mm_cvttps_epi32(_mm_mul_ps(_mm_add_ps(_mm_cvtepi32_ps(sum), half), inv));
      const __m128i bytes = _mm_packus_epi16(_mm_packs_epi32(quo, quo), quo);
      const int32_t v = _mm_cvtsi128_si32(bytes);
      std::memcpy(out, &v, 4);
    }
  }
}
#endif

bool LayoutUsable(const CmPixelLayout& l) {
  return l.stride >= 1 && l.offsetA >= 0 && l.offsetA < l.stride &&
         l.offsetB >= 0 && l.offsetB < l.stride && l.offsetC >= 0 &&
         l.offsetC < l.stride;
}

}  // namespace

bool CmGridUsable(const CmLut& lut) {
  return lut.channels >= 1 && lut.channels <= 255 &&
         tetra::AxisUsable(lut.gridA, lut.gridCountA) &&
         tetra::AxisUsable(lut.gridB, lut.gridCountB) &&
         tetra::AxisUsable(lut.gridC, lut.gridCountC);
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
  BuildAxis(t.a, lut.gridA, t.strideA);
  BuildAxis(t.b, lut.gridB, t.strideB);
  BuildAxis(t.c, lut.gridC, t.strideC);
  // One row of rescaled second- and third-axis offsets per distinct
  // first-axis width (at most 31: one per interval).
  uint16_t widths[31];
  int rows = 0;
  for (int v = 0; v < 256; ++v) {
    const uint16_t w = t.a[v].width;
    int k = 0;
    while (k < rows && widths[k] != w) ++k;
    if (k == rows) {
      widths[rows++] = w;
      for (int u = 0; u < 256; ++u) {
        t.scaled[k][u] = static_cast<uint8_t>(CmDivByRecip(t.b[u].frac * w, t.b[u].recip));
        t.scaled[k][256 + u] = static_cast<uint8_t>(CmDivByRecip(t.c[u].frac * w, t.c[u].recip));
      }
    }
    t.scaledRow[v] = static_cast<uint16_t>(k * 512);
  }
  const uint32_t step[3] = {t.strideA, t.strideB, t.strideC};
  for (unsigned i = 0; i < 8; ++i) {
    const tetra::VertexOffsets v = tetra::VerticesOf(i, step);
    t.vertex1[i] = v.second;
    t.vertex2[i] = v.third;
  }
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
#if defined(__SSE2__)
  if (t.channels == 4) {
    RunFour(t, table, layout, count, src, dst);
    return RC_OK;
  }
#endif
  RunAny(t, table, layout, count, src, dst);
  return RC_OK;
}

CmPixelLayout CmRenderLayout(int32_t renderMode) {
  const PixelLayout l = TranslationLayoutOf(renderMode);
  return {l.bytesPerPixel, l.offsets[0], l.offsets[1], l.offsets[2]};
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

}  // namespace vantik::colormatch
