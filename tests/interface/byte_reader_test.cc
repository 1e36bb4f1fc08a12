#include "interface/byte_reader.h"

#include <gtest/gtest.h>

namespace vantik {
namespace {

TEST(ByteReaderTest, ReadsEndiannessAndLatchesFailureAtTheEnd) {
  const uint8_t block[] = {0x12, 0x34, 0xFF, 0xFE, 0x01};
  ByteReader r(block, sizeof block);
  EXPECT_EQ(r.U16BE(), 0x1234);
  EXPECT_EQ(r.S16LE(), -257);
  EXPECT_TRUE(r.ok());
  EXPECT_EQ(r.U16LE(), 0);  // only one byte left
  EXPECT_FALSE(r.ok());
  EXPECT_EQ(r.U8(), 0);     // the failure stays latched
  EXPECT_EQ(r.pos(), 4u);
}

TEST(ByteReaderTest, RandomAccessStaysInside) {
  const uint8_t block[] = {1, 2, 3};
  ByteReader r(block, sizeof block);
  EXPECT_TRUE(r.Has(1, 2));
  EXPECT_FALSE(r.Has(2, 2));
  EXPECT_FALSE(r.Has(4, 0));
  EXPECT_EQ(r.At(2), 3);
  EXPECT_EQ(r.U16BEAt(2), 0);
  EXPECT_FALSE(r.ok());
}

TEST(ByteReaderTest, NullBlockHasNothing) {
  ByteReader r(nullptr, ByteReader::kUnbounded);
  EXPECT_FALSE(r.HasMore(1));
  EXPECT_EQ(r.U8(), 0);
  EXPECT_FALSE(r.ok());
}

}  // namespace
}  // namespace vantik
