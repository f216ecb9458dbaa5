#include "platform/posix_text.h"

#include <gtest/gtest.h>

#include <string>

namespace {

std::wstring to_wide(const std::string& bytes) {
  wchar_t out[256];
  long long n = platform::utf8_to_wide(bytes.data(), bytes.size(), out, 256);
  return n < 0 ? L"<too small>" : std::wstring(out, static_cast<size_t>(n));
}

std::string to_bytes(const std::wstring& text) {
  char out[1024];
  long long n = platform::wide_to_utf8(text.data(), text.size(), out, sizeof out);
  return n < 0 ? "<too small>" : std::string(out, static_cast<size_t>(n));
}

}  // namespace

TEST(PosixText, Utf8DecodesAndEncodes) {
  EXPECT_EQ(to_wide("abc"), L"abc");
  EXPECT_EQ(to_wide("caf\xc3\xa9"), L"caf\u00e9");
  EXPECT_EQ(to_wide("\xe2\x82\xac\xf0\x9f\x98\x80"), std::wstring(L"\u20ac") + static_cast<wchar_t>(0x1F600));
  EXPECT_EQ(to_bytes(L"caf\u00e9 \u20ac"), "caf\xc3\xa9 \xe2\x82\xac");
}

TEST(PosixText, InvalidBytesRoundTripThroughLoneSurrogates) {
  // A stray continuation byte, a Latin-1 byte, an overlong form, an encoded
  // surrogate and a truncated sequence all come back unchanged.
  for (std::string bytes : {std::string("\x80"), std::string("caf\xe9"), std::string("\xc0\xaf"),
                            std::string("\xed\xa0\x80"), std::string("ab\xe2\x82"), std::string("\xff\xfe")}) {
    std::wstring wide = to_wide(bytes);
    for (wchar_t c : wide) {
      bool escaped_byte = c >= 0xDC80 && c <= 0xDCFF;
      EXPECT_TRUE(c < 0x80 || escaped_byte) << static_cast<unsigned>(c);
    }
    EXPECT_EQ(to_bytes(wide), bytes);
  }
  EXPECT_EQ(to_wide("a\xe9z"), std::wstring(L"a") + static_cast<wchar_t>(0xDCE9) + L"z");
}

TEST(PosixText, CapacityIsRespected) {
  wchar_t wide[2];
  EXPECT_EQ(platform::utf8_to_wide("abc", 3, wide, 2), -1);
  char bytes[2];
  EXPECT_EQ(platform::wide_to_utf8(L"\u00e9x", 2, bytes, 2), -1);
  EXPECT_EQ(platform::wide_to_utf8(L"\u00e9", 1, bytes, 2), 2);
}
