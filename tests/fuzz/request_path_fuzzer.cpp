// Fuzzes decode_path and the UTF-8 / Latin-1 conversions of the lookup on
// arbitrary request targets.
//
// Properties: a decoded path starts with "/", holds no NUL, no "." or ".."
// segment and fits its buffer; a target holding %00 or a malformed escape
// never decodes, nor one holding %2F; decoding is idempotent on a decoded
// path that a target may hold as it is; text that converts to Latin-1
// converts back to the same UTF-8, and only valid UTF-8 converts.
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

#include "fuzz_check.h"
#include "vex_resource_builder/request_path.h"

namespace {

bool has_bad_escape(std::string_view text) {
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '%') continue;
    if (i + 2 >= text.size() || vex_http::path_detail::hex_value(text[i + 1]) < 0 ||
        vex_http::path_detail::hex_value(text[i + 2]) < 0 || (text[i + 1] == '0' && text[i + 2] == '0'))
      return true;
    i += 2;
  }
  return false;
}

void check_path(std::string_view target) {
  char out[vex_http::path_capacity];
  size_t length = 0;
  const vex_http::path_status status = vex_http::decode_path(target, out, sizeof out, length);
  const std::string_view path_part = target.substr(0, target.find_first_of("?#"));
  if (target.substr(0, 1) == "/" && has_bad_escape(path_part))
    FUZZ_CHECK(status == vex_http::path_status::bad, "a bad or %00 escape decoded");
  if (target.substr(0, 1) == "/" &&
      (path_part.find("%2F") != std::string_view::npos || path_part.find("%2f") != std::string_view::npos))
    FUZZ_CHECK(status != vex_http::path_status::ok, "an escaped slash decoded as a separator");
  if (status != vex_http::path_status::ok) return;
  const std::string_view path(out, length);
  FUZZ_CHECK(length < sizeof out && out[length] == 0, "the decoded path is not terminated inside its buffer");
  FUZZ_CHECK(!path.empty() && path[0] == '/', "the decoded path does not start with /");
  FUZZ_CHECK(path.find('\0') == std::string_view::npos, "the decoded path holds a NUL");
  for (size_t start = 0; start < path.size();) {
    size_t end = path.find('/', start + 1);
    if (end == std::string_view::npos) end = path.size();
    const std::string_view segment = path.substr(start + 1, end - start - 1);
    FUZZ_CHECK(segment != "." && segment != "..", "a dot segment survived");
    start = end;
  }
  // Bytes that decoding produced but a raw target may not hold end the check.
  bool plain = true;
  for (const char c : path) plain = plain && c != '%' && c != '?' && c != '#' && static_cast<unsigned char>(c) > 0x20 && c != 0x7f;
  if (plain) {
    char again[vex_http::path_capacity];
    size_t again_length = 0;
    FUZZ_CHECK(vex_http::decode_path(path, again, sizeof again, again_length) == vex_http::path_status::ok &&
                   std::string_view(again, again_length) == path,
               "decoding a decoded path changed it");
  }
}

void check_conversions(std::string_view text) {
  std::string latin1(text.size() + 1, '\0');
  const bool converted = vex_http::latin1_from_utf8(text, latin1.data());
  if (!converted) return;
  FUZZ_CHECK(vex_http::is_utf8(text), "text that is not UTF-8 converted to Latin-1");
  const size_t latin1_length = std::strlen(latin1.c_str());
  if (text.find('\0') != std::string_view::npos) return;  // the terminator ends the converted text early
  std::string back(latin1_length * 2 + 1, '\0');
  const size_t back_length = vex_http::utf8_from_latin1(std::string_view(latin1.c_str(), latin1_length), back.data());
  FUZZ_CHECK(std::string_view(back.data(), back_length) == text, "Latin-1 did not convert back to the same UTF-8");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  check_path(text);
  check_conversions(text);
  return 0;
}
