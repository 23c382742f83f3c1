// Byte strings: pieces of a string may be appended to itself, and a failed allocation
// leaves the string as it was; UTF-8 prefixes by UTF-16 units.
#include <gtest/gtest.h>

#include <cstring>

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

// The longest prefix of whole characters that fits in `units` UTF-16 units (the program's
// own path is cut this way): never part of a character, two units for one above U+FFFF.
TEST(Utf8Prefix, WholeCharactersWithinTheUnits) {
  struct Case { const char* text; uint32_t units; uint32_t kept; };
  const Case cases[] = {
      {"abcdefghij", 7, 7},
      {"\xCF\x80\xCF\x80\xE6\x97\xA5\xE6\x97\xA5", 3, 7},
      {"\xF0\x9F\x98\x80\xF0\x9F\x98\x80", 3, 4},
  };
  for (const Case& c : cases)
    EXPECT_EQ(plat::Utf8PrefixLength(c.text, static_cast<uint32_t>(strlen(c.text)), c.units), c.kept) << c.text;
}

}  // namespace
