#include "support/format.h"

#include <gtest/gtest.h>

#include <cstring>
#include <cwchar>

TEST(FormatText, WideTextBecomesOneBytePerCharacter) {
  char out[32];
  EXPECT_EQ(format_text(out, sizeof out, "%ls", L"a\u00e9\u00ff"), 3);
  EXPECT_EQ(0, memcmp(out, "a\xe9\xff", 4));
  EXPECT_EQ(format_text(out, sizeof out, "[%ls]", L"x\u0100"), -1);
  EXPECT_EQ(format_text(out, sizeof out, "%s|%hs", "narrow", "also"), 11);
  EXPECT_STREQ(out, "narrow|also");
}

TEST(FormatText, FailsWhenTextAndTerminatorDoNotFit) {
  char out[6];
  EXPECT_EQ(format_text(out, sizeof out, "%s", "abcde"), 5);
  EXPECT_EQ(format_text(out, sizeof out, "%s", "abcdef"), -1);
  EXPECT_EQ(format_text(out, 1, ""), 0);
}

TEST(FormatText, IntegersWidthsAndSizes) {
  char out[128];
  format_text(out, sizeof out, "%u|%i|%llu|%5u|%-3d|%08x|%016Ix|%X|%%", 4294967295u, -7, 18446744073709551615ull, 42u,
              5, 0xbeefu, static_cast<uintptr_t>(0x1234), 0xABCu);
  EXPECT_STREQ(out, "4294967295|-7|18446744073709551615|   42|5  |0000beef|0000000000001234|ABC|%");
  format_text(out, sizeof out, "%I64u %I32u %Iu %zu", 1ull << 40, 7u, static_cast<uintptr_t>(9), static_cast<size_t>(3));
  EXPECT_STREQ(out, "1099511627776 7 9 3");
  format_text(out, sizeof out, "%8s|%-4s|%.2s|%c%lc", "ab", "c", "xyz", 'q', static_cast<wint_t>(L'r'));
  EXPECT_STREQ(out, "      ab|c   |xy|qr");
}

TEST(FormatWide, WindowsMeaningOfStringConversions) {
  wchar_t out[64];
  EXPECT_EQ(format_wide(out, 64, L"%s %ls %hs %lc %c", L"wide", L"too", "narrow\xe9", static_cast<wint_t>(L'\u20ac'),
                        static_cast<wint_t>(L'z')),
            20);
  EXPECT_EQ(wcscmp(out, L"wide too narrow\u00e9 \u20ac z"), 0);
  EXPECT_EQ(format_wide(out, 4, L"%s", L"four"), -1);
}
