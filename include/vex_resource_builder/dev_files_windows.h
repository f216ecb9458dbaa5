#pragma once
// The Windows side of development mode; included by dev_files.h.
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <cwchar>

#include "vex_resource_builder/live_read.h"

namespace vex_http::dev_platform {

inline constexpr size_t path_capacity = 32768;

/// The tree's final path (links resolved), as the system names it.
struct tree {
  wchar_t root[path_capacity] = {};
  size_t length = 0;
};

namespace windows_detail {

inline HANDLE open_existing(const wchar_t* path, DWORD access, DWORD flags) {
  return CreateFileW(path, access, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                     flags, nullptr);
}

// The final path of an open handle into out (path_capacity characters); its length, or 0.
inline size_t final_path(HANDLE handle, wchar_t* out) {
  const DWORD length = GetFinalPathNameByHandleW(handle, out, path_capacity, FILE_NAME_NORMALIZED);
  return length > 0 && length < path_capacity ? length : 0;
}

// Seconds since 1970 of a file time (100 ns units since 1601).
inline int64_t unix_seconds(FILETIME time) {
  const uint64_t ticks = (uint64_t{time.dwHighDateTime} << 32) | time.dwLowDateTime;
  constexpr int64_t ticks_to_1970 = 116444736000000000;
  return (static_cast<int64_t>(ticks) - ticks_to_1970) / 10000000;
}

}  // namespace windows_detail

/// A handle, closed when it goes.
class handle_owner {
 public:
  handle_owner() = default;
  explicit handle_owner(HANDLE handle) : handle_(handle) {}
  handle_owner(handle_owner&& other) noexcept : handle_(other.handle_) { other.handle_ = INVALID_HANDLE_VALUE; }
  handle_owner& operator=(handle_owner&& other) noexcept {
    if (this != &other) {
      reset(other.handle_);
      other.handle_ = INVALID_HANDLE_VALUE;
    }
    return *this;
  }
  ~handle_owner() { reset(INVALID_HANDLE_VALUE); }
  void reset(HANDLE handle) {
    if (handle_ != INVALID_HANDLE_VALUE) CloseHandle(handle_);
    handle_ = handle;
  }
  HANDLE get() const { return handle_; }

 private:
  HANDLE handle_ = INVALID_HANDLE_VALUE;
};

/// The open file of one request.
using file = handle_owner;

inline bool open_tree(tree& into, const char* root) {
  wchar_t wide[path_capacity];
  if (MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, root, -1, wide, path_capacity) == 0) return false;
  handle_owner directory{windows_detail::open_existing(wide, 0, FILE_FLAG_BACKUP_SEMANTICS)};
  if (directory.get() == INVALID_HANDLE_VALUE) return false;
  BY_HANDLE_FILE_INFORMATION info{};
  if (!GetFileInformationByHandle(directory.get(), &info) || !(info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
    return false;
  into.length = windows_detail::final_path(directory.get(), into.root);
  while (into.length > 0 && into.root[into.length - 1] == L'\\') into.root[--into.length] = 0;
  return into.length > 0;
}

/// Opens the file at relative (UTF-8, below the root, '/'-separated) into
/// file: its size and date when it is a regular disk file whose final
/// path, links resolved, lies inside the tree. The root's final path is in
/// the "\\?\" form, so that a name such as "CON" or "NUL" is a file's name
/// there, never a device.
inline live_read open_inside(const tree& from, const char* relative, file& into) {
  wchar_t joined[path_capacity];
  wchar_t real[path_capacity];
  std::wmemcpy(joined, from.root, from.length);
  joined[from.length] = L'\\';
  const int converted = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, relative, -1, joined + from.length + 1,
                                            static_cast<int>(path_capacity - from.length - 1));
  if (converted == 0) return {live_read::missing, 0, 0};
  for (wchar_t* at = joined + from.length + 1; *at; ++at)
    if (*at == L'/') *at = L'\\';

  into.reset(windows_detail::open_existing(joined, GENERIC_READ, 0));
  if (into.get() == INVALID_HANDLE_VALUE) return {live_read::missing, 0, 0};
  const size_t real_length = windows_detail::final_path(into.get(), real);
  if (real_length <= from.length || _wcsnicmp(real, from.root, from.length) != 0 || real[from.length] != L'\\')
    return {live_read::refused, 0, 0};
  BY_HANDLE_FILE_INFORMATION info{};
  if (GetFileType(into.get()) != FILE_TYPE_DISK || !GetFileInformationByHandle(into.get(), &info) ||
      (info.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_DEVICE)))
    return {live_read::refused, 0, 0};
  return {live_read::ok, (uint64_t{info.nFileSizeHigh} << 32) | info.nFileSizeLow,
          windows_detail::unix_seconds(info.ftLastWriteTime)};
}

/// Reads up to size bytes of file at its current offset: how many, 0 at
/// its end, -1 on an error.
inline int64_t read_some(file& from, char* buffer, uint64_t size) {
  constexpr uint64_t chunk = 1u << 30;
  DWORD count = 0;
  if (!ReadFile(from.get(), buffer, static_cast<DWORD>(size < chunk ? size : chunk), &count, nullptr)) return -1;
  return count;
}

}  // namespace vex_http::dev_platform
