#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "colormatch/cm_calibration.h"
#include "colormatch/cm_instance.h"
#include "common/cm_fixtures.h"
#include "interface/memblock.h"
#include "vantik/vantik.h"

namespace vantik::colormatch {
namespace {

using Bytes = std::vector<uint8_t>;

Bytes ToBytes(const std::string& s) { return Bytes(s.begin(), s.end()); }

// The resource set of a small driver: an index naming table block 120 with
// halftone resource 301, the table block, and the calibration blocks.
struct ResourceSet {
  Bytes index = ToBytes(cmfix::MakeIndex(
      {{{120, 301, "K3", "PB", 720, 720, "M4", 1}, {121, 302, "K3", "PB", 360, 360, "M4", 1}}}));
  cmfix::TableRecipe recipe;
  Bytes table = cmfix::MakeTableBlock(recipe);
  Bytes slots = cmfix::CurveSlotBlock({{0x11, 3, 2, 1, 0}, {0x12, 0, 1, 2, 3}});
  Bytes reference = {50, 40, 60, 52};
  Bytes secondIndex = ToBytes(cmfix::MakeIndex(
      {{{140, 0, "K3", "PB", 720, 720, "M0", 1}, {141, 0, "K3", "PB", 720, 720, "M4", 1}}}));
  Bytes curves = cmfix::CurveBlock();
};

class CmSequenceTest : public ::testing::Test {
 protected:
  void SetUp() override {
    MemResetFaults();
    live_ = MemLiveBlocks();
  }
  void TearDown() override {
    MemResetFaults();
    for (CmInstance* inst : made_) CmDeleteThk(inst);
    EXPECT_EQ(MemLiveBlocks(), live_);
  }

  CmInstance* Make(TaggedValueList* list = nullptr,
                   HalftoneParams params = cmfix::DefaultParams()) {
    const ColorAdjustRecord adjust = cmfix::DefaultAdjust();
    int32_t inOut = 0;
    CmHandle h = nullptr;
    EXPECT_EQ(CmNewThk(&adjust, nullptr, nullptr, list, &params, nullptr, nullptr, &inOut, &h),
              RC_OK);
    made_.push_back(static_cast<CmInstance*>(h));
    return made_.back();
  }
  void Forget(CmInstance* inst) { std::erase(made_, inst); }

  // Sends an exactly sized heap copy, through the length-carrying call.
  static uint32_t Send(CmInstance* inst, const Bytes& block, int32_t* inOut) {
    auto copy = std::make_unique<uint8_t[]>(block.size() + 1);
    std::copy(block.begin(), block.end(), copy.get());
    return CmSetResourceWithLength(inst, copy.get(), block.size(), inOut);
  }

  // The legacy call on a copy; the index texts get their terminating zero.
  static uint32_t SendLegacy(CmInstance* inst, const Bytes& block, int32_t* inOut) {
    auto copy = std::make_unique<uint8_t[]>(block.size() + 1);
    std::copy(block.begin(), block.end(), copy.get());
    copy[block.size()] = 0;
    return CmSetResourceThk(inst, copy.get(), inOut);
  }

  ResourceSet res_;
  long live_ = 0;
  std::vector<CmInstance*> made_;
};

TEST_F(CmSequenceTest, IndexStepNamesTheTableBlock) {
  CmInstance* inst = Make();
  int32_t inOut = 0;
  EXPECT_EQ(Send(inst, res_.index, &inOut), RC_OK);
  EXPECT_EQ(inOut, 120);
  EXPECT_EQ(inst->loadState, 2);
  EXPECT_EQ(inst->tableNumber, 120);
  EXPECT_EQ(inst->halftoneNumber, 301);

  // The legacy call reads the same text up to its terminating zero.
  inst = Make();
  std::string text(res_.index.begin(), res_.index.end());
  EXPECT_EQ(CmSetResourceThk(inst, text.c_str(), &inOut), RC_OK);
  EXPECT_EQ(inOut, 120);
}

// After a failed index step nothing more is taken, not even a valid block.
TEST_F(CmSequenceTest, FailedIndexStepEndsTheDialogue) {
  HalftoneParams elsewhere = cmfix::DefaultParams();
  elsewhere.xResolution = 1440;
  struct Case {
    const char* what;
    HalftoneParams params;
    Bytes block;
    int failAlloc, failLock;
    uint32_t code;
    int32_t inOut;
  };
  const Case cases[] = {
      {"no match", elsewhere, res_.index, 0, 0, RC_BAD_RESOURCE, 0},
      {"malformed", cmfix::DefaultParams(), ToBytes("no slash\n"), 0, 0, RC_BAD_RESOURCE, 5},
      {"empty block", cmfix::DefaultParams(), {}, 0, 0, RC_BAD_RESOURCE, 5},
      {"work block", cmfix::DefaultParams(), res_.index, 1, 0, RC_NO_MEMORY, 5},
      {"work block lock", cmfix::DefaultParams(), res_.index, 0, 1, RC_LOCK_FAILED, 5},
  };
  for (const Case& c : cases) {
    CmInstance* inst = Make(nullptr, c.params);
    int32_t inOut = 5;
    MemFailNth(MemOp::kAlloc, c.failAlloc);
    MemFailNth(MemOp::kLock, c.failLock);
    EXPECT_EQ(Send(inst, c.block, &inOut), c.code) << c.what;
    MemResetFaults();
    EXPECT_EQ(inOut, c.inOut) << c.what;
    EXPECT_EQ(inst->loadState, 2) << c.what;
    inOut = 6;
    EXPECT_EQ(Send(inst, res_.index, &inOut), RC_BAD_RESOURCE) << c.what;
    EXPECT_EQ(Send(inst, res_.table, &inOut), RC_BAD_RESOURCE) << c.what;
    EXPECT_EQ(inOut, 6);
    EXPECT_EQ(inst->loadState, 2);
    EXPECT_EQ(inst->lut->tableBlock, nullptr);
  }
  int32_t inOut = 0;
  CmInstance* inst = Make();
  EXPECT_EQ(CmSetResourceWithLength(inst, nullptr, 100, &inOut), RC_BAD_RESOURCE);
  EXPECT_EQ(CmSetResourceWithLength(inst, res_.index.data(), res_.index.size(), nullptr),
            RC_BAD_PARAMETER);
}

TEST_F(CmSequenceTest, TableStepWithoutCalibration) {
  struct Case {
    int32_t renderMode;
    int16_t stride, a, b, c;
  };
  for (Case c : {Case{0, 4, 1, 2, 3}, Case{1, 3, 0, 1, 2}, Case{2, 3, 2, 1, 0},
                 Case{3, 4, 1, 2, 3}, Case{7, 4, 1, 2, 3}}) {
    HalftoneParams params = cmfix::DefaultParams();
    params.renderMode = c.renderMode;
    CmInstance* inst = Make(nullptr, params);
    int32_t inOut = 0;
    ASSERT_EQ(Send(inst, res_.index, &inOut), RC_OK);
    const uint32_t rc = Send(inst, res_.table, &inOut);
    ASSERT_EQ(rc, RC_OK);
    EXPECT_EQ(inOut, -1);
    EXPECT_EQ(inst->loadState, 3);
    EXPECT_EQ(inst->build, nullptr);
    EXPECT_EQ(inst->lut->tableNumber, 120);
    EXPECT_EQ(inst->lut->halftoneNumber, 301);
    EXPECT_EQ(inst->pixelStride, c.stride) << c.renderMode;
    EXPECT_EQ(inst->offsetA, c.a) << c.renderMode;
    EXPECT_EQ(inst->offsetB, c.b) << c.renderMode;
    EXPECT_EQ(inst->offsetC, c.c) << c.renderMode;
    // The dialogue is over.
    const Bytes table(inst->lut->table, inst->lut->table + 27 * 4);
    inOut = 9;
    EXPECT_EQ(Send(inst, res_.slots, &inOut), RC_BAD_RESOURCE);
    EXPECT_EQ(inOut, 9);
    EXPECT_EQ(inst->loadState, 3);
    EXPECT_EQ(Bytes(inst->lut->table, inst->lut->table + 27 * 4), table);
  }
}

// A table block the table step refuses ends the dialogue like any failure.
TEST_F(CmSequenceTest, RefusedTableBlockEndsTheDialogue) {
  cmfix::CalibrationList cal(cmfix::CalibrationRecord(0x12, {50, 50, 50, 50}));
  CmInstance* inst = Make(&cal.list);
  int32_t inOut = 0;
  ASSERT_EQ(Send(inst, res_.index, &inOut), RC_OK);
  const Bytes cut(res_.table.begin(), res_.table.begin() + 100);
  EXPECT_EQ(Send(inst, cut, &inOut), RC_BAD_RESOURCE);
  EXPECT_EQ(inOut, 120);
  EXPECT_EQ(inst->loadState, 3);
  EXPECT_EQ(inst->build, nullptr);
  EXPECT_EQ(Send(inst, res_.table, &inOut), RC_BAD_RESOURCE);
  EXPECT_EQ(inst->lut->tableBlock, nullptr);
  EXPECT_EQ(inOut, 120);
}

// The whole dialogue, with and without a calibration record, on the small
// resource set.  Neutral adjustments, grid positions at the nodes and
// weights of 100 leave the table as the block holds it; the calibration then
// maps every channel through the curve row of its level difference.
TEST_F(CmSequenceTest, CompleteSequences) {
  for (bool legacy : {false, true}) {
    SCOPED_TRACE(legacy ? "legacy call" : "with length");
    auto send = legacy ? SendLegacy : Send;
    CmInstance* plain = Make();
    int32_t inOut = 0;
    ASSERT_EQ(send(plain, res_.index, &inOut), RC_OK);
    const uint32_t rc = send(plain, res_.table, &inOut);
    ASSERT_EQ(rc, RC_OK);
    ASSERT_EQ(inOut, -1);
    const Bytes raw(res_.table.begin() + 76 + 9, res_.table.begin() + 76 + 9 + 27 * 4);
    EXPECT_EQ(Bytes(plain->lut->table, plain->lut->table + raw.size()), raw);

    cmfix::CalibrationList cal(cmfix::CalibrationRecord(0x12, {50, 50, 50, 50}));
    CmInstance* inst = Make(&cal.list);
    ASSERT_EQ(send(inst, res_.index, &inOut), RC_OK);
    ASSERT_EQ(send(inst, res_.table, &inOut), RC_OK);
    EXPECT_EQ(inOut, 980);
    ASSERT_EQ(send(inst, res_.slots, &inOut), RC_OK);
    EXPECT_EQ(inOut, 990);
    ASSERT_EQ(send(inst, res_.reference, &inOut), RC_OK);
    EXPECT_EQ(inOut, 900);
    ASSERT_EQ(send(inst, res_.secondIndex, &inOut), RC_OK);
    EXPECT_EQ(inOut, 140);
    ASSERT_EQ(send(inst, res_.curves, &inOut), RC_OK);
    EXPECT_EQ(inOut, -1);
    EXPECT_EQ(inst->loadState, 7);
    EXPECT_EQ(inst->build, nullptr);

    // Levels 50 against 50, 40, 60, 52: rows 10, 15, 5, 9 (not all within 2).
    const int rows[4] = {10, 15, 5, 9};
    for (size_t i = 0; i < raw.size(); ++i) {
      EXPECT_EQ(inst->lut->table[i], cmfix::CurveValue(rows[i % 4], raw[i])) << i;
    }
    // The tone curve was sampled before the calibration.
    EXPECT_EQ(Bytes(inst->lut->toneCurve, inst->lut->toneCurve + 256),
              Bytes(plain->lut->toneCurve, plain->lut->toneCurve + 256));
    // Translation reads the calibrated table: white is node (2, 2, 2).
    const uint8_t white[4] = {0, 255, 255, 255};
    uint8_t out[4] = {};
    ASSERT_EQ(CmTranslateColorsThk(inst, 1, white, out, 0, nullptr), RC_OK);
    EXPECT_EQ(Bytes(out, out + 4), Bytes(inst->lut->table + 26 * 4, inst->lut->table + 27 * 4));
    EXPECT_EQ(CmGetLutThk(inst), inst->lut);
  }
}

// A missing or malformed calibration record is no error: the dialogue ends
// after the table block and the table is not calibrated.
TEST_F(CmSequenceTest, WithoutAValidCalibrationRecordTwoBlocksEnd) {
  Bytes shortTail = cmfix::CalibrationRecord(0x12, {50, 50, 50, 50});
  shortTail.back() = 0x00;
  cmfix::CalibrationList low(cmfix::CalibrationRecord(0x12, {50, 29, 50, 50}));
  cmfix::CalibrationList high(cmfix::CalibrationRecord(0x12, {50, 50, 71, 50}));
  cmfix::CalibrationList tail(shortTail);
  // Key 7 is read by no one (256 would hand the short record to the preview
  // as its 768-byte curve table).
  TaggedValuePair other{7, low.record.data()};
  TaggedValueList empty{0, &other}, noKey{1, &other};
  for (TaggedValueList* list : {static_cast<TaggedValueList*>(nullptr), &empty, &noKey, &low.list,
                                &high.list, &tail.list}) {
    CmInstance* inst = Make(list);
    int32_t inOut = 0;
    ASSERT_EQ(Send(inst, res_.index, &inOut), RC_OK);
    const uint32_t rc = Send(inst, res_.table, &inOut);
    EXPECT_EQ(rc, RC_OK);
    EXPECT_EQ(inOut, -1);
    EXPECT_EQ(inst->build, nullptr);
    EXPECT_EQ(Send(inst, res_.slots, &inOut), RC_BAD_RESOURCE);
  }
}

// Every allocation and lock of the table step, failed in turn: the step
// fails with the allocation's code (the adjustment pass's included),
// holding nothing more than the table, and the dialogue is over.
TEST_F(CmSequenceTest, TableStepFailures) {
  cmfix::CalibrationList cal(cmfix::CalibrationRecord(0x12, {50, 50, 50, 50}));
  int32_t inOut = 0;
  // Count the step's allocations.
  CmInstance* probe = Make(&cal.list);
  ASSERT_EQ(Send(probe, res_.index, &inOut), RC_OK);
  MemResetFaults();
  const uint32_t rc = Send(probe, res_.table, &inOut);
  ASSERT_EQ(rc, RC_OK);
  const int allocs = MemCallCount(MemOp::kAlloc);
  const int locks = MemCallCount(MemOp::kLock);
  ASSERT_GE(allocs, 3);  // the table, the build record, the curve set

  for (MemOp op : {MemOp::kAlloc, MemOp::kLock}) {
    const int calls = op == MemOp::kAlloc ? allocs : locks;
    for (int n = 1; n <= calls; ++n) {
      SCOPED_TRACE(::testing::Message() << (op == MemOp::kAlloc ? "alloc " : "lock ") << n);
      for (bool calibrated : {false, true}) {
        CmInstance* inst = Make(calibrated ? &cal.list : nullptr);
        ASSERT_EQ(Send(inst, res_.index, &inOut), RC_OK);
        const long before = MemLiveBlocks();
        MemFailNth(op, n);
        inOut = 5;
        const uint32_t code = Send(inst, res_.table, &inOut);
        MemResetFaults();
        EXPECT_EQ(inst->loadState, 3);
        const bool inCalibrationStart = n >= calls - 1;
        if (code == RC_OK) {
          // A run without calibration makes fewer calls: the last two are
          // the calibration start's.
          EXPECT_TRUE(inCalibrationStart && !calibrated);
          EXPECT_EQ(inOut, -1);
          EXPECT_EQ(MemLiveBlocks(), before + 1);
        } else {
          // Every failure ends the step, the adjustment pass's included.
          EXPECT_EQ(code, op == MemOp::kAlloc ? RC_NO_MEMORY : RC_LOCK_FAILED);
          EXPECT_EQ(inOut, 5);
          EXPECT_EQ(inst->build, nullptr);
          EXPECT_EQ(inst->lut->tableBlock == nullptr, n == 1);
          EXPECT_EQ(MemLiveBlocks(), before + (n == 1 ? 0 : 1));
          EXPECT_EQ(Send(inst, res_.slots, &inOut), RC_BAD_RESOURCE);
          EXPECT_EQ(inOut, 5);
        }
      }
    }
  }
}

// Delete releases everything from any point of the dialogue.
TEST_F(CmSequenceTest, DeleteAtEveryState) {
  cmfix::CalibrationList cal(cmfix::CalibrationRecord(0x12, {50, 50, 50, 50}));
  const std::vector<const Bytes*> blocks = {&res_.index,     &res_.table,       &res_.slots,
                                            &res_.reference, &res_.secondIndex, &res_.curves};
  for (size_t steps = 0; steps <= blocks.size(); ++steps) {
    CmInstance* inst = Make(&cal.list);
    int32_t inOut = 0;
    for (size_t i = 0; i < steps; ++i) {
      ASSERT_EQ(Send(inst, *blocks[i], &inOut), RC_OK) << i;
    }
    Forget(inst);
    EXPECT_EQ(CmDeleteThk(inst), RC_OK);
    EXPECT_EQ(MemLiveBlocks(), live_) << steps;
  }
}

}  // namespace
}  // namespace vantik::colormatch
