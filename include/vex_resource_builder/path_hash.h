#pragma once
// The hash of URL paths that the tool builds its table of paths with (-x)
// and the kit looks paths up with, in one place so that both compute the
// same numbers on every platform: bytes are read in little-endian order
// whatever the machine's.
//
// The table is a perfect hash in the manner of PTHash: a path's hash picks
// its bucket, the bucket's pilot (a small number the tool searched for at
// build time) moves the bucket's paths to slots no other path takes.
#include <cstddef>
#include <cstdint>

namespace vex_path_hash {

inline constexpr uint64_t multiplier = 0x9fb21c651e98df25ull;

// Up to eight bytes as one little-endian number.
inline uint64_t load(const unsigned char* bytes, size_t count) {
  uint64_t word = 0;
  for (size_t i = 0; i < count; ++i) word |= static_cast<uint64_t>(bytes[i]) << (8 * i);
  return word;
}

inline uint64_t step(uint64_t hash, uint64_t word) {
  hash = (hash ^ word) * multiplier;
  return hash ^ (hash >> 28);
}

// The last mix of a hash, so that every bit of the input moves every bit.
inline uint64_t finish(uint64_t hash) {
  hash ^= hash >> 33;
  hash *= 0xff51afd7ed558ccdull;
  hash ^= hash >> 33;
  hash *= 0xc4ceb9fe1a85ec53ull;
  return hash ^ (hash >> 33);
}

}  // namespace vex_path_hash

/// A slot of the table that no path takes.
inline constexpr uint32_t vex_res_empty_slot = 0xffffffffu;

/// The hash of length bytes of a path under a seed.
inline uint64_t vex_res_path_hash(const char* path, size_t length, uint64_t seed) {
  const unsigned char* at = reinterpret_cast<const unsigned char*>(path);
  uint64_t hash = seed ^ (length * 0x9e3779b97f4a7c15ull);
  for (; length >= 8; at += 8, length -= 8) hash = vex_path_hash::step(hash, vex_path_hash::load(at, 8));
  if (length > 0) hash = vex_path_hash::step(hash, vex_path_hash::load(at, length));
  return vex_path_hash::finish(hash);
}

/// The bucket of a path's hash, among bucket_count: from its high half.
inline uint32_t vex_res_path_bucket(uint64_t hash, uint32_t bucket_count) {
  return static_cast<uint32_t>(((hash >> 32) * bucket_count) >> 32);
}

/// The slot of a path's hash, among slot_count, under its bucket's pilot:
/// the hash moved by the pilot and mixed again, so that paths that differ
/// in any bit land apart for some pilot.
inline uint32_t vex_res_path_slot(uint64_t hash, uint32_t pilot, uint32_t slot_count) {
  const uint64_t moved = (hash ^ vex_path_hash::finish(pilot + 1ull)) * vex_path_hash::multiplier;
  return static_cast<uint32_t>(((moved >> 32) * slot_count) >> 32);
}
