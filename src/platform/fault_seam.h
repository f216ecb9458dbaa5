#pragma once
// A seam through which test builds make chosen platform operations fail.
// The tool links fault_seam_none.cpp, where nothing ever fails; the fault
// test build links tests/fault/injecting_seam.cpp instead.
#include <cstdint>

namespace platform::fault {

enum class operation { open, read, write, seek, truncate, list, rename, count };

/// Called by the platform layer before it performs op: 0 to go on, or the
/// error code the operation must fail with.
uint32_t before(operation op);

}  // namespace platform::fault
