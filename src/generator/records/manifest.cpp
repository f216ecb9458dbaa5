#include "generator/records/manifest.h"

#include <cstdio>

#include "vex_resource_builder/vex_extras.h"

namespace {

template <typename text_type>
text_type insert_hash(const text_type& path, const char* hash) {
  size_t position = vex_res_hash_position(path.data(), path.size());
  text_type digits(1, '.');
  for (size_t i = 0; i < vex_res_hash_digits; ++i) digits += static_cast<typename text_type::value_type>(hash[i]);
  return path.substr(0, position) + digits + path.substr(position);
}

void put_utf8(std::string& out, uint32_t code) {
  if (code < 0x80) {
    out += static_cast<char>(code);
  } else if (code < 0x800) {
    out += static_cast<char>(0xC0 | code >> 6);
    out += static_cast<char>(0x80 | (code & 0x3F));
  } else if (code < 0x10000) {
    out += static_cast<char>(0xE0 | code >> 12);
    out += static_cast<char>(0x80 | (code >> 6 & 0x3F));
    out += static_cast<char>(0x80 | (code & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | code >> 18);
    out += static_cast<char>(0x80 | (code >> 12 & 0x3F));
    out += static_cast<char>(0x80 | (code >> 6 & 0x3F));
    out += static_cast<char>(0x80 | (code & 0x3F));
  }
}

void put_escape(std::string& out, uint32_t unit) {
  char escape[8];
  snprintf(escape, sizeof escape, "\\u%04x", static_cast<unsigned>(unit));
  out += escape;
}

}  // namespace

std::string hashed_path(const std::string& path, const char* hash) { return insert_hash(path, hash); }
std::wstring hashed_path(const std::wstring& path, const char* hash) { return insert_hash(path, hash); }

std::string json_string(const std::wstring& text) {
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    uint32_t code = static_cast<uint32_t>(text[i]);
    // A UTF-16 pair (Windows) is one character.
    if (code >= 0xD800 && code <= 0xDBFF && i + 1 < text.size()) {
      uint32_t low = static_cast<uint32_t>(text[i + 1]);
      if (low >= 0xDC00 && low <= 0xDFFF) {
        code = 0x10000 + ((code - 0xD800) << 10) + (low - 0xDC00);
        ++i;
      }
    }
    if (code == '"' || code == '\\') {
      out += '\\';
      out += static_cast<char>(code);
    } else if (code < 0x20 || (code >= 0xD800 && code <= 0xDFFF)) {
      put_escape(out, code);
    } else {
      put_utf8(out, code);
    }
  }
  return out;
}
