#pragma once
// A wide name made into a path for a POSIX system call.
#include <cstddef>
#include <vector>

namespace platform {

/// The name in UTF-8 with backslashes turned into slashes: a backslash is a
/// separator for the rest of the tool, so that one source tree behaves the
/// same on every platform. Short names stay on the stack.
class system_path {
 public:
  explicit system_path(const wchar_t* name);
  system_path(const system_path&) = delete;
  system_path& operator=(const system_path&) = delete;
  /// The path, or null (errno ENAMETOOLONG) when it is longer than any path
  /// the tool handles.
  char* c_str() { return text_; }

 private:
  char local_[1024];
  std::vector<char> long_;
  char* text_;
};

}  // namespace platform
