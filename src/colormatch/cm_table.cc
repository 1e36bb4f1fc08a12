// The colour table block:
//
//   0..75    header (class at 15, type at 24, gains and shifts at 32..44,
//            weights at 48..57, parameters at 64..71, node counts at 72..74,
//            bytes per node W at 75; 16-bit values big-endian)
//   76       node positions of the three axes, N bytes each
//   76+3N    the table, N x N x N nodes of W bytes, first axis slowest
//   +L       N gray levels, one per diagonal node
//   +L+N     N explicit diagonal nodes of W bytes
//
// Every block is checked before anything changes: equal node counts, at most
// 32 nodes, 1 <= W, N x W <= 192, positions rising strictly from 0 to 255,
// every part that the step reads present, and density weights that keep the
// correction's divisor positive when the correction runs.  Otherwise 0x300.
#include "colormatch/cm_table.h"

#include <cstring>

#include "colormatch/cm_internal.h"
#include "colormatch/cm_translate.h"
#include "interface/memblock.h"

namespace vantik::colormatch {
namespace {

constexpr size_t kHeader = 76;

struct TableBlockView {
  int32_t tableClass, tableType;
  int32_t n, w;
  size_t tableBytes;
  const uint8_t* positions;  // 3N bytes
  const uint8_t* table;      // L bytes
  const uint8_t* gray;       // N bytes, or null when no rule reads them
  const uint8_t* diagonal;   // N x W bytes, or null when no rule reads them
  int32_t grayAxisFlag;
  bool rule1, rule2, rule3, densityPass;
};

bool RisesFrom0To255(const uint8_t* p, int32_t n) {
  if (n < 2 || p[0] != 0 || p[n - 1] != 255) return false;
  for (int32_t i = 1; i < n; ++i)
    if (p[i] <= p[i - 1]) return false;
  return true;
}

int32_t S16(const uint8_t* p, size_t at) {
  return static_cast<int16_t>(static_cast<uint16_t>((p[at] << 8) | p[at + 1]));
}

// Checks the block and works out which rules the step will run.
uint32_t Inspect(const CmInstance& inst, ByteReader& r, TableBlockView& v) {
  if (!r.Has(0, kHeader)) return RC_BAD_RESOURCE;
  const uint8_t* h = r.data();
  const int32_t n = h[72];
  v.n = n;
  v.w = h[75];
  if (h[73] != n || h[74] != n || n > 32 || v.w == 0 || n * v.w > 192)
    return RC_BAD_RESOURCE;
  if (!r.Has(kHeader, 3 * static_cast<size_t>(n))) return RC_BAD_RESOURCE;
  v.positions = h + kHeader;
  for (int axis = 0; axis < 3; ++axis)
    if (!RisesFrom0To255(v.positions + axis * n, n)) return RC_BAD_RESOURCE;
  v.tableBytes = static_cast<size_t>(n) * n * n * v.w;
  const size_t tableAt = kHeader + 3 * static_cast<size_t>(n);
  if (!r.Has(tableAt, v.tableBytes)) return RC_BAD_RESOURCE;
  v.table = h + tableAt;

  v.tableClass = h[15];
  v.tableType = h[24] == 2 ? 1 : h[24];
  const ColorAdjustRecord& adj = inst.adjust;
  const HalftoneParams& par = inst.params;
  v.grayAxisFlag = par.renderMode == kRenderGray
                       ? 0
                       : (adj.field[kAdjustGrayAxis] != kGrayAxisFromLevels ? 1 : 0);
  if (adj.field[kAdjustColorModeA] == kColorModeANoCorrections) v.grayAxisFlag = 1;
  v.rule1 = v.grayAxisFlag == 0 && (v.tableType == 1 || v.tableType == 3);
  v.rule2 = v.grayAxisFlag == 0 && v.tableType == 3 && par.lutMode != kLutGray;
  v.rule3 = InkCorrections(adj) && v.grayAxisFlag == 1 && v.tableClass == 50;
  v.densityPass = inst.halftoneNumber >= 300 && inst.halftoneNumber <= 399 &&
                  par.variant < 2 && par.kind == kKindFourInk;

  // The trailing parts are needed only by the rules that read them.
  const size_t grayAt = tableAt + v.tableBytes;
  const size_t diagonalAt = grayAt + static_cast<size_t>(n);
  v.gray = nullptr;
  v.diagonal = nullptr;
  if (v.rule1) {
    if (!r.Has(grayAt, static_cast<size_t>(n))) return RC_BAD_RESOURCE;
    v.gray = h + grayAt;
  }
  if (v.rule3) {
    if (!r.Has(diagonalAt, static_cast<size_t>(n) * v.w)) return RC_BAD_RESOURCE;
    v.diagonal = h + diagonalAt;
  }
  if ((v.rule2 || v.densityPass) && !CmDensityDefined(S16(h, 48), S16(h, 50)))
    return RC_BAD_RESOURCE;
  return RC_OK;
}

void CopyHeader(CmInstance& inst, const uint8_t* h, const TableBlockView& v) {
  CmLut& lut = *inst.lut;
  lut.tableNumber = inst.tableNumber;
  lut.halftoneNumber = inst.halftoneNumber;
  inst.tableClass = static_cast<int16_t>(v.tableClass);
  lut.tableType = v.tableType;
  for (int i = 0; i < 3; ++i) {
    inst.primaryGain[i] = h[32 + i];
    inst.hueShift[i] = static_cast<int8_t>(h[36 + i]);
    inst.secondaryGain[i] = static_cast<int8_t>(h[42 + i]);
  }
  inst.saturationBoost = static_cast<int8_t>(h[39]);
  lut.weightLight = S16(h, 48);
  lut.weightFull = S16(h, 50);
  lut.weightExtra0 = S16(h, 52);
  lut.weightExtra1 = S16(h, 54);
  lut.weightExtra2 = S16(h, 56);
  lut.tableParam0 = S16(h, 64);
  lut.tableParam1 = S16(h, 66);
  lut.tableParam2 = S16(h, 68);
  lut.tableParam3 = S16(h, 70);
  lut.gridCountA = lut.gridCountB = lut.gridCountC = v.n;
  lut.channels = v.w;
  std::memset(lut.gridA, 0, sizeof lut.gridA);
  std::memset(lut.gridB, 0, sizeof lut.gridB);
  std::memset(lut.gridC, 0, sizeof lut.gridC);
  std::memcpy(lut.gridA, v.positions, v.n);
  std::memcpy(lut.gridB, v.positions + v.n, v.n);
  std::memcpy(lut.gridC, v.positions + 2 * v.n, v.n);
  lut.grayAxisFlag = v.grayAxisFlag;
}

void GrayAxisRules(CmInstance& inst, const TableBlockView& v) {
  CmLut& lut = *inst.lut;
  const size_t w = static_cast<size_t>(v.w);
  const size_t step = (static_cast<size_t>(v.n) * v.n + v.n + 1) * w;
  for (int32_t j = 0; j < v.n; ++j) {
    uint8_t* node = lut.table + j * step;
    if (v.rule1) {
      const uint8_t g = v.gray[j];
      for (size_t ch = 0; ch + 1 < w; ++ch) node[ch] = inst.params.kind == kKindEngineA ? g : 0;
      node[w - 1] = g;
    }
    if (v.rule2) {
      const int32_t m = node[w - 1];
      node[w - 1] = CmDensityValue(m, CmDensityDivisor(m, lut.weightLight, lut.weightFull));
    }
    if (v.rule3) std::memcpy(node, v.diagonal + j * w, w);
  }
}

void SetLayout(CmInstance& inst, const CmPixelLayout& l) {
  inst.pixelStride = static_cast<int16_t>(l.stride);
  inst.offsetA = static_cast<int16_t>(l.offsetA);
  inst.offsetB = static_cast<int16_t>(l.offsetB);
  inst.offsetC = static_cast<int16_t>(l.offsetC);
}

}  // namespace

int32_t CmDensityDivisor(int32_t m, int32_t wl, int32_t wf) {
  const uint32_t sq = static_cast<uint32_t>((255 - m) * (255 - m));
  // The product may pass 32 bits with extreme weights: wrap as 32-bit does.
  const int32_t prod = static_cast<int32_t>(sq * static_cast<uint32_t>(wl - wf) + 1u);
  return (prod / 255 + 255 * wf) / 100;
}

uint8_t CmDensityValue(int32_t m, int32_t q) {
  return static_cast<uint8_t>((255 * m + q / 2) / q);
}

bool CmDensityDefined(int32_t wl, int32_t wf) {
  for (int32_t m = 0; m < 256; ++m)
    if (CmDensityDivisor(m, wl, wf) <= 0) return false;
  return true;
}

void CmDensityPass(CmInstance& inst) {
  CmLut& lut = *inst.lut;
  uint8_t map[256];
  for (int32_t m = 0; m < 256; ++m)
    map[m] = CmDensityValue(m, CmDensityDivisor(m, lut.weightLight, lut.weightFull));
  const size_t bytes = static_cast<size_t>(lut.gridCountA) * lut.gridCountB *
                       lut.gridCountC * lut.channels;
  for (size_t i = 0; i < bytes; ++i) lut.table[i] = map[lut.table[i]];
}

void CmToneCurve(CmInstance& inst) {
  CmLut& lut = *inst.lut;
  uint8_t out[256];
  const size_t black = static_cast<size_t>(lut.channels) - 1;
  for (int32_t i = 0; i < 256; ++i) {
    const uint8_t gray = static_cast<uint8_t>(i);
    const uint8_t px[4] = {0, gray, gray, gray};
    out[black] = 0;
    CmTranslateRun(inst, kCmNodeLayout, 1, px, out);
    uint8_t v = out[black];
    if (lut.tableType == 0) {
      if (i != 255 && v == 255) v = 254;
    } else if (i != 255 && v == 0) {
      v = 1;
    }
    lut.toneCurve[i] = v;
  }
}

void CmSetRenderLayout(CmInstance& inst) {
  SetLayout(inst, CmRenderLayout(inst.params.renderMode));
}

uint32_t CmLoadTableBlockWith(CmInstance& inst, ByteReader& r,
                              const CmPreviewOps& preview) {
  if (inst.lut == nullptr) return RC_BAD_PARAMETER;
  TableBlockView v;
  const uint32_t rc = Inspect(inst, r, v);
  if (rc != RC_OK) return rc;

  void* block = nullptr;
  const uint32_t got = MemAllocLocked(v.tableBytes, 1, &block);
  if (got != RC_OK) return got;

  CmLut& lut = *inst.lut;
  if (lut.tableBlock != nullptr) {  // a table loaded earlier is replaced
    MemUnlock(lut.tableBlock);
    MemFree(lut.tableBlock);
  }
  CopyHeader(inst, r.data(), v);
  lut.tableBlock = block;
  lut.table = static_cast<uint8_t*>(block);
  std::memcpy(lut.table, v.table, v.tableBytes);
  GrayAxisRules(inst, v);

  SetLayout(inst, kCmNodeLayout);
  CmAdjustPass(inst, preview);  // a failed pass leaves the table as loaded
  if (v.densityPass) CmDensityPass(inst);
  CmToneCurve(inst);
  CmSetRenderLayout(inst);
  return RC_OK;
}

uint32_t CmLoadTableBlock(CmInstance& inst, ByteReader& r) {
  return CmLoadTableBlockWith(inst, r, kCmPreviewService);
}

}  // namespace vantik::colormatch
