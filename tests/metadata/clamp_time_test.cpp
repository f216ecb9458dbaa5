// Reading the -t time and clamping write times with it.
#include "metadata/clamp_time.h"

#include <gtest/gtest.h>

namespace {

constexpr uint64_t ticks_1970 = 116444736000000000ull;

uint64_t parsed(const wchar_t* text) {
  uint64_t file_time = 12345;
  EXPECT_TRUE(parse_clamp_time(text, &file_time)) << text;
  return file_time;
}

TEST(ClampTime, ReadsSecondsSince1970AsAFileTime) {
  EXPECT_EQ(parsed(L"0"), ticks_1970);
  EXPECT_EQ(parsed(L"+0"), ticks_1970);
  EXPECT_EQ(parsed(L"1"), ticks_1970 + 10000000);
  EXPECT_EQ(parsed(L"1000000000"), ticks_1970 + 1000000000ull * 10000000);
  EXPECT_EQ(parsed(L"-1"), ticks_1970 - 10000000);
  EXPECT_EQ(parsed(L"000042"), ticks_1970 + 420000000);
}

TEST(ClampTime, AcceptsExactlyTheYears1601To9999) {
  EXPECT_EQ(parsed(L"-11644473600"), 0u);                              // 1601-01-01 00:00:00
  EXPECT_EQ(parsed(L"253402300799"), (253402300799ull + 11644473600ull) * 10000000);  // 9999-12-31 23:59:59
  uint64_t untouched = 7;
  for (const wchar_t* refused : {L"-11644473601", L"253402300800", L"99999999999999999999999999", L"-9223372036854775808"}) {
    EXPECT_FALSE(parse_clamp_time(refused, &untouched)) << refused;
  }
  EXPECT_EQ(untouched, 7u);
}

TEST(ClampTime, RefusesWhatIsNotWholeSeconds) {
  uint64_t file_time = 0;
  for (const wchar_t* refused : {L"", L"-", L"+", L"1.5", L"1e9", L" 1", L"1 ", L"0x10", L"--1", L"12a", L"\x0661"})
    EXPECT_FALSE(parse_clamp_time(refused, &file_time)) << refused;
}

TEST(ClampTime, DatesLaterFilesAtTheClampAndKeepsEarlierOnes) {
  EXPECT_EQ(clamped_write_time(100, 50), 50u);
  EXPECT_EQ(clamped_write_time(50, 50), 50u);
  EXPECT_EQ(clamped_write_time(10, 50), 10u);
  EXPECT_EQ(clamped_write_time(~uint64_t{0} - 1, no_clamp), ~uint64_t{0} - 1);
}

}  // namespace
