// Calibration blocks 980, 990, the calibration index and its curve blocks.

#include <gtest/gtest.h>

#include <optional>
#include <set>
#include <string>

#include "vantik/default_resources.h"
#include "vantik/vantik.hpp"

namespace vantik::resources {
namespace {

TEST(DefaultCalibration, SlotRecordsEndProperly) {
  const Block* b = FindDefault(Service::kColor, kCalibrationSlots);
  ASSERT_NE(b, nullptr);
  size_t i = 0, records = 0;
  while (i < b->bytes.size() && b->bytes[i] != 0xFF) {
    const size_t start = i;
    while (i < b->bytes.size() && b->bytes[i] != 0xFE) {
      if (i > start) {
        EXPECT_LT(b->bytes[i], 4) << "curve slot beyond the four channels";
      }
      ++i;
    }
    ASSERT_LT(i, b->bytes.size()) << "record without 0xFE";
    EXPECT_LE(i - start, 20u);
    ++i;
    ++records;
  }
  ASSERT_LT(i, b->bytes.size()) << "no 0xFF end";
  EXPECT_GE(records, 1u);
}

TEST(DefaultCalibration, ReferenceLevelsLieInTheRecordsRange) {
  const Block* b = FindDefault(Service::kColor, kCalibrationLevels);
  ASSERT_NE(b, nullptr);
  ASSERT_GE(b->bytes.size(), 4u);  // one per channel of the widest table
  for (uint8_t v : b->bytes) {
    EXPECT_GE(v, 30);
    EXPECT_LE(v, 70);
  }
}

// Row 10 the identity, every row rising from 0, each row at least as dark
// as the one below it.
void CheckCurveRows(const Block& block) {
  auto at = [&](int row, int x) { return int(block.bytes[row * 256 + x]); };
  for (int x = 0; x < 256; ++x) EXPECT_EQ(at(10, x), x);
  for (int row = 0; row < 21; ++row) {
    EXPECT_EQ(at(row, 0), 0) << "no ink stays no ink";
    // Darker rows keep solids solid; lighter ones may take ink off them
    // (the darkest grays would tint otherwise).
    if (row >= 10) {
      EXPECT_EQ(at(row, 255), 255) << "solid stays solid";
    }
    for (int x = 1; x < 256; ++x) EXPECT_GE(at(row, x), at(row, x - 1)) << row;
    if (row == 0) continue;
    for (int x = 1; x < 255; ++x) EXPECT_GE(at(row, x), at(row - 1, x)) << row << " " << x;
  }
  // The outer rows move mid-tones visibly (how much the print moves is
  // measured by the quality tests' calibrated gray ramp).
  EXPECT_LT(at(0, 128), 118);
  EXPECT_GT(at(20, 128), 138);
}

// Every curve block the calibration index names: each method whose tables
// are corrected by printing has its own.
TEST(DefaultCalibration, CurveRowsRunFromLighterToDarkerAroundTheIdentity) {
  const Block* index = FindDefault(Service::kColor, kCalibrationIndex);
  ASSERT_NE(index, nullptr);
  const std::optional<IndexNames> names = ReadIndexNames(index->bytes);
  ASSERT_TRUE(names.has_value());
  std::set<int> numbers;
  for (const IndexNames::Entry& e : names->entries) numbers.insert(e.table);
  EXPECT_GT(numbers.size(), 1u);
  for (int number : numbers) {
    SCOPED_TRACE("curve block " + std::to_string(number));
    const Block* b = FindDefault(Service::kColor, number);
    ASSERT_NE(b, nullptr);
    ASSERT_EQ(b->bytes.size(), 21u * 256);
    CheckCurveRows(*b);
  }
}

}  // namespace
}  // namespace vantik::resources
