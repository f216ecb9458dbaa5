// Fuzzes the identity reader over damaged stored bytes of every coding.
// The first byte picks the coding (low two bits), the chunk size (the next
// three) and whether the reader starts at an offset (the top bit); the next
// two bytes give the file's size in KiB-ish steps (they decide whether a
// stream decodes to the file or not); the rest are the stored bytes. The
// seeds are valid streams of each coding, for the fuzzer to damage.
//
// Properties: no crash, no read outside the stored bytes or the buffer
// (the sanitizers); a read never gives more than asked; the reader gives
// bytes only while its status is ok, at most the file's size in all, and
// ends with status ok only when it gave exactly the file from the offset;
// it never uses more memory than it states.
#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

#include "fuzz_check.h"
#include "vex_resource_builder/identity_reader.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 3) return 0;
  static const vex_http::content_coding codings[] = {vex_http::content_coding::identity, vex_http::content_coding::gzip,
                                                    vex_http::content_coding::br, vex_http::content_coding::zstd};
  static const size_t chunks[] = {1, 7, 64, 512, 4096, 16384, 65536, 200000};
  const vex_http::content_coding coding = codings[data[0] & 3];
  const size_t chunk = chunks[(data[0] >> 2) & 7];
  const uint64_t file_size = (uint64_t{data[1]} << 8 | data[2]) * 17;
  const uint64_t offset = data[0] & 0x80 ? file_size / 3 : 0;
  // The stored bytes in a buffer of their own, so that a read past them is seen.
  std::vector<char> stored(data + 3, data + size);
  const vex_http::stored_body body{stored.data(), stored.size(), coding, file_size};

  static auto reader = std::make_unique<vex_http::identity_reader>();
  std::vector<char> buffer(chunk);
  const vex_http::read_status opened = reader->open(body, offset);
  uint64_t given = 0;
  for (size_t count; (count = reader->read(buffer.data(), chunk)) > 0; given += count) {
    FUZZ_CHECK(count <= chunk, "a read gave more than was asked");
    FUZZ_CHECK(reader->status() == vex_http::read_status::ok, "bytes given after a failure");
    FUZZ_CHECK(offset + given + count <= file_size, "bytes given past the file's size");
    if (coding == vex_http::content_coding::identity)
      FUZZ_CHECK(std::memcmp(buffer.data(), stored.data() + offset + given, count) == 0,
                 "a copy that is not the bytes");
  }
  if (reader->status() == vex_http::read_status::ok)
    FUZZ_CHECK(opened == vex_http::read_status::ok && offset + given == file_size,
               "a reader that ended well gave another size than the file's");
  FUZZ_CHECK(reader->memory_used() <= vex_http::identity_reader::memory, "more memory than the reader states");
  return 0;
}
