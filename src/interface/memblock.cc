#include "interface/memblock.h"

#include <atomic>
#include <cstdlib>
#include <cstring>

#include "vantik/vantik.h"

namespace vantik {
namespace {

// Each block carries a small header so that MemFree can tell a live block
// from a stray address and the leak counter stays exact.
constexpr uint64_t kMagicLive = 0x564E544B4C495645ull;  // "VNTKLIVE"
constexpr uint64_t kMagicDead = 0x564E544B44454144ull;  // "VNTKDEAD"

struct alignas(16) BlockHeader {
  uint64_t magic;
  uint64_t bytes;
};

std::atomic<long> g_live{0};
// Fault injection state: the call number that fails, and the calls so far.
std::atomic<int> g_failAt[4];
std::atomic<int> g_calls[4];

bool Inject(MemOp op) {
  const int i = static_cast<int>(op);
  const int n = g_calls[i].fetch_add(1) + 1;
  const int at = g_failAt[i].load();
  return at != 0 && n == at;
}

BlockHeader* HeaderOf(void* block) {
  return reinterpret_cast<BlockHeader*>(static_cast<unsigned char*>(block) -
                                        sizeof(BlockHeader));
}

}  // namespace

void* MemAlloc(size_t bytes, int zeroFill) {
  if (Inject(MemOp::kAlloc)) return nullptr;
  if (bytes > (size_t{1} << 40)) return nullptr;
  auto* raw = static_cast<unsigned char*>(std::malloc(sizeof(BlockHeader) + bytes + 1));
  if (raw == nullptr) return nullptr;
  auto* h = reinterpret_cast<BlockHeader*>(raw);
  h->magic = kMagicLive;
  h->bytes = bytes;
  void* block = raw + sizeof(BlockHeader);
  if (zeroFill != 0) std::memset(block, 0, bytes);
  g_live.fetch_add(1);
  return block;
}

void* MemLock(void* block) {
  if (Inject(MemOp::kLock)) return nullptr;
  return block;
}

int MemUnlock(void* /*block*/) {
  if (Inject(MemOp::kUnlock)) return 1;
  return 0;
}

int MemFree(void* block) {
  if (Inject(MemOp::kFree)) return 1;
  if (block == nullptr) return 1;
  BlockHeader* h = HeaderOf(block);
  if (h->magic != kMagicLive) return 1;
  h->magic = kMagicDead;
  std::free(h);
  g_live.fetch_sub(1);
  return 0;
}

uint32_t MemAllocLockedBlock(size_t bytes, int zeroFill, void** out) {
  *out = nullptr;
  void* block = MemAlloc(bytes, zeroFill);
  if (block == nullptr) return RC_NO_MEMORY;
  if (MemLock(block) == nullptr) {
    MemFree(block);
    return RC_LOCK_FAILED;
  }
  *out = block;
  return RC_OK;
}

uint32_t MemRelease(void* block) {
  if (MemUnlock(block) != 0) {
    MemFree(block);
    return RC_UNLOCK_FAILED;
  }
  return MemFree(block) != 0 ? RC_FREE_FAILED : RC_OK;
}

void MemFailNth(MemOp op, int n) {
  const int i = static_cast<int>(op);
  g_calls[i] = 0;
  g_failAt[i] = n;
}

void MemResetFaults() {
  for (int i = 0; i < 4; ++i) {
    g_failAt[i] = 0;
    g_calls[i] = 0;
  }
}

int MemCallCount(MemOp op) { return g_calls[static_cast<int>(op)].load(); }

long MemLiveBlocks() { return g_live.load(); }

}  // namespace vantik
