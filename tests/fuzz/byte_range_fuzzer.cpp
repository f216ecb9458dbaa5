// Fuzzes parse_range on arbitrary headers and representation sizes.
//
// Properties: a part lies inside the representation (first <= last < size);
// an empty representation never has a part.
#include <cstdint>
#include <string_view>

#include "fuzz_check.h"
#include "vex_resource_builder/byte_range.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // The first byte picks the size: small sizes meet the header's numbers at
  // the edges; 255 stands for the largest size there is.
  if (size == 0) return 0;
  const uint64_t length = data[0] == 255 ? UINT64_MAX : data[0];
  const std::string_view header(reinterpret_cast<const char*>(data + 1), size - 1);
  const vex_http::byte_range range = vex_http::parse_range(header, length);
  if (range.kind == vex_http::byte_range::part) {
    FUZZ_CHECK(range.first <= range.last, "a part ends before it begins");
    FUZZ_CHECK(range.last < length, "a part reaches past the representation");
  }
  if (length == 0) FUZZ_CHECK(range.kind != vex_http::byte_range::part, "an empty representation has a part");
  return 0;
}
