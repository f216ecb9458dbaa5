#include "memory/physical_memory.h"

#include "support/format.h"
#include "support/system_error.h"

using namespace platform;

int32_t enable_lock_memory_privilege(os_handle token) { return platform::enable_lock_memory_privilege(token); }

int format_physical_diagnosis(const physical_block_figures& f, wchar_t* out, uint64_t capacity) {
  auto megabytes = [&](uint64_t pages) { return static_cast<uint32_t>((f.page_size * pages) >> 20); };
  const wchar_t* allocated = f.allocated ? L"[OK]" : L"[FAILED]";
  const wchar_t* mapped = f.mapped ? L"[OK]" : L"[FAILED]";
  int head = 0;
  if (!(f.allocated && f.mapped)) {
    head = format_wide(out, capacity, L":: AWE %9u MB physical RAM at: 0x%016Ix\n", megabytes(f.pages), f.block_address);
    if (head < 0) return -1;
  }
  int rest = format_wide(out + head, capacity - static_cast<uint64_t>(head),
                         L"\n"
                         L"Memory to request for PFN array\t%8Iu KB\taPFNs [0x%08Ix]\n"
                         L"Requested number of pages\t%8Iu\tRequested %5u MB\n"
                         L"Received  number of pages\t%8Iu\tReceived  %5u MB\n"
                         L"AllocateUserPhysicalPages\t%8s\tpage size %5u bytes\n"
                         L"MapUserPhysicalPages\t\t%8s\n",
                         static_cast<uintptr_t>(f.frame_array_bytes / 1024), f.frame_array_address,
                         static_cast<uintptr_t>(f.pages_requested), megabytes(f.pages_requested),
                         static_cast<uintptr_t>(f.pages), megabytes(f.pages), allocated,
                         static_cast<uint32_t>(f.page_size), mapped);
  return rest < 0 ? -1 : head + rest;
}

void* allocate_physical_block(work_memory& memory, uint64_t size) {
  uint64_t page_size, granularity;
  system_page_info(&page_size, &granularity);
  memory.pages_requested = memory.pages = size / page_size;
  memory.frame_array_bytes = memory.pages * 8;
  memory.aPFNs = static_cast<uint64_t*>(heap_allocate(memory.frame_array_bytes));
  bool allocated = false;
  bool mapped = false;
  void* address = nullptr;
  if (memory.aPFNs) {
    allocated = allocate_user_physical_pages(memory.process, &memory.pages, memory.aPFNs);
    // The range is reserved whatever the allocation gave, as the undo expects.
    address = reserve_physical_range(size);
    mapped = address && map_user_physical_pages(address, memory.pages, memory.aPFNs);
  }
  if (allocated && mapped && memory.pages >= memory.pages_requested) return address;

  uint32_t error = platform::last_error();
  physical_block_figures figures{page_size,
                                 memory.pages_requested,
                                 memory.pages,
                                 memory.frame_array_bytes,
                                 reinterpret_cast<uintptr_t>(memory.aPFNs),
                                 reinterpret_cast<uintptr_t>(address),
                                 allocated,
                                 mapped};
  wchar_t diagnosis[1024];
  if (format_physical_diagnosis(figures, diagnosis, 1024) >= 0) err_printf(standard_stream::error, L"%ls", diagnosis);

  if (address) {
    map_user_physical_pages(address, memory.pages, nullptr);
    release_range(address);
  }
  if (memory.aPFNs) {
    free_user_physical_pages(memory.process, &memory.pages, memory.aPFNs);
    heap_free(memory.aPFNs);
  }
  memory.aPFNs = nullptr;
  set_last_error(error);
  return nullptr;
}

void release_physical_block(work_memory& memory) {
  map_user_physical_pages(memory.base, memory.pages, nullptr);
  release_range(memory.base);
  free_user_physical_pages(memory.process, &memory.pages, memory.aPFNs);
  heap_free(memory.aPFNs);
  memory.aPFNs = nullptr;
  memory.base = nullptr;
}
