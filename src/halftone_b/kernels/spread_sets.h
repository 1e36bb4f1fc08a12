// Error spreads of the engine B diffusion kernels, and the rules that pick
// one per pixel.
//
// A spread takes the error E left at a pixel (in levels) and hands it on in
// 1/32 shares: entries right of the pixel belong to the current line and are
// consumed by the pixels still to come; the pixel's own entry and the entries
// left of it belong to the next line.  e points at the pixel's entry.  Every
// listed entry gets weight x E added, e[0] is stored as store weight x E plus
// the incoming carry, and carry becomes the next line's share at x + 1 (added
// when the next diffused pixel stores its entry).  Entry arithmetic wraps at
// 16 bits; products are formed in 32 bits first.
//
// p is the pixel's parity bit (which matrix-cell bit it is depends on the
// kernel family): it moves one share by one position so that the spread's
// footprint varies with the threshold matrix.
//
// Three sets exist: K (the general one, 30/32 in its widest member), J (wider
// along the line, used at 1440 x 720) and V (more weight on the next line,
// used for tall dots).  Each set has six members, 0..5; the Choose rules map
// a pixel's level and dot decision to a member.
#pragma once

#include <cstdint>

namespace vantik::halftone_b {

// Spread bounds of the instance, in falling order (dotParam0..dotParam3).
struct SpreadBounds {
  int32_t p0, p1, p2, p3;
};

namespace spread {

inline void Add(int16_t* e, int offset, int32_t v) {
  e[offset] = static_cast<int16_t>(e[offset] + v);
}

// Adds v to e[from..to] (inclusive).  The bounds are constants at every call,
// so the loop unrolls.
inline void AddRange(int16_t* e, int from, int to, int32_t v) {
  for (int i = from; i <= to; ++i) Add(e, i, v);
}

inline void Store(int16_t* e, int32_t v, int32_t& carry, int32_t newCarry) {
  e[0] = static_cast<int16_t>(v + carry);
  carry = newCarry;
}

// Ties the entry pointer to the chosen member, so that the compiler cannot
// read the entries around the pixel before the member is known.  Every
// member touches e[-2..2], and without this GCC loads them ahead of the dot
// decision, runs out of registers across the three inks and parks them on
// the stack, which costs more than the adds themselves.  Emits nothing.
inline void SpreadAfterChoice(int k, int16_t*& e) {
#if defined(__GNUC__) || defined(__clang__)
  asm("" : "+r"(e) : "r"(k));
#else
  (void)k;
  (void)e;
#endif
}

}  // namespace spread

// Set K.  K5 passes on only 30/32 of the error.
struct SpreadSetK {
  [[gnu::always_inline]] static inline void Spread(int k, int16_t* e, int32_t E, int p,
                            int32_t& carry) {
    using namespace spread;
    const int32_t E2 = 2 * E, E3 = 3 * E, E4 = 4 * E, E8 = 8 * E;
    switch (k) {
      case 0:
        Add(e, 1, E8); Add(e, 2, E4);
        Add(e, -2, E4); Add(e, -1, E8);
        Store(e, E8, carry, 0);
        break;
      case 1:
        Add(e, 1, E8); Add(e, 2, E4);
        Add(e, -2, E4); Add(e, -1, E4);
        Store(e, E8, carry, E4);
        break;
      case 2:
        Add(e, 1, E4); Add(e, 2, E4); Add(e, 3, E2); Add(e, 4, E2);
        if (p) Add(e, 5, E2);
        AddRange(e, -4, -2, E2); Add(e, -1, E4);
        Store(e, p ? E4 : E4 + E2, carry, E4);
        break;
      case 3:
        AddRange(e, 1, 3, E3); AddRange(e, 4, 7, E);
        AddRange(e, -7, -6, E); AddRange(e, -5, -2, E2); Add(e, -1, E3);
        Store(e, E3, carry, E3);
        break;
      case 4:
        AddRange(e, 1, 4, E2); AddRange(e, 5, 9, E); Add(e, p ? 10 : 11, E);
        AddRange(e, -10, -5, E); AddRange(e, -4, -1, E2);
        Store(e, E2, carry, E2);
        break;
      default:
        AddRange(e, 1, 14, E);
        Add(e, p ? -15 : -14, E); AddRange(e, -13, -1, E);
        Store(e, E, carry, E);
        break;
    }
  }

  // Without a dot only the brightest levels spread with K1.  bound3 is
  // dotParam3, lowered by the parity bit where the kernel says so.
  static inline int Choose(int32_t v, bool dot, int32_t bound3,
                           const SpreadBounds& b) {
    if (v > b.p0) return 1;
    if (!dot) return 0;
    if (v > b.p1) return 2;
    if (v > b.p2) return 3;
    if (v > bound3) return 4;
    return 5;
  }
};

// Set J.  "Half" shares use E >> 1, so J5 passes on 32/32 only for even E.
struct SpreadSetJ {
  [[gnu::always_inline]] static inline void Spread(int k, int16_t* e, int32_t E, int p,
                            int32_t& carry) {
    using namespace spread;
    const int32_t E2 = 2 * E, E3 = 3 * E, E4 = 4 * E, E8 = 8 * E;
    switch (k) {
      case 0:
        if (p) {
          Add(e, 1, E8); Add(e, 2, E4);
          Add(e, -3, E4); Add(e, -2, E4); Add(e, -1, E4);
        } else {
          Add(e, 1, E4); Add(e, 2, E4); Add(e, 3, E4);
          Add(e, -2, E4); Add(e, -1, E8);
        }
        Store(e, E8, carry, 0);
        break;
      case 1:
        Add(e, 1, E4); Add(e, 2, E4); Add(e, 3, E2); Add(e, 4, E2);
        Add(e, -4, E2); Add(e, -3, E2); Add(e, -2, E4); Add(e, -1, E4);
        Store(e, E4, carry, E4);
        break;
      case 2:
        AddRange(e, 1, 3, E3); AddRange(e, 4, 5, E2); AddRange(e, 6, 7, E);
        AddRange(e, -7, -6, E); AddRange(e, -5, -4, E2);
        AddRange(e, -3, -1, E3);
        Store(e, E2, carry, 0);
        break;
      case 3:
        AddRange(e, 1, 5, E2); AddRange(e, 6, 10, E);
        AddRange(e, -10, -6, E); AddRange(e, -5, -1, E2);
        Store(e, E2, carry, 0);
        break;
      case 4:
        Add(e, 1, E2); AddRange(e, 2, 14, E);
        AddRange(e, -14, -2, E); Add(e, -1, E2);
        Store(e, E, carry, E);
        break;
      default: {
        const int32_t half = E >> 1;
        AddRange(e, 1, 9, E); AddRange(e, 10, 23, half);
        AddRange(e, -21, -10, half); AddRange(e, -9, -1, E);
        Store(e, half, carry, half);
        break;
      }
    }
  }

  // Without a dot always J0; no parity adjustment of the last bound.
  static inline int Choose(int32_t v, bool dot, int32_t /*bound3*/,
                           const SpreadBounds& b) {
    if (!dot) return 0;
    if (v > b.p0) return 1;
    if (v > b.p1) return 2;
    if (v > b.p2) return 3;
    if (v > b.p3) return 4;
    return 5;
  }
};

// Set V.  V4 and V5 are K3 and K4.
struct SpreadSetV {
  [[gnu::always_inline]] static inline void Spread(int k, int16_t* e, int32_t E, int p,
                            int32_t& carry) {
    using namespace spread;
    const int32_t E2 = 2 * E, E4 = 4 * E, E8 = 8 * E;
    switch (k) {
      case 0:
        Add(e, 1, E4); Add(e, 2, E4); Add(e, -2, E4); Add(e, -1, E4);
        Store(e, 16 * E, carry, 0);
        break;
      case 1:
        Add(e, 1, E4); Add(e, 2, E4); Add(e, -1, E8);
        Store(e, E8, carry, E8);
        break;
      case 2:
        Add(e, 1, E4); Add(e, 2, E4); Add(e, -2, E4); Add(e, -1, E4);
        Store(e, 12 * E, carry, E4);
        break;
      case 3:
        AddRange(e, 1, 4, E2); AddRange(e, -4, -2, E2); Add(e, -1, E4);
        Store(e, E8, carry, 6 * E);
        break;
      default:
        SpreadSetK::Spread(k - 1, e, E, p, carry);
        break;
    }
  }

  // The two brightest bands spread the same way with or without a dot.
  static inline int Choose(int32_t v, bool dot, int32_t bound3,
                           const SpreadBounds& b) {
    if (v > b.p0) return 1;
    if (v > b.p1) return 2;
    if (!dot) return 0;
    if (v > b.p2) return 3;
    if (v > bound3) return 4;
    return 5;
  }
};

}  // namespace vantik::halftone_b
