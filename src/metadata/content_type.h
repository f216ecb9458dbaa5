#pragma once
// Content type of a resource, from the extension of its path.
#include <cstdint>

/// Number of content-type enumerators and of extension rows.
inline constexpr int content_type_count = 117;
inline constexpr int extension_count = 187;
/// HTTP_CONTENT_TYPE_APPLICATION_OCTET_STREAM, taken when nothing matches.
inline constexpr int default_content_type = 8;

/// The enumerator names, indexed by number.
extern const char* const content_type_names[content_type_count];
/// The extension rows: texts in strcmp order and the number each yields.
extern const char* const extension_texts[extension_count];
extern const uint8_t extension_types[extension_count];

/// Most comparisons one search of the rows makes: 187 rows need 8 halvings.
inline constexpr int extension_search_depth = 8;

/// The row whose text equals key (unsigned byte comparison), or -1.
int find_extension_row(const char* key);

/// The rows one search compared with its key, in order; count may exceed
/// extension_search_depth (only the first rows are kept) if the search is wrong.
struct extension_search_trace {
  int rows[extension_search_depth];
  int count;
};
/// find_extension_row that also records its comparisons in trace (for tests).
int find_extension_row(const char* key, extension_search_trace& trace);

/// The MIME type of a content type ("text/css"); the default type's for a
/// number outside the table.
const char* mime_type_of(int content_type);

/// The MIME type a file named name (a path) is served as: its content
/// type's, or, for a file of the default type whose extension serving
/// corrects (the kit's served_types.def: .wasm, .mjs, ...), that type.
const char* served_mime_type(int content_type, const wchar_t* name);

/// Lower-cases path (a NUL-terminated narrow copy) in place and returns the
/// number of its extension: the text after its last '.', or the whole path.
/// An empty or missing path prints a message and yields the default.
int detect_content_type(char* path);
