#pragma once
// Declarations that the generated resource code relies on. Include this in
// the "pch.h" of the project that compiles the generated .cpp, followed by
// the generated header, so that the records get external linkage.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#ifndef ARRAYSIZE
#define ARRAYSIZE(a) (sizeof(a) / sizeof((a)[0]))
#endif

/// Content type of a resource, chosen from its extension.
enum vex_content_type : int {
#define VEX_CONTENT_TYPE(name, mime_type) name,
#include "vex_resource_builder/content_types.def"
#undef VEX_CONTENT_TYPE
};

/// The MIME type of each content type, indexed by its enumerator.
inline constexpr const char* vex_mime_types[] = {
#define VEX_CONTENT_TYPE(name, mime_type) mime_type,
#include "vex_resource_builder/content_types.def"
#undef VEX_CONTENT_TYPE
};
inline constexpr size_t vex_content_type_count = sizeof(vex_mime_types) / sizeof(vex_mime_types[0]);

/// Text encoding of a resource, from its byte-order mark.
enum vex_text_encoding : int {
#define VEX_TEXT_ENCODING(name) name,
#include "vex_resource_builder/text_encodings.def"
#undef VEX_TEXT_ENCODING
};

/// One embedded file.
struct vex_resource {
  const wchar_t* name;             ///< the file's name
  const char* path_root_a;         ///< URL path: "/" followed by the path
  const char* path_a;              ///< the path without its leading "/"
  const char* path_below_top;      ///< the path below its first directory
  const char* file_name;           ///< the file's name inside path_a
  vex_content_type content_type;
  vex_text_encoding text_encoding;
  uint32_t size;                   ///< bytes of the file (low 32 bits)
  uint32_t size_without_bom;       ///< size less the byte-order mark
  uint32_t utf16_length;           ///< size_without_bom / 2
  /// The file's bytes, byte-order mark included; null for a file the
  /// program holds compressed only (-z), whose bytes are in the variant of
  /// its side record's stored_coding (vex_extras.h, stored_body.h).
  const char* data;
  const char* text;                ///< the bytes after the byte-order mark; null when data is
  const char* http_date;           ///< last-write time, "Mon, 7 Dec 2026 7:05:09 GMT"
  const char* http_date_lower;     ///< the same in lower case
};

/// A record's text member: data after the byte-order mark, or null when
/// data is (a file held compressed only).
constexpr const char* vex_res_text_after_bom(const char* data, uint32_t bom_length) {
  return data ? data + bom_length : nullptr;
}

/// The MIME type of a content type; "application/octet-stream" for a
/// number outside the enumeration.
inline const char* vex_res_mime_type(vex_content_type type) {
  size_t index = static_cast<size_t>(type);
  return index < vex_content_type_count ? vex_mime_types[index] : "application/octet-stream";
}

/// True for the types whose data is text a browser decodes with a charset:
/// text/*, JSON, JavaScript and XML-based types.
inline bool vex_res_is_text(vex_content_type type) {
  const char* mime = vex_res_mime_type(type);
  if (std::strncmp(mime, "text/", 5) == 0) return true;
  size_t length = std::strlen(mime);
  return type == HTTP_CONTENT_TYPE_APPLICATION_JSON || type == HTTP_CONTENT_TYPE_APPLICATION_JAVASCRIPT ||
         (length > 4 && std::strcmp(mime + length - 4, "+xml") == 0);
}

/// The charset a text resource declares by its byte-order mark ("utf-8",
/// "utf-16le", "utf-16be"); null for other resources and for text without a
/// mark, whose encoding the bytes do not say.
inline const char* vex_res_charset(const vex_resource* resource) {
  if (!vex_res_is_text(resource->content_type)) return nullptr;
  switch (resource->text_encoding) {
    case TXT_ENCODING_UTF8: return "utf-8";
    case TXT_ENCODING_UTF16LE: return "utf-16le";
    case TXT_ENCODING_UTF16BE: return "utf-16be";
    default: return nullptr;
  }
}

/// Writes the Content-Type header value of a resource ("text/css" or
/// "text/css; charset=utf-8") into out; returns its length, or the length it
/// would need when capacity (terminator included) is too small, like snprintf.
inline size_t vex_res_content_type_text(const vex_resource* resource, char* out, size_t capacity) {
  const char* mime = vex_res_mime_type(resource->content_type);
  const char* charset = vex_res_charset(resource);
  size_t mime_length = std::strlen(mime);
  size_t length = mime_length + (charset ? 10 + std::strlen(charset) : 0);
  if (length + 1 > capacity) return length;
  std::memcpy(out, mime, mime_length);
  if (charset) {
    std::memcpy(out + mime_length, "; charset=", 10);
    std::memcpy(out + mime_length + 10, charset, std::strlen(charset));
  }
  out[length] = 0;
  return length;
}

namespace vex_res {
/// Sorts every all array with vex_res_compare; call it once before lookups.
/// (Defined by the generated .cpp unless it was written with -a only.)
void sort_all();
}  // namespace vex_res

/// Orders two elements of an all array (pointers to records) by URL path.
inline int vex_res_compare(const void* a, const void* b) {
  const vex_resource* left = *static_cast<const vex_resource* const*>(a);
  const vex_resource* right = *static_cast<const vex_resource* const*>(b);
  return std::strcmp(left->path_root_a, right->path_root_a);
}

/// Finds the record whose URL path equals url_path in an all array sorted
/// by vex_res_compare (after sort_all()); null when there is none.
inline const vex_resource* vex_res_find(const vex_resource* const* all, size_t length, const char* url_path) {
  size_t low = 0;
  size_t high = length;
  while (low < high) {
    size_t middle = low + (high - low) / 2;
    int order = std::strcmp(url_path, all[middle]->path_root_a);
    if (order == 0) return all[middle];
    if (order < 0) high = middle;
    else low = middle + 1;
  }
  return nullptr;
}

/// One all array: the root's or a top-level namespace's. The length is
/// reached through a pointer because it is defined in another unit.
struct vex_resource_array {
  const vex_resource* const* all;
  const size_t* length;
};

/// vex_res_find over several all arrays, in order; null when none has it.
inline const vex_resource* vex_res_find_in(const vex_resource_array* arrays, size_t count, const char* url_path) {
  for (size_t i = 0; i < count; ++i)
    if (const vex_resource* found = vex_res_find(arrays[i].all, *arrays[i].length, url_path)) return found;
  return nullptr;
}
