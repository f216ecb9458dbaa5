// Fuzzes detect_content_type and find_extension_row on arbitrary paths.
//
// Properties: the result is a content-type number; the path is lower-cased
// in place (ASCII capitals only, every other byte kept); the result is what
// a linear search over the extension rows gives for the text after the
// last '.' (or the whole path), or the default; the binary search finds the
// same row within extension_search_depth comparisons.
#include <cstdint>
#include <cstring>
#include <string>

#include "fuzz_check.h"
#include "metadata/content_type.h"

namespace {

int linear_row(const std::string& key) {
  for (int row = 0; row < extension_count; ++row)
    if (key == extension_texts[row]) return row;
  return -1;
}

void check_table_once() {
  static bool checked = false;
  if (checked) return;
  checked = true;
  for (int row = 0; row < extension_count; ++row) {
    FUZZ_CHECK(extension_types[row] < content_type_count, "an extension row yields no content type");
    if (row > 0)
      FUZZ_CHECK(std::strcmp(extension_texts[row - 1], extension_texts[row]) < 0,
                 "the extension rows are not in strcmp order");
  }
  FUZZ_CHECK(default_content_type >= 0 && default_content_type < content_type_count, "the default is no content type");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  check_table_once();
  std::string original(reinterpret_cast<const char*>(data), size);
  original.resize(std::strlen(original.c_str()));  // the path is NUL-terminated text
  if (original.empty()) return 0;                  // reported on the console; covered by the unit tests

  std::string lower = original;
  for (char& c : lower)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  size_t dot = lower.rfind('.');
  std::string key = dot == std::string::npos ? lower : lower.substr(dot + 1);
  int row = linear_row(key);
  int expected = row < 0 ? default_content_type : extension_types[row];

  std::string path = original;
  int type = detect_content_type(path.data());
  FUZZ_CHECK(type >= 0 && type < content_type_count, "result is not a content-type number");
  FUZZ_CHECK(path.size() == std::strlen(path.c_str()), "the path changed its length");
  FUZZ_CHECK(path == lower, "the path was not lower-cased exactly");
  FUZZ_CHECK(type == expected, "result differs from a linear search of the extension rows");

  extension_search_trace trace{};
  FUZZ_CHECK(find_extension_row(key.c_str(), trace) == row, "find_extension_row differs from a linear search");
  FUZZ_CHECK(trace.count >= 1 && trace.count <= extension_search_depth, "the search made too many comparisons");
  FUZZ_CHECK(find_extension_row(key.c_str()) == row, "the plain search differs from the traced one");
  return 0;
}
