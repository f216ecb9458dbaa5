// Fuzzes parse_date (the three HTTP date forms) and format_date.
//
// Properties: a parsed date formats to the fixed form, 29 characters, which
// parses back to the same second; any 64-bit time either formats to such a
// text or is refused with an empty text.
#include <cstdint>
#include <cstring>
#include <string_view>

#include "fuzz_check.h"
#include "vex_resource_builder/http_date.h"

namespace {

void check_round_trip(int64_t seconds) {
  char out[vex_http::date_capacity];
  if (!vex_http::format_date(seconds, out)) {
    FUZZ_CHECK(out[0] == 0, "a refused time left text behind");
    return;
  }
  FUZZ_CHECK(std::strlen(out) == 29, "the fixed form is not 29 characters");
  FUZZ_CHECK(out[3] == ',' && out[7] == ' ' && out[11] == ' ' && out[16] == ' ' && out[19] == ':' && out[22] == ':' &&
                 std::strcmp(out + 25, " GMT") == 0,
             "the fixed form is misshapen");
  int64_t again = 0;
  FUZZ_CHECK(vex_http::parse_date(out, again), "the fixed form does not parse");
  FUZZ_CHECK(again == seconds, "the fixed form parses to another second");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  int64_t seconds = 0;
  if (vex_http::parse_date(text, seconds)) {
    char out[vex_http::date_capacity];
    FUZZ_CHECK(vex_http::format_date(seconds, out), "a parsed date cannot be written");
    int64_t again = 0;
    FUZZ_CHECK(vex_http::parse_date(out, again) && again == seconds, "a parsed date does not survive its fixed form");
  }
  if (size >= 8) {
    int64_t raw = 0;
    std::memcpy(&raw, data, 8);
    check_round_trip(raw);
  }
  return 0;
}
