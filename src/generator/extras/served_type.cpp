#include "generator/extras/served_type.h"

#include <cstring>
#include <cwchar>

#include "metadata/content_type.h"

namespace {

// The MIME type of each content type, from the table the kit uses.
constexpr const char* mime_types[] = {
#define VEX_CONTENT_TYPE(name, mime_type) mime_type,
#include "vex_resource_builder/content_types.def"
#undef VEX_CONTENT_TYPE
};
constexpr int mime_type_count = static_cast<int>(sizeof(mime_types) / sizeof(mime_types[0]));

// The types serving gives files of the default type by their extension
// (the kit's served_types.def).
struct served_type {
  const char* extension;
  const char* mime_type;
};
constexpr served_type served_types[] = {
#define VEX_SERVED_TYPE(extension, mime_type) {extension, mime_type},
#include "vex_resource_builder/served_types.def"
#undef VEX_SERVED_TYPE
};

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

const char* served_mime_type(int content_type, const wchar_t* name) {
  if (content_type < 0 || content_type >= mime_type_count) return "application/octet-stream";
  if (content_type != default_content_type) return mime_types[content_type];
  const wchar_t* dot = wcsrchr(name, L'.');
  if (dot == nullptr || wcspbrk(dot, L"/\\") != nullptr) return mime_types[content_type];
  for (const served_type& served : served_types) {
    size_t i = 0;
    for (; served.extension[i] != 0; ++i) {
      const wchar_t c = dot[1 + i];
      if ((c >= L'A' && c <= L'Z' ? c + 32 : c) != static_cast<wchar_t>(served.extension[i])) break;
    }
    if (served.extension[i] == 0 && dot[1 + i] == 0) return served.mime_type;
  }
  return mime_types[content_type];
}

std::string served_content_type(int content_type, int32_t text_encoding, const wchar_t* name) {
  std::string text = served_mime_type(content_type, name);
  const bool marked = text_encoding > 0 && text_encoding < static_cast<int32_t>(sizeof charsets / sizeof *charsets);
  if (marked && is_text(text.c_str())) text = text + "; charset=" + charsets[text_encoding];
  return text;
}
