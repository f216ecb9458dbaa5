#include "platform/files.h"

#include <errno.h>
#include <fcntl.h>
#include <sys/eventfd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <memory>
#include <vector>

#include "platform/fault_seam.h"
#include "platform/posix_path.h"
#include "platform/posix_text.h"

namespace platform {

const uint32_t error_file_not_found = ENOENT;
const uint32_t error_already_exists = EEXIST;

uint32_t last_error() { return static_cast<uint32_t>(errno); }
void set_last_error(uint32_t code) { errno = static_cast<int>(code); }

namespace {

// The longest current directory the tool takes: 65,536 wide characters of
// up to 4 bytes, and no more than 131,072 characters.
constexpr size_t path_bytes = 4 * 65536 + 1;
constexpr long long max_directory_characters = 65536 * 2;

}  // namespace

os_handle get_std_handle(standard_stream stream) {
  int fd = stream == standard_stream::input ? 0 : stream == standard_stream::output ? 1 : 2;
  // The handle that the output stream had before it was pointed at standard
  // error stays the "standard output" that the caller saw first.
  return fcntl(fd, F_GETFD) == -1 ? invalid_handle : fd;
}

os_handle redirect_standard_output_to_error(os_handle original) {
  int kept = fcntl(static_cast<int>(original), F_DUPFD_CLOEXEC, 3);
  if (kept == -1) return original;
  dup2(2, 1);
  return kept;
}

os_handle create_file(const wchar_t* name, uint32_t access, uint32_t disposition, uint32_t flags) {
  if (uint32_t injected = fault::before(fault::operation::open)) {
    errno = static_cast<int>(injected);
    return invalid_handle;
  }
  system_path converted(name);
  const char* path = converted.c_str();
  if (!path) return invalid_handle;
  bool reads = (access & (generic_read | generic_all)) != 0;
  bool writes = (access & (generic_write | generic_all)) != 0;
  int mode = reads && writes ? O_RDWR : writes ? O_WRONLY : O_RDONLY;
  mode |= O_CLOEXEC;
  int fd = -1;
  bool existed = false;
  if (disposition == create_always || disposition == open_always) {
    fd = open(path, mode | O_CREAT | O_EXCL, 0666);
    if (fd == -1 && errno == EEXIST) {
      existed = true;
      fd = open(path, mode | (disposition == create_always ? O_TRUNC : 0));
    }
  } else {
    fd = open(path, mode);
  }
  if (fd == -1) return invalid_handle;
  struct stat st;
  if (writes && fstat(fd, &st) == 0 && S_ISDIR(st.st_mode)) {
    close(fd);
    errno = EISDIR;
    return invalid_handle;
  }
  // A delete-on-close file leaves no name behind, even if the process is killed.
  if (flags & file_flag_delete_on_close) unlink(path);
  errno = existed ? EEXIST : 0;
  return fd;
}

bool close_handle(os_handle handle) { return close(static_cast<int>(handle)) == 0; }

bool read_file(os_handle handle, void* buffer, uint32_t length, uint32_t* got, overlapped*) {
  if (uint32_t injected = fault::before(fault::operation::read)) {
    errno = static_cast<int>(injected);
    *got = 0;
    return false;
  }
  size_t total = 0;
  char* out = static_cast<char*>(buffer);
  // Keep reading through short reads (pipes, signals) so that one call
  // delivers what was asked for unless the stream ends.
  while (total < length) {
    ssize_t n = ::read(static_cast<int>(handle), out + total, length - total);
    if (n < 0) {
      if (errno == EINTR) continue;
      *got = static_cast<uint32_t>(total);
      return false;
    }
    if (n == 0) break;
    total += static_cast<size_t>(n);
  }
  *got = static_cast<uint32_t>(total);
  return true;
}

bool write_file(os_handle handle, const void* buffer, uint32_t length, uint32_t* got, overlapped*) {
  if (uint32_t injected = fault::before(fault::operation::write)) {
    errno = static_cast<int>(injected);
    *got = 0;
    return false;
  }
  size_t total = 0;
  const char* in = static_cast<const char*>(buffer);
  while (total < length) {
    ssize_t n = ::write(static_cast<int>(handle), in + total, length - total);
    if (n < 0) {
      if (errno == EINTR) continue;
      *got = static_cast<uint32_t>(total);
      return false;
    }
    total += static_cast<size_t>(n);
  }
  *got = static_cast<uint32_t>(total);
  return true;
}

bool set_file_pointer(os_handle handle, int64_t distance, int64_t* new_position, uint32_t method) {
  if (uint32_t injected = fault::before(fault::operation::seek)) {
    errno = static_cast<int>(injected);
    return false;
  }
  int whence = method == file_begin ? SEEK_SET : method == file_current ? SEEK_CUR : SEEK_END;
  off_t at = lseek(static_cast<int>(handle), static_cast<off_t>(distance), whence);
  if (at == static_cast<off_t>(-1)) return false;
  if (new_position) *new_position = at;
  return true;
}

bool set_end_of_file(os_handle handle) {
  if (uint32_t injected = fault::before(fault::operation::truncate)) {
    errno = static_cast<int>(injected);
    return false;
  }
  off_t at = lseek(static_cast<int>(handle), 0, SEEK_CUR);
  if (at == static_cast<off_t>(-1)) return false;
  return ftruncate(static_cast<int>(handle), at) == 0;
}

bool get_file_size(os_handle handle, uint64_t* size) {
  struct stat st;
  if (fstat(static_cast<int>(handle), &st) != 0) return false;
  if (!S_ISREG(st.st_mode) && !S_ISBLK(st.st_mode)) {
    errno = EINVAL;
    return false;
  }
  *size = static_cast<uint64_t>(st.st_size);
  return true;
}

bool identify_file(os_handle handle, file_identity* identity) {
  struct stat st;
  if (fstat(static_cast<int>(handle), &st) != 0) return false;
  identity->volume = static_cast<uint64_t>(st.st_dev);
  identity->index = static_cast<uint64_t>(st.st_ino);
  return true;
}

bool same_file(os_handle a, os_handle b) {
  struct stat sa, sb;
  return fstat(static_cast<int>(a), &sa) == 0 && fstat(static_cast<int>(b), &sb) == 0 && sa.st_dev == sb.st_dev &&
         sa.st_ino == sb.st_ino;
}

bool get_file_write_time(os_handle handle, uint64_t* file_time) {
  struct stat st;
  if (fstat(static_cast<int>(handle), &st) != 0) return false;
  // Seconds between 1601-01-01 and 1970-01-01.
  constexpr int64_t epoch_difference = 11644473600;
  int64_t seconds = static_cast<int64_t>(st.st_mtim.tv_sec) + epoch_difference;
  if (seconds < 0) seconds = 0;  // before 1601: no FILETIME can say it
  *file_time = static_cast<uint64_t>(seconds) * 10000000u +
               static_cast<uint64_t>(st.st_mtim.tv_nsec) / 100u;
  return true;
}

os_handle create_event() {
  int fd = eventfd(0, EFD_CLOEXEC);
  return fd == -1 ? invalid_handle : fd;
}

bool set_event(os_handle event) {
  uint64_t one = 1;
  return ::write(static_cast<int>(event), &one, sizeof one) == sizeof one;
}

long long name_to_utf8(const wchar_t* text, size_t length, char* out, size_t capacity) {
  return wide_to_utf8(text, length, out, capacity);
}

uint32_t get_current_directory(uint32_t capacity, wchar_t* buffer) {
  std::unique_ptr<char, decltype(&free)> bytes(getcwd(nullptr, 0), free);
  if (!bytes) return 0;
  size_t length = strlen(bytes.get());
  if (length >= path_bytes) return 0;
  // UTF-8 never gives more characters than bytes.
  std::vector<wchar_t> wide(length);
  long long n = utf8_to_wide(bytes.get(), length, wide.data(), wide.size());
  if (n < 0 || n > max_directory_characters) return 0;
  if (static_cast<uint64_t>(n) + 1 > capacity) return static_cast<uint32_t>(n + 1);
  wmemcpy(buffer, wide.data(), static_cast<size_t>(n));
  buffer[n] = 0;
  return static_cast<uint32_t>(n);
}

bool set_current_directory(const wchar_t* path) {
  system_path converted(path);
  return converted.c_str() && chdir(converted.c_str()) == 0;
}

}  // namespace platform
