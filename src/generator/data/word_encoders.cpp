#include "generator/data/word_encoders.h"

#include <bit>
#include <cstring>

namespace {

uint64_t load_le64(const uint8_t* bytes) {
  uint64_t value;
  memcpy(&value, bytes, 8);
  if constexpr (std::endian::native == std::endian::big) value = __builtin_bswap64(value);
  return value;
}

// Stores the 8 bytes of value, its lowest byte first.
void store_le64(char* out, uint64_t value) {
  if constexpr (std::endian::native == std::endian::big) value = __builtin_bswap64(value);
  memcpy(out, &value, 8);
}

// The 8 digits of four bytes, the lowest byte of quad first, each byte's high
// nibble before its low nibble; byte k of the result is the k-th digit.
uint64_t hex_digits(uint32_t quad) {
  uint64_t x = quad;
  x = (x | x << 16) & 0x0000ffff0000ffffull;
  x = (x | x << 8) & 0x00ff00ff00ff00ffull;
  uint64_t nibbles = (x >> 4 & 0x000f000f000f000full) | (x & 0x000f000f000f000full) << 8;
  // A nibble above 9 carries into bit 4 when 6 is added; it then gets 0x27
  // more, which moves it from the digits to the letters.
  uint64_t letters = (nibbles + 0x0606060606060606ull) >> 4 & 0x0101010101010101ull;
  return nibbles + 0x3030303030303030ull + letters * 0x27;
}

}  // namespace

void encode_words_portable(const uint8_t* words, size_t word_count, bool big_endian, char* out) {
  for (size_t i = 0; i < word_count; ++i, words += 8, out += encoded_word_size) {
    uint64_t word = load_le64(words);
    uint64_t ordered = big_endian ? word : __builtin_bswap64(word);
    memcpy(out, "0x", 2);
    store_le64(out + 2, hex_digits(static_cast<uint32_t>(ordered)));
    store_le64(out + 10, hex_digits(static_cast<uint32_t>(ordered >> 32)));
    memcpy(out + 18, ", ", 2);
  }
}

encode_words_function fastest_word_encoder() {
  static const encode_words_function fastest = [] {
    size_t count = 0;
    const word_encoder* encoders = available_word_encoders(&count);
    return encoders[count - 1].encode;
  }();
  return fastest;
}
