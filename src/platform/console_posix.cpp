#include "platform/console.h"

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "platform/files.h"
#include "platform/posix_text.h"

namespace platform {

bool debugger_present() { return false; }

void exit_process(uint32_t code) {
  fflush(nullptr);
  _exit(static_cast<int>(code & 0xFF));
}

bool write_console(standard_stream stream, const wchar_t* text, size_t length) {
  int fd = stream == standard_stream::error ? 2 : 1;
  char bytes[4096];
  bool written = true;
  while (length > 0) {
    size_t piece = std::min<size_t>(length, sizeof bytes / 4);
    long long n = wide_to_utf8(text, piece, bytes, sizeof bytes);
    uint32_t got = 0;
    if (!write_file(fd, bytes, static_cast<uint32_t>(n), &got, nullptr) || got != static_cast<uint32_t>(n))
      written = false;
    text += piece;
    length -= piece;
  }
  return written;
}

void wait_for_console_char() {
  char c;
  (void)!::read(0, &c, 1);
}

system_message::system_message(uint32_t code) : text_(local_) {
  const char* message = strerror(static_cast<int>(code));
  long long n = utf8_to_wide(message, strlen(message), local_, 253);
  if (n < 0) n = 253;
  local_[n] = L'\n';
  local_[n + 1] = 0;
}

system_message::~system_message() = default;

}  // namespace platform
