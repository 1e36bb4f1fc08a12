// Builders for engine A tests, fuzzers and benchmarks: a CmLut with a table
// of its own, screen-table texts, threshold-matrix blocks, and an instance
// that runs the whole resource dialogue.
#pragma once

#include <cstdint>
#include <cstring>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "tiny_resources.h"  // Bytes
#include "interface/memblock.h"
#include "vantik/vantik.h"

namespace vantik::testing {

// A CmLut as colour matching would hand it over.  Its table comes from
// MemAlloc because engine A's Create releases it and installs a re-sampled
// one; the destructor frees whatever table the CmLut holds then, as the
// colour-matching instance's Delete does.
struct LutFixture {
  CmLut lut{};

  using NodeFn = std::function<void(int r, int g, int b, uint8_t* out4)>;

  // count nodes per axis, evenly spaced from 0 to 255; fn gives the four
  // channels of the node at levels (r, g, b).
  LutFixture(int count, const NodeFn& fn, int a = 200, int b = 300,
             int selector = 1) {
    lut.channels = 4;
    lut.gridCountA = lut.gridCountB = lut.gridCountC = count;
    for (int i = 0; i < count; ++i) {
      const auto level = static_cast<uint8_t>(255 * i / (count - 1));
      lut.gridA[i] = lut.gridB[i] = lut.gridC[i] = level;
    }
    auto* table = static_cast<uint8_t*>(MemAlloc(size_t(count) * count * count * 4, 1));
    uint8_t* p = table;
    for (int i = 0; i < count; ++i)
      for (int j = 0; j < count; ++j)
        for (int k = 0; k < count; ++k, p += 4) fn(lut.gridA[i], lut.gridB[j], lut.gridC[k], p);
    lut.table = table;
    lut.tableBlock = table;
    lut.tableParam0 = a;
    lut.tableParam2 = b;
    lut.halftoneNumber = selector;
  }
  LutFixture(const LutFixture&) = delete;
  LutFixture& operator=(const LutFixture&) = delete;
  ~LutFixture() {
    if (lut.tableBlock != nullptr) MemFree(lut.tableBlock);
  }

  // Cyan, magenta, yellow as the complements of R, G, B; black 255 - max.
  static void Complement(int r, int g, int b, uint8_t* out) {
    out[0] = static_cast<uint8_t>(255 - r);
    out[1] = static_cast<uint8_t>(255 - g);
    out[2] = static_cast<uint8_t>(255 - b);
    const int m = r > g ? (r > b ? r : b) : (g > b ? g : b);
    out[3] = static_cast<uint8_t>(255 - m);
  }
};

// A screen-table text: a header line, the given lines, the END line; every
// line ends in CR LF.
inline std::string ScreenText(const std::vector<std::string>& lines,
                              bool withEnd = true) {
  std::string text = "screens\r\n";
  for (const std::string& l : lines) text += l + "\r\n";
  if (withEnd) text += "END\r\n";
  return text;
}

// "selector method m1 m2 m3 phase " with the trailing blank every read
// token needs.
inline std::string ScreenRow(int selector, int method, int m1, int m2, int m3,
                              int phase = 0) {
  return std::to_string(selector) + " " + std::to_string(method) + " " +
         std::to_string(m1) + " " + std::to_string(m2) + " " +
         std::to_string(m3) + " " + std::to_string(phase) + " ";
}

// A threshold-matrix block; width or height 256 is stored as 255.
inline std::vector<uint8_t> MatrixBlock(int width, int height,
                                        const std::vector<uint8_t>& cells) {
  std::vector<uint8_t> block(2 + cells.size());
  block[0] = static_cast<uint8_t>(width == 256 ? 255 : width);
  block[1] = static_cast<uint8_t>(height == 256 ? 255 : height);
  for (size_t i = 0; i < cells.size(); ++i) block[2 + i] = cells[i];
  return block;
}

// An ordered-dither matrix of side 2^k with thresholds spread over 1..255.
inline std::vector<uint8_t> BayerCells(int side) {
  std::vector<uint8_t> cells(size_t(side) * side);
  for (int y = 0; y < side; ++y) {
    for (int x = 0; x < side; ++x) {
      static constexpr int kBase[2][2] = {{0, 2}, {3, 1}};
      int v = 0;
      for (int bit = side / 2; bit > 0; bit /= 2) {
        v = v * 4 + kBase[(y & bit) ? 1 : 0][(x & bit) ? 1 : 0];
      }
      cells[size_t(y) * side + x] = static_cast<uint8_t>(1 + v * 254 / (side * side - 1));
    }
  }
  return cells;
}

inline HalftoneParams ParamsA(int renderMode, int lutMode = 1, int scale = 0,
                              uint32_t lineWidth = 256) {
  HalftoneParams p{};
  p.kind = 2;
  p.renderMode = renderMode;
  p.lutMode = lutMode;
  p.horizontalScale = scale;
  p.lineWidth = lineWidth;
  return p;
}

using Blocks = std::map<int32_t, std::vector<uint8_t>>;

// An engine A instance made through the entry points; Load runs the
// resource dialogue through the length-carrying form.
struct EngineA {
  HalftoneHandle handle = nullptr;
  int32_t key = 0;
  uint32_t createCode = 0;

  EngineA(const HalftoneParams& params, CmLut* lut) {
    createCode = HalftoneNewThk(&params, nullptr, lut, nullptr, &key, &handle);
  }
  EngineA(const EngineA&) = delete;
  EngineA& operator=(const EngineA&) = delete;
  ~EngineA() {
    if (handle != nullptr) HalftoneDeleteThk(handle);
  }

  // Delivers the wanted blocks until the key is -1 or a step fails; the
  // code of the last step (0x300 for a wanted block that is not in blocks).
  uint32_t Load(const Blocks& blocks) {
    while (key != -1) {
      auto it = blocks.find(key);
      if (it == blocks.end()) return 0x300;
      const uint32_t rc = HalftoneSetResourceWithLength(
          handle, it->second.data(), it->second.size(), &key);
      if (rc != 0) return rc;
    }
    return 0;
  }

  uint32_t Band(const uint8_t* src, uint8_t* dst, int32_t stride, int32_t startBit,
                uint32_t n, uint32_t x, uint32_t y) {
    return HalftoneThk(handle, src, dst, stride, startBit, n, x, 0, y, 0, nullptr);
  }

  uint32_t Release() {
    const uint32_t rc = HalftoneDeleteThk(handle);
    handle = nullptr;
    return rc;
  }
};

// The usual resource set: screen selector 1 with the given method, matrices
// 301 (matrix 1), 302 (matrix 2) and 303 (matrix 3), all 8 x 8 ordered
// dither; matrix 1 is the transpose of matrix 3.
inline Blocks StandardBlocks(int method, int phase = 0) {
  std::vector<uint8_t> bayer = BayerCells(8);
  std::vector<uint8_t> transposed(64);
  for (int y = 0; y < 8; ++y)
    for (int x = 0; x < 8; ++x) transposed[size_t(x) * 8 + y] = bayer[size_t(y) * 8 + x];
  std::vector<uint8_t> shifted(64);
  for (int i = 0; i < 64; ++i) shifted[size_t(i)] = bayer[size_t((i + 27) % 64)];
  Blocks blocks;
  blocks[300] = Bytes(ScreenText({ScreenRow(7, 2, 0, 0, 0),
                                  ScreenRow(1, method, 301, 302, 303, phase)}));
  blocks[301] = MatrixBlock(8, 8, transposed);
  blocks[302] = MatrixBlock(8, 8, shifted);
  blocks[303] = MatrixBlock(8, 8, bayer);
  return blocks;
}

}  // namespace vantik::testing
