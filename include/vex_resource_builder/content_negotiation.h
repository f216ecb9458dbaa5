#pragma once
// Entity-tag lists (If-Match, If-None-Match, If-Range) and the choice of a
// content coding from Accept-Encoding, as HTTP defines them. Nothing here
// allocates; malformed values never match and never select a coding.
#include <cstddef>
#include <cstdint>
#include <string_view>

namespace vex_http {

namespace negotiation_detail {

inline bool is_space(char c) { return c == ' ' || c == '\t'; }

inline std::string_view trimmed(std::string_view text) {
  while (!text.empty() && is_space(text.front())) text.remove_prefix(1);
  while (!text.empty() && is_space(text.back())) text.remove_suffix(1);
  return text;
}

inline char lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; }

inline bool same_token(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (lower(a[i]) != lower(b[i])) return false;
  return true;
}

// Takes one entity-tag ([W/]"...") from the front of text; false when the
// text does not start with one.
inline bool take_entity_tag(std::string_view& text, std::string_view& opaque, bool& weak) {
  weak = text.substr(0, 2) == "W/";
  if (weak) text.remove_prefix(2);
  if (text.empty() || text.front() != '"') return false;
  const size_t close = text.find('"', 1);
  if (close == std::string_view::npos) return false;
  for (size_t i = 1; i < close; ++i) {
    const unsigned char c = static_cast<unsigned char>(text[i]);
    if (c < 0x21 || c == 0x7f) return false;  // etagc: no controls, spaces or quotes
  }
  opaque = text.substr(0, close + 1);
  text.remove_prefix(close + 1);
  return true;
}

// Thousandths of a qvalue ("0", "0.5", "1.000"); -1 when malformed.
inline int parse_qvalue(std::string_view text) {
  if (text.empty() || (text[0] != '0' && text[0] != '1')) return -1;
  int value = (text[0] - '0') * 1000;
  if (text.size() == 1) return value;
  if (text[1] != '.' || text.size() > 5) return -1;
  int scale = 100;
  for (size_t i = 2; i < text.size(); ++i, scale /= 10) {
    if (text[i] < '0' || text[i] > '9') return -1;
    value += (text[i] - '0') * scale;
  }
  return value > 1000 ? -1 : value;
}

}  // namespace negotiation_detail

/// How an entity-tag list is compared with a representation's tag.
enum class tag_comparison {
  strong,  ///< If-Match and If-Range: both tags strong and equal
  weak,    ///< If-None-Match: the opaque parts equal, W/ or not
};

/// True when the field value ("*" or a comma-separated list of entity-tags)
/// names the representation whose strong entity-tag is etag (quotes
/// included). "*" names any existing representation. A malformed list names
/// nothing.
inline bool entity_tag_list_matches(std::string_view list, std::string_view etag, tag_comparison comparison) {
  using namespace negotiation_detail;
  list = trimmed(list);
  if (list == "*") return true;
  bool matched = false;
  bool expect_tag = true;
  while (!list.empty()) {
    if (list.front() == ',') {
      list.remove_prefix(1);
      expect_tag = true;
    } else if (is_space(list.front())) {
      list.remove_prefix(1);
    } else {
      std::string_view opaque;
      bool weak = false;
      if (!expect_tag || !take_entity_tag(list, opaque, weak)) return false;
      if (opaque == etag && !etag.empty() && (comparison == tag_comparison::weak || !weak)) matched = true;
      expect_tag = false;
    }
  }
  return matched;
}

/// The content codings a resource may be sent in.
enum class content_coding { identity, br, gzip, zstd };

/// The coding's name as Content-Encoding gives it ("identity" for none).
inline const char* content_coding_name(content_coding coding) {
  switch (coding) {
    case content_coding::br: return "br";
    case content_coding::gzip: return "gzip";
    case content_coding::zstd: return "zstd";
    case content_coding::identity: break;
  }
  return "identity";
}

/// What Accept-Encoding allows, in thousandths of a qvalue (0 refuses).
struct coding_weights {
  int br = 0;
  int gzip = 0;
  int zstd = 0;
  int identity = 1;  ///< unnamed identity: acceptable, after anything the client named
  bool valid = true;
};

/// The codings a resource has besides identity.
struct available_codings {
  bool br = false;
  bool gzip = false;
  bool zstd = false;
};

/// Reads an Accept-Encoding value: codings with optional ";q=" weights; "*"
/// stands for every coding the value does not name. Without the header,
/// only identity is taken, as most clients that send none cannot decode.
/// A malformed value takes identity only (valid is false).
inline coding_weights read_accept_encoding(std::string_view value) {
  using namespace negotiation_detail;
  coding_weights weights;
  coding_weights malformed;
  malformed.valid = false;
  int star = -1, br = -1, gzip = -1, zstd = -1, identity = -1;
  while (!value.empty()) {
    const size_t comma = value.find(',');
    std::string_view item = trimmed(value.substr(0, comma));
    value.remove_prefix(comma == std::string_view::npos ? value.size() : comma + 1);
    if (item.empty()) continue;
    const size_t semicolon = item.find(';');
    const std::string_view coding = trimmed(item.substr(0, semicolon));
    int weight = 1000;
    if (semicolon != std::string_view::npos) {
      std::string_view parameter = trimmed(item.substr(semicolon + 1));
      if (parameter.size() < 2 || lower(parameter[0]) != 'q' || parameter[1] != '=') return malformed;
      weight = parse_qvalue(trimmed(parameter.substr(2)));
      if (weight < 0) return malformed;
    }
    if (coding == "*") star = weight;
    else if (same_token(coding, "br")) br = weight;
    else if (same_token(coding, "gzip") || same_token(coding, "x-gzip")) gzip = weight;
    else if (same_token(coding, "zstd")) zstd = weight;
    else if (same_token(coding, "identity")) identity = weight;
  }
  weights.br = br >= 0 ? br : star >= 0 ? star : 0;
  weights.gzip = gzip >= 0 ? gzip : star >= 0 ? star : 0;
  weights.zstd = zstd >= 0 ? zstd : star >= 0 ? star : 0;
  weights.identity = identity >= 0 ? identity : star >= 0 ? star : 1;
  return weights;
}

/// The coding to send among those available: the highest weight wins, and
/// on a tie br before zstd before gzip before identity (the order of the
/// smallest answers for the same text). False when every available one is
/// refused (identity;q=0 with no acceptable variant): the answer is 406.
inline bool choose_coding(const coding_weights& weights, const available_codings& available, content_coding& chosen) {
  int best = 0;
  chosen = content_coding::identity;
  if (available.br && weights.br > best) best = weights.br, chosen = content_coding::br;
  if (available.zstd && weights.zstd > best) best = weights.zstd, chosen = content_coding::zstd;
  if (available.gzip && weights.gzip > best) best = weights.gzip, chosen = content_coding::gzip;
  if (weights.identity > best) best = weights.identity, chosen = content_coding::identity;
  return best > 0;
}

}  // namespace vex_http
