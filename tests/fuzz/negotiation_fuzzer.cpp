// Fuzzes Accept-Encoding and entity-tag lists. The input is two lines: an
// Accept-Encoding value and an entity-tag list.
//
// Properties: weights lie between 0 and 1000; the chosen coding is one that
// is available and not refused, and nothing is chosen only when identity is
// refused; a strong match is also a weak one; a list other than "*"
// matches only a tag it holds.
#include <cstdint>
#include <string_view>

#include "fuzz_check.h"
#include "vex_resource_builder/content_negotiation.h"

namespace {

void check_weights(std::string_view value) {
  const vex_http::coding_weights weights = vex_http::read_accept_encoding(value);
  for (int weight : {weights.br, weights.gzip, weights.identity})
    FUZZ_CHECK(weight >= 0 && weight <= 1000, "a weight outside 0 to 1000");
  for (int available = 0; available < 4; ++available) {
    const bool br = available & 1, gzip = available & 2;
    vex_http::content_coding chosen;
    if (!vex_http::choose_coding(weights, br, gzip, chosen)) {
      FUZZ_CHECK(weights.identity == 0, "nothing chosen while identity is acceptable");
      continue;
    }
    if (chosen == vex_http::content_coding::br) FUZZ_CHECK(br && weights.br > 0, "br chosen but not acceptable");
    if (chosen == vex_http::content_coding::gzip) FUZZ_CHECK(gzip && weights.gzip > 0, "gzip chosen but not acceptable");
    if (chosen == vex_http::content_coding::identity) FUZZ_CHECK(weights.identity > 0, "identity chosen but refused");
  }
}

void check_tags(std::string_view list) {
  using vex_http::tag_comparison;
  const std::string_view tag = "\"v1-abc\"";
  if (vex_http::entity_tag_list_matches(list, tag, tag_comparison::strong))
    FUZZ_CHECK(vex_http::entity_tag_list_matches(list, tag, tag_comparison::weak), "strong match but no weak one");
  if (vex_http::entity_tag_list_matches(list, "\"other\"", tag_comparison::weak) && list.find('*') == list.npos)
    FUZZ_CHECK(list.find("\"other\"") != list.npos, "a list matched a tag it does not hold");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view input(reinterpret_cast<const char*>(data), size);
  const size_t line = input.find('\n');
  check_weights(input.substr(0, line));
  check_tags(line == input.npos ? std::string_view() : input.substr(line + 1));
  return 0;
}
