#pragma once
// program_file.h where the program's own file is not used: nothing is
// located, and every body is written from memory.
#include <cerrno>
#include <cstddef>
#include <cstdint>

namespace vex_http::program_platform {

struct segment {
  uintptr_t address;
  uint64_t size;
  uint64_t offset;
};

inline constexpr size_t most_segments = 1;

inline int open_program(segment (&)[most_segments], size_t& count) {
  count = 0;
  return -1;
}

inline void close_file(int) {}

inline int64_t send_file_bytes(int, int, uint64_t, uint64_t) {
  errno = ENOSYS;
  return -1;
}

}  // namespace vex_http::program_platform
