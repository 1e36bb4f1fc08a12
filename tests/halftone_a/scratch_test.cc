#include "halftone_a/scratch.h"

#include <gtest/gtest.h>

#include "halftone_a/instance_a.h"
#include "interface/memblock.h"

namespace vantik::halftone_a {
namespace {

class ScratchTest : public ::testing::Test {
 protected:
  void SetUp() override {
    MemResetFaults();
    baseline_ = MemLiveBlocks();
  }
  void TearDown() override {
    MemResetFaults();
    FreeAll(inst_);
    EXPECT_EQ(MemLiveBlocks(), baseline_);
  }
  int Occupied() const {
    int n = 0;
    for (const ScratchSlot& s : inst_.slots) n += s.block != nullptr;
    return n;
  }
  HalftoneAInstance inst_{};
  long baseline_ = 0;
};

TEST_F(ScratchTest, TwentyFirstRequestFailsWithoutAllocating) {
  for (int i = 0; i < kScratchSlots; ++i) {
    ASSERT_NE(ScratchAlloc(inst_, 16, 1), nullptr) << i;
  }
  const int allocs = MemCallCount(MemOp::kAlloc);
  EXPECT_EQ(ScratchAlloc(inst_, 16, 1), nullptr);
  EXPECT_EQ(MemCallCount(MemOp::kAlloc), allocs);
  EXPECT_EQ(Occupied(), kScratchSlots);  // a full table is not a failed allocation
}

TEST_F(ScratchTest, FailedAllocationFreesEveryBufferAndForgetsThem) {
  auto* a = static_cast<uint8_t*>(ScratchAlloc(inst_, 10, 1));
  auto* b = static_cast<uint8_t*>(ScratchAlloc(inst_, 20, 1));
  ASSERT_NE(a, nullptr);
  ASSERT_NE(b, nullptr);
  inst_.blocks[kLineBuffer] = inst_.lineBuffer = a;
  inst_.blocks[kMatrix3Buffer] = inst_.matrix3.data = b;
  inst_.matrix3.width = 4;
  EXPECT_EQ(inst_.slots[1].size, 20u);
  MemFailNth(MemOp::kAlloc, 1);
  EXPECT_EQ(ScratchAlloc(inst_, 30, 1), nullptr);
  EXPECT_EQ(Occupied(), 0);
  EXPECT_EQ(MemLiveBlocks(), baseline_);
  EXPECT_EQ(inst_.slots[1].size, 20u);  // sizes are left as they were
  EXPECT_EQ(inst_.lineBuffer, nullptr);
  EXPECT_EQ(inst_.blocks[kMatrix3Buffer], nullptr);
  EXPECT_EQ(inst_.matrix3.width, 0);
  // The first free slot is taken again afterwards.
  EXPECT_NE(ScratchAlloc(inst_, 8, 1), nullptr);
  EXPECT_NE(inst_.slots[0].block, nullptr);
}

TEST_F(ScratchTest, FreeAllOnFreeSlotsAndAfterARefusal) {
  EXPECT_EQ(FreeAll(inst_), RC_OK);
  void* blocks[3];
  for (void*& b : blocks) b = ScratchAlloc(inst_, 8, 1);
  MemFailNth(MemOp::kFree, 2);
  EXPECT_EQ(FreeAll(inst_), RC_FAILURE);
  EXPECT_EQ(inst_.slots[0].block, nullptr);
  EXPECT_EQ(inst_.slots[0].size, 0u);
  EXPECT_EQ(inst_.slots[1].block, blocks[1]);  // refused: stays occupied
  EXPECT_EQ(inst_.slots[2].block, blocks[2]);  // after it: untouched
  EXPECT_EQ(FreeAll(inst_), RC_OK);
}

TEST_F(ScratchTest, UnlockClearsTheLockedFlagAndRefreshSetsIt) {
  auto* p = ScratchAlloc(inst_, 8, 1);
  inst_.blocks[kNodeTableBuffer] = p;
  inst_.locked = 1;
  EXPECT_EQ(ScratchUnlock(inst_, p), RC_OK);
  EXPECT_EQ(inst_.locked, 0);
  EXPECT_EQ(RefreshPointers(inst_), RC_OK);
  EXPECT_EQ(inst_.locked, 1);
  EXPECT_EQ(inst_.nodeTable, p);
  MemFailNth(MemOp::kUnlock, 1);
  EXPECT_EQ(ScratchUnlock(inst_, p), RC_FAILURE);
  EXPECT_EQ(UnlockAll(inst_), RC_OK);
  MemFailNth(MemOp::kUnlock, 1);
  EXPECT_EQ(UnlockAll(inst_), RC_FAILURE);
}

TEST_F(ScratchTest, RefreshLocksInItsOrderAndStopsAtAFailedLock) {
  // Matrix 2 comes first, the node table last: a failure at the second lock
  // leaves the flag clear and reports 0x100.
  void* m2 = ScratchAlloc(inst_, 8, 1);
  void* node = ScratchAlloc(inst_, 8, 1);
  void* line = ScratchAlloc(inst_, 8, 1);
  inst_.blocks[kNodeTableBuffer] = node;
  inst_.blocks[kMatrix2Buffer] = m2;
  inst_.blocks[kLineBuffer] = line;
  MemFailNth(MemOp::kLock, 2);
  EXPECT_EQ(RefreshPointers(inst_), RC_FAILURE);
  EXPECT_EQ(inst_.locked, 0);
  EXPECT_EQ(inst_.matrix2.data, m2);
  EXPECT_EQ(inst_.lineBuffer, nullptr);
  EXPECT_EQ(inst_.nodeTable, nullptr);
}

}  // namespace
}  // namespace vantik::halftone_a
