#pragma once
// Code-point order of UTF-16 text.
#include <cstdint>

namespace platform {

/// True when a sorts before b by code point. Comparing UTF-16 units alone
/// would put a surrogate pair (U+10000 and above) before U+E000 to U+FFFF;
/// this keeps the order of the same names in UTF-8 bytes.
template <typename unit>
bool utf16_less(const unit* a, const unit* b) {
  while (*a && *a == *b) ++a, ++b;
  auto rank = [](unit u) {
    uint32_t value = static_cast<uint32_t>(u) & 0xFFFFu;
    if (value >= 0xE000u) return value - 0x800u;
    if (value >= 0xD800u) return value + 0x2000u;
    return value;
  };
  return rank(*a) < rank(*b);
}

}  // namespace platform
