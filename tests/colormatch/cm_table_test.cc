#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <vector>

#include "colormatch/cm_internal.h"
#include "colormatch/cm_table.h"
#include "colormatch/cm_translate.h"
#include "common/cm_table_fixtures.h"
#include "interface/memblock.h"
#include "interface/params.h"

namespace vantik::colormatch {
namespace {

using testing::FakePreview;
using testing::HandInstance;
using testing::TableBlockContents;

// Loads the block from a heap copy of exactly `length` bytes, so that a read
// past the block trips the address sanitizer; kUnbounded loads the legacy
// way.  The identity preview keeps the adjustment pass out of the picture.
uint32_t Load(HandInstance& h, const std::vector<uint8_t>& block,
              size_t length = 0) {
  if (length == 0) length = block.size();
  const size_t copy = length == ByteReader::kUnbounded ? block.size() : length;
  std::unique_ptr<uint8_t[]> exact(new uint8_t[copy]);
  std::memcpy(exact.get(), block.data(), copy);
  ByteReader r(exact.get(), length);
  FakePreview::Reset();
  return CmLoadTableBlockWith(*h, r, FakePreview::kOps);
}

std::vector<uint8_t> Node(const CmLut& lut, int a, int b, int c) {
  const int n = lut.gridCountA, w = lut.channels;
  const uint8_t* p = lut.table + ((a * n + b) * n + c) * w;
  return {p, p + w};
}

// Byte images of the CmLut and the instance, to show that nothing changed.
struct Snapshot {
  std::vector<uint8_t> lut, inst;
  explicit Snapshot(HandInstance& h)
      : lut(reinterpret_cast<uint8_t*>(&h.lut()),
            reinterpret_cast<uint8_t*>(&h.lut()) + sizeof(CmLut)),
        inst(reinterpret_cast<uint8_t*>(h.inst),
             reinterpret_cast<uint8_t*>(h.inst) + sizeof(CmInstance)) {}
  bool operator==(const Snapshot&) const = default;
};

TEST(CmTableBlock, MalformedBlocksAreRefusedBeforeAnythingChanges) {
  const TableBlockContents good;
  const auto with = [](auto edit) {
    TableBlockContents s;
    edit(s);
    return s.Build();
  };
  const std::vector<uint8_t> full = good.Build();
  struct Case {
    const char* what;
    std::vector<uint8_t> block;
    size_t length;  // 0: the whole vector
  } cases[] = {
      {"empty", full, 1},
      {"header cut", full, 75},
      {"positions cut", full, 76 + 8},
      {"table cut", full, 76 + 9 + 27 * 4 - 1},
      {"gray levels cut (rule 1 reads them)", full, 76 + 9 + 108 + 2},
      {"unequal counts", [&] { auto b = full; b[73] = 4; return b; }(), 0},
      {"unequal third count", [&] { auto b = full; b[74] = 2; return b; }(), 0},
      {"33 nodes", with([](TableBlockContents& s) { s.n = 33; s.w = 1; }), 0},
      {"N x W = 193", with([](TableBlockContents& s) { s.n = 2; s.w = 97; }), 0},
      {"W = 0", with([](TableBlockContents& s) { s.w = 0; }), 0},
      {"no nodes", with([](TableBlockContents& s) { s.n = 0; s.positions = {}; }), 0},
      {"one node", with([](TableBlockContents& s) { s.n = 1; s.positions = {0, 0, 0}; }), 0},
      {"first position not 0",
       with([](TableBlockContents& s) { s.positions = {0, 128, 255, 1, 128, 255, 0, 128, 255}; }), 0},
      {"last position not 255",
       with([](TableBlockContents& s) { s.positions = {0, 128, 255, 0, 128, 255, 0, 128, 254}; }), 0},
      {"positions not rising",
       with([](TableBlockContents& s) { s.positions = {0, 128, 255, 0, 255, 255, 0, 128, 255}; }), 0},
      {"positions falling",
       with([](TableBlockContents& s) {
         s.n = 4;
         s.positions = {0, 100, 50, 255, 0, 1, 2, 255, 0, 1, 2, 255};
       }),
       0},
  };
  for (const Case& c : cases) {
    HandInstance h;
    h->halftoneNumber = 5;
    const Snapshot before(h);
    const long live = MemLiveBlocks();
    EXPECT_EQ(Load(h, c.block, c.length), RC_BAD_RESOURCE) << c.what;
    EXPECT_TRUE(Snapshot(h) == before) << c.what;
    EXPECT_EQ(MemLiveBlocks(), live) << c.what;
    EXPECT_EQ(FakePreview::created, 0) << c.what;
  }
}

TEST(CmTableBlock, TrailingPartsAreNeededOnlyWhenARuleReadsThem) {
  const std::vector<uint8_t> full = TableBlockContents{}.Build();
  const size_t tableEnd = 76 + 9 + 108;
  {  // grayAxisFlag 1 (renderMode 1): no rule reads past the table
    HandInstance h;
    h->params.renderMode = 1;
    EXPECT_EQ(Load(h, full, tableEnd), RC_OK);
  }
  {  // rule 3 reads the explicit diagonal nodes
    HandInstance h;
    h->params.renderMode = 1;
    h->adjust.field[kAdjustColorModeB] = 2;
    std::vector<uint8_t> b = full;
    b[15] = 50;
    EXPECT_EQ(Load(h, b, b.size() - 1), RC_BAD_RESOURCE);
    EXPECT_EQ(Load(h, b), RC_OK);
  }
  {  // the legacy, length-less form reads the same block
    HandInstance h;
    EXPECT_EQ(Load(h, full, ByteReader::kUnbounded), RC_OK);
  }
}

TEST(CmTableBlock, LargestBlocksAreAccepted) {
  for (auto [n, w] : {std::pair{32, 6}, std::pair{2, 96}, std::pair{17, 11}}) {
    TableBlockContents s;
    s.n = n;
    s.w = w;
    HandInstance h;
    EXPECT_EQ(Load(h, s.Build()), RC_OK) << n << "x" << w;
    EXPECT_EQ(h.lut().gridCountA, n);
    EXPECT_EQ(h.lut().channels, w);
  }
}

TEST(CmTableBlock, HeaderFieldsReachTheRecords) {
  TableBlockContents s;
  s.tableClass = 50;
  s.tableType = 2;
  s.primaryGain[0] = 200;
  s.primaryGain[2] = 7;
  s.hueShift[1] = -3;
  s.saturationBoost = -20;
  s.secondaryGain[2] = -128;
  s.weights[0] = 250;
  s.weights[1] = -2;
  s.weights[4] = 300;
  s.params[0] = -1000;
  s.params[3] = 4660;
  s.positions = {0, 9, 255, 0, 99, 255, 0, 200, 255};
  HandInstance h;
  h->params.renderMode = 1;
  h->tableNumber = 61;
  h->halftoneNumber = -1;
  ASSERT_EQ(Load(h, s.Build()), RC_OK);
  const CmLut& l = h.lut();
  EXPECT_EQ(h->tableClass, 50);
  EXPECT_EQ(l.tableType, 1);  // 2 reads back as 1
  EXPECT_EQ(h->primaryGain[0], 200);
  EXPECT_EQ(h->primaryGain[2], 7);
  EXPECT_EQ(h->hueShift[1], -3);
  EXPECT_EQ(h->saturationBoost, -20);
  EXPECT_EQ(h->secondaryGain[2], -128);
  EXPECT_EQ(l.weightLight, 250);
  EXPECT_EQ(l.weightFull, -2);
  EXPECT_EQ(l.weightExtra2, 300);
  EXPECT_EQ(l.tableParam0, -1000);
  EXPECT_EQ(l.tableParam3, 4660);
  EXPECT_EQ(l.gridCountA, 3);
  EXPECT_EQ(l.gridCountC, 3);
  EXPECT_EQ(l.channels, 4);
  EXPECT_EQ(l.gridA[1], 9);
  EXPECT_EQ(l.gridB[1], 99);
  EXPECT_EQ(l.gridC[1], 200);
  EXPECT_EQ(l.tableNumber, 61);
  EXPECT_EQ(l.halftoneNumber, -1);
  EXPECT_EQ(l.tableBlock, static_cast<void*>(l.table));
}

TEST(CmTableBlock, GrayAxisFlag) {
  struct Case {
    int32_t renderMode, field11, field9, want;
  } cases[] = {{0, 0, 0, 0}, {0, 50, 0, 0}, {1, 0, 0, 1}, {3, 50, 0, 0},
               {0, 0, 1, 1}, {3, 50, 1, 1}};
  for (const Case& c : cases) {
    HandInstance h;
    h->params.renderMode = c.renderMode;
    h->adjust.field[kAdjustGrayAxis] = c.field11;
    h->adjust.field[kAdjustColorModeA] = c.field9;
    ASSERT_EQ(Load(h, TableBlockContents{}.Build()), RC_OK);
    EXPECT_EQ(h.lut().grayAxisFlag, c.want)
        << c.renderMode << "/" << c.field11 << "/" << c.field9;
  }
}

TEST(CmTableBlock, GrayAxisRules) {
  // 17 nodes of 4 channels; gray levels G[j] = 3j + 1, explicit diagonal
  // node j = (100 + j, 110 + j, 120 + j, 130 + j).
  TableBlockContents base;
  base.n = 17;
  for (int j = 0; j < 17; ++j) base.gray.push_back(static_cast<uint8_t>(3 * j + 1));
  for (int j = 0; j < 17; ++j)
    for (int ch = 0; ch < 4; ++ch) base.diagonal.push_back(static_cast<uint8_t>(100 + 10 * ch + j));
  const std::vector<uint8_t> loaded = [&] {
    TableBlockContents s = base;
    auto b = s.Build();
    return std::vector<uint8_t>(b.begin() + 76 + 51, b.begin() + 76 + 51 + 17 * 17 * 17 * 4);
  }();
  const auto asLoaded = [&](int j) {
    const size_t at = static_cast<size_t>(j) * (17 * 17 + 17 + 1) * 4;
    return std::vector<uint8_t>(loaded.begin() + at, loaded.begin() + at + 4);
  };
  enum Want { kLoaded, kBlackOnly, kAllGray, kDensityBlack, kExplicit };
  struct Case {
    const char* what;
    uint8_t tableType, tableClass;
    int32_t kind, renderMode, lutMode, field9, field10;
    Want want;
  } cases[] = {
      {"rule 1, kind 3", 1, 0, 3, 0, 0, 0, 0, kBlackOnly},
      {"rule 1, kind 2", 1, 0, 2, 0, 0, 0, 0, kAllGray},
      {"rule 1, type 3", 3, 0, 3, 0, 0, 0, 0, kBlackOnly},
      {"rule 1 with type byte 2", 2, 0, 3, 0, 0, 0, 0, kBlackOnly},
      {"type 0: no rule 1", 0, 0, 3, 0, 0, 0, 0, kLoaded},
      {"flag 1: no rule 1", 1, 0, 3, 1, 0, 0, 0, kLoaded},
      {"rule 2 after rule 1", 3, 0, 3, 0, 1, 0, 0, kDensityBlack},
      {"no rule 2 for type 1", 1, 0, 3, 0, 1, 0, 0, kBlackOnly},
      {"rule 3", 1, 50, 3, 1, 0, 0, 2, kExplicit},
      {"rule 3, type 0", 0, 50, 3, 1, 0, 0, 2, kExplicit},
      {"no rule 3 for class 49", 1, 49, 3, 1, 0, 0, 2, kLoaded},
      {"no rule 3 for field 10 = 1", 1, 50, 3, 1, 0, 0, 1, kLoaded},
      {"no rule 3 with field 9 = 1", 1, 50, 3, 1, 0, 1, 2, kLoaded},
  };
  for (const Case& c : cases) {
    TableBlockContents s = base;
    s.tableType = c.tableType;
    s.tableClass = c.tableClass;
    s.weights[0] = 250;
    s.weights[1] = 100;
    HandInstance h;
    h->params.kind = c.kind;
    h->params.renderMode = c.renderMode;
    h->params.lutMode = c.lutMode;
    h->adjust.field[kAdjustColorModeA] = c.field9;
    h->adjust.field[kAdjustColorModeB] = c.field10;
    ASSERT_EQ(Load(h, s.Build()), RC_OK) << c.what;
    for (int j = 0; j < 17; ++j) {
      const uint8_t g = static_cast<uint8_t>(3 * j + 1);
      std::vector<uint8_t> want;
      switch (c.want) {
        case kLoaded: want = asLoaded(j); break;
        case kBlackOnly: want = {0, 0, 0, g}; break;
        case kAllGray: want = {g, g, g, g}; break;
        case kDensityBlack:
          want = {0, 0, 0, CmDensityValue(g, CmDensityDivisor(g, 250, 100))};
          break;
        case kExplicit:
          want = {static_cast<uint8_t>(100 + j), static_cast<uint8_t>(110 + j),
                  static_cast<uint8_t>(120 + j), static_cast<uint8_t>(130 + j)};
          break;
      }
      ASSERT_EQ(Node(h.lut(), j, j, j), want) << c.what << ", node " << j;
    }
    // Off the diagonal every node is as loaded.
    EXPECT_EQ(Node(h.lut(), 0, 1, 0)[3], loaded[4 * 17 + 3]) << c.what;
  }
  {  // one channel: only the black channel is written
    TableBlockContents s;
    s.w = 1;
    s.gray = {9, 8, 7};
    HandInstance h;
    h->params.kind = 2;
    ASSERT_EQ(Load(h, s.Build()), RC_OK);
    EXPECT_EQ(Node(h.lut(), 1, 1, 1), std::vector<uint8_t>{8});
  }
}

TEST(CmDensity, Values) {
  struct Case {
    int32_t wl, wf, m, q, value;
  } cases[] = {
      {100, 100, 128, 255, 128}, {100, 100, 0, 255, 0},   {100, 100, 255, 255, 255},
      {250, 100, 0, 637, 0},     {250, 100, 255, 255, 255}, {250, 100, 128, 349, 94},
      {250, 100, 64, 0, 35},     {250, 100, 200, 0, 188},
  };
  for (const Case& c : cases) {
    const int32_t q = CmDensityDivisor(c.m, c.wl, c.wf);
    if (c.q != 0) {
      EXPECT_EQ(q, c.q) << c.wl << "/" << c.wf << " m " << c.m;
    }
    EXPECT_EQ(CmDensityValue(c.m, q), c.value) << c.wl << "/" << c.wf << " m " << c.m;
  }
  for (int m = 0; m < 256; ++m) EXPECT_EQ(CmDensityValue(m, CmDensityDivisor(m, 100, 100)), m);
}

TEST(CmDensity, DivisorAtOrBelowZeroIsRefusedWhenTheCorrectionRuns) {
  struct Case {
    const char* what;
    int16_t wl, wf;
    bool used;
    uint32_t want;
  } cases[] = {
      {"both weights 0, density pass", 0, 0, true, RC_BAD_RESOURCE},
      {"full weight 0: q 0 at m = 255", 100, 0, true, RC_BAD_RESOURCE},
      {"negative weights", -100, -100, true, RC_BAD_RESOURCE},
      {"weights 1: q positive", 1, 1, true, RC_OK},
      {"both 0, correction never runs", 0, 0, false, RC_OK},
  };
  for (const Case& c : cases) {
    TableBlockContents s;
    s.weights[0] = c.wl;
    s.weights[1] = c.wf;
    HandInstance h;
    h->params.renderMode = 1;
    h->params.kind = 3;
    h->halftoneNumber = c.used ? 300 : 299;
    const Snapshot before(h);
    EXPECT_EQ(Load(h, s.Build()), c.want) << c.what;
    if (c.want != RC_OK) {
      EXPECT_TRUE(Snapshot(h) == before) << c.what;
    }
  }
  // Gray-axis rule 2 alone also needs a defined correction.
  TableBlockContents s;
  s.tableType = 3;
  s.weights[0] = s.weights[1] = 0;
  HandInstance h;
  h->params.lutMode = 1;
  EXPECT_EQ(Load(h, s.Build()), RC_BAD_RESOURCE);
}

TEST(CmDensity, PassRunsOnlyForItsHalftonesVariantsAndKind) {
  struct Case {
    int32_t halftone, variant, kind;
    bool runs;
  } cases[] = {{300, 0, 3, true},  {399, 1, 3, true},   {299, 0, 3, false},
               {400, 0, 3, false}, {350, 2, 3, false},  {350, -5, 3, true},
               {350, 0, 2, false}};
  TableBlockContents s;
  s.weights[0] = 250;
  s.weights[1] = 100;
  const std::vector<uint8_t> block = s.Build();
  for (const Case& c : cases) {
    HandInstance h;
    h->params.renderMode = 1;  // no gray-axis rule
    h->halftoneNumber = c.halftone;
    h->params.variant = c.variant;
    h->params.kind = c.kind;
    ASSERT_EQ(Load(h, block), RC_OK);
    for (size_t i = 0; i < s.TableBytes(); ++i) {
      const int32_t m = block[76 + 9 + i];
      const uint8_t want = c.runs ? CmDensityValue(m, CmDensityDivisor(m, 250, 100)) : m;
      ASSERT_EQ(h.lut().table[i], want) << c.halftone << " byte " << i;
    }
  }
}

TEST(CmToneCurve, EndRules) {
  struct Case {
    const char* what;
    uint8_t tableType, black, mid, last;
  } cases[] = {
      {"type 3, black 0: 1 everywhere but gray 255", 3, 0, 1, 0},
      {"type 1, black 0", 1, 0, 1, 0},
      {"type 0, black 255: 254 everywhere but gray 255", 0, 255, 254, 255},
      {"type 0, black 0 stays", 0, 0, 0, 0},
      {"type 3, black 255 stays", 3, 255, 255, 255},
  };
  for (const Case& c : cases) {
    TableBlockContents s;
    s.tableType = c.tableType;
    s.table.assign(s.TableBytes(), 77);
    for (size_t i = 3; i < s.TableBytes(); i += 4) s.table[i] = c.black;
    HandInstance h;
    h->params.renderMode = 1;  // keeps the gray axis as loaded
    ASSERT_EQ(Load(h, s.Build()), RC_OK) << c.what;
    EXPECT_EQ(h.lut().toneCurve[0], c.mid) << c.what;
    EXPECT_EQ(h.lut().toneCurve[254], c.mid) << c.what;
    EXPECT_EQ(h.lut().toneCurve[255], c.last) << c.what;
  }
  // The curve follows the gray axis through the table: black = G on a
  // straight gray axis gives toneCurve[i] = i (and 1 at gray 0, type 1).
  TableBlockContents s;
  s.n = 5;
  HandInstance h;
  h->params.kind = 3;
  ASSERT_EQ(Load(h, s.Build()), RC_OK);
  for (int i = 1; i < 256; ++i) ASSERT_EQ(h.lut().toneCurve[i], i) << i;
  EXPECT_EQ(h.lut().toneCurve[0], 1);
}

TEST(CmTableStep, LeavesTheRenderModeLayout) {
  struct Case {
    int32_t renderMode;
    int16_t stride, a, b, c;
  } cases[] = {{1, 3, 0, 1, 2}, {2, 3, 2, 1, 0}, {3, 4, 1, 2, 3}, {0, 4, 1, 2, 3}, {7, 4, 1, 2, 3}};
  for (const Case& c : cases) {
    HandInstance h;
    h->params.renderMode = c.renderMode;
    ASSERT_EQ(Load(h, TableBlockContents{}.Build()), RC_OK);
    EXPECT_EQ(h->pixelStride, c.stride);
    EXPECT_EQ(h->offsetA, c.a);
    EXPECT_EQ(h->offsetB, c.b);
    EXPECT_EQ(h->offsetC, c.c);
  }
}

// Every allocation of the step fails in turn: the table's own block ends the
// step with its code and nothing changed; the adjustment pass's table or
// preview instance only leaves the table unadjusted.  Nothing leaks.
TEST(CmTableStep, FailureAtEveryAllocation) {
  TableBlockContents s;
  s.n = 5;
  const std::vector<uint8_t> block = s.Build();
  struct Case {
    MemOp op;
    int nth;
    uint32_t want;
    bool tableLoaded;
  } cases[] = {{MemOp::kAlloc, 1, RC_NO_MEMORY, false},
               {MemOp::kLock, 1, RC_LOCK_FAILED, false},
               // The adjustment pass out of memory ends the step (the
               // table stays with the instance until Delete).
               {MemOp::kAlloc, 2, RC_NO_MEMORY, true},   // the adjusted table
               {MemOp::kLock, 2, RC_LOCK_FAILED, true},
               {MemOp::kAlloc, 3, RC_NO_MEMORY, true}};  // the preview instance
  for (const Case& c : cases) {
    HandInstance h;
    h->params.renderMode = 1;
    const Snapshot before(h);
    const long live = MemLiveBlocks();
    MemResetFaults();
    MemFailNth(c.op, c.nth);
    std::unique_ptr<uint8_t[]> exact(new uint8_t[block.size()]);
    std::memcpy(exact.get(), block.data(), block.size());
    ByteReader r(exact.get(), block.size());
    FakePreview::Reset();
    FakePreview::mode = FakePreview::Mode::kInvert;
    EXPECT_EQ(CmLoadTableBlockWith(*h, r, FakePreview::kOps), c.want);
    MemResetFaults();
    EXPECT_EQ(FakePreview::deleted, FakePreview::created);
    if (!c.tableLoaded) {
      EXPECT_TRUE(Snapshot(h) == before);
      EXPECT_EQ(MemLiveBlocks(), live);
    } else {
      EXPECT_EQ(MemLiveBlocks(), live + 1);  // the table
      EXPECT_EQ(std::memcmp(h.lut().table, block.data() + 76 + 15, s.TableBytes()), 0);
    }
  }
}

TEST(CmTableStep, ASecondTableReplacesTheFirst) {
  HandInstance h;
  const long live = MemLiveBlocks();
  ASSERT_EQ(Load(h, TableBlockContents{}.Build()), RC_OK);
  TableBlockContents s;
  s.n = 4;
  ASSERT_EQ(Load(h, s.Build()), RC_OK);
  EXPECT_EQ(MemLiveBlocks(), live + 1);
  EXPECT_EQ(h.lut().gridCountA, 4);
}

// Through the real preview with all adjustments 0 the table stays as loaded.
TEST(CmTableStep, NoAdjustmentsKeepTheTable) {
  TableBlockContents s;
  s.n = 9;
  const std::vector<uint8_t> block = s.Build();
  HandInstance h;
  h->params.renderMode = 3;
  ByteReader r(block.data(), block.size());
  const long live = MemLiveBlocks();
  ASSERT_EQ(CmLoadTableBlock(*h, r), RC_OK);
  EXPECT_EQ(MemLiveBlocks(), live + 1);
  EXPECT_EQ(std::memcmp(h.lut().table, block.data() + 76 + 27, s.TableBytes()), 0);
}

}  // namespace
}  // namespace vantik::colormatch
