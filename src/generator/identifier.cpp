#include "generator/identifier.h"

#include <cstring>
#include <string_view>

namespace {

bool is_letter_or_digit(unsigned char c) {
  return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

// Sorted, for a binary search.
constexpr std::string_view reserved_words[] = {
    "ARRAYSIZE", "EXIT_FAILURE", "EXIT_SUCCESS", "NULL", "alignas", "alignof", "all", "all_length", "and", "and_eq", "asm", "auto", "bitand", "bitor",
    "bool", "break", "case", "catch", "char", "char16_t", "char32_t", "char8_t", "class", "co_await", "co_return",
    "co_yield", "compl", "concept", "const", "const_cast", "consteval", "constexpr", "constinit", "continue",
    "decltype", "default", "delete", "do", "double", "dynamic_cast", "else", "enum", "explicit", "export", "extern",
    "false", "float", "for", "friend", "goto", "if", "inline", "int", "long", "mutable", "namespace", "new",
    "noexcept", "not", "not_eq", "nullptr", "operator", "or", "or_eq", "private", "protected", "public", "qsort",
    "register", "reinterpret_cast", "requires", "return", "short", "signed", "size_t", "sizeof", "sort_all",
    "static", "static_assert", "static_cast", "struct", "switch", "template", "this", "thread_local", "throw",
    "true", "try", "typedef", "typeid", "typename", "uint64_t", "union", "unsigned", "using", "vex_res",
    "vex_res_compare", "vex_res_data", "vex_resource", "virtual", "void", "volatile", "wchar_t", "while", "xor",
    "xor_eq"};

// The enumerators that the records name unqualified.
constexpr std::string_view enumerator_names[] = {
#define VEX_CONTENT_TYPE(name, mime_type) #name,
#define VEX_TEXT_ENCODING(name) #name,
#include "vex_resource_builder/content_types.def"
#include "vex_resource_builder/text_encodings.def"
#undef VEX_CONTENT_TYPE
#undef VEX_TEXT_ENCODING
};

// Limit macros of the standard headers, such as SIZE_MAX or INT8_MIN.
bool is_limit_macro(std::string_view word) {
  if (!word.ends_with("_MAX") && !word.ends_with("_MIN")) return false;
  for (char c : word)
    if (!((c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_')) return false;
  return true;
}

}  // namespace

size_t make_path_identifier(char* text) {
  if (text[0] == 0) return 0;
  // A leading separator (an absolute path) still ends the directory part.
  size_t name_start = text[0] == '/' || text[0] == '\\' ? 1 : 0;
  if (static_cast<signed char>(text[0]) < 0x41) text[0] = '_';
  size_t i = 0;
  for (; text[i]; ++i) {
    unsigned char c = static_cast<unsigned char>(text[i]);
    if (c == '/' || c == '\\') name_start = i + 1;
    if (!is_letter_or_digit(c)) text[i] = '_';
  }
  if (name_start < i && static_cast<unsigned char>(text[name_start]) < 0x41 && name_start > 0) return name_start - 1;
  return name_start;
}

void make_namespace_identifier(char* text) {
  for (size_t i = 0; text[i]; ++i)
    if (!is_letter_or_digit(static_cast<unsigned char>(text[i]))) text[i] = '_';
  if (text[0] >= '0' && text[0] <= '9') text[0] = '_';
}


bool is_reserved_identifier(const char* text, size_t length) {
  std::string_view word(text, length);
  if (is_limit_macro(word)) return true;
  if (word.starts_with("HTTP_CONTENT_TYPE_") || word.starts_with("TXT_ENCODING_")) {
    for (std::string_view name : enumerator_names)
      if (word == name) return true;
    return false;
  }
  size_t low = 0, high = sizeof reserved_words / sizeof *reserved_words;
  while (low < high) {
    size_t middle = (low + high) / 2;
    int order = word.compare(reserved_words[middle]);
    if (order == 0) return true;
    if (order < 0) high = middle;
    else low = middle + 1;
  }
  return false;
}

size_t avoid_reserved_identifier(char* text, size_t length) {
  if (!is_reserved_identifier(text, length)) return length;
  text[length] = '_';
  text[length + 1] = 0;
  return length + 1;
}

int64_t escape_literal(const char* bytes, size_t length, char* out, size_t capacity) {
  size_t n = 0;
  for (size_t i = 0; i < length; ++i) {
    unsigned char c = static_cast<unsigned char>(bytes[i]);
    const bool escaped = c == '"' || c == '\\' || c == '?';
    const size_t width = escaped ? 2 : c >= 0x20 && c < 0x7F ? 1 : 4;
    if (n + width + 1 > capacity) return -1;  // the escape and the terminator
    if (escaped) {
      out[n++] = '\\';
      out[n++] = static_cast<char>(c);
    } else if (c >= 0x20 && c < 0x7F) {
      out[n++] = static_cast<char>(c);
    } else {
      out[n++] = '\\';
      out[n++] = static_cast<char>('0' + (c >> 6));
      out[n++] = static_cast<char>('0' + ((c >> 3) & 7));
      out[n++] = static_cast<char>('0' + (c & 7));
    }
  }
  if (n + 1 > capacity) return -1;
  out[n] = 0;
  return static_cast<int64_t>(n);
}
