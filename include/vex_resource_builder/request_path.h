#pragma once
// From the request target a client sends to the record it names: the path
// is taken out of the target, percent-decoded and cleared of dot segments,
// then looked up byte for byte and in its Latin-1 form.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>

#include "vex_resource_builder/vex_resource.h"

namespace vex_http {

/// Bytes of the buffer that holds a decoded path (with room for an
/// appended "index.html" and the NUL); longer paths are not found.
inline constexpr size_t path_capacity = 4096;

/// What decode_path made of a request target.
enum class path_status {
  ok,         ///< the path is in the buffer
  bad,        ///< malformed: a bad or %00 escape, a control byte, ".." above the root, not a path
  too_long,   ///< longer than the buffer; no record can match it
  encoded_slash,  ///< a %2F: a '/' inside a name, which no file has, so no record can match it
};

namespace path_detail {

inline int hex_value(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// The path of a request target: the absolute form's authority and the
// query are dropped; empty when the target is neither form.
inline std::string_view path_of_target(std::string_view target) {
  if (!target.empty() && target[0] != '/') {
    const size_t scheme_end = target.find("://");
    if (scheme_end != std::string_view::npos && target.find_first_of("/?#") > scheme_end) {
      const size_t path_start = target.find_first_of("/?#", scheme_end + 3);
      if (path_start == std::string_view::npos || target[path_start] != '/') return "/";
      target.remove_prefix(path_start);
    }
  }
  if (target.empty() || target[0] != '/') return {};
  size_t end = 0;
  while (end < target.size() && target[end] != '?' && target[end] != '#') ++end;
  return target.substr(0, end);
}

// Removes "." and ".." segments from the decoded path in place; false when
// a ".." would climb above the root.
inline bool remove_dot_segments(char* path, size_t& length) {
  // Most paths have no segment that starts with a dot: nothing to remove.
  bool dotted = length == 0 || path[0] != '/';
  for (size_t i = 0; i + 1 < length && !dotted; ++i) dotted = path[i] == '/' && path[i + 1] == '.';
  if (!dotted) {
    path[length] = 0;
    return true;
  }
  size_t out = 0;  // path[0, out) is the result so far: empty, or starting with '/'
  size_t at = 0;
  while (at < length) {
    size_t end = at + 1;
    while (end < length && path[end] != '/') ++end;
    const std::string_view segment(path + at + 1, end - at - 1);  // without its '/'
    const bool last = end == length;
    if (segment == ".") {
      if (last) path[out++] = '/';
    } else if (segment == "..") {
      if (out == 0) return false;
      while (out > 0 && path[out - 1] != '/') --out;  // drop the previous segment's name
      if (out == 0) return false;                     // it was the root itself
      if (!last) --out;
    } else {
      std::memmove(path + out, path + at, end - at);
      out += end - at;
    }
    at = end;
  }
  if (out == 0) path[out++] = '/';
  length = out;
  path[length] = 0;
  return true;
}

}  // namespace path_detail

/// Decodes the path of a request target ("/a%20b/../c?x" gives "/c") into
/// out, NUL-terminated, with its length in length. Escapes must be two hex
/// digits and never %00; raw control bytes are refused; "." and ".." are
/// resolved after decoding (so "%2e%2e" counts) and may not climb above "/".
/// An escaped slash (%2F) is never taken for a separator: it would be a '/'
/// inside a name, so the path names no file (encoded_slash, a 404) rather
/// than another path than the one that access rules in front of the server
/// saw.
inline path_status decode_path(std::string_view target, char* out, size_t capacity, size_t& length) {
  length = 0;
  const std::string_view path = path_detail::path_of_target(target);
  if (path.empty()) return path_status::bad;
  bool encoded_slash = false;
  for (size_t i = 0; i < path.size(); ++i) {
    char c = path[i];
    if (static_cast<unsigned char>(c) <= 0x20 || c == 0x7f) return path_status::bad;
    if (c == '%') {
      const int high = i + 2 < path.size() ? path_detail::hex_value(path[i + 1]) : -1;
      const int low = high >= 0 ? path_detail::hex_value(path[i + 2]) : -1;
      if (low < 0 || (high == 0 && low == 0)) return path_status::bad;
      c = static_cast<char>(high * 16 + low);
      encoded_slash = encoded_slash || c == '/';
      i += 2;
    }
    if (length + 1 >= capacity) return path_status::too_long;
    out[length++] = c;
  }
  out[length] = 0;
  if (!path_detail::remove_dot_segments(out, length)) return path_status::bad;
  return encoded_slash ? path_status::encoded_slash : path_status::ok;
}

/// Converts UTF-8 text to Latin-1 (one byte per character U+0000 to U+00FF)
/// into out, NUL-terminated; false when the text is not valid UTF-8 or holds
/// a character above U+00FF. out needs the length of text plus one.
inline bool latin1_from_utf8(std::string_view text, char* out) {
  size_t length = 0;
  for (size_t i = 0; i < text.size(); ++i) {
    const unsigned char lead = static_cast<unsigned char>(text[i]);
    if (lead < 0x80) {
      out[length++] = static_cast<char>(lead);
    } else if ((lead == 0xc2 || lead == 0xc3) && i + 1 < text.size() &&
               (static_cast<unsigned char>(text[i + 1]) & 0xc0) == 0x80) {
      out[length++] = static_cast<char>(((lead & 0x03) << 6) | (static_cast<unsigned char>(text[++i]) & 0x3f));
    } else {
      return false;
    }
  }
  out[length] = 0;
  return true;
}

/// True when text is valid UTF-8 (no overlong forms, no surrogates).
inline bool is_utf8(std::string_view text) {
  for (size_t i = 0; i < text.size();) {
    const unsigned char lead = static_cast<unsigned char>(text[i]);
    const size_t extra = lead < 0x80 ? 0 : lead >= 0xc2 && lead <= 0xdf ? 1 : lead >= 0xe0 && lead <= 0xef ? 2
                         : lead >= 0xf0 && lead <= 0xf4 ? 3 : 4;
    if (extra == 4 || text.size() - i <= extra) return false;
    uint32_t code = extra == 0 ? lead : lead & (0x3f >> extra);
    for (size_t k = 1; k <= extra; ++k) {
      const unsigned char next = static_cast<unsigned char>(text[i + k]);
      if ((next & 0xc0) != 0x80) return false;
      code = code << 6 | (next & 0x3f);
    }
    constexpr uint32_t smallest[4] = {0, 0x80, 0x800, 0x10000};
    if (code < smallest[extra] || code > 0x10ffff || (code >= 0xd800 && code <= 0xdfff)) return false;
    i += extra + 1;
  }
  return true;
}

/// Converts Latin-1 text to UTF-8 into out (twice the length of text plus
/// one bytes), NUL-terminated; returns the length.
inline size_t utf8_from_latin1(std::string_view text, char* out) {
  size_t length = 0;
  for (const char c : text) {
    const unsigned char byte = static_cast<unsigned char>(c);
    if (byte < 0x80) {
      out[length++] = c;
    } else {
      out[length++] = static_cast<char>(0xc0 | byte >> 6);
      out[length++] = static_cast<char>(0x80 | (byte & 0x3f));
    }
  }
  out[length] = 0;
  return length;
}

/// Finds the record of a decoded path: first its bytes as they are (records
/// with UTF-8 paths, and every ASCII path), then its Latin-1 form (the
/// records' default). Null when neither is there.
inline const vex_resource* find_path(const vex_resource_array* arrays, size_t count, const char* path) {
  if (const vex_resource* found = vex_res_find_in(arrays, count, path)) return found;
  const size_t length = std::strlen(path);
  char latin1[path_capacity];
  if (length >= sizeof latin1 || !latin1_from_utf8(std::string_view(path, length), latin1)) return nullptr;
  if (std::strcmp(latin1, path) == 0) return nullptr;
  return vex_res_find_in(arrays, count, latin1);
}

/// Where a decoded path leads.
struct route {
  int status;                     ///< 200 found, 301 add a slash, 400, 404
  const vex_resource* resource;   ///< the record, for 200
};

/// Routes a decoded path (in a buffer of path_capacity bytes, which it may
/// extend and restore): the record itself; for a path ending in "/", that
/// directory's index.html; for a directory named without its "/", a 301
/// (the caller's Location is the path and a "/").
inline route route_path(const vex_resource_array* arrays, size_t count, char* path, size_t length) {
  constexpr std::string_view index = "index.html";
  const bool directory = length > 0 && path[length - 1] == '/';
  if (!directory)
    if (const vex_resource* found = find_path(arrays, count, path)) return {200, found};
  const size_t suffix = directory ? 0 : 1;
  if (length + suffix + index.size() >= path_capacity) return {404, nullptr};
  if (!directory) path[length] = '/';
  std::memcpy(path + length + suffix, index.data(), index.size());
  path[length + suffix + index.size()] = 0;
  const vex_resource* found = find_path(arrays, count, path);
  path[length] = 0;
  if (!found) return {404, nullptr};
  return {directory ? 200 : 301, found};
}

}  // namespace vex_http
