// Line loop of the four-ink error diffusion kernels.  Per pixel: three colour
// components become four ink levels through one colour-table read (the
// matrix cell decides between the lower and upper grid node on each axis),
// ink 2 is set by ordered dither against the threshold matrix, and inks 0, 1
// and 3 by error diffusion on their own error lines (slots 1, 2, 3).
//
// A policy names what differs between the members of the family:
//   Set                  spread set and its choice rule (spread_sets.h)
//   kPairedFrontEnd      false: the plain front end (refuses matrices wider
//                        than 256 columns, honours three-plane mode, forces
//                        member 0 / 5 at level 0, tail from colour alone);
//                        true: the paired front end (reads matrix cells in
//                        place, always four planes, the choice rule applies
//                        at level 0 too, direct ink form when renderMode is 4)
//   kParityBound[3]      per diffused ink (0, 1, 3): whether the last spread
//                        bound is lowered by the pixel's parity bit
//
// Direct ink form (renderMode 4) of the paired front end: the pixel's bytes
// 0..3 are the four ink levels, in the main loop as in the tail pixel.  No
// grid nodes are derived, so such pixels are not smoothed.  Bytes 1..3 still
// make the white test.  The kind-3 kernels take the same choice.
#pragma once

#include <array>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "halftone_b/kernels/diffusion_frame.h"
#include "halftone_b/kernels/kernels.h"
#include "halftone_b/kernels/four_plane_writer.h"
#include "halftone_b/kernels/line_step.h"
#include "halftone_b/kernels/node_keys.h"

namespace vantik::halftone_b {

// Per-call state of one diffused ink.
struct DiffusedInk {
  int16_t* line;         // pixel-0 entry of its error line
  int32_t carry = 0;     // next line's share at the next diffused pixel
  int32_t history = 31;  // bit 4 set for each recent pixel with level > 0
};

// Diffuses one ink of one pixel at x.  Returns whether the ink gets a dot.
// A forgotten ink (see below) only has its entry cleared.
template <class Set, bool kLevelZeroFixed>
[[gnu::always_inline]] inline bool DiffuseColorInkEntry(DiffusedInk& ink, uint32_t x, int32_t v,
                                                        bool forget, int32_t threshold,
                                                        int32_t dotWeight, int p, int32_t bound3,
                                                        const SpreadBounds& bounds) {
  int16_t* e = ink.line + x;
  if (forget) {
    *e = 0;
    return false;
  }
  int32_t E = (*e >> 5) + v;
  const bool dot = E >= threshold;
  if (dot) E -= dotWeight;
  const int k = (kLevelZeroFixed && v == 0) ? (dot ? 5 : 0)
                                            : Set::Choose(v, dot, bound3, bounds);
  spread::SpreadAfterChoice(k, e);
  Set::Spread(k, e, E, p, ink.carry);
  return dot;
}

// The history forgets a level-0 ink after five level-0 pixels in a row (the
// first four of a call count as active): its entry is then simply cleared.
// Bit 4 is set for a level above 0, so an empty history means level 0.
template <class Set, bool kLevelZeroFixed>
[[gnu::always_inline]] inline bool DiffuseColorInk(DiffusedInk& ink, uint32_t x, int32_t v,
                            int32_t threshold, int32_t dotWeight, int p,
                            int32_t bound3, const SpreadBounds& bounds) {
  ink.history = (ink.history >> 1) | (v != 0 ? 16 : 0);
  return DiffuseColorInkEntry<Set, kLevelZeroFixed>(ink, x, v, ink.history == 0, threshold,
                                                    dotWeight, p, bound3, bounds);
}

// A dot's record from the front end of a split run (ColorDiffusionFrame::
// Translate): everything the diffusion reads that does not depend on the
// error lines, in one word.
//   bits  0..7, 8..15, 16..23   levels of the diffused inks 0, 1, 3
//   bit  24                     white pixel (nothing else is set)
//   bit  25                     ink 2's dot (ordered dither)
//   bit  26                     the matrix cell's parity bit
//   bits 27, 28, 29             inks 0, 1, 3 forgotten (their entry cleared)
//   bits 30..31                 the threshold jitter, as an index into kJitters
struct ColorRecord {
  static constexpr uint32_t kWhite = 1u << 24;
  static constexpr uint32_t kInk2Dot = 1u << 25;
  static constexpr int kParityShift = 26;
  static constexpr int kForgetShift = 27;
  static constexpr int kJitterShift = 30;
  static constexpr int32_t kJitters[4] = {24, 20, -20, -24};

  // The parity and jitter bits of a record, by the low byte of the matrix
  // cell, all they depend on: one load in place of their arithmetic.  The
  // jitter index of an even b is that of kThresholdJitter[b] in kJitters.
  static constexpr std::array<uint32_t, 256> kCellBits = [] {
    std::array<uint32_t, 256> t{};
    for (uint32_t c = 0; c < 256; ++c) {
      const uint32_t b = c & 0xFE;
      const uint32_t jitter = static_cast<uint32_t>(b > 7) + static_cast<uint32_t>(b > 128) +
                              static_cast<uint32_t>(b > 247);
      t[c] = (c & 1) << kParityShift | jitter << kJitterShift;
    }
    return t;
  }();
};

template <class Policy>
class ColorDiffusionFrame {
 public:
  static uint32_t Run(HalftoneInstanceB* instance, const uint8_t* src,
                      uint8_t* dst, int32_t planeStride, int32_t firstBit,
                      uint32_t count, uint32_t x0, uint32_t y, int32_t flags) {
    return RunImpl<false>(instance, src, dst, planeStride, firstBit, count, x0, y, flags,
                          StepRun{});
  }

  // The run in two phases, so that a line's front end can be computed (on
  // another thread) while an earlier line diffuses.  Translate reads only
  // the instance's tables, never its error lines or reset state, and
  // writes one ColorRecord per dot of the run's even part (count rounded
  // down to even); Diffuse then makes the planes from those records and
  // the source (for an odd run's last dot).  Translate then Diffuse on the
  // same arguments gives the bits of Run, codes included: Diffuse repeats
  // every check, and Translate refuses nothing that Diffuse would accept.
  static uint32_t Translate(const HalftoneInstanceB* instance, const uint8_t* src,
                            uint32_t count, uint32_t x0, uint32_t y, uint32_t* records) {
    if (!Policy::kPairedFrontEnd && instance->matrixWidth > 256) return RC_BAD_RESOURCE;
    if (static_cast<uint64_t>(x0) + count > instance->params.lineWidth) {
      return RC_BAND_TOO_LARGE;
    }
    if (!KernelTablesReady(*instance, true, 3)) return RC_BAD_RESOURCE;
    ColorTables t;
    t.Load(*instance, false);
    const bool direct = Policy::kPairedFrontEnd && instance->params.renderMode == 4;
    const Front front{MatrixRow(*instance, y), instance->matrixWidth - 1,
                      SourceHalving(*instance), x0};
    if (direct) {
      TranslateLoop<true>(t, front, src, count & ~1u, records);
    } else {
      TranslateLoop<false>(t, front, src, count & ~1u, records);
    }
    return RC_OK;
  }

  static uint32_t Diffuse(HalftoneInstanceB* instance, const uint8_t* src,
                          const uint32_t* records, uint8_t* dst, int32_t planeStride,
                          int32_t firstBit, uint32_t count, uint32_t x0, uint32_t y,
                          int32_t flags) {
    return RunImpl<false, true>(instance, src, dst, planeStride, firstBit, count, x0, y, flags,
                                StepRun{}, records);
  }

  // A run whose line steps with the line before it on another thread
  // (line_step.h): the same bits as Run, lines taken in turn.
  static uint32_t RunInStep(HalftoneInstanceB* instance, const uint8_t* src,
                            uint8_t* dst, int32_t planeStride, uint32_t count,
                            uint32_t x0, uint32_t y, const StepRun& step) {
    const FinishOnExit finish(step, y);
    return RunImpl<true>(instance, src, dst, planeStride, 0, count, x0, y, 0, step);
  }

 private:
  template <bool kStep, bool kRecorded = false>
  static uint32_t RunImpl(HalftoneInstanceB* instance, const uint8_t* src,
                          uint8_t* dst, int32_t planeStride, int32_t firstBit,
                          uint32_t count, uint32_t x0, uint32_t y, int32_t flags,
                          const StepRun& step, const uint32_t* records = nullptr) {
    constexpr bool kPaired = Policy::kPairedFrontEnd;
    if (!kPaired && instance->matrixWidth > 256) return RC_BAD_RESOURCE;
    if (const uint32_t rc = CheckRun(*instance, firstBit, count, x0, flags)) {
      return rc;
    }
    if (!KernelTablesReady(*instance, true, 3)) return RC_BAD_RESOURCE;

    Frame f;
    f.inks[0].line = ErrorLine(*instance, kSlotErrorLine0);
    f.inks[1].line = ErrorLine(*instance, kSlotErrorLine0 + 1);
    f.inks[2].line = ErrorLine(*instance, kSlotErrorLine0 + 2);
    int16_t* lines[3] = {f.inks[0].line, f.inks[1].line, f.inks[2].line};
    if constexpr (kStep) {
      // The reset reads what the line before recorded and may clear entries
      // it still changes: wait for its start, and for its end when the
      // reset clears anything.
      if (step.follows) {
        step.step->WaitFor(y - 1, 0);
        if (ResetClears(*instance, y, x0)) step.step->WaitFor(y - 1, LineStep::kFinished);
      }
    }
    ResetErrorLines(lines, 3, instance, y, count, x0);
    if constexpr (kStep) step.step->Publish(y, x0);

    f.tables.Load(*instance, true);
    f.bounds = BoundsOf(*instance);
    f.row = MatrixRow(*instance, y);
    f.colMask = instance->matrixWidth - 1;
    f.halving = SourceHalving(*instance);
    f.x0 = x0;

    const bool direct = kPaired && instance->params.renderMode == 4;
    const bool fourPlanes = kPaired || instance->params.lutMode != 2;
    uint8_t scratch = 0;  // plane 3 in three-plane mode; never copied out
    uint8_t* plane3 = fourPlanes ? dst + 3 * static_cast<ptrdiff_t>(planeStride)
                                 : &scratch;
    FourPlaneWriter w(dst, planeStride, plane3, fourPlanes, firstBit);

    const bool tail = (count & 1) != 0;
    const uint32_t pairs = count & ~1u;
    if constexpr (kRecorded) {
      DiffuseLoop(f, records, pairs, w);
    } else if (direct) {
      Loop<true, kStep>(f, src, pairs, w, step, y);
    } else {
      Loop<false, kStep>(f, src, pairs, w, step, y);
    }

    if (tail) {
      const uint32_t x = x0 + pairs;
      const uint8_t* px = src + (static_cast<size_t>(pairs >> f.halving) << 2);
      const int32_t grid = kPaired ? GridOf(*instance) : 32;
      w.Put(TailPixelDither(direct ? 4 : 3, px, f.tables.node, f.tables.weight,
                            f.tables.lut, grid, f.tables.level,
                            f.row[x & f.colMask],
                            static_cast<int32_t>(instance->matrixCells) - 1));
    }
    w.Finish();
    return RC_OK;
  }

  struct Frame {
    ColorTables tables;
    DiffusedInk inks[3];  // inks 0, 1, 3
    SpreadBounds bounds;
    const int16_t* row;
    uint32_t colMask;
    uint32_t halving;
    uint32_t x0;
  };

  // Grid size recorded in the colour-table copy; at most 32 nodes, the size
  // of the re-sampled table.
  static int32_t GridOf(const HalftoneInstanceB& instance) {
    const int32_t g = instance.lutRecord.gridCountA;
    return g < 1 ? 1 : g > 32 ? 32 : g;
  }

  // What the front end reads besides the tables.
  struct Front {
    const int16_t* row;
    uint32_t colMask;
    uint32_t halving;
    uint32_t x0;
  };

  // The four levels of a pixel's grid nodes, averaged with the previous
  // pixel's when every node is within one of its nodes.
  [[gnu::always_inline]] static void SmoothedLevels(const ColorTables& t, uint8_t c1,
                                                    uint8_t c2, uint8_t c3, uint32_t b, int p,
                                                    SmoothingMemory& memory, int32_t* level) {
    const int32_t n1 = NodeOf(t, c1, b), n2 = NodeOf(t, c2, b), n3 = NodeOf(t, c3, b);
    t.Levels(n1, n2, n3, level);
    if (memory.Near(n1, n2, n3)) {
      for (int k = 0; k < 4; ++k) {
        level[k] = (memory.level[k] + level[k] + 1 - p) >> 1;
      }
    }
    memory.n1 = n1;
    memory.n2 = n2;
    memory.n3 = n3;
    for (int k = 0; k < 4; ++k) memory.level[k] = level[k];
  }

  // The front end of Loop, one ColorRecord per dot.  The smoothing memory
  // and the inks' histories skip white pixels, as in Loop.  The nodes come
  // from NodeKeys and the four levels stay packed in a word (byte k = ink
  // k) through the smoothing, whose rounded mean is taken bytewise.
  template <bool kDirect>
  static void TranslateLoop(const ColorTables& t, const Front& f, const uint8_t* src,
                            uint32_t n, uint32_t* out) {
    NodeKeys keys;
    if (!kDirect) keys.Load(t);
    uint64_t memoryNodes = NodeKeys::kFarNodes;
    uint32_t memoryLevels = 0;  // never read before the first pixel sets it
    uint32_t h0 = 31, h1 = 31, h3 = 31;
    // The front's fields in locals: the record stores could otherwise alias
    // them and force reloads at each dot.
    const int16_t* const row = f.row;
    const uint32_t colMask = f.colMask, halving = f.halving, x0 = f.x0;
    for (uint32_t i = 0; i < n; ++i) {
      const uint32_t x = x0 + i;
      const uint32_t px = Word(src + (static_cast<size_t>(i >> halving) << 2));
      if (px >= 0xFFFFFF00u) {  // bytes 1..3 all 255
        out[i] = ColorRecord::kWhite;
        continue;
      }
      const int32_t m = row[x & colMask];
      const uint32_t b = static_cast<uint32_t>(m) & 0xFE;
      const uint32_t p = static_cast<uint32_t>(m) & 1;
      uint32_t l;
      if (kDirect) {
        l = px;
      } else {
        const uint64_t nodes = keys.Nodes(px, b);
        l = Word(t.lut + 4 * static_cast<size_t>(NodeKeys::Index(nodes)));
        if (NodeKeys::Near(nodes, memoryNodes)) {
          // (previous + level + 1 - p) >> 1 in each byte: the ceiling of
          // the mean for p = 0, its floor for p = 1.
          const uint32_t half = ((l ^ memoryLevels) >> 1) & 0x7F7F7F7Fu;
          l = p ? (l & memoryLevels) + half : (l | memoryLevels) - half;
        }
        memoryNodes = nodes;
        memoryLevels = l;
      }
      const uint32_t v0 = l & 0xFF, v1 = (l >> 8) & 0xFF, v3 = l >> 24;
      h0 = (h0 >> 1) | (v0 != 0 ? 16 : 0);
      h1 = (h1 >> 1) | (v1 != 0 ? 16 : 0);
      h3 = (h3 >> 1) | (v3 != 0 ? 16 : 0);
      const uint32_t forget = static_cast<uint32_t>(h0 == 0) |
                              static_cast<uint32_t>(h1 == 0) << 1 |
                              static_cast<uint32_t>(h3 == 0) << 2;
      out[i] = (l & 0xFFFF) | v3 << 16 |
               (m < t.level[(l >> 16) & 0xFF] ? ColorRecord::kInk2Dot : 0u) |
               ColorRecord::kCellBits[static_cast<uint32_t>(m) & 0xFF] |
               forget << ColorRecord::kForgetShift;
    }
  }

  // The diffusion of Loop, from the records of TranslateLoop.
  static void DiffuseLoop(Frame& f, const uint32_t* records, uint32_t n,
                          FourPlaneWriter& out) {
    constexpr bool kFixedZero = !Policy::kPairedFrontEnd;
    using Set = typename Policy::Set;
    const ColorTables& t = f.tables;
    DiffusedInk ink0 = f.inks[0], ink1 = f.inks[1], ink3 = f.inks[2];
    const SpreadBounds bounds = f.bounds;
    FourPlaneWriter w = out;
    const uint32_t x0 = f.x0;
    for (uint32_t i = 0; i < n; ++i) {
      const uint32_t x = x0 + i;
      const uint32_t r = records[i];
      if (r & ColorRecord::kWhite) {
        ink0.line[x] = ink1.line[x] = ink3.line[x] = 0;
        ink0.carry = ink1.carry = ink3.carry = 0;
        w.Put(0);
        continue;
      }
      const int p = static_cast<int>(r >> ColorRecord::kParityShift) & 1;
      const int32_t j = ColorRecord::kJitters[r >> ColorRecord::kJitterShift];
      const int32_t v0 = r & 0xFF, v1 = (r >> 8) & 0xFF, v3 = (r >> 16) & 0xFF;
      const uint32_t forget = r >> ColorRecord::kForgetShift;
      const int32_t p3 = bounds.p3;
      const bool d0 = DiffuseColorInkEntry<Set, kFixedZero>(
          ink0, x, v0, (forget & 1) != 0, t.errorThreshold[v0] + j, t.dotWeight[v0], p,
          p3 - (Policy::kParityBound[0] ? p : 0), bounds);
      const bool d1 = DiffuseColorInkEntry<Set, kFixedZero>(
          ink1, x, v1, (forget & 2) != 0, t.errorThreshold[v1] - j, t.dotWeight[v1], p,
          p3 - (Policy::kParityBound[1] ? p : 0), bounds);
      const bool d3 = DiffuseColorInkEntry<Set, kFixedZero>(
          ink3, x, v3, (forget & 4) != 0, t.errorThreshold[v3] + j, t.dotWeight[v3], p,
          p3 - (Policy::kParityBound[2] ? p : 0), bounds);
      w.Put(static_cast<uint32_t>(d0) | d1 << 1 | ((r >> 25) & 1) << 2 | d3 << 3);
    }
    out = w;
  }

  template <bool kDirect, bool kStep>
  static void Loop(Frame& f, const uint8_t* src, uint32_t n,
                   FourPlaneWriter& out, const StepRun& step, uint32_t y) {
    constexpr bool kFixedZero = !Policy::kPairedFrontEnd;
    using Set = typename Policy::Set;
    const ColorTables& t = f.tables;
    SmoothingMemory memory;
    DiffusedInk ink0 = f.inks[0], ink1 = f.inks[1], ink3 = f.inks[2];
    const SpreadBounds bounds = f.bounds;
    // Writers and frame fields live in locals: the writers' byte stores could
    // otherwise alias every table and force reloads at each dot.
    FourPlaneWriter w = out;
    const int16_t* const row = f.row;
    const uint32_t colMask = f.colMask, halving = f.halving, x0 = f.x0;
    for (uint32_t i = 0; i < n; ++i) {
      const uint32_t x = x0 + i;
      if constexpr (kStep) {
        if ((i & (LineStep::kChunk - 1)) == 0) {
          step.step->Publish(y, x);
          if (step.follows) {
            step.step->WaitFor(y - 1, LeaderNeeded(x, x0 + n), LeaderWanted(x, x0 + n));
          }
        }
      }
      const uint8_t* px = src + (static_cast<size_t>(i >> halving) << 2);
      const uint8_t c1 = px[1], c2 = px[2], c3 = px[3];
      if (c1 + c2 + c3 == 765) {
        ink0.line[x] = ink1.line[x] = ink3.line[x] = 0;
        ink0.carry = ink1.carry = ink3.carry = 0;
        w.Put(0);
        continue;
      }
      const int32_t m = row[x & colMask];
      const uint32_t b = static_cast<uint32_t>(m) & 0xFE;
      const int p = m & 1;
      int32_t level[4];
      if (kDirect) {
        for (int k = 0; k < 4; ++k) level[k] = px[k];
      } else {
        SmoothedLevels(t, c1, c2, c3, b, p, memory, level);
      }
      const int32_t j = kThresholdJitter[b];
      const int32_t p3 = bounds.p3;
      const bool d2 = m < t.level[level[2]];
      const bool d0 = DiffuseColorInk<Set, kFixedZero>(
          ink0, x, level[0], t.errorThreshold[level[0]] + j,
          t.dotWeight[level[0]], p, p3 - (Policy::kParityBound[0] ? p : 0),
          bounds);
      const bool d1 = DiffuseColorInk<Set, kFixedZero>(
          ink1, x, level[1], t.errorThreshold[level[1]] - j,
          t.dotWeight[level[1]], p, p3 - (Policy::kParityBound[1] ? p : 0),
          bounds);
      const bool d3 = DiffuseColorInk<Set, kFixedZero>(
          ink3, x, level[3], t.errorThreshold[level[3]] + j,
          t.dotWeight[level[3]], p, p3 - (Policy::kParityBound[2] ? p : 0),
          bounds);
      w.Put(static_cast<uint32_t>(d0) | d1 << 1 | d2 << 2 | d3 << 3);
    }
    out = w;
  }
};

}  // namespace vantik::halftone_b
