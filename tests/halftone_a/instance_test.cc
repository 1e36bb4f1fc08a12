// Create, the resource dialogue and Delete of engine A.
#include <gtest/gtest.h>

#include "common/halftone_a_fixtures.h"
#include "halftone_a/instance_a.h"
#include "halftone_a/registry.h"
#include "halftone_a/screen_tables.h"
#include "interface/memblock.h"

namespace vantik::halftone_a {
namespace {

using namespace vantik::testing;

HalftoneAInstance* Inst(const EngineA& e) {
  return static_cast<HalftoneAInstance*>(e.handle);
}

class EngineAInstanceTest : public ::testing::Test {
 protected:
  void SetUp() override {
    MemResetFaults();
    baseline_ = MemLiveBlocks();
  }
  void TearDown() override {
    MemResetFaults();
    EXPECT_EQ(MemLiveBlocks(), baseline_);
  }
  long baseline_ = 0;
};

TEST_F(EngineAInstanceTest, CreateRefusesMissingOrUnusableInputsAndChangesNothing) {
  LutFixture fixture(2, LutFixture::Complement);
  const CmLut before = fixture.lut;
  int32_t key = 77;
  HalftoneHandle out = nullptr;
  const HalftoneParams ok = ParamsA(1);
  // Null arguments: 0x100.
  EXPECT_EQ(Create(ok, nullptr, &key, &out), RC_FAILURE);
  EXPECT_EQ(Create(ok, &fixture.lut, nullptr, &out), RC_FAILURE);
  EXPECT_EQ(Create(ok, &fixture.lut, &key, nullptr), RC_FAILURE);
  // A pixel format outside 0..4: 0x202.
  for (int mode : {-1, 5, 100}) {
    EXPECT_EQ(Create(ParamsA(mode), &fixture.lut, &key, &out), RC_BAD_VALUE) << mode;
  }
  // A CmLut engine A cannot use: 0x201.
  struct Case { const char* what; void (*spoil)(CmLut&); };
  const Case cases[] = {
      {"three channels", [](CmLut& l) { l.channels = 3; }},
      {"no table", [](CmLut& l) { l.table = nullptr; }},
      {"one node", [](CmLut& l) { l.gridCountB = 1; }},
      {"33 nodes", [](CmLut& l) { l.gridCountC = 33; }},
      {"grid not from 0", [](CmLut& l) { l.gridA[0] = 1; }},
      {"grid not to 255", [](CmLut& l) { l.gridC[1] = 254; }},
      {"grid not rising", [](CmLut& l) {
         l.gridCountB = 3;
         l.gridB[1] = 0;
         l.gridB[2] = 255;
       }},
  };
  for (const Case& c : cases) {
    CmLut spoilt = fixture.lut;
    c.spoil(spoilt);
    EXPECT_EQ(Create(ok, &spoilt, &key, &out), RC_BAD_PARAMETER) << c.what;
  }
  EXPECT_EQ(key, 77);
  EXPECT_EQ(out, nullptr);
  EXPECT_EQ(std::memcmp(&before, &fixture.lut, sizeof before), 0);
}

TEST_F(EngineAInstanceTest, CreateResamplesTheCallersLutTo25Nodes) {
  // Two nodes holding (255 - R, 255 - G, 255 - B, 255 - max): tetrahedral
  // interpolation reproduces the first three exactly and black as 255 - max.
  LutFixture fixture(2, LutFixture::Complement, 200, 300, 1);
  uint8_t* oldTable = fixture.lut.table;
  EngineA engine(ParamsA(1), &fixture.lut);
  ASSERT_EQ(engine.createCode, RC_OK);
  EXPECT_EQ(engine.key, 300);
  const CmLut& lut = fixture.lut;
  EXPECT_NE(lut.table, oldTable);
  EXPECT_EQ(lut.table, lut.tableBlock);
  EXPECT_EQ(lut.gridCountA, 25);
  EXPECT_EQ(lut.gridCountB, 25);
  EXPECT_EQ(lut.gridCountC, 25);
  for (int i = 0; i < 25; ++i) {
    EXPECT_EQ(lut.gridA[i], kNodeLevels[i]);
    EXPECT_EQ(lut.gridB[i], kNodeLevels[i]);
    EXPECT_EQ(lut.gridC[i], kNodeLevels[i]);
  }
  for (int i = 0; i < 25; ++i) {
    for (int j = 0; j < 25; ++j) {
      for (int k = 0; k < 25; ++k) {
        const uint8_t* node = lut.table + ((i * 25 + j) * 25 + k) * 4;
        uint8_t expect[4];
        LutFixture::Complement(kNodeLevels[i], kNodeLevels[j], kNodeLevels[k], expect);
        ASSERT_EQ(std::memcmp(node, expect, 4), 0) << i << " " << j << " " << k;
      }
    }
  }
  // The instance keeps its own copy of the new grid.
  EXPECT_EQ(std::memcmp(Inst(engine)->grid, lut.table, 25 * 25 * 25 * 4), 0);
  EXPECT_EQ(Inst(engine)->gridSize, 25);
}

TEST_F(EngineAInstanceTest, ResamplingTruncatesInsideUnevenCells) {
  // Nodes 0, 127, 255: level 128 lies 1/128 into the upper cell.
  LutFixture fixture(3, LutFixture::Complement);
  EngineA engine(ParamsA(4), &fixture.lut);
  ASSERT_EQ(engine.createCode, RC_OK);
  const uint8_t* node = fixture.lut.table + (12 * 25 * 25) * 4;  // (128, 0, 0)
  EXPECT_EQ(node[0], 127);
  EXPECT_EQ(node[1], 255);
  EXPECT_EQ(node[2], 255);
  EXPECT_EQ(node[3], 127);
}

TEST_F(EngineAInstanceTest, CreateTakesOffsetsParametersAndSelector) {
  struct Case { int mode; int off[4]; int bpp; };
  const Case cases[] = {{0, {0, 0, 0, 0}, 1}, {1, {0, 1, 2, 0}, 3},
                        {2, {2, 1, 0, 0}, 3}, {3, {1, 2, 3, 0}, 4},
                        {4, {0, 1, 2, 3}, 4}};
  for (const Case& c : cases) {
    LutFixture fixture(2, LutFixture::Complement, 0x12345, 0x10064, 9);
    EngineA engine(ParamsA(c.mode), &fixture.lut);
    ASSERT_EQ(engine.createCode, RC_OK);
    const HalftoneAInstance* inst = Inst(engine);
    for (int k = 0; k < 4; ++k) EXPECT_EQ(inst->channelOffset[k], c.off[k]) << c.mode;
    EXPECT_EQ(inst->bytesPerPixel, c.bpp);
    EXPECT_EQ(inst->paramA, 0x2345);
    EXPECT_EQ(inst->paramB, 0x0064);
    EXPECT_EQ(inst->screenSelector, 9);
    EXPECT_EQ(inst->screen->method, 1);
    EXPECT_EQ(inst->expected, 300);
    EXPECT_EQ(inst->locked, 0);
  }
}

TEST_F(EngineAInstanceTest, DialogueAsksForTheScreenThenMatricesOneTwoThree) {
  LutFixture fixture(2, LutFixture::Complement);
  EngineA engine(ParamsA(1), &fixture.lut);
  Blocks blocks = StandardBlocks(3);
  blocks[300] = Bytes(ScreenText({ScreenRow(1, 3, 320, 310, 305, 4)}));
  const std::vector<int32_t> expected = {320, 310, 305, -1};
  for (size_t step = 0; step < 4; ++step) {
    const int32_t number = step == 0 ? 300 : expected[step - 1];
    const auto& b = blocks.count(number) ? blocks[number] : blocks[303];
    ASSERT_EQ(HalftoneSetResourceWithLength(engine.handle, b.data(), b.size(), &engine.key),
              RC_OK);
    EXPECT_EQ(engine.key, expected[step]);
  }
  const ScreenDescriptor& screen = *Inst(engine)->screen;
  EXPECT_EQ(screen.method, 3);
  EXPECT_EQ(screen.matrix1, 320);
  EXPECT_EQ(screen.matrix2, 310);
  EXPECT_EQ(screen.matrix3, 305);
  EXPECT_EQ(screen.matrix2Phase, 4);
  // Nothing more is wanted: refused, key -1 again.
  engine.key = 5;
  EXPECT_EQ(HalftoneSetResourceWithLength(engine.handle, blocks[303].data(),
                                          blocks[303].size(), &engine.key),
            RC_REFUSED);
  EXPECT_EQ(engine.key, -1);
}

TEST_F(EngineAInstanceTest, ScreenTableCases) {
  struct Case {
    const char* what;
    std::string text;
    int lutMode;
    uint32_t code;
    int32_t keyAfter;  // when the code is 0
    int32_t method;    // when the code is 0
  };
  const Case cases[] = {
      {"no matrices: done after 300", ScreenText({ScreenRow(1, 2, 0, 0, 0)}), 1, 0, -1, 2},
      {"lutMode 0 forces method 9", ScreenText({ScreenRow(1, 4, 0, 0, 303)}), 0, 0, 303, 9},
      {"selector further down, tabs",
       ScreenText({"5\t1\t0\t0\t0\t0\t", "x ", "1\t\t10 301 302 303 0 "}), 1, 0, 301, 10},
      {"a first token without its blank runs into the next line",
       ScreenText({"x", ScreenRow(1, 1, 0, 0, 0)}), 1, RC_BAD_RESOURCE, 0, 0},
      {"negative selector does not match 1",
       ScreenText({"-1 2 0 0 0 0 ", ScreenRow(1, 6, 0, 0, 0)}), 1, 0, -1, 6},
      {"method 4", ScreenText({ScreenRow(1, 4, 0, 0, 0)}), 1, RC_REFUSED, 0, 0},
      {"method 11", ScreenText({ScreenRow(1, 11, 0, 0, 0)}), 1, RC_REFUSED, 0, 0},
      {"END before the selector", ScreenText({ScreenRow(2, 1, 0, 0, 0)}), 1,
       RC_BAD_RESOURCE, 0, 0},
      {"END line with more text", "h\r\nENDING\r\n" + ScreenRow(1, 1, 0, 0, 0), 1,
       RC_BAD_RESOURCE, 0, 0},
      {"no END line", ScreenText({ScreenRow(2, 1, 0, 0, 0)}, false), 1,
       RC_BAD_RESOURCE, 0, 0},
      {"last token without its blank", "h\r\n1 1 0 0 0 0\r\nEND\r\n", 1,
       RC_BAD_RESOURCE, 0, 0},
      {"empty block", "", 1, RC_BAD_RESOURCE, 0, 0},
      {"token of 256 characters", "h\r\n" + std::string(256, '0') + "1 1 0 0 0 0 \r\nEND\r\n",
       1, RC_BAD_RESOURCE, 0, 0},
      {"token of 255 characters", "h\r\n" + std::string(254, '0') + "1 1 0 0 0 0 \r\nEND\r\n",
       1, 0, -1, 1},
      {"matrix number 299", ScreenText({ScreenRow(1, 1, 0, 0, 299)}), 1, RC_FAILURE, 0, 0},
      {"matrix number 400", ScreenText({ScreenRow(1, 1, 400, 0, 0)}), 1, RC_FAILURE, 0, 0},
      {"matrix number 300 (the screen's own)", ScreenText({ScreenRow(1, 1, 0, 300, 0)}), 1,
       RC_FAILURE, 0, 0},
  };
  for (const Case& c : cases) {
    LutFixture fixture(2, LutFixture::Complement, 200, 300, 1);
    HalftoneParams params = ParamsA(1, c.lutMode);
    EngineA engine(params, &fixture.lut);
    ASSERT_EQ(engine.createCode, RC_OK);
    const long live = MemLiveBlocks();
    const uint32_t rc = HalftoneSetResourceWithLength(engine.handle, c.text.data(),
                                                      c.text.size(), &engine.key);
    EXPECT_EQ(rc, c.code) << c.what;
    if (rc == RC_OK) {
      EXPECT_EQ(engine.key, c.keyAfter) << c.what;
      EXPECT_EQ(Inst(engine)->screen->method, c.method) << c.what;
      EXPECT_EQ(MemLiveBlocks(), live + 3) << c.what;  // the three tables
    } else {
      EXPECT_EQ(engine.key, -1) << c.what;
      EXPECT_LT(MemLiveBlocks(), live) << c.what;  // scratch buffers released
    }
  }
}

TEST_F(EngineAInstanceTest, LegacyFormStopsAtATerminatingNul) {
  // Without a length the text ends at its NUL: no END line, no match, 0x300.
  LutFixture fixture(2, LutFixture::Complement, 200, 300, 1);
  EngineA engine(ParamsA(1), &fixture.lut);
  const std::string text = ScreenText({ScreenRow(2, 1, 0, 0, 0)}, false);
  EXPECT_EQ(HalftoneSetResourceThk(engine.handle, text.c_str(), &engine.key),
            RC_BAD_RESOURCE);
  EngineA good(ParamsA(1), &fixture.lut);
  const std::string ok = ScreenText({ScreenRow(1, 1, 0, 0, 0)});
  EXPECT_EQ(HalftoneSetResourceThk(good.handle, ok.c_str(), &good.key), RC_OK);
  EXPECT_EQ(good.key, -1);
}

TEST_F(EngineAInstanceTest, ScreenParametersThatWouldDivideByZeroAreRefused) {
  for (auto [a, b] : {std::pair{0, 300}, std::pair{70, 300}, std::pair{0x10000, 0}}) {
    LutFixture fixture(2, LutFixture::Complement, a, b, 1);
    EngineA engine(ParamsA(1), &fixture.lut);
    const std::string text = ScreenText({ScreenRow(1, 1, 0, 0, 0)});
    EXPECT_EQ(HalftoneSetResourceWithLength(engine.handle, text.data(), text.size(),
                                            &engine.key),
              RC_REFUSED)
        << a << " " << b;
    EXPECT_EQ(engine.key, -1);
  }
}

TEST_F(EngineAInstanceTest, MatrixBlocks) {
  struct Case {
    const char* what;
    std::vector<uint8_t> block;
    uint32_t code;
    int width, height;
  };
  const std::vector<uint8_t> big(256 * 3, 9);
  const Case cases[] = {
      {"2 x 3", {2, 3, 1, 2, 3, 4, 5, 6}, 0, 2, 3},
      {"255 means 256", MatrixBlock(256, 3, big), 0, 256, 3},
      {"width 0 is accepted", {0, 5}, 0, 0, 5},
      {"one threshold short", {2, 3, 1, 2, 3, 4, 5}, RC_BAD_RESOURCE, 0, 0},
      {"no height byte", {2}, RC_BAD_RESOURCE, 0, 0},
      {"empty", {}, RC_BAD_RESOURCE, 0, 0},
  };
  for (const Case& c : cases) {
    LutFixture fixture(2, LutFixture::Complement, 200, 300, 1);
    EngineA engine(ParamsA(4), &fixture.lut);
    const std::string text = ScreenText({ScreenRow(1, 2, 0, 0, 333)});
    ASSERT_EQ(HalftoneSetResourceWithLength(engine.handle, text.data(), text.size(),
                                            &engine.key),
              RC_OK);
    ASSERT_EQ(engine.key, 333);
    const uint32_t rc = HalftoneSetResourceWithLength(engine.handle, c.block.data(),
                                                      c.block.size(), &engine.key);
    EXPECT_EQ(rc, c.code) << c.what;
    EXPECT_EQ(engine.key, -1) << c.what;
    const ThresholdMatrix& m = Inst(engine)->matrix3;
    if (rc == RC_OK) {
      EXPECT_EQ(m.width, c.width) << c.what;
      EXPECT_EQ(m.height, c.height) << c.what;
      EXPECT_EQ(std::memcmp(m.data, c.block.data() + 2, c.block.size() - 2), 0);
    } else {
      EXPECT_EQ(m.data, nullptr) << c.what;
    }
  }
}

TEST_F(EngineAInstanceTest, TwoMatricesNamingOneNumberBothGoToTheFirst) {
  LutFixture fixture(2, LutFixture::Complement, 200, 300, 1);
  EngineA engine(ParamsA(4), &fixture.lut);
  Blocks blocks;
  blocks[300] = Bytes(ScreenText({ScreenRow(1, 3, 0, 301, 301)}));
  blocks[301] = MatrixBlock(2, 1, {5, 6});
  std::vector<int32_t> keys;
  const auto& screen = blocks[300];
  ASSERT_EQ(HalftoneSetResourceWithLength(engine.handle, screen.data(), screen.size(),
                                          &engine.key),
            RC_OK);
  while (engine.key != -1) {
    keys.push_back(engine.key);
    ASSERT_EQ(HalftoneSetResourceWithLength(engine.handle, blocks[301].data(),
                                            blocks[301].size(), &engine.key),
              RC_OK);
  }
  EXPECT_EQ(keys, (std::vector<int32_t>{301, 301}));
  EXPECT_NE(Inst(engine)->matrix2.data, nullptr);
  EXPECT_EQ(Inst(engine)->matrix3.data, nullptr);
}

TEST_F(EngineAInstanceTest, AfterAFailedStepOnlyDeleteIsAccepted) {
  LutFixture fixture(2, LutFixture::Complement, 200, 300, 1);
  EngineA engine(ParamsA(4), &fixture.lut);
  const std::string text = ScreenText({ScreenRow(1, 2, 0, 0, 500)});
  ASSERT_EQ(HalftoneSetResourceWithLength(engine.handle, text.data(), text.size(),
                                          &engine.key),
            RC_FAILURE);
  EXPECT_EQ(engine.key, -1);
  HalftoneAInstance* inst = Inst(engine);
  EXPECT_EQ(inst->expected, 300);  // the expected number stays
  for (const ScratchSlot& s : inst->slots) EXPECT_EQ(s.block, nullptr);
  const long live = MemLiveBlocks();
  const int allocs = MemCallCount(MemOp::kAlloc);
  engine.key = 300;
  const std::string again = ScreenText({ScreenRow(1, 2, 0, 0, 0)});
  EXPECT_EQ(HalftoneSetResourceWithLength(engine.handle, again.data(), again.size(),
                                          &engine.key),
            RC_REFUSED);
  EXPECT_EQ(engine.key, -1);
  EXPECT_EQ(MemLiveBlocks(), live);
  EXPECT_EQ(MemCallCount(MemOp::kAlloc), allocs);
  uint8_t in[4] = {}, out[4] = {0xAA, 0xAA, 0xAA, 0xAA};
  EXPECT_EQ(engine.Band(in, out, 1, 0, 1, 0, 0), RC_FAILURE);
  EXPECT_EQ(out[0], 0xAA);
  EXPECT_EQ(engine.Release(), RC_OK);
}

TEST_F(EngineAInstanceTest, EveryAllocationFailureGivesItsCodeAndLeavesNothing) {
  // Count the allocations of a full Create and dialogue, then fail each one.
  const Blocks blocks = StandardBlocks(5);
  int total = 0;
  {
    LutFixture fixture(3, LutFixture::Complement);
    MemResetFaults();
    EngineA engine(ParamsA(1), &fixture.lut);
    ASSERT_EQ(engine.Load(blocks), RC_OK);
    total = MemCallCount(MemOp::kAlloc);
  }
  EXPECT_EQ(total, 12);  // grid, instance, 3 scratch, registry, 3 tables, 3 matrices
  for (int n = 1; n <= total; ++n) {
    LutFixture fixture(3, LutFixture::Complement);
    const CmLut before = fixture.lut;
    const long live = MemLiveBlocks();
    MemFailNth(MemOp::kAlloc, n);
    EngineA engine(ParamsA(1), &fixture.lut);
    if (engine.createCode != RC_OK) {
      EXPECT_EQ(engine.createCode, RC_FAILURE) << n;
      EXPECT_EQ(engine.handle, nullptr) << n;
      EXPECT_EQ(MemLiveBlocks(), live) << n;
      EXPECT_EQ(std::memcmp(&before, &fixture.lut, sizeof before), 0) << n;
      MemResetFaults();
      continue;
    }
    EXPECT_EQ(engine.Load(blocks), RC_FAILURE) << n;
    EXPECT_EQ(engine.key, -1) << n;
    for (const ScratchSlot& s : Inst(engine)->slots) EXPECT_EQ(s.block, nullptr) << n;
    MemResetFaults();
    EXPECT_EQ(engine.Release(), RC_OK) << n;
    EXPECT_EQ(MemLiveBlocks(), live) << n;  // the CmLut's table was swapped 1 for 1
  }
}

TEST_F(EngineAInstanceTest, EveryLockFailureIsReportedAndLeavesNothing) {
  const Blocks blocks = StandardBlocks(2);
  std::vector<uint8_t> line(3 * 16, 100), planes(4 * 4, 0);
  int total = 0;
  {
    LutFixture fixture(2, LutFixture::Complement);
    MemResetFaults();
    EngineA engine(ParamsA(1, 1, 0, 16), &fixture.lut);
    ASSERT_EQ(engine.Load(blocks), RC_OK);
    ASSERT_EQ(engine.Band(line.data(), planes.data(), 4, 0, 16, 0, 0), RC_OK);
    total = MemCallCount(MemOp::kLock);
  }
  for (int n = 1; n <= total; ++n) {
    LutFixture fixture(2, LutFixture::Complement);
    const long live = MemLiveBlocks();
    MemFailNth(MemOp::kLock, n);
    EngineA engine(ParamsA(1, 1, 0, 16), &fixture.lut);
    uint32_t rc = engine.createCode;
    if (rc == RC_OK) rc = engine.Load(blocks);
    if (rc == RC_OK) rc = engine.Band(line.data(), planes.data(), 4, 0, 16, 0, 0);
    EXPECT_EQ(rc, RC_FAILURE) << n;
    MemResetFaults();
    if (engine.handle != nullptr) {
      EXPECT_EQ(engine.Release(), RC_OK) << n;
    }
    EXPECT_EQ(MemLiveBlocks(), live) << n;
  }
}

TEST_F(EngineAInstanceTest, DeleteReleasesWhatItCanWhenAReleaseIsRefused) {
  EXPECT_EQ(Delete(nullptr), RC_FAILURE);
  struct Case { MemOp op; int n; uint32_t code; bool strayScratch; bool strayInstance; };
  // Delete's calls: unlocks of the 9 scratch buffers, then their frees, the
  // registry's unlock and free (10th), the instance's unlock and free (11th).
  const Case cases[] = {
      {MemOp::kUnlock, 1, RC_FAILURE, false, false},
      {MemOp::kFree, 1, RC_FAILURE, true, false},
      {MemOp::kUnlock, 11, RC_UNLOCK_FAILED, false, false},
      {MemOp::kFree, 11, RC_FREE_FAILED, false, true},
  };
  for (const Case& c : cases) {
    LutFixture fixture(2, LutFixture::Complement);
    const long live = MemLiveBlocks();
    EngineA engine(ParamsA(1), &fixture.lut);
    ASSERT_EQ(engine.Load(StandardBlocks(1)), RC_OK);
    HalftoneAInstance* inst = Inst(engine);
    void* firstScratch = inst->slots[0].block;
    void* self = inst->selfBlock;
    MemFailNth(c.op, c.n);
    EXPECT_EQ(engine.Release(), c.code) << c.n;
    MemResetFaults();
    if (c.strayScratch) {
      EXPECT_EQ(MemFree(firstScratch), 0);
    }
    if (c.strayInstance) {
      EXPECT_EQ(MemFree(self), 0);
    }
    EXPECT_EQ(MemLiveBlocks(), live) << c.n;
  }
}

}  // namespace
}  // namespace vantik::halftone_a
