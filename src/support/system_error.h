#pragma once
// The report of a failed system call: a line naming what failed, then the
// error code with the system's own text for it.
#include <cstdint>

#include "platform/platform.h"

/// Prints text and a line break (when text is given), then
/// "   ^ERROR: %u, %ls" with the code and the system's message, which brings
/// its own line end. Returns the code.
uint32_t print_system_error(platform::standard_stream stream, uint32_t code, const wchar_t* text = nullptr);

/// The report on standard error, as the memory subsystem gives it.
inline uint32_t report_system_error(uint32_t code, const wchar_t* text) {
  return print_system_error(platform::standard_stream::error, code, text);
}
