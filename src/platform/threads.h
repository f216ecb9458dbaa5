#pragma once
// Threads, locks and condition variables: the platform's own (pthreads on
// POSIX, Win32 threads and slim reader/writer locks on Windows), for the
// workers that compress the variants of -x.
#include <cstdint>

namespace platform {

/// The processors this process may run on; at least 1.
unsigned processor_count();

/// The processor time the calling thread has used, in nanoseconds.
uint64_t thread_processor_time();

/// A lock that one thread holds at a time.
class mutex {
 public:
  mutex();
  ~mutex();
  mutex(const mutex&) = delete;
  mutex& operator=(const mutex&) = delete;
  void lock();
  void unlock();

 private:
  friend class condition;
  alignas(16) unsigned char storage_[64];
};

/// Holds a mutex for the life of the object.
class mutex_lock {
 public:
  explicit mutex_lock(mutex& held) : held_(held) { held_.lock(); }
  ~mutex_lock() { held_.unlock(); }
  mutex_lock(const mutex_lock&) = delete;
  mutex_lock& operator=(const mutex_lock&) = delete;

 private:
  mutex& held_;
};

/// A condition variable: wait releases the held mutex while it sleeps and
/// takes it again before it returns (also on a spurious wake-up).
class condition {
 public:
  condition();
  ~condition();
  condition(const condition&) = delete;
  condition& operator=(const condition&) = delete;
  void wait(mutex& held);
  void notify_all();

 private:
  alignas(16) unsigned char storage_[64];
};

/// A thread that runs function(argument) until it returns. The object must
/// stay where it is while the thread runs; join (or the destructor) waits
/// for it.
class thread {
 public:
  thread() = default;
  ~thread() { join(); }
  thread(const thread&) = delete;
  thread& operator=(const thread&) = delete;
  /// False, with the last error set, when the system cannot start it.
  bool start(void (*function)(void*), void* argument);
  void join();

 private:
  void (*function_)(void*) = nullptr;
  void* argument_ = nullptr;
  uintptr_t handle_ = 0;
  bool running_ = false;
  friend struct thread_entry;
};

}  // namespace platform
