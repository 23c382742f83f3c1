// Byte strings: pieces of a string may be appended to itself, and a failed allocation
// leaves the string as it was.
#include <gtest/gtest.h>

#include "platform/byte_string.h"
#include "tests/support/platform_fixture.h"

namespace {

class ByteStringTest : public sfxtest::PlatformTest {};

TEST_F(ByteStringTest, AppendingAndAssigningPiecesOfItself) {
  plat::ScopedByteString s;
  ASSERT_TRUE(s.AppendText("abcdefghijklmnopqrstuvwxyz012345"));  // exactly the first capacity
  ASSERT_TRUE(s.Append(s.data + 3, 4));
  EXPECT_STREQ(s.Text(), "abcdefghijklmnopqrstuvwxyz012345defg");
  ASSERT_TRUE(s.Assign(s.data + 26, 6));
  EXPECT_STREQ(s.Text(), "012345");
  EXPECT_EQ(s.Find("34", 2), 3);
  EXPECT_EQ(s.Find("9", 1), -1);
}

TEST_F(ByteStringTest, FailedGrowthLeavesTheString) {
  plat::ScopedByteString s;
  ASSERT_TRUE(s.AppendText("keep"));
  plat::testing::FaultPlan plan;
  plan.allocationFailsAtCall = 1;
  Install(plan);
  EXPECT_FALSE(s.Append(std::string(100, 'x').c_str(), 100));
  EXPECT_STREQ(s.Text(), "keep");
  Install(plan);  // the next allocation fails again
  EXPECT_FALSE(s.Assign(std::string(100, 'y').c_str(), 100));
  EXPECT_STREQ(s.Text(), "keep");
}

}  // namespace
