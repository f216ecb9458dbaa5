#include "platform/platform.h"

#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <sys/eventfd.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <cwchar>

#include "platform/fault_seam.h"
#include "platform/posix_text.h"

namespace platform {

const uint32_t error_file_not_found = ENOENT;
const uint32_t error_already_exists = EEXIST;
const uint32_t error_no_more_files = ENODATA;

uint32_t last_error() { return static_cast<uint32_t>(errno); }
void set_last_error(uint32_t code) { errno = static_cast<int>(code); }

namespace {

// Room for one path in UTF-8: 65,536 wide characters of up to 4 bytes.
constexpr size_t path_bytes = 4 * 65536 + 1;

// Converts a wide name for a system call. Backslashes count as separators,
// as they do for the rest of the tool, so that one source tree behaves the
// same on every platform. Returns null (errno ENAMETOOLONG) when it is too long.
const char* system_name(const wchar_t* name, char* out) {
  size_t length = wcslen(name);
  long long n = wide_to_utf8(name, length, out, path_bytes - 1);
  if (n < 0) {
    errno = ENAMETOOLONG;
    return nullptr;
  }
  out[n] = 0;
  for (long long i = 0; i < n; ++i)
    if (out[i] == '\\') out[i] = '/';
  return out;
}

char name_buffer[path_bytes];

}  // namespace

// ---- files ----

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
  const char* path = system_name(name, name_buffer);
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

// ---- broken-down time ----

bool file_time_to_system_time(uint64_t file_time, system_time* out) {
  if (file_time >= (uint64_t{1} << 63)) return false;
  uint64_t milliseconds = (file_time / 10000u) % 1000u;
  uint64_t seconds = file_time / 10000000u;
  uint64_t days = seconds / 86400u;
  uint64_t in_day = seconds % 86400u;
  // Days since 1601-01-01, a Monday and the start of a 400-year cycle.
  uint64_t cycles = days / 146097u;
  uint64_t day_of_cycle = days % 146097u;
  uint64_t centuries = std::min<uint64_t>(day_of_cycle / 36524u, 3);
  uint64_t day_of_century = day_of_cycle - centuries * 36524u;
  uint64_t quads = day_of_century / 1461u;
  uint64_t day_of_quad = day_of_century % 1461u;
  uint64_t years_in_quad = std::min<uint64_t>(day_of_quad / 365u, 3);
  uint64_t day_of_year = day_of_quad - years_in_quad * 365u;
  uint64_t year = 1601 + cycles * 400 + centuries * 100 + quads * 4 + years_in_quad;
  bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
  static const uint16_t month_starts[2][13] = {
      {0, 31, 59, 90, 120, 151, 181, 212, 243, 273, 304, 334, 365},
      {0, 31, 60, 91, 121, 152, 182, 213, 244, 274, 305, 335, 366}};
  unsigned month = 0;
  while (day_of_year >= month_starts[leap][month + 1]) ++month;
  out->year = static_cast<uint16_t>(year);
  out->month = static_cast<uint16_t>(month + 1);
  out->day = static_cast<uint16_t>(day_of_year - month_starts[leap][month] + 1);
  out->day_of_week = static_cast<uint16_t>((days + 1) % 7);
  out->hour = static_cast<uint16_t>(in_day / 3600u);
  out->minute = static_cast<uint16_t>(in_day / 60u % 60u);
  out->second = static_cast<uint16_t>(in_day % 60u);
  out->milliseconds = static_cast<uint16_t>(milliseconds);
  return true;
}

// ---- directory search ----
//
// The system's listing comes in no particular order, so every search reads
// its directory once, keeps the matching names in a fixed arena, and reports
// them in ascending byte order. Searches nest like the walk that makes them
// and live on a stack inside the arena; the handle is the search's level.

namespace {

struct listed_item {
  uint32_t name_offset;
  uint32_t attributes;
};

struct search_level {
  dev_t device;
  ino_t inode;
  size_t names_begin;   // arena offset of this level's names
  size_t items_begin;   // index of its first item in the item table
  size_t item_count;
  size_t next;          // the item to report next
};

constexpr size_t max_levels = 4096;
constexpr size_t arena_bytes = 32u << 20;
constexpr size_t max_items = 1u << 20;

search_level levels[max_levels];
size_t level_count = 0;
char arena[arena_bytes];
size_t arena_used = 0;
listed_item items[max_items];
size_t items_used = 0;

bool has_wildcard(const char* text) { return strpbrk(text, "*?") != nullptr; }

// Case-sensitive match of * and ? against a whole name.
bool matches(const char* pattern, const char* name) {
  const char* star = nullptr;
  const char* resume = nullptr;
  while (*name) {
    if (*pattern == '?' || (*pattern == *name && *pattern != '*')) {
      ++pattern, ++name;
    } else if (*pattern == '*') {
      star = pattern++;
      resume = name;
    } else if (star) {
      pattern = star + 1;
      name = ++resume;
    } else {
      return false;
    }
  }
  while (*pattern == '*') ++pattern;
  return *pattern == 0;
}

bool fill_item(const search_level& level, size_t index, find_data* item) {
  if (index >= level.item_count) {
    errno = static_cast<int>(error_no_more_files);
    return false;
  }
  const listed_item& listed = items[level.items_begin + index];
  const char* name = arena + listed.name_offset;
  long long n = utf8_to_wide(name, strlen(name), item->name, 259);
  if (n < 0) n = 259;
  item->name[n] = 0;
  item->attributes = listed.attributes;
  item->size = 0;
  return true;
}

void pop_levels_from(size_t level) {
  if (level >= level_count) return;
  arena_used = levels[level].names_begin;
  items_used = levels[level].items_begin;
  level_count = level;
}

bool is_open_ancestor(dev_t device, ino_t inode) {
  for (size_t i = 0; i < level_count; ++i)
    if (levels[i].device == device && levels[i].inode == inode) return true;
  return false;
}

// Opens a level for the listing of directory; false with errno set.
bool push_level(const char* directory) {
  if (level_count == max_levels) {
    errno = EMFILE;
    return false;
  }
  struct stat st;
  if (stat(directory, &st) != 0) return false;
  if (is_open_ancestor(st.st_dev, st.st_ino)) {
    errno = ELOOP;
    return false;
  }
  search_level& level = levels[level_count++];
  level = search_level{st.st_dev, st.st_ino, arena_used, items_used, 0, 0};
  return true;
}

bool add_item(const char* name, uint32_t attributes) {
  size_t length = strlen(name) + 1;
  if (arena_used + length > arena_bytes || items_used == max_items) {
    errno = ENOBUFS;
    return false;
  }
  memcpy(arena + arena_used, name, length);
  items[items_used++] = listed_item{static_cast<uint32_t>(arena_used), attributes};
  arena_used += length;
  levels[level_count - 1].item_count++;
  return true;
}

}  // namespace

os_handle find_first_file(const wchar_t* pattern, find_data* item) {
  if (uint32_t injected = fault::before(fault::operation::list)) {
    errno = static_cast<int>(injected);
    return invalid_handle;
  }
  const char* path = system_name(pattern, name_buffer);
  if (!path) return invalid_handle;
  char* slash = strrchr(name_buffer, '/');
  const char* last = slash ? slash + 1 : name_buffer;
  char directory_buffer[8];
  const char* directory;
  if (!slash) {
    directory = ".";
  } else if (slash == name_buffer) {
    directory = strcpy(directory_buffer, "/");
  } else {
    *slash = 0;
    directory = name_buffer;
  }
  if (*last == 0) {
    errno = ENOENT;
    return invalid_handle;
  }
  size_t level_index = level_count;
  if (!push_level(directory)) return invalid_handle;
  search_level& level = levels[level_index];

  if (!has_wildcard(last)) {
    // A plain name reports that one item, followed through links.
    int dir_fd = open(directory, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    struct stat st;
    bool found = dir_fd != -1 && fstatat(dir_fd, last, &st, 0) == 0;
    int saved = errno;
    if (dir_fd != -1) close(dir_fd);
    if (!found || !add_item(last, S_ISDIR(st.st_mode) ? file_attribute_directory : file_attribute_normal)) {
      pop_levels_from(level_index);
      errno = found ? ENOBUFS : saved;
      return invalid_handle;
    }
  } else {
    DIR* dir = opendir(directory);
    if (!dir) {
      int saved = errno;
      pop_levels_from(level_index);
      errno = saved;
      return invalid_handle;
    }
    int dir_fd = dirfd(dir);
    errno = 0;
    while (struct dirent* entry = readdir(dir)) {
      if (!matches(last, entry->d_name)) continue;
      bool directory_item = entry->d_type == DT_DIR;
      if (entry->d_type == DT_LNK || entry->d_type == DT_UNKNOWN) {
        struct stat st;
        directory_item = fstatat(dir_fd, entry->d_name, &st, 0) == 0 && S_ISDIR(st.st_mode);
      }
      if (!add_item(entry->d_name, directory_item ? file_attribute_directory : file_attribute_normal)) {
        closedir(dir);
        pop_levels_from(level_index);
        errno = ENOBUFS;
        return invalid_handle;
      }
      errno = 0;
    }
    int saved = errno;
    closedir(dir);
    if (saved != 0 || level.item_count == 0) {
      pop_levels_from(level_index);
      errno = saved != 0 ? saved : ENOENT;
      return invalid_handle;
    }
    listed_item* first = items + level.items_begin;
    std::sort(first, first + level.item_count, [](const listed_item& a, const listed_item& b) {
      return strcmp(arena + a.name_offset, arena + b.name_offset) < 0;
    });
  }
  fill_item(level, 0, item);
  level.next = 1;
  return static_cast<os_handle>(level_index);
}

bool find_next_file(os_handle search, find_data* item) {
  if (uint32_t injected = fault::before(fault::operation::list)) {
    errno = static_cast<int>(injected);
    return false;
  }
  size_t index = static_cast<size_t>(search);
  if (search < 0 || index >= level_count) {
    errno = EBADF;
    return false;
  }
  search_level& level = levels[index];
  if (!fill_item(level, level.next, item)) return false;
  ++level.next;
  return true;
}

bool find_close(os_handle search) {
  size_t index = static_cast<size_t>(search);
  if (search < 0 || index >= level_count) {
    errno = EBADF;
    return false;
  }
  pop_levels_from(index);
  return true;
}

// ---- current directory ----

uint32_t get_current_directory(uint32_t capacity, wchar_t* buffer) {
  if (!getcwd(name_buffer, sizeof name_buffer)) return 0;
  size_t length = strlen(name_buffer);
  static wchar_t wide[65536 * 2];
  long long n = utf8_to_wide(name_buffer, length, wide, sizeof wide / sizeof *wide);
  if (n < 0) return 0;
  if (static_cast<uint64_t>(n) + 1 > capacity) return static_cast<uint32_t>(n + 1);
  wmemcpy(buffer, wide, static_cast<size_t>(n));
  buffer[n] = 0;
  return static_cast<uint32_t>(n);
}

bool set_current_directory(const wchar_t* path) {
  const char* name = system_name(path, name_buffer);
  return name && chdir(name) == 0;
}

// ---- memory ----

uint64_t large_page_minimum(bool* available) {
  *available = false;
  return 0;
}

void system_page_info(uint64_t* page_size, uint64_t* allocation_granularity) {
  long size = sysconf(_SC_PAGESIZE);
  *page_size = size > 0 ? static_cast<uint64_t>(size) : 4096u;
  *allocation_granularity = *page_size;
}

os_handle current_process() { return static_cast<os_handle>(getpid()); }
os_handle open_process_token(os_handle) { return invalid_handle; }
bool set_working_set_size(os_handle, uint64_t, uint64_t) { return true; }

void* aligned_allocate(uint64_t size, uint64_t alignment) {
  void* block = nullptr;
  int result = posix_memalign(&block, alignment, size);
  if (result != 0) {
    errno = result;
    return nullptr;
  }
  return block;
}

void aligned_free(void* block) { free(block); }
bool lock_memory(void* address, uint64_t size) { return mlock(address, size) == 0; }

long long name_to_utf8(const wchar_t* text, size_t length, char* out, size_t capacity) {
  return wide_to_utf8(text, length, out, capacity);
}

void* allocate_zeroed(uint64_t size) {
  void* block = mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
  return block == MAP_FAILED ? nullptr : block;
}

void free_zeroed(void* block, uint64_t size) { munmap(block, size); }
bool unlock_memory(void* address, uint64_t size) { return munlock(address, size) == 0; }

int32_t enable_lock_memory_privilege(os_handle) {
  errno = ENOSYS;
  return -1;
}
void* heap_allocate(uint64_t) { errno = ENOSYS; return nullptr; }
void heap_free(void*) {}
bool allocate_user_physical_pages(os_handle, uint64_t* pages, uint64_t*) {
  *pages = 0;
  errno = ENOSYS;
  return false;
}
bool free_user_physical_pages(os_handle, uint64_t*, uint64_t*) { errno = ENOSYS; return false; }
void* reserve_physical_range(uint64_t) { errno = ENOSYS; return nullptr; }
bool map_user_physical_pages(void*, uint64_t, uint64_t*) { errno = ENOSYS; return false; }
bool release_range(void*) { errno = ENOSYS; return false; }

// ---- process and console ----

bool debugger_present() { return false; }

void exit_process(uint32_t code) {
  fflush(nullptr);
  _exit(static_cast<int>(code & 0xFF));
}

void write_console(standard_stream stream, const wchar_t* text, size_t length) {
  int fd = stream == standard_stream::error ? 2 : 1;
  char bytes[4096];
  while (length > 0) {
    size_t piece = std::min<size_t>(length, sizeof bytes / 4);
    long long n = wide_to_utf8(text, piece, bytes, sizeof bytes);
    uint32_t got;
    write_file(fd, bytes, static_cast<uint32_t>(n), &got, nullptr);
    text += piece;
    length -= piece;
  }
}

void wait_for_console_char() {
  char c;
  (void)!::read(0, &c, 1);
}

system_message::system_message(uint32_t code) : text_(local_) {
  const char* message = strerror(static_cast<int>(code));
  long long n = utf8_to_wide(message, strlen(message), local_, 253);
  if (n < 0) n = 253;
  local_[n] = L'\n';
  local_[n + 1] = 0;
}

system_message::~system_message() = default;

}  // namespace platform
