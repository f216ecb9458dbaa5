#include "platform/threads.h"

#include <windows.h>

namespace platform {

static_assert(sizeof(SRWLOCK) <= 64 && sizeof(CONDITION_VARIABLE) <= 64);
static_assert(sizeof(HANDLE) <= sizeof(uintptr_t));

namespace {

SRWLOCK* native(unsigned char* storage) { return reinterpret_cast<SRWLOCK*>(storage); }
CONDITION_VARIABLE* native_condition(unsigned char* storage) {
  return reinterpret_cast<CONDITION_VARIABLE*>(storage);
}

}  // namespace

struct thread_entry {
  static DWORD WINAPI run(void* argument) {
    thread* self = static_cast<thread*>(argument);
    self->function_(self->argument_);
    return 0;
  }
};

unsigned processor_count() {
  // Every processor group's processors; a process that is restricted to
  // some of them by its affinity mask still gets at most that many.
  DWORD_PTR process_mask = 0, system_mask = 0;
  unsigned in_mask = 0;
  if (GetProcessAffinityMask(GetCurrentProcess(), &process_mask, &system_mask))
    for (DWORD_PTR bits = process_mask; bits; bits &= bits - 1) ++in_mask;
  DWORD active = GetActiveProcessorCount(ALL_PROCESSOR_GROUPS);
  if (in_mask > 0 && (active == 0 || in_mask < active)) return in_mask;
  return active > 0 ? active : 1;
}

uint64_t thread_processor_time() {
  FILETIME created, ended, kernel, user;
  if (!GetThreadTimes(GetCurrentThread(), &created, &ended, &kernel, &user)) return 0;
  auto ticks = [](const FILETIME& time) { return static_cast<uint64_t>(time.dwHighDateTime) << 32 | time.dwLowDateTime; };
  return (ticks(kernel) + ticks(user)) * 100;  // 100 ns ticks
}

mutex::mutex() { InitializeSRWLock(native(storage_)); }
mutex::~mutex() = default;
void mutex::lock() { AcquireSRWLockExclusive(native(storage_)); }
void mutex::unlock() { ReleaseSRWLockExclusive(native(storage_)); }

condition::condition() { InitializeConditionVariable(native_condition(storage_)); }
condition::~condition() = default;
void condition::wait(mutex& held) {
  SleepConditionVariableSRW(native_condition(storage_), native(held.storage_), INFINITE, 0);
}
void condition::notify_all() { WakeAllConditionVariable(native_condition(storage_)); }

bool thread::start(void (*function)(void*), void* argument) {
  if (running_) return false;
  function_ = function;
  argument_ = argument;
  HANDLE handle = CreateThread(nullptr, 0, thread_entry::run, this, 0, nullptr);
  if (!handle) return false;
  handle_ = reinterpret_cast<uintptr_t>(handle);
  running_ = true;
  return true;
}

void thread::join() {
  if (!running_) return;
  HANDLE handle = reinterpret_cast<HANDLE>(handle_);
  WaitForSingleObject(handle, INFINITE);
  CloseHandle(handle);
  running_ = false;
}

}  // namespace platform
