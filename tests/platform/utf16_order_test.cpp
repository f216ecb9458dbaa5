#include "platform/utf16_order.h"

#include <gtest/gtest.h>

TEST(Utf16Order, SortsByCodePointLikeUtf8Bytes) {
  using platform::utf16_less;
  // U+F900 before U+1F600, although its UTF-16 unit is above the high surrogate.
  EXPECT_TRUE(utf16_less(u"\uF900", u"\U0001F600"));
  EXPECT_FALSE(utf16_less(u"\U0001F600", u"\uF900"));
  EXPECT_TRUE(utf16_less(u"\uD7FF", u"\U00010000"));
  EXPECT_TRUE(utf16_less(u"\U00010000", u"\U0010FFFF"));
  // Case-sensitive, and a prefix first.
  EXPECT_TRUE(utf16_less(u"B.txt", u"a.txt"));
  EXPECT_TRUE(utf16_less(u"a", u"ab"));
  EXPECT_FALSE(utf16_less(u"ab", u"ab"));
}
