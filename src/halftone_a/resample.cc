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

// Where one node level lies on one axis of the old grid.
struct AxisCell {
  int hi;          // upper node index of the cell
  unsigned low;    // level of the lower node
  unsigned width;  // width of the cell
};

AxisCell Locate(const uint8_t* nodes, int count, unsigned level) {
  const int hi = Cell(nodes, count, level);
  return {hi, nodes[hi - 1], static_cast<unsigned>(nodes[hi] - nodes[hi - 1])};
}

void Interpolate(const CmLut& lut, const AxisCell (&cells)[3],
                 const unsigned (&levels)[3], uint8_t* out) {
  const int counts[3] = {lut.gridCountA, lut.gridCountB, lut.gridCountC};
  const unsigned d = cells[0].width;
  unsigned f[3];
  f[0] = levels[0] - cells[0].low;
  f[1] = (levels[1] - cells[1].low) * d / cells[1].width;
  f[2] = (levels[2] - cells[2].low) * d / cells[2].width;

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

  const int ch = lut.channels;
  auto node = [&](const int* at) {
    return lut.table +
           ((static_cast<size_t>(at[0]) * counts[1] + at[1]) * counts[2] + at[2]) * ch;
  };
  int v[3] = {cells[0].hi - 1, cells[1].hi - 1, cells[2].hi - 1};
  const int high[3] = {cells[0].hi, cells[1].hi, cells[2].hi};
  const uint8_t* v0 = node(v);
  v[order[0]] += 1;
  const uint8_t* v1 = node(v);
  v[order[1]] += 1;
  const uint8_t* v2 = node(v);
  const uint8_t* v3 = node(high);
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
  // The cells of the 25 node levels on each axis, found once.
  AxisCell cells[3][kGridSize];
  const uint8_t* nodes[3] = {lut.gridA, lut.gridB, lut.gridC};
  const int counts[3] = {lut.gridCountA, lut.gridCountB, lut.gridCountC};
  for (int axis = 0; axis < 3; ++axis) {
    for (int i = 0; i < kGridSize; ++i) {
      cells[axis][i] = Locate(nodes[axis], counts[axis], kNodeLevels[i]);
    }
  }
  uint8_t* p = out;
  for (int i = 0; i < kGridSize; ++i) {
    for (int j = 0; j < kGridSize; ++j) {
      for (int k = 0; k < kGridSize; ++k, p += ch) {
        const AxisCell at[3] = {cells[0][i], cells[1][j], cells[2][k]};
        const unsigned levels[3] = {kNodeLevels[i], kNodeLevels[j], kNodeLevels[k]};
        Interpolate(lut, at, levels, p);
      }
    }
  }
  return out;
}

}  // namespace vantik::halftone_a
