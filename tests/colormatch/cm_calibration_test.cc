#include "colormatch/cm_calibration.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "common/cm_fixtures.h"
#include "interface/memblock.h"

namespace vantik::colormatch {
namespace {

using Bytes = std::vector<uint8_t>;

// Instances with a hand-made 2 x 2 x 2 table of `channels` bytes per node, as
// the table step leaves them, and the calibration started on them.
class CmCalibrationTest : public ::testing::Test {
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

  static uint8_t NodeValue(size_t i) { return static_cast<uint8_t>(i * 37 + 11); }

  CmInstance* Make(int channels, TaggedValueList* list) {
    ColorAdjustRecord adjust = cmfix::DefaultAdjust();
    const HalftoneParams params = cmfix::DefaultParams();
    int32_t inOut = 0;
    CmHandle h = nullptr;
    EXPECT_EQ(CmNewThk(&adjust, nullptr, nullptr, list, &params, nullptr, nullptr, &inOut, &h),
              RC_OK);
    auto* inst = static_cast<CmInstance*>(h);
    made_.push_back(inst);
    CmLut* lut = inst->lut;
    lut->channels = channels;
    lut->gridCountA = lut->gridCountB = lut->gridCountC = 2;
    const size_t bytes = 8 * static_cast<size_t>(channels);
    lut->tableBlock = MemAlloc(bytes, 1);
    lut->table = static_cast<uint8_t*>(lut->tableBlock);
    for (size_t i = 0; i < bytes; ++i) lut->table[i] = NodeValue(i);
    inst->loadState = 3;
    return inst;
  }

  // Starts the calibration of a 4-channel instance whose record has `levels`.
  CmInstance* Started(const Bytes& levels, uint8_t key = 7) {
    lists_.push_back(std::make_unique<cmfix::CalibrationList>(cmfix::CalibrationRecord(key, levels)));
    CmInstance* inst = Make(static_cast<int>(levels.size()), &lists_.back()->list);
    int32_t inOut = 0;
    EXPECT_EQ(CmCalibrationStart(*inst, &inOut), RC_OK);
    EXPECT_EQ(inOut, 980);
    return inst;
  }

  // The dialogue entry with an exactly sized copy of the block.
  static uint32_t Send(CmInstance* inst, const Bytes& block, int32_t* inOut) {
    auto copy = std::make_unique<uint8_t[]>(block.size() + 1);
    std::copy(block.begin(), block.end(), copy.get());
    return CmSetResourceWithLength(inst, copy.get(), block.size(), inOut);
  }

  static Bytes SecondIndex(int curveBlock) {
    cmfix::IndexText t;
    t.lines = {{curveBlock, 0, "K3", "PB", 720, 720, "M0", 1},
               {curveBlock + 1, 0, "K3", "PB", 720, 720, "M4", 1}};
    const std::string s = cmfix::MakeIndex(t);
    return Bytes(s.begin(), s.end());
  }

  long live_ = 0;
  std::vector<CmInstance*> made_;
  std::vector<std::unique_ptr<cmfix::CalibrationList>> lists_;
};

TEST_F(CmCalibrationTest, WithoutAValidRecordTheSequenceEnds) {
  const Bytes good = cmfix::CalibrationRecord(7, {50, 50, 50, 50});
  auto with = [&](size_t at, uint8_t value) {
    Bytes r = good;
    r[at] = value;
    return r;
  };
  struct Case {
    const char* what;
    int32_t count;
    int32_t key;
    bool nullValue;
    Bytes record;
  };
  const Case cases[] = {
      {"empty list", 0, 512, false, good},
      {"negative count", -1, 512, false, good},
      {"no key 512", 1, 256, false, good},
      {"key without a record", 1, 512, true, good},
      {"wrong header", 1, 512, false, with(1, 0x58)},
      {"level 29", 1, 512, false, with(5, 29)},
      {"level 71", 1, 512, false, with(7, 71)},
      {"no 0xFE", 1, 512, false, with(8, 0xFD)},
      {"no 0xFF", 1, 512, false, with(9, 0x00)},
      {"record for 3 channels", 1, 512, false, cmfix::CalibrationRecord(7, {50, 50, 50})},
  };
  for (const Case& c : cases) {
    TaggedValuePair pair{c.key, c.nullValue ? nullptr : const_cast<uint8_t*>(c.record.data())};
    TaggedValueList list{c.count, &pair};
    CmInstance* inst = Make(4, &list);
    int32_t inOut = 0;
    EXPECT_EQ(CmCalibrationStart(*inst, &inOut), RC_OK) << c.what;
    EXPECT_EQ(inOut, -1) << c.what;
    ASSERT_NE(inst->build, nullptr);
    EXPECT_EQ(inst->build->calibStep, 0) << c.what;
    CmReleaseBuild(*inst);
    EXPECT_EQ(inst->build, nullptr);
  }
  CmInstance* inst = Make(4, nullptr);
  int32_t inOut = 0;
  EXPECT_EQ(CmCalibrationStart(*inst, &inOut), RC_OK);
  EXPECT_EQ(inOut, -1);
}

TEST_F(CmCalibrationTest, ValidRecordAsksForBlock980) {
  // Levels at both ends of 30..70; the first pair with key 512 is the one used.
  cmfix::CalibrationList cal(cmfix::CalibrationRecord(7, {30, 70, 50, 31}));
  TaggedValuePair pairs[] = {{1, nullptr}, {512, cal.record.data()}, {512, nullptr}};
  TaggedValueList list{3, pairs};
  CmInstance* inst = Make(4, &list);
  int32_t inOut = 0;
  ASSERT_EQ(CmCalibrationStart(*inst, &inOut), RC_OK);
  EXPECT_EQ(inOut, 980);
  ASSERT_NE(inst->build, nullptr);
  EXPECT_EQ(inst->build->calibStep, 1);
  EXPECT_EQ(inst->build->instance, inst);
  EXPECT_EQ(inst->build->adjust.field14, &list);
  EXPECT_EQ(inst->build->params.xResolution, 720);
}

TEST_F(CmCalibrationTest, MoreThan19ChannelsIsRefused) {
  for (int channels : {19, 20}) {
    lists_.push_back(std::make_unique<cmfix::CalibrationList>(
        cmfix::CalibrationRecord(7, Bytes(static_cast<size_t>(channels), 50))));
    CmInstance* inst = Make(channels, &lists_.back()->list);
    int32_t inOut = 5;
    const uint32_t rc = CmCalibrationStart(*inst, &inOut);
    if (channels == 19) {
      EXPECT_EQ(rc, RC_OK);
      EXPECT_EQ(inOut, 980);
    } else {
      EXPECT_EQ(rc, RC_BAD_RESOURCE);
      EXPECT_EQ(inOut, 5);
      EXPECT_EQ(inst->build, nullptr);
    }
  }
}

TEST_F(CmCalibrationTest, StartFailuresHoldNothing) {
  cmfix::CalibrationList cal(cmfix::CalibrationRecord(7, {50, 50, 50, 50}));
  CmInstance* inst = Make(4, &cal.list);
  const long held = MemLiveBlocks();
  struct Case {
    MemOp op;
    int n;
    uint32_t code;
  };
  for (Case c : {Case{MemOp::kAlloc, 1, RC_NO_MEMORY}, Case{MemOp::kLock, 1, RC_LOCK_FAILED},
                 Case{MemOp::kAlloc, 2, RC_NO_MEMORY}, Case{MemOp::kLock, 2, RC_LOCK_FAILED}}) {
    MemResetFaults();
    MemFailNth(c.op, c.n);
    int32_t inOut = 5;
    EXPECT_EQ(CmCalibrationStart(*inst, &inOut), c.code);
    EXPECT_EQ(inOut, 5);
    EXPECT_EQ(inst->build, nullptr);
    EXPECT_EQ(MemLiveBlocks(), held);
  }
}

TEST_F(CmCalibrationTest, CurveSlotRecords) {
  struct Case {
    const char* what;
    std::vector<Bytes> records;
    Bytes slots;
  };
  const Case cases[] = {
      {"no record for the key", {{8, 3, 2, 1, 0}, {}}, {0, 1, 2, 3}},
      {"matching record", {{8, 0, 0, 0, 0}, {7, 3, 2, 1, 0}}, {3, 2, 1, 0}},
      {"last match wins", {{7, 3, 2, 1, 0}, {}, {7, 1, 1, 2, 2}, {9}}, {1, 1, 2, 2}},
      {"longer record, 20 bytes", {{7, 2, 2, 2, 2, 9, 9, 9, 9, 9, 9, 9, 9, 9, 9, 9, 9, 9, 9, 9}},
       {2, 2, 2, 2}},
      {"0xFF inside a record", {{8, 0xFF}, {7, 0, 1, 0, 1}}, {0, 1, 0, 1}},
  };
  for (const Case& c : cases) {
    CmInstance* inst = Started({40, 41, 42, 43});
    int32_t inOut = 0;
    ASSERT_EQ(Send(inst, cmfix::CurveSlotBlock(c.records), &inOut), RC_OK) << c.what;
    EXPECT_EQ(inOut, 990);
    EXPECT_EQ(inst->loadState, 4);
    const CmBuildRecord& b = *inst->build;
    EXPECT_EQ(b.calibStep, 2);
    EXPECT_EQ(Bytes(b.curveSlot, b.curveSlot + 4), c.slots) << c.what;
    EXPECT_EQ(Bytes(b.userLevel, b.userLevel + 4), (Bytes{40, 41, 42, 43}));
  }
}

// A malformed block 980 is refused whole: the build record keeps its state
// and the dialogue is over.
TEST_F(CmCalibrationTest, MalformedCurveSlotBlocks) {
  Bytes longRecord(21, 9);
  longRecord[0] = 8;
  const Bytes valid = cmfix::CurveSlotBlock({{7, 3, 2, 1, 0}});
  struct Case {
    const char* what;
    Bytes block;
  };
  const Case cases[] = {
      {"slot equal to channels", cmfix::CurveSlotBlock({{7, 0, 1, 4, 2}})},
      {"slot 0xFF", cmfix::CurveSlotBlock({{7, 0, 1, 0xFF, 2}})},
      {"record of 21 bytes", cmfix::CurveSlotBlock({longRecord})},
      {"matching record too short", cmfix::CurveSlotBlock({{7, 0, 1, 2}})},
      {"no end byte", Bytes(valid.begin(), valid.end() - 1)},
      {"cut inside a record", Bytes(valid.begin(), valid.begin() + 3)},
      {"empty", {}},
  };
  for (const Case& c : cases) {
    CmInstance* inst = Started({40, 41, 42, 43});
    int32_t inOut = 5;
    EXPECT_EQ(Send(inst, c.block, &inOut), RC_BAD_RESOURCE) << c.what;
    EXPECT_EQ(inOut, 5);
    const CmBuildRecord& b = *inst->build;
    EXPECT_EQ(b.calibStep, 1);
    EXPECT_EQ(Bytes(b.curveSlot, b.curveSlot + 4), Bytes(4, 0)) << c.what;
    EXPECT_EQ(Bytes(b.userLevel, b.userLevel + 4), Bytes(4, 0)) << c.what;
    // Nothing further is taken; the state stays where the failure left it.
    EXPECT_EQ(Send(inst, valid, &inOut), RC_BAD_RESOURCE);
    EXPECT_EQ(inOut, 5);
    EXPECT_EQ(inst->loadState, 4);
    EXPECT_EQ(b.calibStep, 1);
  }
}

TEST_F(CmCalibrationTest, ReferenceLevelsAndSecondIndex) {
  CmInstance* inst = Started({40, 41, 42, 43});
  int32_t inOut = 0;
  ASSERT_EQ(Send(inst, cmfix::CurveSlotBlock({}), &inOut), RC_OK);
  EXPECT_EQ(Send(inst, {1, 2, 3}, &inOut), RC_BAD_RESOURCE);  // short block 990
  EXPECT_EQ(inOut, 990);
  EXPECT_EQ(inst->build->calibStep, 2);

  inst = Started({40, 41, 42, 43});
  ASSERT_EQ(Send(inst, cmfix::CurveSlotBlock({}), &inOut), RC_OK);
  ASSERT_EQ(Send(inst, {60, 61, 62, 63}, &inOut), RC_OK);
  EXPECT_EQ(inOut, 900);
  EXPECT_EQ(Bytes(inst->build->referenceLevel, inst->build->referenceLevel + 4),
            (Bytes{60, 61, 62, 63}));
  // The second index is read with the adjustments of the table step and
  // table mode 0.
  inst->adjust.field[7] = 55;
  ASSERT_EQ(Send(inst, SecondIndex(950), &inOut), RC_OK);
  EXPECT_EQ(inOut, 950);
  EXPECT_EQ(inst->tableMode, 0);
  EXPECT_EQ(inst->adjust.field[7], 1);
  EXPECT_EQ(inst->build->calibStep, 4);
  EXPECT_EQ(inst->loadState, 6);
}

TEST_F(CmCalibrationTest, SecondIndexFailures) {
  cmfix::IndexText none;
  none.lines = {{950, 0, "K3", "PB", 720, 720, "M4", 1}};
  const std::string noMatch = cmfix::MakeIndex(none);
  struct Case {
    const char* what;
    Bytes block;
    int fail;  // allocation (> 0) or lock (< 0) to fail, 0 for none
    uint32_t code;
    int32_t inOut;
  };
  const Case cases[] = {
      {"no match", Bytes(noMatch.begin(), noMatch.end()), 0, RC_BAD_RESOURCE, 0},
      {"malformed", Bytes{'n', 'o', '\r', '\n'}, 0, RC_BAD_RESOURCE, 900},
      {"work block", SecondIndex(950), 1, RC_NO_MEMORY, 900},
      {"work block lock", SecondIndex(950), -1, RC_LOCK_FAILED, 900},
  };
  for (const Case& c : cases) {
    CmInstance* inst = Started({40, 41, 42, 43});
    int32_t inOut = 0;
    ASSERT_EQ(Send(inst, cmfix::CurveSlotBlock({}), &inOut), RC_OK);
    ASSERT_EQ(Send(inst, {60, 61, 62, 63}, &inOut), RC_OK);
    if (c.fail > 0) MemFailNth(MemOp::kAlloc, c.fail);
    if (c.fail < 0) MemFailNth(MemOp::kLock, -c.fail);
    EXPECT_EQ(Send(inst, c.block, &inOut), c.code) << c.what;
    MemResetFaults();
    EXPECT_EQ(inOut, c.inOut) << c.what;
    EXPECT_NE(inst->build, nullptr);  // released by delete
    EXPECT_EQ(Send(inst, cmfix::CurveBlock(), &inOut), RC_BAD_RESOURCE);
  }
}

// Row of the curve block that each channel takes, from its user and reference
// levels.
TEST_F(CmCalibrationTest, CurveRows) {
  struct Case {
    const char* what;
    Bytes user, reference;
    std::vector<int> rows;
  };
  const Case cases[] = {
      {"all within 2: middle row", {50, 50, 50, 50}, {48, 52, 50, 51}, {10, 10, 10, 10}},
      {"d 40, 0, 1, 2", {50, 50, 50, 50}, {30, 70, 69, 68}, {20, 0, 0, 1}},
      {"d 21, 19, 23, 22", {50, 50, 50, 50}, {49, 51, 47, 48}, {10, 9, 11, 11}},
      {"far above and below", {70, 30, 70, 30}, {0, 255, 50, 60}, {20, 0, 20, 0}},
      {"d -1", {30, 50, 50, 50}, {51, 50, 50, 50}, {0, 10, 10, 10}},
  };
  for (const Case& c : cases) {
    CmInstance* inst = Started(c.user);
    int32_t inOut = 0;
    ASSERT_EQ(Send(inst, cmfix::CurveSlotBlock({}), &inOut), RC_OK);
    ASSERT_EQ(Send(inst, c.reference, &inOut), RC_OK);
    ASSERT_EQ(Send(inst, SecondIndex(950), &inOut), RC_OK);
    // Stop before the dialogue applies the curves: run the sub-step alone.
    const Bytes curves = cmfix::CurveBlock();
    ByteReader reader(curves.data(), curves.size());
    ASSERT_EQ(CmCalibrationStep(*inst, reader, &inOut), RC_OK);
    EXPECT_EQ(inOut, -1);
    for (int ch = 0; ch < 4; ++ch) {
      for (int i : {0, 77, 255}) {
        EXPECT_EQ(inst->build->curves[ch * 256 + i], cmfix::CurveValue(c.rows[ch], i))
            << c.what << " channel " << ch;
      }
    }
  }
}

TEST_F(CmCalibrationTest, WholeCalibrationMapsTheTable) {
  // Channels 1 and 2 both name slot 2: channel 2's curve is kept there, and
  // slot 1, named by no channel, stays zero.
  CmInstance* inst = Started({50, 50, 50, 60}, 0x21);
  int32_t inOut = 0;
  ASSERT_EQ(Send(inst, cmfix::CurveSlotBlock({{0x21, 0, 2, 2, 3}}), &inOut), RC_OK);
  ASSERT_EQ(Send(inst, {50, 30, 70, 60}, &inOut), RC_OK);
  ASSERT_EQ(Send(inst, SecondIndex(950), &inOut), RC_OK);
  const long before = MemLiveBlocks();
  ASSERT_EQ(Send(inst, cmfix::CurveBlock(), &inOut), RC_OK);
  EXPECT_EQ(inOut, -1);
  EXPECT_EQ(inst->loadState, 7);
  EXPECT_EQ(inst->build, nullptr);
  EXPECT_EQ(MemLiveBlocks(), before - 2);
  // Rows: channel 0 d 20 -> 10, channel 2 d 0 -> 0, channel 3 d 20 -> 10.
  const int rowOfSlot[4] = {10, -1, 0, 10};
  for (size_t i = 0; i < 32; ++i) {
    const int slot = static_cast<int>(i % 4);
    const uint8_t want = rowOfSlot[slot] < 0 ? 0 : cmfix::CurveValue(rowOfSlot[slot], NodeValue(i));
    EXPECT_EQ(inst->lut->table[i], want) << i;
  }
  // The dialogue is over: a further block changes nothing.
  const Bytes table(inst->lut->table, inst->lut->table + 32);
  inOut = 3;
  EXPECT_EQ(Send(inst, cmfix::CurveBlock(), &inOut), RC_BAD_RESOURCE);
  EXPECT_EQ(inOut, 3);
  EXPECT_EQ(inst->loadState, 7);
  EXPECT_EQ(Bytes(inst->lut->table, inst->lut->table + 32), table);
}

TEST_F(CmCalibrationTest, ShortCurveBlockIsRefused) {
  CmInstance* inst = Started({50, 50, 50, 50});
  int32_t inOut = 0;
  ASSERT_EQ(Send(inst, cmfix::CurveSlotBlock({}), &inOut), RC_OK);
  ASSERT_EQ(Send(inst, {50, 50, 50, 50}, &inOut), RC_OK);
  ASSERT_EQ(Send(inst, SecondIndex(950), &inOut), RC_OK);
  const Bytes full = cmfix::CurveBlock();
  EXPECT_EQ(Send(inst, Bytes(full.begin(), full.end() - 1), &inOut), RC_BAD_RESOURCE);
  EXPECT_EQ(inOut, 950);
  for (size_t i = 0; i < 32; ++i) EXPECT_EQ(inst->lut->table[i], NodeValue(i));
  for (int i = 0; i < 4 * 256; ++i) ASSERT_EQ(inst->build->curves[i], 0);
}

// Delete releases everything at every point of the calibration.
TEST_F(CmCalibrationTest, DeleteAtEveryStep) {
  const std::vector<Bytes> blocks = {cmfix::CurveSlotBlock({}), {50, 50, 50, 50},
                                     SecondIndex(950), cmfix::CurveBlock()};
  for (size_t steps = 0; steps <= blocks.size(); ++steps) {
    CmInstance* inst = Started({50, 50, 50, 50});
    int32_t inOut = 0;
    for (size_t i = 0; i < steps; ++i) ASSERT_EQ(Send(inst, blocks[i], &inOut), RC_OK);
  }
}

}  // namespace
}  // namespace vantik::colormatch
