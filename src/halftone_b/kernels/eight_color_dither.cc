// Ordered dither of colour pixels reduced to eight colours: each of the
// three components is one bit, and the 2 x 2 x 2 colour table gives the four
// ink levels of that colour.
#include "halftone_b/kernels/eight_color_dither.h"

#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "halftone_b/kernels/bit_stream.h"
#include "halftone_b/kernels/kernels.h"
#include "halftone_b/kernels/plane_writer.h"
#include "halftone_b/resources.h"

namespace vantik::halftone_b {

namespace {

constexpr int kPlanes = 4;
// The main loop reads the matrix row through this fixed column mask, the
// tail dot through matrixWidth - 1.  A narrower matrix makes the main loop
// read on into later rows and the level table behind the cells, all inside
// the matrix block.
constexpr uint32_t kMainColumnMask = 63;

// Inks of a dot, bit k for ink k.
using Inks = unsigned;

struct Colour {
  bool white;       // all three components above 128
  int16_t ink[4];   // threshold (level table value) per ink
};

unsigned ColourIndex(const uint8_t* pixel) {
  return (pixel[1] > 128 ? 4u : 0u) | (pixel[2] > 128 ? 2u : 0u) | (pixel[3] > 128 ? 1u : 0u);
}

Colour ColourOf(unsigned index, const uint8_t* sampled, const int16_t* level) {
  Colour c;
  c.white = index == 7;
  const uint8_t* entry = sampled + 4 * index;
  for (int k = 0; k < kPlanes; ++k) c.ink[k] = level[entry[k]];
  return c;
}

Colour LookUp(const uint8_t* pixel, const uint8_t* sampled, const int16_t* level) {
  return ColourOf(ColourIndex(pixel), sampled, level);
}

// Inks 3 and 0 fill the matrix from its low end, 1 and 2 from its high end.
Inks MainDot(const Colour& c, int32_t m, int32_t top) {
  if (c.white) return 0;
  Inks inks = 0;
  const int32_t s0 = c.ink[0], s1 = c.ink[1], s2 = c.ink[2], s3 = c.ink[3];
  if (s0 + s3 <= top) {
    if (m < s3) {
      inks |= 8;
    } else if (m < s0 + s3) {
      inks |= 1;
    }
  } else {
    if (m < s3) inks |= 8;
    if (s0 > top - m) inks |= 1;
  }
  const int32_t n = top - m;
  if (s1 > n) inks |= 2;
  if (s2 > n) inks |= 4;
  return inks;
}

// The tail dot sets at most one ink of each pair.
Inks TailDot(const Colour& c, int32_t m, int32_t cells) {
  Inks inks = 0;
  const int32_t s0 = c.ink[0], s1 = c.ink[1], s2 = c.ink[2], s3 = c.ink[3];
  if (m < s3) {
    inks |= 8;
  } else if (m < s0 + s3) {
    inks |= 1;
  }
  const int32_t n = cells - 1 - m;
  if (n < s1) {
    inks |= 2;
  } else if (n < s1 + s2) {
    inks |= 4;
  }
  return inks;
}

struct Run {
  const int16_t* row;
  const int16_t* level;
  const uint8_t* sampled;
  int32_t cells, top;
  uint32_t tailMask;  // matrixWidth - 1
  bool repeatPixel;   // horizontalScale 1: one pixel per pair of dots
};

Run RunOf(const HalftoneInstanceB& instance, uint32_t y) {
  const auto* matrix = static_cast<const int16_t*>(instance.slots[kSlotThresholdMatrix].data);
  return {matrix + (y % instance.matrixHeight) * instance.matrixWidth,
          static_cast<const int16_t*>(instance.slots[kSlotLevelTable].data),
          static_cast<const uint8_t*>(instance.slots[kSlotSampledLut].data),
          static_cast<int32_t>(instance.matrixCells),
          static_cast<int16_t>(instance.matrixCells - 1),
          instance.matrixWidth - 1,
          instance.params.horizontalScale == 1};
}

void PerDot(const Run& r, const uint8_t* src, uint8_t* dst, int32_t planeStride,
            int32_t firstBit, uint32_t count, uint32_t x0) {
  PlaneWriter out[kPlanes] = {
      PlaneWriter(dst, firstBit), PlaneWriter(dst + planeStride, firstBit),
      PlaneWriter(dst + 2 * planeStride, firstBit),
      PlaneWriter(dst + 3 * planeStride, firstBit)};
  const auto put = [&out](Inks inks) {
    for (int k = 0; k < kPlanes; ++k) out[k].Put(((inks >> k) & 1u) != 0);
  };

  const bool tail = (count & 1) != 0;
  const uint32_t pairs = count / 2;
  uint32_t x = x0;
  for (uint32_t i = 0; i < pairs; ++i) {
    const Colour even = LookUp(src, r.sampled, r.level);
    src += 4;
    put(MainDot(even, r.row[x & kMainColumnMask], r.top));
    ++x;
    if (r.repeatPixel) {
      put(MainDot(even, r.row[x & kMainColumnMask], r.top));
    } else {
      const Colour odd = LookUp(src, r.sampled, r.level);
      src += 4;
      put(MainDot(odd, r.row[x & kMainColumnMask], r.top));
    }
    ++x;
  }
  if (tail) put(TailDot(LookUp(src, r.sampled, r.level), r.row[x & r.tailMask], r.cells));
  for (PlaneWriter& plane : out) plane.Finish();
}

#if defined(__SSE2__)

// The colour index (0..7) of sixteen four-byte pixels, one per lane.
inline __m128i ColourIndex16(const uint8_t* p) {
  const __m128i low = _mm_set1_epi32(0xFF);
  const __m128i flip = _mm_set1_epi8(static_cast<char>(0x80));
  const __m128i zero = _mm_setzero_si128();
  __m128i v[4];
  for (int i = 0; i < 4; ++i) v[i] = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 16 * i));
  __m128i index = zero;
  for (int k = 1; k <= 3; ++k) {
    __m128i b[4];
    for (int i = 0; i < 4; ++i) b[i] = _mm_and_si128(_mm_srli_epi32(v[i], 8 * k), low);
    const __m128i c = _mm_packus_epi16(_mm_packs_epi32(b[0], b[1]), _mm_packs_epi32(b[2], b[3]));
    // Above 128: signed, c - 128 > 0.
    const __m128i above = _mm_cmpgt_epi8(_mm_xor_si128(c, flip), zero);
    index = _mm_or_si128(index, _mm_and_si128(above, _mm_set1_epi8(static_cast<char>(8 >> k))));
  }
  return index;
}

// The inks of sixteen main-loop dots from their colours and the table rows
// of the current matrix row, from column phase on.
inline __m128i Inks16(__m128i index, const uint8_t* rows, uint32_t phase) {
  __m128i inks = _mm_setzero_si128();
  for (int k = 0; k < 7; ++k) {  // colour 7 (white) has no inks
    const __m128i here = _mm_cmpeq_epi8(index, _mm_set1_epi8(static_cast<char>(k)));
    const __m128i cells = _mm_loadu_si128(
        reinterpret_cast<const __m128i*>(rows + k * EightColourDots::kStride + phase));
    inks = _mm_or_si128(inks, _mm_and_si128(here, cells));
  }
  return inks;
}

// Plane k's sixteen dots, the first at bit 15.
inline uint32_t PlaneBits16(__m128i inks, int k) {
  const __m128i bit = _mm_set1_epi8(static_cast<char>(1 << k));
  const auto m = static_cast<uint32_t>(
      _mm_movemask_epi8(_mm_cmpeq_epi8(_mm_and_si128(inks, bit), bit)));
  return uint32_t{kReversed[m & 0xFF]} << 8 | kReversed[m >> 8];
}

// Sixteen main-loop dots' colour indices from the source: sixteen pixels,
// or eight each serving two dots.
inline __m128i Indices16(const uint8_t* src, bool repeatPixel) {
  if (!repeatPixel) return ColourIndex16(src);
  alignas(16) uint8_t eight[64] = {};
  std::memcpy(eight, src, 32);
  const __m128i index = ColourIndex16(eight);  // lanes 0..7
  return _mm_unpacklo_epi8(index, index);
}

void Sixteens(const Run& r, const EightColourDots& table, uint32_t y, const uint8_t* src,
              uint8_t* dst, int32_t planeStride, int32_t firstBit, uint32_t count,
              uint32_t x0) {
  BitStream out[kPlanes] = {BitStream(dst, firstBit), BitStream(dst + planeStride, firstBit),
                            BitStream(dst + 2 * planeStride, firstBit),
                            BitStream(dst + 3 * planeStride, firstBit)};
  const uint8_t* rows = table.rows() + size_t{y % table.height} * 8 * EightColourDots::kStride;
  const uint32_t mainDots = count & ~1u;
  const size_t pixelsPerSixteen = r.repeatPixel ? 8 : 16;
  uint32_t i = 0;
  for (; i + 16 <= mainDots; i += 16) {
    const __m128i inks = Inks16(Indices16(src, r.repeatPixel), rows, (x0 + i) & kMainColumnMask);
    for (int k = 0; k < kPlanes; ++k) out[k].Put16(PlaneBits16(inks, k));
    src += 4 * pixelsPerSixteen;
  }
  const uint32_t rest = mainDots - i;  // even, below 16
  if (rest != 0) {
    // The last main dots read only their own pixels, from a copy.
    alignas(16) uint8_t last[64] = {};
    std::memcpy(last, src, 4 * size_t{r.repeatPixel ? rest / 2 : rest});
    src += 4 * size_t{r.repeatPixel ? rest / 2 : rest};
    const __m128i inks =
        Inks16(Indices16(last, r.repeatPixel), rows, (x0 + i) & kMainColumnMask);
    for (int k = 0; k < kPlanes; ++k) {
      out[k].PutPart((PlaneBits16(inks, k) << 16) & ~(0xFFFFFFFFu >> rest), rest);
    }
  }
  if ((count & 1) != 0) {
    const uint32_t x = x0 + mainDots;
    const Inks inks = TailDot(LookUp(src, r.sampled, r.level), r.row[x & r.tailMask], r.cells);
    for (int k = 0; k < kPlanes; ++k) out[k].PutPart(((inks >> k) & 1u) << 31, 1);
  }
  for (BitStream& plane : out) plane.Finish();
}

const EightColourDots* TableOf(const HalftoneInstanceB& instance) {
  const auto* t = static_cast<const EightColourDots*>(instance.slots[kSlotEightColourDots].data);
  if (t == nullptr || t->width != instance.matrixWidth || t->height != instance.matrixHeight) {
    return nullptr;
  }
  return t;
}

#endif  // __SSE2__

}  // namespace

uint32_t BuildEightColourDots(HalftoneInstanceB& instance) {
  instance.slots[kSlotEightColourDots] = MemorySlot{};
  const uint32_t height = instance.matrixHeight;
  const uint32_t bytes = static_cast<uint32_t>(sizeof(EightColourDots)) +
                         height * 8 * EightColourDots::kStride;
  const uint32_t code = AllocSlot(instance, kSlotEightColourDots, bytes, true);
  if (code != RC_OK) return code;
  auto* head = static_cast<EightColourDots*>(instance.slots[kSlotEightColourDots].data);
  *head = EightColourDots{instance.matrixWidth, height};
  auto* rows = reinterpret_cast<uint8_t*>(head + 1);
  for (uint32_t y = 0; y < height; ++y) {
    const Run r = RunOf(instance, y);
    for (unsigned k = 0; k < 8; ++k) {
      const Colour c = ColourOf(k, r.sampled, r.level);
      uint8_t* out = rows + (size_t{y} * 8 + k) * EightColourDots::kStride;
      for (uint32_t j = 0; j < EightColourDots::kStride; ++j) {
        out[j] = static_cast<uint8_t>(MainDot(c, r.row[j & kMainColumnMask], r.top));
      }
    }
  }
  return RC_OK;
}

uint32_t EightColorDitherWith(DitherPath path, HalftoneInstanceB* instance, const uint8_t* src,
                              uint8_t* dst, int32_t planeStride, int32_t firstBit,
                              uint32_t count, uint32_t x0, uint32_t y, int32_t flags) {
  const uint32_t code = CheckRun(*instance, firstBit, count, x0, flags);
  if (code != RC_OK) return code;
  instance->lastLine = y;
  const Run r = RunOf(*instance, y);
#if defined(__SSE2__)
  const EightColourDots* table = path == DitherPath::kPerDot ? nullptr : TableOf(*instance);
  if (table != nullptr) {
    Sixteens(r, *table, y, src, dst, planeStride, firstBit, count, x0);
    return RC_OK;
  }
#endif
  (void)path;
  PerDot(r, src, dst, planeStride, firstBit, count, x0);
  return RC_OK;
}

VANTIK_HALFTONE_KERNEL(EightColorDitherKernel) {
  (void)arg8, (void)extra;
  return EightColorDitherWith(ChosenDitherPath(), instance, src, dst, planeStride, firstBit,
                              count, x0, y, flags);
}

}  // namespace vantik::halftone_b
