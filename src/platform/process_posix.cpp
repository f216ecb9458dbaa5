#include "platform/process.h"

#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <cwchar>

#include "platform/posix_text.h"

namespace platform {

bool environment_variable(const wchar_t* name, std::wstring& value) {
  char narrow[256];
  long long length = wide_to_utf8(name, wcslen(name), narrow, sizeof narrow - 1);
  if (length < 0) return false;
  narrow[length] = 0;
  const char* text = getenv(narrow);
  if (!text) return false;
  size_t bytes = strlen(text);
  value.assign(bytes, L'\0');
  long long characters = utf8_to_wide(text, bytes, value.data(), value.size());
  value.resize(characters < 0 ? 0 : static_cast<size_t>(characters));
  return true;
}

uint32_t process_id() { return static_cast<uint32_t>(getpid()); }

}  // namespace platform
