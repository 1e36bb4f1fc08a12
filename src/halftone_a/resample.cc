// Re-sampling of the colour-matching table to the 25 x 25 x 25 grid of the
// node levels N, by tetrahedral interpolation with unsigned truncating
// fixed-point weights.
#include "halftone_a/instance_a.h"
#include "halftone_a/screen_tables.h"
#include "interface/memblock.h"

namespace vantik::halftone_a {
namespace {

// The first node index i >= 1 whose level is >= level: the cell lies
// between nodes i - 1 and i.
int Cell(const uint8_t* nodes, int count, unsigned level) {
  for (int i = 1; i < count; ++i) {
    if (nodes[i] >= level) return i;
  }
  return count - 1;
}

void Interpolate(const CmLut& lut, unsigned a, unsigned b, unsigned c,
                 uint8_t* out) {
  const int counts[3] = {lut.gridCountA, lut.gridCountB, lut.gridCountC};
  const uint8_t* nodes[3] = {lut.gridA, lut.gridB, lut.gridC};
  const unsigned levels[3] = {a, b, c};
  int hi[3];
  unsigned low[3];
  unsigned width[3];
  for (int axis = 0; axis < 3; ++axis) {
    hi[axis] = Cell(nodes[axis], counts[axis], levels[axis]);
    low[axis] = nodes[axis][hi[axis] - 1];
    width[axis] = nodes[axis][hi[axis]] - low[axis];
  }
  const unsigned d = width[0];
  unsigned f[3];
  f[0] = a - low[0];
  f[1] = (b - low[1]) * d / width[1];
  f[2] = (c - low[2]) * d / width[2];

  // Axes by fraction, largest first; a fraction moves ahead of another only
  // when strictly larger.
  int order[3] = {0, 1, 2};
  for (int p = 1; p < 3; ++p) {
    for (int q = p; q > 0 && f[order[q]] > f[order[q - 1]]; --q) {
      const int t = order[q];
      order[q] = order[q - 1];
      order[q - 1] = t;
    }
  }
  const unsigned f1 = f[order[0]], f2 = f[order[1]], f3 = f[order[2]];

  int v[3] = {hi[0] - 1, hi[1] - 1, hi[2] - 1};
  const int ch = lut.channels;
  auto node = [&](const int* at) {
    return lut.table +
           ((static_cast<size_t>(at[0]) * counts[1] + at[1]) * counts[2] + at[2]) * ch;
  };
  const uint8_t* v0 = node(v);
  v[order[0]] += 1;
  const uint8_t* v1 = node(v);
  v[order[1]] += 1;
  const uint8_t* v2 = node(v);
  const uint8_t* v3 = node(hi);
  for (int k = 0; k < ch; ++k) {
    out[k] = static_cast<uint8_t>((v0[k] * (d - f1) + v1[k] * (f1 - f2) +
                                   v2[k] * (f2 - f3) + v3[k] * f3) / d);
  }
}

}  // namespace

uint8_t* ResampleGrid(const CmLut& lut) {
  const size_t ch = static_cast<size_t>(lut.channels);
  void* block = MemAlloc(size_t{kGridSize} * kGridSize * kGridSize * ch, 1);
  if (block == nullptr) return nullptr;
  auto* out = static_cast<uint8_t*>(MemLock(block));
  if (out == nullptr) {
    MemFree(block);
    return nullptr;
  }
  uint8_t* p = out;
  for (int i = 0; i < kGridSize; ++i) {
    for (int j = 0; j < kGridSize; ++j) {
      for (int k = 0; k < kGridSize; ++k, p += ch) {
        Interpolate(lut, kNodeLevels[i], kNodeLevels[j], kNodeLevels[k], p);
      }
    }
  }
  return out;
}

}  // namespace vantik::halftone_a
