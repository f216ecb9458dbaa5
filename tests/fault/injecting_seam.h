#pragma once
// What the injecting fault seam needs from the system it runs on.
#include <cstdio>

namespace platform::fault {

/// Remembers the descriptors open before the first operation.
void note_inherited_descriptors();
/// Writes "leaked <descriptor> <file>" to report for every descriptor opened
/// since and still open; nothing where the system cannot list them.
void report_leaked_descriptors(FILE* report);
/// Stops the process until it is continued; false where it cannot.
bool stop_process();

}  // namespace platform::fault
