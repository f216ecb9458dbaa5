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
#define VEX_CONTENT_TYPE(name) name,
#include "vex_resource_builder/content_types.def"
#undef VEX_CONTENT_TYPE
};

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
  const char* data;                ///< the file's bytes, byte-order mark included
  const char* text;                ///< the bytes after the byte-order mark
  const char* http_date;           ///< last-write time, "Mon, 7 Dec 2026 7:05:09 GMT"
  const char* http_date_lower;     ///< the same in lower case
};

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
