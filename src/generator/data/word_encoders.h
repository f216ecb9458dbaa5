#pragma once
// The word encoders behind encode_chunk: each turns 8-byte words into their
// hexadecimal literals, "0x" + 16 digits + ", " (20 characters) per word.
#include <cstddef>
#include <cstdint>

/// Characters of one encoded word with its ", ".
inline constexpr size_t encoded_word_size = 20;

/// Encodes word_count words of words into out (20 characters each). In the
/// default order the digits run from the word's last byte to its first; with
/// big_endian from the first to the last. Every encoder gives the same bytes.
using encode_words_function = void (*)(const uint8_t* words, size_t word_count, bool big_endian, char* out);

/// One way of encoding words, named for benchmarks and tests.
struct word_encoder {
  const char* name;
  encode_words_function encode;
};

/// Encodes a word as two halves of 8 digits, each assembled in a 64-bit
/// value; runs on every processor.
void encode_words_portable(const uint8_t* words, size_t word_count, bool big_endian, char* out);

/// The encoders this build can run on this processor, the portable one
/// first and the fastest last; *count receives their number.
const word_encoder* available_word_encoders(size_t* count);

/// The fastest available encoder, chosen on the first call.
encode_words_function fastest_word_encoder();
