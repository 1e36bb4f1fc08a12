// Tetrahedral interpolation in a colour grid, the part every user shares:
// the grid check, the choice of the tetrahedron from the three fractions,
// its vertices and its weights.  The fixed-point arithmetic around it (how
// the fractions are scaled and how the weighted sum is divided back) is each
// caller's own, passed in as the scale of the fractions and as a divide
// function, so translation, engine A's grid resampling and engine B's table
// resampling keep their exact results.
//
// A cell of the grid is the cube between node 000 and node 111; with the
// fractions of a point along the three axes ordered x1 >= x2 >= x3, the path
// 000 -> one step -> two steps -> 111 goes along the axes in that order and
// the weights of the four vertices are scale - x1, x1 - x2, x2 - x3 and x3.
#pragma once

#include <cstddef>
#include <cstdint>

namespace vantik::tetra {

// Nodes per axis a grid may have.
inline constexpr int32_t kMinNodes = 2;
inline constexpr int32_t kMaxNodes = 32;

// True when an axis has 2..32 node positions rising strictly from 0 to 255.
inline bool AxisUsable(const uint8_t* nodes, int32_t count) {
  if (count < kMinNodes || count > kMaxNodes) return false;
  if (nodes[0] != 0 || nodes[count - 1] != 255) return false;
  for (int32_t i = 1; i < count; ++i)
    if (nodes[i] <= nodes[i - 1]) return false;
  return true;
}

// The ordering of the fractions (fa, fb, fc) as an index 0..7 from three
// comparisons: (fb > fa) << 2 | (fa < fc) << 1 | (fb < fc).  Equal fractions
// keep the axis order A, B, C.
inline unsigned OrderIndex(uint32_t fa, uint32_t fb, uint32_t fc) {
  return static_cast<unsigned>(fb > fa) << 2 | static_cast<unsigned>(fa < fc) << 1 |
         static_cast<unsigned>(fb < fc);
}

// For each index, the axes (0 = A, 1 = B, 2 = C) from the largest fraction to
// the smallest.  The two impossible indices (101, 010) carry the entry their
// first condition leads to.
inline constexpr uint8_t kOrder[8][3] = {
    {0, 1, 2},  // fa >= fb >= fc
    {0, 2, 1},  // fa >= fc > fb
    {2, 0, 1},  // (not reached)
    {2, 0, 1},  // fc > fa >= fb
    {1, 0, 2},  // fb > fa >= fc
    {1, 0, 2},  // (not reached)
    {1, 2, 0},  // fb >= fc > fa
    {2, 1, 0},  // fc > fb > fa
};

// Offsets of the second and third vertex from node 000 for an ordering,
// given the byte step of one node along each axis.
struct VertexOffsets {
  uint32_t second, third;
};
inline VertexOffsets VerticesOf(unsigned index, const uint32_t (&step)[3]) {
  const uint8_t* o = kOrder[index];
  return {step[o[0]], step[o[0]] + step[o[1]]};
}

// The tetrahedron of a point: its ordering and the weights of its four
// vertices (node 000, second, third, node 111), which add up to `scale`.
struct Tetrahedron {
  unsigned index;
  uint32_t w0, w1, w2, w3;
};
inline Tetrahedron Choose(uint32_t scale, const uint32_t (&f)[3]) {
  const unsigned index = OrderIndex(f[0], f[1], f[2]);
  const uint8_t* o = kOrder[index];
  const uint32_t x1 = f[o[0]], x2 = f[o[1]], x3 = f[o[2]];
  return {index, scale - x1, x1 - x2, x2 - x3, x3};
}

// The same choice by nested comparisons, for walks over a grid where
// neighbouring points mostly share a tetrahedron and the branches predict
// well; Choose's table lookups suit scattered pixels.
inline Tetrahedron ChooseByBranches(uint32_t scale, const uint32_t (&f)[3]) {
  const uint32_t fa = f[0], fb = f[1], fc = f[2];
  if (!(fb > fa)) {
    if (!(fc > fb)) return {0, scale - fa, fa - fb, fb - fc, fc};  // fa >= fb >= fc
    if (!(fc > fa)) return {1, scale - fa, fa - fc, fc - fb, fb};  // fa >= fc > fb
    return {3, scale - fc, fc - fa, fa - fb, fb};                   // fc > fa >= fb
  }
  if (!(fc > fa)) return {4, scale - fb, fb - fa, fa - fc, fc};    // fb > fa >= fc
  if (!(fc > fb)) return {6, scale - fb, fb - fc, fc - fa, fa};    // fb >= fc > fa
  return {7, scale - fc, fc - fb, fb - fa, fa};                     // fc > fb > fa
}

// Writes `channels` bytes: for each channel, the weighted sum of the four
// vertices divided back by the caller's `divide` (sum -> byte).
template <typename Divide>
inline void Blend(const uint8_t* n0, const uint8_t* n1, const uint8_t* n2,
                  const uint8_t* n3, const Tetrahedron& t, size_t channels,
                  uint8_t* out, Divide divide) {
  for (size_t ch = 0; ch < channels; ++ch) {
    const uint32_t sum = n0[ch] * t.w0 + n1[ch] * t.w1 + n2[ch] * t.w2 + n3[ch] * t.w3;
    out[ch] = static_cast<uint8_t>(divide(sum));
  }
}

}  // namespace vantik::tetra
