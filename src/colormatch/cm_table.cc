// The table step: the block is parsed (formats/table_block.h) and checked
// against the rules that will run before anything changes; then the table is
// copied and the passes run in order.
#include "colormatch/cm_table.h"

#include <cstring>

#include "colormatch/cm_internal.h"
#include "colormatch/cm_translate.h"
#include "formats/table_block.h"
#include "interface/memblock.h"

namespace vantik::colormatch {
namespace {

// The parsed block and the rules the step will run on it.
struct TableStep {
  formats::TableBlockView block;
  int32_t tableClass, tableType;
  int32_t grayAxisFlag;
  bool rule1, rule2, rule3, densityPass;
};

// Parses the block and works out which rules the step will run; a rule's
// trailing part must be present, and the density weights must keep the
// correction's divisor positive when the correction runs.
uint32_t Inspect(const CmInstance& inst, ByteReader& r, TableStep& v) {
  if (!formats::ParseTableBlock(r, v.block).ok()) return RC_BAD_RESOURCE;
  const formats::TableHeader& h = v.block.header;
  v.tableClass = h.tableClass;
  v.tableType = h.tableType == 2 ? 1 : h.tableType;
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

  if (v.rule1 && v.block.gray == nullptr) return RC_BAD_RESOURCE;
  if (v.rule3 && v.block.diagonal == nullptr) return RC_BAD_RESOURCE;
  if ((v.rule2 || v.densityPass) && !CmDensityDefined(h.weights[0], h.weights[1]))
    return RC_BAD_RESOURCE;
  return RC_OK;
}

void CopyHeader(CmInstance& inst, const TableStep& v) {
  const formats::TableHeader& h = v.block.header;
  CmLut& lut = *inst.lut;
  lut.tableNumber = inst.tableNumber;
  lut.halftoneNumber = inst.halftoneNumber;
  inst.tableClass = static_cast<int16_t>(v.tableClass);
  lut.tableType = v.tableType;
  for (int i = 0; i < 3; ++i) {
    inst.primaryGain[i] = h.primaryGain[i];
    inst.hueShift[i] = h.hueShift[i];
    inst.secondaryGain[i] = h.secondaryGain[i];
  }
  inst.saturationBoost = h.saturationBoost;
  lut.weightLight = h.weights[0];
  lut.weightFull = h.weights[1];
  lut.weightExtra0 = h.weights[2];
  lut.weightExtra1 = h.weights[3];
  lut.weightExtra2 = h.weights[4];
  lut.tableParam0 = h.params[0];
  lut.tableParam1 = h.params[1];
  lut.tableParam2 = h.params[2];
  lut.tableParam3 = h.params[3];
  lut.gridCountA = lut.gridCountB = lut.gridCountC = v.block.n;
  lut.channels = v.block.w;
  std::memset(lut.gridA, 0, sizeof lut.gridA);
  std::memset(lut.gridB, 0, sizeof lut.gridB);
  std::memset(lut.gridC, 0, sizeof lut.gridC);
  std::memcpy(lut.gridA, v.block.positions, v.block.n);
  std::memcpy(lut.gridB, v.block.positions + v.block.n, v.block.n);
  std::memcpy(lut.gridC, v.block.positions + 2 * v.block.n, v.block.n);
  lut.grayAxisFlag = v.grayAxisFlag;
}

void SetLayout(CmInstance& inst, const CmPixelLayout& l) {
  inst.pixelStride = static_cast<int16_t>(l.stride);
  inst.offsetA = static_cast<int16_t>(l.offsetA);
  inst.offsetB = static_cast<int16_t>(l.offsetB);
  inst.offsetC = static_cast<int16_t>(l.offsetC);
}

// ---- The passes of the table step ------------------------------------------

// Rules 1 to 3 on the diagonal (gray) nodes: gray levels into black (rule
// 1), their density correction (rule 2), the explicit neutral axis (rule 3).
uint32_t GrayAxisRules(CmInstance& inst, const TableStep& v, const CmPreviewOps&) {
  CmLut& lut = *inst.lut;
  const size_t w = static_cast<size_t>(v.block.w);
  for (int32_t j = 0; j < v.block.n; ++j) {
    uint8_t* node = lut.table + formats::TableNode(v.block.n, v.block.w, j, j, j);
    if (v.rule1) {
      const uint8_t g = v.block.gray[j];
      for (size_t ch = 0; ch + 1 < w; ++ch) node[ch] = inst.params.kind == kKindEngineA ? g : 0;
      node[w - 1] = g;
    }
    if (v.rule2) {
      const int32_t m = node[w - 1];
      node[w - 1] = CmDensityValue(m, CmDensityDivisor(m, lut.weightLight, lut.weightFull));
    }
    if (v.rule3) std::memcpy(node, v.block.diagonal + j * w, w);
  }
  return RC_OK;
}

// The user's adjustments through the preview service (on node-layout
// pixels).  A pass that cannot take this table leaves it as loaded; a pass
// that ran out of memory is reported, since printing on would silently drop
// the user's adjustments.
uint32_t AdjustmentPass(CmInstance& inst, const TableStep&, const CmPreviewOps& preview) {
  SetLayout(inst, kCmNodeLayout);
  const uint32_t adjusted = CmAdjustPass(inst, preview);
  if (adjusted == RC_NO_MEMORY || adjusted == RC_LOCK_FAILED) return adjusted;
  return RC_OK;
}

uint32_t DensityPass(CmInstance& inst, const TableStep& v, const CmPreviewOps&) {
  if (v.densityPass) CmDensityPass(inst);
  return RC_OK;
}

uint32_t ToneCurvePass(CmInstance& inst, const TableStep&, const CmPreviewOps&) {
  CmToneCurve(inst);
  return RC_OK;
}

uint32_t RenderLayoutPass(CmInstance& inst, const TableStep&, const CmPreviewOps&) {
  CmSetRenderLayout(inst);
  return RC_OK;
}

// Each pass returns RC_OK, or the code that ends the step.
using TablePass = uint32_t (*)(CmInstance&, const TableStep&, const CmPreviewOps&);

// The table step after the block is copied in, in order.
constexpr TablePass kTablePasses[] = {
    GrayAxisRules, AdjustmentPass, DensityPass, ToneCurvePass, RenderLayoutPass,
};

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
  TableStep v;
  const uint32_t rc = Inspect(inst, r, v);
  if (rc != RC_OK) return rc;

  void* block = nullptr;
  const uint32_t got = MemAllocLocked(v.block.tableBytes, 1, &block);
  if (got != RC_OK) return got;

  CmLut& lut = *inst.lut;
  if (lut.tableBlock != nullptr) {  // a table loaded earlier is replaced
    MemUnlock(lut.tableBlock);
    MemFree(lut.tableBlock);
  }
  CopyHeader(inst, v);
  lut.tableBlock = block;
  lut.table = static_cast<uint8_t*>(block);
  std::memcpy(lut.table, v.block.table, v.block.tableBytes);
  for (const TablePass pass : kTablePasses) {
    const uint32_t passRc = pass(inst, v, preview);
    if (passRc != RC_OK) return passRc;
  }
  return RC_OK;
}

uint32_t CmLoadTableBlock(CmInstance& inst, ByteReader& r) {
  return CmLoadTableBlockWith(inst, r, kCmPreviewService);
}

}  // namespace vantik::colormatch
