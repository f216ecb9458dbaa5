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

}  // namespace platform
