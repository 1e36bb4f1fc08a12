// The resource dialogue answered from a ResourceSet: complete sequences,
// and failures told in words with the block and the request named.
#include <gtest/gtest.h>

#include "common/tiny_resources.h"
#include "interface/memblock.h"
#include "vantik/vantik.hpp"

namespace vantik {
namespace {

ColorSettings Colour(int kind = 1) {
  ColorSettings s;
  s.paper = 8;  // PLAIN
  s.halftone.kind = kind;
  s.halftone.lineWidth = 64;
  return s;
}

class DialogueTest : public ::testing::Test {
 protected:
  void SetUp() override { live_ = MemLiveBlocks(); }
  void TearDown() override { EXPECT_EQ(MemLiveBlocks(), live_) << "blocks leaked"; }
  ResourceSet set_ = testing::TinyResources();
  long live_ = 0;
};

TEST_F(DialogueTest, CompleteSequenceTranslatesThroughTheTable) {
  auto m = ColorMatcher::Create(Colour(), set_);
  ASSERT_TRUE(m.ok()) << m.status().ToString();
  EXPECT_EQ(m->channels(), 4);
  EXPECT_EQ(m->lut()->tableNumber, 120);
  EXPECT_EQ(m->lut()->halftoneNumber, 200);
  const uint8_t rgb[] = {255, 255, 255, 0, 0, 0, 255, 0, 0};
  uint8_t inks[12] = {};
  ASSERT_TRUE(m->Translate(rgb, inks).ok());
  const uint8_t want[12] = {0, 0, 0, 0, 255, 255, 255, 255, 0, 255, 255, 0};
  EXPECT_EQ(std::vector<uint8_t>(inks, inks + 12), std::vector<uint8_t>(want, want + 12));
}

TEST_F(DialogueTest, FailuresNameTheBlockAndTheRequest) {
  struct Case {
    const char* name;
    int kind, xres, paper;
    std::vector<std::pair<Service, int>> remove;
    uint32_t code;
    std::string message;
  };
  const Case cases[] = {
      {"no index", 1, 720, 8, {{Service::kColor, 0}}, RC_BAD_RESOURCE,
       "the resource set has no colour-table index (colour block 0)"},
      {"no entry", 3, 360, 8, {}, RC_BAD_RESOURCE,
       "colour-table index (block 0) has no entry for kind 3, mode 4, 360 x 720 dpi, "
       "selector 0, paper PLAIN"},
      {"no entry for photo", 3, 720, 9, {}, RC_BAD_RESOURCE,
       "colour-table index (block 0) has no entry for kind 3, mode 4, 720 x 720 dpi, "
       "selector 0, paper PHOTO"},
      {"no table", 1, 720, 8, {{Service::kColor, 120}}, RC_BAD_RESOURCE,
       "the resource set has no colour block 120 (colour table named by the colour-table index)"},
  };
  for (const Case& c : cases) {
    ResourceSet set = testing::TinyResources();
    ResourceSet trimmed;
    for (Service sv : {Service::kColor, Service::kHalftone})
      for (int n : set.Numbers(sv)) {
        bool drop = false;
        for (auto [rs, rn] : c.remove) drop |= rs == sv && rn == n;
        if (!drop) trimmed.AddView(sv, n, *set.Find(sv, n));
      }
    ColorSettings s = Colour(c.kind);
    s.halftone.xResolution = c.xres;
    s.paper = c.paper;
    auto m = ColorMatcher::Create(s, trimmed);
    ASSERT_FALSE(m.ok()) << c.name;
    EXPECT_EQ(m.status().code(), c.code) << c.name;
    EXPECT_EQ(m.status().message(), c.message) << c.name;
  }
}

TEST_F(DialogueTest, BlackInkSetMatchesTheBlackOnlyTables) {
  ColorSettings s = Colour();
  s.inks = InkSet::kBlack;
  s.halftone.renderMode = 0;
  s.halftone.lutMode = 0;
  // The tiny index lists colour tables (mode 4) only.
  auto none = ColorMatcher::Create(s, set_);
  ASSERT_FALSE(none.ok());
  EXPECT_EQ(none.status().message(),
            "colour-table index (block 0) has no entry for kind 1, mode 0, 720 x 720 dpi, "
            "selector 0, paper PLAIN");

  // Listed as mode 0, the same table is found for black and no longer for colour.
  ResourceSet set = testing::TinyResources();
  std::string index = testing::TinyIndexText();
  index.replace(index.find("K1 PLAIN 720 720 M4"), 19, "K1 PLAIN 720 720 M0");
  set.Add(Service::kColor, 0, testing::Bytes(index));
  auto black = ColorMatcher::Create(s, set);
  ASSERT_TRUE(black.ok()) << black.status().ToString();
  EXPECT_EQ(black->lut()->tableNumber, 120);
  EXPECT_FALSE(ColorMatcher::Create(Colour(), set).ok());
}

TEST_F(DialogueTest, CalibrationShiftsEveryInk) {
  auto plain = ColorMatcher::Create(Colour(), set_);
  ASSERT_TRUE(plain.ok()) << plain.status().ToString();
  ColorSettings s = Colour();
  s.calibration = Calibration{0, {70, 70, 70, 70}};  // 20 above the reference: row 20
  auto darker = ColorMatcher::Create(s, set_);
  ASSERT_TRUE(darker.ok()) << darker.status().ToString();
  // The curves rewrite the table's nodes: white (all inks 0) gains 40 on
  // every ink, black (all 255) stays.
  const uint8_t rgb[] = {255, 255, 255, 0, 0, 0};
  uint8_t a[8], b[8];
  ASSERT_TRUE(plain->Translate(rgb, a).ok());
  ASSERT_TRUE(darker->Translate(rgb, b).ok());
  for (int k = 0; k < 4; ++k) {
    EXPECT_EQ(a[k], 0) << k;
    EXPECT_EQ(b[k], 40) << k;
    EXPECT_EQ(b[4 + k], 255) << k;
  }

  // A level the library would ignore, or a level count that does not fit
  // the table, is refused instead of printing uncalibrated.
  s.calibration = Calibration{0, {50, 80, 50, 50}};
  EXPECT_EQ(ColorMatcher::Create(s, set_).status().message(), "calibration level 80 is outside 30..70");
  s.calibration = Calibration{0, {50, 50}};
  auto wrong = ColorMatcher::Create(s, set_);
  ASSERT_FALSE(wrong.ok());
  EXPECT_EQ(wrong.status().message(), "calibration has 2 levels but the colour table has 4 inks");

  // A missing calibration block is named.
  ResourceSet partial;
  for (int n : set_.Numbers(Service::kColor))
    if (n != 990) partial.AddView(Service::kColor, n, *set_.Find(Service::kColor, n));
  s.calibration = Calibration{0, {50, 50, 50, 50}};
  auto missing = ColorMatcher::Create(s, partial);
  ASSERT_FALSE(missing.ok());
  EXPECT_EQ(missing.status().message(),
            "the resource set has no colour block 990 (calibration reference levels)");
}

// The colour dialogue asks for at most five blocks after the index: the
// table, and with a calibration 980, 990, 900 and the curves.  After the
// plain and after the longest dialogue alike, every block offered again is
// refused with 0x300 and the table stays as it was.
TEST_F(DialogueTest, NoBlockIsTakenAfterTheDialogueEnds) {
  for (bool calibrated : {false, true}) {
    SCOPED_TRACE(calibrated ? "calibrated" : "plain");
    ColorSettings s = Colour();
    if (calibrated) s.calibration = Calibration{0, {70, 70, 70, 70}};
    auto m = ColorMatcher::Create(s, set_);
    ASSERT_TRUE(m.ok()) << m.status().ToString();
    const uint8_t rgb[] = {255, 255, 255, 0, 0, 0, 40, 160, 220};
    uint8_t before[12], after[12];
    ASSERT_TRUE(m->Translate(rgb, before).ok());
    for (int number : {0, 120, 980, 990, 900, 910}) {
      auto block = set_.Find(Service::kColor, number);
      ASSERT_TRUE(block.has_value()) << number;
      int32_t inOut = 0;
      EXPECT_EQ(CmSetResourceWithLength(m->handle(), block->data(), block->size(), &inOut),
                RC_BAD_RESOURCE)
          << "block " << number;
    }
    ASSERT_TRUE(m->Translate(rgb, after).ok());
    EXPECT_EQ(std::vector<uint8_t>(after, after + 12), std::vector<uint8_t>(before, before + 12));
  }
}

TEST_F(DialogueTest, AdjustmentsAreCheckedBeforeTheLibrarySeesThem) {
  ColorSettings s = Colour();
  s.adjust.saturation = 51;
  auto m = ColorMatcher::Create(s, set_);
  ASSERT_FALSE(m.ok());
  EXPECT_EQ(m.status().code(), uint32_t{RC_BAD_VALUE});
  EXPECT_EQ(m.status().message(), "saturation 51 is outside -50..50");
}

TEST_F(DialogueTest, HalftonerLoadsEngineBAndNamesAMissingBlock) {
  auto m = ColorMatcher::Create(Colour(), set_);
  ASSERT_TRUE(m.ok()) << m.status().ToString();
  auto h = Halftoner::Create(*m, set_);
  ASSERT_TRUE(h.ok()) << h.status().ToString();
  EXPECT_EQ(h->planes(), 4);

  ResourceSet partial;
  for (int n : set_.Numbers(Service::kColor)) partial.AddView(Service::kColor, n, *set_.Find(Service::kColor, n));
  partial.AddView(Service::kHalftone, 200, *set_.Find(Service::kHalftone, 200));
  partial.AddView(Service::kHalftone, 201, *set_.Find(Service::kHalftone, 201));
  auto broken = Halftoner::Create(*m, partial);
  ASSERT_FALSE(broken.ok());
  EXPECT_EQ(broken.status().message(),
            "the resource set has no halftone block 202 (named by halftone block 201 for engine B)");

  // Colour matching does not read the line width; the halftoner refuses 0.
  ColorSettings zero = Colour();
  zero.halftone.lineWidth = 0;
  auto z = ColorMatcher::Create(zero, set_);
  ASSERT_TRUE(z.ok()) << z.status().ToString();
  EXPECT_EQ(Halftoner::Create(*z, set_).status().code(), uint32_t{RC_BAD_PARAMETER});
}

TEST_F(DialogueTest, MovedObjectsReleaseTheirInstancesOnce) {
  auto m = ColorMatcher::Create(Colour(), set_);
  ASSERT_TRUE(m.ok());
  ColorMatcher a = std::move(*m);
  ColorMatcher b = std::move(a);
  EXPECT_EQ(a.handle(), nullptr);
  EXPECT_NE(b.handle(), nullptr);
  auto other = ColorMatcher::Create(Colour(), set_);
  ASSERT_TRUE(other.ok());
  b = std::move(*other);  // the first instance is deleted here
  EXPECT_NE(b.handle(), nullptr);
}

TEST(PreviewApiTest, IdentitySettingsCopyPixels) {
  PreviewSettings ps;
  auto p = Preview::Create(ps);
  ASSERT_TRUE(p.ok()) << p.status().ToString();
  std::vector<uint8_t> rgb = {0, 10, 20, 100, 150, 200, 255, 254, 253};
  std::vector<uint8_t> out(rgb.size());
  ASSERT_TRUE(p->Translate(rgb, out).ok());
  EXPECT_EQ(out, rgb);
  ps.sharpen = 4;
  EXPECT_EQ(Preview::Create(ps).status().message(), "sharpening 4 is outside 0..3");
}

}  // namespace
}  // namespace vantik
