#include "platform/posix_path.h"

#include <errno.h>

#include <algorithm>
#include <cwchar>

#include "platform/posix_text.h"

namespace platform {

namespace {

// Room for one path in UTF-8: 65,536 wide characters of up to 4 bytes.
constexpr size_t max_path_bytes = 4 * 65536;

}  // namespace

system_path::system_path(const wchar_t* name) : text_(local_) {
  size_t length = wcslen(name);
  size_t capacity = sizeof local_ - 1;
  if (length * 4 > capacity) {
    capacity = std::min(length * 4, max_path_bytes);
    long_.resize(capacity + 1);
    text_ = long_.data();
  }
  long long n = wide_to_utf8(name, length, text_, capacity);
  if (n < 0) {
    errno = ENAMETOOLONG;
    text_ = nullptr;
    return;
  }
  text_[n] = 0;
  std::replace(text_, text_ + n, '\\', '/');
}

}  // namespace platform
