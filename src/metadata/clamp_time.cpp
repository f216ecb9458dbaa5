#include "metadata/clamp_time.h"

namespace {

// Seconds from 1601-01-01 to 1970-01-01, and to the last second of 9999.
constexpr int64_t seconds_1601_to_1970 = 11644473600;
constexpr int64_t last_second_of_9999 = 253402300799;
constexpr uint64_t ticks_per_second = 10000000;

}  // namespace

bool parse_clamp_time(const wchar_t* text, uint64_t* file_time) {
  bool negative = false;
  if (*text == L'-' || *text == L'+') negative = *text++ == L'-';
  if (*text == 0) return false;
  int64_t seconds = 0;
  for (; *text; ++text) {
    if (*text < L'0' || *text > L'9') return false;
    seconds = seconds * 10 + (*text - L'0');
    if (seconds > last_second_of_9999 + 1) return false;  // stops before any overflow
  }
  if (negative) seconds = -seconds;
  if (seconds < -seconds_1601_to_1970 || seconds > last_second_of_9999) return false;
  *file_time = static_cast<uint64_t>(seconds + seconds_1601_to_1970) * ticks_per_second;
  return true;
}
