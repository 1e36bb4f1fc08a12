// ResourceSet lookups and the index reader behind paper names and messages.
#include <gtest/gtest.h>

#include "common/tiny_resources.h"
#include "vantik/vantik.hpp"

namespace vantik {
namespace {

using testing::Bytes;

TEST(ResourceSetTest, OwnedAndBorrowedBlocksByServiceAndNumber) {
  static const uint8_t kEmbedded[] = {1, 2, 3};
  ResourceSet set;
  set.Add(Service::kColor, 100, {9, 9});
  set.AddView(Service::kHalftone, 100, kEmbedded);
  set.Add(Service::kHalftone, 300, {7});
  ASSERT_TRUE(set.Find(Service::kColor, 100));
  EXPECT_EQ(set.Find(Service::kColor, 100)->size(), 2u);
  EXPECT_EQ(set.Find(Service::kHalftone, 100)->data(), kEmbedded);
  EXPECT_FALSE(set.Find(Service::kColor, 300));
  EXPECT_EQ(set.Numbers(Service::kHalftone), (std::vector<int>{100, 300}));
  // Replacing a borrowed block with an owned one keeps the new bytes.
  set.Add(Service::kHalftone, 100, {5, 6, 7, 8});
  EXPECT_EQ(set.Find(Service::kHalftone, 100)->size(), 4u);
  EXPECT_EQ((*set.Find(Service::kHalftone, 100))[3], 8);
}

TEST(IndexNamesTest, ReadsEntriesAndTheThreeNameLists) {
  auto names = ReadIndexNames(Bytes(testing::TinyIndexText()));
  ASSERT_TRUE(names);
  EXPECT_EQ(names->kinds, (std::vector<std::string>{"K0", "K1", "K2", "K3"}));
  EXPECT_EQ(names->paperBase, 8);
  EXPECT_EQ(names->papers, (std::vector<std::string>{"PLAIN", "PHOTO"}));
  EXPECT_EQ(names->modes.size(), 5u);
  ASSERT_EQ(names->entries.size(), 3u);
  EXPECT_EQ(names->entries[1].table, 120);
  EXPECT_EQ(names->entries[1].kind, "K3");
  EXPECT_EQ(names->entries[2].paper, "PHOTO");
  EXPECT_EQ(names->entries[0].xResolution, 720);
  EXPECT_EQ(names->PaperNumber("photo"), 9);
  EXPECT_EQ(names->PaperNumber("PLAIN"), 8);
  EXPECT_FALSE(names->PaperNumber("glossy"));
  EXPECT_EQ(names->PaperName(9), "PHOTO");
  EXPECT_EQ(names->PaperName(42), "42");
}

TEST(IndexNamesTest, ListWithoutBaseStartsAtZeroAndLineEndsVary) {
  auto names = ReadIndexNames(Bytes("x/ header\nskip\n5 0 A PA 1 2 M 3\n\n/\nA\nPA PB\nM\n"));
  ASSERT_TRUE(names);
  EXPECT_EQ(names->paperBase, 0);
  EXPECT_EQ(names->PaperNumber("PB"), 1);
  ASSERT_EQ(names->entries.size(), 1u);
  EXPECT_EQ(names->entries[0].selector, 3);
}

TEST(IndexNamesTest, MalformedTextGivesNothing) {
  const char* cases[] = {
      "",
      "no slash at all\nA B\n",
      "/\nskip\n1 2 K P 3 4 M 5\n",            // no end line, no lists
      "/\nskip\n/\nK\nP\n",                     // list 3 missing
      "\x1a/\nskip\n/\nK\nP\nM\n",              // text ends before the slash
  };
  for (const char* text : cases) {
    EXPECT_FALSE(ReadIndexNames(Bytes(text))) << text;
  }
  // Cut anywhere, the index is read within its bytes (the sanitizers watch).
  std::vector<uint8_t> full = Bytes(testing::TinyIndexText());
  for (size_t n = 0; n < full.size(); ++n) {
    std::vector<uint8_t> cut(full.begin(), full.begin() + static_cast<long>(n));
    (void)ReadIndexNames(cut);
  }
}

}  // namespace
}  // namespace vantik
