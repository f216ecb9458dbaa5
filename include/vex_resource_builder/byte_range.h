#pragma once
// The Range request header, for byte ranges of a representation of known size.
#include <cstdint>
#include <string_view>

namespace vex_http {

/// What a Range header asks of a representation.
struct byte_range {
  enum kind_type {
    whole,          ///< no usable range: the header is malformed, another unit, or several ranges
    part,           ///< one satisfiable range: bytes first to last, both included
    unsatisfiable,  ///< no range overlaps the representation: 416
  } kind;
  uint64_t first;
  uint64_t last;
};

namespace range_detail {

inline void skip_blanks(std::string_view& text) {
  while (!text.empty() && (text[0] == ' ' || text[0] == '\t')) text.remove_prefix(1);
}

// Decimal digits, saturating at the largest value; false when there are none.
inline bool take_number(std::string_view& text, uint64_t& value) {
  size_t digits = 0;
  value = 0;
  for (; digits < text.size() && text[digits] >= '0' && text[digits] <= '9'; ++digits) {
    const uint64_t digit = static_cast<uint64_t>(text[digits] - '0');
    value = value > (UINT64_MAX - digit) / 10 ? UINT64_MAX : value * 10 + digit;
  }
  text.remove_prefix(digits);
  return digits > 0;
}

inline bool starts_with_bytes_unit(std::string_view text) {
  constexpr std::string_view unit = "bytes=";
  if (text.size() < unit.size()) return false;
  for (size_t i = 0; i < unit.size(); ++i)
    if ((text[i] | (unit[i] == '=' ? 0 : 0x20)) != unit[i]) return false;
  return true;
}

// One range: "a-b", "a-" or "-n"; false when malformed.
inline bool take_spec(std::string_view& text, uint64_t size, byte_range& range) {
  uint64_t first = 0, last = 0;
  const bool has_first = take_number(text, first);
  if (text.empty() || text[0] != '-') return false;
  text.remove_prefix(1);
  const bool has_last = take_number(text, last);
  if (!has_first) {
    if (!has_last) return false;
    if (last == 0 || size == 0) range = {byte_range::unsatisfiable, 0, 0};
    else range = {byte_range::part, last >= size ? 0 : size - last, size - 1};
    return true;
  }
  if (has_last && last < first) return false;
  if (first >= size) range = {byte_range::unsatisfiable, 0, 0};
  else range = {byte_range::part, first, has_last && last < size ? last : size - 1};
  return true;
}

}  // namespace range_detail

/// Reads a Range header ("bytes=0-99", "bytes=100-", "bytes=-100") for a
/// representation of size bytes. A malformed header or another unit is
/// ignored (whole); several ranges get the whole representation unless none
/// of them is satisfiable.
inline byte_range parse_range(std::string_view header, uint64_t size) {
  if (!range_detail::starts_with_bytes_unit(header)) return {byte_range::whole, 0, 0};
  header.remove_prefix(6);
  byte_range result{byte_range::unsatisfiable, 0, 0};
  size_t count = 0;
  size_t satisfiable = 0;
  for (;;) {
    range_detail::skip_blanks(header);
    if (!header.empty() && header[0] == ',') {  // empty list elements are allowed
      header.remove_prefix(1);
      continue;
    }
    if (header.empty()) break;
    byte_range one{};
    if (!range_detail::take_spec(header, size, one)) return {byte_range::whole, 0, 0};
    ++count;
    if (one.kind == byte_range::part && satisfiable++ == 0) result = one;
    range_detail::skip_blanks(header);
    if (!header.empty() && header[0] != ',') return {byte_range::whole, 0, 0};
  }
  if (count == 0) return {byte_range::whole, 0, 0};
  if (satisfiable == 0) return {byte_range::unsatisfiable, 0, 0};
  if (count > 1) return {byte_range::whole, 0, 0};
  return result;
}

}  // namespace vex_http
