// The two kind-3 colour kernels against a plain, dot-by-dot model of their
// rules, over many random instances and runs: random colour tables, node
// tables, level tables and matrices (cells outside 0..cells-1 included), runs
// of equal pixels, white pixels, every first bit, odd and even counts, both
// source steppings and the direct ink form; for the diffusing kernel also
// random error lines and spread bounds.  The kernels' shared line loop is
// tuned for speed; this model is what it must keep matching bit for bit.
#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <vector>

#include "common/halftone_b_kernel_fixture.h"

namespace vantik::halftone_b {
namespace {

using testing::KernelInstance;
using testing::KernelSetup;

// Diffusion share of one kernel: weight (in 1/32 of E) at each offset from
// x, the weight stored at x and the carry's weight.
struct Share {
  int offset, weight;
};
struct SpreadKernel {
  std::vector<Share> shares;
  int store, carry;
};

// Kernels K0..K5, with odd: bit 2 of the matrix byte clear.
SpreadKernel KernelK(int k, bool odd) {
  std::vector<Share> s;
  auto range = [&s](int from, int to, int w) {
    for (int o = from; o <= to; ++o) s.push_back({o, w});
  };
  switch (k) {
    case 0:
      range(1, 1, 8), range(2, 2, 4), range(-2, -2, 4), range(-1, -1, 8);
      return {s, 8, 0};
    case 1:
      range(1, 1, 8), range(2, 2, 4), range(-2, -2, 4), range(-1, -1, 4);
      return {s, 8, 4};
    case 2:
      range(1, 2, 4), range(3, 4, 2), range(-4, -2, 2), range(-1, -1, 4);
      if (odd) range(5, 5, 2);
      return {s, odd ? 4 : 6, 4};
    case 3:
      range(1, 3, 3), range(4, 7, 1), range(-7, -6, 1), range(-5, -2, 2), range(-1, -1, 3);
      return {s, 3, 3};
    case 4:
      range(1, 4, 2), range(5, 9, 1), range(odd ? 10 : 11, odd ? 10 : 11, 1);
      range(-10, -5, 1), range(-4, -1, 2);
      return {s, 2, 2};
    default:
      range(1, 14, 1), range(odd ? -15 : -14, odd ? -15 : -14, 1), range(-13, -1, 1);
      return {s, 1, 1};
  }
}

int32_t Jitter(uint32_t b) { return b <= 7 ? 24 : b <= 128 ? 20 : b <= 247 ? -20 : -24; }

struct Model {
  const HalftoneInstanceB& in;
  bool diffuse = false;
  int16_t* line = nullptr;  // error line of ink 1 from its pixel-0 entry

  int32_t Node(uint8_t c, uint32_t b) const {
    const auto* pairs = static_cast<const uint8_t*>(in.slots[kSlotNodeTable].data);
    int32_t node = pairs[2 * c];
    uint32_t weight = pairs[2 * c + 1];
    if (node >= 31) {  // a damaged entry stays inside the 32-node grid
      node = 31;
      weight = 255;
    }
    return node + (weight <= b ? 1 : 0);
  }
  static int32_t Table(const HalftoneInstanceB& in, int slot, int32_t l) {
    return static_cast<const int16_t*>(in.slots[slot].data)[l];
  }
  int32_t Level(int32_t l) const { return Table(in, kSlotLevelTable, l); }

  // Ink 1 of dot x by error diffusion of level v (v not 0).
  bool Diffuse(uint32_t x, int32_t v, int32_t j, bool odd, int32_t& carry) const {
    int16_t* e = line + x;
    int32_t E = v + (*e >> 5);
    *e = 0;
    const bool dot = E >= Table(in, kSlotErrorThresholdTable, v) - j;
    if (dot) E -= Table(in, kSlotDotWeightTable, v);
    int k = 0;
    if (v > in.dotParam0) {
      k = 1;
    } else if (dot) {
      k = v > in.dotParam1 ? 2 : v > in.dotParam2 ? 3 : v > in.dotParam3 ? 4 : 5;
    }
    const SpreadKernel K = KernelK(k, odd);
    for (const Share& sh : K.shares) {
      e[sh.offset] = static_cast<int16_t>(e[sh.offset] + sh.weight * E);
    }
    e[0] = static_cast<int16_t>(K.store * E + carry);
    carry = K.carry * E;
    return dot;
  }
  const uint8_t* Entry(size_t index) const {
    return static_cast<const uint8_t*>(in.slots[kSlotSampledLut].data) + index * 4;
  }

  // Dots of the run: bit k of dots[i] set when ink k gets dot x0 + i.
  std::vector<uint8_t> Run(const uint8_t* src, uint32_t count, uint32_t x0,
                           uint32_t y) const {
    const auto* row = static_cast<const int16_t*>(in.slots[kSlotThresholdMatrix].data) +
                      static_cast<size_t>(y % in.matrixHeight) * in.matrixWidth;
    const uint32_t colMask = in.matrixWidth - 1;
    const int32_t top = static_cast<int16_t>(in.matrixCells - 1);
    const bool direct = in.params.renderMode == 4;
    const uint32_t shift = in.params.horizontalScale == 1 ? 1 : 0;
    std::vector<uint8_t> dots(count, 0);
    int32_t prevNode[3] = {-2, -2, -2};
    int32_t prevLevel[4] = {100, 0, 0, 100};
    int32_t s[4] = {0, 0, 0, 0};
    int32_t v = 0, j = 0, carry = 0;
    bool odd = false;
    const uint32_t pairs = count & ~1u;
    for (uint32_t i = 0; i < pairs; ++i) {
      const uint32_t x = x0 + i;
      const uint8_t* px = src + 4 * (i >> shift);
      const uint8_t* partner = src + 4 * ((i & ~1u) >> shift);
      const int32_t m = row[x & colMask];
      if (px[1] + px[2] + px[3] == 765) {
        if (diffuse) line[x] = 0, carry = 0;
        continue;
      }
      const bool same = (i & 1) && px[1] == partner[1] && px[2] == partner[2] &&
                        px[3] == partner[3] && (!direct || px[0] == partner[0]);
      if (!same) {
        const uint32_t b = static_cast<uint32_t>(m) & 0xFE;
        const int32_t r = (b & 4) == 0 ? 1 : 0;
        int32_t l[4];
        if (direct) {
          for (int k = 0; k < 4; ++k) l[k] = px[k];
        } else {
          const int32_t n[3] = {Node(px[1], b), Node(px[2], b), Node(px[3], b)};
          const uint8_t* e = Entry((static_cast<size_t>(n[0]) * 32 + n[1]) * 32 + n[2]);
          for (int k = 0; k < 4; ++k) l[k] = e[k];
          bool near = true;
          for (int a = 0; a < 3; ++a) near = near && n[a] - prevNode[a] >= -1 && n[a] - prevNode[a] <= 1;
          for (int k : {0, 1, 3}) {
            if (near) l[k] = (l[k] + prevLevel[k] + r) >> 1;
            prevLevel[k] = l[k];
          }
          for (int a = 0; a < 3; ++a) prevNode[a] = n[a];
        }
        for (int k = 0; k < 4; ++k) s[k] = Level(l[k]);
        v = l[1];
        j = Jitter(b);
        odd = r == 1;
      }
      uint8_t d = 0;
      if (m < s[3]) d |= 8;
      if (s[0] + s[3] <= top) {
        if (!(m < s[3]) && m < s[0] + s[3]) d |= 1;
      } else if (top - m < s[0]) {
        d |= 1;
      }
      if (!diffuse && top - m < s[1]) d |= 2;
      if (top - m < s[2]) d |= 4;
      if (diffuse && v == 0) {
        line[x] = 0;
        carry = 0;
      } else if (diffuse && Diffuse(x, v, j, odd, carry)) {
        d |= 2;
      }
      dots[i] = d;
    }
    if (count & 1) {
      const uint32_t x = x0 + pairs;
      const uint8_t* px = src + 4 * (pairs >> shift);
      const int32_t m = row[x & colMask];
      int32_t l[4];
      if (direct) {
        for (int k = 0; k < 4; ++k) l[k] = px[k];
      } else {
        const uint32_t b = static_cast<uint32_t>(m) & 0xFE;
        int32_t g = in.lutRecord.gridCountA;
        g = g < 1 ? 1 : g > 32 ? 32 : g;
        const uint8_t* e = Entry((static_cast<size_t>(Node(px[1], b)) * g +
                                  Node(px[2], b)) * g + Node(px[3], b));
        for (int k = 0; k < 4; ++k) l[k] = e[k];
      }
      for (int k = 0; k < 4; ++k) s[k] = Level(l[k]);
      uint8_t d = 0;
      if (m < s[3]) {
        d |= 8;
      } else if (m < s[0] + s[3]) {
        d |= 1;
      }
      const int32_t n = static_cast<int32_t>(in.matrixCells) - 1 - m;
      if (n < s[1]) {
        d |= 2;
      } else if (n < s[1] + s[2]) {
        d |= 4;
      }
      dots[pairs] = d;
    }
    return dots;
  }
};

// Packs dots into planes as the kernels do: most significant bit first from
// firstBit on, the first byte's earlier bits kept, the last byte's later bits 0.
void Pack(const std::vector<uint8_t>& dots, uint8_t* dst, int32_t stride,
          int32_t firstBit) {
  for (int k = 0; k < 4; ++k) {
    uint8_t* p = dst + k * stride;
    const uint32_t end = firstBit + static_cast<uint32_t>(dots.size());
    for (uint32_t bit = firstBit; bit < ((end + 7) & ~7u); ++bit) {
      const uint8_t mask = static_cast<uint8_t>(0x80 >> (bit % 8));
      const bool on = bit < end && (dots[bit - firstBit] >> k & 1);
      p[bit / 8] = static_cast<uint8_t>(on ? p[bit / 8] | mask : p[bit / 8] & ~mask);
    }
  }
}

void CompareWithModel(bool diffuse) {
  std::mt19937 rng(diffuse ? 4711 : 20261210);
  auto pick = [&rng](uint32_t lo, uint32_t hi) {
    return std::uniform_int_distribution<uint32_t>(lo, hi)(rng);
  };
  const uint32_t widths[] = {1, 2, 16, 64, 128, 256, 255};
  for (int trial = 0; trial < 300; ++trial) {
    KernelSetup s;
    s.kind = 3;
    s.lineWidth = 300;
    s.renderMode = pick(0, 4) == 0 ? 4 : 1;
    const int32_t scales[] = {0, 1, -1};
    s.horizontalScale = scales[pick(0, 2)];
    s.matrixWidth = widths[pick(0, 6)];
    s.matrixHeight = pick(1, 40);
    const uint32_t cells = s.matrixWidth * s.matrixHeight;
    const bool wild = pick(0, 3) == 0;
    for (uint32_t i = 0; i < cells; ++i) {
      s.cells.push_back(static_cast<int16_t>(
          wild ? pick(0, 65535) : pick(0, cells + 20) - 10));
    }
    const uint32_t lutSeed = pick(0, 0xFFFFFF);
    s.fill = [lutSeed](int a, int b, int c, int k) {
      uint32_t h = lutSeed ^ (a * 73856093u) ^ (b * 19349663u) ^ (c * 83492791u) ^ (k * 2654435761u);
      h ^= h >> 13;
      h *= 0x5bd1e995u;
      h ^= h >> 15;
      // Mostly smooth levels so that smoothing has near neighbours to use.
      return static_cast<uint8_t>((h & 7) == 0 ? h >> 8 : (a + b / 2 + c / 4 + k * 40) & 255);
    };
    KernelInstance ki(s);
    int16_t* levels = ki.table(kSlotLevelTable);
    for (int i = 0; i < 256; ++i) {
      levels[i] = static_cast<int16_t>(wild ? pick(0, 65535) : pick(0, cells + 40) - 20);
    }
    if (pick(0, 2) == 0) {
      auto* nodes = static_cast<uint8_t*>(ki.inst.slots[kSlotNodeTable].data);
      for (int i = 0; i < 512; ++i) nodes[i] = static_cast<uint8_t>(i % 2 ? pick(0, 255) : pick(0, 33));
    }
    const int32_t grids[] = {32, 17, 0, 40};
    ki.inst.lutRecord.gridCountA = grids[pick(0, 3)];
    int16_t* line = ki.line(0);
    if (diffuse) {
      int32_t bound = static_cast<int32_t>(pick(0, 255));
      for (int32_t* p : {&ki.inst.dotParam0, &ki.inst.dotParam1, &ki.inst.dotParam2,
                         &ki.inst.dotParam3}) {
        *p = bound;
        bound = static_cast<int32_t>(pick(0, static_cast<uint32_t>(bound)));
      }
      for (int i = -30; i < 330; ++i) line[i] = static_cast<int16_t>(pick(0, 4000) - 2000);
    }
    const Model model{ki.inst, diffuse, nullptr};
    std::vector<int16_t> expectedLine(line - 30, line + 330);

    for (int run = 0; run < 8; ++run) {
      const uint32_t count = pick(0, 4) == 0 ? pick(0, 9) : pick(0, 300);
      const uint32_t x0 = pick(0, 300 - count);
      const uint32_t y = pick(0, 100);
      const int32_t firstBit = static_cast<int32_t>(pick(0, 7));
      std::vector<uint8_t> src(4 * (count + 2));
      uint8_t px[4] = {0, 0, 0, 0};
      for (size_t p = 0; p < src.size(); p += 4) {
        const uint32_t what = pick(0, 9);
        if (what == 0) {
          px[1] = px[2] = px[3] = 255;
        } else if (what == 1) {
          px[pick(1, 3)] = 255;  // near white, not white
        } else if (what <= 4) {
          px[pick(0, 3)] += static_cast<uint8_t>(pick(0, 6)) - 3;  // drift
        } else if (what <= 6) {
          for (auto& c : px) c = static_cast<uint8_t>(pick(0, 255));
        }  // else: repeat the previous pixel
        for (int k = 0; k < 4; ++k) src[p + k] = px[k];
      }
      const int32_t stride = 48;
      std::vector<uint8_t> planes(4 * stride);
      for (auto& b : planes) b = static_cast<uint8_t>(pick(0, 255));
      std::vector<uint8_t> expected = planes;
      Model m = model;
      m.line = expectedLine.data() + 30;
      Pack(m.Run(src.data(), count, x0, y), expected.data(), stride, firstBit);
      const HalftoneKernel kernel = diffuse ? ColorDitherDiffusionKernel : ColorDitherKernel;
      ASSERT_EQ(kernel(&ki.inst, src.data(), planes.data(), stride, firstBit, count, x0, 0, y, 0,
                       nullptr),
                RC_OK);
      ASSERT_EQ(planes, expected) << "trial " << trial << " run " << run << " count "
                                  << count << " x0 " << x0 << " first bit " << firstBit;
      ASSERT_EQ(std::vector<int16_t>(line - 30, line + 330), expectedLine)
          << "trial " << trial << " run " << run;
      ASSERT_EQ(ki.inst.lastLine, y);
    }
  }
}

TEST(ColorDitherModel, RandomRunsMatchThePlainModel) { CompareWithModel(false); }

TEST(ColorDitherModel, DiffusedInkOneMatchesThePlainModel) { CompareWithModel(true); }

}  // namespace
}  // namespace vantik::halftone_b
