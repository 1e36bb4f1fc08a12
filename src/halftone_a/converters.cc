#include "halftone_a/converters.h"

#include <array>
#include <cstddef>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace vantik::halftone_a {
namespace {

// Each dot rule is a small record type:
//   kPlanes     planes written (4, or 1 for methods 9 and 10);
//   kMatrix1    whether the rule also reads matrix 1 (u);
//   kPixelStep  whether the input advances by the format's bytes per pixel
//               (methods 0, 9, 10) rather than by 4 bytes per entry;
//   Read        reads one entry's values once;
//   Dot         the planes that get a dot for thresholds t (matrix 3) and u
//               (matrix 1), bit k standing for plane k.
using Plane = unsigned;
constexpr Plane kPlane3 = 8;

#if defined(__SSE2__)
// Sixteen entries at once (methods 1 and 2, one dot per entry): four ink
// vectors and a threshold vector in, the four planes' dot masks out (0xFF
// where a dot is set).
struct Inks16 {
  __m128i ink[4];
};
// t <= ink, lane by lane, unsigned.
inline __m128i AtMost(__m128i t, __m128i ink) { return _mm_cmpeq_epi8(_mm_min_epu8(t, ink), t); }

// The four bytes of sixteen 4-byte entries, one vector per byte position.
inline Inks16 LoadInks16(const uint8_t* p) {
  const __m128i low = _mm_set1_epi32(0xFF);
  __m128i v[4];
  for (int i = 0; i < 4; ++i) v[i] = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 16 * i));
  Inks16 out;
  for (int k = 0; k < 4; ++k) {
    __m128i b[4];
    for (int i = 0; i < 4; ++i) b[i] = _mm_and_si128(_mm_srli_epi32(v[i], 8 * k), low);
    out.ink[k] = _mm_packus_epi16(_mm_packs_epi32(b[0], b[1]), _mm_packs_epi32(b[2], b[3]));
  }
  return out;
}

// Bit order reversed within a byte: movemask puts the first dot at bit 0.
constexpr std::array<uint8_t, 256> kReversed = [] {
  std::array<uint8_t, 256> r{};
  for (int v = 0; v < 256; ++v) {
    int x = 0;
    for (int b = 0; b < 8; ++b) x |= ((v >> b) & 1) << (7 - b);
    r[size_t(v)] = static_cast<uint8_t>(x);
  }
  return r;
}();

#endif

inline Plane InkPlanes(unsigned t, unsigned i0, unsigned i1, unsigned i2) {
  return Plane(t <= i0) | Plane(t <= i1) << 1 | Plane(t <= i2) << 2;
}

// Method 1: three inks; three coinciding dots print as one on plane 3.
struct ThreeInks {
  static constexpr int kPlanes = 4;
  static constexpr bool kMatrix1 = false;
  static constexpr bool kPixelStep = false;
  struct Entry { unsigned i0, i1, i2; };
  static Entry Read(const HalftoneAInstance&, const uint8_t* p) {
    return {p[0], p[1], p[2]};
  }
  static Plane Dot(const Entry& e, unsigned t, unsigned) {
    // Written without branches: 7 (all three) becomes 8 (plane 3 alone).
    const Plane planes = InkPlanes(t, e.i0, e.i1, e.i2);
    return planes ^ ((0u - Plane(planes == 7)) & 0xFu);
  }
#if defined(__SSE2__)
  // Byte 3 of an entry is not the rule's: the sixteen-entry route reads it
  // only where another entry follows.
  static constexpr uint32_t kVectorAfter = 1;
  static void Dots16(const HalftoneAInstance&, const uint8_t* p, __m128i t, __m128i,
                     __m128i (&planes)[4]) {
    const Inks16 in = LoadInks16(p);
    const __m128i d0 = AtMost(t, in.ink[0]), d1 = AtMost(t, in.ink[1]),
                  d2 = AtMost(t, in.ink[2]);
    const __m128i all = _mm_and_si128(_mm_and_si128(d0, d1), d2);
    planes[0] = _mm_andnot_si128(all, d0);
    planes[1] = _mm_andnot_si128(all, d1);
    planes[2] = _mm_andnot_si128(all, d2);
    planes[3] = all;
  }
#endif
};

// Method 2: four inks, plane 3 first.
struct FourInks {
  static constexpr int kPlanes = 4;
  static constexpr bool kMatrix1 = false;
  static constexpr bool kPixelStep = false;
  struct Entry { unsigned i0, i1, i2, i3; };
  static Entry Read(const HalftoneAInstance&, const uint8_t* p) {
    return {p[0], p[1], p[2], p[3]};
  }
  static Plane Dot(const Entry& e, unsigned t, unsigned) {
    const Plane black = 0u - Plane(t <= e.i3);  // all ones when plane 3
    return (InkPlanes(t, e.i0, e.i1, e.i2) & ~black) | (kPlane3 & black);
  }
#if defined(__SSE2__)
  static constexpr uint32_t kVectorAfter = 0;
  static void Dots16(const HalftoneAInstance&, const uint8_t* p, __m128i t, __m128i,
                     __m128i (&planes)[4]) {
    const Inks16 in = LoadInks16(p);
    const __m128i black = AtMost(t, in.ink[3]);
    for (int k = 0; k < 3; ++k) planes[k] = _mm_andnot_si128(black, AtMost(t, in.ink[k]));
    planes[3] = black;
  }
#endif
};

// Method 0: two-level colours through the colour table, then as method 2.
struct TwoLevelColors {
  static constexpr int kPlanes = 4;
  static constexpr bool kMatrix1 = false;
  static constexpr bool kPixelStep = true;
  using Entry = FourInks::Entry;
  static Entry Read(const HalftoneAInstance& inst, const uint8_t* p) {
    const unsigned index = (p[inst.channelOffset[0]] < 128 ? 1u : 0u) +
                           (p[inst.channelOffset[1]] < 128 ? 2u : 0u) +
                           (p[inst.channelOffset[2]] < 128 ? 4u : 0u);
    const uint8_t* c = inst.colorTable;
    return {c[index], c[8 + index], c[16 + index], c[24 + index]};
  }
  static Plane Dot(const Entry& e, unsigned t, unsigned u) {
    return FourInks::Dot(e, t, u);
  }
};

// The level-table limit of methods 3 and 5 for one entry.  The index is
// negative when ink 3 outweighs the others; the table has nothing below 0,
// so entry 0 serves those.
inline int LevelLimit(const HalftoneAInstance& inst, int i0, int i1, int i2,
                      int i3) {
  const int index = i0 + i1 + i2 - 2 * i3;
  return inst.levelTable[index < 0 ? 0 : index];
}

// Method 3: four inks under the level-table limit; plane 1 on the inverted
// matrix 1.
struct LimitedInks {
  static constexpr int kPlanes = 4;
  static constexpr bool kMatrix1 = true;
  static constexpr bool kPixelStep = false;
  struct Entry { unsigned i0, i1, i2, i3; unsigned limit; };
  static Entry Read(const HalftoneAInstance& inst, const uint8_t* p) {
    return {p[0], p[1], p[2], p[3],
            static_cast<unsigned>(LevelLimit(inst, p[0], p[1], p[2], p[3]))};
  }
  static Plane Dot(const Entry& e, unsigned t, unsigned u) {
    const unsigned l = e.limit;
    if (t <= e.i3) return u <= l ? kPlane3 : 0;
    return Plane(t <= e.i0 && u <= l) | Plane(t <= e.i1 && 256 - u <= l) << 1 |
           Plane(t <= e.i2 && u <= l) << 2;
  }
};

// The limit raised for a light ink: L + (255 - L)(192 - ink) / 192.
inline unsigned RaisedLimit(int l, int ink) {
  return static_cast<uint16_t>(l + (255 - l) * (192 - ink) / 192);
}

// Method 5: as method 3 with the limit raised for light inks.
struct RaisedLimitInks {
  static constexpr int kPlanes = 4;
  static constexpr bool kMatrix1 = true;
  static constexpr bool kPixelStep = false;
  struct Entry { unsigned i0, i1, i2, i3; unsigned l, l0, l1, l3; };
  static Entry Read(const HalftoneAInstance& inst, const uint8_t* p) {
    const int l = LevelLimit(inst, p[0], p[1], p[2], p[3]);
    const unsigned ul = static_cast<unsigned>(l);
    return {p[0], p[1], p[2], p[3], ul,
            p[0] > 192 ? ul : RaisedLimit(l, p[0]),
            p[1] > 192 ? ul : RaisedLimit(l, p[1]),
            p[3] <= 192 ? RaisedLimit(l, p[3]) : ul};
  }
  static Plane Dot(const Entry& e, unsigned t, unsigned u) {
    if (t <= e.i3) return u <= e.l3 ? kPlane3 : 0;
    if (e.l >= 255) return InkPlanes(t, e.i0, e.i1, e.i2);
    return Plane(t <= e.i0 && u <= e.l0) | Plane(t <= e.i1 && u <= e.l1) << 1 |
           Plane(t <= e.i2 && u <= e.l) << 2;
  }
#if defined(__SSE2__)
  // At L = 255 every u passes, which is the rule's "matrix 1 not
  // consulted" case, so one formula serves both.
  static constexpr uint32_t kVectorAfter = 0;
  static void Dots16(const HalftoneAInstance& inst, const uint8_t* p, __m128i t, __m128i u,
                     __m128i (&planes)[4]) {
    const Inks16 in = LoadInks16(p);
    const __m128i zero = _mm_setzero_si128();
    // Inks, limits and matrix 1 thresholds in 16-bit lanes, eight entries
    // to a half.
    const auto half = [&zero](__m128i v, int h) {
      return h == 0 ? _mm_unpacklo_epi8(v, zero) : _mm_unpackhi_epi8(v, zero);
    };
    __m128i ink[2][4];
    __m128i index[2];
    for (int h = 0; h < 2; ++h) {
      for (int k = 0; k < 4; ++k) ink[h][k] = half(in.ink[k], h);
      // The level-table index of each entry (below 0: entry 0).
      const __m128i sum = _mm_add_epi16(_mm_add_epi16(ink[h][0], ink[h][1]), ink[h][2]);
      index[h] = _mm_max_epi16(_mm_sub_epi16(sum, _mm_add_epi16(ink[h][3], ink[h][3])), zero);
    }
    // The limits, looked up one by one and gathered two to a lane.
    const uint8_t* table = inst.levelTable;
    __m128i l = zero;
    l = LimitPair<0>(l, index[0], table);
    l = LimitPair<1>(l, index[0], table);
    l = LimitPair<2>(l, index[0], table);
    l = LimitPair<3>(l, index[0], table);
    l = LimitPair<4>(l, index[1], table);
    l = LimitPair<5>(l, index[1], table);
    l = LimitPair<6>(l, index[1], table);
    l = LimitPair<7>(l, index[1], table);
    // u at or below the raised limit of inks 0, 1 and 3:
    //   u <= L + (255 - L) x max(192 - ink, 0) / 192 (truncated)
    //   <=> 192 x max(u - L, 0) <= (255 - L) x max(192 - ink, 0),
    // since a <= floor(X / 192) <=> 192 a <= X for whole a; an ink above 192
    // keeps L.  Both sides stay below 2^16.
    const int raisedInk[3] = {0, 1, 3};
    __m128i under[3][2];
    for (int h = 0; h < 2; ++h) {
      const __m128i lh = half(l, h);
      const __m128i over = _mm_mullo_epi16(_mm_subs_epu16(half(u, h), lh), _mm_set1_epi16(192));
      const __m128i room = _mm_sub_epi16(_mm_set1_epi16(255), lh);
      for (int j = 0; j < 3; ++j) {
        const __m128i light = _mm_subs_epu16(_mm_set1_epi16(192), ink[h][raisedInk[j]]);
        under[j][h] = _mm_cmpeq_epi16(_mm_subs_epu16(over, _mm_mullo_epi16(room, light)), zero);
      }
    }
    const __m128i under0 = _mm_packs_epi16(under[0][0], under[0][1]);
    const __m128i under1 = _mm_packs_epi16(under[1][0], under[1][1]);
    const __m128i under3 = _mm_packs_epi16(under[2][0], under[2][1]);
    const __m128i black = AtMost(t, in.ink[3]);
    planes[3] = _mm_and_si128(black, under3);
    planes[0] = _mm_andnot_si128(black, _mm_and_si128(AtMost(t, in.ink[0]), under0));
    planes[1] = _mm_andnot_si128(black, _mm_and_si128(AtMost(t, in.ink[1]), under1));
    planes[2] = _mm_andnot_si128(black, _mm_and_si128(AtMost(t, in.ink[2]), AtMost(u, l)));
  }

 private:
  // Lane `Lane` of l: the limits of entries 2 x Lane and 2 x Lane + 1, whose
  // table indices are in `index` (lanes 0..7 for Lane 0..3, else 8..15).
  template <int Lane>
  static __m128i LimitPair(__m128i l, __m128i index, const uint8_t* table) {
    constexpr int kAt = 2 * (Lane % 4);
    return _mm_insert_epi16(l, table[_mm_extract_epi16(index, kAt)] |
                                   table[_mm_extract_epi16(index, kAt + 1)] << 8,
                            Lane);
  }
#endif
};

// Methods 6, 7, 8: stacked thresholds.  Ink 3 takes the lowest w3 levels,
// the overlap of inks 0 and 1 the next o, then ink 0 alone and ink 1 alone;
// ink 2 fills the range from its top.
struct StackedInks {
  static constexpr int kPlanes = 4;
  static constexpr bool kMatrix1 = false;
  static constexpr bool kPixelStep = false;
  struct Entry { int w0, w1, w2, w3, o; };
  static Entry Read(const HalftoneAInstance&, const uint8_t* p) {
    Entry e{p[0], p[1], p[2], p[3], p[0] + p[1] - 256};
    if (e.o < 0) {
      e.o = 0;
    } else {
      e.w0 -= e.o;
      e.w1 -= e.o;
    }
    return e;
  }
  static Plane Dot(const Entry& e, unsigned ut, unsigned) {
    const int t = static_cast<int>(ut);
    Plane planes = Plane(256 - t <= e.w2) << 2;
    if (t <= e.w3) return planes | kPlane3;
    const int d = t - e.w3;
    if (e.o >= d) return planes | 3;
    if (e.w0 >= d - e.o) return planes | 1;
    if (e.w1 >= d - e.o - e.w0) return planes | 2;
    return planes;
  }
#if defined(__SSE2__)
  // Along the threshold axis from 0: ink 3 up to w3, both inks up to
  // w3 + o, ink 0 up to w3 + o + w0 = w3 + ink 0, ink 1 up to
  // w3 + o + w0 + w1 = w3 + min(ink 0 + ink 1, 256).  These bounds only
  // rise, and a bound above 255 passes every threshold, so they are kept as
  // bytes saturating at 255.  Ink 2 takes thresholds above 255 - w2.
  static constexpr uint32_t kVectorAfter = 0;
  static void Dots16(const HalftoneAInstance&, const uint8_t* p, __m128i t, __m128i,
                     __m128i (&planes)[4]) {
    const Inks16 in = LoadInks16(p);
    // o = max(ink 0 + ink 1 - 256, 0)
    const __m128i o = _mm_subs_epu8(
        _mm_subs_epu8(in.ink[0], _mm_xor_si128(in.ink[1], _mm_set1_epi8(-1))), _mm_set1_epi8(1));
    const __m128i both = _mm_adds_epu8(in.ink[3], o);
    const __m128i upTo0 = _mm_adds_epu8(in.ink[3], in.ink[0]);
    const __m128i upTo1 = _mm_adds_epu8(upTo0, in.ink[1]);
    const __m128i black = AtMost(t, in.ink[3]);
    const __m128i in0 = AtMost(t, upTo0);
    planes[3] = black;
    planes[0] = _mm_andnot_si128(black, in0);
    planes[1] = _mm_andnot_si128(
        black, _mm_or_si128(AtMost(t, both), _mm_andnot_si128(in0, AtMost(t, upTo1))));
    planes[2] = _mm_andnot_si128(AtMost(t, _mm_xor_si128(in.ink[2], _mm_set1_epi8(-1))),
                                 _mm_set1_epi8(-1));
  }
#endif
};

// Method 9: one plane from the inverted first byte of each pixel.
struct InvertedGray {
  static constexpr int kPlanes = 1;
  static constexpr bool kMatrix1 = false;
  static constexpr bool kPixelStep = true;
  struct Entry { unsigned ink; };
  static Entry Read(const HalftoneAInstance&, const uint8_t* p) {
    return {255u - p[0]};
  }
  static Plane Dot(const Entry& e, unsigned t, unsigned) {
    return Plane(e.ink >= t);
  }
};

// Method 10: one plane, a fixed ink (A's low byte as a percentage of 255)
// for dark pixels.
struct FixedDark {
  static constexpr int kPlanes = 1;
  static constexpr bool kMatrix1 = false;
  static constexpr bool kPixelStep = true;
  struct Entry { unsigned ink; };
  static Entry Read(const HalftoneAInstance& inst, const uint8_t* p) {
    const unsigned v = (inst.paramA & 0xFFu) * 255u / 100u;
    return {p[0] <= 127 ? v : 0u};
  }
  static Plane Dot(const Entry& e, unsigned t, unsigned) {
    return Plane(e.ink >= t);
  }
};

#if defined(__SSE2__)
// Rules with a sixteen-entry form (Dots16).
template <class Rule>
concept HasDots16 = requires { Rule::kVectorAfter; };

// Matrix 3 thresholds of sixteen columns from c on, wrapping at the width.
// Rows up to kCopied columns are copied once per line with their first 16
// columns repeated after the end, so that any 16 load from one place.
class Thresholds16 {
 public:
  static constexpr uint32_t kCopied = 1024;
  Thresholds16(const uint8_t* row, uint32_t width) : row_(row), width_(width) {}
  __m128i At(uint32_t c) {
    if (width_ <= kCopied) {
      if (!copied_) {
        for (uint32_t i = 0; i < width_ + 16; ++i) copy_[i] = row_[i % width_];
        copied_ = true;
      }
      return _mm_loadu_si128(reinterpret_cast<const __m128i*>(copy_ + c));
    }
    if (c + 16 <= width_) return _mm_loadu_si128(reinterpret_cast<const __m128i*>(row_ + c));
    alignas(16) uint8_t t[16];
    for (uint32_t i = 0; i < 16; ++i) t[i] = row_[(c + i) % width_];
    return _mm_load_si128(reinterpret_cast<const __m128i*>(t));
  }

 private:
  const uint8_t* row_;
  uint32_t width_;
  bool copied_ = false;
  uint8_t copy_[kCopied + 16];
};
#endif

// The common frame: start bit, working bytes, matrix positions, the partly
// filled last byte.  With one dot per entry the whole bytes in the middle of
// the line take a faster route that gathers eight dots per plane in a
// register; kFast = false keeps the dot-by-dot route for every dot (the
// reference that the faster one is checked against).
template <class Rule, bool kFast>
void Frame(const HalftoneAInstance& inst, const uint8_t* in, uint8_t* dst,
           ptrdiff_t planeStride, int startBit, uint32_t n, uint32_t x,
           uint32_t y) {
  constexpr int kPlanes = Rule::kPlanes;
  const int32_t s = inst.params.horizontalScale;
  const uint32_t reps = RepeatCount(s);
  const uint64_t entries = EntryCount(s, n);
  const size_t step = Rule::kPixelStep ? static_cast<size_t>(inst.bytesPerPixel) : 4;

  const uint32_t w3 = inst.matrix3.width;
  const uint32_t col = static_cast<uint32_t>(inst.columnPhase) + x;
  const uint32_t row = static_cast<uint32_t>(inst.rowPhase) + y;
  uint32_t c3 = col % w3;
  const uint8_t* row3 = inst.matrix3.data + size_t{row % inst.matrix3.height} * w3;
  uint32_t w1 = 1;
  uint32_t c1 = 0;
  const uint8_t* row1 = nullptr;
  if constexpr (Rule::kMatrix1) {
    w1 = inst.matrix1.width;
    c1 = col % w1;
    row1 = inst.matrix1.data + size_t{row % inst.matrix1.height} * w1;
  }

  uint8_t* out[kPlanes];
  uint8_t work[kPlanes];
  const unsigned keep = (0xFF00u >> startBit) & 0xFFu;  // bits before the start
  for (int k = 0; k < kPlanes; ++k) {
    out[k] = dst + k * planeStride;
    work[k] = static_cast<uint8_t>(*out[k] & keep);
  }
  unsigned mask = 0x80u >> startBit;

  auto planesAt = [&](const typename Rule::Entry& entry) {
    const unsigned t = row3[c3];
    unsigned u = 0;
    if constexpr (Rule::kMatrix1) {
      u = row1[c1];
      if (++c1 == w1) c1 = 0;
    }
    if (++c3 == w3) c3 = 0;
    return Rule::Dot(entry, t, u);
  };
  // Sets the current bit of every plane from `planes`; a full byte goes out.
  auto put = [&](Plane planes) {
    for (int k = 0; k < kPlanes; ++k) {
      work[k] = static_cast<uint8_t>(work[k] | (mask & (0u - ((planes >> k) & 1u))));
    }
    mask >>= 1;
    if (mask == 0) {
      for (int k = 0; k < kPlanes; ++k) {
        *out[k]++ = work[k];
        work[k] = 0;
      }
      mask = 0x80;
    }
  };

  uint64_t e = 0;
#if defined(__SSE2__)
  if constexpr (kFast && HasDots16<Rule>) {
    // Sixteen entries, two bytes per plane, at a time once the planes are
    // at a byte boundary; the rest goes the ways below.
    if (reps == 1 && entries >= 16 + Rule::kVectorAfter) {
      Thresholds16 thresholds(row3, w3);
      Thresholds16 thresholds1(Rule::kMatrix1 ? row1 : row3, Rule::kMatrix1 ? w1 : w3);
      while (mask != 0x80 && e < entries) {
        put(planesAt(Rule::Read(inst, in)));
        ++e;
        in += step;
      }
      while (mask == 0x80 && entries - e >= 16 + Rule::kVectorAfter) {
        __m128i planes[4];
        __m128i u = _mm_setzero_si128();
        if constexpr (Rule::kMatrix1) {
          u = thresholds1.At(c1);
          c1 += 16;
          if (c1 >= w1) c1 %= w1;
        }
        Rule::Dots16(inst, in, thresholds.At(c3), u, planes);
        for (int k = 0; k < kPlanes; ++k) {
          const auto m = static_cast<unsigned>(_mm_movemask_epi8(planes[k]));
          out[k][0] = kReversed[m & 0xFF];
          out[k][1] = kReversed[m >> 8];
          out[k] += 2;
        }
        c3 += 16;
        if (c3 >= w3) c3 %= w3;
        e += 16;
        in += 16 * step;
      }
    }
  }
#endif
  while (e < entries) {
    if (kFast && reps == 1 && mask == 0x80 && entries - e >= 8) {
      // A whole byte per plane; the working bytes are 0 here.
      unsigned acc[kPlanes] = {};
      for (int j = 0; j < 8; ++j, in += step) {
        const Plane planes = planesAt(Rule::Read(inst, in));
        for (int k = 0; k < kPlanes; ++k) acc[k] = (acc[k] << 1) | ((planes >> k) & 1u);
      }
      for (int k = 0; k < kPlanes; ++k) *out[k]++ = static_cast<uint8_t>(acc[k]);
      e += 8;
      continue;
    }
    const typename Rule::Entry entry = Rule::Read(inst, in);
    for (uint32_t r = 0; r < reps; ++r) put(planesAt(entry));
    ++e;
    in += step;
  }
  if (mask != 0x80) {
    for (int k = 0; k < kPlanes; ++k) *out[k] = work[k];
  }
}

// The method-to-converter table; a null entry has no converter.
template <class Rule, bool kFast>
constexpr ConverterInfo Info(uint8_t entryBytes) {
  return {Frame<Rule, kFast>, Rule::kMatrix1 ? uint8_t{1} : uint8_t{0},
          static_cast<uint8_t>(Rule::kPlanes), Rule::kPixelStep ? uint8_t{1} : uint8_t{0},
          entryBytes};
}
template <bool kFast>
constexpr ConverterInfo kConverters[] = {
    Info<TwoLevelColors, kFast>(0),    // 0
    Info<ThreeInks, kFast>(3),         // 1
    Info<FourInks, kFast>(4),          // 2
    Info<LimitedInks, kFast>(4),       // 3
    {nullptr, 0, 0, 0, 0},             // 4
    Info<RaisedLimitInks, kFast>(4),   // 5
    Info<StackedInks, kFast>(4),       // 6
    Info<StackedInks, kFast>(4),       // 7
    Info<StackedInks, kFast>(4),       // 8
    Info<InvertedGray, kFast>(1),      // 9
    Info<FixedDark, kFast>(1),         // 10
};
constexpr int32_t kMethods = sizeof kConverters<true> / sizeof(ConverterInfo);

}  // namespace

bool FindConverter(int32_t method, ConverterInfo* out, bool plain) {
  if (method < 0 || method >= kMethods || kConverters<true>[method].convert == nullptr) {
    return false;
  }
  *out = plain ? kConverters<false>[method] : kConverters<true>[method];
  return true;
}

}  // namespace vantik::halftone_a
