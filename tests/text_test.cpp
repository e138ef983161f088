// The bounded copies every fixed buffer of the library is filled through.
#include <gtest/gtest.h>

#include <cstring>

#include "platform/text.h"

namespace povupdate::test {
namespace {

TEST(TextTest, CopyFillsTheBufferToItsLastByteAndNoFurther) {
  char buffer[6];
  std::memset(buffer, 'x', sizeof buffer);
  EXPECT_TRUE(CopyText(buffer, 5, "abcd"));
  EXPECT_STREQ(buffer, "abcd");
  EXPECT_EQ(buffer[5], 'x');

  EXPECT_FALSE(CopyText(buffer, 5, "abcde")) << "one byte short of the NUL";
  EXPECT_STREQ(buffer, "") << "a text that doesn't fit is not cut short";
  EXPECT_EQ(buffer[5], 'x');

  buffer[0] = 'y';
  EXPECT_FALSE(CopyText(buffer, 0, ""));
  EXPECT_EQ(buffer[0], 'y') << "a buffer of no bytes is not written";
}

TEST(TextTest, AppendKeepsTheTextWhenTheWholeDoesNotFit) {
  char buffer[8] = "ab";
  buffer[7] = 'x';
  EXPECT_TRUE(AppendText(buffer, 7, "cdef"));
  EXPECT_STREQ(buffer, "abcdef");
  EXPECT_FALSE(AppendText(buffer, 7, "g"));
  EXPECT_STREQ(buffer, "abcdef");
  EXPECT_TRUE(AppendText(buffer, 7, ""));
  EXPECT_STREQ(buffer, "abcdef");
  EXPECT_EQ(buffer[7], 'x');

  char unterminated[4] = {'a', 'b', 'c', 'd'};
  EXPECT_FALSE(AppendText(unterminated, sizeof unterminated, ""))
      << "a buffer without a NUL has no room";
  EXPECT_EQ(std::memcmp(unterminated, "abcd", 4), 0);
}

}  // namespace
}  // namespace povupdate::test
