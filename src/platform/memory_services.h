#pragma once
// Memory the tool allocates, locks and maps.
#include <cstdint>

#include "platform/handle.h"

namespace platform {

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

}  // namespace platform
