#pragma once
// printf-style formatting with the same meaning on every platform.
//
// Conversions: d i u x X o c s p %, flags - + blank # 0, width and precision
// (digits or *), size prefixes hh h l ll z j t I I32 I64 (I is pointer
// width). Strings and characters follow the Windows convention: in a narrow
// format %s and %hs take narrow text and %ls wide text; in a wide format %s
// and %ls take wide text and %hs narrow text; %lc is a wide character, %hc a
// narrow one. Wide text becomes narrow one character per byte: U+0000 to
// U+00FF give the byte of the same value, anything else fails the call.
// Narrow text becomes wide the same way. Nothing is allocated.
#include <cstdarg>
#include <cstdint>

#include "platform/platform.h"

/// Formats into buffer (capacity bytes, terminator included). Returns the
/// length without the terminator, or -1 when a character cannot be made
/// narrow or the text and its terminator do not fit.
int format_text(char* buffer, uint64_t capacity, const char* format, ...);

/// format_text with the arguments in a va_list.
int vformat_text(char* buffer, uint64_t capacity, const char* format, va_list args);

/// The same for wide text; capacity in characters.
int format_wide(wchar_t* buffer, uint64_t capacity, const wchar_t* format, ...);

/// Prints to standard output; returns the characters printed, or -1 when
/// the text could not be written (the system's last error says why).
int out_printf(const wchar_t* format, ...);

/// Prints to the given stream: standard error for the memory reports,
/// standard output for the generator's system errors. Returns as out_printf.
int err_printf(platform::standard_stream stream, const wchar_t* format, ...);
