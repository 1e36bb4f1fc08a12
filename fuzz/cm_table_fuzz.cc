// Fuzzes the colour table block: the table step on an instance whose
// selecting fields come from the first bytes of the input, the rest being
// the block with its exact length.  A loaded table is then used for a few
// translations in every pixel layout.  Leaks abort.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "colormatch/cm_internal.h"
#include "colormatch/cm_translate.h"
#include "interface/memblock.h"
#include "interface/services.h"
#include "interface/params.h"

namespace {

constexpr size_t kSelectors = 8;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace vantik;
  if (size < kSelectors) return 0;
  const long live = MemLiveBlocks();

  auto* inst = static_cast<colormatch::CmInstance*>(MemAlloc(sizeof(colormatch::CmInstance), 1));
  auto* lut = static_cast<CmLut*>(MemAlloc(sizeof(CmLut), 1));
  if (inst == nullptr || lut == nullptr) std::abort();
  inst->selfBlock = inst;
  inst->lut = lut;
  inst->lutBlock = lut;
  lut->selfBlock = lut;
  inst->loadState = 2;

  const uint8_t s0 = data[0], s1 = data[1];
  inst->adjust.field[vantik::kAdjustColorModeA] = s0 & 3;                 // 0, 1, 2, 3
  inst->adjust.field[vantik::kAdjustColorModeB] = (s0 >> 2) & 3;         // 2 turns on the corrections
  inst->adjust.field[vantik::kAdjustGrayAxis] = (s0 & 16) ? 50 : 0;
  inst->params.kind = (s0 & 32) ? 2 : 3;
  inst->params.lutMode = (s0 >> 6) & 1;
  inst->params.variant = (s0 >> 7) & 1 ? 2 : 0;
  inst->params.renderMode = s1 & 3;
  inst->halftoneNumber = (s1 & 4) ? 300 + (s1 >> 3) : -1;
  // Adjustments for the preview, some of them out of range on purpose.
  for (int f = 1; f <= 6; ++f)
    inst->adjust.field[f] = static_cast<int8_t>(data[1 + f]) / 2;

  ByteReader block(data + kSelectors, size - kSelectors);
  if (colormatch::CmLoadTableBlock(*inst, block) == RC_OK) {
    if (lut->table == nullptr || !colormatch::CmGridUsable(*lut)) std::abort();
    std::vector<uint8_t> out(static_cast<size_t>(lut->channels) * 16);
    const uint8_t* px = data + kSelectors;
    const size_t n = (size - kSelectors) / 4 < 16 ? (size - kSelectors) / 4 : 16;
    for (int mode = 0; mode < 4; ++mode) {
      inst->params.renderMode = mode;
      colormatch::CmSetRenderLayout(*inst);
      if (colormatch::CmTranslate(inst, static_cast<int32_t>(n), px, out.data()) != RC_OK) std::abort();
    }
  }

  if (lut->tableBlock != nullptr) {
    MemUnlock(lut->tableBlock);
    MemFree(lut->tableBlock);
  }
  MemFree(lut);
  MemFree(inst);
  if (MemLiveBlocks() != live) std::abort();
  return 0;
}
