#pragma once
// The POSIX side of development mode; included by dev_files.h.
//
// A file is opened once, by a name resolved from a descriptor of the
// tree's root that never leaves the tree, and is then served from that
// descriptor alone. Linux resolves it in the kernel (openat2 with
// RESOLVE_BENEATH); elsewhere, or where a kernel or a seccomp filter
// refuses openat2, a walk of one openat per name with O_NOFOLLOW reads each
// symbolic link itself. Both give the same answers: a relative link is
// followed while it stays inside the tree, an absolute one, or one whose
// ".." climbs above the root, is refused. The open never blocks (a FIFO
// opens at once with O_NONBLOCK, a socket does not open at all), and only
// a descriptor of a regular file is served.
#include <errno.h>
#include <fcntl.h>
#include <limits.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>

#if defined(__linux__) && __has_include(<linux/openat2.h>)
#include <linux/openat2.h>
#include <sys/syscall.h>
#define VEX_DEV_FILES_OPENAT2 1
#endif

#include "vex_resource_builder/live_read.h"

namespace vex_http::dev_platform {

inline constexpr size_t path_capacity = PATH_MAX;

/// Links followed in one path at most, as the Linux kernel counts them.
inline constexpr int link_limit = 40;

/// The flags of the served file's open: reading, never blocking, never
/// becoming a controlling terminal, closed in a child process.
inline constexpr int file_flags = O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC;

/// The flags of a directory passed on the way: found, never read (O_PATH
/// needs search permission only, as the kernel's own walk does).
#ifdef O_PATH
inline constexpr int directory_flags = O_PATH | O_DIRECTORY | O_CLOEXEC;
#else
inline constexpr int directory_flags = O_RDONLY | O_DIRECTORY | O_CLOEXEC;
#endif

/// A descriptor, closed when it goes.
class descriptor {
 public:
  descriptor() = default;
  explicit descriptor(int fd) : fd_(fd) {}
  descriptor(descriptor&& other) noexcept : fd_(other.fd_) { other.fd_ = -1; }
  descriptor& operator=(descriptor&& other) noexcept {
    if (this != &other) {
      reset(other.fd_);
      other.fd_ = -1;
    }
    return *this;
  }
  ~descriptor() { reset(-1); }
  void reset(int fd) {
    if (fd_ >= 0) ::close(fd_);
    fd_ = fd;
  }
  int get() const { return fd_; }

 private:
  int fd_ = -1;
};

/// The open file of one request.
using file = descriptor;

/// The tree: a descriptor of its root directory, and whether the kernel
/// resolves names below it (probed once, when the tree is opened).
struct tree {
  descriptor root;
  bool beneath = false;
};

/// Opens relative (no leading '/') below the directory root with
/// openat2(RESOLVE_BENEATH | RESOLVE_NO_MAGICLINKS): a descriptor, or
/// -errno (-ENOSYS where openat2 is unknown).
inline int open_beneath(int root, const char* relative, int flags) {
#ifdef VEX_DEV_FILES_OPENAT2
  open_how how{};
  how.flags = static_cast<uint64_t>(flags);
  how.resolve = RESOLVE_BENEATH | RESOLVE_NO_MAGICLINKS;
  const long fd = syscall(SYS_openat2, root, relative, &how, sizeof how);
  return fd >= 0 ? static_cast<int>(fd) : -errno;
#else
  (void)root, (void)relative, (void)flags;
  return -ENOSYS;
#endif
}

namespace posix_detail {

// Appends the names of part to out ('/'-separated, out_length long),
// dropping empty ones and "." and taking ".." as a step back; false when
// ".." climbs above the start or out is full. directory says whether the
// last name must be a directory ("x/", "x/.", "x/..").
inline bool append_names(char* out, size_t& out_length, std::string_view part, bool& directory) {
  while (!part.empty()) {
    const size_t end = part.find('/');
    const std::string_view name = part.substr(0, end);
    part.remove_prefix(end == std::string_view::npos ? part.size() : end + 1);
    directory = end != std::string_view::npos || name == "." || name == "..";
    if (name.empty() || name == ".") continue;
    if (name == "..") {
      if (out_length == 0) return false;
      while (out_length > 0 && out[out_length - 1] != '/') --out_length;
      if (out_length > 0) --out_length;
      continue;
    }
    if (out_length + 1 + name.size() >= path_capacity) return false;
    if (out_length > 0) out[out_length++] = '/';
    std::memcpy(out + out_length, name.data(), name.size());
    out_length += name.size();
  }
  out[out_length] = 0;
  return true;
}

// The path of names that replaces path once its name [start, end) turned
// out to be a link to target: the names before it, the target, the rest.
// -EXDEV when the result would leave the tree. A link that was the last
// name passes on whether it must lead to a directory ("x/").
inline int replace_link(char (&path)[path_capacity], size_t start, size_t end, std::string_view target,
                        bool& directory) {
  if (target.empty()) return -ENOENT;
  if (target[0] == '/') return -EXDEV;
  char joined[path_capacity];
  size_t length = 0;
  const std::string_view whole(path);
  bool target_directory = false, ignored = false;
  if (!append_names(joined, length, whole.substr(0, start), ignored) ||
      !append_names(joined, length, target, target_directory) ||
      !append_names(joined, length, whole.substr(end), ignored))
    return -EXDEV;
  if (end == whole.size()) directory = directory || target_directory;
  std::memcpy(path, joined, length + 1);
  return 0;
}

}  // namespace posix_detail

/// Opens relative below the directory root as open_beneath does, by a walk
/// of one openat per name with O_NOFOLLOW: a link met on the way is read
/// and its target put in its place, and the walk starts again from the
/// root. A descriptor, or -errno as openat2 would say it (-EXDEV for a way
/// out of the tree, -ELOOP past link_limit links).
inline int open_by_walk(int root, const char* relative, int flags) {
  char path[path_capacity];
  size_t length = 0;
  bool directory = false;
  if (!posix_detail::append_names(path, length, relative, directory)) return -EXDEV;
  for (int links = 0; links <= link_limit; ++links) {
    descriptor at;
    size_t start = 0;
    while (true) {
      const char* name_end = std::strchr(path + start, '/');
      const size_t end = name_end ? static_cast<size_t>(name_end - path) : std::strlen(path);
      const bool last = name_end == nullptr;
      char name[NAME_MAX + 1];
      if (end - start > NAME_MAX) return -ENAMETOOLONG;
      std::memcpy(name, path + start, end - start);
      name[end - start] = 0;
      const int from = at.get() >= 0 ? at.get() : root;
      const int next_flags = last ? flags | (directory ? O_DIRECTORY : 0) : directory_flags;
      const int next = end == start ? ::openat(from, ".", next_flags)  // the root itself
                                    : ::openat(from, name, next_flags | O_NOFOLLOW);
      if (next >= 0) {
        if (last) return next;
        at.reset(next);
        start = end + 1;
        continue;
      }
      // O_NOFOLLOW meeting a link says ELOOP, or ENOTDIR with O_DIRECTORY.
      const int error = errno;
      char target[path_capacity];
      const ssize_t count = error == ELOOP || error == ENOTDIR ? ::readlinkat(from, name, target, sizeof target) : -1;
      if (count < 0) return -error;
      if (count >= static_cast<ssize_t>(sizeof target)) return -ENAMETOOLONG;
      const std::string_view link(target, static_cast<size_t>(count));
      const int replaced = posix_detail::replace_link(path, start, end, link, directory);
      if (replaced < 0) return replaced;
      break;
    }
  }
  return -ELOOP;
}

inline bool open_tree(tree& into, const char* root) {
  into.root.reset(::open(root, directory_flags));
  if (into.root.get() < 0) return false;
  descriptor probe(open_beneath(into.root.get(), ".", directory_flags));
  into.beneath = probe.get() >= 0;
  return true;
}

/// Opens the file at relative (below the root, '/'-separated) into file:
/// its size and date when it is a regular file inside the tree.
inline live_read open_inside(const tree& from, const char* relative, file& into) {
  int fd = -ENOSYS;
  // openat2 says EAGAIN when a rename meanwhile kept it from proving that a
  // ".." stayed inside; the walk answers then, and where openat2 is refused.
  if (from.beneath) {
    fd = open_beneath(from.root.get(), relative, file_flags);
    for (int retry = 0; fd == -EAGAIN && retry < 3; ++retry) fd = open_beneath(from.root.get(), relative, file_flags);
  }
  if (fd == -EAGAIN || fd == -ENOSYS || fd == -EPERM) fd = open_by_walk(from.root.get(), relative, file_flags);
  if (fd < 0) return {fd == -EXDEV || fd == -ELOOP ? live_read::refused : live_read::missing, 0, 0};
  into.reset(fd);
  struct stat info {};
  if (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) return {live_read::refused, 0, 0};
  // A regular file reads the same either way; plain reads then need no retry.
  const int status_flags = fcntl(fd, F_GETFL);
  if (status_flags >= 0) fcntl(fd, F_SETFL, status_flags & ~O_NONBLOCK);
  return {live_read::ok, static_cast<uint64_t>(info.st_size), static_cast<int64_t>(info.st_mtime)};
}

/// Reads up to size bytes of file at its current offset: how many, 0 at
/// its end, -1 on an error.
inline int64_t read_some(file& from, char* buffer, uint64_t size) {
  constexpr uint64_t chunk = 1u << 30;
  while (true) {
    const ssize_t count = ::read(from.get(), buffer, size < chunk ? size : chunk);
    if (count >= 0 || errno != EINTR) return count;
  }
}

}  // namespace vex_http::dev_platform
