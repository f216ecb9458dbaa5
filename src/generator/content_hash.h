#pragma once
// A fast 64-bit hash of file contents, for names that change whenever the
// bytes do (not for security).
#include <cstddef>
#include <cstdint>

/// Hashes size bytes (whole 8-byte words; a remainder is ignored) going on
/// from seed, so that a file read in chunks hashes chunk after chunk.
uint64_t hash_data(uint64_t seed, const uint8_t* data, size_t size);
