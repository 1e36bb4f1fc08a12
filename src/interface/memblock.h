// Memory blocks: every piece of working memory of the library comes from
// these four operations.  Blocks stay locked from allocation to release, so
// the block reference and the locked address are the same value.
#pragma once

#include <cstddef>
#include <cstdint>

namespace vantik {

// Allocates and locks a block; zero-filled when zeroFill is non-zero.
// Returns null on failure.
void* MemAlloc(size_t bytes, int zeroFill);
// Returns the address unchanged (null when a failure is injected).
void* MemLock(void* block);
// Returns 0 (non-zero when a failure is injected).
int MemUnlock(void* block);
// Frees the block; returns 0, non-zero when the block is unknown, null, or a
// failure is injected.  A refused free keeps the block alive.
int MemFree(void* block);

// The allocate-and-lock step every service takes: *out is the locked block,
// or null with the code of the step that failed (RC_NO_MEMORY when MemAlloc
// fails, RC_LOCK_FAILED when MemLock does; the block is then freed again).
uint32_t MemAllocLockedBlock(size_t bytes, int zeroFill, void** out);
template <typename T>
uint32_t MemAllocLocked(size_t bytes, int zeroFill, T** out) {
  void* block = nullptr;
  const uint32_t code = MemAllocLockedBlock(bytes, zeroFill, &block);
  *out = static_cast<T*>(block);
  return code;
}

// Unlocks and frees a block: RC_UNLOCK_FAILED when unlocking fails (the
// block is freed all the same, so nothing is lost), RC_FREE_FAILED when
// freeing fails, else RC_OK.
uint32_t MemRelease(void* block);

// ---- Test support ---------------------------------------------------------
// Not exported from the shared library; the test suites link the static one.
enum class MemOp { kAlloc = 0, kLock = 1, kUnlock = 2, kFree = 3 };

// Makes the nth call (1-based, counted from now) of op fail; 0 disarms.
void MemFailNth(MemOp op, int n);
// Disarms every injected failure and resets the call counters.
void MemResetFaults();
// Calls of op since the last MemResetFaults().
int MemCallCount(MemOp op);
// Number of blocks allocated and not yet freed.
long MemLiveBlocks();

}  // namespace vantik
