#pragma once
// Directory search, one listing per level of a walk.
#include <cstddef>
#include <cstdint>
#include <memory>

#include "platform/handle.h"

namespace platform {

struct find_data {
  uint32_t attributes;
  uint64_t size;
  wchar_t name[260];
};

/// Lists one directory at a time and reports its items in ascending order of
/// their names whatever order the file system keeps (byte order of the names
/// on POSIX, code-point order on Windows), so that a tree gives the same
/// output everywhere. Listers nest like the walk that owns them: a directory
/// that a lister up the parent chain is listing is refused, which stops a
/// link that leads back into the walk.
class directory_lister {
 public:
  /// parent: the lister of the walk level above, or null at the top.
  explicit directory_lister(const directory_lister* parent);
  ~directory_lister();
  directory_lister(const directory_lister&) = delete;
  directory_lister& operator=(const directory_lister&) = delete;

  /// FindFirstFileW: lists the directory of pattern (its last component may
  /// hold * and ?) and gives the first item. False with the last error set;
  /// a directory already listed up the chain fails with the platform's loop
  /// error (ELOOP on POSIX, ERROR_CANT_RESOLVE_FILENAME on Windows).
  bool first(const wchar_t* pattern, find_data* item);
  /// FindNextFileW: false with the last error set (error_no_more_files at the end).
  bool next(find_data* item);
  /// Ends the listing; first may start another.
  void close();

 private:
  struct listing;  // the platform's storage for one listing

  const directory_lister* parent_;
  std::unique_ptr<listing> listing_;
  bool open_ = false;
};

}  // namespace platform
