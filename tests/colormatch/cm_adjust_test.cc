#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "colormatch/cm_adjust.h"
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

enum class Fn { kPrimary, kSecondary, kHue };

TEST(CmInkSpace, Corrections) {
  struct Case {
    const char* what;
    Fn fn;
    int32_t c, m, y;
    int16_t g[3];
    int32_t wc, wm, wy;
  } cases[] = {
      {"primary, cyan largest", Fn::kPrimary, 200, 100, 50, {10, 0, 0}, 190, 100, 50},
      {"primary, magenta largest", Fn::kPrimary, 100, 200, 50, {0, 10, 0}, 100, 190, 50},
      {"primary, yellow largest", Fn::kPrimary, 100, 50, 200, {0, 0, 10}, 100, 50, 190},
      {"primary, no strict largest", Fn::kPrimary, 100, 100, 50, {90, 90, 90}, 100, 100, 50},
      {"primary, floor at 0", Fn::kPrimary, 255, 0, 0, {255, 0, 0}, 0, 0, 0},
      {"secondary, cyan smallest", Fn::kSecondary, 20, 120, 220, {50, 0, 0}, 20, 70, 170},
      {"secondary, magenta smallest", Fn::kSecondary, 120, 20, 220, {0, 50, 0}, 70, 20, 170},
      {"secondary, yellow smallest", Fn::kSecondary, 220, 120, 20, {0, 0, 50}, 170, 70, 20},
      {"secondary, no strict smallest", Fn::kSecondary, 20, 20, 220, {50, 50, 50}, 20, 20, 220},
      {"secondary, negative gain has no ceiling", Fn::kSecondary, 0, 255, 255, {-128, 0, 0},
       0, 581, 581},
      {"secondary, floor at 0", Fn::kSecondary, 0, 10, 255, {127, 0, 0}, 0, 0, 243},
      {"hue, cyan smallest, negative", Fn::kHue, 20, 120, 220, {-25, 0, 0}, 20, 120, 195},
      {"hue, cyan smallest, positive", Fn::kHue, 20, 120, 220, {25, 0, 0}, 20, 95, 220},
      {"hue, magenta smallest, negative", Fn::kHue, 120, 20, 220, {0, -25, 0}, 95, 20, 220},
      {"hue, magenta smallest, positive", Fn::kHue, 120, 20, 220, {0, 25, 0}, 120, 20, 195},
      {"hue, yellow smallest, negative", Fn::kHue, 120, 220, 20, {0, 0, -25}, 120, 195, 20},
      {"hue, yellow smallest, positive", Fn::kHue, 120, 220, 20, {0, 0, 25}, 95, 220, 20},
      {"hue, half away from zero", Fn::kHue, 0, 10, 20, {15, 0, 0}, 0, 8, 20},
      {"hue, negative half away from zero", Fn::kHue, 0, 10, 20, {-15, 0, 0}, 0, 10, 18},
      {"hue, limited to 0..255", Fn::kHue, 0, 200, 255, {-128, 0, 0}, 0, 200, 0},
      {"hue, clamps values above 255", Fn::kHue, 0, 300, 300, {0, 0, 0}, 0, 255, 255},
  };
  for (const Case& k : cases) {
    int32_t c = k.c, m = k.m, y = k.y;
    switch (k.fn) {
      case Fn::kPrimary: PrimaryAdjust(c, m, y, k.g); break;
      case Fn::kSecondary: SecondaryAdjust(c, m, y, k.g); break;
      case Fn::kHue: HueAdjust(c, m, y, k.g); break;
    }
    EXPECT_EQ(c, k.wc) << k.what;
    EXPECT_EQ(m, k.wm) << k.what;
    EXPECT_EQ(y, k.wy) << k.what;
  }
}

// A 4-node grid symmetric about the middle (p[i] = 255 - p[3 - i]), four
// channels, every node distinct.
const std::vector<uint8_t> kGrid4 = {0, 85, 170, 255};

std::vector<uint8_t> Table4() {
  std::vector<uint8_t> t(4 * 4 * 4 * 4);
  for (size_t i = 0; i < t.size(); ++i) t[i] = static_cast<uint8_t>(i * 37 + 11);
  return t;
}

std::vector<uint8_t> NodeAt(const uint8_t* table, int n, int w, int a, int b, int c) {
  const uint8_t* p = table + ((a * n + b) * n + c) * w;
  return {p, p + w};
}

struct AdjustFixture {
  HandInstance h;
  std::vector<uint8_t> old = Table4();
  AdjustFixture() {
    h.SetTable(4, 4, 4, 4, kGrid4, kGrid4, kGrid4, old);
    FakePreview::Reset();
  }
  bool Unchanged() {
    return std::memcmp(h.lut().table, old.data(), old.size()) == 0;
  }
};

TEST(CmAdjustPass, IdentityPreviewKeepsTheTable) {
  AdjustFixture f;
  const long live = MemLiveBlocks();
  ASSERT_EQ(CmAdjustPass(*f.h, FakePreview::kOps), RC_OK);
  EXPECT_TRUE(f.Unchanged());
  EXPECT_EQ(MemLiveBlocks(), live);  // new table in, old table out
  EXPECT_EQ(FakePreview::created, 1);
  EXPECT_EQ(FakePreview::deleted, 1);
  // One call per row; the black and white corners stay out of the preview.
  ASSERT_EQ(FakePreview::counts.size(), 16u);
  EXPECT_EQ(FakePreview::counts.front(), 3u);
  EXPECT_EQ(FakePreview::counts[1], 4u);
  EXPECT_EQ(FakePreview::counts.back(), 3u);
}

TEST(CmAdjustPass, CornersNeverPassThroughThePreview) {
  AdjustFixture f;
  FakePreview::mode = FakePreview::Mode::kInvert;
  ASSERT_EQ(CmAdjustPass(*f.h, FakePreview::kOps), RC_OK);
  for (int a = 0; a < 4; ++a)
    for (int b = 0; b < 4; ++b)
      for (int c = 0; c < 4; ++c) {
        const bool corner = (a == 0 && b == 0 && c == 0) || (a == 3 && b == 3 && c == 3);
        const auto want = corner ? NodeAt(f.old.data(), 4, 4, a, b, c)
                                 : NodeAt(f.old.data(), 4, 4, 3 - a, 3 - b, 3 - c);
        ASSERT_EQ(NodeAt(f.h.lut().table, 4, 4, a, b, c), want) << a << b << c;
      }
}

TEST(CmAdjustPass, InkSpaceCorrectionsOnlyWithModeBTwoAndModeAZero) {
  // Grid 0, 128, 255 and a primary gain of 50 for cyan.  Node (0, 1, 2) is
  // RGB (0, 128, 255): c = 255 is strictly largest, 255 - T(50 x 128) = 191,
  // so the node is looked up at (64, 128, 255): w = 128, fa = 64, fb = fc =
  // 128; from node (0, 0, 1) only vertices 011 and 111 weigh, 64 each.
  const std::vector<uint8_t> g3 = {0, 128, 255};
  std::vector<uint8_t> t(27 * 2);
  for (size_t i = 0; i < t.size(); ++i) t[i] = static_cast<uint8_t>(i * 9 + 4);
  const auto node = [&](int a, int b, int c) { return NodeAt(t.data(), 3, 2, a, b, c); };
  struct Case {
    int32_t field9, field10;
    bool corrected;
  } cases[] = {{0, 2, true}, {1, 2, false}, {0, 1, false}, {4, 2, false}};
  for (const Case& c : cases) {
    HandInstance h;
    h.SetTable(3, 3, 3, 2, g3, g3, g3, t);
    h->adjust.field[kAdjustColorModeA] = c.field9;
    h->adjust.field[kAdjustColorModeB] = c.field10;
    h->primaryGain[0] = 50;
    FakePreview::Reset();
    ASSERT_EQ(CmAdjustPass(*h, FakePreview::kOps), RC_OK);
    std::vector<uint8_t> want = node(0, 1, 2);
    if (c.corrected) {
      const auto n011 = node(0, 1, 2), n111 = node(1, 1, 2);
      for (int ch = 0; ch < 2; ++ch) want[ch] = static_cast<uint8_t>((n011[ch] * 64 + n111[ch] * 64) / 128);
    }
    EXPECT_EQ(NodeAt(h.lut().table, 3, 2, 0, 1, 2), want) << c.field9 << "/" << c.field10;
    // Gray nodes have equal complements: no correction moves them.
    EXPECT_EQ(NodeAt(h.lut().table, 3, 2, 1, 1, 1), node(1, 1, 1));
    EXPECT_EQ(NodeAt(h.lut().table, 3, 2, 0, 0, 0), node(0, 0, 0));
  }
}

TEST(CmAdjustPass, SaturationBoostIsCappedAt50) {
  struct Case {
    int32_t field9, field10, saturation;
    int16_t boost;
    int32_t want;
  } cases[] = {{0, 2, 45, 10, 50}, {0, 2, 30, 10, 40}, {0, 1, 45, 10, 45},
               {1, 2, 45, 10, 45}, {0, 2, -45, -10, -55}, {0, 2, 50, 0, 50}};
  for (const Case& c : cases) {
    AdjustFixture f;
    f.h->adjust.field[kAdjustColorModeA] = c.field9;
    f.h->adjust.field[kAdjustColorModeB] = c.field10;
    f.h->adjust.field[3] = c.saturation;
    f.h->saturationBoost = c.boost;
    ASSERT_EQ(CmAdjustPass(*f.h, FakePreview::kOps), RC_OK);
    EXPECT_EQ(FakePreview::lastAdjust.field[3], c.want);
    EXPECT_EQ(f.h->adjust.field[3], c.saturation) << "the instance keeps its own";
  }
}

// Every failure leaves the old table in use, deletes any preview instance
// that was handed out and leaks nothing.
TEST(CmAdjustPass, FailuresKeepTheOldTableAndDeleteThePreview) {
  struct Case {
    const char* what;
    uint32_t createCode;
    bool handleOnFailure;
    int translateFailAt;
    MemOp op;
    int nth;  // injected memory failure; 0: none
    uint32_t want;
  } cases[] = {
      {"preview refuses the adjustments", RC_BAD_PARAMETER, true, 0, MemOp::kAlloc, 0,
       RC_BAD_PARAMETER},
      {"preview has no memory", RC_NO_MEMORY, false, 0, MemOp::kAlloc, 0, RC_NO_MEMORY},
      {"first preview translation fails", 0, false, 1, MemOp::kAlloc, 0, 1},
      {"a later preview translation fails", 0, false, 7, MemOp::kAlloc, 0, 1},
      {"last row's preview translation fails", 0, false, 16, MemOp::kAlloc, 0, 1},
      {"no memory for the new table", 0, false, 0, MemOp::kAlloc, 1, RC_NO_MEMORY},
      {"new table not locked", 0, false, 0, MemOp::kLock, 1, RC_LOCK_FAILED},
  };
  for (const Case& c : cases) {
    AdjustFixture f;
    FakePreview::mode = FakePreview::Mode::kInvert;
    FakePreview::createCode = c.createCode;
    FakePreview::handleOnFailure = c.handleOnFailure;
    FakePreview::translateFailAt = c.translateFailAt;
    uint8_t* table = f.h.lut().table;
    const long live = MemLiveBlocks();
    MemResetFaults();
    if (c.nth != 0) MemFailNth(c.op, c.nth);
    EXPECT_EQ(CmAdjustPass(*f.h, FakePreview::kOps), c.want) << c.what;
    MemResetFaults();
    EXPECT_EQ(f.h.lut().table, table) << c.what;
    EXPECT_TRUE(f.Unchanged()) << c.what;
    EXPECT_EQ(FakePreview::deleted, FakePreview::created) << c.what;
    EXPECT_EQ(MemLiveBlocks(), live) << c.what;
  }
}

// Through the table step: the preview rejects brightness 60 (no curve
// table), the step still succeeds and the table stays unadjusted.
TEST(CmAdjustPass, RejectedAdjustmentsLeaveTheTableStepGoing) {
  TableBlockContents s;
  s.n = 5;
  const std::vector<uint8_t> block = s.Build();
  HandInstance h;
  h->params.renderMode = 1;
  h->adjust.field[1] = 60;
  const long live = MemLiveBlocks();
  ByteReader r(block.data(), block.size());
  ASSERT_EQ(CmLoadTableBlock(*h, r), RC_OK);
  EXPECT_EQ(MemLiveBlocks(), live + 1);
  EXPECT_EQ(std::memcmp(h.lut().table, block.data() + 76 + 15, s.TableBytes()), 0);
  // The same through the pass alone reports the preview's refusal.
  EXPECT_NE(CmAdjustPass(*h), RC_OK);
  EXPECT_EQ(MemLiveBlocks(), live + 1);
}

}  // namespace
}  // namespace vantik::colormatch
