#include "halftone_a/scratch.h"

#include <cstdint>

#include "halftone_a/instance_a.h"
#include "interface/memblock.h"

namespace vantik::halftone_a {
namespace {

// Where RefreshPointers stores the working pointer of each buffer.
void SetPointer(HalftoneAInstance& inst, int id, void* p) {
  auto* bytes = static_cast<uint8_t*>(p);
  switch (id) {
    case kMatrix2Buffer: inst.matrix2.data = bytes; break;
    case kMatrix3Buffer: inst.matrix3.data = bytes; break;
    case kMatrix1Buffer: inst.matrix1.data = bytes; break;
    case kLineBuffer: inst.lineBuffer = bytes; break;
    case kLevelTableBuffer: inst.levelTable = bytes; break;
    case kScreenBuffer: inst.screen = static_cast<ScreenDescriptor*>(p); break;
    case kColorTableBuffer: inst.colorTable = bytes; break;
    case kGridBuffer: inst.grid = bytes; break;
    case kNodeTableBuffer: inst.nodeTable = bytes; break;
    default: break;
  }
}

}  // namespace

void* ScratchAlloc(HalftoneAInstance& inst, size_t size, int zero) {
  int slot = 0;
  while (slot < kScratchSlots && inst.slots[slot].block != nullptr) ++slot;
  if (slot == kScratchSlots) return nullptr;
  void* block = size <= UINT32_MAX ? MemAlloc(size, zero) : nullptr;
  if (block == nullptr) {
    for (ScratchSlot& s : inst.slots) {
      if (s.block == nullptr) continue;
      MemFree(s.block);
      s.block = nullptr;
    }
    ForgetBuffers(inst);
    return nullptr;
  }
  inst.slots[slot].block = block;
  inst.slots[slot].size = static_cast<uint32_t>(size);
  return block;
}

void* ScratchLock(HalftoneAInstance& inst, void* block) {
  void* p = MemLock(block);
  if (p == nullptr) {
    for (ScratchSlot& s : inst.slots) {
      if (s.block != nullptr) MemUnlock(s.block);
    }
  }
  return p;
}

uint32_t ScratchUnlock(HalftoneAInstance& inst, void* block) {
  inst.locked = 0;
  return MemUnlock(block) == 0 ? RC_OK : RC_FAILURE;
}

uint32_t UnlockAll(HalftoneAInstance& inst) {
  for (ScratchSlot& s : inst.slots) {
    if (s.block != nullptr && MemUnlock(s.block) != 0) return RC_FAILURE;
  }
  return RC_OK;
}

uint32_t FreeAll(HalftoneAInstance& inst) {
  for (ScratchSlot& s : inst.slots) {
    if (s.block == nullptr) continue;
    if (MemFree(s.block) != 0) return RC_FAILURE;
    s.block = nullptr;
    s.size = 0;
  }
  return RC_OK;
}

uint32_t RefreshPointers(HalftoneAInstance& inst) {
  for (int id = 0; id < kBufferCount; ++id) {
    if (inst.blocks[id] == nullptr) continue;
    void* p = ScratchLock(inst, inst.blocks[id]);
    if (p == nullptr) return RC_FAILURE;
    SetPointer(inst, id, p);
  }
  inst.locked = 1;
  return RC_OK;
}

void UnlockBuffers(HalftoneAInstance& inst) {
  for (void* block : inst.blocks) {
    if (block != nullptr) ScratchUnlock(inst, block);
  }
}

void ForgetBuffers(HalftoneAInstance& inst) {
  for (int id = 0; id < kBufferCount; ++id) {
    inst.blocks[id] = nullptr;
    SetPointer(inst, id, nullptr);
  }
  inst.matrix1.width = inst.matrix1.height = 0;
  inst.matrix2.width = inst.matrix2.height = 0;
  inst.matrix3.width = inst.matrix3.height = 0;
  inst.converter = nullptr;
  inst.locked = 0;
}

}  // namespace vantik::halftone_a
