#include "generator/content_hash.h"

#include <cstring>

namespace {

constexpr uint64_t prime_1 = 0x9e3779b185ebca87;
constexpr uint64_t prime_2 = 0xc2b2ae3d27d4eb4f;

uint64_t rotate(uint64_t value, int bits) { return (value << bits) | (value >> (64 - bits)); }

uint64_t mix(uint64_t lane, const uint8_t* bytes) {
  uint64_t word;
  memcpy(&word, bytes, 8);
  return rotate(lane + word * prime_2, 31) * prime_1;
}

}  // namespace

uint64_t hash_data(uint64_t seed, const uint8_t* data, size_t size) {
  // Four independent lanes keep the multiplier busy on long files.
  uint64_t lane[4] = {seed + prime_1, seed ^ prime_2, rotate(seed, 17), seed - prime_1};
  size_t words = size / 8;
  size_t i = 0;
  for (; i + 4 <= words; i += 4)
    for (size_t k = 0; k < 4; ++k) lane[k] = mix(lane[k], data + 8 * (i + k));
  for (; i < words; ++i) lane[0] = mix(lane[0], data + 8 * i);
  uint64_t h = rotate(lane[0], 1) + rotate(lane[1], 7) + rotate(lane[2], 12) + rotate(lane[3], 18) + size;
  h ^= h >> 33;
  h *= prime_2;
  h ^= h >> 29;
  return h;
}
