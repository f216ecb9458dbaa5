#pragma once
// The outcome of reading a live file in development mode.
#include <cstdint>

namespace vex_http {

/// A live file read, or why not.
struct live_read {
  enum status_type {
    ok,       ///< the file's size bytes were read
    missing,  ///< no such file, or it cannot be read
    refused,  ///< outside the tree, not a regular file, or a name never embedded
  } status;
  uint64_t size;
  int64_t modified;  ///< seconds since 1970
};

}  // namespace vex_http
