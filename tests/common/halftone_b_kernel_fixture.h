// A hand-built engine B instance for calling the line kernels directly: every
// slot is allocated with MemAlloc and filled here, so kernel tests depend on
// neither the resource steps nor the dispatcher.  Tables follow the resource
// formulas (dot weights, level table, error thresholds, node table) for the
// chosen light and full weights.
#pragma once

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "halftone_b/instance_b.h"
#include "halftone_b/kernels/kernels.h"
#include "interface/memblock.h"

namespace vantik::testing {

struct KernelSetup {
  int32_t kind = 1;
  int32_t lutMode = 1;        // 0: single ink through the tone table
  int32_t renderMode = 1;
  int32_t horizontalScale = 0;
  uint32_t lineWidth = 64;
  uint32_t matrixWidth = 16;
  uint32_t matrixHeight = 16;
  std::vector<int16_t> cells;  // empty: (i * 97 + 13) mod cells
  int32_t weightLight = 350;
  int32_t weightFull = 100;
  int32_t dotParam[4] = {37, 20, 5, 2};
  // Ink levels of colour-table node (a, b, c) at positions (pa, pb, pc).
  std::function<uint8_t(int pa, int pb, int pc, int ink)> fill;
  // Level of every tone-table entry; empty: identity.
  std::vector<int16_t> tone;
};

// Inks 0..2 the complements of the three components, ink 3 of the lightest.
inline uint8_t ComplementFill(int pa, int pb, int pc, int ink) {
  switch (ink) {
    case 0: return static_cast<uint8_t>(255 - pa);
    case 1: return static_cast<uint8_t>(255 - pb);
    case 2: return static_cast<uint8_t>(255 - pc);
    default: return static_cast<uint8_t>(255 - std::max({pa, pb, pc}));
  }
}

// Every node gives the same four levels.
inline std::function<uint8_t(int, int, int, int)> FlatFill(uint8_t l0, uint8_t l1,
                                                          uint8_t l2, uint8_t l3) {
  return [=](int, int, int, int ink) {
    const uint8_t l[4] = {l0, l1, l2, l3};
    return l[ink];
  };
}

class KernelInstance {
 public:
  explicit KernelInstance(const KernelSetup& s) {
    halftone_b::HalftoneInstanceB& in = inst;
    std::memset(&in, 0, sizeof in);
    in.params.kind = s.kind;
    in.params.lutMode = s.lutMode;
    in.params.renderMode = s.renderMode;
    in.params.horizontalScale = s.horizontalScale;
    in.params.lineWidth = s.lineWidth;
    in.matrixWidth = s.matrixWidth;
    in.matrixHeight = s.matrixHeight;
    in.matrixCells = s.matrixWidth * s.matrixHeight;
    in.dotParam0 = s.dotParam[0];
    in.dotParam1 = s.dotParam[1];
    in.dotParam2 = s.dotParam[2];
    in.dotParam3 = s.dotParam[3];
    in.lutRecord.gridCountA = in.lutRecord.gridCountB = in.lutRecord.gridCountC = 32;
    for (int i = 0; i < 32; ++i) positions[i] = static_cast<uint8_t>(i * 255 / 31);

    // Slot 0: tone table or the 32-node colour table.
    if (s.lutMode == 0) {
      int16_t* tone = Alloc<int16_t>(0, 512);
      for (int i = 0; i < 256; ++i) tone[i] = s.tone.empty() ? i : s.tone[i];
    } else {
      uint8_t* lut = Alloc<uint8_t>(0, 32768 * 4);
      auto fill = s.fill ? s.fill : ComplementFill;
      size_t at = 0;
      for (int a = 0; a < 32; ++a)
        for (int b = 0; b < 32; ++b)
          for (int c = 0; c < 32; ++c)
            for (int k = 0; k < 4; ++k)
              lut[at++] = fill(positions[a], positions[b], positions[c], k);
    }
    // Slots 1..4: error lines of 2 x lineWidth + 120 bytes.
    const uint32_t lineBytes = (2 * s.lineWidth + 120 + 3) & ~3u;
    for (int i = 1; i <= 4; ++i) Alloc<uint8_t>(i, lineBytes);
    // Slot 5: matrix; slot 6: level table.
    int16_t* m = Alloc<int16_t>(halftone_b::kSlotThresholdMatrix, 2 * in.matrixCells);
    for (uint32_t i = 0; i < in.matrixCells; ++i) {
      m[i] = s.cells.empty() ? static_cast<int16_t>((i * 97 + 13) % in.matrixCells)
                             : s.cells[i];
    }
    int16_t* dw = Alloc<int16_t>(halftone_b::kSlotDotWeightTable, 512);
    int16_t* lt = Alloc<int16_t>(halftone_b::kSlotLevelTable, 512);
    int16_t* et = Alloc<int16_t>(halftone_b::kSlotErrorThresholdTable, 512);
    uint8_t* nodes = Alloc<uint8_t>(halftone_b::kSlotNodeTable, 512);
    const int32_t L = s.weightLight, F = s.weightFull;
    for (int i = 0; i < 256; ++i) {
      dw[i] = static_cast<int16_t>(
          (((255 - i) * (255 - i) * (L - F) + 1) / 255 + 255 * F) / 100);
    }
    for (uint32_t j = 0; j < 255; ++j) {
      lt[j] = static_cast<int16_t>(((in.matrixCells >> 8) * j * 255) /
                                   static_cast<uint32_t>(dw[j]));
    }
    lt[255] = static_cast<int16_t>((in.matrixCells * 255 - 255) /
                                   static_cast<uint32_t>(dw[255]) + 1);
    int32_t e[256] = {};
    for (int n = 1; n <= 254; ++n) e[n] = (128 + 2 * n) / 3;
    for (int k = 0; k <= 8; ++k) {
      e[1 + k] = 29 * (k + 1) / 10 + 20;
      e[254 - k] = 255 - e[1 + k];
    }
    for (int n = 1; n <= 254; ++n) {
      e[n] = static_cast<int16_t>(((dw[n] - 255) / 3 + 255) * e[n] / 255 +
                                  (2560 - 20 * n) / 128);
    }
    e[0] = e[255] = 128;
    for (int i = 0; i < 256; ++i) et[i] = static_cast<int16_t>(e[i]);
    int k = 0;
    for (int v = 0; v < 256; ++v) {
      if (v == positions[k]) {
        nodes[2 * v] = static_cast<uint8_t>(k);
        nodes[2 * v + 1] = 255;
        ++k;
      } else {
        nodes[2 * v] = static_cast<uint8_t>(k - 1);
        nodes[2 * v + 1] = static_cast<uint8_t>(
            (positions[k] - v) * 255 / (positions[k] - positions[k - 1]));
      }
    }
  }

  ~KernelInstance() {
    for (void* b : blocks) MemFree(b);
  }
  KernelInstance(const KernelInstance&) = delete;
  KernelInstance& operator=(const KernelInstance&) = delete;

  // Error line i (0..3) from its pixel-0 entry, lineWidth entries.
  int16_t* line(int i) {
    return static_cast<int16_t*>(inst.slots[halftone_b::kSlotErrorLine0 + i].data) +
           halftone_b::kErrorLineOffset;
  }
  // Whole error line i including both margins.
  std::vector<int16_t> wholeLine(int i) const {
    const auto* p = static_cast<const int16_t*>(inst.slots[halftone_b::kSlotErrorLine0 + i].data);
    return std::vector<int16_t>(p, p + inst.slots[halftone_b::kSlotErrorLine0 + i].size / 2);
  }
  int16_t* matrix() { return static_cast<int16_t*>(inst.slots[halftone_b::kSlotThresholdMatrix].data); }
  int16_t* table(int slot) { return static_cast<int16_t*>(inst.slots[slot].data); }

  halftone_b::HalftoneInstanceB inst;
  uint8_t positions[32];

 private:
  template <class T>
  T* Alloc(int slot, uint32_t bytes) {
    void* b = MemAlloc(bytes, 1);
    blocks.push_back(b);
    inst.slots[slot].size = bytes;
    inst.slots[slot].data = b;
    inst.slots[slot].block = b;
    return static_cast<T*>(b);
  }
  std::vector<void*> blocks;
};

// Four output planes of `bytes` bytes each, one after the other.
struct Planes {
  explicit Planes(size_t bytesPerPlane, uint8_t fill = 0)
      : stride(static_cast<int32_t>(bytesPerPlane)), data(4 * bytesPerPlane, fill) {}
  uint8_t* plane(int k) { return data.data() + k * stride; }
  bool dot(int k, uint32_t bit) const {
    return (data[k * stride + bit / 8] >> (7 - bit % 8)) & 1;
  }
  int32_t stride;
  std::vector<uint8_t> data;
};

// Calls a kernel on the fixture's instance with flags 0 and no extra buffer.
inline uint32_t RunKernel(halftone_b::HalftoneKernel k, KernelInstance& ki,
                          const std::vector<uint8_t>& src, Planes& out,
                          int32_t firstBit, uint32_t count, uint32_t x0,
                          uint32_t y) {
  return k(&ki.inst, src.data(), out.data.data(), out.stride, firstBit, count,
           x0, 0, y, 0, nullptr);
}

// Pixel k of a four-byte run.
inline std::vector<uint8_t> ColorRun(const std::vector<std::array<uint8_t, 3>>& px) {
  std::vector<uint8_t> out;
  for (const auto& p : px) {
    out.push_back(0);
    out.insert(out.end(), p.begin(), p.end());
  }
  return out;
}

inline uint64_t Fnv1a(const void* data, size_t n, uint64_t h = 1469598103934665603ull) {
  const auto* p = static_cast<const uint8_t*>(data);
  for (size_t i = 0; i < n; ++i) {
    h ^= p[i];
    h *= 1099511628211ull;
  }
  return h;
}

}  // namespace vantik::testing
