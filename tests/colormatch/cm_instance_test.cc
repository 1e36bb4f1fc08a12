#include <gtest/gtest.h>

#include <cstring>

#include "colormatch/cm_instance.h"
#include "common/cm_fixtures.h"
#include "interface/memblock.h"
#include "vantik/vantik.h"
#include "interface/params.h"

namespace vantik::colormatch {
namespace {

class CmInstanceTest : public ::testing::Test {
 protected:
  void SetUp() override {
    MemResetFaults();
    live_ = MemLiveBlocks();
  }
  void TearDown() override {
    MemResetFaults();
    EXPECT_EQ(MemLiveBlocks(), live_);
  }
  long live_ = 0;
};

CmInstance* Create(const ColorAdjustRecord& adjust, const HalftoneParams& params) {
  int32_t inOut = 7;
  CmHandle h = nullptr;
  EXPECT_EQ(CmNewThk(&adjust, nullptr, nullptr, adjust.field14, &params, nullptr, nullptr,
                     &inOut, &h),
            RC_OK);
  EXPECT_EQ(inOut, 0);
  return static_cast<CmInstance*>(h);
}

TEST_F(CmInstanceTest, DefaultsAndTableModePrecedence) {
  struct Case {
    int32_t kind, modeA, modeB;
    int32_t wantKind, wantModeB;
    int16_t wantTableMode;
  };
  const Case cases[] = {
      {0, 0, 0, 3, 2, 4},  // kind 0 becomes 3 with colour mode B 2
      {0, 4, 7, 3, 0, 0},  // mode A 4 overrides the kind-0 default
      {3, 4, 2, 3, 0, 0},  // mode A 4 wins over mode B 2
      {3, 1, 7, 3, 7, 4},  // mode A 1 gives 4
      {3, 0, 7, 3, 7, 7},  // mode B taken as it stands
      {3, 0, 2, 3, 2, 4},  // mode B 2 gives 4
      {2, 0, 0x10005, 2, 0x10005, 5},  // low 16 bits of mode B
      {2, 0, -1, 2, -1, -1},
  };
  for (const Case& c : cases) {
    ColorAdjustRecord adjust{};
    adjust.field[kAdjustColorModeA] = c.modeA;
    adjust.field[kAdjustColorModeB] = c.modeB;
    HalftoneParams params{};
    params.kind = c.kind;
    CmInstance* inst = Create(adjust, params);
    ASSERT_NE(inst, nullptr);
    SCOPED_TRACE(::testing::Message() << c.kind << " " << c.modeA << " " << c.modeB);
    EXPECT_EQ(inst->params.kind, c.wantKind);
    EXPECT_EQ(inst->adjust.field[kAdjustColorModeB], c.wantModeB);
    EXPECT_EQ(inst->tableMode, c.wantTableMode);
    EXPECT_EQ(inst->loadState, 1);
    EXPECT_EQ(inst->build, nullptr);
    EXPECT_EQ(CmDeleteThk(inst), RC_OK);
  }
}

TEST_F(CmInstanceTest, CopiesTheCallersRecordsAndArguments) {
  ColorAdjustRecord adjust = cmfix::DefaultAdjust();
  adjust.field[3] = -17;
  TaggedValueList list{0, nullptr};
  HalftoneParams params = cmfix::DefaultParams();
  params.lineWidth = 4960;
  int32_t inOut = 5;
  CmHandle h = nullptr;
  int marker = 0;
  ASSERT_EQ(CmNewThk(&adjust, &marker, nullptr, &list, &params, &marker, nullptr, &inOut, &h),
            RC_OK);
  auto* inst = static_cast<CmInstance*>(h);
  EXPECT_EQ(inst->adjust.field[3], -17);
  EXPECT_EQ(inst->adjust.field12, &marker);
  EXPECT_EQ(inst->adjust.field14, &list);
  EXPECT_EQ(inst->params.lineWidth, 4960u);
  EXPECT_EQ(inst->params.pointer, &marker);
  EXPECT_EQ(CmDeleteThk(h), RC_OK);
}

TEST_F(CmInstanceTest, FreshLutIsZeroButItsSelfBlock) {
  CmInstance* inst = Create(cmfix::DefaultAdjust(), cmfix::DefaultParams());
  CmLut* lut = CmGetLutThk(inst);
  ASSERT_NE(lut, nullptr);
  EXPECT_EQ(lut, inst->lut);
  EXPECT_EQ(lut->selfBlock, static_cast<void*>(lut));
  CmLut zero{};
  zero.selfBlock = lut->selfBlock;
  EXPECT_EQ(std::memcmp(lut, &zero, sizeof zero), 0);
  EXPECT_EQ(CmDeleteThk(inst), RC_OK);
}

TEST_F(CmInstanceTest, FailedAllocationLeavesNothingAndNoInstance) {
  struct Case {
    MemOp op;
    int n;
    uint32_t code;
  };
  for (Case c : {Case{MemOp::kAlloc, 1, RC_NO_MEMORY}, Case{MemOp::kLock, 1, RC_LOCK_FAILED},
                 Case{MemOp::kAlloc, 2, RC_NO_MEMORY}, Case{MemOp::kLock, 2, RC_LOCK_FAILED}}) {
    MemResetFaults();
    MemFailNth(c.op, c.n);
    const ColorAdjustRecord adjust = cmfix::DefaultAdjust();
    const HalftoneParams params = cmfix::DefaultParams();
    int32_t inOut = 99;
    CmHandle h = nullptr;
    EXPECT_EQ(CmNewThk(&adjust, nullptr, nullptr, nullptr, &params, nullptr, nullptr, &inOut, &h),
              c.code);
    EXPECT_EQ(inOut, 0);
    EXPECT_EQ(h, nullptr);
    EXPECT_EQ(MemLiveBlocks(), live_) << static_cast<int>(c.op) << " " << c.n;
  }
}

TEST_F(CmInstanceTest, DeleteReleasesTheTableTheLutHolds) {
  CmInstance* inst = Create(cmfix::DefaultAdjust(), cmfix::DefaultParams());
  // A halftone engine may replace the table; delete frees whatever is there.
  void* table = MemAlloc(64, 1);
  inst->lut->tableBlock = table;
  inst->lut->table = static_cast<uint8_t*>(table);
  EXPECT_EQ(CmDeleteThk(inst), RC_OK);
}

TEST_F(CmInstanceTest, DeleteReturnsZeroEvenWhenAReleaseIsRefused) {
  CmInstance* inst = Create(cmfix::DefaultAdjust(), cmfix::DefaultParams());
  void* lutBlock = inst->lutBlock;
  MemFailNth(MemOp::kFree, 1);  // the CmLut block's free is refused
  EXPECT_EQ(CmDeleteThk(inst), RC_OK);
  MemResetFaults();
  EXPECT_EQ(MemFree(lutBlock), 0);  // it was kept alive, not half-freed
}

TEST_F(CmInstanceTest, NullHandles) {
  EXPECT_EQ(CmGetLutThk(nullptr), nullptr);
  EXPECT_EQ(CmDeleteThk(nullptr), RC_BAD_PARAMETER);
  int32_t inOut = 3;
  EXPECT_EQ(CmSetResourceThk(nullptr, "x", &inOut), RC_BAD_PARAMETER);
  EXPECT_EQ(inOut, 3);
}

}  // namespace
}  // namespace vantik::colormatch
