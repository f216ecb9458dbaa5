#include "generator/names/identifier.h"

#include <cstring>
#include <iterator>
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

// Object-like macros of the compilers and of the standard headers.
constexpr std::string_view predefined_macros[] = {
#include "generator/names/predefined_macros.inc"
};

// Keywords that the compilers' GNU modes add (typeof).
constexpr std::string_view extension_keywords[] = {
#include "generator/names/extension_keywords.inc"
};

bool in_sorted(const std::string_view* words, size_t count, std::string_view word) {
  size_t low = 0, high = count;
  while (low < high) {
    size_t middle = (low + high) / 2;
    int order = word.compare(words[middle]);
    if (order == 0) return true;
    if (order < 0) high = middle;
    else low = middle + 1;
  }
  return false;
}

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


bool is_predefined_word(const char* text, size_t length) {
  std::string_view word(text, length);
  if (is_limit_macro(word)) return true;
  if (word.starts_with("HTTP_CONTENT_TYPE_") || word.starts_with("TXT_ENCODING_")) {
    for (std::string_view name : enumerator_names)
      if (word == name) return true;
    return false;
  }
  return in_sorted(reserved_words, std::size(reserved_words), word) ||
         in_sorted(predefined_macros, std::size(predefined_macros), word) ||
         in_sorted(extension_keywords, std::size(extension_keywords), word);
}

bool is_reserved_identifier(const char* text, size_t length) {
  std::string_view word(text, length);
  // The compilers' own keywords and predefined names (_Pragma, __func__,
  // __attribute__, ...) all begin so. A "__" further on is reserved too, but
  // no compiler names anything so and such identifiers compile, so they
  // keep their names.
  if (word.size() >= 2 && word[0] == '_' && ((word[1] >= 'A' && word[1] <= 'Z') || word[1] == '_')) return true;
  return is_predefined_word(text, length);
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

int64_t escape_wide_literal(const wchar_t* text, size_t length, char* out, size_t capacity) {
  static constexpr char hex[] = "0123456789ABCDEF";
  size_t n = 0;
  bool after_hex_escape = false;
  for (size_t i = 0; i < length; ++i) {
    uint32_t c = static_cast<uint32_t>(text[i]);
    if (c >= 0xD800 && c <= 0xDBFF && i + 1 < length) {
      uint32_t low = static_cast<uint32_t>(text[i + 1]);
      if (low >= 0xDC00 && low <= 0xDFFF) {
        c = 0x10000 + ((c - 0xD800) << 10) + (low - 0xDC00);
        ++i;
      }
    }
    char escape[12];
    size_t width;
    bool hex_digit = (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F') || (c >= 'a' && c <= 'f');
    if (c < 0x80 && !(after_hex_escape && hex_digit)) {
      char byte = static_cast<char>(c);
      int64_t w = escape_literal(&byte, 1, escape, sizeof escape);
      width = static_cast<size_t>(w);
    } else if (c < 0x80) {
      escape[0] = '\\';
      escape[1] = static_cast<char>('0' + (c >> 6));
      escape[2] = static_cast<char>('0' + ((c >> 3) & 7));
      escape[3] = static_cast<char>('0' + (c & 7));
      width = 4;
    } else {
      bool surrogate = c >= 0xD800 && c <= 0xDFFF;
      size_t digits = surrogate ? 4 : c > 0xFFFF ? 8 : 4;
      escape[0] = '\\';
      escape[1] = surrogate ? 'x' : c > 0xFFFF ? 'U' : 'u';
      for (size_t d = 0; d < digits; ++d) escape[2 + d] = hex[(c >> (4 * (digits - 1 - d))) & 0xF];
      width = 2 + digits;
    }
    after_hex_escape = c >= 0xD800 && c <= 0xDFFF;
    if (n + width + 1 > capacity) return -1;
    for (size_t k = 0; k < width; ++k) out[n++] = escape[k];
  }
  if (n + 1 > capacity) return -1;
  out[n] = 0;
  return static_cast<int64_t>(n);
}
