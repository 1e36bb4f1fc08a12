// Grid nodes of a colour pixel with one table read per component and no
// compare: each component's entry holds its lower node in a node field and
// 255 - weight in the byte below it.  Adding b + 1 to that byte carries into
// the node field exactly when weight <= b, which is the rounding rule of
// NodeOf.  Components 1, 2, 3 use 16-bit lanes at bits 0, 16 and 32, so that
// the node fields (bits 8..12, 24..28, 40..44) also serve the smoothing
// neighbour test and the colour-table index.
#pragma once

#include <array>
#include <bit>
#include <cstdint>
#include <cstring>

#include "halftone_b/kernels/diffusion_frame.h"

namespace vantik::halftone_b {

// Four bytes of a pixel or a colour-table entry, byte 0 in the low bits.
inline uint32_t Word(const uint8_t* p) {
  if constexpr (std::endian::native == std::endian::little) {
    uint32_t v;
    std::memcpy(&v, p, 4);
    return v;
  } else {
    return p[0] | p[1] << 8 | p[2] << 16 | static_cast<uint32_t>(p[3]) << 24;
  }
}

struct NodeKeys {
  uint64_t key[3][256];

  // b + 1 in the low byte of each 16-bit lane, by b.
  static constexpr std::array<uint64_t, 256> kCarry = [] {
    std::array<uint64_t, 256> t{};
    for (uint64_t b = 0; b < 256; ++b) t[b] = (b + 1) * 0x000100010001ull;
    return t;
  }();

  // One in the low bit of each node field.
  static constexpr uint64_t kLanes = 1ull << 8 | 1ull << 24 | 1ull << 40;
  static constexpr uint64_t kNodeFields = 0x1F * kLanes;
  // Nodes before the first pixel: 0x30 lies more than one from every node
  // (0..31), and node + 0x41 - 0x30 stays positive.
  static constexpr uint64_t kFarNodes = 0x30 * kLanes;

  void Load(const ColorTables& t) {
    for (int c = 0; c < 256; ++c) {
      // A node of 31 has weight 255 (LoadNodeTable), so it never carries.
      const uint64_t lane = static_cast<uint64_t>(t.node[c]) << 8 | (255u - t.weight[c]);
      key[0][c] = lane;
      key[1][c] = lane << 16;
      key[2][c] = lane << 32;
    }
  }

  // Node word of pixel px (components in bytes 1..3) for matrix byte b
  // (even, at most 254): node k in bits 8 + 16k .. 12 + 16k, all else 0.
  uint64_t Nodes(uint32_t px, uint32_t b) const {
    return (key[0][(px >> 8) & 0xFF] + key[1][(px >> 16) & 0xFF] +
            key[2][px >> 24] + kCarry[b]) & kNodeFields;
  }

  // Colour-table index ((node1 * 32) + node2) * 32 + node3: one multiply
  // moves the three node fields side by side into bits 40..54.
  static uint32_t Index(uint64_t nodes) {
    constexpr uint64_t kGather = 1ull | 1ull << 21 | 1ull << 42;
    return static_cast<uint32_t>((nodes * kGather) >> 40) & 0x7FFF;
  }

  // Every node within one of the previous pixel's.  Each node byte of y is
  // node - previous + 0x41, in 0x11..0x60 (no borrow between bytes); a
  // neighbour means 0x40..0x42, tested on bit 7 of y + 0x40 and y + 0x3D.
  static bool Near(uint64_t nodes, uint64_t previous) {
    const uint64_t y = nodes + 0x41 * kLanes - previous;
    const uint64_t high = 0x80 * kLanes;
    return ((y + 0x40 * kLanes) & ~(y + 0x3D * kLanes) & high) == high;
  }
};

}  // namespace vantik::halftone_b
