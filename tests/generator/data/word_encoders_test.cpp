#include "generator/data/words.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <random>
#include <string>
#include <vector>

namespace {

std::vector<uint8_t> random_bytes(size_t count, unsigned seed) {
  std::mt19937 generator(seed);
  std::vector<uint8_t> bytes(count);
  for (uint8_t& byte : bytes) byte = static_cast<uint8_t>(generator());
  return bytes;
}

// The chunk text built the slow way, one formatted word at a time.
std::string reference_chunk(const uint8_t* chunk, size_t word_count, bool big_endian) {
  std::string text;
  for (size_t i = 0; i < word_count; ++i) {
    unsigned long long value = 0;
    for (int k = 0; k < 8; ++k) {
      int shift = big_endian ? 8 * (7 - k) : 8 * k;
      value |= static_cast<unsigned long long>(chunk[8 * i + static_cast<size_t>(k)]) << shift;
    }
    if (i > 0 && i % 400 == 0) {
      text.back() = '\n';
      text += "\t\t";
    }
    char word[24];
    std::snprintf(word, sizeof word, "0x%016llx, ", value);
    text += word;
  }
  return text;
}

std::string encoded(encode_words_function encode, const uint8_t* chunk, size_t word_count, bool big_endian) {
  std::string out(encoded_chunk_size(word_count) + 64, '#');
  size_t length = encode_chunk_with(encode, chunk, word_count, big_endian, out.data() + 1);
  EXPECT_EQ(length, encoded_chunk_size(word_count));
  EXPECT_EQ(out[0], '#') << "wrote before its output";
  EXPECT_EQ(out.find_first_not_of('#', 1 + length), std::string::npos) << "wrote past its length";
  return out.substr(1, length);
}

}  // namespace

TEST(DataArrayEncoder, DigitOrdersOfOneWord) {
  const uint8_t bytes[8] = {0x01, 0x23, 0x45, 0x67, 0x89, 0xab, 0xcd, 0xef};
  char out[20];
  ASSERT_EQ(encode_chunk(bytes, 1, false, out), 20u);
  EXPECT_EQ(std::string(out, 20), "0xefcdab8967452301, ");
  ASSERT_EQ(encode_chunk(bytes, 1, true, out), 20u);
  EXPECT_EQ(std::string(out, 20), "0x0123456789abcdef, ");
}

TEST(DataArrayEncoder, EveryEncoderMatchesTheFormattedReference) {
  constexpr size_t chunk_words = 0x200000 / 8;
  EXPECT_EQ(encoded_chunk_size(chunk_words), 262144u * 20 + 655 * 2);
  size_t count = 0;
  const word_encoder* encoders = available_word_encoders(&count);
  ASSERT_GE(count, 1u);
  EXPECT_STREQ(encoders[0].name, "portable");
  EXPECT_EQ(fastest_word_encoder(), encoders[count - 1].encode);
  // One byte of slack in front, so that the words start at an odd address.
  std::vector<uint8_t> data = random_bytes(8 * chunk_words + 1, 7);
  std::vector<size_t> lengths;
  for (size_t words = 0; words <= 300; ++words) lengths.push_back(words);
  lengths.insert(lengths.end(), {399, 400, 401, 799, 800, 801, chunk_words});
  for (bool big_endian : {false, true}) {
    for (size_t words : lengths) {
      std::string reference = reference_chunk(data.data() + 1, words, big_endian);
      for (size_t e = 0; e < count; ++e)
        ASSERT_EQ(encoded(encoders[e].encode, data.data() + 1, words, big_endian), reference)
            << encoders[e].name << " big_endian " << big_endian << " words " << words;
    }
  }
}
