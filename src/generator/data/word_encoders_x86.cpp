#include "generator/data/word_encoders.h"

#include <immintrin.h>

#include <cstring>

namespace {

// Every load and store goes through memcpy: the buffers have no particular
// alignment, and the compilers turn these copies into unaligned moves.
void put_word(char* out, __m128i digits) {
  memcpy(out, "0x", 2);
  memcpy(out + 2, &digits, 16);
  memcpy(out + 18, ", ", 2);
}

__m128i hex_digits_sse2(__m128i nibbles) {
  __m128i letters = _mm_and_si128(_mm_cmpgt_epi8(nibbles, _mm_set1_epi8(9)), _mm_set1_epi8(0x27));
  return _mm_add_epi8(_mm_add_epi8(nibbles, _mm_set1_epi8('0')), letters);
}

// Reverses the bytes of each 8-byte half: bytes within 16-bit lanes, then
// the four lanes of each half.
__m128i reverse_words_sse2(__m128i x) {
  x = _mm_or_si128(_mm_slli_epi16(x, 8), _mm_srli_epi16(x, 8));
  x = _mm_shufflelo_epi16(x, 0x1b);
  return _mm_shufflehi_epi16(x, 0x1b);
}

template <bool big_endian>
void encode_pairs_sse2(const uint8_t* words, size_t pair_count, char* out) {
  const __m128i low_nibble = _mm_set1_epi8(0x0f);
  for (size_t i = 0; i < pair_count; ++i, words += 16, out += 2 * encoded_word_size) {
    __m128i x;
    memcpy(&x, words, 16);
    if (!big_endian) x = reverse_words_sse2(x);
    __m128i high = _mm_and_si128(_mm_srli_epi16(x, 4), low_nibble);
    __m128i low = _mm_and_si128(x, low_nibble);
    put_word(out, hex_digits_sse2(_mm_unpacklo_epi8(high, low)));
    put_word(out + encoded_word_size, hex_digits_sse2(_mm_unpackhi_epi8(high, low)));
  }
}

void encode_words_sse2(const uint8_t* words, size_t word_count, bool big_endian, char* out) {
  size_t pairs = word_count / 2;
  if (big_endian) {
    encode_pairs_sse2<true>(words, pairs, out);
  } else {
    encode_pairs_sse2<false>(words, pairs, out);
  }
  if (word_count % 2) encode_words_portable(words + 16 * pairs, 1, big_endian, out + 2 * encoded_word_size * pairs);
}

// Four words per step. The in-lane unpacks leave words 0 and 2 in one
// register and words 1 and 3 in the other; a table lookup makes the digits.
template <bool big_endian>
__attribute__((target("avx2"))) void encode_quads_avx2(const uint8_t* words, size_t quad_count, char* out) {
  const __m256i low_nibble = _mm256_set1_epi8(0x0f);
  const __m256i digit_table = _mm256_setr_epi8('0', '1', '2', '3', '4', '5', '6', '7', '8', '9', 'a', 'b', 'c', 'd',
                                               'e', 'f', '0', '1', '2', '3', '4', '5', '6', '7', '8', '9', 'a', 'b',
                                               'c', 'd', 'e', 'f');
  const __m256i reverse = _mm256_setr_epi8(7, 6, 5, 4, 3, 2, 1, 0, 15, 14, 13, 12, 11, 10, 9, 8, 7, 6, 5, 4, 3, 2, 1,
                                           0, 15, 14, 13, 12, 11, 10, 9, 8);
  for (size_t i = 0; i < quad_count; ++i, words += 32, out += 4 * encoded_word_size) {
    __m256i x;
    memcpy(&x, words, 32);
    if (!big_endian) x = _mm256_shuffle_epi8(x, reverse);
    __m256i high = _mm256_and_si256(_mm256_srli_epi16(x, 4), low_nibble);
    __m256i low = _mm256_and_si256(x, low_nibble);
    __m256i even = _mm256_shuffle_epi8(digit_table, _mm256_unpacklo_epi8(high, low));
    __m256i odd = _mm256_shuffle_epi8(digit_table, _mm256_unpackhi_epi8(high, low));
    put_word(out, _mm256_castsi256_si128(even));
    put_word(out + encoded_word_size, _mm256_castsi256_si128(odd));
    put_word(out + 2 * encoded_word_size, _mm256_extracti128_si256(even, 1));
    put_word(out + 3 * encoded_word_size, _mm256_extracti128_si256(odd, 1));
  }
}

__attribute__((target("avx2"))) void encode_words_avx2(const uint8_t* words, size_t word_count, bool big_endian,
                                                       char* out) {
  size_t quads = word_count / 4;
  if (big_endian) {
    encode_quads_avx2<true>(words, quads, out);
  } else {
    encode_quads_avx2<false>(words, quads, out);
  }
  encode_words_sse2(words + 32 * quads, word_count % 4, big_endian, out + 4 * encoded_word_size * quads);
}

const word_encoder all_encoders[] = {
    {"portable", encode_words_portable},
    {"sse2", encode_words_sse2},
    {"avx2", encode_words_avx2},
};

}  // namespace

const word_encoder* available_word_encoders(size_t* count) {
  __builtin_cpu_init();
  *count = __builtin_cpu_supports("avx2") ? 3 : 2;
  return all_encoders;
}
