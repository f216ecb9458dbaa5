#include "platform/files.h"

#include <windows.h>

#include "platform/fault_seam.h"
#include "platform/windows_handle.h"

namespace platform {

static_assert(sizeof(overlapped) == sizeof(OVERLAPPED));
static_assert(sizeof(os_handle) == sizeof(HANDLE));

const uint32_t error_file_not_found = ERROR_FILE_NOT_FOUND;
const uint32_t error_already_exists = ERROR_ALREADY_EXISTS;

uint32_t last_error() { return GetLastError(); }
void set_last_error(uint32_t code) { SetLastError(code); }

os_handle get_std_handle(standard_stream stream) {
  HANDLE h = GetStdHandle(standard_id(stream));
  return h == nullptr ? invalid_handle : wrap(h);
}

os_handle redirect_standard_output_to_error(os_handle original) {
  SetStdHandle(STD_OUTPUT_HANDLE, GetStdHandle(STD_ERROR_HANDLE));
  return original;
}

os_handle create_file(const wchar_t* name, uint32_t access, uint32_t disposition, uint32_t flags) {
  if (uint32_t injected = fault::before(fault::operation::open)) {
    SetLastError(injected);
    return invalid_handle;
  }
  HANDLE h = CreateFileW(name, access, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, disposition,
                         flags, nullptr);
  return h == INVALID_HANDLE_VALUE ? invalid_handle : wrap(h);
}

bool close_handle(os_handle handle) { return CloseHandle(native(handle)) != 0; }

bool read_file(os_handle handle, void* buffer, uint32_t length, uint32_t* got, overlapped* record) {
  if (uint32_t injected = fault::before(fault::operation::read)) {
    SetLastError(injected);
    *got = 0;
    return false;
  }
  DWORD n = 0;
  BOOL ok = ReadFile(native(handle), buffer, length, &n, reinterpret_cast<OVERLAPPED*>(record));
  *got = n;
  return ok != 0;
}

bool write_file(os_handle handle, const void* buffer, uint32_t length, uint32_t* got, overlapped* record) {
  if (uint32_t injected = fault::before(fault::operation::write)) {
    SetLastError(injected);
    *got = 0;
    return false;
  }
  DWORD n = 0;
  BOOL ok = WriteFile(native(handle), buffer, length, &n, reinterpret_cast<OVERLAPPED*>(record));
  *got = n;
  return ok != 0;
}

bool set_file_pointer(os_handle handle, int64_t distance, int64_t* new_position, uint32_t method) {
  if (uint32_t injected = fault::before(fault::operation::seek)) {
    SetLastError(injected);
    return false;
  }
  LARGE_INTEGER move;
  move.QuadPart = distance;
  LARGE_INTEGER at;
  BOOL ok = SetFilePointerEx(native(handle), move, &at, method);
  if (ok && new_position) *new_position = at.QuadPart;
  return ok != 0;
}

bool set_end_of_file(os_handle handle) {
  if (uint32_t injected = fault::before(fault::operation::truncate)) {
    SetLastError(injected);
    return false;
  }
  return SetEndOfFile(native(handle)) != 0;
}

bool get_file_size(os_handle handle, uint64_t* size) {
  LARGE_INTEGER value;
  if (!GetFileSizeEx(native(handle), &value)) return false;
  *size = static_cast<uint64_t>(value.QuadPart);
  return true;
}

bool identify_file(os_handle handle, file_identity* identity) {
  BY_HANDLE_FILE_INFORMATION info;
  if (!GetFileInformationByHandle(native(handle), &info)) return false;
  identity->volume = info.dwVolumeSerialNumber;
  identity->index = (static_cast<uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow;
  return true;
}

bool same_file(os_handle a, os_handle b) {
  BY_HANDLE_FILE_INFORMATION ia, ib;
  return GetFileInformationByHandle(native(a), &ia) && GetFileInformationByHandle(native(b), &ib) &&
         ia.dwVolumeSerialNumber == ib.dwVolumeSerialNumber && ia.nFileIndexHigh == ib.nFileIndexHigh &&
         ia.nFileIndexLow == ib.nFileIndexLow;
}

bool get_file_write_time(os_handle handle, uint64_t* file_time) {
  FILETIME written{};
  BOOL ok = GetFileTime(native(handle), nullptr, nullptr, &written);
  *file_time = ok ? (static_cast<uint64_t>(written.dwHighDateTime) << 32) | written.dwLowDateTime : 0;
  return ok != 0;
}

os_handle create_event() {
  HANDLE h = CreateEventW(nullptr, FALSE, FALSE, nullptr);
  return h == nullptr ? invalid_handle : wrap(h);
}

bool set_event(os_handle event) { return SetEvent(native(event)) != 0; }

long long name_to_utf8(const wchar_t* text, size_t length, char* out, size_t capacity) {
  if (length == 0) return 0;
  if (length > 0x7fffffff || capacity == 0) return -1;
  int room = capacity > 0x7fffffff ? 0x7fffffff : static_cast<int>(capacity);
  int n = WideCharToMultiByte(CP_UTF8, 0, text, static_cast<int>(length), out, room, nullptr, nullptr);
  return n > 0 ? n : -1;
}

uint32_t get_current_directory(uint32_t capacity, wchar_t* buffer) { return GetCurrentDirectoryW(capacity, buffer); }

bool set_current_directory(const wchar_t* path) { return SetCurrentDirectoryW(path) != 0; }

}  // namespace platform
