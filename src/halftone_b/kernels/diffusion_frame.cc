#include "halftone_b/kernels/diffusion_frame.h"

#include <cstring>

namespace vantik::halftone_b {

namespace {

struct Stretch {
  uint32_t from, to;
};

// The stretch the rules clear for this run, empty when from >= to.
Stretch ResetStretch(const HalftoneInstanceB& instance, uint32_t y, uint32_t x0) {
  const uint32_t width = instance.params.lineWidth;
  const uint32_t prevLine = instance.lastLine;
  uint32_t prevEnd = instance.lastEnd;
  if (prevEnd == width) prevEnd = 0;

  uint32_t from = 0;
  uint32_t to = 0;
  if (prevLine + 1 < y) {
    to = width;
  } else if (y == prevLine + 1 && (y & 15) == 15 && x0 != 0) {
    to = x0;
  } else if (y == prevLine && (y & 15) == 15 && prevEnd < x0) {
    from = prevEnd;
    to = x0;
  } else if (y == prevLine + 1 && (y & 15) == 0 && prevEnd != 0) {
    from = prevEnd;
    to = width;
  }
  // The margins are never cleared, whatever lastEnd holds.
  if (to > width) to = width;
  return {from, to};
}

}  // namespace

bool ResetClears(const HalftoneInstanceB& instance, uint32_t y, uint32_t x0) {
  const Stretch s = ResetStretch(instance, y, x0);
  return s.from < s.to;
}

void ResetErrorLines(int16_t* const* lines, int lineCount,
                     HalftoneInstanceB* instance, uint32_t y, uint32_t count,
                     uint32_t x0) {
  const auto [from, to] = ResetStretch(*instance, y, x0);
  instance->lastLine = y;
  instance->lastEnd = x0 + count;
  if (from >= to) return;
  for (int i = 0; i < lineCount; ++i) {
    std::memset(lines[i] + from, 0, (to - from) * sizeof(int16_t));
  }
}

uint32_t TailPixelDither(int form, const uint8_t* pixel, const uint8_t* node,
                         const uint8_t* weight, const uint8_t* lut,
                         int32_t grid, const int32_t* levelTable, int32_t m,
                         int32_t cellsMinus1) {
  int32_t level[4];
  if (form == 4) {
    for (int k = 0; k < 4; ++k) level[k] = pixel[k];
  } else {
    int32_t n[3];
    for (int a = 0; a < 3; ++a) {
      const uint8_t c = pixel[a + 1];
      n[a] = node[c] + (weight[c] <= 128 ? 1 : 0);
    }
    const uint8_t* entry =
        lut + ((static_cast<size_t>(n[0]) * grid + n[1]) * grid + n[2]) * 4;
    for (int k = 0; k < 4; ++k) level[k] = entry[k] < 32 ? 0 : entry[k];
  }
  int32_t s[4];
  for (int k = 0; k < 4; ++k) s[k] = levelTable[level[k]];
  return TailDots(s, m, cellsMinus1);
}

void LoadNodeTable(const HalftoneInstanceB& instance, uint8_t* node,
                   uint8_t* weight) {
  const uint8_t* pairs =
      static_cast<const uint8_t*>(instance.slots[kSlotNodeTable].data);
  for (int i = 0; i < 256; ++i) {
    node[i] = pairs[2 * i];
    weight[i] = pairs[2 * i + 1];
    if (node[i] >= 31) {
      node[i] = 31;
      weight[i] = 255;
    }
  }
}

void LoadWide(const void* table, int32_t* out) {
  const int16_t* in = static_cast<const int16_t*>(table);
  for (int i = 0; i < 256; ++i) out[i] = in[i];
}

void ColorTables::Load(const HalftoneInstanceB& instance, bool diffusion) {
  LoadNodeTable(instance, node, weight);
  for (int i = 0; i < 256; ++i) {
    nodeWeight[i] = static_cast<uint16_t>(node[i] | weight[i] << 8);
  }
  LoadWide(instance.slots[kSlotLevelTable].data, level);
  if (diffusion) {
    LoadWide(instance.slots[kSlotDotWeightTable].data, dotWeight);
    LoadWide(instance.slots[kSlotErrorThresholdTable].data, errorThreshold);
  }
  lut = static_cast<const uint8_t*>(instance.slots[kSlotSampledLut].data);
}

bool KernelTablesReady(const HalftoneInstanceB& instance, bool colorTable,
                       int errorLines) {
  if (instance.matrixWidth == 0 || instance.matrixHeight == 0) return false;
  const int needed[] = {kSlotSampledLut, kSlotThresholdMatrix, kSlotLevelTable,
                        kSlotDotWeightTable, kSlotErrorThresholdTable};
  for (int slot : needed) {
    if (instance.slots[slot].data == nullptr) return false;
  }
  if (colorTable && instance.slots[kSlotNodeTable].data == nullptr) return false;
  for (int i = 0; i < errorLines; ++i) {
    if (instance.slots[kSlotErrorLine0 + i].data == nullptr) return false;
  }
  return true;
}

}  // namespace vantik::halftone_b
