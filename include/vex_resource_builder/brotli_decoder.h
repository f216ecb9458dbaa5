#pragma once
// The br decoder of identity_reader.h, on libbrotli's decoder, when the
// build defines VEX_DECODE_BR (the CMake package's decoder targets do).
#include <cstddef>
#include <cstdint>

#include "vex_resource_builder/decode_step.h"
#include "vex_resource_builder/decoder_arena.h"
#include "vex_resource_builder/stored_body.h"

#if VEX_DECODE_BR
#include <brotli/decode.h>

namespace vex_http {

/// Decodes one brotli stream from memory into the caller's buffers, with
/// every allocation of the decoder in the arena. What it holds: its state
/// (8,840 bytes with libbrotli 1.0), the block-type trees (12,336 bytes), a
/// ring buffer as large as the window (128 KiB and 42 bytes), and for each
/// meta-block the Huffman tables and context maps the meta-block declares,
/// for which 128 KiB are kept: the most any file of the Python
/// documentation needs at quality 11 is 68 KiB. A stream that declares
/// more (the format allows up to 2.7 MiB) is refused as too_large.
class brotli_decoder {
 public:
  static constexpr size_t memory = 9 * 1024 + 12 * 1024 + (size_t{1} << stored_br_window_bits) + 128 * 1024 + 1024;

  read_status start(decoder_arena& arena, const char* data, uint64_t size) {
    state_ = BrotliDecoderCreateInstance(
        [](void* opaque, size_t bytes) { return static_cast<decoder_arena*>(opaque)->allocate(bytes); },
        [](void* opaque, void* address) { static_cast<decoder_arena*>(opaque)->release(address); }, &arena);
    if (!state_) return read_status::too_large;
    // The ring buffer is as large as the stream's window from the start, so
    // that it is never reallocated and copied while the arena is in use.
    BrotliDecoderSetParameter(state_, BROTLI_DECODER_PARAM_DISABLE_RING_BUFFER_REALLOCATION, 1);
    input_ = reinterpret_cast<const uint8_t*>(data);
    left_ = static_cast<size_t>(size);
    return size > SIZE_MAX ? read_status::too_large : read_status::ok;
  }

  decode_step next(char* out, size_t capacity) {
    uint8_t* next_out = reinterpret_cast<uint8_t*>(out);
    size_t out_left = capacity;
    const BrotliDecoderResult result =
        BrotliDecoderDecompressStream(state_, &left_, &input_, &out_left, &next_out, nullptr);
    const size_t written = capacity - out_left;
    switch (result) {
      case BROTLI_DECODER_RESULT_SUCCESS:  // bytes after the stream are no part of the file
        return left_ == 0 ? decode_step{decode_step::end, written}
                          : decode_step{decode_step::failed, written, read_status::damaged};
      case BROTLI_DECODER_RESULT_NEEDS_MORE_OUTPUT: return {decode_step::more, written};
      case BROTLI_DECODER_RESULT_NEEDS_MORE_INPUT:  // all of it was given: it ended early
        return {decode_step::failed, written, read_status::damaged};
      case BROTLI_DECODER_RESULT_ERROR: break;
    }
    const int code = BrotliDecoderGetErrorCode(state_);
    const bool out_of_memory =
        code <= BROTLI_DECODER_ERROR_ALLOC_CONTEXT_MODES && code >= BROTLI_DECODER_ERROR_ALLOC_BLOCK_TYPE_TREES;
    return {decode_step::failed, written, out_of_memory ? read_status::too_large : read_status::damaged};
  }

 private:
  BrotliDecoderState* state_ = nullptr;  // in the arena, which is reset rather than freed
  const uint8_t* input_ = nullptr;
  size_t left_ = 0;
};

}  // namespace vex_http

#else

namespace vex_http {
struct brotli_decoder : absent_decoder {};
}  // namespace vex_http

#endif
