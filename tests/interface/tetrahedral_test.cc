// The tetrahedral choice shared by translation and both engines' resampling:
// the two ways of choosing agree on every ordering and tie, the weights fall
// on the right vertices, and the grid check holds its limits.
#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "interface/tetrahedral.h"

namespace vantik::tetra {
namespace {

TEST(Tetrahedral, BothChoicesAgreeOnEveryOrderingAndTie) {
  constexpr uint32_t kScale = 5;
  for (uint32_t a = 0; a <= kScale; ++a)
    for (uint32_t b = 0; b <= kScale; ++b)
      for (uint32_t c = 0; c <= kScale; ++c) {
        const uint32_t f[3] = {a, b, c};
        const Tetrahedron t = Choose(kScale, f);
        const Tetrahedron u = ChooseByBranches(kScale, f);
        EXPECT_EQ(t.index, u.index) << a << b << c;
        EXPECT_EQ(t.w0, u.w0) << a << b << c;
        EXPECT_EQ(t.w1, u.w1) << a << b << c;
        EXPECT_EQ(t.w2, u.w2) << a << b << c;
        EXPECT_EQ(t.w3, u.w3) << a << b << c;
        EXPECT_EQ(t.w0 + t.w1 + t.w2 + t.w3, kScale);
      }
}

// Interpolating the function x + 10 y + 100 z (exact on every tetrahedron)
// over one cell of a 2 x 2 x 2 grid must give it back at every point: this
// holds only when the weights meet the vertices the ordering names.
TEST(Tetrahedral, WeightsMeetTheirVertices) {
  constexpr uint32_t kScale = 4;
  const uint32_t step[3] = {4, 2, 1};  // node (a, b, c) at 4a + 2b + c
  uint8_t nodes[8];
  for (int n = 0; n < 8; ++n) nodes[n] = static_cast<uint8_t>((n >> 2) + 10 * (n >> 1 & 1) + 100 * (n & 1));
  for (uint32_t a = 0; a <= kScale; ++a)
    for (uint32_t b = 0; b <= kScale; ++b)
      for (uint32_t c = 0; c <= kScale; ++c) {
        const uint32_t f[3] = {a, b, c};
        const Tetrahedron t = Choose(kScale, f);
        const VertexOffsets v = VerticesOf(t.index, step);
        uint8_t out = 0;
        Blend(nodes, nodes + v.second, nodes + v.third, nodes + 7, t, 1, &out,
              [](uint32_t sum) { return sum / kScale; });
        EXPECT_EQ(out, (a + 10 * b + 100 * c) / kScale) << a << b << c;
      }
}

TEST(Tetrahedral, AxisCheck) {
  struct Case {
    const char* name;
    std::vector<uint8_t> nodes;
    bool usable;
  };
  std::vector<uint8_t> full(32);
  for (int i = 0; i < 32; ++i) full[i] = static_cast<uint8_t>(i * 255 / 31);
  std::vector<uint8_t> tooMany(33);
  for (int i = 0; i < 33; ++i) tooMany[i] = static_cast<uint8_t>(i * 255 / 32);
  const Case cases[] = {
      {"two nodes", {0, 255}, true},
      {"32 nodes", full, true},
      {"one node", {0}, false},
      {"33 nodes", tooMany, false},
      {"not from 0", {1, 128, 255}, false},
      {"not to 255", {0, 128, 254}, false},
      {"equal neighbours", {0, 128, 128, 255}, false},
      {"falling", {0, 200, 100, 255}, false},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(AxisUsable(c.nodes.data(), static_cast<int32_t>(c.nodes.size())), c.usable)
        << c.name;
  }
}

}  // namespace
}  // namespace vantik::tetra
