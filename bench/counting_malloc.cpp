// A preloaded allocator that counts: LD_PRELOAD it into a server, and each
// SIGUSR1 writes the number of allocations made so far (malloc, calloc,
// realloc, the aligned ones, and operator new, which takes malloc) to the
// file VEX_ALLOCATION_COUNT_FILE names, one line each time. The allocating
// itself is glibc's.
//
//   g++ -shared -fPIC -O2 bench/counting_malloc.cpp -o counting_malloc.so
#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <cstdlib>

extern "C" {
void* __libc_malloc(size_t size);
void* __libc_calloc(size_t count, size_t size);
void* __libc_realloc(void* memory, size_t size);
void* __libc_memalign(size_t alignment, size_t size);
}

namespace {

std::atomic<uint64_t> allocations{0};
int report_file = -1;

void count() { allocations.fetch_add(1, std::memory_order_relaxed); }

// Writes the count and a line break; only calls that a signal handler may make.
void report(int) {
  char text[24];
  size_t at = sizeof text;
  text[--at] = '\n';
  uint64_t value = allocations.load(std::memory_order_relaxed);
  do text[--at] = static_cast<char>('0' + value % 10);
  while ((value /= 10) != 0);
  if (report_file >= 0 && ::write(report_file, text + at, sizeof text - at) < 0) return;
}

__attribute__((constructor)) void start() {
  if (const char* path = std::getenv("VEX_ALLOCATION_COUNT_FILE"))
    report_file = ::open(path, O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
  struct sigaction action {};
  action.sa_handler = report;
  action.sa_flags = SA_RESTART;
  sigaction(SIGUSR1, &action, nullptr);
}

}  // namespace

extern "C" {

void* malloc(size_t size) {
  count();
  return __libc_malloc(size);
}

void* calloc(size_t count_of, size_t size) {
  count();
  return __libc_calloc(count_of, size);
}

void* realloc(void* memory, size_t size) {
  count();
  return __libc_realloc(memory, size);
}

void* memalign(size_t alignment, size_t size) {
  count();
  return __libc_memalign(alignment, size);
}

void* aligned_alloc(size_t alignment, size_t size) {
  count();
  return __libc_memalign(alignment, size);
}

int posix_memalign(void** memory, size_t alignment, size_t size) {
  count();
  *memory = __libc_memalign(alignment, size);
  return *memory ? 0 : 12;  // ENOMEM
}

}  // extern "C"
