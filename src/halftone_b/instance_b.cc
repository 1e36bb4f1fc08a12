// Engine B instance: creation, the resource dialogue and release.
//
// Refusals that keep malformed input from being read out of bounds, from
// dividing by zero or from reaching the kernels half-built:
//   step 1  an id list that runs past its block                       0x300
//   step 2  the CmLut copy's grid cannot be walked (counts unequal or
//           outside 2..32, positions not rising strictly from 0 to
//           255), or colour input with channels other than 4;
//           all slots are released                                      0x201
//           a colour-node block cut short, or positions not rising
//           strictly from 0 to 255                                      0x300
//   step 3  a matrix block cut short, width or height 0, a dot weight
//           of 0 or below                                               0x300
//   any     a block after a failed New check or step                    0x300
// Runs (dispatch.cc) are refused with 0x300 until all three steps have
// succeeded, and with 0x202 for a first bit outside 0..7.
#include <cstring>

#include "halftone_b/dispatch.h"
#include "halftone_b/instance_b.h"
#include "halftone_b/resources.h"
#include "interface/byte_reader.h"
#include "interface/memblock.h"
#include "interface/services.h"

namespace vantik::halftone_b {

uint32_t AllocSlot(HalftoneInstanceB& instance, int slot, uint32_t size,
                   bool zeroFill) {
  MemorySlot& s = instance.slots[slot];
  s = MemorySlot{};
  void* block = MemAlloc(size, zeroFill ? 1 : 0);
  if (block == nullptr) return RC_NO_MEMORY;
  s.block = block;
  void* data = MemLock(block);
  if (data == nullptr) return RC_LOCK_FAILED;
  s.data = data;
  s.size = size;
  return RC_OK;
}

void ShareSlot(HalftoneInstanceB& instance, int slot, void* data,
               uint32_t size) {
  instance.slots[slot] = MemorySlot{size, data, nullptr};
}

uint32_t ReleaseSlots(HalftoneInstanceB& instance) {
  for (MemorySlot& s : instance.slots) {
    if (s.block != nullptr && s.data != nullptr) {
      if (MemUnlock(s.block) != 0) return RC_UNLOCK_FAILED;
      s.data = nullptr;
    }
  }
  uint32_t code = RC_OK;
  for (MemorySlot& s : instance.slots) {
    if (s.block != nullptr) {
      if (MemFree(s.block) != 0) code = RC_FREE_FAILED;
      s.block = nullptr;
    }
  }
  // Slots that pointed into a released block must not keep its address.
  for (MemorySlot& s : instance.slots) {
    if (s.block == nullptr) s = MemorySlot{};
  }
  return code;
}

uint32_t EngineBNew(const HalftoneParams& params, CmLut* lut, void* reserved,
                    int32_t* inOut, HalftoneHandle* outInstance) {
  if (reserved != nullptr) return RC_BAD_MODE;
  if (lut == nullptr) return RC_BAD_VALUE;
  *inOut = lut->halftoneNumber;

  void* block = MemAlloc(sizeof(HalftoneInstanceB), 1);
  if (block == nullptr) return RC_NO_MEMORY;
  auto* instance = static_cast<HalftoneInstanceB*>(MemLock(block));
  if (instance == nullptr) {
    MemFree(block);
    return RC_LOCK_FAILED;
  }
  *outInstance = instance;
  instance->selfBlock = block;
  instance->params = params;
  std::memcpy(&instance->lutRecord, lut, sizeof(CmLut));
  instance->resourceStep = 0;
  instance->lastEnd = 0;
  instance->lastLine = 0;

  // renderMode must be 0 exactly when lutMode is 0.  The instance is handed
  // out all the same (the caller must delete it) but accepts nothing else.
  if ((params.renderMode == kRenderGray) != (params.lutMode == kLutGray)) {
    instance->loadFailed = 1;
    return RC_BAD_PARAMETER;
  }
  return RC_OK;
}

uint32_t EngineBSetResource(HalftoneHandle handle, const void* data,
                            size_t length, int32_t* inOut) {
  auto* instance = static_cast<HalftoneInstanceB*>(handle);
  const int32_t step = ++instance->resourceStep;
  ByteReader block(data, length);

  if (instance->loadFailed != 0 || step > 3) {
    // After a failed step only Delete is accepted; every block after the
    // matrix is refused too (a ready instance stays usable then).
    *inOut = -1;
    return RC_BAD_RESOURCE;
  }
  uint32_t code;
  if (step == 1) {
    code = LoadIdList(*instance, block, inOut);
  } else if (NextResourceId(*instance) == -1) {
    code = RC_BAD_RESOURCE;
  } else if (step == 2) {
    code = LoadColourTable(*instance, block, inOut);
  } else {
    code = LoadThresholdMatrix(*instance, block, inOut);
  }
  if (code != RC_OK) {
    *inOut = -1;
    instance->loadFailed = 1;
    return code;
  }
  // The parameters never change after New, so the kernel is chosen once,
  // as the instance becomes ready for runs.
  if (step == 3) instance->kernel = ChooseKernel(instance->params);
  instance->stepsLoaded = step;
  return RC_OK;
}

uint32_t EngineBDelete(HalftoneHandle handle) {
  auto* instance = static_cast<HalftoneInstanceB*>(handle);
  const uint32_t code = ReleaseSlots(*instance);
  if (code != RC_OK) return code;
  void* self = instance->selfBlock;
  if (MemUnlock(self) != 0) return RC_UNLOCK_FAILED;
  if (MemFree(self) != 0) return RC_FREE_FAILED;
  return RC_OK;
}

}  // namespace vantik::halftone_b
