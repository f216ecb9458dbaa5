#include "generator/extras/content_hash.h"

#include <cstdio>

// The header-only form, so that no library needs to be linked on any target.
#define XXH_INLINE_ALL
#include <xxhash.h>

namespace {

XXH3_state_t* state_of(unsigned char* state) { return reinterpret_cast<XXH3_state_t*>(state); }
const XXH3_state_t* state_of(const unsigned char* state) { return reinterpret_cast<const XXH3_state_t*>(state); }

}  // namespace

content_hasher::content_hasher() {
  static_assert(sizeof(XXH3_state_t) <= sizeof state_ && alignof(XXH3_state_t) <= 64);
  XXH3_INITSTATE(state_of(state_));
  XXH3_128bits_reset(state_of(state_));
}

void content_hasher::reset() { XXH3_128bits_reset(state_of(state_)); }

void content_hasher::add(const void* bytes, size_t length) { XXH3_128bits_update(state_of(state_), bytes, length); }

uint64_t content_hasher::finish64() const { return XXH3_128bits_digest(state_of(state_)).low64; }

void content_hasher::finish(char* hex) const {
  XXH128_hash_t hash = XXH3_128bits_digest(state_of(state_));
  snprintf(hex, content_hash_digits + 1, "%016llx%016llx", static_cast<unsigned long long>(hash.high64),
           static_cast<unsigned long long>(hash.low64));
}

void content_hash_raw(const void* bytes, size_t length, uint8_t out[16]) {
  XXH128_canonical_t canonical;
  XXH128_canonicalFromHash(&canonical, XXH3_128bits(bytes, length));
  for (int i = 0; i < 16; ++i) out[i] = canonical.digest[i];
}
