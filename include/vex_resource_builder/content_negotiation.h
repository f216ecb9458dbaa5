#pragma once
// Entity-tag lists (If-Match, If-None-Match, If-Range), the choice of a
// content coding from Accept-Encoding, and the weight Accept gives a media
// type, as HTTP defines them. Nothing here allocates; malformed values
// never match, never select a coding and never accept a type.
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

namespace negotiation_detail {

inline bool is_tchar(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
         (c != 0 && std::string_view("!#$%&'*+-.^_`|~").find(c) != std::string_view::npos);
}

// Takes a token from the front of text; empty when it does not start with one.
inline std::string_view take_token(std::string_view& text) {
  size_t length = 0;
  while (length < text.size() && is_tchar(text[length])) ++length;
  const std::string_view token = text.substr(0, length);
  text.remove_prefix(length);
  return token;
}

// Takes the next element of a comma-separated list whose elements may hold
// quoted strings (with \-escapes), in which a comma separates nothing. An
// unterminated quote runs to the end of the text.
inline std::string_view take_list_element(std::string_view& list) {
  bool quoted = false;
  size_t at = 0;
  for (; at < list.size(); ++at) {
    const char c = list[at];
    if (quoted && c == '\\') ++at;
    else if (c == '"') quoted = !quoted;
    else if (c == ',' && !quoted) break;
  }
  const std::string_view element = list.substr(0, at);
  list.remove_prefix(at < list.size() ? at + 1 : list.size());
  return element;
}

// Takes one ";" parameter ("name=token" or "name=\"quoted\"") from the
// front of text; false when malformed. A quoted value is returned with its
// quotes.
inline bool take_parameter(std::string_view& text, std::string_view& name, std::string_view& value) {
  text = trimmed(text);
  if (text.empty() || text.front() != ';') return false;
  text = trimmed(text.substr(1));
  name = take_token(text);
  if (name.empty() || text.empty() || text.front() != '=') return false;
  text.remove_prefix(1);
  if (text.empty() || text.front() != '"') {
    value = take_token(text);
    return !value.empty();
  }
  size_t close = 1;
  for (; close < text.size() && text[close] != '"'; ++close)
    if (text[close] == '\\') ++close;
  if (close >= text.size()) return false;
  value = text.substr(0, close + 1);
  text.remove_prefix(close + 1);
  return true;
}

/// One element of Accept: type/subtype, its weight and whether it has
/// parameters besides the weight.
struct media_range {
  std::string_view type, subtype;
  int weight = 1000;
  bool parameters = false;
};

// Reads one element of Accept; false when it is not a media range.
inline bool read_media_range(std::string_view element, media_range& range) {
  element = trimmed(element);
  range.type = take_token(element);
  if (range.type.empty() || element.empty() || element.front() != '/') return false;
  element.remove_prefix(1);
  range.subtype = take_token(element);
  if (range.subtype.empty() || (range.type == "*" && range.subtype != "*")) return false;
  while (!trimmed(element).empty()) {
    std::string_view name, value;
    if (!take_parameter(element, name, value)) return false;
    if (same_token(name, "q")) {
      range.weight = parse_qvalue(value);
      if (range.weight < 0) return false;
    } else {
      range.parameters = true;
    }
  }
  return true;
}

// 2 when the range names type/subtype itself, 1 for type/*, 0 for */*,
// -1 when it does not name it.
inline int specificity_for(const media_range& range, std::string_view type, std::string_view subtype) {
  if (range.type == "*") return 0;
  if (!same_token(range.type, type)) return -1;
  if (range.subtype == "*") return 1;
  return same_token(range.subtype, subtype) ? 2 : -1;
}

}  // namespace negotiation_detail

/// How much an Accept value wants the media type type/subtype (given in
/// lower case, without parameters), in thousandths of a qvalue: the weight
/// of the most specific range that names it (type/subtype before type/*
/// before */*; among equal ones the last), 0 when none does. Names compare
/// without regard to case. A range with parameters besides its weight
/// ("text/html;level=1") names a narrower type and is passed over, as is an
/// element that is not a media range. Without the header every type is
/// acceptable: that is the caller's to decide.
inline int media_type_weight(std::string_view accept, std::string_view type, std::string_view subtype) {
  using namespace negotiation_detail;
  int weight = 0;
  int best = -1;  // the specificity of the range that gave weight
  while (!accept.empty()) {
    media_range range;
    if (!read_media_range(take_list_element(accept), range) || range.parameters) continue;
    const int specificity = specificity_for(range, type, subtype);
    if (specificity >= 0 && specificity >= best) {
      best = specificity;
      weight = range.weight;
    }
  }
  return weight;
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
