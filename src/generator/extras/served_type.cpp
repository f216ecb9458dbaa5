#include "generator/extras/served_type.h"

#include <cstring>
#include <cwchar>

#include "metadata/content_type.h"

namespace {

// The charsets of the byte-order marks, by text encoding (text_encodings.def).
constexpr const char* charsets[] = {nullptr, "utf-8", "utf-16le", "utf-16be"};

bool ends_with(const char* text, const char* end) {
  size_t length = strlen(text);
  size_t end_length = strlen(end);
  return length >= end_length && strcmp(text + length - end_length, end) == 0;
}

// Types a browser decodes as text with a charset, as the kit's is_text_mime_type.
bool is_text(const char* mime) {
  return strncmp(mime, "text/", 5) == 0 || strcmp(mime, "application/json") == 0 ||
         strcmp(mime, "application/javascript") == 0 || strcmp(mime, "application/xml") == 0 || ends_with(mime, "+xml");
}

}  // namespace

std::string served_content_type(int content_type, int32_t text_encoding, const wchar_t* name) {
  std::string text = served_mime_type(content_type, name);
  const bool marked = text_encoding > 0 && text_encoding < static_cast<int32_t>(sizeof charsets / sizeof *charsets);
  if (marked && is_text(text.c_str())) text = text + "; charset=" + charsets[text_encoding];
  return text;
}
