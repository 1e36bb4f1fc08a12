#include "interface/memblock.h"

#include <gtest/gtest.h>

#include "vantik/vantik.h"

namespace vantik {
namespace {

class MemBlockTest : public ::testing::Test {
 protected:
  void SetUp() override { MemResetFaults(); }
  void TearDown() override { MemResetFaults(); }
};

TEST_F(MemBlockTest, ZeroFilledBlockIsZeroAndCounted) {
  const long before = MemLiveBlocks();
  auto* p = static_cast<unsigned char*>(MemAlloc(1000, 1));
  ASSERT_NE(p, nullptr);
  for (int i = 0; i < 1000; ++i) ASSERT_EQ(p[i], 0) << i;
  EXPECT_EQ(MemLock(p), p);
  EXPECT_EQ(MemLiveBlocks(), before + 1);
  EXPECT_EQ(MemUnlock(p), 0);
  EXPECT_EQ(MemFree(p), 0);
  EXPECT_EQ(MemLiveBlocks(), before);
}

TEST_F(MemBlockTest, InjectedFailuresHitOnlyTheNthCall) {
  struct Case { MemOp op; int n; };
  for (Case c : {Case{MemOp::kAlloc, 1}, Case{MemOp::kAlloc, 3},
                 Case{MemOp::kLock, 2}, Case{MemOp::kUnlock, 1},
                 Case{MemOp::kFree, 2}}) {
    MemResetFaults();
    MemFailNth(c.op, c.n);
    int failures = 0;
    for (int i = 1; i <= 4; ++i) {
      void* p = MemAlloc(8, 0);
      bool failed = p == nullptr;
      if (p != nullptr) {
        failed |= MemLock(p) == nullptr;
        failed |= MemUnlock(p) != 0;
        if (MemFree(p) != 0) {
          failed = true;
          MemResetFaults();
          EXPECT_EQ(MemFree(p), 0);  // a refused free leaves the block alive
        }
      }
      failures += failed ? 1 : 0;
    }
    EXPECT_EQ(failures, 1) << static_cast<int>(c.op) << " " << c.n;
  }
}

TEST_F(MemBlockTest, FreeRefusesNull) { EXPECT_NE(MemFree(nullptr), 0); }

// The allocate-lock and unlock-free steps: the code of the step that failed,
// and no block left behind either way.
TEST_F(MemBlockTest, LockedAllocationAndReleaseLeaveNothingOnFailure) {
  struct Case {
    MemOp op;
    uint32_t allocCode, releaseCode;
  };
  for (Case c : {Case{MemOp::kAlloc, RC_NO_MEMORY, RC_OK}, Case{MemOp::kLock, RC_LOCK_FAILED, RC_OK},
                 Case{MemOp::kUnlock, RC_OK, RC_UNLOCK_FAILED},
                 Case{MemOp::kFree, RC_OK, RC_FREE_FAILED}}) {
    MemResetFaults();
    const long live = MemLiveBlocks();
    MemFailNth(c.op, 1);
    uint8_t* p = reinterpret_cast<uint8_t*>(1);
    EXPECT_EQ(MemAllocLocked(16, 1, &p), c.allocCode) << static_cast<int>(c.op);
    if (c.allocCode != RC_OK) {
      EXPECT_EQ(p, nullptr);
    } else {
      ASSERT_NE(p, nullptr);
      EXPECT_EQ(p[15], 0);
      EXPECT_EQ(MemRelease(p), c.releaseCode) << static_cast<int>(c.op);
      if (c.op == MemOp::kFree) {  // a refused free keeps the block: free it now
        MemResetFaults();
        EXPECT_EQ(MemFree(p), 0);
      }
    }
    EXPECT_EQ(MemLiveBlocks(), live) << static_cast<int>(c.op);
  }
}

}  // namespace
}  // namespace vantik
