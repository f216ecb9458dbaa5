#include "platform/cache_files.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

#include "platform/fault_seam.h"
#include "platform/posix_path.h"

namespace platform {

bool create_directory(const wchar_t* name) {
  system_path path(name);
  if (!path.c_str()) return false;
  if (mkdir(path.c_str(), 0777) == 0) return true;
  if (errno != EEXIST) return false;
  struct stat st;
  if (stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) return true;
  errno = ENOTDIR;
  return false;
}

bool replace_file(const wchar_t* from, const wchar_t* to) {
  if (uint32_t injected = fault::before(fault::operation::rename)) {
    errno = static_cast<int>(injected);
    return false;
  }
  system_path from_path(from);
  system_path to_path(to);
  return from_path.c_str() && to_path.c_str() && rename(from_path.c_str(), to_path.c_str()) == 0;
}

bool delete_file(const wchar_t* name) {
  system_path path(name);
  return path.c_str() && unlink(path.c_str()) == 0;
}

}  // namespace platform
