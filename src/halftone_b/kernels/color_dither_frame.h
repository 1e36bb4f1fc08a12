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

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "halftone_b/kernels/diffusion_frame.h"
#include "halftone_b/kernels/kernels.h"
#include "halftone_b/kernels/four_plane_writer.h"

namespace vantik {

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

    Frame f;
    f.tables.Load(*instance, kDiffuseInk1);
    f.line = kDiffuseInk1 ? ErrorLine(*instance, kSlotErrorLine0) : nullptr;
    f.bounds = BoundsOf(*instance);
    f.row = MatrixRow(*instance, y);
    f.colMask = instance->matrixWidth - 1;
    f.top = static_cast<int16_t>(instance->matrixCells - 1);
    f.x0 = x0;

    FourPlaneWriter w(dst, planeStride,
                      dst + 3 * static_cast<ptrdiff_t>(planeStride), true,
                      firstBit);

    const bool direct = instance->params.renderMode == 4;
    const uint32_t pairs = count & ~1u;
    const uint32_t halving = SourceHalving(*instance);
    if (direct) {
      Loop<true>(f, src, pairs, halving, w);
    } else if (halving) {
      Loop<false, true>(f, src, pairs, halving, w);
    } else {
      Loop<false>(f, src, pairs, halving, w);
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
  };

  // Thresholds of one pixel, kept for an equal odd partner.
  struct Thresholds {
    int32_t s[4];
    int32_t level1;  // ink 1's level (after smoothing), for the diffusion
    int32_t jitter;
    int parity;      // 1 when bit 2 of the matrix byte is clear
  };

  template <bool kDirect, bool kShared = false>
  static void Loop(const Frame& f, const uint8_t* src, uint32_t n,
                   uint32_t halving, FourPlaneWriter& out) {
    const ColorTables& t = f.tables;
    const int32_t top = f.top;
    SmoothingMemory memory;
    memory.level[1] = 0;  // inks 0, 1, 3 start at 100, 0, 100
    Thresholds th{};
    int32_t carry = 0;
    const uint8_t* partner = src;
    // Writers and frame fields live in locals: the writers' byte stores could
    // otherwise alias every table and force reloads at each dot.
    FourPlaneWriter w = out;
    const int16_t* const row = f.row;
    const uint32_t colMask = f.colMask, x0 = f.x0;
    for (uint32_t i = 0; i < n; ++i) {
      const uint32_t x = x0 + i;
      const uint8_t* px = src + (static_cast<size_t>(i >> halving) << 2);
      const int32_t m = row[x & colMask];
      const bool odd = (i & 1) != 0;
      if (!odd) partner = px;
      if (px[1] + px[2] + px[3] == 765) {
        if (kDiffuseInk1) {
          f.line[x] = 0;
          carry = 0;
        }
        w.Put(0);
        continue;
      }
      // With horizontalScale 1 both dots of a pair read the same pixel.
      if (!(odd && (kShared || SamePixel<kDirect>(px, partner)))) {
        Fresh<kDirect>(t, m, px, memory, th);
      }

      const int32_t s0 = th.s[0], s3 = th.s[3];
      const bool d3 = m < s3;
      const bool d0 = s0 + s3 <= top ? (!d3 && m < s0 + s3) : (top - m < s0);
      const int32_t nm = top - m;
      const bool d1 =
          kDiffuseInk1 ? DiffuseInk1(f, x, th, carry) : nm < th.s[1];
      const bool d2 = nm < th.s[2];
      w.Put(static_cast<uint32_t>(d0) | d1 << 1 | d2 << 2 | d3 << 3);
    }
    out = w;
  }

  // Colour pixels are equal when their three components are; direct ink
  // pixels when all four levels are.
  template <bool kDirect>
  static bool SamePixel(const uint8_t* a, const uint8_t* b) {
    return (!kDirect || a[0] == b[0]) && a[1] == b[1] && a[2] == b[2] &&
           a[3] == b[3];
  }

  template <bool kDirect>
  static void Fresh(const ColorTables& t, int32_t m, const uint8_t* px,
                    SmoothingMemory& memory, Thresholds& th) {
    const uint32_t b = static_cast<uint32_t>(m) & 0xFE;
    const int32_t r = (b & 4) == 0 ? 1 : 0;
    int32_t l[4];
    if (kDirect) {
      for (int k = 0; k < 4; ++k) l[k] = px[k];
    } else {
      const int32_t n1 = NodeOf(t, px[1], b), n2 = NodeOf(t, px[2], b),
                    n3 = NodeOf(t, px[3], b);
      t.Levels(n1, n2, n3, l);
      if (memory.Near(n1, n2, n3)) {
        l[0] = (l[0] + memory.level[0] + r) >> 1;
        l[1] = (l[1] + memory.level[1] + r) >> 1;
        l[3] = (l[3] + memory.level[3] + r) >> 1;
      }
      memory.n1 = n1;
      memory.n2 = n2;
      memory.n3 = n3;
      memory.level[0] = l[0];
      memory.level[1] = l[1];
      memory.level[3] = l[3];
    }
    for (int k = 0; k < 4; ++k) th.s[k] = t.level[l[k]];
    th.level1 = l[1];
    th.jitter = kThresholdJitter[b];
    th.parity = r;
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

}  // namespace vantik
