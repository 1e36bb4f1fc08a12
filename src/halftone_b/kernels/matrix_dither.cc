// Ordered dither of one ink: each dot compares the level's threshold with
// the matrix cell under it.  The vector paths compare the level with the
// cell's bound instead (matrix_dither.h), which gives the same dots.
#include "halftone_b/kernels/matrix_dither.h"

#include <algorithm>
#include <cstring>

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#endif

#include "halftone_b/kernels/bit_stream.h"
#include "halftone_b/kernels/kernels.h"
#include "halftone_b/kernels/plane_writer.h"
#include "halftone_b/resources.h"

#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
#define VANTIK_DITHER_AVX2 1
#endif

namespace vantik::halftone_b {

namespace {

// ---- Dot by dot -------------------------------------------------------------

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

void PerDot(const HalftoneInstanceB& instance, const uint8_t* src, uint8_t* dst,
            int32_t firstBit, uint32_t count, uint32_t x0, uint32_t y) {
  const auto* matrix = static_cast<const int16_t*>(instance.slots[kSlotThresholdMatrix].data);
  const int16_t* row = matrix + (y % instance.matrixHeight) * instance.matrixWidth;
  const uint32_t columnMask = instance.matrixWidth - 1;
  int16_t threshold[256];
  DitherThresholds(instance, threshold);

  PlaneWriter out(dst, firstBit);
  switch (instance.params.horizontalScale) {
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
}

// ---- Over the bounds --------------------------------------------------------

// Where a run of the bounds starts: its row's two arrays and the phase of
// dot x0 in them.
struct BoundsRun {
  const uint8_t* bound;
  const uint8_t* keep;
  uint32_t phase;
  uint32_t phaseMask;  // period - 1
};

BoundsRun BoundsRunOf(const DitherBounds& b, uint32_t y, uint32_t x0) {
  const uint8_t* row = b.rows() + 2 * static_cast<size_t>(y % b.height) * b.stride;
  return {row, row + b.stride, x0 & (b.period - 1), b.period - 1};
}

// Source bytes of dot i, and how many bytes n dots take from there.
template <int Scale>
size_t SourceOffset(size_t i) {
  return Scale == 1 ? i / 2 : (Scale == -1 ? 2 * i : i);
}
template <int Scale>
size_t SourceBytes(size_t n) {
  return Scale == 1 ? (n + 1) / 2 : (Scale == -1 ? 2 * n : n);
}

#if defined(__SSE2__)

// Levels of sixteen dots from their source bytes.
template <int Scale>
inline __m128i Levels16(const uint8_t* s) {
  if constexpr (Scale == 1) {
    const __m128i v = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(s));
    return _mm_unpacklo_epi8(v, v);
  } else if constexpr (Scale == -1) {
    const __m128i low = _mm_set1_epi16(0x00FF);
    const __m128i v0 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s));
    const __m128i v1 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + 16));
    const __m128i m0 = _mm_and_si128(_mm_min_epu8(v0, _mm_srli_epi16(v0, 8)), low);
    const __m128i m1 = _mm_and_si128(_mm_min_epu8(v1, _mm_srli_epi16(v1, 8)), low);
    return _mm_packus_epi16(m0, m1);
  } else {
    return _mm_loadu_si128(reinterpret_cast<const __m128i*>(s));
  }
}

// Sixteen dots: level at or above the bound, where a bound exists.
inline uint32_t Dots16(__m128i level, const uint8_t* bound, const uint8_t* keep) {
  const __m128i l = _mm_loadu_si128(reinterpret_cast<const __m128i*>(bound));
  const __m128i k = _mm_loadu_si128(reinterpret_cast<const __m128i*>(keep));
  const __m128i on = _mm_and_si128(_mm_cmpeq_epi8(_mm_max_epu8(level, l), level), k);
  const auto m = static_cast<uint32_t>(_mm_movemask_epi8(on));
  return uint32_t{kReversed[m & 0xFF]} << 8 | kReversed[m >> 8];
}

template <int Scale>
void BoundsSse2(const BoundsRun& r, const uint8_t* src, uint32_t count, BitStream& out) {
  uint32_t phase = r.phase;
  size_t i = 0;
  for (; i + 16 <= count; i += 16) {
    out.Put16(Dots16(Levels16<Scale>(src + SourceOffset<Scale>(i)), r.bound + phase,
                     r.keep + phase));
    phase = (phase + 16) & r.phaseMask;
  }
  const auto rest = static_cast<uint32_t>(count - i);
  if (rest != 0) {
    // The last dots read only their own bytes, from a copy.
    alignas(16) uint8_t tail[32] = {};
    std::memcpy(tail, src + SourceOffset<Scale>(i), SourceBytes<Scale>(rest));
    const uint32_t bits = Dots16(Levels16<Scale>(tail), r.bound + phase, r.keep + phase) << 16;
    out.PutPart(bits & ~(0xFFFFFFFFu >> rest), rest);
  }
}

#endif  // __SSE2__

#if VANTIK_DITHER_AVX2

#define VANTIK_AVX2 __attribute__((target("avx2")))

template <int Scale>
VANTIK_AVX2 inline __m256i Levels32(const uint8_t* s) {
  if constexpr (Scale == 1) {
    const __m256i w = _mm256_cvtepu8_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(s)));
    return _mm256_or_si256(w, _mm256_slli_epi16(w, 8));
  } else if constexpr (Scale == -1) {
    const __m256i low = _mm256_set1_epi16(0x00FF);
    const __m256i v0 = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(s));
    const __m256i v1 = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(s + 32));
    const __m256i m0 = _mm256_and_si256(_mm256_min_epu8(v0, _mm256_srli_epi16(v0, 8)), low);
    const __m256i m1 = _mm256_and_si256(_mm256_min_epu8(v1, _mm256_srli_epi16(v1, 8)), low);
    // The pack works per 128-bit half; the permute puts the quarters back
    // in dot order.
    return _mm256_permute4x64_epi64(_mm256_packus_epi16(m0, m1), 0xD8);
  } else {
    return _mm256_loadu_si256(reinterpret_cast<const __m256i*>(s));
  }
}

// Thirty-two dots, the first at bit 31.  Each group of eight bytes is
// reversed before the movemask, so that mask byte k is output byte k.
VANTIK_AVX2 inline uint32_t Dots32(__m256i level, const uint8_t* bound, const uint8_t* keep) {
  const __m256i reverse = _mm256_setr_epi8(7, 6, 5, 4, 3, 2, 1, 0, 15, 14, 13, 12, 11, 10, 9, 8,
                                           7, 6, 5, 4, 3, 2, 1, 0, 15, 14, 13, 12, 11, 10, 9, 8);
  const __m256i l = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(bound));
  const __m256i k = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(keep));
  const __m256i on =
      _mm256_and_si256(_mm256_cmpeq_epi8(_mm256_max_epu8(level, l), level), k);
  const auto m = static_cast<uint32_t>(_mm256_movemask_epi8(_mm256_shuffle_epi8(on, reverse)));
  return __builtin_bswap32(m);
}

template <int Scale>
VANTIK_AVX2 void BoundsAvx2(const BoundsRun& r, const uint8_t* src, uint32_t count,
                            BitStream& out) {
  uint32_t phase = r.phase;
  size_t i = 0;
  for (; i + 32 <= count; i += 32) {
    out.Put32(Dots32(Levels32<Scale>(src + SourceOffset<Scale>(i)), r.bound + phase,
                     r.keep + phase));
    phase = (phase + 32) & r.phaseMask;
  }
  const auto rest = static_cast<uint32_t>(count - i);
  if (rest != 0) {
    alignas(32) uint8_t tail[64] = {};
    std::memcpy(tail, src + SourceOffset<Scale>(i), SourceBytes<Scale>(rest));
    const uint32_t bits = Dots32(Levels32<Scale>(tail), r.bound + phase, r.keep + phase);
    out.PutPart(bits & ~(0xFFFFFFFFu >> rest), rest);
  }
}

bool HasAvx2() {
  static const bool has = [] {
    __builtin_cpu_init();
    return __builtin_cpu_supports("avx2") != 0;
  }();
  return has;
}

#endif  // VANTIK_DITHER_AVX2

template <int Scale>
void OverBounds(DitherPath path, const BoundsRun& r, const uint8_t* src, uint32_t count,
                BitStream& out) {
#if VANTIK_DITHER_AVX2
  if (path == DitherPath::kAvx2) {
    BoundsAvx2<Scale>(r, src, count, out);
    return;
  }
#endif
#if defined(__SSE2__)
  BoundsSse2<Scale>(r, src, count, out);
#endif
  (void)path, (void)r, (void)src, (void)count, (void)out;
}

DitherPath WidestPath() {
#if VANTIK_DITHER_AVX2
  if (HasAvx2()) return DitherPath::kAvx2;
#endif
#if defined(__SSE2__)
  return DitherPath::kSse2;
#else
  return DitherPath::kPerDot;
#endif
}

}  // namespace

void DitherThresholds(const HalftoneInstanceB& instance, int16_t out[256]) {
  // Kind 0 knows only two levels: none up to 128, full above it.
  const auto* level = static_cast<const int16_t*>(instance.slots[kSlotLevelTable].data);
  if (instance.params.kind == 0) {
    for (int a = 0; a < 256; ++a) out[a] = a > 128 ? level[255] : level[0];
  } else {
    std::memcpy(out, level, 256 * sizeof(int16_t));
  }
}

uint32_t BuildDitherBounds(HalftoneInstanceB& instance) {
  instance.slots[kSlotDitherBounds] = MemorySlot{};
  // The thresholds with 0 as "never" (below every cell); the bounds exist
  // when these never fall.
  int16_t t[256];
  DitherThresholds(instance, t);
  int32_t rising[256];
  for (int a = 0; a < 256; ++a) {
    rising[a] = t[a] == 0 ? INT32_MIN : t[a];
    if (a > 0 && rising[a] < rising[a - 1]) return RC_OK;
  }

  const uint32_t width = instance.matrixWidth, height = instance.matrixHeight;
  const uint32_t columnMask = width - 1;
  uint32_t period = 1;
  while (period <= columnMask) period <<= 1;
  const uint32_t stride = (period + 31 + 31) & ~31u;
  const uint32_t bytes = static_cast<uint32_t>(sizeof(DitherBounds)) + 2 * height * stride;
  const uint32_t code = AllocSlot(instance, kSlotDitherBounds, bytes, true);
  if (code != RC_OK) return code;

  auto* head = static_cast<DitherBounds*>(instance.slots[kSlotDitherBounds].data);
  *head = DitherBounds{width, height, period, stride};
  auto* rows = reinterpret_cast<uint8_t*>(head + 1);
  const auto* matrix = static_cast<const int16_t*>(instance.slots[kSlotThresholdMatrix].data);
  for (uint32_t y = 0; y < height; ++y) {
    const int16_t* cells = matrix + y * width;
    uint8_t* bound = rows + 2 * static_cast<size_t>(y) * stride;
    uint8_t* keep = bound + stride;
    for (uint32_t k = 0; k < period + 31; ++k) {
      // Levels up to the bound have thresholds at or below the cell.
      const int32_t cell = cells[k & columnMask];
      const auto l = static_cast<uint32_t>(std::upper_bound(rising, rising + 256, cell) - rising);
      bound[k] = static_cast<uint8_t>(l < 256 ? l : 255);
      keep[k] = l < 256 ? 0xFF : 0;
    }
  }
  return RC_OK;
}

const DitherBounds* DitherBoundsOf(const HalftoneInstanceB& instance) {
  const auto* b = static_cast<const DitherBounds*>(instance.slots[kSlotDitherBounds].data);
  if (b == nullptr || b->width != instance.matrixWidth || b->height != instance.matrixHeight) {
    return nullptr;
  }
  return b;
}

std::vector<DitherPath> DitherPathsHere() {
  std::vector<DitherPath> paths{DitherPath::kPerDot};
#if defined(__SSE2__)
  paths.push_back(DitherPath::kSse2);
#endif
#if VANTIK_DITHER_AVX2
  if (HasAvx2()) paths.push_back(DitherPath::kAvx2);
#endif
  return paths;
}

DitherPath ChosenDitherPath() {
  static const DitherPath chosen = WidestPath();
  return chosen;
}

uint32_t MatrixDitherWith(DitherPath path, HalftoneInstanceB* instance, const uint8_t* src,
                          uint8_t* dst, int32_t firstBit, uint32_t count, uint32_t x0,
                          uint32_t y, int32_t flags, void* extra) {
  if (extra != nullptr) return RC_BAD_BUFFER;
  const uint32_t code = CheckRun(*instance, firstBit, count, x0, flags);
  if (code != RC_OK) return code;
  instance->lastLine = y;

  // A path this machine lacks falls back to one it has.
#if VANTIK_DITHER_AVX2
  if (path == DitherPath::kAvx2 && !HasAvx2()) path = DitherPath::kSse2;
#endif
#if !defined(__SSE2__)
  path = DitherPath::kPerDot;
#endif
  const DitherBounds* bounds = path == DitherPath::kPerDot ? nullptr : DitherBoundsOf(*instance);
  if (bounds == nullptr) {
    PerDot(*instance, src, dst, firstBit, count, x0, y);
    return RC_OK;
  }
  const BoundsRun run = BoundsRunOf(*bounds, y, x0);
  BitStream out(dst, firstBit);
  switch (instance->params.horizontalScale) {
    case 1:
      OverBounds<1>(path, run, src, count, out);
      break;
    case -1:
      OverBounds<-1>(path, run, src, count, out);
      break;
    default:
      OverBounds<0>(path, run, src, count, out);
      break;
  }
  out.Finish();
  return RC_OK;
}

VANTIK_HALFTONE_KERNEL(MatrixDitherKernel) {
  (void)planeStride, (void)arg8;
  return MatrixDitherWith(ChosenDitherPath(), instance, src, dst, firstBit, count, x0, y, flags,
                          extra);
}

}  // namespace vantik::halftone_b
