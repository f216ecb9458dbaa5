#pragma once
// What one step of a decoder gives, shared by the decoders of every coding.
#include <cstddef>

namespace vex_http {

/// How reading the identity bytes of a stored file went.
enum class read_status {
  ok,           ///< bytes were given, or the file is at its end
  damaged,      ///< the stored bytes do not decode to the file's size
  unsupported,  ///< this build has no decoder for the coding
  too_large,    ///< the stored bytes need more memory than the reader holds (a larger window)
};

/// A short description of a status, for a log.
inline const char* read_status_text(read_status status) {
  switch (status) {
    case read_status::ok: return "ok";
    case read_status::damaged: return "the stored bytes are damaged";
    case read_status::unsupported: return "this build has no decoder for the stored coding";
    case read_status::too_large: return "the stored bytes need more memory than the reader holds";
  }
  return "unknown";
}

/// One step of a decoder: bytes written into the caller's buffer, and
/// whether the stream goes on, ended, or failed.
struct decode_step {
  enum state_type { more, end, failed } state;
  size_t written;
  read_status failure = read_status::ok;  ///< why, when failed
};

/// Stands for the decoder of a coding this build cannot decode.
struct absent_decoder {
  static constexpr size_t memory = 0;
  template <typename arena_type>
  read_status start(arena_type&, const char*, size_t) {
    return read_status::unsupported;
  }
  decode_step next(char*, size_t) { return {decode_step::failed, 0, read_status::unsupported}; }
};

}  // namespace vex_http
