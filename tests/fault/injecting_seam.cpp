// The fault seam of the fault test build. VEX_FAULT lists the faults as
// "operation:n:action" items separated by commas: the n-th call (from 1) of
// the operation (open, read, write, seek, truncate, list, rename) fails with the
// error code action (errno on POSIX, a Win32 code on Windows), or with action "stop" the process stops itself
// (SIGSTOP; not on Windows) there and goes on normally once continued. When
// VEX_FAULT_REPORT names a file, the process writes into it at exit how often
// each operation was called and, on POSIX, every file descriptor still open
// that was not open before the first operation.
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "fault/injecting_seam.h"
#include "platform/fault_seam.h"

namespace platform::fault {
namespace {

constexpr const char* operation_names[] = {"open", "read", "write", "seek", "truncate", "list", "rename"};
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
};
seam_state state;

int operation_number(const char* name, size_t length) {
  for (int i = 0; i < operation_count; ++i)
    if (strlen(operation_names[i]) == length && strncmp(operation_names[i], name, length) == 0) return i;
  return -1;
}

void write_report() {
  const char* path = getenv("VEX_FAULT_REPORT");
  if (!path) return;
  FILE* report = fopen(path, "w");
  if (!report) return;
  for (int i = 0; i < operation_count; ++i) fprintf(report, "%s %lu\n", operation_names[i], state.calls[i]);
  report_leaked_descriptors(report);
  fclose(report);
}

void read_plan() {
  state.ready = true;
  note_inherited_descriptors();
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
      stop_process();
      return 0;
    }
    return static_cast<uint32_t>(fault.action);
  }
  return 0;
}

}  // namespace platform::fault
