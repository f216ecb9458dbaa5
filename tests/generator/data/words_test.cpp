#include "generator/data/words.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

using namespace platform;

namespace {

// A generated array read back: its name, declared length, words as bytes of
// the file, and the number of words on each line.
struct decoded_array {
  std::string name;
  unsigned long long declared = 0;
  std::vector<uint8_t> bytes;
  std::vector<size_t> line_lengths;
};

bool is_word(const std::string& token) {
  if (token.size() != 18 || token.compare(0, 2, "0x") != 0) return false;
  return token.find_first_not_of("0123456789abcdef", 2) == std::string::npos;
}

// Parses the text independently of the writer; any deviation from the array
// layout is a test failure.
decoded_array decode(const std::string& text, bool big_endian) {
  decoded_array result;
  const std::string head = "\tuint64_t ";
  const std::string open_tail = "] =\n\t{\n\t\t";
  const std::string close = "\n\t};\n\n";
  size_t bracket = text.find('[');
  size_t body = text.find(open_tail);
  if (text.compare(0, head.size(), head) != 0 || bracket == std::string::npos || body == std::string::npos ||
      text.size() < body + open_tail.size() + close.size() || text.compare(text.size() - close.size(), close.size(), close) != 0) {
    ADD_FAILURE() << "not an array: " << text.substr(0, 80);
    return result;
  }
  result.name = text.substr(head.size(), bracket - head.size());
  result.declared = std::stoull(text.substr(bracket + 1, body - bracket - 1));
  std::string words = text.substr(body + open_tail.size(), text.size() - close.size() - body - open_tail.size());
  if (words.empty()) return result;
  size_t line_start = 0;
  for (;;) {
    size_t line_end = words.find(",\n\t\t", line_start);
    std::string line = words.substr(line_start, line_end == std::string::npos ? std::string::npos : line_end - line_start);
    size_t count = 0;
    for (size_t token_start = 0;;) {
      size_t token_end = line.find(", ", token_start);
      std::string token = line.substr(token_start, token_end == std::string::npos ? std::string::npos : token_end - token_start);
      if (!is_word(token)) {
        ADD_FAILURE() << "not a word: [" << token << "]";
        return result;
      }
      unsigned long long value = std::strtoull(token.c_str() + 2, nullptr, 16);
      for (int k = 0; k < 8; ++k)
        result.bytes.push_back(static_cast<uint8_t>(value >> (big_endian ? 8 * (7 - k) : 8 * k)));
      ++count;
      if (token_end == std::string::npos) break;
      token_start = token_end + 2;
    }
    result.line_lengths.push_back(count);
    if (line_end == std::string::npos) break;
    line_start = line_end + 4;
  }
  return result;
}

std::vector<uint8_t> random_bytes(size_t count, unsigned seed) {
  std::mt19937 generator(seed);
  std::vector<uint8_t> bytes(count);
  for (uint8_t& byte : bytes) byte = static_cast<uint8_t>(generator());
  return bytes;
}

std::vector<uint8_t> padded(std::vector<uint8_t> bytes) {
  bytes.resize((bytes.size() + 7) / 8 * 8, 0);
  return bytes;
}

class DataArray : public testing::Test {
 protected:
  builder_context context{};
  std::filesystem::path directory;
  std::wstring source_name, target_name;

  void SetUp() override {
    init_context(context);
    directory = std::filesystem::temp_directory_path() / ("vex_data_array_" + std::to_string(std::random_device{}()));
    std::filesystem::create_directories(directory);
    source_name = (directory / "source.bin").wstring();
    target_name = (directory / "res.cpp").wstring();
  }

  void TearDown() override {
    release_context(context);
    std::filesystem::remove_all(directory);
  }

  // Stores bytes as the source, opens it and the target, and makes the first
  // read as the caller of write_data_array does; measured is the size the
  // caller believes the file has.
  void start(const std::vector<uint8_t>& bytes, uint64_t measured, bool big_endian = false) {
    std::ofstream(std::filesystem::path(source_name), std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    ASSERT_EQ(context.h_src.open(source_name.c_str(), generic_read, open_existing, 0), 0);
    ASSERT_EQ(context.h_dst_cpp.open(target_name.c_str(), generic_write, create_always, 0), 0);
    std::strcpy(context.flat_name, "x");
    context.big_endian = big_endian;
    context.read_count = context.h_src.read(context.read_buffer, static_cast<uint32_t>(context.read_size));
    context.remaining = context.file_size = measured;
  }

  std::string output() {
    context.h_dst_cpp.close();
    std::ifstream in(std::filesystem::path(target_name), std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  }
};

}  // namespace

TEST_F(DataArray, WorkedExamples) {
  struct {
    std::vector<uint8_t> bytes;
    bool big_endian;
    const char* text;
  } cases[] = {
      {{0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11}, false,
       "\tuint64_t x[2] =\n\t{\n\t\t0x0706050403020100, 0x000000000b0a0908\n\t};\n\n"},
      {{0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11}, true,
       "\tuint64_t x[2] =\n\t{\n\t\t0x0001020304050607, 0x08090a0b00000000\n\t};\n\n"},
      {{'A'}, false, "\tuint64_t x[1] =\n\t{\n\t\t0x0000000000000041\n\t};\n\n"},
      {{'A'}, true, "\tuint64_t x[1] =\n\t{\n\t\t0x4100000000000000\n\t};\n\n"},
      {{1, 2, 3, 4, 5, 6, 7, 8}, false, "\tuint64_t x[1] =\n\t{\n\t\t0x0807060504030201\n\t};\n\n"},
      {{1, 2, 3, 4, 5, 6, 7, 8}, true, "\tuint64_t x[1] =\n\t{\n\t\t0x0102030405060708\n\t};\n\n"},
      {{1, 2, 3, 4, 5, 6, 7, 8, 0xff}, false,
       "\tuint64_t x[2] =\n\t{\n\t\t0x0807060504030201, 0x00000000000000ff\n\t};\n\n"},
      {{}, false, "\tuint64_t x[0] =\n\t{\n\t\t\n\t};\n\n"},
  };
  for (auto& c : cases) {
    // Stale bytes behind the chunk must not leak into the padding.
    memset(context.read_buffer, 0xee, 64);
    start(c.bytes, c.bytes.size(), c.big_endian);
    EXPECT_EQ(write_data_array(context), 0);
    EXPECT_EQ(output(), c.text) << c.bytes.size() << " bytes, big_endian " << c.big_endian;
    EXPECT_EQ(context.remaining, 0u);
    EXPECT_FALSE(context.output_incomplete);
    context.h_src.close();
  }
}

TEST_F(DataArray, FourHundredWordsToALine) {
  std::vector<uint8_t> bytes = random_bytes(8 * 801, 3);
  start(bytes, bytes.size());
  ASSERT_EQ(write_data_array(context), 0);
  std::string text = output();
  decoded_array array = decode(text, false);
  EXPECT_EQ(array.declared, 801u);
  EXPECT_EQ(array.bytes, bytes);
  EXPECT_EQ(array.line_lengths, (std::vector<size_t>{400, 400, 1}));
  EXPECT_EQ(text.find(", \n"), std::string::npos) << "a line ends without its blank";
}

TEST_F(DataArray, ChunksJoinOnTheSameLineAndLinesRestartPerChunk) {
  // Two full chunks and a short one: each chunk of 2 MiB ends after 655 full
  // lines and 144 words, which the next chunk's first 400 words continue.
  ASSERT_EQ(context.read_size, 0x200000u);
  std::vector<uint8_t> bytes = random_bytes(2 * 0x200000 + 1000 + 3, 5);
  std::vector<size_t> lines(655, 400);
  lines.push_back(544);
  lines.insert(lines.end(), 654, 400);
  lines.push_back(144 + 126);
  for (bool big_endian : {false, true}) {
    start(bytes, bytes.size(), big_endian);
    ASSERT_EQ(write_data_array(context), 0);
    decoded_array array = decode(output(), big_endian);
    EXPECT_EQ(array.name, "x");
    EXPECT_EQ(array.declared, (bytes.size() + 7) / 8);
    EXPECT_TRUE(array.bytes == padded(bytes)) << "big_endian " << big_endian;
    EXPECT_EQ(array.line_lengths, lines) << "big_endian " << big_endian;
    EXPECT_EQ(context.read_count, 0) << "one more read after the last chunk";
    context.h_src.close();
  }
}

TEST_F(DataArray, SmallChunksAreJoinedBySeparators) {
  context.read_size = 16;
  std::vector<uint8_t> bytes = random_bytes(45, 9);
  start(bytes, bytes.size(), true);
  ASSERT_EQ(write_data_array(context), 0);
  decoded_array array = decode(output(), true);
  EXPECT_EQ(array.declared, 6u);
  EXPECT_EQ(array.bytes, padded(bytes));
  EXPECT_EQ(array.line_lengths, (std::vector<size_t>{6}));
}

TEST_F(DataArray, EncodesOnlyTheMeasuredSize) {
  std::vector<uint8_t> bytes = random_bytes(100, 13);

  // Grown after measuring: only the first 10 bytes count.
  start(bytes, 10);
  ASSERT_EQ(write_data_array(context), 0);
  decoded_array grown = decode(output(), false);
  EXPECT_EQ(grown.declared, 2u);
  EXPECT_EQ(grown.bytes, padded(std::vector<uint8_t>(bytes.begin(), bytes.begin() + 10)));
  context.h_src.close();

  // Shrunk after measuring, read in several chunks: the array ends early.
  context.read_size = 16;
  std::vector<uint8_t> shrunk_bytes(bytes.begin(), bytes.begin() + 37);
  start(shrunk_bytes, 100);
  ASSERT_EQ(write_data_array(context), 0);
  decoded_array shrunk = decode(output(), false);
  EXPECT_EQ(shrunk.declared, 13u);
  EXPECT_EQ(shrunk.bytes, padded(shrunk_bytes));
  EXPECT_EQ(context.remaining, 63u);
  EXPECT_FALSE(context.output_incomplete);
}

TEST_F(DataArray, FailedReadStillClosesTheArray) {
  std::vector<uint8_t> bytes = random_bytes(0x200000 + 0x1000, 17);
  start(bytes, bytes.size());
  // The next read goes to a handle that cannot be read from.
  context.h_src.close();
  ASSERT_EQ(context.h_src.open(source_name.c_str(), generic_write, open_existing, 0), 0);
  testing::internal::CaptureStdout();
  EXPECT_EQ(write_data_array(context), -1);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "failed to read data 4096 bytes remaining\n");
  EXPECT_EQ(context.read_count, -1);
  EXPECT_NE(context.h_src.last_error, 0u);
  EXPECT_TRUE(context.output_incomplete);
  decoded_array array = decode(output(), false);
  EXPECT_EQ(array.declared, 0x200000u / 8 + 0x200);
  EXPECT_EQ(array.bytes, std::vector<uint8_t>(bytes.begin(), bytes.begin() + 0x200000));
}

TEST_F(DataArray, ChunkThatDoesNotFitIsReportedAndClosed) {
  std::vector<uint8_t> bytes = {0x10, 0, 0, 0, 0, 0, 0, 0, 0x20, 0, 0, 0, 0, 0, 0, 0, 0x30};
  start(bytes, bytes.size());
  // Room for two words and the terminator, not for three.
  context.text_end = context.text_buffer + 50;
  testing::internal::CaptureStdout();
  EXPECT_EQ(write_data_array(context), -1);
  EXPECT_EQ(testing::internal::GetCapturedStdout(),
            "failed to prepare data [0x0000000000000010, 0x0000000000000020, ]\n");
  EXPECT_TRUE(context.output_incomplete);
  EXPECT_EQ(output(), "\tuint64_t x[3] =\n\t{\n\t\t\n\t};\n\n");
}

TEST_F(DataArray, FailedOpeningWriteIsReported) {
  std::vector<uint8_t> bytes = {'A'};
  start(bytes, 1);
  context.h_dst_cpp.close();
  std::ofstream(std::filesystem::path(target_name)).put('#');
  ASSERT_EQ(context.h_dst_cpp.open(target_name.c_str(), generic_read, open_existing, 0), 0);
  testing::internal::CaptureStdout();
  EXPECT_EQ(write_data_array(context), -1);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "failed to write data opening tag [\tuint64_t x[1] =\n\t{\n\t\t]\n");
  EXPECT_EQ(context.written, -1);
  EXPECT_TRUE(context.output_incomplete);
  EXPECT_EQ(output(), "#");
}
