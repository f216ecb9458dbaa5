#pragma once
// The zstd decoder of identity_reader.h, on libzstd, when the build defines
// VEX_DECODE_ZSTD (the CMake package's decoder targets do).
#include <cstddef>
#include <cstdint>

#include "vex_resource_builder/decode_step.h"
#include "vex_resource_builder/decoder_arena.h"
#include "vex_resource_builder/stored_body.h"

#if VEX_DECODE_ZSTD
// The decoder laid out in memory the caller gives is part of libzstd's
// advanced interface, which Debian's library exports.
#define ZSTD_STATIC_LINKING_ONLY
#include <zstd.h>
#include <zstd_errors.h>

namespace vex_http {

/// Decodes one zstd frame from memory into the caller's buffers, with the
/// decoder laid out in the arena: its context (94 KiB with libzstd 1.5),
/// an input block, and an output buffer of the window and two blocks, a
/// block being as large as the window up to 128 KiB. A frame whose window
/// is larger is refused as too_large.
class zstd_decoder {
 public:
  static constexpr size_t block = (size_t{1} << stored_zstd_window_log) < 131072 ? size_t{1} << stored_zstd_window_log
                                                                                   : 131072;
  static constexpr size_t memory = 100 * 1024 + (size_t{1} << stored_zstd_window_log) + 3 * block + 64;

  read_status start(decoder_arena& arena, const char* data, uint64_t size) {
    arena_ = &arena;
    stream_ = ZSTD_initStaticDStream(arena.memory(), arena.size());
    if (!stream_ || ZSTD_isError(ZSTD_DCtx_setParameter(stream_, ZSTD_d_windowLogMax, stored_zstd_window_log)))
      return read_status::too_large;
    input_ = {data, static_cast<size_t>(size), 0};
    return size > SIZE_MAX ? read_status::too_large : read_status::ok;
  }

  decode_step next(char* out, size_t capacity) {
    ZSTD_outBuffer output{out, capacity, 0};
    const size_t before = input_.pos;
    const size_t result = ZSTD_decompressStream(stream_, &output, &input_);
    arena_->note_use(ZSTD_sizeof_DStream(stream_));
    if (ZSTD_isError(result)) {
      const ZSTD_ErrorCode code = ZSTD_getErrorCode(result);
      const bool out_of_memory =
          code == ZSTD_error_frameParameter_windowTooLarge || code == ZSTD_error_memory_allocation;
      return {decode_step::failed, output.pos, out_of_memory ? read_status::too_large : read_status::damaged};
    }
    if (result == 0)  // the frame is whole; bytes after it are no part of the file
      return input_.pos == input_.size ? decode_step{decode_step::end, output.pos}
                                       : decode_step{decode_step::failed, output.pos, read_status::damaged};
    // Nothing taken and nothing given: all input was given, so it ended early.
    if (output.pos == 0 && input_.pos == before) return {decode_step::failed, 0, read_status::damaged};
    return {decode_step::more, output.pos};
  }

 private:
  decoder_arena* arena_ = nullptr;
  ZSTD_DStream* stream_ = nullptr;  // in the arena, which is reset rather than freed
  ZSTD_inBuffer input_ = {};
};

}  // namespace vex_http

#else

namespace vex_http {
struct zstd_decoder : absent_decoder {};
}  // namespace vex_http

#endif
