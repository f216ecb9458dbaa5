#include "platform/process.h"

#include <windows.h>

namespace platform {

bool environment_variable(const wchar_t* name, std::wstring& value) {
  DWORD needed = GetEnvironmentVariableW(name, nullptr, 0);
  if (needed == 0) return false;
  value.assign(needed, L'\0');
  DWORD length = GetEnvironmentVariableW(name, value.data(), needed);
  if (length == 0 && GetLastError() == ERROR_ENVVAR_NOT_FOUND) return false;
  value.resize(length < needed ? length : 0);
  return true;
}

uint32_t process_id() { return GetCurrentProcessId(); }

}  // namespace platform
