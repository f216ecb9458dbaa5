#pragma once
// The process, its console and the system's error texts.
#include <cstddef>
#include <cstdint>

#include "platform/handle.h"

namespace platform {

bool debugger_present();
[[noreturn]] void exit_process(uint32_t code);
/// Writes wide text to the console stream as the platform shows it; false
/// when a write failed (a full disk, a closed pipe), and the error is then
/// the system's last error.
bool write_console(standard_stream stream, const wchar_t* text, size_t length);
/// Waits for one character from standard input.
void wait_for_console_char();

/// The system's message text for an error code, with its own line end.
class system_message {
 public:
  explicit system_message(uint32_t code);
  ~system_message();
  system_message(const system_message&) = delete;
  system_message& operator=(const system_message&) = delete;
  const wchar_t* text() const { return text_ ? text_ : local_; }

 private:
  wchar_t* text_;
  wchar_t local_[256];
};

}  // namespace platform
