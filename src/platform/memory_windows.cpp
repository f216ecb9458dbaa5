#include "platform/memory_services.h"

#include <windows.h>

#include <malloc.h>

#include "platform/windows_handle.h"

namespace platform {

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

}  // namespace platform
