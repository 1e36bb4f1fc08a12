// Colour-matching instance: creation with its defaults and derived table
// mode, the CmLut accessor, and delete at any state.
#include "colormatch/cm_calibration.h"
#include "colormatch/cm_instance.h"
#include "interface/memblock.h"
#include "interface/services.h"

namespace vantik::colormatch {
namespace {

// Adjustment-record fields that creation reads.
constexpr int kColorModeA = 9;
constexpr int kColorModeB = 10;

}  // namespace

uint32_t CmCreate(const ColorAdjustRecord& adjust, const HalftoneParams& params,
                  void* /*reserved*/, int32_t* inOut, CmHandle* outInstance) {
  if (inOut == nullptr || outInstance == nullptr) return RC_BAD_PARAMETER;
  *inOut = 0;

  void* selfBlock = MemAlloc(sizeof(CmInstance), 1);
  if (selfBlock == nullptr) return RC_NO_MEMORY;
  auto* instance = static_cast<CmInstance*>(MemLock(selfBlock));
  if (instance == nullptr) {
    MemFree(selfBlock);
    return RC_LOCK_FAILED;
  }

  void* lutBlock = MemAlloc(sizeof(CmLut), 1);
  if (lutBlock == nullptr) {
    MemUnlock(selfBlock);
    MemFree(selfBlock);
    return RC_NO_MEMORY;
  }
  auto* lut = static_cast<CmLut*>(MemLock(lutBlock));
  if (lut == nullptr) {
    MemUnlock(selfBlock);
    MemFree(selfBlock);
    MemFree(lutBlock);
    return RC_LOCK_FAILED;
  }

  instance->selfBlock = selfBlock;
  lut->selfBlock = lutBlock;
  instance->lutBlock = lutBlock;
  instance->lut = lut;
  instance->adjust = adjust;
  instance->params = params;

  // A kind of 0 means "not given": the four-ink diffusion kind with colour
  // mode B 2.
  if (instance->params.kind == 0) {
    instance->params.kind = 3;
    instance->adjust.field[kColorModeB] = 2;
  }

  // Table mode, each rule applied to the result of the one before, so colour
  // mode A 4 overrides everything and B 2 or A 1 both give 4.
  instance->tableMode = static_cast<int16_t>(instance->adjust.field[kColorModeB]);
  if (instance->adjust.field[kColorModeB] == 2) instance->tableMode = 4;
  if (instance->adjust.field[kColorModeA] == 1) instance->tableMode = 4;
  if (instance->adjust.field[kColorModeA] == 4) {
    instance->tableMode = 0;
    instance->adjust.field[kColorModeB] = 0;
  }

  instance->loadState = 1;
  *outInstance = instance;
  return RC_OK;
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
