// Pieces shared by every engine B diffusion and colour-dither kernel: the
// threshold jitter, the error-line reset rule, the tail pixel of an odd run,
// the per-call local copies of the instance's tables, the smoothing memory
// and the source stepping.  The kernel families build their line loops from
// these (color_diffusion_frame.h, ink_diffusion_frame.h, color_dither_frame.h).
#pragma once

#include <array>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "halftone_b/instance_b.h"
#include "halftone_b/kernels/spread_sets.h"

namespace vantik::halftone_b {

// Threshold offset by the matrix cell's bits 1..7, indexed by (cell AND 0xFE):
// the lowest cells raise the diffusion threshold most, the highest lower it.
inline constexpr std::array<int32_t, 256> kThresholdJitter = [] {
  std::array<int32_t, 256> t{};
  for (int i = 0; i < 256; ++i) {
    t[i] = i <= 7 ? 24 : i <= 128 ? 20 : i <= 247 ? -20 : -24;
  }
  return t;
}();

inline int32_t ThresholdJitter(int32_t cell) { return kThresholdJitter[cell & 0xFE]; }

// Decides when diffused error is forgotten before a run is diffused, and
// records the run (lastLine = y, lastEnd = x0 + count).  lines[i] points at
// the pixel-0 entry of an error line; only entries 0..lineWidth-1 are ever
// cleared.  The first rule that holds clears all lines:
//   a skipped line (lastLine + 1 < y)               -> [0, lineWidth)
//   next line, y mod 16 = 15, x0 > 0                -> [0, x0)
//   same line, y mod 16 = 15, previous end < x0     -> [previous end, x0)
//   next line, y mod 16 = 0, previous end > 0       -> [previous end, lineWidth)
// A previous run that reached lineWidth counts as ending at 0.
// Whether ResetErrorLines would clear anything for this run.
bool ResetClears(const HalftoneInstanceB& instance, uint32_t y, uint32_t x0);

void ResetErrorLines(int16_t* const* lines, int lineCount,
                     HalftoneInstanceB* instance, uint32_t y, uint32_t count,
                     uint32_t x0);

// Bit k set: ink k gets the dot.  Inks 3 and 0 fill the matrix from its low
// cells, inks 1 and 2 from its high cells; neither pair shares a dot.
inline uint32_t TailDots(const int32_t s[4], int32_t m, int32_t cellsMinus1) {
  uint32_t dots = 0;
  if (m < s[3]) {
    dots |= 8;
  } else if (m < s[0] + s[3]) {
    dots |= 1;
  }
  const int32_t n = cellsMinus1 - m;
  if (n < s[1]) {
    dots |= 2;
  } else if (n < s[1] + s[2]) {
    dots |= 4;
  }
  return dots;
}

// Tail pixel of a run with an odd count, by ordered dither alone.  form 4:
// the pixel's bytes 0..3 are the ink levels.  Any other form: bytes 1..3 are
// colour components, whose nodes round up at a fixed weight midpoint of 128;
// levels below 32 from the colour table are dropped.  grid is the colour
// table's node count per axis.  Returns the inks that get the dot (TailDots).
uint32_t TailPixelDither(int form, const uint8_t* pixel, const uint8_t* node,
                         const uint8_t* weight, const uint8_t* lut,
                         int32_t grid, const int32_t* levelTable, int32_t m,
                         int32_t cellsMinus1);

// ---- Per-call local tables --------------------------------------------------

// Node table split into node and weight arrays.  A node is kept at most 31
// with weight 255 there, so that node + 1 never leaves a 32-node grid even for
// a damaged table (a valid table already has this form).
void LoadNodeTable(const HalftoneInstanceB& instance, uint8_t* node,
                   uint8_t* weight);

// Widens a 256-entry signed 16-bit table.
void LoadWide(const void* table, int32_t* out);

// The colour kernels' working tables.
struct ColorTables {
  uint8_t node[256];
  uint8_t weight[256];
  uint16_t nodeWeight[256];  // node | weight << 8: both with one load
  int32_t level[256];
  int32_t dotWeight[256];
  int32_t errorThreshold[256];
  const uint8_t* lut;  // 32 x 32 x 32 entries of four ink bytes

  void Load(const HalftoneInstanceB& instance, bool diffusion);

  const uint8_t* Entry(int32_t n1, int32_t n2, int32_t n3) const {
    return lut + ((static_cast<size_t>(n1) * 32 + n2) * 32 + n3) * 4;
  }

  // The four ink levels of a node, read with one load.
  void Levels(int32_t n1, int32_t n2, int32_t n3, int32_t* level) const {
    const uint8_t* e = Entry(n1, n2, n3);
    if constexpr (std::endian::native == std::endian::little) {
      uint32_t v;
      std::memcpy(&v, e, 4);
      level[0] = v & 0xFF;
      level[1] = (v >> 8) & 0xFF;
      level[2] = (v >> 16) & 0xFF;
      level[3] = v >> 24;
    } else {
      for (int k = 0; k < 4; ++k) level[k] = e[k];
    }
  }
};

// Grid node of component c: the lower node, or the upper one when the
// component's weight toward the lower node is at most b.
inline int32_t NodeOf(const ColorTables& t, uint8_t c, uint32_t b) {
  const uint32_t nw = t.nodeWeight[c];
  return static_cast<int32_t>((nw & 0xFF) + ((nw >> 8) <= b ? 1 : 0));
}

// Nodes and levels of the previous pixel.  The levels of a pixel whose nodes
// are all within one of the previous pixel's are averaged with the previous
// levels, which damps the jumps that snapping to grid nodes makes.
struct SmoothingMemory {
  int32_t n1 = -2, n2 = -2, n3 = -2;
  int32_t level[4] = {100, 100, 100, 100};

  bool Near(int32_t a, int32_t b, int32_t c) const {
    return static_cast<uint32_t>(a - n1 + 1) <= 2 &&
           static_cast<uint32_t>(b - n2 + 1) <= 2 &&
           static_cast<uint32_t>(c - n3 + 1) <= 2;
  }
};

// ---- Shared checks ----------------------------------------------------------

// The tables a kernel reads exist only after the third resource step, and a
// failed step releases them: refuse the run (0x300, as the dispatcher does)
// instead of reading
// through null slots or taking y mod 0.
bool KernelTablesReady(const HalftoneInstanceB& instance, bool colorTable,
                       int errorLines);

inline int16_t* ErrorLine(const HalftoneInstanceB& instance, int slot) {
  return static_cast<int16_t*>(instance.slots[slot].data) + kErrorLineOffset;
}

inline const int16_t* MatrixRow(const HalftoneInstanceB& instance, uint32_t y) {
  return static_cast<const int16_t*>(instance.slots[kSlotThresholdMatrix].data) +
         static_cast<size_t>(y % instance.matrixHeight) * instance.matrixWidth;
}

inline SpreadBounds BoundsOf(const HalftoneInstanceB& instance) {
  return {instance.dotParam0, instance.dotParam1, instance.dotParam2,
          instance.dotParam3};
}

// Source stepping of the pixel kernels: with horizontalScale 1 each source
// pixel serves two neighbouring dots, otherwise one pixel per dot.  Returns
// the shift that maps a dot's distance from x0 to its source pixel.
inline uint32_t SourceHalving(const HalftoneInstanceB& instance) {
  return instance.params.horizontalScale == 1 ? 1u : 0u;
}

}  // namespace vantik::halftone_b
