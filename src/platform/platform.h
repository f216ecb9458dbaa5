#pragma once
// The few operating-system services the tool needs, behind one interface.
// platform_windows.cpp implements them with the Win32 calls of the same
// names; platform_posix.cpp gives the same operations the same results on
// POSIX systems. Flag and disposition values are the Win32 numbers on every
// platform; error codes are the platform's own (GetLastError or errno).
#include <cstddef>
#include <cstdint>

namespace platform {

using os_handle = intptr_t;
inline constexpr os_handle invalid_handle = -1;

// Access rights, dispositions and flags of a file open (Win32 values).
inline constexpr uint32_t generic_read = 0x80000000u;
inline constexpr uint32_t generic_write = 0x40000000u;
inline constexpr uint32_t generic_all = 0x10000000u;
inline constexpr uint32_t create_always = 2;
inline constexpr uint32_t open_existing = 3;
inline constexpr uint32_t open_always = 4;
inline constexpr uint32_t file_attribute_normal = 0x00000080u;
inline constexpr uint32_t file_attribute_temporary = 0x00000100u;
inline constexpr uint32_t file_attribute_directory = 0x00000010u;
inline constexpr uint32_t file_flag_backup_semantics = 0x02000000u;
inline constexpr uint32_t file_flag_delete_on_close = 0x04000000u;
inline constexpr uint32_t file_flag_sequential_scan = 0x08000000u;
inline constexpr uint32_t file_flag_overlapped = 0x40000000u;

// Move methods of seek.
inline constexpr uint32_t file_begin = 0;
inline constexpr uint32_t file_current = 1;
inline constexpr uint32_t file_end = 2;

// Error codes the tool tests for.
extern const uint32_t error_file_not_found;
extern const uint32_t error_already_exists;
extern const uint32_t error_no_more_files;

/// Same layout as the Win32 OVERLAPPED record, so it can be passed through.
struct overlapped {
  uintptr_t internal;
  uintptr_t internal_high;
  uint32_t offset;
  uint32_t offset_high;
  os_handle event;
};

/// The calling thread's last error code (GetLastError or errno).
uint32_t last_error();
void set_last_error(uint32_t code);

// ---- files ----

enum class standard_stream { input, output, error };

/// The process's standard handle, or invalid_handle.
os_handle get_std_handle(standard_stream stream);
/// Makes the process's standard output refer to its standard error, and
/// returns the handle through which original (the standard output handle
/// taken before) still reaches the original stream.
os_handle redirect_standard_output_to_error(os_handle original);

/// CreateFileW with full sharing. Returns the handle or invalid_handle with
/// the last error set; on success the last error is error_already_exists when
/// create_always or open_always found the file, else 0.
os_handle create_file(const wchar_t* name, uint32_t access, uint32_t disposition, uint32_t flags);
bool close_handle(os_handle handle);
/// Synchronous transfers; false with the last error set on failure.
bool read_file(os_handle handle, void* buffer, uint32_t length, uint32_t* got, overlapped* record);
bool write_file(os_handle handle, const void* buffer, uint32_t length, uint32_t* got, overlapped* record);
bool set_file_pointer(os_handle handle, int64_t distance, int64_t* new_position, uint32_t method);
bool set_end_of_file(os_handle handle);
bool get_file_size(os_handle handle, uint64_t* size);
/// True when both handles refer to the same file.
bool same_file(os_handle a, os_handle b);
/// Last-write time as 100-nanosecond intervals since 1601-01-01 UTC.
bool get_file_write_time(os_handle handle, uint64_t* file_time);

/// An auto-reset, unsignalled, unnamed event; invalid_handle on failure.
os_handle create_event();
bool set_event(os_handle event);

// ---- broken-down time ----

struct system_time {
  uint16_t year, month, day_of_week, day, hour, minute, second, milliseconds;
};
/// FileTimeToSystemTime: false for a time at or above 2^63.
bool file_time_to_system_time(uint64_t file_time, system_time* out);

// ---- directory search ----

struct find_data {
  uint32_t attributes;
  uint64_t size;
  wchar_t name[260];
};
/// FindFirstFileW: a search handle and the first item, or invalid_handle
/// with the last error set.
os_handle find_first_file(const wchar_t* pattern, find_data* item);
/// FindNextFileW: false with the last error set (error_no_more_files at the end).
bool find_next_file(os_handle search, find_data* item);
bool find_close(os_handle search);

/// The bytes a name has outside the tool, for lists that other programs
/// read (UTF-8; on POSIX exactly the bytes the file system gave). Returns
/// the bytes written (no terminator), or -1 when out is too small.
long long name_to_utf8(const wchar_t* text, size_t length, char* out, size_t capacity);

// ---- current directory ----

/// GetCurrentDirectoryW: characters written without the terminator, the
/// capacity needed when it is too small, 0 on failure.
uint32_t get_current_directory(uint32_t capacity, wchar_t* buffer);
bool set_current_directory(const wchar_t* path);

// ---- memory ----

/// GetLargePageMinimum when the system has it; 0 when not (available false).
uint64_t large_page_minimum(bool* available);
void system_page_info(uint64_t* page_size, uint64_t* allocation_granularity);
os_handle current_process();
/// OpenProcessToken with adjust-privileges and query access.
os_handle open_process_token(os_handle process);
bool set_working_set_size(os_handle process, uint64_t minimum, uint64_t maximum);
void* aligned_allocate(uint64_t size, uint64_t alignment);
void aligned_free(void* block);
bool lock_memory(void* address, uint64_t size);
/// Zero-filled memory whose pages become resident only when touched; null on failure.
void* allocate_zeroed(uint64_t size);
void free_zeroed(void* block, uint64_t size);
bool unlock_memory(void* address, uint64_t size);

// Physical-page services; on systems without them they fail.
/// 0 when the adjustment call succeeded; -1 when the privilege name is
/// unknown; else the error code. The last error tells whether it was granted.
int32_t enable_lock_memory_privilege(os_handle token);
void* heap_allocate(uint64_t size);
void heap_free(void* block);
bool allocate_user_physical_pages(os_handle process, uint64_t* pages, uint64_t* frame_numbers);
bool free_user_physical_pages(os_handle process, uint64_t* pages, uint64_t* frame_numbers);
void* reserve_physical_range(uint64_t size);
bool map_user_physical_pages(void* address, uint64_t pages, uint64_t* frame_numbers);
bool release_range(void* address);

// ---- process and console ----

bool debugger_present();
[[noreturn]] void exit_process(uint32_t code);
/// Writes wide text to the console stream as the platform shows it.
void write_console(standard_stream stream, const wchar_t* text, size_t length);
/// Waits for one character from standard input.
void wait_for_console_char();

/// The system's message text for an error code, with its own line end.
class system_message {
 public:
  explicit system_message(uint32_t code);
  ~system_message();
  system_message(const system_message&) = delete;
  system_message& operator=(const system_message&) = delete;
  const wchar_t* text() const { return text_ ? text_ : local_; }

 private:
  wchar_t* text_;
  wchar_t local_[256];
};

}  // namespace platform
