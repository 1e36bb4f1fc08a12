// The 25-node re-sampling on a grid whose three axes have different node
// levels, so that the axis 1 and axis 2 fractions are rescaled to the axis 0
// cell width and every order of the three fractions occurs.
#include <gtest/gtest.h>

#include <cstring>

#include "halftone_a/instance_a.h"
#include "interface/memblock.h"

namespace vantik::halftone_a {
namespace {

// Nodes: axis 0 at 0, 255 (or 0, 64, 255 with a middle node); axis 1 at
// 0, 100, 255; axis 2 at 0, 60, 255.  Node (i, j, l) channel k holds
// ((i * 3 + j) * 3 + l) * 29 mod 256, XOR 17 k: no plane through the cell, so
// every vertex choice shows in the result.
struct UnevenLut {
  CmLut lut{};
  uint8_t table[3 * 3 * 3 * 4];
  explicit UnevenLut(bool middleNode = false) {
    const int countA = middleNode ? 3 : 2;
    lut.channels = 4;
    lut.gridCountA = countA;
    lut.gridCountB = 3;
    lut.gridCountC = 3;
    const uint8_t b[] = {0, 100, 255}, c[] = {0, 60, 255};
    lut.gridA[0] = 0;
    lut.gridA[countA - 1] = 255;
    if (middleNode) lut.gridA[1] = 64;
    std::memcpy(lut.gridB, b, sizeof b);
    std::memcpy(lut.gridC, c, sizeof c);
    uint8_t* p = table;
    for (int i = 0; i < countA; ++i)
      for (int j = 0; j < 3; ++j)
        for (int l = 0; l < 3; ++l)
          for (int k = 0; k < 4; ++k)
            *p++ = static_cast<uint8_t>((((i * 3 + j) * 3 + l) * 29 % 256) ^ (k * 17));
    lut.table = table;
  }
};

TEST(ResampleTest, RescaledFractionsPickTheTetrahedronAndTruncate) {
  struct Case {
    int i, j, k;       // node indices of the 25-node grid
    uint8_t out[4];
  };
  // Worked example, nodes (5, 10, 3) = levels (53, 106, 32): d = 255,
  // fx = 53, fy = (106 - 100) x 255 / 155 = 9, fz = 32 x 255 / 60 = 136;
  // order z, x, y: V0 (0,1,0), V1 (0,1,1), V2 (1,1,1), V3 (1,2,1), weights
  // 119, 83, 44, 9 over 255.
  const Case cases[] = {
      {5, 10, 3, {106, 90, 106, 90}},   // f2 > f0 > f1
      {12, 7, 20, {118, 102, 147, 131}},  // f2 > f1 > f0
      {1, 9, 2, {93, 78, 102, 87}},     // f1 > f2 > f0
      {20, 2, 6, {51, 56, 31, 35}},     // f0 > f1 > f2
      {1, 0, 6, {29, 13, 60, 44}},      // f0 > f2 > f1
      {1, 1, 0, {9, 23, 43, 56}},       // f1 > f0 > f2
      {0, 0, 0, {0, 17, 34, 51}},
      {24, 24, 24, {237, 252, 207, 222}},
  };
  UnevenLut uneven;
  uint8_t* grid = ResampleGrid(uneven.lut);
  ASSERT_NE(grid, nullptr);
  for (const Case& c : cases) {
    const uint8_t* node = grid + ((c.i * 25 + c.j) * 25 + c.k) * 4;
    for (int ch = 0; ch < 4; ++ch) {
      EXPECT_EQ(node[ch], c.out[ch]) << c.i << " " << c.j << " " << c.k << " ch " << ch;
    }
  }
  MemUnlock(grid);
  MemFree(grid);
}

TEST(ResampleTest, ALevelOnAnOldNodeTakesTheCellBelowIt) {
  // Level 64 = N[6] is node 1 of axis 0: the cell is 0..64 (d = 64), not
  // 64..255 (d = 191), and the other fractions are scaled to that width.
  struct Case {
    int i, j, k;
    uint8_t out[4];
  };
  const Case cases[] = {
      {6, 0, 1, {9, 25, 32, 47}},        // the cell above would give 10, 25, 31, 47
      {6, 0, 9, {38, 50, 4, 16}},        // 39, 50, 5, 16
      {6, 12, 20, {158, 148, 165, 154}},  // 159, 149, 165, 155
      {5, 10, 3, {109, 92, 110, 94}},
      {7, 10, 3, {110, 94, 113, 97}},
  };
  UnevenLut uneven(true);
  uint8_t* grid = ResampleGrid(uneven.lut);
  ASSERT_NE(grid, nullptr);
  for (const Case& c : cases) {
    const uint8_t* node = grid + ((c.i * 25 + c.j) * 25 + c.k) * 4;
    for (int ch = 0; ch < 4; ++ch) {
      EXPECT_EQ(node[ch], c.out[ch]) << c.i << " " << c.j << " " << c.k << " ch " << ch;
    }
  }
  MemUnlock(grid);
  MemFree(grid);
}

}  // namespace
}  // namespace vantik::halftone_a
