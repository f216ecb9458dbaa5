#include "platform/platform.h"

#include <windows.h>

#include <cstdlib>
#include <cstring>
#include <malloc.h>

namespace platform {

static_assert(sizeof(overlapped) == sizeof(OVERLAPPED));
static_assert(sizeof(os_handle) == sizeof(HANDLE));

const uint32_t error_file_not_found = ERROR_FILE_NOT_FOUND;
const uint32_t error_already_exists = ERROR_ALREADY_EXISTS;
const uint32_t error_no_more_files = ERROR_NO_MORE_FILES;

namespace {

HANDLE native(os_handle handle) { return reinterpret_cast<HANDLE>(handle); }
os_handle wrap(HANDLE handle) { return reinterpret_cast<os_handle>(handle); }
DWORD standard_id(standard_stream stream) {
  return stream == standard_stream::input ? STD_INPUT_HANDLE
         : stream == standard_stream::output ? STD_OUTPUT_HANDLE
                                             : STD_ERROR_HANDLE;
}

}  // namespace

uint32_t last_error() { return GetLastError(); }
void set_last_error(uint32_t code) { SetLastError(code); }

// ---- files ----

os_handle get_std_handle(standard_stream stream) {
  HANDLE h = GetStdHandle(standard_id(stream));
  return h == nullptr ? invalid_handle : wrap(h);
}

os_handle redirect_standard_output_to_error(os_handle original) {
  SetStdHandle(STD_OUTPUT_HANDLE, GetStdHandle(STD_ERROR_HANDLE));
  return original;
}

os_handle create_file(const wchar_t* name, uint32_t access, uint32_t disposition, uint32_t flags) {
  HANDLE h = CreateFileW(name, access, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, disposition,
                         flags, nullptr);
  return h == INVALID_HANDLE_VALUE ? invalid_handle : wrap(h);
}

bool close_handle(os_handle handle) { return CloseHandle(native(handle)) != 0; }

bool read_file(os_handle handle, void* buffer, uint32_t length, uint32_t* got, overlapped* record) {
  DWORD n = 0;
  BOOL ok = ReadFile(native(handle), buffer, length, &n, reinterpret_cast<OVERLAPPED*>(record));
  *got = n;
  return ok != 0;
}

bool write_file(os_handle handle, const void* buffer, uint32_t length, uint32_t* got, overlapped* record) {
  DWORD n = 0;
  BOOL ok = WriteFile(native(handle), buffer, length, &n, reinterpret_cast<OVERLAPPED*>(record));
  *got = n;
  return ok != 0;
}

bool set_file_pointer(os_handle handle, int64_t distance, int64_t* new_position, uint32_t method) {
  LARGE_INTEGER move;
  move.QuadPart = distance;
  LARGE_INTEGER at;
  BOOL ok = SetFilePointerEx(native(handle), move, &at, method);
  if (ok && new_position) *new_position = at.QuadPart;
  return ok != 0;
}

bool set_end_of_file(os_handle handle) { return SetEndOfFile(native(handle)) != 0; }

bool get_file_size(os_handle handle, uint64_t* size) {
  LARGE_INTEGER value;
  if (!GetFileSizeEx(native(handle), &value)) return false;
  *size = static_cast<uint64_t>(value.QuadPart);
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

// ---- broken-down time ----

bool file_time_to_system_time(uint64_t file_time, system_time* out) {
  FILETIME ft;
  ft.dwLowDateTime = static_cast<DWORD>(file_time);
  ft.dwHighDateTime = static_cast<DWORD>(file_time >> 32);
  SYSTEMTIME st;
  if (!FileTimeToSystemTime(&ft, &st)) return false;
  *out = system_time{st.wYear, st.wMonth, st.wDayOfWeek, st.wDay, st.wHour, st.wMinute, st.wSecond, st.wMilliseconds};
  return true;
}

// ---- directory search ----

namespace {

void copy_find_data(const WIN32_FIND_DATAW& from, find_data* to) {
  to->attributes = from.dwFileAttributes;
  to->size = (static_cast<uint64_t>(from.nFileSizeHigh) << 32) | from.nFileSizeLow;
  memcpy(to->name, from.cFileName, sizeof to->name);
}

}  // namespace

os_handle find_first_file(const wchar_t* pattern, find_data* item) {
  WIN32_FIND_DATAW data;
  HANDLE h = FindFirstFileW(pattern, &data);
  if (h == INVALID_HANDLE_VALUE) return invalid_handle;
  copy_find_data(data, item);
  return wrap(h);
}

bool find_next_file(os_handle search, find_data* item) {
  WIN32_FIND_DATAW data;
  if (!FindNextFileW(native(search), &data)) return false;
  copy_find_data(data, item);
  return true;
}

bool find_close(os_handle search) { return FindClose(native(search)) != 0; }

// ---- current directory ----

uint32_t get_current_directory(uint32_t capacity, wchar_t* buffer) { return GetCurrentDirectoryW(capacity, buffer); }

bool set_current_directory(const wchar_t* path) { return SetCurrentDirectoryW(path) != 0; }

// ---- memory ----

uint64_t large_page_minimum(bool* available) {
  *available = false;
  HMODULE kernel = LoadLibraryExW(L"kernel32.dll", nullptr, DONT_RESOLVE_DLL_REFERENCES);
  if (!kernel) return 0;
  using query = SIZE_T(WINAPI*)();
  auto function = reinterpret_cast<query>(reinterpret_cast<void*>(GetProcAddress(kernel, "GetLargePageMinimum")));
  uint64_t minimum = 0;
  if (function) {
    minimum = function();
    *available = minimum != 0;
  }
  FreeLibrary(kernel);
  return minimum;
}

void system_page_info(uint64_t* page_size, uint64_t* allocation_granularity) {
  SYSTEM_INFO info;
  GetSystemInfo(&info);
  *page_size = info.dwPageSize;
  *allocation_granularity = info.dwAllocationGranularity;
}

os_handle current_process() { return wrap(GetCurrentProcess()); }

os_handle open_process_token(os_handle process) {
  HANDLE token = nullptr;
  OpenProcessToken(native(process), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, &token);
  return wrap(token);
}

bool set_working_set_size(os_handle process, uint64_t minimum, uint64_t maximum) {
  return SetProcessWorkingSetSize(native(process), minimum, maximum) != 0;
}

void* aligned_allocate(uint64_t size, uint64_t alignment) { return _aligned_malloc(size, alignment); }
void aligned_free(void* block) { _aligned_free(block); }
bool lock_memory(void* address, uint64_t size) { return VirtualLock(address, size) != 0; }

long long name_to_utf8(const wchar_t* text, size_t length, char* out, size_t capacity) {
  if (length == 0) return 0;
  if (length > 0x7fffffff || capacity == 0) return -1;
  int room = capacity > 0x7fffffff ? 0x7fffffff : static_cast<int>(capacity);
  int n = WideCharToMultiByte(CP_UTF8, 0, text, static_cast<int>(length), out, room, nullptr, nullptr);
  return n > 0 ? n : -1;
}

void* allocate_zeroed(uint64_t size) { return VirtualAlloc(nullptr, size, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE); }

void free_zeroed(void* block, uint64_t) { VirtualFree(block, 0, MEM_RELEASE); }
bool unlock_memory(void* address, uint64_t size) { return VirtualUnlock(address, size) != 0; }

int32_t enable_lock_memory_privilege(os_handle token) {
  TOKEN_PRIVILEGES privileges{};
  privileges.PrivilegeCount = 1;
  privileges.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
  if (!LookupPrivilegeValueW(nullptr, L"SeLockMemoryPrivilege", &privileges.Privileges[0].Luid)) return -1;
  if (!AdjustTokenPrivileges(native(token), FALSE, &privileges, 0, nullptr, nullptr))
    return static_cast<int32_t>(GetLastError());
  return 0;
}

void* heap_allocate(uint64_t size) { return HeapAlloc(GetProcessHeap(), 0, size); }
void heap_free(void* block) { HeapFree(GetProcessHeap(), 0, block); }

bool allocate_user_physical_pages(os_handle process, uint64_t* pages, uint64_t* frame_numbers) {
  ULONG_PTR count = *pages;
  BOOL ok = AllocateUserPhysicalPages(native(process), &count, reinterpret_cast<PULONG_PTR>(frame_numbers));
  *pages = count;
  return ok != 0;
}

bool free_user_physical_pages(os_handle process, uint64_t* pages, uint64_t* frame_numbers) {
  ULONG_PTR count = *pages;
  BOOL ok = FreeUserPhysicalPages(native(process), &count, reinterpret_cast<PULONG_PTR>(frame_numbers));
  *pages = count;
  return ok != 0;
}

void* reserve_physical_range(uint64_t size) { return VirtualAlloc(nullptr, size, MEM_RESERVE | MEM_PHYSICAL, PAGE_READWRITE); }

bool map_user_physical_pages(void* address, uint64_t pages, uint64_t* frame_numbers) {
  return MapUserPhysicalPages(address, pages, reinterpret_cast<PULONG_PTR>(frame_numbers)) != 0;
}

bool release_range(void* address) { return VirtualFree(address, 0, MEM_RELEASE) != 0; }

// ---- process and console ----

bool debugger_present() { return IsDebuggerPresent() != 0; }

void exit_process(uint32_t code) { ExitProcess(code); }

void write_console(standard_stream stream, const wchar_t* text, size_t length) {
  HANDLE h = GetStdHandle(standard_id(stream));
  if (h == nullptr || h == INVALID_HANDLE_VALUE) return;
  DWORD mode;
  if (GetConsoleMode(h, &mode)) {
    while (length > 0) {
      DWORD piece = static_cast<DWORD>(length > 8192 ? 8192 : length);
      DWORD done = 0;
      if (!WriteConsoleW(h, text, piece, &done, nullptr)) return;
      text += piece;
      length -= piece;
    }
    return;
  }
  // Redirected: UTF-8, converted in pieces that keep surrogate pairs whole.
  char bytes[4 * 1024 + 16];
  while (length > 0) {
    size_t piece = length > 1024 ? 1024 : length;
    if (piece < length && text[piece - 1] >= 0xD800 && text[piece - 1] <= 0xDBFF) --piece;
    int n = WideCharToMultiByte(CP_UTF8, 0, text, static_cast<int>(piece), bytes, sizeof bytes, nullptr, nullptr);
    DWORD done = 0;
    if (n > 0) WriteFile(h, bytes, static_cast<DWORD>(n), &done, nullptr);
    text += piece;
    length -= piece;
  }
}

void wait_for_console_char() {
  wchar_t c;
  DWORD got = 0;
  ReadConsoleW(GetStdHandle(STD_INPUT_HANDLE), &c, 1, &got, nullptr);
}

system_message::system_message(uint32_t code) : text_(nullptr) {
  local_[0] = 0;
  DWORD n = FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS | FORMAT_MESSAGE_ALLOCATE_BUFFER,
                           nullptr, code, MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT),
                           reinterpret_cast<LPWSTR>(&text_), 0, nullptr);
  if (n == 0 || !text_) {
    text_ = nullptr;
    local_[0] = L'\n';
    local_[1] = 0;
  }
}

system_message::~system_message() {
  if (text_) LocalFree(text_);
}

}  // namespace platform
