#pragma once
// The identity bytes of a file, whether the program holds them as they are
// or compressed only: a pull reader that fills the caller's buffer a chunk
// at a time, decoding as it goes, so that a whole decoded file is never in
// memory.
//
//   vex_http::identity_reader reader;            // holds identity_reader::memory bytes
//   reader.open(vex_http::stored_body_of(resource, extras), offset);
//   while (size_t count = reader.read(buffer, sizeof buffer)) send(buffer, count);
//   if (reader.status() != vex_http::read_status::ok) ...;  // end the connection
//
// The decoders are those of zlib, libbrotli and libzstd, for the codings
// the build defines VEX_DECODE_GZIP, VEX_DECODE_BR and VEX_DECODE_ZSTD for
// (the CMake package's decoder targets define them and link the libraries).
// A reader allocates nothing: every decoder works in a block of fixed size
// inside the reader, the largest that one of the build's decoders needs.
// One reader is reused for any number of files, one at a time.
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "vex_resource_builder/brotli_decoder.h"
#include "vex_resource_builder/decode_step.h"
#include "vex_resource_builder/decoder_arena.h"
#include "vex_resource_builder/gzip_decoder.h"
#include "vex_resource_builder/stored_body.h"
#include "vex_resource_builder/zstd_decoder.h"

namespace vex_http {

namespace reader_detail {

constexpr size_t largest(size_t a, size_t b) { return a > b ? a : b; }

}  // namespace reader_detail

class identity_reader {
 public:
  /// The bytes of memory every reader holds for decoding, whatever it reads.
  static constexpr size_t memory = reader_detail::largest(
      reader_detail::largest(gzip_decoder::memory, brotli_decoder::memory),
      reader_detail::largest(zstd_decoder::memory, decoder_arena::alignment));

  identity_reader() = default;
  identity_reader(const identity_reader&) = delete;
  identity_reader& operator=(const identity_reader&) = delete;

  /// Starts reading body's identity bytes at offset; what it says is also
  /// status(). An offset at or past the end reads nothing.
  read_status open(const stored_body& body, uint64_t offset = 0) {
    body_ = body;
    position_ = 0;
    ended_ = false;
    skip_ = offset < body.identity_size ? offset : body.identity_size;
    arena_.reset();
    arena_.clear_high_water();
    status_ = start();
    if (body.coding == content_coding::identity) {
      position_ = skip_;
      skip_ = 0;
      if (body.size != body.identity_size) status_ = read_status::damaged;
    }
    return status_;
  }

  /// Copies the next identity bytes, at most capacity, into out and says
  /// how many: 0 at the end, and after a failure, which status() tells. The
  /// whole of out may be written to, also when fewer bytes are given.
  size_t read(char* out, size_t capacity) {
    if (status_ != read_status::ok || capacity == 0) return 0;
    if (body_.coding == content_coding::identity) return copy(out, capacity);
    while (!ended_) {
      const decode_step step = decode(out, capacity);
      position_ += step.written;
      ended_ = step.state != decode_step::more;
      if (step.state == decode_step::failed) return fail(step.failure);
      // The file's size is known: a stream that decodes to more or fewer bytes is not the file.
      if (position_ > body_.identity_size || (step.state == decode_step::end && position_ != body_.identity_size))
        return fail(read_status::damaged);
      const size_t skipped = static_cast<size_t>(skip_ < step.written ? skip_ : step.written);
      skip_ -= skipped;
      if (skipped < step.written) {
        std::memmove(out, out + skipped, step.written - skipped);
        return step.written - skipped;
      }
    }
    return 0;
  }

  /// ok, or why the last open or read failed.
  read_status status() const { return status_; }

  /// Identity bytes given so far, the offset included.
  uint64_t position() const { return position_ + skip_; }

  /// The most bytes of its memory the reader used since it was opened.
  size_t memory_used() const { return arena_.high_water(); }

 private:
  read_status start() {
    switch (body_.coding) {
      case content_coding::identity: return read_status::ok;
      case content_coding::gzip: return gzip_.start(arena_, body_.data, body_.size);
      case content_coding::br: return brotli_.start(arena_, body_.data, body_.size);
      case content_coding::zstd: return zstd_.start(arena_, body_.data, body_.size);
    }
    return read_status::unsupported;
  }

  decode_step decode(char* out, size_t capacity) {
    switch (body_.coding) {
      case content_coding::gzip: return gzip_.next(out, capacity);
      case content_coding::br: return brotli_.next(out, capacity);
      case content_coding::zstd: return zstd_.next(out, capacity);
      case content_coding::identity: break;
    }
    return {decode_step::failed, 0, read_status::unsupported};
  }

  size_t copy(char* out, size_t capacity) {
    const uint64_t left = body_.identity_size - position_;
    const size_t count = static_cast<size_t>(left < capacity ? left : capacity);
    if (count > 0) std::memcpy(out, body_.data + position_, count);
    position_ += count;
    return count;
  }

  size_t fail(read_status why) {
    status_ = why;
    return 0;
  }

  alignas(decoder_arena::alignment) unsigned char memory_[memory];
  decoder_arena arena_{memory_, sizeof memory_};
  stored_body body_;
  uint64_t position_ = 0;  // identity bytes decoded or copied
  uint64_t skip_ = 0;      // identity bytes still to decode and drop before the first one given
  bool ended_ = false;     // the decoder has given its last byte
  read_status status_ = read_status::ok;
  gzip_decoder gzip_;
  brotli_decoder brotli_;
  zstd_decoder zstd_;
};

}  // namespace vex_http
