#pragma once
// The program's own file, so that a server can hand embedded bytes to the
// system to send straight from it (sendfile), as servers do with files on
// disk, rather than copy them from memory into the socket. The object and
// incbin forms put the bytes in a read-only segment loaded from the
// program's file; where that segment lies in the file comes from the
// program headers.
//
//   vex_http::program_file program;
//   program.open();                                   // once, at start-up
//   uint64_t offset;
//   if (program.locate(plan.body, plan.body_length, offset))
//     vex_http::send_program_bytes(socket, program, offset, length);  // else write from memory
//
// The system calls live in program_file_linux.h; elsewhere nothing is
// located, and every body is written from memory.
#include <cstddef>
#include <cstdint>

#ifdef __linux__
#include "vex_resource_builder/program_file_linux.h"
#else
#include "vex_resource_builder/program_file_none.h"
#endif

namespace vex_http {

/// The read-only segments of the program's file, and the file, open.
class program_file {
 public:
  program_file() = default;
  program_file(const program_file&) = delete;
  program_file& operator=(const program_file&) = delete;
  ~program_file() { program_platform::close_file(file_); }

  /// Opens the program's file and finds its read-only segments; false
  /// when it cannot (every locate then fails).
  bool open() {
    file_ = program_platform::open_program(segments_, segment_count_);
    return file_ >= 0;
  }

  /// The offset in the program's file of size bytes at data, when they lie
  /// whole in one read-only segment loaded from it; false otherwise (bytes
  /// made at run time, or a data form that puts them elsewhere).
  bool locate(const char* data, uint64_t size, uint64_t& offset) const {
    const uintptr_t start = reinterpret_cast<uintptr_t>(data);
    for (size_t i = 0; i < segment_count_ && file_ >= 0; ++i) {
      const program_platform::segment& each = segments_[i];
      if (start >= each.address && start - each.address <= each.size && size <= each.size - (start - each.address)) {
        offset = each.offset + (start - each.address);
        return true;
      }
    }
    return false;
  }

  /// The open file; -1 when open failed.
  int descriptor() const { return file_; }

 private:
  program_platform::segment segments_[program_platform::most_segments] = {};
  size_t segment_count_ = 0;
  int file_ = -1;
};

/// Sends up to size bytes of the program's file from offset on a socket:
/// the count sent, or -1 with errno set (EAGAIN when a non-blocking socket
/// is full).
inline int64_t send_program_bytes(int socket, const program_file& program, uint64_t offset, uint64_t size) {
  return program_platform::send_file_bytes(socket, program.descriptor(), offset, size);
}

}  // namespace vex_http
