#include "platform/system_time.h"

#include <windows.h>

namespace platform {

bool file_time_to_system_time(uint64_t file_time, system_time* out) {
  FILETIME ft;
  ft.dwLowDateTime = static_cast<DWORD>(file_time);
  ft.dwHighDateTime = static_cast<DWORD>(file_time >> 32);
  SYSTEMTIME st;
  if (!FileTimeToSystemTime(&ft, &st)) return false;
  *out = system_time{st.wYear, st.wMonth, st.wDayOfWeek, st.wDay, st.wHour, st.wMinute, st.wSecond, st.wMilliseconds};
  return true;
}

uint64_t current_file_time() {
  FILETIME now;
  GetSystemTimeAsFileTime(&now);
  return static_cast<uint64_t>(now.dwHighDateTime) << 32 | now.dwLowDateTime;
}

}  // namespace platform
