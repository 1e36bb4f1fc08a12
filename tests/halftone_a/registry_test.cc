#include "halftone_a/registry.h"

#include <gtest/gtest.h>

#include "interface/memblock.h"
#include "vantik/vantik.h"

namespace vantik::halftone_a {
namespace {

uint32_t Record(void* context, int32_t number, const void*, size_t length,
                uint32_t argument) {
  *static_cast<int64_t*>(context) = number * 1000 + argument * 100 + static_cast<int64_t>(length);
  return 7;
}

TEST(ResourceRegistryTest, RegisterWalkAndDispatch) {
  const long live = MemLiveBlocks();
  ResourceRegistry* r = RegistryCreate();
  ASSERT_NE(r, nullptr);
  EXPECT_EQ(RegistryFirst(*r), -1);
  EXPECT_EQ(RegistryDispatch(*r, 300, nullptr, 0), RC_FAILURE);  // no entry

  int64_t first = 0, second = 0;
  ASSERT_EQ(RegistryRegister(*r, 300, 1, &first, Record), RC_OK);
  ASSERT_EQ(RegistryRegister(*r, 305, 0, nullptr, nullptr), RC_OK);
  ASSERT_EQ(RegistryRegister(*r, 300, 0, &second, Record), RC_OK);
  EXPECT_EQ(RegistryFirst(*r), 300);
  EXPECT_EQ(RegistryNext(*r), 305);
  EXPECT_EQ(RegistryNext(*r), 300);
  EXPECT_EQ(RegistryNext(*r), -1);
  EXPECT_EQ(RegistryNext(*r), -1);

  // The first entry with the number takes the block; no handler gives 0.
  EXPECT_EQ(RegistryDispatch(*r, 300, nullptr, 5), 7u);
  EXPECT_EQ(first, 300105);
  EXPECT_EQ(second, 0);
  EXPECT_EQ(RegistryDispatch(*r, 305, nullptr, 5), RC_OK);

  // Ten entries at most.
  for (int i = 3; i < kRegistryEntries; ++i) {
    EXPECT_EQ(RegistryRegister(*r, 310 + i, 0, nullptr, nullptr), RC_OK);
  }
  EXPECT_EQ(RegistryRegister(*r, 399, 0, nullptr, nullptr), RC_FAILURE);
  EXPECT_EQ(r->count, kRegistryEntries);
  RegistryRelease(r);
  EXPECT_EQ(MemLiveBlocks(), live);
}

}  // namespace
}  // namespace vantik::halftone_a
