#include <gtest/gtest.h>

#include <array>
#include <cstring>

#include "preview/preview_support.h"
#include "preview/tone_curves.h"

namespace vantik::test {
namespace {

using CreateTest = PreviewTest;

struct ValidationCase {
  const char* what;
  PreviewSetup setup;
  uint32_t rc;
};

PreviewSetup With(std::array<int32_t, 7> fields, int32_t mode = 0,
                  int32_t format = 1) {
  PreviewSetup s;
  s.fields = fields;
  s.mode = mode;
  s.format = format;
  return s;
}

PreviewSetup WithGamma(int32_t gamma, int32_t mode = 0) {
  PreviewSetup s;
  s.withGamma = true;
  s.gamma = gamma;
  s.mode = mode;
  return s;
}

TEST_F(CreateTest, ValidationCodesInOrder) {
  const ValidationCase cases[] = {
      {"neutral", With({}), RC_OK},
      {"limits", With({0, 50, -50, 50, -50, 50, -50}, 3, 3), RC_OK},
      {"format 2", With({}, 0, 2), RC_OK},
      {"selector", With({1, 0, 0, 0, 0, 0, 0}), RC_BAD_PARAMETER},
      {"brightness 51", With({0, 51, 0, 0, 0, 0, 0}), RC_BAD_PARAMETER},
      {"contrast -51", With({0, 0, -51, 0, 0, 0, 0}), RC_BAD_PARAMETER},
      {"saturation 51", With({0, 0, 0, 51, 0, 0, 0}), RC_BAD_PARAMETER},
      {"red -51", With({0, 0, 0, 0, -51, 0, 0}), RC_BAD_PARAMETER},
      {"green 51", With({0, 0, 0, 0, 0, 51, 0}), RC_BAD_PARAMETER},
      {"blue -51", With({0, 0, 0, 0, 0, 0, -51}), RC_BAD_PARAMETER},
      {"mode 4", With({}, 4), RC_BAD_VALUE},
      {"mode -1", With({}, -1), RC_BAD_VALUE},
      {"field before mode", With({0, 60, 0, 0, 0, 0, 0}, 4), RC_BAD_PARAMETER},
      {"gamma 99", WithGamma(99), RC_BAD_VALUE},
      {"gamma 301", WithGamma(301), RC_BAD_VALUE},
      {"gamma 100", WithGamma(100), RC_OK},
      {"gamma 300", WithGamma(300), RC_OK},
      {"gamma 0 means 150", WithGamma(0), RC_OK},
      {"mode before gamma", WithGamma(99, 5), RC_BAD_VALUE},
      {"format 0", With({}, 0, 0), RC_BAD_MODE},
      {"format 4", With({}, 0, 4), RC_BAD_MODE},
      {"format before fields", With({9, 99, 0, 0, 0, 0, 0}, 7, 4), RC_BAD_MODE},
  };
  for (const ValidationCase& c : cases) {
    PreviewHandle h = nullptr;
    EXPECT_EQ(Create(c.setup, &h), c.rc) << c.what;
    // The handle is handed out on success and on 0x201..0x203 alike.
    ASSERT_NE(h, nullptr) << c.what;
    EXPECT_EQ(PreviewDeleteThk(h), RC_OK) << c.what;
  }
}

// An instance handed out by a refused Create is complete: identity tables,
// a valid layout, and Translate and Delete behave.
TEST_F(CreateTest, RefusedInstanceIsUsable) {
  const PreviewSetup refused[] = {
      With({1, 0, 0, 0, 0, 0, 0}), With({}, 9), WithGamma(50), With({}, 0, 7)};
  const uint8_t src[6] = {10, 20, 30, 200, 100, 0};
  for (const PreviewSetup& s : refused) {
    PreviewHandle h = nullptr;
    EXPECT_NE(Create(s, &h), RC_OK);
    ASSERT_NE(h, nullptr);
    const preview::PreviewInstance& inst = Inst(h);
    for (int c = 0; c < 3; ++c) {
      for (int i = 0; i < 256; ++i) ASSERT_EQ(inst.tone[c][i], i);
    }
    EXPECT_EQ(inst.selfBlock, h);
    uint8_t dst[6] = {};
    EXPECT_EQ(PreviewTranslateColorsThk(h, 2, src, dst, 0, nullptr), RC_OK);
    EXPECT_EQ(std::memcmp(src, dst, 6), 0);
    EXPECT_EQ(PreviewDeleteThk(h), RC_OK);
  }
}

TEST_F(CreateTest, NeutralSettingsGiveIdentityTables) {
  for (const PreviewSetup& s : {With({}), WithGamma(150), WithGamma(0)}) {
    PreviewHandle h = nullptr;
    ASSERT_EQ(Create(s, &h), RC_OK);
    const preview::PreviewInstance& inst = Inst(h);
    for (int c = 0; c < 3; ++c) {
      for (int i = 0; i < 256; ++i) ASSERT_EQ(inst.tone[c][i], i) << c << " " << i;
    }
    EXPECT_EQ(PreviewDeleteThk(h), RC_OK);
  }
}

TEST_F(CreateTest, NullGammaValueMeans150AndOtherGammasChangeTables) {
  ColorAdjustRecord adjust{};
  PreviewOptions options{};
  TaggedValuePair pair{1, nullptr};
  TaggedValueList list{1, &pair};
  PreviewHandle h = nullptr;
  ASSERT_EQ(PreviewNewThk(&adjust, nullptr, nullptr, &list, &options, nullptr, 1, &h),
            RC_OK);
  EXPECT_EQ(Inst(h).tone[0][100], 100);
  EXPECT_EQ(PreviewDeleteThk(h), RC_OK);

  ASSERT_EQ(Create(WithGamma(200), &h), RC_OK);
  EXPECT_LT(Inst(h).tone[1][100], 100);  // a higher gamma darkens mid tones
  EXPECT_EQ(Inst(h).tone[1][0], 0);
  EXPECT_EQ(Inst(h).tone[1][255], 255);
  EXPECT_EQ(PreviewDeleteThk(h), RC_OK);
}

TEST_F(CreateTest, OffsetsReachTheirOwnChannel) {
  PreviewHandle h = nullptr;
  ASSERT_EQ(Create(With({0, 0, 0, 0, 20, 0, -20}), &h), RC_OK);
  EXPECT_EQ(Inst(h).tone[0][100], 120);
  EXPECT_EQ(Inst(h).tone[1][100], 100);
  EXPECT_EQ(Inst(h).tone[2][100], 80);
  EXPECT_EQ(PreviewDeleteThk(h), RC_OK);
}

// Brightness is field 1 and contrast field 2; gamma and offsets follow.
TEST_F(CreateTest, FieldsReachTheirCurves) {
  PreviewSetup s = With({0, 30, -20, 0, 5, 0, -5});
  s.withGamma = true;
  s.gamma = 220;
  PreviewHandle h = nullptr;
  ASSERT_EQ(Create(s, &h), RC_OK);
  int32_t curve[256], delta[256], want[256];
  preview::BuildAdjustCurve(30, -20, curve);
  preview::BuildGammaDelta(220, delta);
  const int32_t offsets[3] = {5, 0, -5};
  for (int c = 0; c < 3; ++c) {
    preview::BuildToneTable(curve, offsets[c], delta, want);
    for (int i = 0; i < 256; ++i) ASSERT_EQ(Inst(h).tone[c][i], want[i]) << c << " " << i;
  }
  EXPECT_EQ(PreviewDeleteThk(h), RC_OK);
}

TEST_F(CreateTest, CurveTableIsUsedUnchecked) {
  uint8_t curves[768];
  for (int i = 0; i < 768; ++i) curves[i] = static_cast<uint8_t>(i * 7 + 3);
  PreviewSetup s = With({5, 99, -99, 70, 80, 90, -100}, 9, 3);
  s.curves = curves;
  s.withGamma = true;
  s.gamma = 7;
  PreviewHandle h = nullptr;
  ASSERT_EQ(Create(s, &h), RC_OK);
  const preview::PreviewInstance& inst = Inst(h);
  for (int c = 0; c < 3; ++c) {
    for (int i = 0; i < 256; ++i) ASSERT_EQ(inst.tone[c][i], curves[256 * c + i]);
  }
  const int32_t fields[7] = {5, 99, -99, 70, 80, 90, -100};
  for (int f = 0; f < 7; ++f) EXPECT_EQ(inst.fields[f], fields[f]);
  EXPECT_EQ(inst.mode, 9);
  EXPECT_EQ(inst.pixelFormat, 3);
  EXPECT_EQ(inst.bytesPerPixel, 4);
  EXPECT_EQ(PreviewDeleteThk(h), RC_OK);
}

TEST_F(CreateTest, AllocationFailures) {
  struct Case { MemOp op; uint32_t rc; };
  for (const Case& c : {Case{MemOp::kAlloc, RC_NO_MEMORY}, Case{MemOp::kLock, RC_LOCK_FAILED}}) {
    MemFailNth(c.op, 1);
    PreviewHandle h = reinterpret_cast<PreviewHandle>(0x1);
    EXPECT_EQ(Create(With({}), &h), c.rc);
    EXPECT_EQ(h, reinterpret_cast<PreviewHandle>(0x1));  // not written
    MemResetFaults();
    EXPECT_EQ(MemLiveBlocks(), live_);
  }
}

TEST_F(CreateTest, DeleteReportsReleaseFailuresAndCanBeRetried) {
  struct Case { MemOp op; uint32_t rc; };
  for (const Case& c : {Case{MemOp::kUnlock, RC_UNLOCK_FAILED}, Case{MemOp::kFree, RC_FREE_FAILED}}) {
    PreviewHandle h = nullptr;
    ASSERT_EQ(Create(With({}), &h), RC_OK);
    MemFailNth(c.op, 1);
    EXPECT_EQ(PreviewDeleteThk(h), c.rc);
    MemResetFaults();
    EXPECT_EQ(PreviewDeleteThk(h), RC_OK);  // the block was kept
  }
}

TEST_F(CreateTest, NullArguments) {
  EXPECT_EQ(PreviewDeleteThk(nullptr), RC_LOCK_FAILED);
  EXPECT_EQ(PreviewTranslateColorsThk(nullptr, 1, nullptr, nullptr, 0, nullptr),
            RC_LOCK_FAILED);
  ColorAdjustRecord adjust{};
  PreviewOptions options{};
  EXPECT_EQ(PreviewNewThk(&adjust, nullptr, nullptr, nullptr, &options, nullptr, 1, nullptr),
            RC_BAD_PARAMETER);
  EXPECT_EQ(preview::PreviewCreate(adjust, options, 1, nullptr), RC_BAD_PARAMETER);
  PreviewHandle h = nullptr;
  ASSERT_EQ(Create(With({}), &h), RC_OK);
  uint8_t px[3] = {};
  EXPECT_EQ(PreviewTranslateColorsThk(h, 1, nullptr, px, 0, nullptr), RC_BAD_PARAMETER);
  EXPECT_EQ(PreviewTranslateColorsThk(h, 1, px, nullptr, 0, nullptr), RC_BAD_PARAMETER);
  EXPECT_EQ(PreviewTranslateColorsThk(h, 0, nullptr, nullptr, 0, nullptr), RC_OK);
  EXPECT_EQ(PreviewDeleteThk(h), RC_OK);
}

}  // namespace
}  // namespace vantik::test
