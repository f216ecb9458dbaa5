#include "platform/posix_text.h"

#include <cstdint>

namespace platform {

long long wide_to_utf8(const wchar_t* text, size_t length, char* out, size_t capacity) {
  size_t n = 0;
  for (size_t i = 0; i < length; ++i) {
    uint32_t c = static_cast<uint32_t>(text[i]);
    unsigned char encoded[4];
    size_t size;
    if (c >= 0xDC80 && c <= 0xDCFF) {  // an escaped raw byte
      encoded[0] = static_cast<unsigned char>(c - 0xDC00);
      size = 1;
    } else if (c < 0x80) {
      encoded[0] = static_cast<unsigned char>(c);
      size = 1;
    } else if (c < 0x800) {
      encoded[0] = static_cast<unsigned char>(0xC0 | (c >> 6));
      encoded[1] = static_cast<unsigned char>(0x80 | (c & 0x3F));
      size = 2;
    } else if (c < 0x10000) {
      encoded[0] = static_cast<unsigned char>(0xE0 | (c >> 12));
      encoded[1] = static_cast<unsigned char>(0x80 | ((c >> 6) & 0x3F));
      encoded[2] = static_cast<unsigned char>(0x80 | (c & 0x3F));
      size = 3;
    } else {
      if (c > 0x10FFFF) c = 0xFFFD;
      encoded[0] = static_cast<unsigned char>(0xF0 | (c >> 18));
      encoded[1] = static_cast<unsigned char>(0x80 | ((c >> 12) & 0x3F));
      encoded[2] = static_cast<unsigned char>(0x80 | ((c >> 6) & 0x3F));
      encoded[3] = static_cast<unsigned char>(0x80 | (c & 0x3F));
      size = 4;
    }
    if (n + size > capacity) return -1;
    for (size_t k = 0; k < size; ++k) out[n++] = static_cast<char>(encoded[k]);
  }
  return static_cast<long long>(n);
}

namespace {

// Length of the valid UTF-8 sequence at bytes[i], or 0 when it is not one.
// Overlong forms, surrogates and values above U+10FFFF are not valid.
size_t sequence_length(const unsigned char* bytes, size_t i, size_t length, uint32_t* value) {
  unsigned char b = bytes[i];
  size_t size;
  uint32_t c, minimum;
  if (b < 0x80) {
    *value = b;
    return 1;
  } else if ((b & 0xE0) == 0xC0) {
    size = 2, c = b & 0x1F, minimum = 0x80;
  } else if ((b & 0xF0) == 0xE0) {
    size = 3, c = b & 0x0F, minimum = 0x800;
  } else if ((b & 0xF8) == 0xF0) {
    size = 4, c = b & 0x07, minimum = 0x10000;
  } else {
    return 0;
  }
  if (i + size > length) return 0;
  for (size_t k = 1; k < size; ++k) {
    if ((bytes[i + k] & 0xC0) != 0x80) return 0;
    c = (c << 6) | (bytes[i + k] & 0x3F);
  }
  if (c < minimum || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) return 0;
  *value = c;
  return size;
}

}  // namespace

long long utf8_to_wide(const char* text, size_t length, wchar_t* out, size_t capacity) {
  const unsigned char* bytes = reinterpret_cast<const unsigned char*>(text);
  size_t n = 0;
  for (size_t i = 0; i < length;) {
    if (n == capacity) return -1;
    uint32_t c;
    size_t size = sequence_length(bytes, i, length, &c);
    if (size == 0) {
      c = 0xDC00 + bytes[i];
      size = 1;
    }
    out[n++] = static_cast<wchar_t>(c);
    i += size;
  }
  return static_cast<long long>(n);
}

}  // namespace platform
