#include "archive/archive_error.h"

#include <gtest/gtest.h>

namespace lectern {
namespace {

TEST(ArchiveErrorTest, NumbersAreGroupedByThousands) {
  EXPECT_EQ(GroupedNumber(0), "0");
  EXPECT_EQ(GroupedNumber(999), "999");
  EXPECT_EQ(GroupedNumber(1000), "1,000");
  EXPECT_EQ(GroupedNumber(5242880), "5,242,880");
  EXPECT_EQ(GroupedNumber(13600412), "13,600,412");
  EXPECT_EQ(GroupedNumber(UINT64_MAX), "18,446,744,073,709,551,615");
}

}  // namespace
}  // namespace lectern
