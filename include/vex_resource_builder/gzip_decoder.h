#pragma once
// The gzip decoder of identity_reader.h, on zlib's inflate, when the build
// defines VEX_DECODE_GZIP (the CMake package's decoder targets do).
#include <climits>
#include <cstddef>
#include <cstdint>

#include "vex_resource_builder/decode_step.h"
#include "vex_resource_builder/decoder_arena.h"
#include "vex_resource_builder/stored_body.h"

#if VEX_DECODE_GZIP
#include <zlib.h>

namespace vex_http {

/// Inflates one gzip member from memory into the caller's buffers. Its
/// memory comes from the arena: zlib's inflate state (7,160 bytes with
/// zlib 1.2 on 64-bit systems) and the 32 KiB window.
class gzip_decoder {
 public:
  static constexpr size_t memory = 40 * 1024;

  read_status start(decoder_arena& arena, const char* data, uint64_t size) {
    stream_ = {};
    stream_.zalloc = [](voidpf opaque, uInt items, uInt each) -> voidpf {
      const uint64_t bytes = uint64_t{items} * each;
      return bytes > SIZE_MAX ? nullptr : static_cast<decoder_arena*>(opaque)->allocate(static_cast<size_t>(bytes));
    };
    stream_.zfree = [](voidpf opaque, voidpf address) { static_cast<decoder_arena*>(opaque)->release(address); };
    stream_.opaque = &arena;
    input_ = reinterpret_cast<const unsigned char*>(data);
    left_ = size;
    // 16 more than the window's bits: a gzip wrapper, not zlib's.
    const int result = inflateInit2(&stream_, 16 + stored_gzip_window_bits);
    return result == Z_OK ? read_status::ok : result == Z_MEM_ERROR ? read_status::too_large : read_status::damaged;
  }

  decode_step next(char* out, size_t capacity) {
    // zlib counts in unsigned int: input and output go in pieces that fit.
    if (stream_.avail_in == 0 && left_ > 0) {
      stream_.next_in = const_cast<unsigned char*>(input_);
      stream_.avail_in = static_cast<uInt>(left_ < UINT_MAX ? left_ : UINT_MAX);
      input_ += stream_.avail_in;
      left_ -= stream_.avail_in;
    }
    stream_.next_out = reinterpret_cast<unsigned char*>(out);
    stream_.avail_out = static_cast<uInt>(capacity < UINT_MAX ? capacity : UINT_MAX);
    const uInt offered = stream_.avail_out;
    const int result = inflate(&stream_, Z_NO_FLUSH);
    const size_t written = offered - stream_.avail_out;
    if (result == Z_STREAM_END)  // bytes after the member are no part of the file
      return stream_.avail_in == 0 && left_ == 0 ? decode_step{decode_step::end, written}
                                                 : decode_step{decode_step::failed, written, read_status::damaged};
    if (result == Z_MEM_ERROR) return {decode_step::failed, written, read_status::too_large};
    // Z_BUF_ERROR: no progress, which with all input given means it ended early.
    if (result != Z_OK || (written == 0 && stream_.avail_in == 0 && left_ == 0))
      return {decode_step::failed, written, read_status::damaged};
    return {decode_step::more, written};
  }

 private:
  z_stream stream_ = {};
  const unsigned char* input_ = nullptr;
  uint64_t left_ = 0;  // input not yet handed to zlib
};

}  // namespace vex_http

#else

namespace vex_http {
struct gzip_decoder : absent_decoder {};
}  // namespace vex_http

#endif
