// Line loop of the kind-3 colour kernels: four-byte pixels become four inks
// through the colour table, each ink set by ordered dither against the
// threshold matrix; with kDiffuseInk1, ink 1 is set by error diffusion on the
// error line of slot 1 instead (set K, no parity adjustment of the last
// bound, parity = bit 2 of the matrix byte clear).
//
// Dots go in pairs (distance from x0 even, then odd).  The odd dot keeps the
// even dot's thresholds (and jitter and parity) when its pixel equals its
// partner; only its matrix cell is new.  Smoothing rounds by the matrix
// byte's bit 2 and leaves ink 2 alone.  These kernels never reset their
// error line wholesale and do not keep lastEnd.
//
// Direct ink form (renderMode 4): the pixel's bytes 0..3 are the ink levels in
// the main loop as in the tail dot (the same choice as the paired four-ink
// front end); pixels are then equal only when all four bytes are, and no
// smoothing happens since no grid nodes are derived.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "halftone_b/kernels/diffusion_frame.h"
#include "halftone_b/kernels/dot_ranges.h"
#include "halftone_b/kernels/node_keys.h"
#include "halftone_b/kernels/kernels.h"
#include "halftone_b/kernels/four_plane_writer.h"

namespace vantik::halftone_b {

template <bool kDiffuseInk1>
class ColorDitherFrame {
 public:
  static uint32_t Run(HalftoneInstanceB* instance, const uint8_t* src,
                      uint8_t* dst, int32_t planeStride, int32_t firstBit,
                      uint32_t count, uint32_t x0, uint32_t y, int32_t flags) {
    if (const uint32_t rc = CheckRun(*instance, firstBit, count, x0, flags)) {
      return rc;
    }
    if (!KernelTablesReady(*instance, true, kDiffuseInk1 ? 1 : 0)) {
      return RC_BAD_RESOURCE;
    }
    instance->lastLine = y;

    const bool direct = instance->params.renderMode == 4;
    Frame f;
    f.tables.Load(*instance, kDiffuseInk1);
    f.line = kDiffuseInk1 ? ErrorLine(*instance, kSlotErrorLine0) : nullptr;
    f.bounds = BoundsOf(*instance);
    f.row = MatrixRow(*instance, y);
    f.colMask = instance->matrixWidth - 1;
    f.top = static_cast<int16_t>(instance->matrixCells - 1);
    f.x0 = x0;
    if (!direct) f.keys.Load(f.tables);

    FourPlaneWriter w(dst, planeStride,
                      dst + 3 * static_cast<ptrdiff_t>(planeStride), true,
                      firstBit);

    const uint32_t pairs = count & ~1u;
    const uint32_t halving = SourceHalving(*instance);
    if (direct) {
      if (halving) {
        Loop<true, true>(f, src, pairs, w);
      } else {
        Loop<true>(f, src, pairs, w);
      }
    } else if (halving) {
      Loop<false, true>(f, src, pairs, w);
    } else {
      Loop<false>(f, src, pairs, w);
    }

    if (count & 1) {
      // Tail dot: one pixel at the current source position, no white test,
      // no smoothing, nodes rounded by the matrix byte, levels unclipped.
      const uint32_t x = x0 + pairs;
      const uint8_t* px = src + (static_cast<size_t>(pairs >> halving) << 2);
      const int32_t m = f.row[x & f.colMask];
      int32_t level[4];
      if (direct) {
        for (int k = 0; k < 4; ++k) level[k] = px[k];
      } else {
        const uint32_t b = static_cast<uint32_t>(m) & 0xFE;
        int32_t g = instance->lutRecord.gridCountA;
        g = g < 1 ? 1 : g > 32 ? 32 : g;
        const size_t index =
            (static_cast<size_t>(NodeOf(f.tables, px[1], b)) * g +
             NodeOf(f.tables, px[2], b)) * g + NodeOf(f.tables, px[3], b);
        for (int k = 0; k < 4; ++k) level[k] = f.tables.lut[index * 4 + k];
      }
      int32_t s[4];
      for (int k = 0; k < 4; ++k) s[k] = f.tables.level[level[k]];
      w.Put(TailDots(s, m, static_cast<int32_t>(instance->matrixCells) - 1));
    }
    w.Finish();
    return RC_OK;
  }

 private:
  struct Frame {
    ColorTables tables;
    int16_t* line;
    SpreadBounds bounds;
    const int16_t* row;
    uint32_t colMask;
    int32_t top;  // matrixCells - 1 read as a signed 16-bit value
    uint32_t x0;
    NodeKeys keys;
  };

  // Dot rule of one pixel, kept for an equal odd partner.  Every ink's rule
  // is a range of matrix cells: ink k gets the dot at cell m when
  // (m - lo[k]) mod 2^32 < width[k] (unsigned), so that one vector compare
  // decides all four inks.
  struct Thresholds {
    DotRanges ranges;
    int32_t level1;  // ink 1's level (after smoothing), for the diffusion
    int32_t jitter;
    int parity;      // 1 when bit 2 of the matrix byte is clear
  };

  // Smoothing memory of the previous fresh pixel: its grid nodes as a
  // NodeKeys node word, and its smoothed levels of inks 0, 1 and 3 as bytes
  // 0, 1 and 3 of a word.
  struct Memory {
    uint64_t nodes = NodeKeys::kFarNodes;
    uint32_t levels = 100u | 100u << 24;  // inks 0, 1, 3: 100, 0, 100
  };

  // Bytes 1..3 all 255.
  static bool White(uint32_t px) { return px >= 0xFFFFFF00u; }

  // Line loop over n dots (n even), a pair of dots per step.  With kShared
  // both dots of a pair read the same source pixel.
  template <bool kDirect, bool kShared = false>
  static void Loop(const Frame& f, const uint8_t* src, uint32_t n,
                   FourPlaneWriter& out) {
    // Colour pixels are equal when their three components are; direct ink
    // pixels when all four levels are.
    constexpr uint32_t kCompared = kDirect ? 0xFFFFFFFFu : 0xFFFFFF00u;
    const int32_t top = f.top;
    Memory memory;
    Thresholds th{};
    int32_t carry = 0;
    // Writers and frame fields live in locals: the writers' byte stores could
    // otherwise alias every table and force reloads at each dot.
    FourPlaneWriter w = out;
    const int16_t* const row = f.row;
    const uint32_t colMask = f.colMask, x0 = f.x0;
    for (uint32_t i = 0; i < n; i += 2) {
      const uint32_t x = x0 + i;
      const uint8_t* pe = src + (static_cast<size_t>(kShared ? i >> 1 : i) << 2);
      const uint32_t a = Word(pe);
      const int32_t me = row[x & colMask];
      const int32_t mo = row[(x + 1) & colMask];
      if (White(a)) {
        WhiteDot(f, x, carry, w);
        const uint32_t b = kShared ? a : Word(pe + 4);
        if (White(b)) {
          WhiteDot(f, x + 1, carry, w);
        } else {
          Fresh<kDirect>(f, mo, top, b, memory, th);
          w.Put(Dots(f, x + 1, mo, th, carry));
        }
        continue;
      }
      Fresh<kDirect>(f, me, top, a, memory, th);
      w.Put(Dots(f, x, me, th, carry));
      if (!kShared) {
        const uint32_t b = Word(pe + 4);
        if (((a ^ b) & kCompared) != 0) {
          if (White(b)) {
            WhiteDot(f, x + 1, carry, w);
            continue;
          }
          Fresh<kDirect>(f, mo, top, b, memory, th);
        }
      }
      // An odd dot whose pixel equals its partner's keeps its thresholds.
      w.Put(Dots(f, x + 1, mo, th, carry));
    }
    out = w;
  }

  static void WhiteDot(const Frame& f, uint32_t x, int32_t& carry,
                       FourPlaneWriter& w) {
    if (kDiffuseInk1) {
      f.line[x] = 0;
      carry = 0;
    }
    w.Put(0);
  }

  // Inks of one dot with matrix cell m.  Inks 3 and 0 fill the matrix from
  // its low cells (overlapping once their sum passes the top), inks 1 and 2
  // from its high cells.
  static uint32_t Dots(const Frame& f, uint32_t x, int32_t m,
                       const Thresholds& th, int32_t& carry) {
    const uint32_t dots = th.ranges.Dots(m);
    if (!kDiffuseInk1) return dots;
    return dots | (DiffuseInk1(f, x, th, carry) ? 2u : 0u);
  }

  // Levels and thresholds of pixel px (byte 0 in the low bits) at matrix
  // cell m, with the smoothing memory updated.
  template <bool kDirect>
  static void Fresh(const Frame& f, int32_t m, int32_t top, uint32_t px,
                    Memory& memory, Thresholds& th) {
    const ColorTables& t = f.tables;
    const uint32_t b = static_cast<uint32_t>(m) & 0xFE;
    const uint32_t r = (b & 4) == 0 ? 1 : 0;
    uint32_t l;
    if (kDirect) {
      l = px;
    } else {
      const uint64_t nodes = f.keys.Nodes(px, b);
      l = Word(t.lut + 4 * static_cast<size_t>(NodeKeys::Index(nodes)));
      const bool near = NodeKeys::Near(nodes, memory.nodes);
      memory.nodes = nodes;
      // Bytewise (l + previous + r) >> 1: floor of the mean plus r, from the
      // common bits and half the differing ones.
      const uint32_t p = memory.levels;
      const uint32_t half = ((l ^ p) >> 1) & 0x7F7F7F7Fu;
      const uint32_t mean = r ? (l | p) - half : (l & p) + half;
      if (near) l = (mean & 0xFF00FFFFu) | (l & 0x00FF0000u);
      memory.levels = l;
    }
    const int32_t* level = t.level;
    const int32_t s0 = level[l & 0xFF], s1 = level[(l >> 8) & 0xFF],
                  s2 = level[(l >> 16) & 0xFF], s3 = level[l >> 24];
    // Ink 3: m < s3.  Ink 0: s3 <= m < s0 + s3 while s0 + s3 <= top, else
    // top - m < s0.  Inks 1 and 2: top - m < s, that is m >= top + 1 - s.
    constexpr uint32_t kHalf = 1u << 31;
    const uint32_t above = static_cast<uint32_t>(top + 1);
    uint32_t lo0 = static_cast<uint32_t>(s3), width0 = s0 < 0 ? 0 : s0;
    if (s0 + s3 > top) {
      lo0 = above - static_cast<uint32_t>(s0);
      width0 = kHalf;
    }
    th.ranges.Set(lo0, width0, above - static_cast<uint32_t>(s1),
                  kDiffuseInk1 ? 0 : kHalf, above - static_cast<uint32_t>(s2),
                  kHalf, static_cast<uint32_t>(s3) - kHalf, kHalf);
    th.level1 = static_cast<int32_t>((l >> 8) & 0xFF);
    th.jitter = kThresholdJitter[b];
    th.parity = static_cast<int>(r);
  }

  static bool DiffuseInk1(const Frame& f, uint32_t x, const Thresholds& th,
                          int32_t& carry) {
    int16_t* e = f.line + x;
    const int32_t v = th.level1;
    if (v == 0) {
      *e = 0;
      carry = 0;
      return false;
    }
    int32_t E = v + (*e >> 5);
    const bool dot = E >= f.tables.errorThreshold[v] - th.jitter;
    if (dot) E -= f.tables.dotWeight[v];
    const int k = SpreadSetK::Choose(v, dot, f.bounds.p3, f.bounds);
    SpreadSetK::Spread(k, e, E, th.parity, carry);
    return dot;
  }
};

}  // namespace vantik::halftone_b
