// Re-sampling of the colour-matching table to the 25 x 25 x 25 grid of the
// node levels N, by tetrahedral interpolation with unsigned truncating
// fixed-point weights.
#include "halftone_a/instance_a.h"
#include "halftone_a/screen_tables.h"
#include "interface/memblock.h"
#include "interface/tetrahedral.h"

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
  // Fractions in units of the first axis's cell width d, truncated.
  const unsigned d = cells[0].width;
  const uint32_t f[3] = {levels[0] - cells[0].low,
                         (levels[1] - cells[1].low) * d / cells[1].width,
                         (levels[2] - cells[2].low) * d / cells[2].width};
  const tetra::Tetrahedron t = tetra::ChooseByBranches(d, f);

  const size_t ch = static_cast<size_t>(lut.channels);
  const uint32_t step[3] = {
      static_cast<uint32_t>(lut.gridCountB * lut.gridCountC * lut.channels),
      static_cast<uint32_t>(lut.gridCountC * lut.channels),
      static_cast<uint32_t>(lut.channels)};
  const tetra::VertexOffsets v = tetra::VerticesOf(t.index, step);
  const uint8_t* n0 = lut.table + (cells[0].hi - 1) * size_t{step[0]} +
                      (cells[1].hi - 1) * size_t{step[1]} + (cells[2].hi - 1) * size_t{step[2]};
  tetra::Blend(n0, n0 + v.second, n0 + v.third, n0 + step[0] + step[1] + step[2], t, ch, out,
               [d](uint32_t sum) { return sum / d; });
}

}  // namespace

uint8_t* ResampleGrid(const CmLut& lut) {
  const size_t ch = static_cast<size_t>(lut.channels);
  uint8_t* out = nullptr;
  if (MemAllocLocked(size_t{kGridSize} * kGridSize * kGridSize * ch, 1, &out) != RC_OK) {
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
