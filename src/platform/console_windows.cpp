#include "platform/console.h"

#include <windows.h>

#include "platform/windows_handle.h"

namespace platform {

bool debugger_present() { return IsDebuggerPresent() != 0; }

void exit_process(uint32_t code) { ExitProcess(code); }

bool write_console(standard_stream stream, const wchar_t* text, size_t length) {
  HANDLE h = GetStdHandle(standard_id(stream));
  if (h == nullptr || h == INVALID_HANDLE_VALUE) return true;  // no console: nothing to write to
  DWORD mode;
  if (GetConsoleMode(h, &mode)) {
    while (length > 0) {
      DWORD piece = static_cast<DWORD>(length > 8192 ? 8192 : length);
      DWORD done = 0;
      if (!WriteConsoleW(h, text, piece, &done, nullptr)) return false;
      text += piece;
      length -= piece;
    }
    return true;
  }
  // Redirected: UTF-8, converted in pieces that keep surrogate pairs whole.
  char bytes[4 * 1024 + 16];
  bool written = true;
  while (length > 0) {
    size_t piece = length > 1024 ? 1024 : length;
    if (piece < length && text[piece - 1] >= 0xD800 && text[piece - 1] <= 0xDBFF) --piece;
    int n = WideCharToMultiByte(CP_UTF8, 0, text, static_cast<int>(piece), bytes, sizeof bytes, nullptr, nullptr);
    DWORD done = 0;
    if (n > 0 && (!WriteFile(h, bytes, static_cast<DWORD>(n), &done, nullptr) || done != static_cast<DWORD>(n)))
      written = false;
    text += piece;
    length -= piece;
  }
  return written;
}

void wait_for_console_char() {
  wchar_t c;
  DWORD got = 0;
  ReadConsoleW(GetStdHandle(STD_INPUT_HANDLE), &c, 1, &got, nullptr);
}

system_message::system_message(uint32_t code) : text_(nullptr) {
  local_[0] = 0;
  DWORD n = FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS | FORMAT_MESSAGE_ALLOCATE_BUFFER,
                           nullptr, code, MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT),
                           reinterpret_cast<LPWSTR>(&text_), 0, nullptr);
  if (n == 0 || !text_) {
    text_ = nullptr;
    local_[0] = L'\n';
    local_[1] = 0;
  }
}

system_message::~system_message() {
  if (text_) LocalFree(text_);
}

}  // namespace platform
