#pragma once
// The POSIX side of development mode; included by dev_files.h.
#include <fcntl.h>
#include <limits.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "vex_resource_builder/live_read.h"

namespace vex_http::dev_platform {

inline constexpr size_t path_capacity = PATH_MAX;

/// The tree's real path, without symbolic links.
struct tree {
  char root[PATH_MAX] = {};
  size_t length = 0;
};

inline bool open_tree(tree& into, const char* root) {
  struct stat info {};
  if (!realpath(root, into.root) || stat(into.root, &info) != 0 || !S_ISDIR(info.st_mode)) return false;
  into.length = std::strlen(into.root);
  if (into.length == 1) into.length = 0;  // "/": every path below it starts with "/"
  return true;
}

/// Reads the regular file at relative (below the root, '/'-separated) when
/// its real path, links resolved, lies inside the tree.
inline live_read read_inside(const tree& from, const char* relative, char* buffer, size_t capacity) {
  char joined[PATH_MAX];
  char real[PATH_MAX];
  const size_t relative_length = std::strlen(relative);
  if (from.length + 1 + relative_length >= sizeof joined) return {live_read::missing, 0, 0};
  std::memcpy(joined, from.root, from.length);
  joined[from.length] = '/';
  std::memcpy(joined + from.length + 1, relative, relative_length + 1);
  if (!realpath(joined, real)) return {live_read::missing, 0, 0};
  if (std::strncmp(real, from.root, from.length) != 0 || real[from.length] != '/') return {live_read::refused, 0, 0};

  const int file = ::open(real, O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
  if (file < 0) return {live_read::missing, 0, 0};
  struct stat info {};
  live_read result{live_read::refused, 0, 0};
  if (fstat(file, &info) == 0 && S_ISREG(info.st_mode)) {
    result = {live_read::ok, static_cast<uint64_t>(info.st_size), static_cast<int64_t>(info.st_mtime)};
    if (result.size > capacity) {
      result.status = live_read::too_small;
    } else {
      uint64_t done = 0;
      while (done < result.size) {
        const ssize_t count = ::read(file, buffer + done, result.size - done);
        if (count < 0) {
          result.status = live_read::missing;
          break;
        }
        if (count == 0) break;  // the file shrank meanwhile: serve what is there
        done += static_cast<uint64_t>(count);
      }
      result.size = done;
    }
  }
  ::close(file);
  return result;
}

}  // namespace vex_http::dev_platform
