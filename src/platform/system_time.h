#pragma once
// Broken-down calendar time of a file time.
#include <cstdint>

namespace platform {

struct system_time {
  uint16_t year, month, day_of_week, day, hour, minute, second, milliseconds;
};
/// FileTimeToSystemTime: false for a time at or above 2^63.
bool file_time_to_system_time(uint64_t file_time, system_time* out);

}  // namespace platform
