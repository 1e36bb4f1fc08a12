// Engine A instance: Create, SetResource, Delete.
//
// Codes of Create: 0x100 for a missing argument or a block not obtained
// (the 25-node re-sampling included); 0x202 for a renderMode outside 0..4;
// 0x201 for a CmLut engine A cannot use (channels not 4, no table, or a grid
// axis that does not start at 0, reach 255 and rise strictly).  A failed
// Create releases everything it took and leaves the caller's CmLut as it was.
#include "halftone_a/instance_a.h"

#include <cstring>

#include "halftone_a/registry.h"
#include "halftone_a/screen_tables.h"
#include "interface/memblock.h"
#include "interface/params.h"
#include "interface/tetrahedral.h"
#include "interface/services.h"

namespace vantik::halftone_a {
namespace {

constexpr int32_t kScreenTableNumber = 300;


bool LutUsable(const CmLut& lut) {
  return lut.channels == 4 && lut.table != nullptr &&
         tetra::AxisUsable(lut.gridA, lut.gridCountA) &&
         tetra::AxisUsable(lut.gridB, lut.gridCountB) &&
         tetra::AxisUsable(lut.gridC, lut.gridCountC);
}

// Hands the re-sampled grid to the CmLut, which owns it from now on; the
// table it held before is released.
void InstallGrid(CmLut& lut, uint8_t* grid) {
  if (lut.tableBlock != nullptr) {
    MemUnlock(lut.tableBlock);
    MemFree(lut.tableBlock);
  }
  for (int i = 0; i < kGridSize; ++i) {
    lut.gridA[i] = lut.gridB[i] = lut.gridC[i] = kNodeLevels[i];
  }
  lut.gridCountA = lut.gridCountB = lut.gridCountC = kGridSize;
  lut.table = grid;
  lut.tableBlock = grid;
}

void ReleaseBlock(void* block) {
  MemUnlock(block);
  MemFree(block);
}

// Releases what a failing Create has taken so far.
uint32_t Abandon(HalftoneAInstance* inst, uint8_t* grid, uint32_t code) {
  if (inst != nullptr) {
    FreeAll(*inst);
    RegistryRelease(inst->registry);
    ReleaseBlock(inst->selfBlock);
  }
  if (grid != nullptr) ReleaseBlock(grid);
  return code;
}

HalftoneAInstance* Instance(HalftoneHandle handle) {
  return static_cast<HalftoneAInstance*>(handle);
}

}  // namespace

uint32_t Create(const HalftoneParams& params, CmLut* lut, int32_t* key,
                HalftoneHandle* out) {
  if (lut == nullptr || key == nullptr || out == nullptr) return RC_FAILURE;
  if (params.renderMode < kRenderGray || params.renderMode > kRenderInks) return RC_BAD_VALUE;
  if (!LutUsable(*lut)) return RC_BAD_PARAMETER;

  uint8_t* grid = ResampleGrid(*lut);
  if (grid == nullptr) return RC_FAILURE;

  HalftoneAInstance* inst = nullptr;
  if (MemAllocLocked(sizeof(HalftoneAInstance), 1, &inst) != RC_OK) {
    return Abandon(nullptr, grid, RC_FAILURE);
  }
  void* block = inst;
  inst->params = params;
  inst->selfBlock = block;
  inst->locked = 0;
  const PixelLayout format = LayoutOf(params.renderMode);
  std::memcpy(inst->channelOffset, format.offsets, sizeof format.offsets);
  inst->bytesPerPixel = format.bytesPerPixel;

  auto* screen = static_cast<ScreenDescriptor*>(
      ScratchAlloc(*inst, sizeof(ScreenDescriptor), 1));
  if (screen == nullptr) return Abandon(inst, grid, RC_FAILURE);
  screen->method = 1;
  inst->blocks[kScreenBuffer] = inst->screen = screen;

  inst->registry = RegistryCreate();
  if (inst->registry == nullptr) return Abandon(inst, grid, RC_FAILURE);

  const uint64_t entries = EntryCount(params.horizontalScale, params.lineWidth);
  auto* line = static_cast<uint8_t*>(ScratchAlloc(*inst, 4 * entries, 1));
  if (line == nullptr) return Abandon(inst, grid, RC_FAILURE);
  inst->blocks[kLineBuffer] = inst->lineBuffer = line;

  const size_t gridBytes = size_t{kGridSize} * kGridSize * kGridSize * 4;
  auto* copy = static_cast<uint8_t*>(ScratchAlloc(*inst, gridBytes, 1));
  if (copy == nullptr) return Abandon(inst, grid, RC_FAILURE);
  std::memcpy(copy, grid, gridBytes);
  inst->blocks[kGridBuffer] = inst->grid = copy;
  inst->gridSize = kGridSize;

  inst->columnPhase = 0;
  inst->rowPhase = 0;
  inst->paramA = static_cast<uint16_t>(lut->tableParam0);
  inst->paramB = static_cast<uint16_t>(lut->tableParam2);
  inst->screenSelector = lut->halftoneNumber;

  if (RegistryRegister(*inst->registry, kScreenTableNumber, 1, inst,
                       ScreenTableHandler) != RC_OK) {
    return Abandon(inst, grid, RC_FAILURE);
  }

  InstallGrid(*lut, grid);
  *out = inst;
  UnlockBuffers(*inst);
  *key = inst->expected = RegistryFirst(*inst->registry);
  return RC_OK;
}

// A resource step that fails releases every scratch buffer; the instance is
// then fit only for Delete, and a later SetResource is refused with 0x200
// without touching anything but the key.
uint32_t SetResource(HalftoneHandle handle, const void* block, size_t length,
                     int32_t* key) {
  HalftoneAInstance* inst = Instance(handle);
  if (inst == nullptr || key == nullptr) return RC_FAILURE;
  if (inst->failed != 0 || inst->expected == -1) {
    *key = -1;
    return RC_REFUSED;
  }
  const uint32_t rc =
      RegistryDispatch(*inst->registry, inst->expected, block, length);
  if (rc != RC_OK) {
    UnlockAll(*inst);
    FreeAll(*inst);
    ForgetBuffers(*inst);
    inst->failed = 1;
    *key = -1;
    return rc;
  }
  *key = inst->expected = RegistryNext(*inst->registry);
  return RC_OK;
}

// Delete releases everything it can even when a release is refused: the
// scratch buffers (a refusal gives 0x100 but the other slots are still
// released), the registry, then the instance block (0x103 or 0x104).
uint32_t Delete(HalftoneHandle handle) {
  HalftoneAInstance* inst = Instance(handle);
  if (inst == nullptr) return RC_FAILURE;
  uint32_t rc = UnlockAll(*inst);
  for (ScratchSlot& slot : inst->slots) {
    if (slot.block == nullptr) continue;
    if (MemFree(slot.block) != 0) {
      rc = RC_FAILURE;
      continue;
    }
    slot.block = nullptr;
    slot.size = 0;
  }
  RegistryRelease(inst->registry);
  void* self = inst->selfBlock;
  const int unlocked = MemUnlock(self);
  const int freed = MemFree(self);
  if (rc != RC_OK) return rc;
  if (unlocked != 0) return RC_UNLOCK_FAILED;
  if (freed != 0) return RC_FREE_FAILED;
  return RC_OK;
}

}  // namespace vantik::halftone_a

namespace vantik {

uint32_t EngineANew(const HalftoneParams& params, CmLut* lut, void* /*reserved*/,
                    int32_t* inOut, HalftoneHandle* outInstance) {
  return halftone_a::Create(params, lut, inOut, outInstance);
}

uint32_t EngineASetResource(HalftoneHandle instance, const void* block,
                            size_t length, int32_t* inOut) {
  return halftone_a::SetResource(instance, block, length, inOut);
}

uint32_t EngineADelete(HalftoneHandle instance) {
  return halftone_a::Delete(instance);
}

}  // namespace vantik
