#include "halftone_a/screen_tables.h"

#include <gtest/gtest.h>

#include "halftone_a/converters.h"

namespace vantik::halftone_a {
namespace {

TEST(NodeLevelsTest, AreTwoHundredFiftyFiveTwentyFourthsRoundedUp) {
  for (int i = 0; i < 25; ++i) EXPECT_EQ(kNodeLevels[i], (255 * i + 12) / 24) << i;
  EXPECT_EQ(kNodeLevels[1], 11);
  EXPECT_EQ(kNodeLevels[24], 255);
}

TEST(NodeTableTest, PlacesLevelsBetweenNodes) {
  uint8_t table[512];
  BuildNodeTable(table);
  struct Case { int level, cell, fraction; };
  const Case cases[] = {
      {0, 0, 0},     {5, 0, 115},   {10, 0, 231}, {11, 1, 0},
      {128, 12, 0},  {127, 11, 231}, {244, 23, 0}, {254, 23, 231},
      {255, 24, 0},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(table[2 * c.level], c.cell) << c.level;
    EXPECT_EQ(table[2 * c.level + 1], c.fraction) << c.level;
  }
  // Every node level has fraction 0; fractions stay below 255.
  for (int i = 0; i < 25; ++i) EXPECT_EQ(table[2 * kNodeLevels[i] + 1], 0) << i;
  for (int j = 0; j < 256; ++j) EXPECT_LT(table[2 * j + 1], 255) << j;
}

TEST(LevelTableTest, BreakpointsForABelowAndAbove255) {
  struct Case { int a, b, index, value; };
  const Case cases[] = {
      // A = 200, B = 300: L 210, H 127, Q 100, o 192 limited to M 191, n 180.
      {200, 300, 0, 255},   {200, 300, 179, 255}, {200, 300, 180, 255},
      {200, 300, 217, 227}, {200, 300, 254, 200}, {200, 300, 255, 200},
      {200, 300, 399, 191}, {200, 300, 400, 191}, {200, 300, 500, 159},
      {200, 300, 599, 127}, {200, 300, 600, 127}, {200, 300, 764, 100},
      {200, 300, 765, 100}, {200, 300, 767, 100},
      // A = 300, B = 400: L' 255, H 113, o 181 limited to M 170.
      {300, 400, 254, 255}, {300, 400, 255, 255}, {300, 400, 400, 219},
      {300, 400, 599, 170}, {300, 400, 600, 170}, {300, 400, 767, 138},
      // A = 100 (ranges overlap): the first listed range wins, so 200 is on
      // the n..255 slope, not on the 2A..3A one (which would give 255).
      {100, 300, 89, 255},  {100, 300, 200, 151}, {100, 300, 260, 255},
      {100, 300, 600, 155},
      // A = 130, B = 308: L 215, H 201, Q 102, M 302, o = 201 + 130 x 54 /
      // 175 = 241 (below M, so the o slope itself shows), n 117.  At 257 the
      // slope gives 241 - 333 / 5, truncated toward zero to 241 - 66.
      {130, 308, 116, 255}, {130, 308, 117, 255}, {130, 308, 200, 179},
      {130, 308, 255, 130}, {130, 308, 257, 175}, {130, 308, 260, 241},
      {130, 308, 300, 228}, {130, 308, 390, 201}, {130, 308, 578, 151},
      {130, 308, 765, 102},
      // A = 256, B = 402: L 281 so L' 255, H 133, M 200, o = 133 + 256 x 122
      // / 487 = 197 (below M).
      {256, 402, 254, 255}, {256, 402, 255, 255}, {256, 402, 256, 254},
      {256, 402, 511, 197}, {256, 402, 512, 197}, {256, 402, 562, 184},
      {256, 402, 767, 133},
  };
  for (const Case& c : cases) {
    ASSERT_TRUE(LevelTableDefined(c.a, c.b));
    uint8_t table[768];
    BuildLevelTable(c.a, c.b, table);
    EXPECT_EQ(table[c.index], c.value) << "A " << c.a << " B " << c.b << " i " << c.index;
  }
}

TEST(LevelTableTest, ParametersThatWouldDivideByZeroAreNotDefined) {
  EXPECT_FALSE(LevelTableDefined(0, 300));
  EXPECT_FALSE(LevelTableDefined(70, 300));   // 3A = 210 = 70 B / 100
  EXPECT_TRUE(LevelTableDefined(71, 300));
  // Extreme but defined parameters wrap as 32-bit arithmetic and stay in
  // the table (the sanitizers check the arithmetic).
  uint8_t table[768];
  BuildLevelTable(1, 65535, table);
  BuildLevelTable(65535, 65535, table);
  BuildLevelTable(15292, 65535, table);  // 3A - L = 2
}

TEST(ColorTableTest, OneDarkChannelGetsAAndTwoGetHalfB) {
  uint8_t table[32];
  BuildColorTable(200, 300, table);
  auto at = [&](int plane, int index) { return table[plane * 8 + index]; };
  // Index 7: all three channels dark, black at A.
  EXPECT_EQ(at(3, 7), 200);
  EXPECT_EQ(at(0, 7), 0);
  EXPECT_EQ(at(1, 7), 0);
  EXPECT_EQ(at(2, 7), 0);
  // Index 3: channels 0 and 1 dark, planes 0 and 1 at B / 2.
  EXPECT_EQ(at(0, 3), 150);
  EXPECT_EQ(at(1, 3), 150);
  EXPECT_EQ(at(2, 3), 0);
  EXPECT_EQ(at(3, 3), 0);
  EXPECT_EQ(at(0, 1), 200);
  EXPECT_EQ(at(1, 2), 200);
  EXPECT_EQ(at(2, 4), 200);
  EXPECT_EQ(at(2, 6), 150);
  for (int p = 0; p < 4; ++p) EXPECT_EQ(at(p, 0), 0);
  // Only the low bytes count.
  BuildColorTable(0x1C8, 0x3FE, table);
  EXPECT_EQ(at(3, 7), 0xC8);
  EXPECT_EQ(at(0, 3), 0xFF);
}

TEST(ConverterTableTest, KnownMethodsHaveConvertersOthersNone) {
  struct Case { int method; bool known; bool matrix1; };
  const Case cases[] = {{0, true, false},  {1, true, false},  {2, true, false},
                        {3, true, true},   {4, false, false}, {5, true, true},
                        {6, true, false},  {7, true, false},  {8, true, false},
                        {9, true, false},  {10, true, false}, {11, false, false},
                        {-1, false, false}, {300, false, false}};
  for (const Case& c : cases) {
    ConverterInfo info{};
    EXPECT_EQ(FindConverter(c.method, &info), c.known) << c.method;
    if (c.known) {
      EXPECT_EQ(info.usesMatrix1 != 0, c.matrix1) << c.method;
    }
  }
  ConverterInfo six{}, eight{};
  FindConverter(6, &six);
  FindConverter(8, &eight);
  EXPECT_EQ(six.convert, eight.convert);
}

}  // namespace
}  // namespace vantik::halftone_a
