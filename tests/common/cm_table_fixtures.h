// Helpers for the colour-table tests: a colour-matching instance built by
// hand from memory blocks, a table-block builder, the translation written
// out literally as the reference for the fast path, and a fake preview
// service that counts its instances.
#pragma once

#include <cstdint>
#include <algorithm>
#include <cstring>
#include <random>
#include <vector>

#include "colormatch/cm_adjust.h"
#include "colormatch/cm_instance.h"
#include "colormatch/cm_translate.h"
#include "formats/table_block.h"
#include "interface/memblock.h"

namespace vantik::testing {

// A CmInstance and its CmLut in memory blocks, released like Delete does.
struct HandInstance {
  colormatch::CmInstance* inst = nullptr;

  HandInstance() {
    inst = static_cast<colormatch::CmInstance*>(MemAlloc(sizeof(colormatch::CmInstance), 1));
    inst->selfBlock = inst;
    inst->lut = static_cast<CmLut*>(MemAlloc(sizeof(CmLut), 1));
    inst->lut->selfBlock = inst->lut;
    inst->lutBlock = inst->lut;
    inst->loadState = 2;
  }
  ~HandInstance() {
    if (inst->lut->tableBlock != nullptr) MemFree(inst->lut->tableBlock);
    MemFree(inst->lut);
    MemFree(inst);
  }
  HandInstance(const HandInstance&) = delete;
  HandInstance& operator=(const HandInstance&) = delete;

  colormatch::CmInstance& operator*() { return *inst; }
  colormatch::CmInstance* operator->() { return inst; }
  CmLut& lut() { return *inst->lut; }
  CmHandle handle() { return inst; }

  // Installs a table directly (no table step), with the given layout.
  void SetTable(int32_t nA, int32_t nB, int32_t nC, int32_t channels,
                const std::vector<uint8_t>& gA, const std::vector<uint8_t>& gB,
                const std::vector<uint8_t>& gC, const std::vector<uint8_t>& table,
                colormatch::CmPixelLayout layout = colormatch::kCmNodeLayout) {
    CmLut& l = lut();
    if (l.tableBlock != nullptr) MemFree(l.tableBlock);
    l.gridCountA = nA;
    l.gridCountB = nB;
    l.gridCountC = nC;
    l.channels = channels;
    std::memset(l.gridA, 0, 96);
    std::memcpy(l.gridA, gA.data(), gA.size());
    std::memcpy(l.gridB, gB.data(), gB.size());
    std::memcpy(l.gridC, gC.data(), gC.size());
    l.tableBlock = MemAlloc(table.size(), 0);
    l.table = static_cast<uint8_t*>(l.tableBlock);
    std::memcpy(l.table, table.data(), table.size());
    SetLayout(layout);
  }
  void SetLayout(colormatch::CmPixelLayout l) {
    inst->pixelStride = static_cast<int16_t>(l.stride);
    inst->offsetA = static_cast<int16_t>(l.offsetA);
    inst->offsetB = static_cast<int16_t>(l.offsetB);
    inst->offsetC = static_cast<int16_t>(l.offsetC);
  }
};

// The fields and sections of a colour table block, with defaults that make
// a small valid block; Build() lays it out, filling the sections left empty.
struct TableBlockContents : formats::TableContent {
  TableBlockContents() {
    weights[0] = weights[1] = 100;
    n = 3;
    w = 4;
  }

  static std::vector<uint8_t> Even(int n) {
    std::vector<uint8_t> p(n);
    for (int i = 0; i < n; ++i) p[i] = static_cast<uint8_t>(n > 1 ? i * 255 / (n - 1) : 0);
    return p;
  }
  size_t TableBytes() const { return static_cast<size_t>(n) * n * n * w; }

  // Empty sections: evenly spaced positions, a pattern for the table and the
  // diagonal, the first axis' positions as the gray levels.
  std::vector<uint8_t> Build() const {
    formats::TableContent t = *this;
    if (t.positions.empty())
      for (int axis = 0; axis < 3; ++axis)
        for (uint8_t v : Even(n)) t.positions.push_back(v);
    if (t.table.empty())
      for (size_t i = 0; i < TableBytes(); ++i) t.table.push_back(static_cast<uint8_t>(i * 7 + 3));
    if (t.gray.empty()) t.gray.assign(t.positions.begin(), t.positions.begin() + n);
    if (t.diagonal.empty())
      for (int i = 0; i < n * w; ++i) t.diagonal.push_back(static_cast<uint8_t>(200 - i));
    return formats::WriteTableBlock(t);
  }
};

// Translation exactly as the formula reads: linear interval search and a
// division per pixel.  The reference for the library's table-driven path.
inline void PlainTranslate(const CmLut& lut, const colormatch::CmPixelLayout& l, size_t count,
                           const uint8_t* src, uint8_t* dst) {
  const int32_t W = lut.channels;
  for (size_t k = 0; k < count; ++k) {
    const uint8_t* p = src + k * l.stride;
    const uint32_t r = p[l.offsetA], g = p[l.offsetB], b = p[l.offsetC];
    int i1 = 1, j1 = 1, k1 = 1;
    while (lut.gridA[i1] < r) ++i1;
    while (lut.gridB[j1] < g) ++j1;
    while (lut.gridC[k1] < b) ++k1;
    const int i0 = i1 - 1, j0 = j1 - 1, k0 = k1 - 1;
    const uint32_t w = lut.gridA[i1] - lut.gridA[i0];
    const uint32_t fa = r - lut.gridA[i0];
    const uint32_t fb = (g - lut.gridB[j0]) * w / (lut.gridB[j1] - lut.gridB[j0]);
    const uint32_t fc = (b - lut.gridC[k0]) * w / (lut.gridC[k1] - lut.gridC[k0]);
    struct V { int x, y, z; uint32_t wt; } v[4];
    if (fb > fa && fa >= fc) {
      v[0] = {0, 0, 0, w - fb}; v[1] = {0, 1, 0, fb - fa}; v[2] = {1, 1, 0, fa - fc}; v[3] = {1, 1, 1, fc};
    } else if (fb > fa && fa < fc && fb >= fc) {
      v[0] = {0, 0, 0, w - fb}; v[1] = {0, 1, 0, fb - fc}; v[2] = {0, 1, 1, fc - fa}; v[3] = {1, 1, 1, fa};
    } else if (fb > fa && fa < fc && fb < fc) {
      v[0] = {0, 0, 0, w - fc}; v[1] = {0, 0, 1, fc - fb}; v[2] = {0, 1, 1, fb - fa}; v[3] = {1, 1, 1, fa};
    } else if (fa >= fb && fa < fc) {
      v[0] = {0, 0, 0, w - fc}; v[1] = {0, 0, 1, fc - fa}; v[2] = {1, 0, 1, fa - fb}; v[3] = {1, 1, 1, fb};
    } else if (fa >= fb && fa >= fc && fb < fc) {
      v[0] = {0, 0, 0, w - fa}; v[1] = {1, 0, 0, fa - fc}; v[2] = {1, 0, 1, fc - fb}; v[3] = {1, 1, 1, fb};
    } else {
      v[0] = {0, 0, 0, w - fa}; v[1] = {1, 0, 0, fa - fb}; v[2] = {1, 1, 0, fb - fc}; v[3] = {1, 1, 1, fc};
    }
    for (int ch = 0; ch < W; ++ch) {
      uint32_t sum = 0;
      for (const V& e : v) {
        const size_t node = ((static_cast<size_t>(i0 + e.x) * lut.gridCountB + (j0 + e.y)) *
                                 lut.gridCountC + (k0 + e.z)) * W;
        sum += lut.table[node + ch] * e.wt;
      }
      dst[k * W + ch] = static_cast<uint8_t>(sum / w);
    }
  }
}

// A random strictly rising grid of n positions from 0 to 255.
inline std::vector<uint8_t> RandomGrid(std::mt19937& rng, int n) {
  std::vector<uint8_t> inner;
  std::vector<int> all(254);
  for (int i = 0; i < 254; ++i) all[i] = i + 1;
  std::shuffle(all.begin(), all.end(), rng);
  std::vector<int> pick(all.begin(), all.begin() + (n - 2));
  std::sort(pick.begin(), pick.end());
  std::vector<uint8_t> g{0};
  for (int v : pick) g.push_back(static_cast<uint8_t>(v));
  g.push_back(255);
  return g;
}

// A fake preview: each instance is a memory block, so a preview that is not
// deleted shows up in MemLiveBlocks.  The behaviour is set per test.
struct FakePreview {
  enum class Mode { kIdentity, kInvert };
  static inline Mode mode = Mode::kIdentity;
  static inline uint32_t createCode = 0;
  static inline bool handleOnFailure = false;  // a failed Create hands one out
  static inline int translateFailAt = 0;       // 1-based call that fails; 0: none
  static inline int translateCalls = 0;
  static inline int created = 0;
  static inline int deleted = 0;
  static inline ColorAdjustRecord lastAdjust{};
  static inline std::vector<uint32_t> counts;  // pixels per translate call

  static void Reset() {
    mode = Mode::kIdentity;
    createCode = 0;
    handleOnFailure = false;
    translateFailAt = 0;
    translateCalls = created = deleted = 0;
    lastAdjust = {};
    counts.clear();
  }
  static uint32_t Create(const ColorAdjustRecord& adjust, const PreviewOptions&,
                         int32_t format, PreviewHandle* out) {
    lastAdjust = adjust;
    if (format != 3) return RC_BAD_MODE;
    if (createCode != 0 && !handleOnFailure) return createCode;
    void* block = MemAlloc(8, 1);
    if (block == nullptr) return RC_NO_MEMORY;
    *out = block;
    ++created;
    return createCode;
  }
  static uint32_t Translate(PreviewHandle, uint32_t count, const uint8_t* src,
                            uint8_t* dst) {
    ++translateCalls;
    counts.push_back(count);
    if (translateCalls == translateFailAt) return RC_NO_MEMORY;
    for (uint32_t i = 0; i < count; ++i)
      for (int ch = 1; ch < 4; ++ch)
        dst[4 * i + ch] = mode == Mode::kInvert ? static_cast<uint8_t>(255 - src[4 * i + ch])
                                                : src[4 * i + ch];
    return RC_OK;
  }
  static uint32_t Delete(PreviewHandle h) {
    ++deleted;
    MemFree(h);
    return RC_OK;
  }
  static constexpr colormatch::CmPreviewOps kOps = {Create, Translate, Delete};
};

}  // namespace vantik::testing
