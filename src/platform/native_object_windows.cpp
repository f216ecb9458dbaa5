#include "platform/native_object.h"

namespace platform {

const wchar_t* native_object_format() {
#if defined(_M_ARM64) || defined(__aarch64__)
  return L"coff-arm64";
#elif defined(_M_X64) || defined(__x86_64__)
  return L"coff-x86-64";
#else
  return nullptr;
#endif
}

}  // namespace platform
