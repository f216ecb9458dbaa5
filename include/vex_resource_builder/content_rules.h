#pragma once
// How the planner names the bytes it sends: the MIME type, corrected from
// the path's extension for the types that browsers enforce, and the charset
// of text.
//
//   vex_http::content_rules rules;                  // the defaults below
//   rules.unmarked_charset = vex_http::utf8_when_unmarked;
//   vex_http::plan_request(plan, method, target, headers, site, policy, rules);
#include <cstddef>
#include <cstring>
#include <string_view>

#include "vex_resource_builder/vex_resource.h"

namespace vex_http {

/// The MIME type of files whose name ends in "." + extension.
struct type_by_extension {
  const char* extension;  ///< without the dot, lower case ("wasm"); matched without regard to case
  const char* mime_type;
};

/// The types a browser refuses to use a file under any other type (module
/// scripts, WebAssembly compiled while streaming, text tracks, XSLT, XHTML),
/// which the records give as application/octet-stream. To extend the list,
/// make an array of your own that includes these rows:
///
///   const vex_http::type_by_extension my_types[] = {
///   #define VEX_SERVED_TYPE(extension, mime_type) {extension, mime_type},
///   #include "vex_resource_builder/served_types.def"
///   #undef VEX_SERVED_TYPE
///       {"glb", "model/gltf-binary"}};
inline constexpr type_by_extension browser_enforced_types[] = {
#define VEX_SERVED_TYPE(extension, mime_type) {extension, mime_type},
#include "vex_resource_builder/served_types.def"
#undef VEX_SERVED_TYPE
};

/// The charset to declare for text whose record knows no encoding (no
/// byte-order mark), or null to declare none.
using charset_policy = const char* (*)(const vex_resource* resource, std::string_view mime_type);

/// The default: text without a byte-order mark declares no charset, since
/// its bytes do not say which one it is; the browser then follows the page
/// (a <meta charset>, the document's own encoding for its scripts and style
/// sheets) or its own default.
inline const char* no_charset_when_unmarked(const vex_resource*, std::string_view) { return nullptr; }

/// For sites whose text files are all UTF-8 (or ASCII): declare it.
inline const char* utf8_when_unmarked(const vex_resource*, std::string_view) { return "utf-8"; }

/// How Content-Type is made. The default corrects the browser-enforced
/// types and declares a charset only where a byte-order mark gives it, as
/// vex_res_content_type_text does; {nullptr, 0} as types keeps the records'
/// types as they are.
struct content_rules {
  const type_by_extension* types = browser_enforced_types;
  size_t type_count = sizeof browser_enforced_types / sizeof browser_enforced_types[0];
  charset_policy unmarked_charset = no_charset_when_unmarked;
};

/// True for types a browser decodes as text with a charset: text/*, JSON,
/// JavaScript and XML (application/xml and every +xml type).
inline bool is_text_mime_type(std::string_view mime) {
  const auto ends_with = [&mime](std::string_view end) {
    return mime.size() >= end.size() && mime.substr(mime.size() - end.size()) == end;
  };
  return mime.substr(0, 5) == "text/" || mime == "application/json" || mime == "application/javascript" ||
         mime == "application/xml" || ends_with("+xml");
}

/// The MIME type to send for a record: its own, or for a record typed
/// application/octet-stream the type its extension has in rules.
inline const char* served_mime_type(const vex_resource* resource, const content_rules& rules) {
  const char* mime = vex_res_mime_type(resource->content_type);
  if (resource->content_type != HTTP_CONTENT_TYPE_APPLICATION_OCTET_STREAM || rules.types == nullptr) return mime;
  const char* dot = std::strrchr(resource->file_name, '.');
  if (dot == nullptr) return mime;
  const std::string_view extension(dot + 1);
  for (size_t i = 0; i < rules.type_count; ++i) {
    const std::string_view candidate(rules.types[i].extension);
    if (candidate.size() != extension.size()) continue;
    bool same = true;
    for (size_t k = 0; k < extension.size() && same; ++k) {
      const char c = extension[k];
      same = (c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c) == candidate[k];
    }
    if (same) return rules.types[i].mime_type;
  }
  return mime;
}

/// Writes the Content-Type value for a record into out ("text/javascript",
/// "text/css; charset=utf-8"): the served type, with the charset its
/// byte-order mark gives for text, else the one the policy gives. Returns
/// its length, or the length it needs when capacity (terminator included)
/// is too small, like snprintf.
inline size_t served_content_type(const vex_resource* resource, const content_rules& rules, char* out,
                                  size_t capacity) {
  const std::string_view mime = served_mime_type(resource, rules);
  const char* charset = nullptr;
  if (is_text_mime_type(mime)) {
    switch (resource->text_encoding) {
      case TXT_ENCODING_UTF8: charset = "utf-8"; break;
      case TXT_ENCODING_UTF16LE: charset = "utf-16le"; break;
      case TXT_ENCODING_UTF16BE: charset = "utf-16be"; break;
      default: charset = rules.unmarked_charset ? rules.unmarked_charset(resource, mime) : nullptr; break;
    }
  }
  const std::string_view suffix = charset ? std::string_view(charset) : std::string_view();
  const size_t length = mime.size() + (charset ? 10 + suffix.size() : 0);
  if (length + 1 > capacity) return length;
  std::memcpy(out, mime.data(), mime.size());
  if (charset) {
    std::memcpy(out + mime.size(), "; charset=", 10);
    std::memcpy(out + mime.size() + 10, suffix.data(), suffix.size());
  }
  out[length] = 0;
  return length;
}

}  // namespace vex_http
