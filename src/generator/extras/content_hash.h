#pragma once
// The content hash of the side records: XXH3 with 128 bits. It runs at
// memory speed, so hashing every file on each run costs little beside
// writing its data array, and 128 bits make two different files with one
// ETag or one cache entry practically impossible. It is not a defence
// against files crafted to collide, which a build's own sources are not.
#include <cstddef>
#include <cstdint>

/// Characters of a hash in hexadecimal, without the terminator.
inline constexpr size_t content_hash_digits = 32;

/// A hash in progress over bytes given piece by piece; its state lives in
/// the object, so hashing a file allocates nothing.
class content_hasher {
 public:
  content_hasher();
  content_hasher(const content_hasher&) = delete;
  content_hasher& operator=(const content_hasher&) = delete;

  /// Always true: the state needs no memory of its own.
  bool ready() const { return true; }
  /// Forgets everything added.
  void reset();
  void add(const void* bytes, size_t length);
  /// Writes the hash of everything added as 32 lower-case hex digits and a
  /// terminator into hex (content_hash_digits + 1 characters).
  void finish(char* hex) const;
  /// The low 64 bits of the hash of everything added.
  uint64_t finish64() const;

 private:
  alignas(64) unsigned char state_[640];
};

/// The hash of bytes as 16 raw bytes (for checksums).
void content_hash_raw(const void* bytes, size_t length, uint8_t out[16]);
