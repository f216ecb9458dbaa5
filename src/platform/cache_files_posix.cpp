#include "platform/cache_files.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "platform/fault_seam.h"
#include "platform/posix_path.h"
#include "platform/posix_text.h"

namespace platform {

namespace {

// Seconds between 1601-01-01 and 1970-01-01.
constexpr uint64_t epoch_difference = 11644473600u;

bool make_directory(const char* path) {
  if (mkdir(path, 0777) == 0) return true;
  if (errno != EEXIST) return false;
  struct stat st;
  if (stat(path, &st) == 0 && S_ISDIR(st.st_mode)) return true;
  errno = ENOTDIR;
  return false;
}

}  // namespace

bool create_directories(const wchar_t* name) {
  system_path path(name);
  char* text = path.c_str();
  if (!text) return false;
  if (make_directory(text)) return true;
  if (errno != ENOENT) return false;
  // Make each missing parent, from the top down.
  for (char* at = text + 1; *at; ++at) {
    if (*at != '/') continue;
    *at = 0;
    bool made = make_directory(text) || errno == EACCES;  // a parent we may not create may still exist
    *at = '/';
    if (!made) return false;
  }
  return make_directory(text);
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

bool touch_file(const wchar_t* name) {
  system_path path(name);
  return path.c_str() && utimensat(AT_FDCWD, path.c_str(), nullptr, 0) == 0;
}

bool list_files(const wchar_t* directory, std::vector<directory_file>& files) {
  system_path path(directory);
  if (!path.c_str()) return false;
  DIR* listing = opendir(path.c_str());
  if (!listing) return false;
  int fd = dirfd(listing);
  while (dirent* entry = readdir(listing)) {
    struct stat st;
    if (fstatat(fd, entry->d_name, &st, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISREG(st.st_mode)) continue;
    size_t length = strlen(entry->d_name);
    directory_file file{std::wstring(length, L'\0'), static_cast<uint64_t>(st.st_size),
                        (static_cast<uint64_t>(st.st_mtim.tv_sec) + epoch_difference) * 10000000u +
                            static_cast<uint64_t>(st.st_mtim.tv_nsec) / 100u};
    long long characters = utf8_to_wide(entry->d_name, length, file.name.data(), length);
    file.name.resize(characters < 0 ? 0 : static_cast<size_t>(characters));
    files.push_back(std::move(file));
  }
  closedir(listing);
  return true;
}

bool file_lock::try_lock(const wchar_t* name) {
  unlock();
  system_path path(name);
  if (!path.c_str()) return false;
  int fd = open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
  if (fd == -1) return false;
  // A record lock, which network file systems support too; the system
  // drops it when the process ends.
  struct flock whole {};
  whole.l_type = F_WRLCK;
  whole.l_whence = SEEK_SET;
  if (fcntl(fd, F_SETLK, &whole) == -1) {
    int error = errno;
    close(fd);
    errno = error;
    return false;
  }
  handle_ = fd;
  return true;
}

void file_lock::unlock() {
  if (handle_ == invalid_handle) return;
  close(static_cast<int>(handle_));
  handle_ = invalid_handle;
}

}  // namespace platform
