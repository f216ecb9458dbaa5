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

// A handle closed when it goes out of scope.
struct handle_owner {
  HANDLE handle;
  ~handle_owner() {
    if (handle != INVALID_HANDLE_VALUE) CloseHandle(handle);
  }
};

inline HANDLE open_existing(const wchar_t* path, DWORD access, DWORD flags) {
  return CreateFileW(path, access, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                     flags, nullptr);
}

// The final path of an open handle into out (path_capacity characters); its length, or 0.
inline size_t final_path(HANDLE handle, wchar_t* out) {
  const DWORD length = GetFinalPathNameByHandleW(handle, out, path_capacity, FILE_NAME_NORMALIZED);
  return length > 0 && length < path_capacity ? length : 0;
}

}  // namespace windows_detail

inline bool open_tree(tree& into, const char* root) {
  wchar_t wide[path_capacity];
  if (MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, root, -1, wide, path_capacity) == 0) return false;
  windows_detail::handle_owner directory{windows_detail::open_existing(wide, 0, FILE_FLAG_BACKUP_SEMANTICS)};
  if (directory.handle == INVALID_HANDLE_VALUE) return false;
  BY_HANDLE_FILE_INFORMATION info{};
  if (!GetFileInformationByHandle(directory.handle, &info) || !(info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
    return false;
  into.length = windows_detail::final_path(directory.handle, into.root);
  while (into.length > 0 && into.root[into.length - 1] == L'\\') into.root[--into.length] = 0;
  return into.length > 0;
}

/// Reads the regular file at relative (UTF-8, below the root,
/// '/'-separated) when its final path, links resolved, lies inside the tree.
inline live_read read_inside(const tree& from, const char* relative, char* buffer, size_t capacity) {
  wchar_t joined[path_capacity];
  wchar_t real[path_capacity];
  std::wmemcpy(joined, from.root, from.length);
  joined[from.length] = L'\\';
  const int converted = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, relative, -1, joined + from.length + 1,
                                            static_cast<int>(path_capacity - from.length - 1));
  if (converted == 0) return {live_read::missing, 0, 0};
  for (wchar_t* at = joined + from.length + 1; *at; ++at)
    if (*at == L'/') *at = L'\\';

  windows_detail::handle_owner file{windows_detail::open_existing(joined, GENERIC_READ, 0)};
  if (file.handle == INVALID_HANDLE_VALUE) return {live_read::missing, 0, 0};
  const size_t real_length = windows_detail::final_path(file.handle, real);
  if (real_length <= from.length || _wcsnicmp(real, from.root, from.length) != 0 || real[from.length] != L'\\')
    return {live_read::refused, 0, 0};
  BY_HANDLE_FILE_INFORMATION info{};
  if (!GetFileInformationByHandle(file.handle, &info) || (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
    return {live_read::refused, 0, 0};

  const uint64_t written = (uint64_t{info.ftLastWriteTime.dwHighDateTime} << 32) | info.ftLastWriteTime.dwLowDateTime;
  constexpr uint64_t ticks_to_1970 = 116444736000000000;  // 100 ns units from 1601 to 1970
  live_read result{live_read::ok, (uint64_t{info.nFileSizeHigh} << 32) | info.nFileSizeLow,
                   (static_cast<int64_t>(written) - static_cast<int64_t>(ticks_to_1970)) / 10000000};
  if (result.size > capacity) {
    result.status = live_read::too_small;
    return result;
  }
  uint64_t done = 0;
  while (done < result.size) {
    const DWORD chunk = static_cast<DWORD>(result.size - done < (1u << 30) ? result.size - done : (1u << 30));
    DWORD count = 0;
    if (!ReadFile(file.handle, buffer + done, chunk, &count, nullptr)) return {live_read::missing, 0, 0};
    if (count == 0) break;  // the file shrank meanwhile: serve what is there
    done += count;
  }
  result.size = done;
  return result;
}

}  // namespace vex_http::dev_platform
