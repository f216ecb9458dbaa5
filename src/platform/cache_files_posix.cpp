#include "platform/cache_files.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cwchar>

#include "platform/posix_text.h"

namespace platform {
namespace {

constexpr size_t name_bytes = 4096;

// The UTF-8 name with backslashes as separators, as every other file name
// of the tool; false (ENAMETOOLONG) when it does not fit.
bool to_system_name(const wchar_t* name, char* out) {
  long long n = wide_to_utf8(name, wcslen(name), out, name_bytes - 1);
  if (n < 0) {
    errno = ENAMETOOLONG;
    return false;
  }
  out[n] = 0;
  for (long long i = 0; i < n; ++i)
    if (out[i] == '\\') out[i] = '/';
  return true;
}

}  // namespace

bool create_directory(const wchar_t* name) {
  char path[name_bytes];
  if (!to_system_name(name, path)) return false;
  if (mkdir(path, 0777) == 0) return true;
  if (errno != EEXIST) return false;
  struct stat st;
  if (stat(path, &st) == 0 && S_ISDIR(st.st_mode)) return true;
  errno = ENOTDIR;
  return false;
}

bool replace_file(const wchar_t* from, const wchar_t* to) {
  char from_path[name_bytes];
  char to_path[name_bytes];
  return to_system_name(from, from_path) && to_system_name(to, to_path) && rename(from_path, to_path) == 0;
}

bool delete_file(const wchar_t* name) {
  char path[name_bytes];
  return to_system_name(name, path) && unlink(path) == 0;
}

}  // namespace platform
