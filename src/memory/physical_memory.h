#pragma once
// Building the working block from physical pages mapped into a reserved
// address range, for processes that may lock pages in memory.
#include <cstdint>
#include <string_view>

#include "memory/work_memory.h"

/// 0 when the privilege adjustment call succeeded; -1 when the privilege
/// name is unknown; else the system error code.
int32_t enable_lock_memory_privilege(platform::os_handle token);

/// The start of a mapped block of size bytes made of physical pages, or null
/// after printing the diagnosis and undoing every step.
void* allocate_physical_block(work_memory& memory, uint64_t size);

/// Returns the pages of a physical block (already zero-filled) to the system.
void release_physical_block(work_memory& memory);

/// The figures behind the diagnosis of a physical block that failed.
struct physical_block_figures {
  uint64_t page_size;
  uint64_t pages_requested;
  uint64_t pages;
  uint64_t frame_array_bytes;
  uintptr_t frame_array_address;
  uintptr_t block_address;
  bool allocated;
  bool mapped;
};

/// Formats the diagnosis lines into out (capacity characters); returns the
/// length or -1.
int format_physical_diagnosis(const physical_block_figures& figures, wchar_t* out, uint64_t capacity);
