#include "platform/cache_files.h"

#include <windows.h>

#include "platform/fault_seam.h"
#include "platform/windows_handle.h"

namespace platform {

namespace {

bool make_directory(const wchar_t* name) {
  if (CreateDirectoryW(name, nullptr)) return true;
  if (GetLastError() != ERROR_ALREADY_EXISTS) return false;
  DWORD attributes = GetFileAttributesW(name);
  if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY)) return true;
  SetLastError(ERROR_DIRECTORY);
  return false;
}

bool is_separator(wchar_t c) { return c == L'/' || c == L'\\'; }

}  // namespace

bool create_directories(const wchar_t* name) {
  if (make_directory(name)) return true;
  if (GetLastError() != ERROR_PATH_NOT_FOUND) return false;
  // Make each missing parent, from the top down; a drive ("C:") or a share
  // ("\\server\share") at the start is never made.
  std::wstring path = name;
  size_t start = path.size() > 1 && path[1] == L':' ? 3 : 1;
  if (path.size() > 1 && is_separator(path[0]) && is_separator(path[1])) {
    size_t server = path.find_first_of(L"/\\", 2);
    size_t share = server == std::wstring::npos ? server : path.find_first_of(L"/\\", server + 1);
    start = share == std::wstring::npos ? path.size() : share + 1;
  }
  for (size_t at = start; at < path.size(); ++at) {
    if (!is_separator(path[at])) continue;
    wchar_t kept = path[at];
    path[at] = 0;
    bool made = make_directory(path.c_str()) || GetLastError() == ERROR_ACCESS_DENIED;
    path[at] = kept;
    if (!made) return false;
  }
  return make_directory(name);
}

bool replace_file(const wchar_t* from, const wchar_t* to) {
  if (uint32_t injected = fault::before(fault::operation::rename)) {
    SetLastError(injected);
    return false;
  }
  return MoveFileExW(from, to, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
}

bool delete_file(const wchar_t* name) { return DeleteFileW(name) != 0; }

bool touch_file(const wchar_t* name) {
  HANDLE file = CreateFileW(name, FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                            nullptr, OPEN_EXISTING, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  FILETIME now;
  GetSystemTimeAsFileTime(&now);
  BOOL done = SetFileTime(file, nullptr, nullptr, &now);
  DWORD error = GetLastError();
  CloseHandle(file);
  if (!done) SetLastError(error);
  return done != 0;
}

bool list_files(const wchar_t* directory, std::vector<directory_file>& files) {
  std::wstring pattern = directory;
  pattern += L"\\*";
  WIN32_FIND_DATAW item;
  HANDLE search = FindFirstFileW(pattern.c_str(), &item);
  if (search == INVALID_HANDLE_VALUE) return GetLastError() == ERROR_FILE_NOT_FOUND;
  do {
    if (item.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) continue;
    files.push_back({item.cFileName, static_cast<uint64_t>(item.nFileSizeHigh) << 32 | item.nFileSizeLow,
                     static_cast<uint64_t>(item.ftLastWriteTime.dwHighDateTime) << 32 |
                         item.ftLastWriteTime.dwLowDateTime});
  } while (FindNextFileW(search, &item));
  DWORD error = GetLastError();
  FindClose(search);
  if (error == ERROR_NO_MORE_FILES) return true;
  SetLastError(error);
  return false;
}

bool file_lock::try_lock(const wchar_t* name) {
  unlock();
  HANDLE file = CreateFileW(name, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                            nullptr, OPEN_ALWAYS, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  // The system releases the lock when the handle closes, also when the
  // process is ended.
  OVERLAPPED whole{};
  if (!LockFileEx(file, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, MAXDWORD, MAXDWORD, &whole)) {
    DWORD error = GetLastError();
    CloseHandle(file);
    SetLastError(error);
    return false;
  }
  handle_ = wrap(file);
  return true;
}

void file_lock::unlock() {
  if (handle_ == invalid_handle) return;
  CloseHandle(native(handle_));
  handle_ = invalid_handle;
}

}  // namespace platform
