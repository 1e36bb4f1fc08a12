// Builders for engine B tests: CmLut records made directly (no colour-matching
// instance needed), the three resource blocks, and an instance taken through
// New and its three resource steps.
#pragma once

#include <cstdint>
#include <cstring>
#include <algorithm>
#include <functional>
#include <vector>

#include "halftone_b/dispatch.h"
#include "halftone_b/instance_b.h"
#include "vantik/vantik.h"

namespace vantik::testing {

inline HalftoneParams MakeParams(int32_t kind, int32_t lutMode,
                                 int32_t xResolution = 720,
                                 int32_t yResolution = 720,
                                 uint32_t lineWidth = 256,
                                 int32_t variant = 0,
                                 int32_t horizontalScale = 0,
                                 int32_t renderMode = -1) {
  HalftoneParams p{};
  p.kind = kind;
  p.variant = variant;
  // renderMode must be 0 exactly when lutMode is 0.
  p.renderMode = renderMode >= 0 ? renderMode : (lutMode == 0 ? 0 : 1);
  p.lutMode = lutMode;
  p.xResolution = xResolution;
  p.yResolution = yResolution;
  p.horizontalScale = horizontalScale;
  p.lineWidth = lineWidth;
  return p;
}

// Channel value of grid node (a, b, c) at positions (pa, pb, pc).
using NodeFill = std::function<uint8_t(int pa, int pb, int pc, int channel)>;

// Default fill: inks 0..2 are the complements of the three axes, ink 3 the
// complement of the lightest axis.
inline uint8_t DefaultNodeFill(int pa, int pb, int pc, int channel) {
  switch (channel) {
    case 0: return static_cast<uint8_t>(255 - pa);
    case 1: return static_cast<uint8_t>(255 - pb);
    case 2: return static_cast<uint8_t>(255 - pc);
    default: {
      int m = pa > pb ? pa : pb;
      m = m > pc ? m : pc;
      return static_cast<uint8_t>(255 - m);
    }
  }
}

// A CmLut whose table lives in this object.  Call get() for the record; it
// refreshes the table address, so the object may be moved freely.
struct TestLut {
  CmLut lut{};
  std::vector<uint8_t> table;

  CmLut* get() {
    lut.table = table.empty() ? nullptr : table.data();
    lut.tableBlock = lut.table;
    return &lut;
  }
};

// Same positions on all three axes; weights 350 / 100 give positive dot
// weights everywhere.  The tone curve is the identity.  Golden tests build
// on these defaults (and on the blocks below): change none of them.
inline TestLut MakeTestLut(std::vector<uint8_t> positions = {0, 128, 255},
                           int32_t channels = 4, int32_t weightLight = 350,
                           int32_t weightFull = 100,
                           int32_t halftoneNumber = 500,
                           const NodeFill& fill = DefaultNodeFill) {
  TestLut t;
  const int n = static_cast<int>(positions.size());
  t.lut.channels = channels;
  t.lut.weightLight = weightLight;
  t.lut.weightFull = weightFull;
  t.lut.gridCountA = t.lut.gridCountB = t.lut.gridCountC = n;
  for (int i = 0; i < n && i < 32; ++i) {
    t.lut.gridA[i] = t.lut.gridB[i] = t.lut.gridC[i] = positions[i];
  }
  for (int i = 0; i < 256; ++i) t.lut.toneCurve[i] = static_cast<uint8_t>(i);
  t.lut.tableNumber = 7;
  t.lut.halftoneNumber = halftoneNumber;
  t.table.resize(static_cast<size_t>(n) * n * n * channels);
  size_t at = 0;
  for (int a = 0; a < n; ++a)
    for (int b = 0; b < n; ++b)
      for (int c = 0; c < n; ++c)
        for (int k = 0; k < channels; ++k)
          t.table[at++] = fill(positions[a], positions[b], positions[c], k);
  return t;
}

// Id list: the ids, then the -1 terminator (little-endian 16-bit).
inline std::vector<uint8_t> IdListBlock(std::vector<int16_t> ids,
                                        bool terminate = true) {
  if (terminate) ids.push_back(-1);
  std::vector<uint8_t> b;
  for (int16_t id : ids) {
    b.push_back(static_cast<uint8_t>(id & 0xFF));
    b.push_back(static_cast<uint8_t>((id >> 8) & 0xFF));
  }
  return b;
}

// 32 evenly spread positions 0, 8, 16, ..., 255.
inline std::vector<uint8_t> EvenNodePositions() {
  std::vector<uint8_t> p(32);
  for (int i = 0; i < 32; ++i) p[i] = static_cast<uint8_t>(i * 255 / 31);
  return p;
}

// Colour-node block: 16-bit count, then the positions.
inline std::vector<uint8_t> NodeBlock(
    const std::vector<uint8_t>& positions = EvenNodePositions(),
    uint16_t count = 32) {
  std::vector<uint8_t> b(2 + positions.size());
  b[0] = static_cast<uint8_t>(count & 0xFF);
  b[1] = static_cast<uint8_t>(count >> 8);
  std::copy(positions.begin(), positions.end(), b.begin() + 2);
  return b;
}

// Threshold-matrix block: W, H, bytes per cell, a pad byte, then the cells.
inline std::vector<uint8_t> MatrixBlock(uint8_t w, uint8_t h,
                                        const std::vector<int16_t>& cells,
                                        uint8_t bytesPerCell = 2) {
  std::vector<uint8_t> b = {w, h, bytesPerCell, 0};
  for (int16_t c : cells) {
    b.push_back(static_cast<uint8_t>(c & 0xFF));
    b.push_back(static_cast<uint8_t>((c >> 8) & 0xFF));
  }
  return b;
}

// Cells 0..W*H-1 in a scattered order ((i * 97 + 13) mod cells is a
// permutation whenever the cell count is a power of two).
inline std::vector<int16_t> ScatteredCells(int w, int h) {
  const int cells = w * h;
  std::vector<int16_t> v(cells);
  for (int i = 0; i < cells; ++i) v[i] = static_cast<int16_t>((i * 97 + 13) % cells);
  return v;
}

inline std::vector<uint8_t> DefaultMatrixBlock(uint8_t w = 16, uint8_t h = 16) {
  return MatrixBlock(w, h, ScatteredCells(w, h));
}

// An engine B instance through New and the three resource steps, deleted on
// destruction.  Codes of every call are kept for the test to check.
struct EngineBSession {
  HalftoneHandle handle = nullptr;
  int32_t next = 0;
  uint32_t newCode = 0;
  uint32_t stepCode[3] = {0, 0, 0};

  EngineBSession() = default;
  EngineBSession(const EngineBSession&) = delete;
  EngineBSession& operator=(const EngineBSession&) = delete;
  ~EngineBSession() {
    if (handle != nullptr) HalftoneDeleteThk(handle);
  }

  // True when New and all three steps returned 0.
  bool Start(const HalftoneParams& params, TestLut& lut,
             const std::vector<uint8_t>& ids, const std::vector<uint8_t>& nodes,
             const std::vector<uint8_t>& matrix) {
    newCode = HalftoneNewThk(&params, nullptr, lut.get(), nullptr, &next, &handle);
    if (newCode != 0) return false;
    const std::vector<uint8_t>* blocks[3] = {&ids, &nodes, &matrix};
    for (int i = 0; i < 3; ++i) {
      stepCode[i] = HalftoneSetResourceWithLength(handle, blocks[i]->data(),
                                                  blocks[i]->size(), &next);
      if (stepCode[i] != 0) return false;
    }
    return true;
  }

  // Default blocks: ids 600, 601, 602 and the default node and matrix blocks.
  bool Start(const HalftoneParams& params, TestLut& lut) {
    return Start(params, lut, IdListBlock({600, 601, 602}), NodeBlock(),
                 DefaultMatrixBlock());
  }
};

// An instance assembled by hand for kernel tests: every table the kernels
// read lives in this object and the slots point at it, so a test can set
// exactly the values it needs.  Not copyable (the slots point inside).
struct KernelRig {
  halftone_b::HalftoneInstanceB instance{};
  std::vector<int16_t> matrixBlock;  // cells, then the 256-entry level table
  std::vector<int16_t> tone = std::vector<int16_t>(256);
  std::vector<int16_t> weights = std::vector<int16_t>(1024);  // DW, E, node pairs
  std::vector<int16_t> errorLines;   // four lines of lineWidth + 60 entries
  std::vector<uint8_t> sampled;      // sampledLut, four bytes per node

  KernelRig(const HalftoneParams& params, uint32_t width, uint32_t height,
            const std::vector<int16_t>& cells, uint32_t sampledNodes = 8) {
    instance.params = params;
    instance.matrixWidth = width;
    instance.matrixHeight = height;
    instance.matrixCells = width * height;
    matrixBlock.assign(cells.begin(), cells.end());
    matrixBlock.resize(static_cast<size_t>(width) * height, 0);
    matrixBlock.resize(matrixBlock.size() + 256, 0);
    const size_t lineEntries = params.lineWidth + 60;
    errorLines.assign(4 * lineEntries, 0);
    sampled.assign(4 * sampledNodes, 0);
    instance.lineBufferCount = 4;
    const auto line = static_cast<uint32_t>(2 * lineEntries);
    instance.slots[halftone_b::kSlotToneTable] = {512, tone.data(), nullptr};
    for (int i = 0; i < 4; ++i) {
      instance.slots[halftone_b::kSlotErrorLine0 + i] = {line, errorLines.data() + i * lineEntries, nullptr};
    }
    instance.slots[halftone_b::kSlotThresholdMatrix] = {
        static_cast<uint32_t>(2 * matrixBlock.size()), matrixBlock.data(), nullptr};
    instance.slots[halftone_b::kSlotLevelTable] = {512, level(), nullptr};
    instance.slots[halftone_b::kSlotDotWeightTable] = {2048, weights.data(), nullptr};
    instance.slots[halftone_b::kSlotErrorThresholdTable] = {512, weights.data() + 256, nullptr};
    instance.slots[halftone_b::kSlotNodeTable] = {512, weights.data() + 512, nullptr};
    if (params.lutMode != 0) {
      instance.slots[halftone_b::kSlotSampledLut] = {static_cast<uint32_t>(sampled.size()),
                                         sampled.data(), nullptr};
    }
    instance.stepsLoaded = 3;
    instance.kernel = halftone_b::ChooseKernel(params);  // as step 3 does
  }
  KernelRig(const KernelRig&) = delete;
  KernelRig& operator=(const KernelRig&) = delete;

  int16_t* matrix() { return matrixBlock.data(); }
  int16_t* level() { return matrixBlock.data() + instance.matrixCells; }
  int16_t* dotWeight() { return weights.data(); }
  int16_t* errorThreshold() { return weights.data() + 256; }
  uint8_t* nodeTable() { return reinterpret_cast<uint8_t*>(weights.data() + 512); }
  // Entry of dot x of error line i (x may go down to -30).
  int16_t& error(int i, int x) {
    return errorLines[static_cast<size_t>(i) * (instance.params.lineWidth + 60) + 30 + x];
  }
  // Byte k (ink k) of sampledLut node n.
  uint8_t& ink(uint32_t node, int k) { return sampled[4 * node + k]; }
};

}  // namespace vantik::testing
