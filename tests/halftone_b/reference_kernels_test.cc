// The diffusion and colour-dither kernels against a plain, slow reference
// written independently of them: spreads as tables of shares, one pixel at
// a time, no local copies, no packed writers.  Both run the same random
// sequences of runs (random matrices with out-of-range cells, random bounds
// including 0, white and repeated pixels, level-0 stretches, skipped lines,
// split lines, every horizontalScale) and must leave the same planes, error
// lines and reset state.  The rule that clears error lines between runs is
// checked on its own, against a table of cases.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <vector>

#include "common/halftone_b_kernel_fixture.h"
#include "halftone_b/kernels/diffusion_frame.h"

namespace vantik::halftone_b {
namespace {

using testing::KernelInstance;
using testing::KernelSetup;

// ---- Spreads as data ----------------------------------------------------------

enum Cond { kAll, kIfP, kIfNotP };
constexpr int kHalf = -1;  // weight: E >> 1

struct Share {
  int offset, weight;
  Cond cond = kAll;
};
struct Member {
  std::vector<Share> shares;
  int store, storeIfNotP, carry;
};

std::vector<Share> Range(int from, int to, int w) {
  std::vector<Share> s;
  for (int o = from; o <= to; ++o) s.push_back({o, w});
  return s;
}
std::vector<Share> Cat(std::initializer_list<std::vector<Share>> parts) {
  std::vector<Share> s;
  for (const auto& p : parts) s.insert(s.end(), p.begin(), p.end());
  return s;
}

const std::vector<Member>& SetK() {
  static const std::vector<Member> k = {
      {{{1, 8}, {2, 4}, {-2, 4}, {-1, 8}}, 8, 0, 0},
      {{{1, 8}, {2, 4}, {-2, 4}, {-1, 4}}, 8, 0, 4},
      {Cat({{{1, 4}, {2, 4}, {3, 2}, {4, 2}, {5, 2, kIfP}}, Range(-4, -2, 2), {{-1, 4}}}),
       4, 2, 4},
      {Cat({Range(1, 3, 3), Range(4, 7, 1), Range(-7, -6, 1), Range(-5, -2, 2), {{-1, 3}}}),
       3, 0, 3},
      {Cat({Range(1, 4, 2), Range(5, 9, 1), {{10, 1, kIfP}, {11, 1, kIfNotP}},
            Range(-10, -5, 1), Range(-4, -1, 2)}),
       2, 0, 2},
      {Cat({Range(1, 14, 1), {{-15, 1, kIfP}, {-14, 1, kIfNotP}}, Range(-13, -1, 1)}), 1,
       0, 1},
  };
  return k;
}

const std::vector<Member>& SetJ() {
  static const std::vector<Member> j = {
      {{{1, 4}, {1, 4, kIfP}, {2, 4}, {3, 4, kIfNotP}, {-3, 4, kIfP}, {-2, 4}, {-1, 4},
        {-1, 4, kIfNotP}},
       8, 0, 0},
      {{{1, 4}, {2, 4}, {3, 2}, {4, 2}, {-4, 2}, {-3, 2}, {-2, 4}, {-1, 4}}, 4, 0, 4},
      {Cat({Range(1, 3, 3), Range(4, 5, 2), Range(6, 7, 1), Range(-7, -6, 1),
            Range(-5, -4, 2), Range(-3, -1, 3)}),
       2, 0, 0},
      {Cat({Range(1, 5, 2), Range(6, 10, 1), Range(-10, -6, 1), Range(-5, -1, 2)}), 2, 0,
       0},
      {Cat({{{1, 2}}, Range(2, 14, 1), Range(-14, -2, 1), {{-1, 2}}}), 1, 0, 1},
      {Cat({Range(1, 9, 1), Range(10, 23, kHalf), Range(-21, -10, kHalf),
            Range(-9, -1, 1)}),
       kHalf, 0, kHalf},
  };
  return j;
}

const std::vector<Member>& SetV() {
  static const std::vector<Member> v = {
      {{{1, 4}, {2, 4}, {-2, 4}, {-1, 4}}, 16, 0, 0},
      {{{1, 4}, {2, 4}, {-1, 8}}, 8, 0, 8},
      {{{1, 4}, {2, 4}, {-2, 4}, {-1, 4}}, 12, 0, 4},
      {Cat({Range(1, 4, 2), Range(-4, -2, 2), {{-1, 4}}}), 8, 0, 6},
      SetK()[3],
      SetK()[4],
  };
  return v;
}

int32_t Weighted(int w, int32_t E) { return w == kHalf ? (E >> 1) : w * E; }

// e points at the pixel's entry.
void Apply(const Member& m, int16_t* e, int32_t E, bool p, int32_t& carry) {
  for (const Share& s : m.shares) {
    if (s.cond == kIfP && !p) continue;
    if (s.cond == kIfNotP && p) continue;
    e[s.offset] = static_cast<int16_t>(e[s.offset] + Weighted(s.weight, E));
  }
  const int32_t store = Weighted(m.store, E) + (p ? 0 : m.storeIfNotP * E);
  e[0] = static_cast<int16_t>(store + carry);
  carry = Weighted(m.carry, E);
}

// ---- Shared pieces --------------------------------------------------------------

int32_t Jitter(int32_t i) {
  if (i <= 7) return 24;
  if (i <= 128) return 20;
  if (i <= 247) return -20;
  return -24;
}

// The reset rule has its own table of cases (ResetErrorLines below); the
// reference kernels apply the library's rule rather than restating it.
void Reset(HalftoneInstanceB& in, std::vector<int16_t*> lines, uint32_t y,
           uint32_t count, uint32_t x0) {
  ResetErrorLines(lines.data(), static_cast<int>(lines.size()), &in, y, count, x0);
}

struct Out {
  std::vector<uint8_t*> planes;
  std::vector<uint8_t> acc;
  uint8_t mask;
  Out(uint8_t* dst, int32_t stride, int n, int32_t firstBit, uint8_t* plane3) {
    for (int k = 0; k < n; ++k) planes.push_back(dst + k * stride);
    if (plane3 != nullptr) planes[3] = plane3;
    acc.assign(n, 0);
    mask = static_cast<uint8_t>(0x80 >> firstBit);
    if (firstBit != 0) {
      for (int k = 0; k < n; ++k) {
        acc[k] = static_cast<uint8_t>(*planes[k] & ~((1 << (8 - firstBit)) - 1));
      }
    }
  }
  void Set(int k) { acc[k] |= mask; }
  void Shift(bool scratch3) {
    mask >>= 1;
    if (mask == 0) {
      StoreAll();
      for (size_t k = 0; k < planes.size(); ++k) {
        if (!(k == 3 && scratch3)) ++planes[k];
      }
      std::fill(acc.begin(), acc.end(), 0);
      mask = 0x80;
    }
  }
  void StoreAll() {
    for (size_t k = 0; k < planes.size(); ++k) *planes[k] = acc[k];
  }
};

const int16_t* T16(HalftoneInstanceB& in, int slot) {
  return static_cast<const int16_t*>(in.slots[slot].data);
}
const uint8_t* NodeTab(HalftoneInstanceB& in) {
  return static_cast<const uint8_t*>(in.slots[kSlotNodeTable].data);
}
int16_t* Line(HalftoneInstanceB& in, int i) {
  return static_cast<int16_t*>(in.slots[kSlotErrorLine0 + i].data) + 30;
}
const uint8_t* Lut(HalftoneInstanceB& in) {
  return static_cast<const uint8_t*>(in.slots[kSlotSampledLut].data);
}

// Ink bits of an ordered-dither pixel decided at most one of each pair.
void TailInks(const int32_t s[4], int32_t m, int32_t cellsMinus1, Out& o) {
  if (m < s[3]) {
    o.Set(3);
  } else if (m < s[0] + s[3]) {
    o.Set(0);
  }
  const int32_t n = cellsMinus1 - m;
  if (n < s[1]) {
    o.Set(1);
  } else if (n < s[1] + s[2]) {
    o.Set(2);
  }
}

// ---- Four-ink family --------------------------------------------------------------

enum class FourInk { kPlain, kWide, kTall, kPaired, kPairedWide };

int ChooseFourInk(FourInk kind, int inkIndex, int32_t v, bool dot, int odd,
                  const HalftoneInstanceB& in) {
  const int32_t p0 = in.dotParam0, p1 = in.dotParam1, p2 = in.dotParam2,
                p3 = in.dotParam3;
  switch (kind) {
    case FourInk::kPlain:
    case FourInk::kPaired: {
      if (kind == FourInk::kPlain && v == 0) return dot ? 5 : 0;
      const int t = inkIndex == 1 ? 0 : odd;
      if (!dot) return v > p0 ? 1 : 0;
      if (v > p0) return 1;
      if (v > p1) return 2;
      if (v > p2) return 3;
      if (v > p3 - t) return 4;
      return 5;
    }
    case FourInk::kWide:
    case FourInk::kPairedWide:
      if (!dot) return 0;
      if (v > p0) return 1;
      if (v > p1) return 2;
      if (v > p2) return 3;
      if (v > p3) return 4;
      return 5;
    case FourInk::kTall:
      if (v > p0) return 1;
      if (v > p1) return 2;
      if (!dot) return 0;
      if (v > p2) return 3;
      if (v > p3 - odd) return 4;
      return 5;
  }
  return 0;
}

uint32_t RefFourInk(FourInk kind, HalftoneInstanceB& in, const uint8_t* src,
                    uint8_t* dst, int32_t stride, int32_t firstBit, uint32_t count,
                    uint32_t x0, uint32_t y) {
  const bool paired = kind == FourInk::kTall || kind == FourInk::kPaired ||
                      kind == FourInk::kPairedWide;
  if (!paired && in.matrixWidth > 256) return 0x300;
  Reset(in, {Line(in, 0), Line(in, 1), Line(in, 2)}, y, count, x0);
  const std::vector<Member>& set = kind == FourInk::kTall ? SetV()
                                   : (kind == FourInk::kWide ||
                                      kind == FourInk::kPairedWide)
                                       ? SetJ()
                                       : SetK();
  const bool direct = paired && in.params.renderMode == 4;
  uint8_t scratch = 0;
  const bool threePlane = !paired && in.params.lutMode == 2;
  Out o(dst, stride, 4, firstBit, threePlane ? &scratch : nullptr);
  const int16_t* row = T16(in, kSlotThresholdMatrix) +
                       (y % in.matrixHeight) * in.matrixWidth;
  const int16_t* LT = T16(in, kSlotLevelTable);
  const int16_t* DW = T16(in, kSlotDotWeightTable);
  const int16_t* ET = T16(in, kSlotErrorThresholdTable);
  const uint8_t* nt = NodeTab(in);
  const uint8_t* lut = Lut(in);
  const bool tail = count & 1;
  if (tail) --count;
  int32_t carry[3] = {0, 0, 0}, hist[3] = {31, 31, 31};
  int32_t prevNode[3] = {-2, -2, -2}, prevLevel[4] = {100, 100, 100, 100};
  const uint8_t* s = src;
  for (uint32_t x = x0; x < x0 + count; ++x) {
    const uint8_t* px = s;
    if (in.params.horizontalScale != 1 || ((x - x0) & 1) == 1) s += 4;
    const int c[3] = {px[1], px[2], px[3]};
    if (c[0] + c[1] + c[2] == 765) {
      for (int i = 0; i < 3; ++i) {
        Line(in, i)[x] = 0;
        carry[i] = 0;
      }
      o.Shift(threePlane);
      continue;
    }
    const int32_t m = row[x & (in.matrixWidth - 1)];
    const int32_t b = (m & 0xFF) & 0xFE;
    const int odd = m & 1;
    int32_t level[4];
    if (direct) {
      for (int k = 0; k < 4; ++k) level[k] = px[k];
    } else {
      int32_t n[3];
      for (int a = 0; a < 3; ++a) n[a] = nt[2 * c[a]] + (nt[2 * c[a] + 1] <= b ? 1 : 0);
      const uint8_t* entry = lut + ((n[0] * 32 + n[1]) * 32 + n[2]) * 4;
      for (int k = 0; k < 4; ++k) level[k] = entry[k];
      bool near = true;
      for (int a = 0; a < 3; ++a) {
        const int32_t d = n[a] - prevNode[a];
        if (d < -1 || d > 1) near = false;
      }
      if (near) {
        for (int k = 0; k < 4; ++k) level[k] = (prevLevel[k] + level[k] + 1 - odd) >> 1;
      }
      for (int a = 0; a < 3; ++a) prevNode[a] = n[a];
      for (int k = 0; k < 4; ++k) prevLevel[k] = level[k];
    }
    const int32_t j = Jitter(m & 0xFE);
    if (m < LT[level[2]]) o.Set(2);
    const int inkOf[3] = {0, 1, 3};
    for (int i = 0; i < 3; ++i) {
      const int32_t v = level[inkOf[i]];
      const int32_t sign = i == 1 ? -1 : 1;
      hist[i] >>= 1;
      if (v != 0) hist[i] |= 16;
      int16_t* e = Line(in, i) + x;
      if (v == 0 && hist[i] == 0) {
        *e = 0;
        continue;
      }
      int32_t E = (*e >> 5) + v;
      *e = 0;
      const bool dot = E >= ET[v] + sign * j;
      if (dot) {
        E -= DW[v];
        o.Set(inkOf[i]);
      }
      const int k = ChooseFourInk(kind, i, v, dot, odd, in);
      Apply(set[k], e, E, odd != 0, carry[i]);
    }
    o.Shift(threePlane);
  }
  if (tail) {
    const uint32_t x = x0 + count;
    const uint8_t* px = s;
    int32_t level[4];
    if (direct) {
      for (int k = 0; k < 4; ++k) level[k] = px[k];
    } else {
      int32_t n[3];
      for (int a = 0; a < 3; ++a) {
        n[a] = nt[2 * px[a + 1]] + (nt[2 * px[a + 1] + 1] <= 128 ? 1 : 0);
      }
      const int32_t g = paired ? in.lutRecord.gridCountA : 32;
      const uint8_t* entry = lut + ((n[0] * g + n[1]) * g + n[2]) * 4;
      for (int k = 0; k < 4; ++k) level[k] = entry[k] < 32 ? 0 : entry[k];
    }
    int32_t sk[4];
    for (int k = 0; k < 4; ++k) sk[k] = LT[level[k]];
    TailInks(sk, row[x & (in.matrixWidth - 1)],
             static_cast<int32_t>(in.matrixCells) - 1, o);
  }
  if (o.mask != 0x80 || tail) o.StoreAll();
  return 0;
}

// ---- Single-ink family --------------------------------------------------------------

enum class Ink { kPlain, kWide, kTall };

uint32_t RefInk(Ink kind, HalftoneInstanceB& in, const uint8_t* src, uint8_t* dst,
                int32_t firstBit, uint32_t count, uint32_t x0, uint32_t y) {
  Reset(in, {Line(in, 0)}, y, count, x0);
  Out o(dst, 0, 1, firstBit, nullptr);
  const int16_t* row = T16(in, kSlotThresholdMatrix) +
                       (y % in.matrixHeight) * in.matrixWidth;
  const int16_t* TT = T16(in, kSlotToneTable);
  const int16_t* DW = T16(in, kSlotDotWeightTable);
  const int16_t* ET = T16(in, kSlotErrorThresholdTable);
  int16_t* e = Line(in, 0);
  const int32_t p0 = in.dotParam0, p1 = in.dotParam1, p2 = in.dotParam2,
                p3 = in.dotParam3;
  int32_t carry = 0, v = 0;
  const uint8_t* s = src;
  for (uint32_t x = x0; x < x0 + count; ++x) {
    if (!(in.params.horizontalScale == 1 && ((x - x0) & 1) == 1)) {
      int a = *s++;
      if (in.params.horizontalScale == -1) {
        const int b2 = *s++;
        a = a > b2 ? a : b2;
      }
      v = TT[a];
    }
    if (v == 0) {
      e[x] = 0;
      carry = 0;
      o.Shift(false);
      continue;
    }
    const int32_t m = row[x & (in.matrixWidth - 1)];
    const int even = (m & 1) == 0 ? 1 : 0;
    const int32_t j = Jitter(m & 0xFE);
    int32_t E = v + (e[x] >> 5);
    e[x] = 0;
    const bool dot = E >= ET[v] + j;
    if (dot) E -= DW[v];
    const std::vector<Member>* set = &SetK();
    int k = 0;
    switch (kind) {
      case Ink::kPlain:
        k = v > p0 ? 1 : !dot ? 0 : v > p1 ? 2 : v > p2 ? 3 : v > p3 - even ? 4 : 5;
        break;
      case Ink::kWide:
        set = &SetJ();
        k = !dot ? 0 : v > p0 ? 1 : v > p1 ? 2 : v > p2 ? 3 : v > p3 ? 4 : 5;
        break;
      case Ink::kTall:
        set = &SetV();
        k = v > p0 ? 1 : v > p1 ? 2 : !dot ? 0 : v > p2 ? 3 : v > p3 - even ? 4 : 5;
        break;
    }
    // Parity exchanged: the shares that follow an odd cell in the four-ink
    // family follow an even one here.
    Apply((*set)[k], e + x, E, even != 0, carry);
    if (dot) o.Set(0);
    o.Shift(false);
  }
  if (o.mask != 0x80) o.StoreAll();
  return 0;
}

// ---- Kind-3 colour kernels ----------------------------------------------------------

uint32_t RefKind3(bool diffuse, HalftoneInstanceB& in, const uint8_t* src,
                  uint8_t* dst, int32_t stride, int32_t firstBit, uint32_t count,
                  uint32_t x0, uint32_t y) {
  in.lastLine = y;
  Out o(dst, stride, 4, firstBit, nullptr);
  const int16_t* row = T16(in, kSlotThresholdMatrix) +
                       (y % in.matrixHeight) * in.matrixWidth;
  const int16_t* LT = T16(in, kSlotLevelTable);
  const int16_t* DW = T16(in, kSlotDotWeightTable);
  const int16_t* ET = T16(in, kSlotErrorThresholdTable);
  const uint8_t* nt = NodeTab(in);
  const uint8_t* lut = Lut(in);
  const bool direct = in.params.renderMode == 4;
  const int32_t top = static_cast<int16_t>(in.matrixCells - 1);
  int16_t* e = diffuse ? Line(in, 0) : nullptr;
  const bool tail = count & 1;
  if (tail) --count;
  int32_t prevNode[3] = {-2, -2, -2}, prevL[4] = {100, 0, 0, 100};
  int32_t s[4] = {0, 0, 0, 0}, l1 = 0, j = 0, r = 0, carry = 0;
  const uint8_t* sp = src;
  const uint8_t* partner = nullptr;
  for (uint32_t x = x0; x < x0 + count; ++x) {
    const bool oddDot = ((x - x0) & 1) == 1;
    const uint8_t* px = sp;
    if (in.params.horizontalScale != 1 || oddDot) sp += 4;
    if (!oddDot) partner = px;
    const int32_t m = row[x & (in.matrixWidth - 1)];
    if (px[1] + px[2] + px[3] == 765) {
      if (diffuse) {
        e[x] = 0;
        carry = 0;
      }
      o.Shift(false);
      continue;
    }
    bool same = oddDot && px[1] == partner[1] && px[2] == partner[2] &&
                px[3] == partner[3] && (!direct || px[0] == partner[0]);
    if (!same) {
      const int32_t b = m & 0xFE;
      r = (b & 4) == 0 ? 1 : 0;
      j = Jitter(b);
      int32_t l[4];
      if (direct) {
        for (int k = 0; k < 4; ++k) l[k] = px[k];
      } else {
        int32_t n[3];
        for (int a = 0; a < 3; ++a) {
          n[a] = nt[2 * px[a + 1]] + (nt[2 * px[a + 1] + 1] <= b ? 1 : 0);
        }
        const uint8_t* entry = lut + ((n[0] * 32 + n[1]) * 32 + n[2]) * 4;
        for (int k = 0; k < 4; ++k) l[k] = entry[k];
        bool near = true;
        for (int a = 0; a < 3; ++a) {
          if (n[a] - prevNode[a] < -1 || n[a] - prevNode[a] > 1) near = false;
        }
        if (near) {
          for (int k : {0, 1, 3}) l[k] = (l[k] + prevL[k] + r) >> 1;
        }
        for (int a = 0; a < 3; ++a) prevNode[a] = n[a];
        for (int k : {0, 1, 3}) prevL[k] = l[k];
      }
      for (int k = 0; k < 4; ++k) s[k] = LT[l[k]];
      l1 = l[1];
    }
    if (s[0] + s[3] <= top) {
      if (m < s[3]) {
        o.Set(3);
      } else if (m < s[0] + s[3]) {
        o.Set(0);
      }
    } else {
      if (m < s[3]) o.Set(3);
      if (top - m < s[0]) o.Set(0);
    }
    const int32_t n = top - m;
    if (n < s[2]) o.Set(2);
    if (!diffuse) {
      if (n < s[1]) o.Set(1);
    } else if (l1 == 0) {
      e[x] = 0;
      carry = 0;
    } else {
      const int32_t v = l1;
      int32_t E = v + (e[x] >> 5);
      e[x] = 0;
      const bool dot = E >= ET[v] - j;
      if (dot) {
        E -= DW[v];
        o.Set(1);
      }
      const int k = !dot ? (v > in.dotParam0 ? 1 : 0)
                  : v > in.dotParam0 ? 1
                  : v > in.dotParam1 ? 2
                  : v > in.dotParam2 ? 3
                  : v > in.dotParam3 ? 4
                                     : 5;
      Apply(SetK()[k], e + x, E, r != 0, carry);
    }
    o.Shift(false);
  }
  if (tail) {
    const uint32_t x = x0 + count;
    const uint8_t* px = sp;
    const int32_t m = row[x & (in.matrixWidth - 1)];
    const int32_t b = m & 0xFE;
    int32_t l[4];
    if (direct) {
      for (int k = 0; k < 4; ++k) l[k] = px[k];
    } else {
      int32_t n[3];
      for (int a = 0; a < 3; ++a) {
        n[a] = nt[2 * px[a + 1]] + (nt[2 * px[a + 1] + 1] <= b ? 1 : 0);
      }
      const int32_t g = in.lutRecord.gridCountA;
      const uint8_t* entry = lut + ((n[0] * g + n[1]) * g + n[2]) * 4;
      for (int k = 0; k < 4; ++k) l[k] = entry[k];
    }
    int32_t sk[4];
    for (int k = 0; k < 4; ++k) sk[k] = LT[l[k]];
    TailInks(sk, m, static_cast<int32_t>(in.matrixCells) - 1, o);
  }
  if (o.mask != 0x80 || tail) o.StoreAll();
  return 0;
}

// ---- Ordered dither ------------------------------------------------------------------

uint32_t RefMatrixDither(HalftoneInstanceB& in, const uint8_t* src, uint8_t* dst,
                         int32_t firstBit, uint32_t count, uint32_t x0, uint32_t y) {
  in.lastLine = y;
  Out o(dst, 0, 1, firstBit, nullptr);
  const int16_t* row = T16(in, kSlotThresholdMatrix) +
                       (y % in.matrixHeight) * in.matrixWidth;
  const int16_t* LT = T16(in, kSlotLevelTable);
  int32_t t = 0;
  const uint8_t* s = src;
  for (uint32_t x = x0; x < x0 + count; ++x) {
    if (!(in.params.horizontalScale == 1 && ((x - x0) & 1) == 1)) {
      int a = *s++;
      if (in.params.horizontalScale == -1) {
        const int b = *s++;
        a = a < b ? a : b;
      }
      t = in.params.kind == 0 ? (a > 128 ? LT[255] : LT[0]) : LT[a];
    }
    if (t != 0 && row[x & (in.matrixWidth - 1)] < t) o.Set(0);
    o.Shift(false);
  }
  if (o.mask != 0x80) o.StoreAll();
  return 0;
}

uint32_t RefEightColor(HalftoneInstanceB& in, const uint8_t* src, uint8_t* dst,
                       int32_t stride, int32_t firstBit, uint32_t count, uint32_t x0,
                       uint32_t y) {
  in.lastLine = y;
  Out o(dst, stride, 4, firstBit, nullptr);
  const int16_t* row = T16(in, kSlotThresholdMatrix) +
                       (y % in.matrixHeight) * in.matrixWidth;
  const int16_t* LT = T16(in, kSlotLevelTable);
  const uint8_t* lut = Lut(in);
  const int32_t top = static_cast<int16_t>(in.matrixCells - 1);
  const bool tail = count & 1;
  if (tail) --count;
  auto levels = [&](const uint8_t* px, int32_t sk[4]) {
    const int c1 = px[1] > 128, c2 = px[2] > 128, c3 = px[3] > 128;
    const uint8_t* entry = lut + 4 * (4 * c1 + 2 * c2 + c3);
    for (int k = 0; k < 4; ++k) sk[k] = LT[entry[k]];
    return 3 - (c1 + c2 + c3);
  };
  const uint8_t* s = src;
  for (uint32_t x = x0; x < x0 + count; ++x) {
    const uint8_t* px = s;
    if (in.params.horizontalScale != 1 || ((x - x0) & 1) == 1) s += 4;
    int32_t sk[4];
    if (levels(px, sk) != 0) {
      const int32_t m = row[x & 63];
      if (sk[0] + sk[3] <= top) {
        if (m < sk[3]) {
          o.Set(3);
        } else if (m < sk[0] + sk[3]) {
          o.Set(0);
        }
      } else {
        if (m < sk[3]) o.Set(3);
        if (sk[0] > top - m) o.Set(0);
      }
      const int32_t n = top - m;
      if (sk[1] > n) o.Set(1);
      if (sk[2] > n) o.Set(2);
    }
    o.Shift(false);
  }
  if (tail) {
    int32_t sk[4];
    levels(s, sk);
    TailInks(sk, row[(x0 + count) & (in.matrixWidth - 1)],
             static_cast<int32_t>(in.matrixCells) - 1, o);
  }
  if (o.mask != 0x80 || tail) o.StoreAll();
  return 0;
}

// ---- The comparison -------------------------------------------------------------------

enum class Family { kFourInk, kInk, kKind3, kMatrix, kEightColor };

struct Case {
  const char* name;
  HalftoneKernel kernel;
  Family family;
  int variant;  // FourInk / Ink value, or diffuse for kind 3
};

const Case kCases[] = {
    {"ColorDiffusionKernel", ColorDiffusionKernel, Family::kFourInk,
     static_cast<int>(FourInk::kPlain)},
    {"ColorDiffusionKernelWide", ColorDiffusionKernelWide, Family::kFourInk,
     static_cast<int>(FourInk::kWide)},
    {"ColorDiffusionKernelTall", ColorDiffusionKernelTall, Family::kFourInk,
     static_cast<int>(FourInk::kTall)},
    {"ColorDiffusionKernelPaired", ColorDiffusionKernelPaired, Family::kFourInk,
     static_cast<int>(FourInk::kPaired)},
    {"ColorDiffusionKernelPairedWide", ColorDiffusionKernelPairedWide, Family::kFourInk,
     static_cast<int>(FourInk::kPairedWide)},
    {"InkDiffusionKernel", InkDiffusionKernel, Family::kInk, static_cast<int>(Ink::kPlain)},
    {"InkDiffusionKernelWide", InkDiffusionKernelWide, Family::kInk,
     static_cast<int>(Ink::kWide)},
    {"InkDiffusionKernelTall", InkDiffusionKernelTall, Family::kInk,
     static_cast<int>(Ink::kTall)},
    {"ColorDitherKernel", ColorDitherKernel, Family::kKind3, 0},
    {"ColorDitherDiffusionKernel", ColorDitherDiffusionKernel, Family::kKind3, 1},
    {"MatrixDitherKernel kind 3", MatrixDitherKernel, Family::kMatrix, 3},
    {"MatrixDitherKernel kind 0", MatrixDitherKernel, Family::kMatrix, 0},
    {"EightColorDitherKernel", EightColorDitherKernel, Family::kEightColor, 0},
};

uint32_t RunReference(const Case& c, HalftoneInstanceB& in, const uint8_t* src,
                      uint8_t* dst, int32_t stride, int32_t firstBit, uint32_t count,
                      uint32_t x0, uint32_t y) {
  switch (c.family) {
    case Family::kFourInk:
      return RefFourInk(static_cast<FourInk>(c.variant), in, src, dst, stride, firstBit,
                        count, x0, y);
    case Family::kInk:
      return RefInk(static_cast<Ink>(c.variant), in, src, dst, firstBit, count, x0, y);
    case Family::kKind3:
      return RefKind3(c.variant != 0, in, src, dst, stride, firstBit, count, x0, y);
    case Family::kMatrix:
      return RefMatrixDither(in, src, dst, firstBit, count, x0, y);
    case Family::kEightColor:
      return RefEightColor(in, src, dst, stride, firstBit, count, x0, y);
  }
  return 0;
}

TEST(ReferenceKernels, RandomRunsMatchThePlainReference) {
  std::mt19937 rng(20261210);
  auto pick = [&](int lo, int hi) {
    return std::uniform_int_distribution<int>(lo, hi)(rng);
  };
  constexpr uint32_t kWidth = 96;
  for (const Case& c : kCases) {
    for (int trial = 0; trial < 12; ++trial) {
      KernelSetup s;
      s.lineWidth = kWidth;
      const bool levels = c.family == Family::kInk || c.family == Family::kMatrix;
      s.kind = c.family == Family::kKind3       ? 3
               : c.family == Family::kMatrix    ? c.variant
               : c.family == Family::kEightColor ? 0
                                                 : 1;
      s.lutMode = levels ? 0 : (pick(0, 3) == 0 ? 2 : 1);
      s.renderMode = s.lutMode == 0 ? 0 : (pick(0, 2) == 0 ? 4 : 1);
      const int scales[3] = {0, 1, -1};
      s.horizontalScale = scales[trial % 3];
      // The eight-colour main loop reads 64 columns whatever the width.
      s.matrixWidth = 1u << (c.family == Family::kEightColor ? pick(6, 7) : pick(2, 5));
      s.matrixHeight = static_cast<uint32_t>(pick(1, 20));
      const int32_t cells = static_cast<int32_t>(s.matrixWidth * s.matrixHeight);
      s.cells.resize(cells);
      for (auto& v : s.cells) {
        v = static_cast<int16_t>(pick(0, 9) == 0 ? pick(-40000, 40000) % 32768
                                                 : pick(-5, cells + 5));
      }
      s.weightLight = pick(0, 2) == 0 ? 250 : pick(0, 1) ? 350 : 500;
      s.dotParam[0] = pick(20, 70);
      s.dotParam[1] = pick(5, s.dotParam[0]);
      s.dotParam[2] = pick(1, s.dotParam[1]);
      s.dotParam[3] = pick(0, s.dotParam[2]);
      const uint8_t flat[4] = {static_cast<uint8_t>(pick(0, 255)),
                               static_cast<uint8_t>(pick(0, 255)),
                               static_cast<uint8_t>(pick(0, 255)),
                               static_cast<uint8_t>(pick(0, 255))};
      const int fillKind = pick(0, 3);
      s.fill = [fillKind, flat](int pa, int pb, int pc, int ink) -> uint8_t {
        if (fillKind == 0) return testing::ComplementFill(pa, pb, pc, ink);
        if (fillKind == 1) return flat[ink];
        // Low and zero levels next to high ones.
        const int v = (pa * 3 + pb * 5 + pc * 7 + ink * 61) & 255;
        return static_cast<uint8_t>(v < 90 ? 0 : v < 130 ? v - 89 : v);
      };
      if (levels) {
        s.tone.resize(256);
        for (int i = 0; i < 256; ++i) {
          s.tone[i] = static_cast<int16_t>(i % 7 == 3 ? 0 : (i * 11 + trial) & 255);
        }
      }
      KernelInstance lib(s);
      KernelInstance ref(s);
      const size_t planeBytes = kWidth / 8 + 2;
      std::vector<uint8_t> libOut(4 * planeBytes), refOut(4 * planeBytes);
      uint32_t y = static_cast<uint32_t>(pick(0, 3));
      for (int run = 0; run < 20; ++run) {
        // Next line, same line, or a skipped one; lines 15 and 0 mod 16 come
        // up often.
        const int step = pick(0, 9);
        if (step < 6) {
          y += 1;
        } else if (step < 8) {
          y += 0;
        } else {
          y += static_cast<uint32_t>(pick(2, 17));
        }
        const uint32_t x0 = static_cast<uint32_t>(pick(0, 1) ? 0 : pick(0, kWidth));
        const uint32_t count = static_cast<uint32_t>(pick(0, static_cast<int>(kWidth - x0)));
        const int32_t firstBit = pick(0, 7);
        // Mostly smooth pixels (so that neighbouring grid nodes and the
        // smoothing come up), with repeats, white pixels, zeros and jumps.
        std::vector<uint8_t> src(8 * (count + 2) + 8);
        for (size_t i = 0; i < src.size(); i += 4) {
          const int what = pick(0, 19);
          for (size_t k = 0; k < 4; ++k) {
            const int prev = i >= 4 ? src[i + k - 4] : pick(0, 255);
            int v;
            if (what == 0) {
              v = k == 0 ? prev : 255;  // white
            } else if (what == 1) {
              v = 0;
            } else if (what == 2) {
              v = pick(0, 255);
            } else if (what < 6) {
              v = prev;
            } else {
              v = std::clamp(prev + pick(-9, 9), 0, 255);
            }
            src[i + k] = static_cast<uint8_t>(v);
          }
        }
        for (size_t i = 0; i < libOut.size(); ++i) {
          libOut[i] = refOut[i] = static_cast<uint8_t>(pick(0, 255));
        }
        const uint32_t a = c.kernel(&lib.inst, src.data(), libOut.data(),
                                    static_cast<int32_t>(planeBytes), firstBit, count,
                                    x0, 0, y, 0, nullptr);
        const uint32_t b = RunReference(c, ref.inst, src.data(), refOut.data(),
                                        static_cast<int32_t>(planeBytes), firstBit,
                                        count, x0, y);
        ASSERT_EQ(a, b) << c.name << " trial " << trial << " run " << run;
        ASSERT_EQ(libOut, refOut) << c.name << " trial " << trial << " run " << run;
        for (int i = 0; i < 4; ++i) {
          ASSERT_EQ(lib.wholeLine(i), ref.wholeLine(i))
              << c.name << " line " << i << " trial " << trial << " run " << run;
        }
        ASSERT_EQ(lib.inst.lastLine, ref.inst.lastLine) << c.name;
        ASSERT_EQ(lib.inst.lastEnd, ref.inst.lastEnd) << c.name;
      }
    }
  }
}

// ---- Reset rule -------------------------------------------------------------

// Which stretch of the error lines a run clears before it is diffused, from
// the previous run's line and end and the new run's line and start.  Lines
// are 64 dots wide; every entry, margins included, starts at 7.
TEST(ResetErrorLines, ClearsTheStretchTheRulesName) {
  constexpr uint32_t W = 64;
  struct Case {
    const char* name;
    uint32_t prevLine, prevEnd, y, x0, count;
    uint32_t from, to;  // cleared [from, to); from == to: nothing
  } cases[] = {
      {"fresh instance, line 0", 0, 0, 0, 0, W, 0, 0},
      {"fresh instance, line 1", 0, 0, 1, 0, W, 0, 0},
      {"fresh instance, later line", 0, 0, 2, 0, W, 0, W},
      {"skipped line", 5, W, 7, 20, 10, 0, W},
      {"skipped line onto line 15", 10, 30, 15, 5, 10, 0, W},
      {"next line, ordinary", 16, 40, 17, 8, 10, 0, 0},
      {"same line, ordinary", 5, 20, 5, 30, 10, 0, 0},
      {"line going back", 20, 10, 3, 0, W, 0, 0},
      {"next line is 15, starts inside", 14, W, 15, 10, 20, 0, 10},
      {"next line is 15, starts at 0", 14, 30, 15, 0, 20, 0, 0},
      {"line 15 again, gap after the previous run", 15, 20, 15, 30, 4, 20, 30},
      {"line 15 again, no gap", 15, 30, 15, 30, 4, 0, 0},
      {"line 15 again, previous run overlaps", 15, 35, 15, 30, 4, 0, 0},
      {"line 15 again, previous run reached the end", 15, W, 15, 30, 4, 0, 30},
      {"next line is 16, previous run ended inside", 15, 40, 16, 0, W, 40, W},
      {"next line is 32, previous run ended inside", 31, 12, 32, 50, 4, 12, W},
      {"next line is 16, previous run reached the end", 15, W, 16, 0, W, 0, 0},
      {"next line is 16, previous run ended at 0", 15, 0, 16, 0, W, 0, 0},
      {"line number wraps to 0", 0xFFFFFFFFu, 10, 0, 0, W, 10, W},
      {"empty run still records its end", 3, 0, 3, 17, 0, 0, 0},
  };
  for (const Case& c : cases) {
    KernelSetup s;
    s.lineWidth = W;
    KernelInstance k(s);
    for (int i = 0; i < 4; ++i) {
      auto* p = static_cast<int16_t*>(k.inst.slots[kSlotErrorLine0 + i].data);
      std::fill(p, p + k.inst.slots[kSlotErrorLine0 + i].size / 2, int16_t{7});
    }
    const std::vector<int16_t> untouched = k.wholeLine(3);
    k.inst.lastLine = c.prevLine;
    k.inst.lastEnd = c.prevEnd;
    int16_t* lines[3] = {k.line(0), k.line(1), k.line(2)};
    ResetErrorLines(lines, 3, &k.inst, c.y, c.count, c.x0);
    EXPECT_EQ(k.inst.lastLine, c.y) << c.name;
    EXPECT_EQ(k.inst.lastEnd, c.x0 + c.count) << c.name;
    for (int i = 0; i < 3; ++i) {
      std::vector<int16_t> want = untouched;
      for (uint32_t x = c.from; x < c.to; ++x) want[kErrorLineOffset + x] = 0;
      EXPECT_EQ(k.wholeLine(i), want) << c.name << ", line " << i;
    }
    EXPECT_EQ(k.wholeLine(3), untouched) << c.name << ": a line not passed in";
  }
}

}  // namespace
}  // namespace vantik::halftone_b
