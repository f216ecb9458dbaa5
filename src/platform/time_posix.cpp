#include "platform/system_time.h"

#include <time.h>

#include <algorithm>

namespace platform {

bool file_time_to_system_time(uint64_t file_time, system_time* out) {
  if (file_time >= (uint64_t{1} << 63)) return false;
  uint64_t milliseconds = (file_time / 10000u) % 1000u;
  uint64_t seconds = file_time / 10000000u;
  uint64_t days = seconds / 86400u;
  uint64_t in_day = seconds % 86400u;
  // Days since 1601-01-01, a Monday and the start of a 400-year cycle.
  uint64_t cycles = days / 146097u;
  uint64_t day_of_cycle = days % 146097u;
  uint64_t centuries = std::min<uint64_t>(day_of_cycle / 36524u, 3);
  uint64_t day_of_century = day_of_cycle - centuries * 36524u;
  uint64_t quads = day_of_century / 1461u;
  uint64_t day_of_quad = day_of_century % 1461u;
  uint64_t years_in_quad = std::min<uint64_t>(day_of_quad / 365u, 3);
  uint64_t day_of_year = day_of_quad - years_in_quad * 365u;
  uint64_t year = 1601 + cycles * 400 + centuries * 100 + quads * 4 + years_in_quad;
  bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
  static const uint16_t month_starts[2][13] = {
      {0, 31, 59, 90, 120, 151, 181, 212, 243, 273, 304, 334, 365},
      {0, 31, 60, 91, 121, 152, 182, 213, 244, 274, 305, 335, 366}};
  unsigned month = 0;
  while (day_of_year >= month_starts[leap][month + 1]) ++month;
  out->year = static_cast<uint16_t>(year);
  out->month = static_cast<uint16_t>(month + 1);
  out->day = static_cast<uint16_t>(day_of_year - month_starts[leap][month] + 1);
  out->day_of_week = static_cast<uint16_t>((days + 1) % 7);
  out->hour = static_cast<uint16_t>(in_day / 3600u);
  out->minute = static_cast<uint16_t>(in_day / 60u % 60u);
  out->second = static_cast<uint16_t>(in_day % 60u);
  out->milliseconds = static_cast<uint16_t>(milliseconds);
  return true;
}

uint64_t current_file_time() {
  timespec now{};
  clock_gettime(CLOCK_REALTIME, &now);
  return (static_cast<uint64_t>(now.tv_sec) + 11644473600u) * 10000000u + static_cast<uint64_t>(now.tv_nsec) / 100u;
}

}  // namespace platform
