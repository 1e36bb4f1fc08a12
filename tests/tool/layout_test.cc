// Where an image lands on the page: margins, turning and placement.
#include <gtest/gtest.h>

#include "job.h"

namespace vantik::tool {
namespace {

TEST(Layout, MarginsParseAndDefaultPerPageSize) {
  struct Case {
    const char* text;
    std::optional<Margins> want;
  };
  const Case cases[] = {
      {"0.25", Margins{0.25, 0.25, 0.25, 0.25}},
      {"0.5in", Margins{0.5, 0.5, 0.5, 0.5}},
      {"25.4mm", Margins{1, 1, 1, 1}},
      {"0,0.5,1,2in", Margins{0, 0.5, 1, 2}},
      {"1,2", std::nullopt},
      {"-1", std::nullopt},
      {"3cm", std::nullopt},
      {"", std::nullopt},
      {"11", std::nullopt},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    std::optional<Margins> m = ParseMargins(c.text);
    ASSERT_EQ(m.has_value(), c.want.has_value());
    if (!m) continue;
    EXPECT_NEAR(m->top, c.want->top, 1e-9);
    EXPECT_NEAR(m->right, c.want->right, 1e-9);
    EXPECT_NEAR(m->bottom, c.want->bottom, 1e-9);
    EXPECT_NEAR(m->left, c.want->left, 1e-9);
  }
  EXPECT_EQ(DefaultMargins("letter").left, 0.25);
  EXPECT_NEAR(DefaultMargins("a4").top, 5 / 25.4, 1e-9);
  EXPECT_EQ(DefaultMargins("4x6in").top, 0.0);
}

TEST(Layout, LandscapeImagesTurnOntoPortraitAreas) {
  const PageSize letter{8.5, 11};
  const Margins none;
  EXPECT_TRUE(ShouldRotate(letter, none, 300, 200));
  EXPECT_FALSE(ShouldRotate(letter, none, 200, 300));
  EXPECT_FALSE(ShouldRotate(letter, none, 200, 200));
  EXPECT_TRUE(ShouldRotate(PageSize{6, 4}, none, 200, 300));
  // The printable area decides: deep top and bottom margins make a
  // portrait page's area landscape.
  EXPECT_FALSE(ShouldRotate(letter, Margins{3.5, 0, 3.5, 0}, 300, 200));
}

TEST(Layout, ImagesFitInsideTheMarginsAndCentre) {
  const PageSize letter{8.5, 11};
  const Resolution r{100, 100};
  // A square image on letter with half-inch margins: 7.5 in wide, centred
  // in the printable area.
  Result<Placement> p = Place(letter, r, 500, 500, std::nullopt, Margins{0.5, 0.5, 0.5, 0.5});
  ASSERT_TRUE(p.ok());
  EXPECT_EQ(p->pageWidth, 850);
  EXPECT_EQ(p->pageHeight, 1100);
  EXPECT_EQ(p->width, 750);
  EXPECT_EQ(p->height, 750);
  EXPECT_EQ(p->left, 50);
  EXPECT_EQ(p->top, 175);
  // Uneven margins move the centre.
  p = Place(letter, r, 500, 500, std::nullopt, Margins{0, 0, 0, 1.5});
  ASSERT_TRUE(p.ok());
  EXPECT_EQ(p->width, 700);
  EXPECT_EQ(p->left, 150);

  struct Refused {
    const char* name;
    std::optional<double> dpi;
    Margins margins;
    const char* message;
  };
  const Refused refused[] = {
      {"dpi too low for the area", 60.0, Margins{1, 1, 1, 1},
       "does not fit the printable 6.50 x 9.00 in of the page"},
      {"margins leave nothing", std::nullopt, Margins{0, 4.2, 0, 4.2},
       "--margins: they leave 0.10 x 11.00 in of the 8.50 x 11.00 in page"},
  };
  for (const Refused& c : refused) {
    SCOPED_TRACE(c.name);
    p = Place(letter, r, 500, 500, c.dpi, c.margins);
    ASSERT_FALSE(p.ok());
    EXPECT_NE(p.status().message().find(c.message), std::string::npos) << p.status().message();
  }
}

}  // namespace
}  // namespace vantik::tool
