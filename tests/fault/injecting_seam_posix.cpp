#include <dirent.h>
#include <signal.h>
#include <unistd.h>

#include <cstdlib>

#include "fault/injecting_seam.h"

namespace platform::fault {
namespace {

bool inherited[1024] = {};

// Calls f with every open descriptor but the listing's own.
template <typename F>
void for_each_descriptor(F f) {
  DIR* fds = opendir("/proc/self/fd");
  if (!fds) return;
  int listing = dirfd(fds);
  while (dirent* entry = readdir(fds)) {
    int fd = atoi(entry->d_name);
    if (entry->d_name[0] != '.' && fd != listing) f(fd);
  }
  closedir(fds);
}

}  // namespace

void note_inherited_descriptors() {
  for_each_descriptor([](int fd) {
    if (fd >= 0 && fd < 1024) inherited[fd] = true;
  });
}

void report_leaked_descriptors(FILE* report) {
  int own = fileno(report);
  for_each_descriptor([&](int fd) {
    if (fd == own || (fd >= 0 && fd < 1024 && inherited[fd])) return;
    char link[512] = {};
    char where[64];
    snprintf(where, sizeof where, "/proc/self/fd/%d", fd);
    ssize_t n = readlink(where, link, sizeof link - 1);
    fprintf(report, "leaked %d %s\n", fd, n > 0 ? link : "?");
  });
}

bool stop_process() { return raise(SIGSTOP) == 0; }

}  // namespace platform::fault
