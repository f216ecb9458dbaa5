#pragma once
// The one working-memory block of a run: six page units, made of physical
// pages where the process may lock them, otherwise an aligned heap block
// locked into memory.
#include <cstdint>

#include "platform/platform.h"

struct work_memory {
  uint8_t physical;   // physical pages may be tried; kept when the block is made of them
  uint8_t locked;     // the aligned block was locked into memory
  uint64_t pages_requested;
  uint64_t pages;
  uint64_t frame_array_bytes;
  uint64_t* aPFNs;
  platform::os_handle process;
  platform::os_handle token;
  uint8_t verbose;
  uint64_t system_page_size;
  uint64_t allocation_granularity;
  uint64_t unit_count;
  uint64_t page_unit;
  uint64_t size;
  void* base;

  ~work_memory();
};

/// The large-page minimum, or 0x200000 when the system has none; *flag is 1
/// only when the large-page minimum exists and is not 0.
uint64_t query_page_unit(uint8_t* flag);

/// Sets the unit count, page unit, size, process and token and obtains the
/// block: 0 with base set, or -1 with base null after reporting the error.
int obtain_work_memory(work_memory& memory);

/// -1 when no block is held; else zero-fills a locked or physical block,
/// releases it and returns 0.
int release_work_memory(work_memory& memory);

/// release_work_memory, then every field back to zero.
void reset_work_memory(work_memory& memory);
