#include "platform/native_object.h"

namespace platform {

const wchar_t* native_object_format() {
#if defined(__APPLE__) && defined(__aarch64__)
  return L"macho-arm64";
#elif defined(__APPLE__) && defined(__x86_64__)
  return L"macho-x86-64";
#elif defined(__ELF__) && defined(__aarch64__)
  return L"elf-arm64";
#elif defined(__ELF__) && defined(__x86_64__)
  return L"elf-x86-64";
#else
  return nullptr;
#endif
}

}  // namespace platform
