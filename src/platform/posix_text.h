#pragma once
// Conversion between the tool's wide text and the UTF-8 bytes of POSIX
// names and consoles. A byte that is not part of valid UTF-8 becomes a lone
// code point from U+DC80 to U+DCFF and turns back into the same byte, so
// every name survives the round trip unchanged.
#include <cstddef>

namespace platform {

/// Encodes length wide characters into out (capacity bytes, no terminator
/// written). Returns the bytes written, or -1 when out is too small.
long long wide_to_utf8(const wchar_t* text, size_t length, char* out, size_t capacity);

/// Decodes length bytes into out (capacity wide characters, no terminator
/// written). Returns the characters written, or -1 when out is too small.
long long utf8_to_wide(const char* bytes, size_t length, wchar_t* out, size_t capacity);

}  // namespace platform
