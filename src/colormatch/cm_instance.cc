// Colour-matching instance: creation with its defaults and derived table
// mode, the CmLut accessor, and delete at any state.
#include <algorithm>
#include <cstdint>

#include "colormatch/cm_calibration.h"
#include "colormatch/cm_instance.h"
#include "interface/memblock.h"
#include "interface/params.h"
#include "interface/services.h"

namespace vantik::colormatch {

uint32_t CmCreate(const ColorAdjustRecord& adjust, const HalftoneParams& params,
                  void* /*reserved*/, int32_t* inOut, CmHandle* outInstance) {
  if (inOut == nullptr || outInstance == nullptr) return RC_BAD_PARAMETER;
  *inOut = 0;

  CmInstance* instance = nullptr;
  uint32_t got = MemAllocLocked(sizeof(CmInstance), 1, &instance);
  if (got != RC_OK) return got;
  void* selfBlock = instance;

  CmLut* lut = nullptr;
  got = MemAllocLocked(sizeof(CmLut), 1, &lut);
  if (got != RC_OK) {
    MemUnlock(selfBlock);
    MemFree(selfBlock);
    return got;
  }
  void* lutBlock = lut;

  instance->selfBlock = selfBlock;
  lut->selfBlock = lutBlock;
  instance->lutBlock = lutBlock;
  instance->lut = lut;
  instance->adjust = adjust;
  instance->params = params;

  // The kind's default and the table mode; the instance keeps colour mode B
  // as the rule leaves it.
  const ColorModes modes =
      ResolveColorModes(instance->params.kind, instance->adjust.field[kAdjustColorModeA],
                        instance->adjust.field[kAdjustColorModeB]);
  instance->params.kind = modes.kind;
  instance->adjust.field[kAdjustColorModeB] = modes.colorModeB;
  instance->tableMode = modes.tableMode;

  instance->loadState = 1;
  *outInstance = instance;
  return RC_OK;
}

RunBytes CmRunBytes(CmHandle handle, int32_t count) {
  if (count <= 0) return {0, 0};
  const auto& instance = *static_cast<const CmInstance*>(handle);
  const uint64_t stride =
      instance.pixelStride > 0 ? static_cast<uint64_t>(instance.pixelStride) : 0;
  const CmLut* lut = instance.lut;
  const uint64_t channels =
      lut != nullptr && lut->channels > 0 ? static_cast<uint64_t>(lut->channels) : 0;
  const auto run = [count](uint64_t perPixel) {
    const uint64_t bytes = static_cast<uint64_t>(count) * perPixel;
    return bytes == 0 ? 1u : static_cast<uint32_t>(std::min<uint64_t>(bytes, UINT32_MAX));
  };
  return {run(stride), run(channels)};
}

CmLut* CmGetLut(CmHandle handle) {
  if (handle == nullptr) return nullptr;
  return static_cast<CmInstance*>(handle)->lut;
}

uint32_t CmDelete(CmHandle handle) {
  if (handle == nullptr) return RC_BAD_PARAMETER;
  auto* instance = static_cast<CmInstance*>(handle);
  CmReleaseBuild(*instance);
  CmLut* lut = instance->lut;
  if (lut->tableBlock != nullptr) {
    MemUnlock(lut->tableBlock);
    MemFree(lut->tableBlock);
    lut->tableBlock = nullptr;
    lut->table = nullptr;
  }
  void* lutBlock = instance->lutBlock;
  MemUnlock(lutBlock);
  MemFree(lutBlock);
  void* selfBlock = instance->selfBlock;
  MemUnlock(selfBlock);
  MemFree(selfBlock);
  return RC_OK;
}

}  // namespace vantik::colormatch
