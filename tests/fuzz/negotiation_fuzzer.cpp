// Fuzzes Accept-Encoding, entity-tag lists and Accept. The input is three
// lines: an Accept-Encoding value, an entity-tag list and an Accept value.
//
// Properties: weights lie between 0 and 1000; the chosen coding is one that
// is available and not refused, weighs most, and wins a tie by the order br,
// zstd, gzip, identity; nothing is chosen only when identity is refused; a
// strong match is also a weak one; a list other than "*" matches only a tag
// it holds. Accept gives text/html a weight from 0 to 1000, 0 when no
// "text/html", "text/*" or "*/*" is in it, the same in any case of its
// letters; a range for text/html itself added after it (outside a quoted
// string) decides.
#include <cstdint>
#include <string>
#include <string_view>

#include "fuzz_check.h"
#include "vex_resource_builder/content_negotiation.h"

namespace {

void check_weights(std::string_view value) {
  const vex_http::coding_weights weights = vex_http::read_accept_encoding(value);
  for (int weight : {weights.br, weights.gzip, weights.zstd, weights.identity})
    FUZZ_CHECK(weight >= 0 && weight <= 1000, "a weight outside 0 to 1000");
  for (int available = 0; available < 8; ++available) {
    const bool br = available & 1, gzip = available & 2, zstd = available & 4;
    vex_http::content_coding chosen;
    if (!vex_http::choose_coding(weights, {br, gzip, zstd}, chosen)) {
      FUZZ_CHECK(weights.identity == 0, "nothing chosen while identity is acceptable");
      continue;
    }
    using vex_http::content_coding;
    const int weight_of[] = {weights.identity, weights.br, weights.gzip, weights.zstd};
    const bool has[] = {true, br, gzip, zstd};
    FUZZ_CHECK(has[static_cast<int>(chosen)] && weight_of[static_cast<int>(chosen)] > 0,
               "a coding chosen that is not there or not acceptable");
    // Nothing there weighs more; on a tie the order is br, zstd, gzip, identity.
    constexpr content_coding order[] = {content_coding::br, content_coding::zstd, content_coding::gzip,
                                        content_coding::identity};
    for (content_coding other : order) {
      const int index = static_cast<int>(other);
      if (other == chosen) break;
      FUZZ_CHECK(!has[index] || weight_of[index] < weight_of[static_cast<int>(chosen)],
                 "a coding chosen over one that weighs as much and comes first");
    }
    for (int index = 0; index < 4; ++index)
      FUZZ_CHECK(!has[index] || weight_of[index] <= weight_of[static_cast<int>(chosen)], "a lighter coding chosen");
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

std::string lower_case(std::string_view text) {
  std::string lower(text);
  for (char& c : lower) c = vex_http::negotiation_detail::lower(c);
  return lower;
}

void check_accept(std::string_view value) {
  const int weight = vex_http::media_type_weight(value, "text", "html");
  FUZZ_CHECK(weight >= 0 && weight <= 1000, "an Accept weight outside 0 to 1000");
  const std::string lower = lower_case(value);
  if (lower.find("text/html") == lower.npos && lower.find("text/*") == lower.npos && lower.find("*/*") == lower.npos)
    FUZZ_CHECK(weight == 0, "HTML accepted by a value that names no range for it");
  FUZZ_CHECK(vex_http::media_type_weight(lower, "text", "html") == weight, "Accept read differently in lower case");
  // Outside an open quoted string, a later text/html range wins.
  size_t quotes = 0;
  for (size_t i = 0; i < value.size(); ++i) {
    if (value[i] == '\\' && quotes % 2 == 1) ++i;
    else if (value[i] == '"') ++quotes;
  }
  if (quotes % 2 == 0) {
    const std::string refused = std::string(value) + ", text/html;q=0";
    const std::string wanted = std::string(value) + ",TEXT/HTML ; Q=0.5";
    FUZZ_CHECK(vex_http::media_type_weight(refused, "text", "html") == 0, "a later text/html;q=0 did not refuse");
    FUZZ_CHECK(vex_http::media_type_weight(wanted, "text", "html") == 500, "a later text/html;q=0.5 did not decide");
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view input(reinterpret_cast<const char*>(data), size);
  const size_t line = input.find('\n');
  const std::string_view rest = line == input.npos ? std::string_view() : input.substr(line + 1);
  const size_t second = rest.find('\n');
  check_weights(input.substr(0, line));
  check_tags(rest.substr(0, second));
  check_accept(second == rest.npos ? std::string_view() : rest.substr(second + 1));
  return 0;
}
