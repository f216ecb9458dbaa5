#include "platform/memory_services.h"

#include <errno.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cstdlib>

namespace platform {

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

}  // namespace platform
