#pragma once
// The Linux side of program_file.h: the program headers of the running
// program (dl_iterate_phdr), its file (/proc/self/exe, which stays the
// file that was started even when the path is replaced), and sendfile.
#include <fcntl.h>
#include <link.h>
#include <sys/sendfile.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace vex_http::program_platform {

/// A read-only segment loaded from the program's file.
struct segment {
  uintptr_t address;  ///< where it lies in memory
  uint64_t size;      ///< bytes that come from the file
  uint64_t offset;    ///< where they lie in the file
};

inline constexpr size_t most_segments = 16;

struct segment_list {
  segment* segments;
  size_t count;
};

// The read-only PT_LOAD segments of the program itself, the first object listed.
inline int list_segments(dl_phdr_info* info, size_t, void* data) {
  segment_list& list = *static_cast<segment_list*>(data);
  for (size_t i = 0; i < info->dlpi_phnum && list.count < most_segments; ++i) {
    const ElfW(Phdr)& header = info->dlpi_phdr[i];
    if (header.p_type != PT_LOAD || (header.p_flags & PF_W) != 0 || header.p_filesz == 0) continue;
    list.segments[list.count++] = {static_cast<uintptr_t>(info->dlpi_addr + header.p_vaddr), header.p_filesz,
                                   header.p_offset};
  }
  return 1;  // the program only, not the libraries it loaded
}

/// Opens the program's file and lists its read-only segments; the file,
/// or -1 when either fails or the file does not hold what memory holds.
inline int open_program(segment (&segments)[most_segments], size_t& count) {
  segment_list list{segments, 0};
  dl_iterate_phdr(&list_segments, &list);
  count = list.count;
  const int file = ::open("/proc/self/exe", O_RDONLY | O_CLOEXEC);
  if (file < 0 || count == 0) {
    if (file >= 0) ::close(file);
    return -1;
  }
  // The first bytes of the last segment, read back, must be those in memory.
  char sample[64];
  const segment& last = segments[count - 1];
  const size_t length = last.size < sizeof sample ? static_cast<size_t>(last.size) : sizeof sample;
  if (::pread(file, sample, length, static_cast<off_t>(last.offset)) != static_cast<ssize_t>(length) ||
      std::memcmp(sample, reinterpret_cast<const void*>(last.address), length) != 0) {
    ::close(file);
    return -1;
  }
  return file;
}

inline void close_file(int file) {
  if (file >= 0) ::close(file);
}

inline int64_t send_file_bytes(int socket, int file, uint64_t offset, uint64_t size) {
  off_t at = static_cast<off_t>(offset);
  return ::sendfile(socket, file, &at, static_cast<size_t>(size));
}

}  // namespace vex_http::program_platform
