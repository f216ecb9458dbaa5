#include "platform/cache_files.h"

#include <windows.h>

#include "platform/fault_seam.h"

namespace platform {

bool create_directory(const wchar_t* name) {
  if (CreateDirectoryW(name, nullptr)) return true;
  if (GetLastError() != ERROR_ALREADY_EXISTS) return false;
  DWORD attributes = GetFileAttributesW(name);
  if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY)) return true;
  SetLastError(ERROR_DIRECTORY);
  return false;
}

bool replace_file(const wchar_t* from, const wchar_t* to) {
  if (uint32_t injected = fault::before(fault::operation::rename)) {
    SetLastError(injected);
    return false;
  }
  return MoveFileExW(from, to, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
}

bool delete_file(const wchar_t* name) { return DeleteFileW(name) != 0; }

}  // namespace platform
