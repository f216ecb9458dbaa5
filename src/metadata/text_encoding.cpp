#include "metadata/text_encoding.h"

const char* const text_encoding_names[text_encoding_count] = {
#define VEX_TEXT_ENCODING(name) #name,
#include "vex_resource_builder/text_encodings.def"
#undef VEX_TEXT_ENCODING
};

namespace {

// The builder's numbers, in the order of text_encoding_names.
enum : int32_t {
#define VEX_TEXT_ENCODING(name) name,
#include "vex_resource_builder/text_encodings.def"
#undef VEX_TEXT_ENCODING
};

}  // namespace

text_encoding_result detect_byte_order_mark(const uint8_t* start) {
  // EF BB is decided by the third byte alone; no other mark is tried after it.
  if (start[0] == 0xEF && start[1] == 0xBB)
    return start[2] == 0xBF ? text_encoding_result{TXT_ENCODING_UTF8, 3} : text_encoding_result{TXT_ENCODING_ANSI, 0};
  if (start[0] == 0xFF && start[1] == 0xFE) return {TXT_ENCODING_UTF16LE, 2};
  if (start[0] == 0xFE && start[1] == 0xFF) return {TXT_ENCODING_UTF16BE, 2};
  return {TXT_ENCODING_ANSI, 0};
}
