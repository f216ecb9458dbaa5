#pragma once
// Broken-down calendar time of a file time, and the time now.
#include <cstdint>

namespace platform {

struct system_time {
  uint16_t year, month, day_of_week, day, hour, minute, second, milliseconds;
};
/// FileTimeToSystemTime: false for a time at or above 2^63.
bool file_time_to_system_time(uint64_t file_time, system_time* out);
/// The current time as a file time (100 ns since 1601-01-01 UTC).
uint64_t current_file_time();

}  // namespace platform
