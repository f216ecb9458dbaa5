#include "metadata/text_encoding.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "context/builder_context.h"
#include "generator/source_metadata.h"

namespace {

struct detection {
  int32_t encoding;
  uint64_t bom_length;
  uint64_t size_without_bom;
  uint64_t utf16_length;
};

// What detect_text_encoding makes of a file of these bytes, read into a
// buffer whose first 8 bytes were zeroed before the read (as the embedder does).
detection detect_file(const std::string& bytes) {
  uint8_t read_buffer[64];
  std::memset(read_buffer, 0xAA, sizeof read_buffer);
  std::memset(read_buffer, 0, 8);
  std::memcpy(read_buffer, bytes.data(), bytes.size());
  builder_context context{};
  context.read_buffer = read_buffer;
  context.file_size = bytes.size();
  context.remaining = bytes.size();
  context.size_without_bom = bytes.size();
  detect_text_encoding(context);
  EXPECT_EQ(context.file_size, bytes.size()) << "the whole-file size stays";
  EXPECT_EQ(context.remaining, bytes.size()) << "the data array still takes the mark";
  return {context.text_encoding, context.bom_length, context.size_without_bom, context.utf16_length};
}

}  // namespace

TEST(TextEncoding, NamesFollowTheEnumeratorOrder) {
  EXPECT_STREQ(text_encoding_names[0], "TXT_ENCODING_ANSI");
  EXPECT_STREQ(text_encoding_names[1], "TXT_ENCODING_UTF8");
  EXPECT_STREQ(text_encoding_names[2], "TXT_ENCODING_UTF16LE");
  EXPECT_STREQ(text_encoding_names[3], "TXT_ENCODING_UTF16BE");
}

TEST(TextEncoding, EdgeCasesOfTheDocument) {
  struct example {
    std::string bytes;
    detection expected;
  };
  const example examples[] = {
      {"", {0, 0, 0, 0}},
      {"\xff\xfe", {2, 2, 0, 0}},
      {"\xfe\xff", {3, 2, 0, 0}},
      {"\xef\xbb", {0, 0, 2, 1}},
      {"\xef\xbb\x41", {0, 0, 3, 1}},
      {"\xef\xbb\xbf", {1, 3, 0, 0}},
      {std::string("\xff\xfe\x00\x00", 4), {2, 2, 2, 1}},
      {"caf\xc3\xa9 \xe2\x82\xac", {0, 0, 9, 4}},
      {"\xfe\xff" "abcdefg", {3, 2, 7, 3}},
      {"\xff\xfe" "abcdefg", {2, 2, 7, 3}},
      {"hello world", {0, 0, 11, 5}},
      {"\xef\xbb\xbf" "abcdefg", {1, 3, 7, 3}},
      {"\xff", {0, 0, 1, 0}},
      {"\xfe", {0, 0, 1, 0}},
      {"\xef", {0, 0, 1, 0}},
      {"\xbb\xef\xbf", {0, 0, 3, 1}},
      {"\xef\xbf\xbb", {0, 0, 3, 1}},
      {"\xef\xff\xfe", {0, 0, 3, 1}},
      {"\xfe\xfe", {0, 0, 2, 1}},
      {"\xff\xff", {0, 0, 2, 1}},
  };
  for (const example& e : examples) {
    detection got = detect_file(e.bytes);
    EXPECT_EQ(got.encoding, e.expected.encoding) << testing::PrintToString(e.bytes);
    EXPECT_EQ(got.bom_length, e.expected.bom_length) << testing::PrintToString(e.bytes);
    EXPECT_EQ(got.size_without_bom, e.expected.size_without_bom) << testing::PrintToString(e.bytes);
    EXPECT_EQ(got.utf16_length, e.expected.utf16_length) << testing::PrintToString(e.bytes);
  }
}

TEST(TextEncoding, ByteOrderMarkAloneDecides) {
  const uint8_t utf8[] = {0xEF, 0xBB, 0xBF};
  const uint8_t not_utf8[] = {0xEF, 0xBB, 0x00};
  const uint8_t le[] = {0xFF, 0xFE, 0x00};
  const uint8_t be[] = {0xFE, 0xFF, 0x00};
  const uint8_t none[] = {0x00, 0x00, 0x00};
  EXPECT_EQ(detect_byte_order_mark(utf8).encoding, 1);
  EXPECT_EQ(detect_byte_order_mark(utf8).bom_length, 3u);
  EXPECT_EQ(detect_byte_order_mark(not_utf8).encoding, 0);
  EXPECT_EQ(detect_byte_order_mark(not_utf8).bom_length, 0u);
  EXPECT_EQ(detect_byte_order_mark(le).encoding, 2);
  EXPECT_EQ(detect_byte_order_mark(le).bom_length, 2u);
  EXPECT_EQ(detect_byte_order_mark(be).encoding, 3);
  EXPECT_EQ(detect_byte_order_mark(be).bom_length, 2u);
  EXPECT_EQ(detect_byte_order_mark(none).encoding, 0);
  EXPECT_EQ(detect_byte_order_mark(none).bom_length, 0u);
}

TEST(TextEncoding, LargeFileSizesStayExact) {
  uint8_t read_buffer[8] = {0xFF, 0xFE};
  builder_context context{};
  context.read_buffer = read_buffer;
  context.size_without_bom = (uint64_t{1} << 40) + 1;
  detect_text_encoding(context);
  EXPECT_EQ(context.size_without_bom, (uint64_t{1} << 40) - 1);
  EXPECT_EQ(context.utf16_length, (uint64_t{1} << 39) - 1);
}
