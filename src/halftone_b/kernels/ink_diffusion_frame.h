// Line loop of the single-ink error diffusion kernels: one level byte per
// pixel through the tone table, one error line (slot 1), one output plane.
// The members differ only in their spread set (spread_sets.h).
//
// The parity bit of this family is set for an even matrix cell (bit 0 clear),
// the reverse of the four-ink family, and lowers the last spread bound by one
// for an even cell in the sets that have such a bound.  There is no white
// test, no smoothing and no activity history: a level-0 pixel always clears
// its entry and drops the carry.  Every pixel of an odd run is diffused.
#pragma once

#include <cstddef>
#include <cstdint>

#include "halftone_b/kernels/diffusion_frame.h"
#include "halftone_b/kernels/kernels.h"
#include "halftone_b/kernels/plane_writer.h"

namespace vantik::halftone_b {

template <class Set>
class InkDiffusionFrame {
 public:
  static uint32_t Run(HalftoneInstanceB* instance, const uint8_t* src,
                      uint8_t* dst, int32_t firstBit, uint32_t count,
                      uint32_t x0, uint32_t y, int32_t flags, void* extra) {
    if (extra != nullptr) return RC_BAD_BUFFER;
    if (const uint32_t rc = CheckRun(*instance, firstBit, count, x0, flags)) {
      return rc;
    }
    if (!KernelTablesReady(*instance, false, 1)) return RC_BAD_RESOURCE;

    Frame f;
    f.line = ErrorLine(*instance, kSlotErrorLine0);
    ResetErrorLines(&f.line, 1, instance, y, count, x0);
    // Levels index 256-entry tables: only the low byte of a tone entry counts
    // (tone entries are 0..255 by construction).
    const int16_t* tone =
        static_cast<const int16_t*>(instance->slots[kSlotToneTable].data);
    for (int i = 0; i < 256; ++i) f.tone[i] = static_cast<uint8_t>(tone[i]);
    LoadWide(instance->slots[kSlotDotWeightTable].data, f.dotWeight);
    LoadWide(instance->slots[kSlotErrorThresholdTable].data, f.errorThreshold);
    f.bounds = BoundsOf(*instance);
    f.row = MatrixRow(*instance, y);
    f.colMask = instance->matrixWidth - 1;
    f.x0 = x0;

    PlaneWriter w(dst, firstBit);
    switch (instance->params.horizontalScale) {
      case 1: Loop<1>(f, src, count, w); break;
      case -1: Loop<-1>(f, src, count, w); break;
      default: Loop<0>(f, src, count, w); break;
    }
    w.Finish();
    return RC_OK;
  }

 private:
  struct Frame {
    int16_t* line;
    uint8_t tone[256];
    int32_t dotWeight[256];
    int32_t errorThreshold[256];
    SpreadBounds bounds;
    const int16_t* row;
    uint32_t colMask;
    uint32_t x0;
  };

  // kScale 1: a source byte serves two dots; -1: two bytes per dot, the
  // larger counts; 0: one byte per dot.
  template <int kScale>
  static void Loop(const Frame& f, const uint8_t* src, uint32_t n,
                   PlaneWriter& out) {
    int16_t* const line = f.line;
    const SpreadBounds bounds = f.bounds;
    // The writer and frame fields live in locals (see color_diffusion_frame.h).
    PlaneWriter w = out;
    const int16_t* const row = f.row;
    const uint32_t colMask = f.colMask, x0 = f.x0;
    int32_t carry = 0;
    for (uint32_t i = 0; i < n; ++i) {
      const uint32_t x = x0 + i;
      uint8_t a;
      if (kScale == 1) {
        a = src[i >> 1];
      } else if (kScale == -1) {
        const uint8_t s0 = src[2 * static_cast<size_t>(i)];
        const uint8_t s1 = src[2 * static_cast<size_t>(i) + 1];
        a = s0 > s1 ? s0 : s1;
      } else {
        a = src[i];
      }
      const int32_t v = f.tone[a];
      int16_t* e = line + x;
      if (v == 0) {
        *e = 0;
        carry = 0;
        w.Put(false);
        continue;
      }
      const int32_t m = row[x & colMask];
      const int p = (m & 1) ^ 1;
      int32_t E = (*e >> 5) + v;
      const bool dot = E >= f.errorThreshold[v] + kThresholdJitter[m & 0xFE];
      if (dot) E -= f.dotWeight[v];
      const int k = Set::Choose(v, dot, bounds.p3 - p, bounds);
      spread::SpreadAfterChoice(k, e);
      Set::Spread(k, e, E, p, carry);
      w.Put(dot);
    }
    out = w;
  }
};

}  // namespace vantik::halftone_b
