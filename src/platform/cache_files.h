#pragma once
// The directory operations of the variant cache and the object file: making
// a directory, putting a finished file under its name in one step, removing
// one, and keeping the cache within a size (listing entries with their
// times, marking an entry as used, and a lock that one run at a time holds
// while it removes).
#include <cstdint>
#include <string>
#include <vector>

#include "platform/handle.h"

namespace platform {

/// Creates the directory and any missing parents; true when it exists
/// afterwards (made now or before).
bool create_directories(const wchar_t* name);

/// Renames from to to, replacing a file named to in one step, so that a
/// reader sees the old file or the new one, never a part. False with the
/// last error set.
bool replace_file(const wchar_t* from, const wchar_t* to);

/// Deletes the file; false with the last error set.
bool delete_file(const wchar_t* name);

/// Sets the file's last-write time to now; false with the last error set.
bool touch_file(const wchar_t* name);

/// A regular file of a directory: its name (without the directory), size
/// and last-write time (100 ns since 1601).
struct directory_file {
  std::wstring name;
  uint64_t size;
  uint64_t write_time;
};

/// The regular files of the directory, in no particular order; false with
/// the last error set when it cannot be listed.
bool list_files(const wchar_t* directory, std::vector<directory_file>& files);

/// An exclusive lock on a file (created when missing) that the system
/// releases when its holder ends, however it ends, so a killed run never
/// leaves it held.
class file_lock {
 public:
  file_lock() = default;
  ~file_lock() { unlock(); }
  file_lock(const file_lock&) = delete;
  file_lock& operator=(const file_lock&) = delete;
  /// Takes the lock without waiting; false when another holds it or the
  /// file cannot be opened (last error set).
  bool try_lock(const wchar_t* name);
  void unlock();

 private:
  os_handle handle_ = invalid_handle;
};

}  // namespace platform
