// Pure black's rewrite of the colour tables: which nodes lose their colour
// ink, what black they get, and that everything else is left alone.
#include "pure_black.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "formats/table_block.h"
#include "vantik/default_resources.h"

namespace vantik::tool {
namespace {

// A 17-node four-ink table: every node rich (C, M, Y 100, 110, 120, black
// 50), gray levels 255 - level, an explicit axis like the table's.
std::vector<uint8_t> RichTable() {
  formats::TableContent t;
  t.tag = "TEST";
  t.n = 17;
  t.w = 4;
  for (int axis = 0; axis < 3; ++axis)
    for (int j = 0; j < 17; ++j) t.positions.push_back(static_cast<uint8_t>(std::min(255, j * 16)));
  for (int i = 0; i < 17 * 17 * 17; ++i) t.table.insert(t.table.end(), {100, 110, 120, 50});
  for (int j = 0; j < 17; ++j) t.gray.push_back(static_cast<uint8_t>(255 - std::min(255, j * 16)));
  for (int j = 0; j < 17; ++j) t.diagonal.insert(t.diagonal.end(), {100, 110, 120, 50});
  return formats::WriteTableBlock(t);
}

const uint8_t* Node(const std::vector<uint8_t>& block, int a, int b, int c) {
  return block.data() + 76 + 3 * 17 + formats::TableNode(17, 4, a, b, c);
}

TEST(PureBlackTest, DarkGraysLoseColourInkAndHandOverSmoothly) {
  const std::vector<uint8_t> rich = RichTable();
  const std::vector<uint8_t> pure = PureBlackTable(rich, printmodel::PrintModel::Default());
  ASSERT_EQ(pure.size(), rich.size());
  struct Case {
    int a, b, c;               // node indices (level 16 x index, 255 at 16)
    int cyan, magenta, yellow; // expected colour ink
    bool moreBlack;            // black above the table's 50
  };
  const Case cases[] = {
      {0, 0, 0, 0, 0, 0, true},           // solid black: black alone
      {4, 4, 4, 0, 0, 0, true},           // level 64: still black alone
      {6, 6, 6, 50, 55, 60, true},        // level 96: half way
      {8, 8, 8, 100, 110, 120, false},    // level 128: the table's own
      {1, 0, 0, 50, 55, 60, true},        // 16 levels off the axis: half its colour ink
      {2, 0, 0, 100, 110, 120, false},    // 32 levels off: not near, unchanged
      {12, 12, 12, 100, 110, 120, false}, // a light gray: unchanged
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::Message() << c.a << "," << c.b << "," << c.c);
    const uint8_t* n = Node(pure, c.a, c.b, c.c);
    EXPECT_EQ(n[0], c.cyan);
    EXPECT_EQ(n[1], c.magenta);
    EXPECT_EQ(n[2], c.yellow);
    if (c.moreBlack) EXPECT_GT(n[3], 50);
    else EXPECT_EQ(n[3], 50);
  }
  // Along the axis colour ink never falls as the gray lightens, and black
  // never rises: no step back in the hand-over.
  for (int j = 1; j < 17; ++j) {
    EXPECT_GE(Node(pure, j, j, j)[0], Node(pure, j - 1, j - 1, j - 1)[0]) << j;
    EXPECT_LE(Node(pure, j, j, j)[3], Node(pure, j - 1, j - 1, j - 1)[3]) << j;
  }
  // The explicit axis follows the table's; the gray levels stay.
  const size_t diagonal = 76 + 3 * 17 + 17 * 17 * 17 * 4 + 17;
  for (int j = 0; j < 17; ++j) {
    EXPECT_TRUE(std::equal(Node(pure, j, j, j), Node(pure, j, j, j) + 4,
                           pure.data() + diagonal + j * 4)) << j;
    EXPECT_EQ(pure[diagonal - 17 + j], rich[diagonal - 17 + j]);
  }
  // Header and positions are kept byte for byte.
  EXPECT_TRUE(std::equal(rich.begin(), rich.begin() + 76 + 3 * 17, pure.begin()));
}

TEST(PureBlackTest, BlocksThatAreNotFourInkTablesStayAsTheyAre) {
  std::vector<uint8_t> oneInk = RichTable();
  oneInk[75] = 1;  // a black-only table's shape
  std::vector<uint8_t> cut = RichTable();
  cut.resize(76 + 3 * 17 + 100);  // ends inside its table
  std::vector<uint8_t> tiny = {1, 2, 3};
  for (const std::vector<uint8_t>* block : {&oneInk, &cut, &tiny}) {
    EXPECT_EQ(PureBlackTable(*block, printmodel::PrintModel::Default()), *block);
  }
}

// On the built-in set: only the tables the index names change, and their
// solid black is black ink alone.
TEST(PureBlackTest, RewritesTheTablesOfTheBuiltInSet) {
  std::optional<ResourceSet> set(std::in_place);
  for (const resources::Block& b : resources::Defaults()) set->AddView(b.service, b.number, b.bytes);
  const ResourceSet pure = PureBlackResources(*set);
  for (Service service : {Service::kColor, Service::kHalftone}) {
    ASSERT_EQ(pure.Numbers(service), set->Numbers(service));
    for (int number : set->Numbers(service)) {
      const auto before = *set->Find(service, number);
      const auto after = *pure.Find(service, number);
      const bool fourInkTable = service == Service::kColor && number >= 1 && number < 900 &&
                                before.size() > 75 && before[75] == 4;
      ASSERT_EQ(before.size(), after.size());
      EXPECT_EQ(std::equal(before.begin(), before.end(), after.begin()), !fourInkTable)
          << number;
      if (!fourInkTable) continue;
      // Down the neutral axis from level 128 to solid black, colour ink
      // only falls and black only rises, to black alone from level 64.
      const int n = after[72];
      const uint8_t* positions = after.data() + 76;
      const uint8_t* table = positions + 3 * n;
      for (int j = n - 1; j > 0; --j) {
        if (positions[j] > kPureBlackEnd) continue;
        const uint8_t* lighter = table + formats::TableNode(n, 4, j, j, j);
        const uint8_t* darker = table + formats::TableNode(n, 4, j - 1, j - 1, j - 1);
        for (int i = 0; i < 3; ++i) EXPECT_LE(darker[i], lighter[i]) << number << " node " << j;
        EXPECT_GE(darker[3], lighter[3]) << number << " node " << j;
        if (positions[j - 1] <= kPureBlackFull) {
          EXPECT_EQ(darker[0] + darker[1] + darker[2], 0) << number << " node " << j - 1;
        }
      }
      EXPECT_EQ(table[3], 255) << number;  // solid black: solid black ink
    }
  }
}

}  // namespace
}  // namespace vantik::tool
