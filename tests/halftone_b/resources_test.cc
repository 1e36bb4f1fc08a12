// Engine B creation, the three resource steps, the derived tables and
// release, with every failure code.
#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "common/halftone_b_fixtures.h"
#include "halftone_b/instance_b.h"
#include "halftone_b/resources.h"
#include "interface/memblock.h"

namespace vantik::halftone_b {
namespace {

using testing::DefaultMatrixBlock;
using testing::EngineBSession;
using testing::IdListBlock;
using testing::MakeParams;
using testing::MakeTestLut;
using testing::MatrixBlock;
using testing::NodeBlock;
using testing::TestLut;

HalftoneInstanceB& Inst(const EngineBSession& s) {
  return *static_cast<HalftoneInstanceB*>(s.handle);
}

const int16_t* Table16(const HalftoneInstanceB& inst, int slot) {
  return static_cast<const int16_t*>(inst.slots[slot].data);
}

uint32_t Feed(HalftoneHandle h, const std::vector<uint8_t>& block, int32_t* next) {
  return HalftoneSetResourceWithLength(h, block.data(), block.size(), next);
}

class EngineBResources : public ::testing::Test {
 protected:
  void SetUp() override {
    MemResetFaults();
    baseline_ = MemLiveBlocks();
  }
  void TearDown() override {
    MemResetFaults();
    EXPECT_EQ(MemLiveBlocks(), baseline_) << "memory blocks leaked";
  }
  long baseline_ = 0;
};

// ---- New ----------------------------------------------------------------

TEST_F(EngineBResources, NewChecksItsArguments) {
  TestLut lut = MakeTestLut();
  HalftoneParams p = MakeParams(1, 1);
  int32_t next = 7;
  HalftoneHandle h = nullptr;
  int reserved = 0;
  EXPECT_EQ(HalftoneNewThk(&p, nullptr, lut.get(), &reserved, &next, &h), 0x203u);
  EXPECT_EQ(HalftoneNewThk(&p, nullptr, nullptr, nullptr, &next, &h), 0x202u);
  EXPECT_EQ(h, nullptr);
  EXPECT_EQ(next, 7);

  ASSERT_EQ(HalftoneNewThk(&p, nullptr, lut.get(), nullptr, &next, &h), 0u);
  EXPECT_EQ(next, 500);  // the CmLut's halftone number
  auto& inst = *static_cast<HalftoneInstanceB*>(h);
  EXPECT_EQ(inst.params.kind, 1);
  EXPECT_EQ(inst.lutRecord.weightLight, 350);
  EXPECT_EQ(inst.resourceStep, 0);
  EXPECT_EQ(HalftoneDeleteThk(h), 0u);
}

TEST_F(EngineBResources, ModeDisagreementHandsOutAnInstanceThatOnlyDeletes) {
  TestLut lut = MakeTestLut();
  for (auto [renderMode, lutMode] : {std::pair{0, 1}, std::pair{2, 0}}) {
    HalftoneParams p = MakeParams(1, lutMode, 720, 720, 256, 0, 0, renderMode);
    int32_t next = 0;
    HalftoneHandle h = nullptr;
    EXPECT_EQ(HalftoneNewThk(&p, nullptr, lut.get(), nullptr, &next, &h), 0x201u);
    ASSERT_NE(h, nullptr);
    std::vector<uint8_t> ids = IdListBlock({600, 601});
    EXPECT_EQ(Feed(h, ids, &next), 0x300u);
    EXPECT_EQ(next, -1);
    EXPECT_EQ(HalftoneDeleteThk(h), 0u);
  }
}

// ---- Step 1 ---------------------------------------------------------------

TEST_F(EngineBResources, IdListCases) {
  struct Case {
    std::vector<uint8_t> block;
    uint32_t code;
    int32_t next;
  };
  std::vector<int16_t> fifteen, sixteen;
  for (int16_t i = 0; i < 15; ++i) fifteen.push_back(static_cast<int16_t>(100 + i));
  sixteen = fifteen;
  sixteen.push_back(115);
  std::vector<uint8_t> odd = IdListBlock({600, 601});
  odd.pop_back();
  const Case cases[] = {
      {IdListBlock({}), 0, -1},                   // only the terminator
      {IdListBlock({-5, 601}), 0, -5},            // the first id, sign-extended
      {IdListBlock(fifteen), 0, 100},             // the most a list may hold
      {IdListBlock(sixteen), 0x300, -1},          // a 16th id
      {IdListBlock({600, 601}, false), 0x300, -1},  // no terminator in the block
      {odd, 0x300, -1},                           // block ends inside the terminator
  };
  TestLut lut = MakeTestLut();
  HalftoneParams p = MakeParams(1, 1);
  for (const Case& c : cases) {
    EngineBSession s;
    ASSERT_EQ(HalftoneNewThk(&p, nullptr, lut.get(), nullptr, &s.next, &s.handle), 0u);
    EXPECT_EQ(Feed(s.handle, c.block, &s.next), c.code);
    EXPECT_EQ(s.next, c.next);
  }
}

TEST_F(EngineBResources, FifteenIdsAreKeptWithTheirTerminator) {
  std::vector<int16_t> ids;
  for (int16_t i = 0; i < 15; ++i) ids.push_back(static_cast<int16_t>(100 + i));
  TestLut lut = MakeTestLut();
  HalftoneParams p = MakeParams(1, 1);
  EngineBSession s;
  ASSERT_EQ(HalftoneNewThk(&p, nullptr, lut.get(), nullptr, &s.next, &s.handle), 0u);
  ASSERT_EQ(Feed(s.handle, IdListBlock(ids), &s.next), 0u);
  for (int i = 0; i < 15; ++i) EXPECT_EQ(Inst(s).resourceIds[i], 100 + i);
  EXPECT_EQ(Inst(s).resourceIds[15], -1);
}

TEST_F(EngineBResources, OnlyTerminatorThenStepTwoRefuses) {
  TestLut lut = MakeTestLut();
  HalftoneParams p = MakeParams(1, 1);
  EngineBSession s;
  EXPECT_FALSE(s.Start(p, lut, IdListBlock({}), NodeBlock(), DefaultMatrixBlock()));
  EXPECT_EQ(s.stepCode[0], 0u);
  EXPECT_EQ(s.stepCode[1], 0x300u);
  EXPECT_EQ(s.next, -1);
}

TEST_F(EngineBResources, NextIdDependsOnTheResolutionRatio) {
  TestLut lut = MakeTestLut();
  struct Case {
    int32_t x, y;
    std::vector<int16_t> ids;
    uint32_t step2;
    int32_t next;
  };
  const Case cases[] = {
      {720, 720, {600, 601, 602}, 0, 601},
      {1440, 720, {600, 601, 602}, 0, 602},
      {720, 1440, {600, 601, 602}, 0, 601},
      {720, 720, {600}, 0x300, -1},
      {1440, 720, {600, 601}, 0x300, -1},  // the list ends before entry 2
  };
  for (const Case& c : cases) {
    HalftoneParams p = MakeParams(1, 1, c.x, c.y);
    EngineBSession s;
    ASSERT_EQ(HalftoneNewThk(&p, nullptr, lut.get(), nullptr, &s.next, &s.handle), 0u);
    ASSERT_EQ(Feed(s.handle, IdListBlock(c.ids), &s.next), 0u);
    EXPECT_EQ(Feed(s.handle, NodeBlock(), &s.next), c.step2) << c.x << "x" << c.y;
    EXPECT_EQ(s.next, c.next);
  }
}

TEST_F(EngineBResources, ErrorLinesShareOneBlockOnlyWhenShort) {
  struct Case {
    int32_t kind, variant, lutMode;
    uint32_t lineWidth;
    uint32_t lines;
    bool shared;
  };
  const Case cases[] = {
      {1, 0, 1, 8100, 4, true},    // S = 16320 <= 65535 / 4
      {1, 0, 1, 8130, 4, true},    // S = 16380, the last that fits
      {1, 0, 1, 8132, 4, false},   // S = 16384
      {1, 0, 0, 32707, 1, true},   // S = 65534 <= 65535
      {1, 0, 0, 32708, 1, false},  // S = 65536
      {5, 0, 0, 100, 1, true},
      {-1, 1, 1, 100, 4, true},
      {0, 0, 1, 100, 1, true},
      {0, 2, 1, 100, 1, true},
      {3, 1, 1, 100, 0, false},
      {3, 0, 0, 100, 0, false},
      {0, 0, 0, 100, 0, false},
  };
  TestLut lut = MakeTestLut();
  for (const Case& c : cases) {
    HalftoneParams p = MakeParams(c.kind, c.lutMode, 720, 720, c.lineWidth, c.variant);
    EngineBSession s;
    ASSERT_EQ(HalftoneNewThk(&p, nullptr, lut.get(), nullptr, &s.next, &s.handle), 0u);
    ASSERT_EQ(Feed(s.handle, IdListBlock({600, 601, 602}), &s.next), 0u);
    const HalftoneInstanceB& inst = Inst(s);
    SCOPED_TRACE(::testing::Message() << "kind " << c.kind << " width " << c.lineWidth);
    EXPECT_EQ(inst.lineBufferCount, c.lines);
    const uint32_t size = (2 * c.lineWidth + 120 + 3) & ~3u;
    for (uint32_t i = 0; i < 4; ++i) {
      const MemorySlot& slot = inst.slots[kSlotErrorLine0 + i];
      if (i >= c.lines) {
        EXPECT_EQ(slot.data, nullptr);
        EXPECT_EQ(slot.block, nullptr);
        EXPECT_EQ(slot.size, 0u);
        continue;
      }
      ASSERT_NE(slot.data, nullptr);
      EXPECT_EQ(slot.size, size);
      const auto* line = static_cast<const uint8_t*>(slot.data);
      EXPECT_EQ(line[0], 0);
      EXPECT_EQ(line[size - 1], 0);
      if (c.shared && i > 0) {
        EXPECT_EQ(slot.block, nullptr);
        EXPECT_EQ(line, static_cast<const uint8_t*>(inst.slots[kSlotErrorLine0].data) + i * size);
      } else {
        EXPECT_NE(slot.block, nullptr);
      }
    }
  }
}

// ---- Step 2 ---------------------------------------------------------------

TEST_F(EngineBResources, ToneTableCopiesTheToneCurve) {
  TestLut lut = MakeTestLut();
  for (int i = 0; i < 256; ++i) lut.lut.toneCurve[i] = static_cast<uint8_t>(i / 2 + 3);
  HalftoneParams p = MakeParams(1, 0);
  EngineBSession s;
  ASSERT_TRUE(s.Start(p, lut, IdListBlock({600, 601}), {}, DefaultMatrixBlock()));
  const int16_t* tone = Table16(Inst(s), kSlotToneTable);
  for (int i = 0; i < 256; ++i) ASSERT_EQ(tone[i], i / 2 + 3) << i;
}

TEST_F(EngineBResources, KindZeroResamplesToTheCornersWithoutReadingTheBlock) {
  TestLut lut = MakeTestLut({0, 100, 255});
  HalftoneParams p = MakeParams(0, 1);
  EngineBSession s;
  ASSERT_EQ(HalftoneNewThk(&p, nullptr, lut.get(), nullptr, &s.next, &s.handle), 0u);
  ASSERT_EQ(Feed(s.handle, IdListBlock({600, 601}), &s.next), 0u);
  ASSERT_EQ(HalftoneSetResourceWithLength(s.handle, nullptr, 0, &s.next), 0u);
  EXPECT_EQ(s.next, 601);
  const HalftoneInstanceB& inst = Inst(s);
  const CmLut& copy = inst.lutRecord;
  EXPECT_EQ(copy.gridCountA, 2);
  EXPECT_EQ(copy.gridCountC, 2);
  EXPECT_EQ(copy.gridA[0], 0);
  EXPECT_EQ(copy.gridA[1], 255);
  EXPECT_EQ(copy.gridA[2], 255);  // bytes after the first two keep their values
  EXPECT_EQ(copy.tableBlock, nullptr);
  EXPECT_EQ(copy.table, inst.slots[kSlotSampledLut].data);
  EXPECT_EQ(inst.slots[kSlotSampledLut].size, 32u);
  EXPECT_EQ(lut.lut.gridCountA, 3);  // the caller's record is untouched
  const auto* sampled = static_cast<const uint8_t*>(inst.slots[kSlotSampledLut].data);
  for (int a = 0; a < 2; ++a)
    for (int b = 0; b < 2; ++b)
      for (int c = 0; c < 2; ++c)
        for (int k = 0; k < 4; ++k) {
          const size_t oldNode = ((2 * a * 3 + 2 * b) * 3 + 2 * c) * 4 + k;
          EXPECT_EQ(sampled[((a * 2 + b) * 2 + c) * 4 + k], lut.table[oldNode]);
        }
}

TEST_F(EngineBResources, ThirtyTwoNodeResampleTakesTheBlockPositions) {
  TestLut lut = MakeTestLut();
  HalftoneParams p = MakeParams(1, 1);
  std::vector<uint8_t> positions = testing::EvenNodePositions();
  EngineBSession s;
  ASSERT_TRUE(s.Start(p, lut, IdListBlock({600, 601}), NodeBlock(positions), DefaultMatrixBlock()));
  const CmLut& copy = Inst(s).lutRecord;
  EXPECT_EQ(copy.gridCountA, 32);
  EXPECT_EQ(copy.gridCountB, 32);
  EXPECT_EQ(0, std::memcmp(copy.gridC, positions.data(), 32));
  EXPECT_EQ(Inst(s).slots[kSlotSampledLut].size, 32768u * 4);
  // Channel 0 of the test table is 255 - first-axis position: linear, so
  // the re-sampled node keeps it up to the 1/128 rounding.  Node (8, 0, 0)
  // sits at 8 x 255 / 31 = 65: interval 0, fraction (65 x 128 + 64) / 128.
  const auto* sampled = static_cast<const uint8_t*>(Inst(s).slots[kSlotSampledLut].data);
  EXPECT_EQ(sampled[(8 * 32 * 32) * 4 + 0], 190);  // (63 x 255 + 65 x 127 + 64) >> 7
  EXPECT_EQ(sampled[(31 * 32 * 32 + 31 * 32 + 31) * 4 + 3], 0);
  EXPECT_EQ(sampled[3], 255);
}

TEST_F(EngineBResources, IntervalTableFractions) {
  const uint8_t positions[] = {0, 3, 200, 255};
  IntervalTable it;
  BuildIntervalTable(positions, 4, it);
  struct Case {
    int v, t, f;
  };
  const Case cases[] = {
      {0, 0, 0},     {1, 0, 43},     // (128 + 1) / 3
      {2, 0, 85},    {3, 1, 0},      // (256 + 1) / 3; a node starts its interval
      {101, 1, 64},  {199, 1, 127},  // (98 x 128 + 98) / 197; (196 x 128 + 98) / 197
      {200, 2, 0},   {254, 2, 126},  // (54 x 128 + 27) / 55
      {255, 2, 128},                 // 255 falls into the last interval
  };
  for (const Case& c : cases) {
    EXPECT_EQ(it.interval[c.v], c.t) << c.v;
    EXPECT_EQ(it.fraction[c.v], c.f) << c.v;
  }
}

// Weight of each corner of the cell by the order of the fractions, straight
// from the ordering table: corner bits 4 = first axis, 2 = second, 1 = third.
int CornerWeight(int f1, int f2, int f3, int corner) {
  int w[8] = {0};
  if (f1 >= f2 && f2 >= f3) {
    w[0] = 128 - f1; w[4] = f1 - f2; w[6] = f2 - f3; w[7] = f3;
  } else if (f1 >= f3 && f3 > f2) {
    w[0] = 128 - f1; w[4] = f1 - f3; w[5] = f3 - f2; w[7] = f2;
  } else if (f3 > f1 && f1 >= f2) {
    w[0] = 128 - f3; w[1] = f3 - f1; w[5] = f1 - f2; w[7] = f2;
  } else if (f2 > f1 && f1 >= f3) {
    w[0] = 128 - f2; w[2] = f2 - f1; w[6] = f1 - f3; w[7] = f3;
  } else if (f2 >= f3 && f3 > f1) {
    w[0] = 128 - f2; w[2] = f2 - f3; w[3] = f3 - f1; w[7] = f1;
  } else {  // f3 > f2 > f1
    w[0] = 128 - f3; w[1] = f3 - f2; w[3] = f2 - f1; w[7] = f1;
  }
  return w[corner];
}

TEST_F(EngineBResources, TetrahedralWeightsFollowTheFractionOrder) {
  // Old grid 0, 128, 255: a position v below 128 has fraction v exactly.
  // Light one corner of the first cell at a time; the re-sampled value is
  // that corner's weight x 255 / 128.
  const uint8_t positions[] = {10, 20, 30, 20};
  for (int corner = 0; corner < 8; ++corner) {
    const int ca = corner >> 2 & 1, cb = corner >> 1 & 1, cc = corner & 1;
    TestLut lut = MakeTestLut({0, 128, 255}, 4, 350, 100, 500,
                              [&](int pa, int pb, int pc, int k) -> uint8_t {
                                return k == 0 && pa == 128 * ca && pb == 128 * cb &&
                                               pc == 128 * cc ? 255 : 0;
                              });
    std::vector<uint8_t> out(4 * 4 * 4 * 4);
    ResampleTable(*lut.get(), positions, 4, out.data());
    for (int i = 0; i < 4; ++i)
      for (int j = 0; j < 4; ++j)
        for (int k = 0; k < 4; ++k) {
          const int w = CornerWeight(positions[i], positions[j], positions[k], corner);
          EXPECT_EQ(out[((i * 4 + j) * 4 + k) * 4], (w * 255 + 64) >> 7)
              << "corner " << corner << " at " << int(positions[i]) << ","
              << int(positions[j]) << "," << int(positions[k]);
        }
  }
}

TEST_F(EngineBResources, StepTwoFailures) {
  struct Case {
    const char* what;
    std::function<void(TestLut&)> editLut;
    std::vector<uint8_t> nodes;
    uint32_t code;
  };
  std::vector<uint8_t> even = testing::EvenNodePositions();
  auto withPositions = [&](int at, uint8_t value) {
    std::vector<uint8_t> p = even;
    p[at] = value;
    return NodeBlock(p);
  };
  std::vector<uint8_t> truncated = NodeBlock();
  truncated.pop_back();
  const Case cases[] = {
      {"no table", [](TestLut& t) { t.table.clear(); }, NodeBlock(), 0x201},
      {"three channels", [](TestLut& t) { t.lut.channels = 3; }, NodeBlock(), 0x201},
      {"counts differ", [](TestLut& t) { t.lut.gridCountC = 2; }, NodeBlock(), 0x201},
      {"one node", [](TestLut& t) { t.lut.gridCountA = t.lut.gridCountB = t.lut.gridCountC = 1; },
       NodeBlock(), 0x201},
      {"33 nodes", [](TestLut& t) { t.lut.gridCountA = t.lut.gridCountB = t.lut.gridCountC = 33; },
       NodeBlock(), 0x201},
      {"repeated position", [](TestLut& t) { t.lut.gridB[1] = 0; }, NodeBlock(), 0x201},
      {"node count 31", nullptr, NodeBlock(even, 31), 0x202},
      {"node count 33", nullptr, NodeBlock(even, 33), 0x202},
      {"count only", nullptr, NodeBlock({}), 0x300},
      {"one position short", nullptr, truncated, 0x300},
      {"empty block", nullptr, {}, 0x300},
      {"first position not 0", nullptr, withPositions(0, 1), 0x300},
      {"last position not 255", nullptr, withPositions(31, 254), 0x300},
      {"repeated node", nullptr, withPositions(5, even[4]), 0x300},
      {"falling node", nullptr, withPositions(5, 2), 0x300},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    TestLut lut = MakeTestLut();
    if (c.editLut) c.editLut(lut);
    HalftoneParams p = MakeParams(1, 1);
    EngineBSession s;
    EXPECT_FALSE(s.Start(p, lut, IdListBlock({600, 601}), c.nodes, DefaultMatrixBlock()));
    EXPECT_EQ(s.stepCode[1], c.code);
    EXPECT_EQ(s.next, -1);
    // Everything the steps took is released; the CmLut copy is unchanged.
    for (const MemorySlot& slot : Inst(s).slots) EXPECT_EQ(slot.block, nullptr);
    EXPECT_EQ(Inst(s).lutRecord.gridCountA, lut.lut.gridCountA);
    // The instance accepts nothing more.
    std::vector<uint8_t> matrix = DefaultMatrixBlock();
    EXPECT_EQ(Feed(s.handle, matrix, &s.next), 0x300u);
    uint8_t plane[4] = {0};
    uint8_t pixels[16] = {0};
    EXPECT_EQ(HalftoneThk(s.handle, pixels, plane, 1, 0, 4, 0, 0, 0, 0, nullptr), 0x300u);
  }
}

TEST_F(EngineBResources, LevelInputNeedsAWalkableFirstAxis) {
  TestLut lut = MakeTestLut();
  lut.lut.gridA[0] = 4;
  HalftoneParams p = MakeParams(3, 0);
  EngineBSession s;
  EXPECT_FALSE(s.Start(p, lut));
  EXPECT_EQ(s.stepCode[1], 0x201u);
}

// ---- Step 3 ---------------------------------------------------------------

TEST_F(EngineBResources, SpreadLimitRows) {
  struct Case {
    int32_t kind, x, y, weightLight;
    int32_t limits[4];
  };
  const Case cases[] = {
      {1, 720, 720, 250, {32, 9, 4, 2}},     {1, 360, 360, 350, {37, 20, 5, 2}},
      {1, 1440, 1440, 500, {55, 22, 8, 3}},  {1, 1440, 720, 250, {30, 8, 5, 2}},
      {1, 1440, 720, 350, {35, 18, 6, 3}},   {1, 1440, 720, 500, {52, 20, 9, 4}},
      {4, 1440, 720, 250, {56, 22, 11, 4}},  // kind other than 1 at 1440 x 720
      {1, 720, 360, 350, {59, 27, 12, 5}},   // kind 1, same ratio, other pair
      {0, 1440, 720, 500, {60, 32, 14, 7}},  {1, 360, 720, 250, {40, 23, 6, 1}},
      {3, 720, 1440, 350, {47, 30, 13, 2}},  {1, 180, 360, 500, {63, 39, 14, 3}},
  };
  for (const Case& c : cases) {
    TestLut lut = MakeTestLut({0, 128, 255}, 4, c.weightLight);
    HalftoneParams p = MakeParams(c.kind, 1, c.x, c.y);
    EngineBSession s;
    ASSERT_TRUE(s.Start(p, lut)) << c.kind << " " << c.x << "x" << c.y;
    const HalftoneInstanceB& inst = Inst(s);
    const int32_t got[4] = {inst.dotParam0, inst.dotParam1, inst.dotParam2, inst.dotParam3};
    for (int i = 0; i < 4; ++i) EXPECT_EQ(got[i], c.limits[i]) << c.x << "x" << c.y << " " << i;
  }
}

// The ratio tests double a 32-bit field, wrapping around, as the kernel
// choice does.
TEST_F(EngineBResources, ResolutionRatiosWrapAtThirtyTwoBits) {
  int32_t limits[4] = {};
  HalftoneParams p = MakeParams(1, 1, INT32_MIN, 0);  // 0 = 2 x INT32_MIN
  ASSERT_EQ(SpreadLimits(p, 250, limits), 0u);
  EXPECT_EQ(limits[0], 40);  // the tall row
  p = MakeParams(1, 1, INT32_MIN, 0x40000000);  // x = 2 x y after the wrap
  ASSERT_EQ(SpreadLimits(p, 250, limits), 0u);
  EXPECT_EQ(limits[0], 56);  // the wide row

  HalftoneInstanceB inst{};
  inst.params = p;
  const int16_t ids[] = {600, 601, 602, -1};
  std::memcpy(inst.resourceIds, ids, sizeof ids);
  EXPECT_EQ(NextResourceId(inst), 602);
  inst.params.yResolution = 0x40000001;
  EXPECT_EQ(NextResourceId(inst), 601);
}

TEST_F(EngineBResources, StepThreeFailures) {
  struct Case {
    const char* what;
    int32_t x, y, weightLight, weightFull;
    std::vector<uint8_t> matrix;
    uint32_t code;
  };
  std::vector<uint8_t> shortCells = DefaultMatrixBlock(4, 4);
  shortCells.pop_back();
  std::vector<uint8_t> wide = MatrixBlock(2, 4, std::vector<int16_t>(8, 0));
  wide[0] = 4;  // 4 x 4 cells claimed, 2 x 4 present
  const Case cases[] = {
      {"width 0", 720, 720, 350, 100, MatrixBlock(0, 4, {}), 0x300},
      {"height 0", 720, 720, 350, 100, MatrixBlock(4, 0, {}), 0x300},
      {"cells cut short", 720, 720, 350, 100, shortCells, 0x300},
      {"cells do not fit", 720, 720, 350, 100, wide, 0x300},
      {"header cut short", 720, 720, 350, 100, {4, 4, 2}, 0x300},
      {"empty block", 720, 720, 350, 100, {}, 0x300},
      {"weightLight 300", 720, 720, 300, 100, DefaultMatrixBlock(), 0x300},
      {"no resolution row", 720, 500, 350, 100, DefaultMatrixBlock(), 0x201},
      {"no row beats bad weight", 720, 500, 300, 100, DefaultMatrixBlock(), 0x201},
      {"weightFull 0", 720, 720, 350, 0, DefaultMatrixBlock(), 0x300},
      {"weightFull negative", 720, 720, 250, -40, DefaultMatrixBlock(), 0x300},
      {"weights wrap to negative", 720, 720, 500, 20000, DefaultMatrixBlock(), 0x300},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    TestLut lut = MakeTestLut({0, 128, 255}, 4, c.weightLight, c.weightFull);
    HalftoneParams p = MakeParams(1, 0, c.x, c.y);
    EngineBSession s;
    EXPECT_FALSE(s.Start(p, lut, IdListBlock({600, 601, 602}), {}, c.matrix));
    EXPECT_EQ(s.stepCode[2], c.code);
    EXPECT_EQ(s.next, -1);
    uint8_t plane[4] = {0};
    uint8_t pixels[16] = {0};
    EXPECT_EQ(HalftoneThk(s.handle, pixels, plane, 1, 0, 4, 0, 0, 0, 0, nullptr), 0x300u);
  }
}

TEST_F(EngineBResources, StepFourIsRefusedAndTheInstanceStaysUsable) {
  TestLut lut = MakeTestLut();
  HalftoneParams p = MakeParams(3, 0);
  EngineBSession s;
  ASSERT_TRUE(s.Start(p, lut));
  EXPECT_EQ(s.next, -1);
  std::vector<uint8_t> extra = DefaultMatrixBlock();
  EXPECT_EQ(Feed(s.handle, extra, &s.next), 0x300u);
  EXPECT_EQ(Feed(s.handle, extra, &s.next), 0x300u);
  EXPECT_EQ(Inst(s).resourceStep, 5);
  uint8_t pixels[4] = {255, 255, 255, 255};
  uint8_t plane = 0;
  EXPECT_EQ(HalftoneThk(s.handle, pixels, &plane, 0, 0, 4, 0, 0, 0, 0, nullptr), 0u);
}

TEST_F(EngineBResources, MatrixBlockLayout) {
  // A 4 x 3 matrix with 3 bytes per cell: the block holds 36 bytes of cells
  // and the level table in its last 512 bytes.
  std::vector<int16_t> cells;
  for (int i = 0; i < 12; ++i) cells.push_back(static_cast<int16_t>(i * 100 - 300));
  TestLut lut = MakeTestLut();
  HalftoneParams p = MakeParams(1, 0);
  EngineBSession s;
  ASSERT_TRUE(s.Start(p, lut, IdListBlock({600, 601}), {}, MatrixBlock(4, 3, cells, 3)));
  const HalftoneInstanceB& inst = Inst(s);
  EXPECT_EQ(inst.matrixWidth, 4u);
  EXPECT_EQ(inst.matrixHeight, 3u);
  EXPECT_EQ(inst.matrixCells, 12u);
  const MemorySlot& m = inst.slots[kSlotThresholdMatrix];
  EXPECT_EQ(m.size, 36u + 512u);
  EXPECT_EQ(0, std::memcmp(m.data, cells.data(), 24));
  const auto* base = static_cast<const uint8_t*>(m.data);
  for (int i = 24; i < 36; ++i) EXPECT_EQ(base[i], 0) << "padding byte " << i;
  EXPECT_EQ(inst.slots[kSlotLevelTable].data, base + 36);
  EXPECT_EQ(inst.slots[kSlotLevelTable].block, nullptr);

  const auto* weights = static_cast<const uint8_t*>(inst.slots[kSlotDotWeightTable].data);
  EXPECT_EQ(inst.slots[kSlotDotWeightTable].size, 1536u);
  EXPECT_EQ(inst.slots[kSlotErrorThresholdTable].data, weights + 512);
  EXPECT_EQ(inst.slots[kSlotErrorThresholdTable].size, 512u);
  EXPECT_EQ(inst.slots[kSlotNodeTable].data, weights + 1024);
  EXPECT_EQ(inst.slots[kSlotNodeTable].size, 512u);
}

TEST_F(EngineBResources, LutModeThreeWidensTheWeightBlock) {
  TestLut lut = MakeTestLut();
  HalftoneParams p = MakeParams(1, 3);
  EngineBSession s;
  ASSERT_TRUE(s.Start(p, lut));
  const HalftoneInstanceB& inst = Inst(s);
  const auto* weights = static_cast<const uint8_t*>(inst.slots[kSlotDotWeightTable].data);
  EXPECT_EQ(inst.slots[kSlotDotWeightTable].size, 2048u);
  EXPECT_EQ(inst.slots[kSlotErrorThresholdTable].data, weights + 1024);
  EXPECT_EQ(inst.slots[kSlotErrorThresholdTable].size, 1024u);
  EXPECT_EQ(inst.slots[kSlotNodeTable].data, weights + 1536);
}

TEST_F(EngineBResources, DotWeightAndLevelTables) {
  // L 350, F 100, 16 x 16 matrix (cells >> 8 = 1).
  TestLut lut = MakeTestLut();
  HalftoneParams p = MakeParams(1, 0);
  EngineBSession s;
  ASSERT_TRUE(s.Start(p, lut, IdListBlock({600, 601}), {}, DefaultMatrixBlock()));
  const int16_t* dw = Table16(Inst(s), kSlotDotWeightTable);
  const int16_t* lt = Table16(Inst(s), kSlotLevelTable);
  // DW[0] = ((65025 x 250 + 1) / 255 + 25500) / 100 = (63750 + 25500) / 100.
  EXPECT_EQ(dw[0], 892);
  EXPECT_EQ(dw[1], 887);
  EXPECT_EQ(dw[128], 413);
  EXPECT_EQ(dw[255], 255);
  EXPECT_EQ(lt[0], 0);
  EXPECT_EQ(lt[128], 79);    // 128 x 255 / 413
  EXPECT_EQ(lt[255], 256);   // (256 x 255 - 255) / 255 + 1
}

TEST_F(EngineBResources, LevelTableReadsNegativeForA255By255Matrix) {
  TestLut lut = MakeTestLut();
  HalftoneParams p = MakeParams(1, 0);
  EngineBSession s;
  ASSERT_TRUE(s.Start(p, lut, IdListBlock({600, 601}), {},
                      MatrixBlock(255, 255, std::vector<int16_t>(255 * 255, 7))));
  const int16_t* lt = Table16(Inst(s), kSlotLevelTable);
  EXPECT_EQ(lt[254], static_cast<int16_t>(254 * 254 * 255 / 255));  // 64516 -> -1020
  EXPECT_EQ(lt[254], -1020);
  EXPECT_EQ(lt[255], -511);  // 65025 read as signed 16-bit
  EXPECT_EQ(lt[100], 13218);  // 254 x 100 x 255 / DW[100] = 490
}

// Threshold matrices hold 1 to 255 cells a side (one byte each).  At each
// size the ordered dither sets the dots of the plain rule (a dot where the
// level's threshold is not 0 and the cell at column x AND (width - 1), row
// y mod height, is below it), and every kernel class runs over lines that
// pass the matrix's last column and rows that wrap; the sanitizer builds
// watch their reads.  A side of 0 or cells cut short are refused with 0x300
// and the instance halftones nothing.
TEST_F(EngineBResources, MatrixSidesFromOneTo255) {
  struct Case {
    const char* what;
    int w, h;
    bool cutShort;
  };
  const Case cases[] = {
      {"1 x 1", 1, 1, false},       {"255 x 255", 255, 255, false},
      {"128 x 255", 128, 255, false}, {"255 x 1", 255, 1, false},
      {"0 x 255", 0, 255, false},   {"255 x 0", 255, 0, false},
      {"255 x 255 one byte short", 255, 255, true},
  };
  struct Kernel {
    const char* what;
    int32_t kind, lutMode, x, y, variant;
  };
  const Kernel kernels[] = {
      {"ordered dither", 3, 0, 720, 720, 0},     {"eight colours", 0, 1, 720, 720, 0},
      {"colour dither and diffusion", 3, 1, 720, 720, 0},
      {"colour dither", 3, 1, 720, 720, 1},      {"single ink", 1, 0, 720, 720, 0},
      {"single ink 1440 x 720", 1, 0, 1440, 720, 0},
      {"single ink tall", 1, 0, 720, 1440, 0},   {"four inks", 1, 1, 720, 720, 0},
      {"four inks 1440 x 720", 1, 1, 1440, 720, 0},
      {"four inks tall", 1, 1, 720, 1440, 0},
  };
  constexpr uint32_t kWidth = 600;
  constexpr int32_t kStride = 80;
  std::mt19937 rng(5);
  auto pick = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
  for (const Case& c : cases) {
    const int cells = c.w * c.h;
    std::vector<int16_t> matrixCells(static_cast<size_t>(cells));
    for (int16_t& v : matrixCells) v = static_cast<int16_t>(pick(0, cells));
    std::vector<uint8_t> matrix =
        MatrixBlock(static_cast<uint8_t>(c.w), static_cast<uint8_t>(c.h), matrixCells);
    if (c.cutShort) matrix.pop_back();
    const bool accepted = cells > 0 && !c.cutShort;
    for (const Kernel& k : kernels) {
      SCOPED_TRACE(std::string(c.what) + ", " + k.what);
      TestLut lut = MakeTestLut();
      HalftoneParams p = MakeParams(k.kind, k.lutMode, k.x, k.y, kWidth, k.variant);
      EngineBSession s;
      const bool started = s.Start(p, lut, IdListBlock({600, 601, 602}), NodeBlock(), matrix);
      ASSERT_EQ(started, accepted) << std::hex << s.stepCode[2];
      if (!accepted) {
        EXPECT_EQ(s.stepCode[2], 0x300u);
      }

      std::vector<uint8_t> src(4 * kWidth);
      for (uint8_t& v : src) v = static_cast<uint8_t>(pick(0, 255));
      const int maxRow = c.h > 0 ? c.h : 1;
      for (uint32_t y : {0u, 1u, 2u, uint32_t(maxRow - 1), uint32_t(maxRow), uint32_t(2 * maxRow + 1)}) {
        std::vector<uint8_t> planes(4 * kStride, 0x5A);
        const uint32_t rc = HalftoneThk(s.handle, src.data(), planes.data(), kStride, 0,
                                        kWidth, 0, 0, y, 0, nullptr);
        if (!accepted) {
          EXPECT_EQ(rc, 0x300u);
          EXPECT_EQ(planes, std::vector<uint8_t>(4 * kStride, 0x5A));
          continue;
        }
        ASSERT_EQ(rc, RC_OK) << "row " << y;
        if (k.kind != 3 || k.lutMode != 0) continue;
        const HalftoneInstanceB& inst = Inst(s);
        const int16_t* level = Table16(inst, kSlotLevelTable);
        const int16_t* row = Table16(inst, kSlotThresholdMatrix) + (y % inst.matrixHeight) * inst.matrixWidth;
        for (uint32_t x = 0; x < kWidth; ++x) {
          const int16_t t = level[src[x]];
          const bool dot = t != 0 && row[x & (inst.matrixWidth - 1)] < t;
          ASSERT_EQ((planes[x / 8] >> (7 - x % 8)) & 1, dot ? 1 : 0) << "row " << y << " dot " << x;
        }
      }
    }
  }
}

TEST_F(EngineBResources, LevelInputOfKindsZeroAndThreeMapsTheToneTable) {
  for (int32_t kind : {0, 3, 1}) {
    TestLut lut = MakeTestLut();
    for (int i = 0; i < 256; ++i) lut.lut.toneCurve[i] = static_cast<uint8_t>(255 - i);
    HalftoneParams p = MakeParams(kind, 0);
    EngineBSession s;
    ASSERT_TRUE(s.Start(p, lut, IdListBlock({600, 601}), {}, DefaultMatrixBlock()));
    int16_t dw[256], level[256];
    ASSERT_TRUE(BuildDotWeightTable(350, 100, dw));
    BuildLevelTable(256, dw, level);
    const int16_t* tone = Table16(Inst(s), kSlotToneTable);
    const int16_t* lt = Table16(Inst(s), kSlotLevelTable);
    for (int i = 0; i < 256; ++i) {
      if (kind == 1) {
        ASSERT_EQ(tone[i], 255 - i);
        ASSERT_EQ(lt[i], level[i]);
      } else {
        ASSERT_EQ(tone[i], level[255 - i]) << "kind " << kind << " at " << i;
        ASSERT_EQ(lt[i], tone[i]);
      }
    }
  }
}

TEST_F(EngineBResources, ErrorThresholdEnds) {
  // With every dot weight 255 the weight term is E itself, so only the
  // level term (2560 - 20n) / 128 (truncated toward zero) is added.
  int16_t flat[256];
  for (int16_t& w : flat) w = 255;
  int16_t e[256];
  BuildErrorThresholdTable(flat, e);
  const int16_t low[9] = {41, 44, 47, 50, 53, 56, 58, 61, 64};          // 22..46 + 19 or 18
  const int16_t high[9] = {191, 194, 197, 200, 202, 205, 208, 211, 214};  // 209..233 - 18 or 19
  for (int k = 0; k < 9; ++k) {
    EXPECT_EQ(e[1 + k], low[k]) << 1 + k;
    EXPECT_EQ(e[246 + k], high[k]) << 246 + k;
  }
  EXPECT_EQ(e[0], 128);
  EXPECT_EQ(e[255], 128);
  EXPECT_EQ(e[128], 128);
  EXPECT_EQ(e[10], (128 + 20) / 3 + (2560 - 200) / 128);

  // Real weights: L 350, F 100 gives DW[1] = 887: (632 / 3 + 255) x 22 / 255
  // + 19 = 59.  L 350, F 50 gives DW[254] = 127: (-128 / 3 truncates to -42)
  // -> 213 x 233 / 255 = 194, and -2520 / 128 truncates to -19.
  int16_t dw[256];
  ASSERT_TRUE(BuildDotWeightTable(350, 100, dw));
  BuildErrorThresholdTable(dw, e);
  EXPECT_EQ(e[1], 59);
  ASSERT_TRUE(BuildDotWeightTable(350, 50, dw));
  EXPECT_EQ(dw[254], 127);
  BuildErrorThresholdTable(dw, e);
  EXPECT_EQ(e[254], 175);
}

TEST_F(EngineBResources, NodeTableOnAndBetweenNodes) {
  struct Case {
    int32_t kind, lutMode;
    std::vector<uint8_t> grid;
    int v, node, weight;
  };
  const Case cases[] = {
      {1, 0, {0, 128, 255}, 0, 0, 255},   {1, 0, {0, 128, 255}, 1, 0, 253},
      {1, 0, {0, 128, 255}, 64, 0, 127},  {1, 0, {0, 128, 255}, 127, 0, 1},
      {1, 0, {0, 128, 255}, 128, 1, 255}, {1, 0, {0, 128, 255}, 200, 1, 110},
      {1, 0, {0, 128, 255}, 255, 2, 255},
      {0, 1, {0, 128, 255}, 1, 0, 254},   // kind 0 re-samples to nodes 0, 255
      {0, 1, {0, 128, 255}, 128, 0, 127},
      {0, 1, {0, 128, 255}, 255, 1, 255},
      {1, 1, {0, 128, 255}, 8, 1, 255},   // block positions 0, 8, 16, ...
      {1, 1, {0, 128, 255}, 12, 1, 127},  // (16 - 12) x 255 / 8
  };
  for (const Case& c : cases) {
    TestLut lut = MakeTestLut(c.grid);
    HalftoneParams p = MakeParams(c.kind, c.lutMode);
    EngineBSession s;
    ASSERT_TRUE(s.Start(p, lut));
    const auto* node = static_cast<const uint8_t*>(Inst(s).slots[kSlotNodeTable].data);
    EXPECT_EQ(node[2 * c.v], c.node) << "kind " << c.kind << " v " << c.v;
    EXPECT_EQ(node[2 * c.v + 1], c.weight) << "kind " << c.kind << " v " << c.v;
  }
}

// ---- Memory failures and Delete ------------------------------------------

TEST_F(EngineBResources, EveryAllocationAndLockFailureIsReportedAndReleased) {
  const HalftoneParams setups[] = {
      MakeParams(1, 1, 720, 720, 100),     // four shared error lines, 32-node table
      MakeParams(1, 1, 720, 720, 20000),   // four separate error lines
      MakeParams(3, 0, 720, 720, 100),     // no error lines, tone table
  };
  for (const HalftoneParams& p : setups) {
    for (MemOp op : {MemOp::kAlloc, MemOp::kLock}) {
      const uint32_t expected = op == MemOp::kAlloc ? 0x101u : 0x102u;
      bool reachedEnd = false;
      for (int n = 1; !reachedEnd; ++n) {
        ASSERT_LT(n, 20);
        TestLut lut = MakeTestLut();
        {
          EngineBSession s;
          MemFailNth(op, n);
          reachedEnd = s.Start(p, lut);
          MemResetFaults();
          if (!reachedEnd) {
            const uint32_t codes[4] = {s.newCode, s.stepCode[0], s.stepCode[1], s.stepCode[2]};
            uint32_t first = 0;
            for (uint32_t c : codes) {
              if (c != 0) {
                first = c;
                break;
              }
            }
            EXPECT_EQ(first, expected) << "failure " << n;
            if (s.handle != nullptr) {
              for (const MemorySlot& slot : Inst(s).slots) EXPECT_EQ(slot.block, nullptr);
            }
          }
        }
        EXPECT_EQ(MemLiveBlocks(), baseline_) << "failure " << n;
      }
    }
  }
}

TEST_F(EngineBResources, DeleteReportsUnlockAndFreeFailures) {
  TestLut lut = MakeTestLut();
  HalftoneParams p = MakeParams(1, 1);
  {
    EngineBSession s;
    ASSERT_TRUE(s.Start(p, lut));
    MemFailNth(MemOp::kUnlock, 1);
    EXPECT_EQ(HalftoneDeleteThk(s.handle), 0x103u);
    MemResetFaults();
    // The walk stopped at the failed unlock; a second Delete finishes.
  }
  {
    EngineBSession s;
    ASSERT_TRUE(s.Start(p, lut));
    void* firstOwned = Inst(s).slots[0].block;
    MemFailNth(MemOp::kFree, 1);
    EXPECT_EQ(HalftoneDeleteThk(s.handle), 0x104u);
    MemResetFaults();
    // The walk went on: every other slot is released, the record is not.
    for (const MemorySlot& slot : Inst(s).slots) EXPECT_EQ(slot.block, nullptr);
    EXPECT_EQ(MemFree(firstOwned), 0);  // the block whose free was refused
  }
  {
    EngineBSession s;
    ASSERT_TRUE(s.Start(p, lut));
    const int frees = 5;  // sampled table, one error-line block, matrix, weights, record
    MemFailNth(MemOp::kFree, frees);
    EXPECT_EQ(HalftoneDeleteThk(s.handle), 0x104u);
    MemResetFaults();
  }
  {
    EngineBSession s;
    ASSERT_TRUE(s.Start(p, lut));
    MemFailNth(MemOp::kUnlock, 5);  // the record's own unlock
    EXPECT_EQ(HalftoneDeleteThk(s.handle), 0x103u);
    MemResetFaults();
  }
}

}  // namespace
}  // namespace vantik::halftone_b
