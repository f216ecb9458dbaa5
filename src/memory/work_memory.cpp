#include "memory/work_memory.h"

#include <cstring>

#include "memory/physical_memory.h"
#include "support/system_error.h"

using namespace platform;

namespace {
constexpr uint64_t default_page_unit = 0x200000;
}

work_memory::~work_memory() { release_work_memory(*this); }

uint64_t query_page_unit(uint8_t* flag) {
  if (flag) *flag = 0;
  bool available = false;
  uint64_t minimum = large_page_minimum(&available);
  if (!available || minimum == 0) return default_page_unit;
  if (flag) *flag = 1;
  return minimum;
}

int obtain_work_memory(work_memory& memory) {
  memory.unit_count = 6;
  memory.page_unit = query_page_unit(&memory.physical);
  memory.size = memory.unit_count * memory.page_unit;
  memory.process = current_process();
  memory.token = open_process_token(memory.process);

  if (memory.physical) {
    memory.physical = ::enable_lock_memory_privilege(memory.token) == 0;
    // A privilege the account does not hold still "succeeds" and leaves
    // a non-zero last error (not all assigned).
    if (platform::last_error() != 0) memory.physical = 0;
    if (memory.physical) {
      memory.base = allocate_physical_block(memory, memory.size);
      if (!memory.base) {
        memory.physical = 0;
        report_system_error(platform::last_error(),
                            L"!! Failed to allocate physical RAM, the feature will be disabled!");
      }
    }
  }

  if (!memory.physical) {
    set_working_set_size(memory.process, memory.size + 8 * memory.page_unit, memory.size + 8 * memory.page_unit);
    memory.base = aligned_allocate(memory.size, memory.page_unit);
    if (memory.base) {
      memory.locked = lock_memory(memory.base, memory.size);
      if (memory.locked) memset(memory.base, 0, memory.size);
    }
  }

  if (!memory.base) {
    report_system_error(platform::last_error(), L"!! _aligned_malloc() failed to allocate RAM!");
    return -1;
  }
  return 0;
}

int release_work_memory(work_memory& memory) {
  if (!memory.base) return -1;
  memory.size = memory.page_unit * memory.unit_count;
  if (memory.physical || memory.locked) memset(memory.base, 0, memory.size);
  if (memory.physical) {
    release_physical_block(memory);
    return 0;
  }
  if (memory.locked) unlock_memory(memory.base, memory.size);
  aligned_free(memory.base);
  memory.base = nullptr;
  return 0;
}

void reset_work_memory(work_memory& memory) {
  release_work_memory(memory);
  memset(static_cast<void*>(&memory), 0, sizeof memory);
}
