// The fault seam of the fault test build. VEX_FAULT lists the faults as
// "operation:n:action" items separated by commas: the n-th call (from 1) of
// the operation (open, read, write, seek, truncate, list) fails with the
// errno number action, or with action "stop" the process stops itself
// (SIGSTOP) there and goes on normally once continued. When VEX_FAULT_REPORT
// names a file, the process writes into it at exit how often each operation
// was called and every file descriptor still open that was not open before the first
// operation.
#include <dirent.h>
#include <signal.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/fault_seam.h"

namespace platform::fault {
namespace {

constexpr const char* operation_names[] = {"open", "read", "write", "seek", "truncate", "list"};
constexpr int operation_count = static_cast<int>(operation::count);
constexpr int stop_action = -1;

struct planned_fault {
  int operation;
  unsigned long call;
  int action;
};

struct seam_state {
  bool ready = false;
  planned_fault faults[16];
  int fault_count = 0;
  unsigned long calls[operation_count] = {};
  bool inherited[1024] = {};  // descriptors open before the first operation
};
seam_state state;

int operation_number(const char* name, size_t length) {
  for (int i = 0; i < operation_count; ++i)
    if (strlen(operation_names[i]) == length && strncmp(operation_names[i], name, length) == 0) return i;
  return -1;
}

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

void write_report() {
  const char* path = getenv("VEX_FAULT_REPORT");
  if (!path) return;
  FILE* report = fopen(path, "w");
  if (!report) return;
  int own = fileno(report);
  for (int i = 0; i < operation_count; ++i) fprintf(report, "%s %lu\n", operation_names[i], state.calls[i]);
  for_each_descriptor([&](int fd) {
    if (fd == own || (fd >= 0 && fd < 1024 && state.inherited[fd])) return;
    char link[512] = {};
    char where[64];
    snprintf(where, sizeof where, "/proc/self/fd/%d", fd);
    ssize_t n = readlink(where, link, sizeof link - 1);
    fprintf(report, "leaked %d %s\n", fd, n > 0 ? link : "?");
  });
  fclose(report);
}

void read_plan() {
  state.ready = true;
  for_each_descriptor([](int fd) {
    if (fd >= 0 && fd < 1024) state.inherited[fd] = true;
  });
  atexit(write_report);
  const char* plan = getenv("VEX_FAULT");
  while (plan && *plan && state.fault_count < 16) {
    const char* colon = strchr(plan, ':');
    if (!colon) break;
    int op = operation_number(plan, static_cast<size_t>(colon - plan));
    char* end = nullptr;
    unsigned long call = strtoul(colon + 1, &end, 10);
    if (op < 0 || *end != ':') break;
    const char* action = end + 1;
    int code = strncmp(action, "stop", 4) == 0 ? stop_action : atoi(action);
    state.faults[state.fault_count++] = {op, call, code};
    plan = strchr(action, ',');
    if (plan) ++plan;
  }
}

}  // namespace

uint32_t before(operation op) {
  if (!state.ready) read_plan();
  int number = static_cast<int>(op);
  unsigned long call = ++state.calls[number];
  for (int i = 0; i < state.fault_count; ++i) {
    const planned_fault& fault = state.faults[i];
    if (fault.operation != number || fault.call != call) continue;
    if (fault.action == stop_action) {
      raise(SIGSTOP);
      return 0;
    }
    return static_cast<uint32_t>(fault.action);
  }
  return 0;
}

}  // namespace platform::fault
