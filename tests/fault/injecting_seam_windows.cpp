#include "fault/injecting_seam.h"

namespace platform::fault {

// Windows has no listing of a process's own handles that the tests could
// compare, and no signal that stops a process until it is continued.
void note_inherited_descriptors() {}
void report_leaked_descriptors(FILE*) {}

bool stop_process() {
  fprintf(stderr, "VEX_FAULT: the stop action is not available on Windows\n");
  return false;
}

}  // namespace platform::fault
