#include "platform/threads.h"

#include <pthread.h>
#include <sched.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>

namespace platform {

static_assert(sizeof(pthread_mutex_t) <= 64 && alignof(pthread_mutex_t) <= 16);
static_assert(sizeof(pthread_cond_t) <= 64 && alignof(pthread_cond_t) <= 16);
static_assert(sizeof(pthread_t) <= sizeof(uintptr_t));

namespace {

pthread_mutex_t* native(unsigned char* storage) { return reinterpret_cast<pthread_mutex_t*>(storage); }
pthread_cond_t* native_condition(unsigned char* storage) { return reinterpret_cast<pthread_cond_t*>(storage); }

}  // namespace

struct thread_entry {
  static void* run(void* argument) {
    thread* self = static_cast<thread*>(argument);
    self->function_(self->argument_);
    return nullptr;
  }
};

unsigned processor_count() {
  // The processors this process may use (taskset, cgroup cpusets), not all
  // the machine has.
  cpu_set_t set;
  if (sched_getaffinity(0, sizeof set, &set) == 0) {
    int count = CPU_COUNT(&set);
    if (count > 0) return static_cast<unsigned>(count);
  }
  long online = sysconf(_SC_NPROCESSORS_ONLN);
  return online > 0 ? static_cast<unsigned>(online) : 1;
}

uint64_t thread_processor_time() {
  timespec used{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &used);
  return static_cast<uint64_t>(used.tv_sec) * 1000000000u + static_cast<uint64_t>(used.tv_nsec);
}

mutex::mutex() { pthread_mutex_init(native(storage_), nullptr); }
mutex::~mutex() { pthread_mutex_destroy(native(storage_)); }
void mutex::lock() { pthread_mutex_lock(native(storage_)); }
void mutex::unlock() { pthread_mutex_unlock(native(storage_)); }

condition::condition() { pthread_cond_init(native_condition(storage_), nullptr); }
condition::~condition() { pthread_cond_destroy(native_condition(storage_)); }
void condition::wait(mutex& held) { pthread_cond_wait(native_condition(storage_), native(held.storage_)); }
void condition::notify_all() { pthread_cond_broadcast(native_condition(storage_)); }

bool thread::start(void (*function)(void*), void* argument) {
  if (running_) return false;
  function_ = function;
  argument_ = argument;
  pthread_t id;
  int error = pthread_create(&id, nullptr, thread_entry::run, this);
  if (error != 0) {
    errno = error;
    return false;
  }
  handle_ = static_cast<uintptr_t>(id);
  running_ = true;
  return true;
}

void thread::join() {
  if (!running_) return;
  pthread_join(static_cast<pthread_t>(handle_), nullptr);
  running_ = false;
}

}  // namespace platform
