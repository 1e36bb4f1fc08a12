// Scratch buffers of an engine A instance.  Every working buffer (screen
// descriptor, line buffer, colour grid copy, the three screen tables, the
// three threshold matrices) is a memory block recorded in a fixed slot table
// so that the instance can release all of them at once.  Buffers are used
// through pointers obtained by locking their blocks; every unlock clears the
// instance's locked flag and the next band refreshes the pointers.
#pragma once

#include <cstddef>
#include <cstdint>

namespace vantik::halftone_a {

struct HalftoneAInstance;

constexpr int kScratchSlots = 20;

struct ScratchSlot {
  void* block;    // null when the slot is free
  uint32_t size;  // bytes asked for
};

// Takes the lowest free slot and allocates a block of size bytes (zero-filled
// when zero is non-zero).  With no free slot: null, nothing allocated.  When
// the allocation fails every occupied slot's block is freed and its slot
// marked free (sizes stay), the working buffers are forgotten, and the result
// is null.
void* ScratchAlloc(HalftoneAInstance& inst, size_t size, int zero);
// Locks a block; on failure unlocks every occupied slot's block, gives null.
void* ScratchLock(HalftoneAInstance& inst, void* block);
// Clears the locked flag, then unlocks the block: 0, or 0x100 when refused.
uint32_t ScratchUnlock(HalftoneAInstance& inst, void* block);
// Unlocks every occupied slot in slot order: the first refusal gives 0x100.
uint32_t UnlockAll(HalftoneAInstance& inst);
// Frees every occupied slot in slot order, marking each free with size 0.
// The first refusal gives 0x100 and the slots after it stay occupied.
uint32_t FreeAll(HalftoneAInstance& inst);
// Locks every working buffer that has a block and stores its pointer, in the
// order matrix 2, matrix 3, matrix 1, line buffer, level table, screen
// descriptor, colour table, colour grid copy, node table; the first failure
// gives 0x100.  Sets the locked flag on success.
uint32_t RefreshPointers(HalftoneAInstance& inst);
// Unlocks every working buffer that has a block (the end of Create and of
// every resource handler).
void UnlockBuffers(HalftoneAInstance& inst);
// Forgets every working buffer (block and pointer) once the slots have been
// freed, so that nothing refers to released memory.
void ForgetBuffers(HalftoneAInstance& inst);

}  // namespace vantik::halftone_a
