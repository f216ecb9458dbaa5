#pragma once
// Text encoding of a resource, from the byte-order mark at its start.
#include <cstdint>

inline constexpr int text_encoding_count = 4;
/// TXT_ENCODING_ANSI, TXT_ENCODING_UTF8, TXT_ENCODING_UTF16LE, TXT_ENCODING_UTF16BE.
extern const char* const text_encoding_names[text_encoding_count];

struct text_encoding_result {
  int32_t encoding;
  uint64_t bom_length;
};

/// Looks at the first three bytes of a block (zeros beyond a short file).
text_encoding_result detect_byte_order_mark(const uint8_t* start);
