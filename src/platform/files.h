#pragma once
// Files, the standard streams, events and the current directory. Flag and
// disposition values are the Win32 numbers on every platform.
#include <cstddef>
#include <cstdint>

#include "platform/handle.h"

namespace platform {

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

/// Same layout as the Win32 OVERLAPPED record, so it can be passed through.
struct overlapped {
  uintptr_t internal;
  uintptr_t internal_high;
  uint32_t offset;
  uint32_t offset_high;
  os_handle event;
};

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

/// What tells one file from another: its volume and its index there.
struct file_identity {
  uint64_t volume = 0;
  uint64_t index = 0;
  bool operator==(const file_identity&) const = default;
};
/// The identity of the open file; false when it cannot be had.
bool identify_file(os_handle handle, file_identity* identity);
/// Last-write time as 100-nanosecond intervals since 1601-01-01 UTC.
bool get_file_write_time(os_handle handle, uint64_t* file_time);

/// An auto-reset, unsignalled, unnamed event; invalid_handle on failure.
os_handle create_event();
bool set_event(os_handle event);

/// The bytes a name has outside the tool, for lists that other programs
/// read (UTF-8; on POSIX exactly the bytes the file system gave). Returns
/// the bytes written (no terminator), or -1 when out is too small.
long long name_to_utf8(const wchar_t* text, size_t length, char* out, size_t capacity);

/// GetCurrentDirectoryW: characters written without the terminator, the
/// capacity needed when it is too small, 0 on failure.
uint32_t get_current_directory(uint32_t capacity, wchar_t* buffer);
bool set_current_directory(const wchar_t* path);

}  // namespace platform
