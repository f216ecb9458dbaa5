#pragma once
// The answer to one HTTP request for an embedded file, independent of the
// HTTP library that carries it: the planner reads the method, the request
// target and a few request headers, and says what to send.
//
//   vex_http::request_headers headers;          // fill what the request has
//   headers.range = ...;
//   vex_http::response_plan plan;
//   vex_http::plan_request(plan, method, target, headers, {vex_res_arrays, vex_res_arrays_length});
//   // send plan.status, plan.headers[0, plan.header_count) and, when
//   // plan.send_body, plan.body_length bytes: from plan.body, or, when
//   // plan.source is body_source::decoded, from an identity_reader opened
//   // on plan.stored at plan.stored_offset (identity_reader.h)
//
// The plan holds no allocation; its header values point into the plan
// itself, into the records or into static text, so it is neither copied
// nor moved.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <ctime>
#include <iterator>
#include <optional>
#include <string_view>

#include "vex_resource_builder/byte_range.h"
#include "vex_resource_builder/content_negotiation.h"
#include "vex_resource_builder/content_rules.h"
#include "vex_resource_builder/http_date.h"
#include "vex_resource_builder/path_table.h"
#include "vex_resource_builder/request_path.h"
#include "vex_resource_builder/stored_body.h"
#include "vex_resource_builder/site_rules.h"
#include "vex_resource_builder/vex_extras.h"
#include "vex_resource_builder/vex_resource.h"

namespace vex_http {

/// The request headers the planner reads, as the client sent them; an
/// absent header is nullopt. A header sent several times is passed as its
/// lines joined with ", " (request_fields.h does that, and checks Host and
/// the framing).
struct request_headers {
  std::optional<std::string_view> if_match = std::nullopt;
  std::optional<std::string_view> if_none_match = std::nullopt;
  std::optional<std::string_view> if_modified_since = std::nullopt;
  std::optional<std::string_view> if_unmodified_since = std::nullopt;
  std::optional<std::string_view> range = std::nullopt;
  std::optional<std::string_view> if_range = std::nullopt;
  std::optional<std::string_view> accept_encoding = std::nullopt;
  std::optional<std::string_view> accept = std::nullopt;  ///< read for fallbacks and error pages only
  /// 400 or 431 when the request's field lines refuse it before anything
  /// else (request_fields::headers); 0 when they are fine or unchecked.
  int fields_status = 0;
};

/// Fills request_headers from a lookup: anything callable with a header
/// name ("If-Match", ...) that returns std::optional<std::string_view>.
template <typename lookup_type>
request_headers read_request_headers(lookup_type&& lookup) {
  request_headers headers;
  headers.if_match = lookup("If-Match");
  headers.if_none_match = lookup("If-None-Match");
  headers.if_modified_since = lookup("If-Modified-Since");
  headers.if_unmodified_since = lookup("If-Unmodified-Since");
  headers.range = lookup("Range");
  headers.if_range = lookup("If-Range");
  headers.accept_encoding = lookup("Accept-Encoding");
  headers.accept = lookup("Accept");
  return headers;
}

/// The Cache-Control value for a record, or null for none.
using cache_policy = const char* (*)(const vex_resource* resource);

/// True when a file name carries a content hash: a part of at least eight
/// hex digits between dots or a dash and a dot ("app.3f9a0c1e.js",
/// "logo-0badf00d.svg").
inline bool has_hashed_name(const char* file_name) {
  size_t run = 0;
  char before = 0;
  for (const char* at = file_name;; ++at) {
    const char c = *at;
    if (path_detail::hex_value(c) >= 0) {
      if (run++ == 0) before = at == file_name ? 0 : at[-1];
      continue;
    }
    if (run >= 8 && c == '.' && (before == '.' || before == '-')) return true;
    if (c == 0) return false;
    run = 0;
  }
}

/// The Cache-Control value of an answer that can never change.
inline constexpr const char* cache_for_good = "public, max-age=31536000, immutable";

/// A policy: hashed names are cached for a year and never revalidated,
/// everything else is revalidated on every use.
inline const char* immutable_when_hashed(const vex_resource* resource) {
  return has_hashed_name(resource->file_name) ? cache_for_good : "no-cache";
}

/// The policy of a record requested by its content-hashed path (the side
/// record's hashed_path): those bytes are all the path can ever name.
inline const char* immutable(const vex_resource*) { return cache_for_good; }

/// A policy: revalidated on every use (bytes that may change under the
/// same path and tag: live files, rendered pages, a fallback).
inline const char* revalidate(const vex_resource*) { return "no-cache"; }

/// The site's all arrays: vex_res_arrays and vex_res_arrays_length of the
/// CMake integration, or any list of vex_resource_array; with the side
/// records of -x (vex_res_extras::all and all_length), strong ETags and the
/// precompressed variants are served too, and with the table of paths of
/// -x (&vex_res_paths::table) every path is found in constant time. What it
/// answers beyond its files (site_rules.h) is none by default.
struct site {
  const vex_resource_array* arrays;
  size_t count;
  const vex_resource_extras* const* extras = nullptr;
  size_t extras_length = 0;
  const fallback* fallbacks = nullptr;  ///< client-side routes
  size_t fallback_count = 0;
  const error_page* error_pages = nullptr;  ///< pages for error statuses
  size_t error_page_count = 0;
  header_policy site_headers = nullptr;  ///< the site's own headers on every answer
  const vex_resource_path_table* paths = nullptr;  ///< null: the arrays are searched
};

/// The bytes and date to serve for a record: the embedded ones, or a live
/// copy of the file in development mode.
struct entity {
  const vex_resource* resource;   ///< its type, charset and name
  const char* data;
  uint64_t size;
  std::optional<int64_t> modified;  ///< seconds since 1970; nullopt when unknown
  const vex_resource_extras* extras = nullptr;  ///< ETags and variants of these bytes, when known
  /// modified is the record's date, read from its text only when the
  /// answer needs it (most take Last-Modified from the header lines).
  bool date_in_record = false;
};

/// The embedded bytes and the date of a record, with its side record.
inline entity embedded_entity(const vex_resource* resource, const vex_resource_extras* extras = nullptr) {
  entity result{resource, resource->data, resource->size, std::nullopt, extras};
  int64_t seconds = 0;
  if (parse_date(resource->http_date, seconds)) result.modified = seconds;
  return result;
}

/// Where the body of an answer comes from.
enum class body_source {
  bytes,    ///< body_length bytes at body
  decoded,  ///< body_length identity bytes decoded from stored, from stored_offset on; body is null
};

/// Bytes of a redirect's "?" and query that Location takes (escaped); a longer one is a 414.
inline constexpr size_t redirect_query_capacity = 4096;

/// What to answer. Content-Length is among the headers and always equals
/// what a GET would carry (body_length; for a 304 the full size); a library
/// that writes Content-Length from the body it is given may skip it. Every
/// answer carries Date and X-Content-Type-Options: nosniff. The identity
/// bytes of a file held compressed only are decoded while they are sent:
/// source says so, and body is then null, so that an adapter never sends
/// the stored bytes as if they were the file.
///
/// A 200 or 304 for an embedded file with side records takes most of its
/// headers from the header lines the tool made at build time: they are
/// among the headers one by one, and block holds them as they go on the
/// wire, for a writer of raw bytes (response_head.h) to copy whole. The
/// headers added after them (Cache-Control from the policy, the site's
/// own) come after the block.
struct response_plan {
  /// The planner's own headers (at most 12) and the site's (max_site_headers).
  static constexpr size_t max_headers = 24;

  int status = 0;
  bool close_connection = false;  ///< the request's framing is in doubt: close after this answer
  const vex_resource* resource = nullptr;  ///< the record answered, if any
  header headers[max_headers];
  size_t header_count = 0;
  const char* body = nullptr;  ///< into the entity's data or a static text; null when decoded
  uint64_t body_length = 0;
  uint64_t content_length = 0;  ///< the Content-Length header's value
  bool send_body = false;      ///< false for HEAD and for body-less statuses
  content_coding coding = content_coding::identity;  ///< the Content-Encoding of the body
  body_source source = body_source::bytes;  ///< whether the body is at body or is to be decoded
  stored_body stored = {};                  ///< decoded: the bytes held for the file
  uint64_t stored_offset = 0;               ///< decoded: the identity byte the body starts at
  bool general_headers_added = false;  ///< Date and X-Content-Type-Options are in
  /// headers[block_first, block_first + block_count) as CRLF-ended lines;
  /// empty when no header came from a block.
  std::string_view block;
  size_t block_first = 0;
  size_t block_count = 0;

  // Text the header values point into, each written before it is used (so
  // left uninitialised: a plan is made for every request).
  char date[date_capacity];
  char content_type[128];
  char last_modified[date_capacity];
  char content_length_text[24];
  char content_range[72];
  char location[path_capacity * 3 + 2 + redirect_query_capacity];

  response_plan() = default;
  response_plan(const response_plan&) = delete;
  response_plan& operator=(const response_plan&) = delete;
};

namespace plan_detail {

inline void add(response_plan& plan, const char* name, std::string_view value) {
  if (plan.header_count < response_plan::max_headers) plan.headers[plan.header_count++] = {name, value};
}

// Writes a decimal number at out; returns the end.
inline char* put_number(char* out, uint64_t value) {
  char digits[20];
  size_t count = 0;
  do digits[count++] = static_cast<char>('0' + value % 10);
  while ((value /= 10) != 0);
  while (count > 0) *out++ = digits[--count];
  return out;
}

inline void add_content_length(response_plan& plan, uint64_t length) {
  plan.content_length = length;
  add(plan, "Content-Length",
      std::string_view(plan.content_length_text, put_number(plan.content_length_text, length) - plan.content_length_text));
}

// The headers of every answer, once per plan: its Date, and nosniff, so
// that no browser takes a body for another type than Content-Type names
// (a text error for a script, a page for a style sheet).
inline void add_general_headers(response_plan& plan) {
  if (plan.general_headers_added) return;
  plan.general_headers_added = true;
  if (format_current_date(plan.date)) add(plan, "Date", plan.date);
  add(plan, "X-Content-Type-Options", "nosniff");
}

// A body-less or short text answer: 400, 404, 405, 406, 412, 414, 416, 431, 500, 501, 301.
inline void plan_error(response_plan& plan, int status, bool head) {
  struct status_text {
    int status;
    std::string_view text;
  };
  static constexpr status_text texts[] = {{400, "Bad Request\n"},    {404, "Not Found\n"},
                                          {405, "Method Not Allowed\n"}, {406, "Not Acceptable\n"},
                                          {414, "URI Too Long\n"},   {431, "Request Header Fields Too Large\n"},
                                          {500, "Internal Server Error\n"}, {501, "Not Implemented\n"},
                                          {505, "HTTP Version Not Supported\n"}};
  std::string_view text;
  for (const status_text& each : texts)
    if (each.status == status) text = each.text;
  add_general_headers(plan);
  plan.status = status;
  if (status == 405) add(plan, "Allow", "GET, HEAD");
  if (!text.empty()) add(plan, "Content-Type", "text/plain");
  add_content_length(plan, text.size());
  plan.body = text.data();
  plan.body_length = text.size();
  plan.send_body = !head && !text.empty();
}

// The entity's date: its own, or its record's when read from there.
inline std::optional<int64_t> modified_of(const entity& file) {
  int64_t seconds = 0;
  if (file.date_in_record && parse_date(file.resource->http_date, seconds)) return seconds;
  return file.modified;
}

// The bytes an answer carries: the file's own or one of its variants.
struct representation {
  const char* data;
  uint64_t size;
  std::string_view etag;  // quotes included; empty when unknown
  content_coding coding;
  bool decoded = false;   // the file's own bytes, held compressed only: data is null
};

// True for an embedded file whose own bytes the program holds compressed only.
inline bool held_compressed(const entity& file) { return !file.data && stored_compressed_only(file.extras); }

inline representation identity_of(const entity& file) {
  return {file.data, file.size, file.extras ? std::string_view(file.extras->etag) : std::string_view(),
          content_coding::identity, held_compressed(file)};
}

inline bool has_variants(const entity& file) {
  return file.extras && (file.extras->br.data || file.extras->gzip.data || file.extras->zstd.data);
}

// Every answer about a file with variants says that they exist (the header
// lines made at build time say it themselves).
inline void add_vary(response_plan& plan, const entity& file) {
  if (has_variants(file)) add(plan, "Vary", "Accept-Encoding");
}

// An error about a file.
inline void plan_file_error(response_plan& plan, const entity& file, int status, bool head) {
  add_vary(plan, file);
  plan_error(plan, status, head);
}

inline const vex_resource_variant& variant_of(const vex_resource_extras& extras, content_coding coding) {
  return coding == content_coding::br ? extras.br : coding == content_coding::zstd ? extras.zstd : extras.gzip;
}

// The representation Accept-Encoding asks for (identity without the
// header); false when it refuses every one there is.
inline bool negotiate(const entity& file, const request_headers& headers, representation& chosen) {
  chosen = identity_of(file);
  if (!headers.accept_encoding) return true;
  const vex_resource_extras* extras = has_variants(file) ? file.extras : nullptr;
  available_codings available;
  if (extras) available = {extras->br.data != nullptr, extras->gzip.data != nullptr, extras->zstd.data != nullptr};
  content_coding coding;
  if (!choose_coding(read_accept_encoding(*headers.accept_encoding), available, coding)) return false;
  if (coding == content_coding::identity) return true;
  const vex_resource_variant& variant = variant_of(*extras, coding);
  chosen = {variant.data, variant.size, variant.etag ? std::string_view(variant.etag) : std::string_view(), coding};
  return true;
}

// The status the preconditions of a GET or HEAD give (412 or 304), or 0 to
// go on; entity tags are those of the chosen representation.
inline int evaluate_preconditions(const entity& file, std::string_view etag, const request_headers& headers) {
  int64_t since = 0;
  if (headers.if_match) {
    if (!entity_tag_list_matches(*headers.if_match, etag, tag_comparison::strong)) return 412;
  } else if (headers.if_unmodified_since && modified_of(file) && parse_date(*headers.if_unmodified_since, since)) {
    if (*modified_of(file) > since) return 412;
  }
  if (headers.if_none_match) {
    if (entity_tag_list_matches(*headers.if_none_match, etag, tag_comparison::weak)) return 304;
  } else if (headers.if_modified_since && modified_of(file) && parse_date(*headers.if_modified_since, since)) {
    if (*modified_of(file) <= since) return 304;
  }
  return 0;
}

// If-Range holds the file's own strong entity tag (ranges are taken from
// its own bytes), or a date equal to the file's.
inline bool if_range_holds(const entity& file, std::string_view value) {
  const std::string_view trimmed = negotiation_detail::trimmed(value);
  if (!trimmed.empty() && (trimmed.front() == '"' || trimmed.substr(0, 2) == "W/"))
    return trimmed.find(',') == std::string_view::npos &&
           entity_tag_list_matches(trimmed, identity_of(file).etag, tag_comparison::strong);
  int64_t date = 0;
  const std::optional<int64_t> modified = modified_of(file);
  return modified && parse_date(value, date) && date == *modified;
}

inline void add_content_range(response_plan& plan, const byte_range& range, uint64_t size) {
  char* at = plan.content_range;
  for (const char* unit = "bytes "; *unit; ++unit) *at++ = *unit;
  if (range.kind == byte_range::part) {
    at = put_number(at, range.first);
    *at++ = '-';
    at = put_number(at, range.last);
  } else {
    *at++ = '*';
  }
  *at++ = '/';
  at = put_number(at, size);
  add(plan, "Content-Range", std::string_view(plan.content_range, at - plan.content_range));
}

// The headers every answer about the representation carries.
inline void add_representation_headers(response_plan& plan, const entity& file, const representation& chosen,
                                       cache_policy policy) {
  const std::optional<int64_t> modified = modified_of(file);
  if (modified && format_date(*modified, plan.last_modified)) add(plan, "Last-Modified", plan.last_modified);
  if (!chosen.etag.empty()) add(plan, "ETag", chosen.etag);
  if (policy)
    if (const char* cache_control = policy(file.resource)) add(plan, "Cache-Control", cache_control);
}

// The body of an answer with a file (a 200, a 206, an error page): the
// chosen representation, or the range of the file's own bytes; decoded
// when the file holds them compressed only.
inline void set_body(response_plan& plan, const entity& file, const representation& chosen, const byte_range& range) {
  const bool part = range.kind == byte_range::part;
  plan.body_length = part ? range.last - range.first + 1 : chosen.size;
  if (!chosen.decoded) {
    plan.body = part ? file.data + range.first : chosen.data;
    return;
  }
  plan.body = nullptr;
  plan.source = body_source::decoded;
  plan.stored = stored_body_of(file.resource, file.extras);
  plan.stored_offset = part ? range.first : 0;
}

// Content-Type and Content-Encoding of a body in a coding.
inline void add_body_headers(response_plan& plan, const vex_resource* resource, content_coding coding,
                             const content_rules& rules) {
  if (served_content_type(resource, rules, plan.content_type, sizeof plan.content_type) < sizeof plan.content_type)
    add(plan, "Content-Type", plan.content_type);
  else
    add(plan, "Content-Type", "application/octet-stream");
  plan.coding = coding;
  if (coding != content_coding::identity) add(plan, "Content-Encoding", content_coding_name(coding));
}

// Says that the answer depends on Accept too: Vary gains it, before the
// Accept-Encoding that may be there already. A Vary among the header lines
// made at build time changes the headers from the lines: the plan's
// headers are then written one by one.
inline void vary_on_accept(response_plan& plan) {
  for (size_t i = 0; i < plan.header_count; ++i) {
    if (std::string_view(plan.headers[i].name) != "Vary") continue;
    if (plan.headers[i].value != "Accept-Encoding") return;
    plan.headers[i].value = "Accept, Accept-Encoding";
    if (i >= plan.block_first && i < plan.block_first + plan.block_count) {
      plan.block = {};
      plan.block_count = 0;
    }
    return;
  }
  add(plan, "Vary", "Accept");
}

// The header lines the tool made for the chosen representation; null when
// the entity has none (records written without them, live or rendered
// bytes).
inline const vex_resource_head* head_of(const entity& file, content_coding coding) {
  if (!file.extras) return nullptr;
  const vex_resource_extras& extras = *file.extras;
  const vex_resource_head& head = coding == content_coding::br     ? extras.br_head
                                  : coding == content_coding::gzip ? extras.gzip_head
                                  : coding == content_coding::zstd ? extras.zstd_head
                                                                   : extras.identity_head;
  const bool whole = head.lines && head.not_modified_end <= head.type_start && head.type_start <= head.length;
  return whole ? &head : nullptr;
}

// Adds the CRLF-ended lines of a block as headers, and as the plan's block;
// false, with nothing added, when a line is not one the planner knows, in
// the order the tool writes them.
inline bool add_block(response_plan& plan, std::string_view lines) {
  // Literals, so each view's data is a NUL-terminated name.
  static constexpr std::string_view names[] = {"Vary",          "Last-Modified",    "ETag",        "Content-Length",
                                               "Accept-Ranges", "Content-Encoding", "Content-Type"};
  const size_t first = plan.header_count;
  const char* at = lines.data();
  const char* const end = at + lines.size();
  size_t next = 0;  // names come in their order, each at most once
  while (at != end) {
    const size_t left = static_cast<size_t>(end - at);
    while (next < std::size(names) && !(left > names[next].size() + 1 && at[names[next].size()] == ':' &&
                                        std::memcmp(at, names[next].data(), names[next].size()) == 0))
      ++next;
    const char* value = next < std::size(names) ? at + names[next].size() + 2 : end;
    const char* line_end = value < end ? static_cast<const char*>(std::memchr(value, '\r', end - value)) : nullptr;
    if (!line_end || value[-1] != ' ' || end - line_end < 2 || line_end[1] != '\n' ||
        plan.header_count == response_plan::max_headers) {
      plan.header_count = first;
      return false;
    }
    add(plan, names[next++].data(), std::string_view(value, static_cast<size_t>(line_end - value)));
    at = line_end + 2;
  }
  plan.block = lines;
  plan.block_first = first;
  plan.block_count = plan.header_count - first;
  return true;
}

// True for the rules the tool made the header lines' Content-Type with.
inline bool default_rules(const content_rules& rules) {
  const content_rules defaults;
  return rules.types == defaults.types && rules.type_count == defaults.type_count &&
         rules.unmarked_charset == defaults.unmarked_charset;
}

// The answer of a 200 for the whole representation, or of a 304, from its
// header lines made at build time, with Content-Type of the plan's own
// making under other rules, then Cache-Control from the policy. False,
// with nothing planned, when the lines cannot be read.
inline bool plan_from_head(response_plan& plan, const entity& file, const representation& chosen,
                           const vex_resource_head& head, bool not_modified, cache_policy policy,
                           const content_rules& rules) {
  const bool own_type = !default_rules(rules);
  const size_t end = not_modified ? head.not_modified_end : own_type ? head.type_start : head.length;
  if (!add_block(plan, std::string_view(head.lines, end))) return false;
  if (!not_modified && own_type) {
    const bool fits = served_content_type(file.resource, rules, plan.content_type, sizeof plan.content_type) <
                      sizeof plan.content_type;
    add(plan, "Content-Type", fits ? plan.content_type : "application/octet-stream");
  }
  if (policy)
    if (const char* cache_control = policy(file.resource)) add(plan, "Cache-Control", cache_control);
  plan.content_length = chosen.size;
  plan.status = not_modified ? 304 : 200;
  if (not_modified) return true;
  plan.coding = chosen.coding;
  plan.body = chosen.data;
  plan.body_length = chosen.size;
  return true;
}

// A %-escaped copy of a decoded path, for Location.
inline std::string_view escaped_path(response_plan& plan, std::string_view path) {
  static constexpr char hex[] = "0123456789ABCDEF";
  char* at = plan.location;
  for (const char c : path) {
    const unsigned char byte = static_cast<unsigned char>(c);
    const bool plain = (byte >= 'a' && byte <= 'z') || (byte >= 'A' && byte <= 'Z') || (byte >= '0' && byte <= '9') ||
                       (byte != 0 && std::strchr("/-._~!$&'()*+,;=:@", byte) != nullptr);
    if (plain) {
      *at++ = c;
    } else {
      *at++ = '%';
      *at++ = hex[byte >> 4];
      *at++ = hex[byte & 15];
    }
  }
  return std::string_view(plan.location, at - plan.location);
}

// Appends "?" and the query to at, escaping the bytes a header value may
// not hold as they are; false when it does not fit before end.
inline bool escape_query(std::string_view query, char*& at, const char* end) {
  static constexpr char hex[] = "0123456789ABCDEF";
  if (at == end) return false;
  *at++ = '?';
  for (const char c : query) {
    const unsigned char byte = static_cast<unsigned char>(c);
    const bool plain = byte > 0x20 && byte < 0x7f;
    if (end - at < (plain ? 1 : 3)) return false;
    if (plain) {
      *at++ = c;
    } else {
      *at++ = '%';
      *at++ = hex[byte >> 4];
      *at++ = hex[byte & 15];
    }
  }
  return true;
}

}  // namespace plan_detail

/// True for the methods the planner serves.
inline bool is_get_or_head(std::string_view method) { return method == "GET" || method == "HEAD"; }

/// The status a method gives before anything else: 0 for GET and HEAD, 405
/// for the other methods HTTP defines (POST, PUT, DELETE, CONNECT, OPTIONS,
/// TRACE, PATCH), 501 for any other token (methods are case-sensitive, so
/// "get" is one), 400 for what is not a token.
inline int method_status(std::string_view method) {
  if (is_get_or_head(method)) return 0;
  if (method.empty()) return 400;
  for (const char c : method)
    if (!((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
          (c != 0 && std::strchr("!#$%&'*+-.^_`|~", c) != nullptr)))
      return 400;
  for (const std::string_view known : {"POST", "PUT", "DELETE", "CONNECT", "OPTIONS", "TRACE", "PATCH"})
    if (method == known) return 405;
  return 501;
}

/// Plans a short answer with no record: 400, 404, 405 (with Allow), 406,
/// 412, 414, 416, 431, 501 or 505, with a one-line text body where the
/// status has one.
inline void plan_error(response_plan& plan, std::string_view method, int status) {
  plan_detail::plan_error(plan, status, method == "HEAD");
}

/// Calls add(name, value) for each header of the plan, in order, leaving
/// Content-Length out unless with_length: a library that writes it from
/// the body it is given must not send a second one.
template <typename add_type>
void copy_headers(const response_plan& plan, bool with_length, add_type&& add) {
  for (size_t i = 0; i < plan.header_count; ++i)
    if (with_length || std::strcmp(plan.headers[i].name, "Content-Length") != 0)
      add(plan.headers[i].name, plan.headers[i].value);
}

/// Plans the answer for a found record's entity: the representation that
/// Accept-Encoding chooses among the file's own bytes and its variants (a
/// byte range is always taken from the file's own bytes), preconditions in
/// the standard order (If-Match, If-Unmodified-Since, If-None-Match,
/// If-Modified-Since) on that representation's entity tag, then one byte
/// range for GET, with If-Range. The identity bytes of a file held
/// compressed only are to be decoded (body_source::decoded); without its
/// side record such a file gets 500.
inline void plan_entity(response_plan& plan, std::string_view method, const entity& file,
                        const request_headers& headers, cache_policy policy = nullptr,
                        const content_rules& rules = {}) {
  const bool head = method == "HEAD";
  plan_detail::add_general_headers(plan);
  plan.resource = file.resource;
  if (const int status = method_status(method)) return plan_detail::plan_file_error(plan, file, status, head);
  // A file held compressed only, planned without its side record: what
  // its bytes are is unknown here, so nothing is sent for them.
  if (!file.data && file.size > 0 && !plan_detail::held_compressed(file))
    return plan_detail::plan_file_error(plan, file, 500, head);

  byte_range range{byte_range::whole, 0, 0};
  if (method == "GET" && headers.range && (!headers.if_range || plan_detail::if_range_holds(file, *headers.if_range)))
    range = parse_range(*headers.range, file.size);
  plan_detail::representation chosen = plan_detail::identity_of(file);
  if (range.kind == byte_range::whole && !plan_detail::negotiate(file, headers, chosen))
    return plan_detail::plan_file_error(plan, file, 406, head);

  const int precondition = plan_detail::evaluate_preconditions(file, chosen.etag, headers);
  if (precondition == 412) return plan_detail::plan_file_error(plan, file, 412, head);
  // The header lines serve the bytes as they are held; bytes that are not
  // at hand (chosen.data null) are planned from the record.
  const vex_resource_head* lines = chosen.data ? plan_detail::head_of(file, chosen.coding) : nullptr;
  if (lines && (precondition == 304 || range.kind == byte_range::whole) &&
      plan_detail::plan_from_head(plan, file, chosen, *lines, precondition == 304, policy, rules)) {
    plan.send_body = plan.status == 200 && !head;
    return;
  }
  plan_detail::add_vary(plan, file);
  plan_detail::add_representation_headers(plan, file, chosen, policy);
  if (precondition == 304) {
    plan.status = 304;
    plan_detail::add_content_length(plan, chosen.size);
    return;
  }

  plan_detail::add(plan, "Accept-Ranges", "bytes");
  if (range.kind == byte_range::unsatisfiable) {
    plan_detail::add_content_range(plan, range, file.size);
    return plan_detail::plan_error(plan, 416, head);
  }
  plan_detail::add_body_headers(plan, file.resource, chosen.coding, rules);
  plan.status = range.kind == byte_range::part ? 206 : 200;
  if (range.kind == byte_range::part) plan_detail::add_content_range(plan, range, file.size);
  plan_detail::set_body(plan, file, chosen, range);
  plan_detail::add_content_length(plan, plan.body_length);
  plan.send_body = !head;
}

/// Where a request leads, before any file is read.
struct target_route {
  int status;                     ///< 200 found, 301, 400, 404, 405, 431, 501
  const vex_resource* resource;   ///< for 200
  /// The decoded path, in the caller's buffer; without its hash when
  /// hashed; for a fallback, the fallback record's own path.
  std::string_view path;
  std::string_view query = {};    ///< the target's query without its "?", as sent (for 301)
  bool close_connection = false;  ///< refused for its field lines: the framing is in doubt
  bool hashed = false;            ///< the target named the record by its content-hashed path
  bool fallback = false;          ///< a client-side route: resource is its fallback's record
  bool varies_by_accept = false;  ///< Accept chose between the fallback and a 404
  const vex_resource_extras* extras = nullptr;  ///< the record's side record, when the table of paths gave it
};

/// True when the request takes an HTML page: it sends no Accept, or one
/// that gives text/html a weight above 0 (by text/html, text/* or */*).
inline bool accepts_html(const request_headers& headers) {
  return !headers.accept || media_type_weight(*headers.accept, "text", "html") > 0;
}

namespace plan_detail {

// A decoded path that names a file by its content-hashed path
// ("/css/site.3f2a1b0c.css"): without the hash, it leads to a record whose
// side record has exactly this hash, in the place the tool puts it. Then
// the path is left without the hash and found is the record.
inline bool route_hashed(const site& where, char* path, size_t& length, const vex_resource*& found) {
  constexpr size_t piece = vex_res_hash_digits + 1;  // ".3f2a1b0c"
  size_t name = length;
  while (name > 0 && path[name - 1] != '/') --name;
  const size_t extension = vex_res_hash_position(path, length);
  // The hash stands before the extension of the name, or ends the name.
  const size_t ends[] = {extension, length};
  for (size_t candidate = 0; candidate < (extension == length ? 1u : 2u); ++candidate) {
    const size_t end = ends[candidate];
    if (end < name + piece || path[end - piece] != '.') continue;
    const size_t start = end - piece;
    char stripped[path_capacity];
    std::memcpy(stripped, path, start);
    std::memcpy(stripped + start, path + end, length - end);
    stripped[length - piece] = 0;
    if (vex_res_hash_position(stripped, length - piece) != start) continue;
    const vex_resource* resource = find_path(where.arrays, where.count, stripped);
    const vex_resource_extras* extras =
        resource ? vex_res_extras_find(where.extras, where.extras_length, resource->path_root_a) : nullptr;
    if (!extras || !extras->hashed_path) continue;
    const size_t own = vex_res_hash_position(resource->path_root_a, std::strlen(resource->path_root_a));
    if (std::strlen(extras->hashed_path) != std::strlen(resource->path_root_a) + piece ||
        std::memcmp(extras->hashed_path + own, path + start, piece) != 0)
      continue;
    std::memcpy(path, stripped, length - piece + 1);
    length -= piece;
    found = resource;
    return true;
  }
  return false;
}

// A decoded path in the table of paths: its bytes as they are, then their
// Latin-1 form, as find_path looks them up.
inline vex_resource_path_match find_in_table(const vex_resource_path_table& table, const char* path, size_t length) {
  const vex_resource_path_match match = vex_res_path_find(table, path, length);
  if (match.entry) return match;
  char latin1[path_capacity];
  if (length >= sizeof latin1 || !latin1_from_utf8(std::string_view(path, length), latin1)) return {nullptr, false};
  const size_t latin1_length = std::strlen(latin1);
  if (latin1_length == length) return {nullptr, false};  // ASCII: the same bytes
  return vex_res_path_find(table, latin1, latin1_length);
}

// Takes the hash out of a decoded path that the table found as the hashed
// path of resource: it stands before the extension of the name, or ends
// the name. False when it is in neither place.
inline bool strip_hash(char* path, size_t& length, const vex_resource* resource, const vex_resource_extras& extras) {
  constexpr size_t piece = vex_res_hash_digits + 1;  // ".3f2a1b0c"
  const char* digits = extras.hashed_path + vex_res_hash_position(resource->path_root_a, std::strlen(resource->path_root_a));
  const size_t ends[] = {vex_res_hash_position(path, length), length};
  for (const size_t end : ends) {
    if (end < piece || std::memcmp(path + end - piece, digits, piece) != 0) continue;
    std::memmove(path + end - piece, path + end, length - end + 1);  // the NUL too
    length -= piece;
    return true;
  }
  return false;
}

// Routes a decoded path with the table of paths, as route_path and then
// route_hashed do with the sorted arrays.
inline target_route route_in_table(const vex_resource_path_table& table, char* path, size_t length,
                                   std::string_view query) {
  const bool directory = length > 0 && path[length - 1] == '/';
  const vex_resource_path_match found = directory ? vex_resource_path_match{nullptr, false}
                                                  : find_in_table(table, path, length);
  if (found.entry && !found.hashed)
    return {.status = 200, .resource = found.entry->resource, .path = std::string_view(path, length), .query = query,
            .extras = found.entry->extras};
  constexpr std::string_view index = "index.html";
  const size_t suffix = directory ? 0 : 1;
  if (length + suffix + index.size() < path_capacity) {
    if (!directory) path[length] = '/';
    std::memcpy(path + length + suffix, index.data(), index.size());
    path[length + suffix + index.size()] = 0;
    const vex_resource_path_match page = find_in_table(table, path, length + suffix + index.size());
    path[length] = 0;
    if (page.entry && !page.hashed)
      return {.status = directory ? 200 : 301, .resource = page.entry->resource,
              .path = std::string_view(path, length), .query = query, .extras = page.entry->extras};
  }
  if (found.entry && strip_hash(path, length, found.entry->resource, *found.entry->extras))
    return {.status = 200, .resource = found.entry->resource, .path = std::string_view(path, length), .hashed = true,
            .extras = found.entry->extras};
  return {404, nullptr, std::string_view(path, length), query};
}

inline const vex_resource_extras* extras_of(const site& where, const vex_resource* resource) {
  return where.extras ? vex_res_extras_find(where.extras, where.extras_length, resource->path_root_a) : nullptr;
}

// The record at a record's own path (as the site's rules name them), and
// its side record: from the table of paths when the site has one.
inline vex_resource_path_entry find_record(const site& where, const char* path) {
  if (where.paths && where.paths->slots) {
    const vex_resource_path_match match = find_in_table(*where.paths, path, std::strlen(path));
    return match.entry && !match.hashed ? *match.entry : vex_resource_path_entry{nullptr, nullptr};
  }
  const vex_resource* resource = find_path(where.arrays, where.count, path);
  return {resource, resource ? extras_of(where, resource) : nullptr};
}

// A path that found no record, under the prefix of a fallback: the
// fallback's record when the path does not look like a file's and the
// request takes HTML; else a 404 that says whether Accept decided it.
inline target_route route_fallback(const site& where, const request_headers& headers, std::string_view path) {
  const fallback* rule = find_fallback(where.fallbacks, where.fallback_count, path);
  const vex_resource_path_entry page = rule && !names_a_file(path) ? find_record(where, rule->path)
                                                                   : vex_resource_path_entry{nullptr, nullptr};
  if (!page.resource) return {404, nullptr, path};
  if (!accepts_html(headers)) return {.status = 404, .resource = nullptr, .path = path, .varies_by_accept = true};
  return {.status = 200, .resource = page.resource, .path = page.resource->path_root_a, .fallback = true,
          .varies_by_accept = true, .extras = page.extras};
}

// The record of the site's page for an error status; null when it has none.
inline const vex_resource* error_page_record(const site& where, int status) {
  const char* path = error_page_path(where.error_pages, where.error_page_count, status);
  return path ? find_path(where.arrays, where.count, path) : nullptr;
}

}  // namespace plan_detail

/// Checks and routes a request: its field lines (headers.fields_status),
/// its method (method_status), then its target, decoded into path, a
/// buffer of path_capacity bytes. With side records, a file's
/// content-hashed path finds it too; with the table of paths, one lookup
/// finds either; a path that finds nothing may be a client-side route of
/// the site's fallbacks.
inline target_route route_target(std::string_view method, std::string_view target, const request_headers& headers,
                                 const site& where, char* path) {
  if (headers.fields_status != 0) return {headers.fields_status, nullptr, {}, {}, true};
  if (const int status = method_status(method)) return {status, nullptr, {}};
  size_t length = 0;
  const path_status decoded = decode_path(target, path, path_capacity, length);
  if (decoded == path_status::bad) return {400, nullptr, {}};
  if (decoded != path_status::ok) return {404, nullptr, {}};
  const size_t question = target.find('?');
  std::string_view query = question == std::string_view::npos ? std::string_view() : target.substr(question + 1);
  query = query.substr(0, query.find('#'));
  if (where.paths && where.paths->slots) {
    const target_route found = plan_detail::route_in_table(*where.paths, path, length, query);
    if (found.status != 404 || where.fallback_count == 0) return found;
    return plan_detail::route_fallback(where, headers, found.path);
  }
  const route found = route_path(where.arrays, where.count, path, length);
  const vex_resource* hashed = nullptr;
  if (found.status == 404 && where.extras && plan_detail::route_hashed(where, path, length, hashed))
    return {200, hashed, std::string_view(path, length), {}, false, true};
  if (found.status == 404 && where.fallback_count > 0)
    return plan_detail::route_fallback(where, headers, std::string_view(path, length));
  return {found.status, found.resource, std::string_view(path, length), query};
}

/// Adds the site's own headers (site.site_headers) for the record the plan
/// answers with, or for none; at most max_site_headers.
inline void add_site_headers(response_plan& plan, const site& where) {
  if (!where.site_headers) return;
  const header_list list = where.site_headers(plan.resource);
  for (size_t i = 0; i < list.count && i < max_site_headers; ++i)
    plan_detail::add(plan, list.headers[i].name, list.headers[i].value);
}

/// The record of the site's page for an error status, when the request
/// takes HTML; null when the answer is the short text.
inline const vex_resource* error_page_for(const site& where, int status, const request_headers& headers) {
  const vex_resource* page = plan_detail::error_page_record(where, status);
  return page && accepts_html(headers) ? page : nullptr;
}

/// Plans an error status answered with a page of the site (an entity of
/// its record: the embedded bytes, a live copy or a rendered page): its
/// body and type, in the coding Accept-Encoding picks (the page's own bytes
/// when it refuses them all), with Vary: Accept and the site's headers.
/// There is no ETag, Last-Modified or Accept-Ranges, and no precondition
/// or range is taken: it is an error, not the resource. HEAD gets the
/// headers.
inline void plan_error_page(response_plan& plan, std::string_view method, int status, const entity& page,
                            const request_headers& headers, const site& where, const content_rules& rules = {}) {
  // A page held compressed only but passed without its side record: its bytes are unknown.
  if (!page.data && page.size > 0 && !plan_detail::held_compressed(page))
    return plan_detail::plan_error(plan, status, method == "HEAD");
  plan_detail::add_general_headers(plan);
  plan.status = status;
  plan.resource = page.resource;
  plan_detail::representation chosen;
  if (!plan_detail::negotiate(page, headers, chosen)) chosen = plan_detail::identity_of(page);
  plan_detail::add(plan, "Vary", plan_detail::has_variants(page) ? "Accept, Accept-Encoding" : "Accept");
  if (status == 405) plan_detail::add(plan, "Allow", "GET, HEAD");
  plan_detail::add_body_headers(plan, page.resource, chosen.coding, rules);
  plan_detail::set_body(plan, page, chosen, {byte_range::whole, 0, 0});
  plan_detail::add_content_length(plan, chosen.size);
  plan.send_body = method != "HEAD";
  add_site_headers(plan, where);
}

/// Plans an error status for a site: its page for the status (embedded)
/// when it has one and the request takes HTML, else the short answer of
/// plan_error, which then says Vary: Accept when a page was passed over.
/// Either carries the site's headers.
inline void plan_error(response_plan& plan, std::string_view method, int status, const request_headers& headers,
                       const site& where, const content_rules& rules = {}) {
  const vex_resource* page = plan_detail::error_page_record(where, status);
  if (page && accepts_html(headers))
    return plan_error_page(plan, method, status, embedded_entity(page, plan_detail::extras_of(where, page)), headers,
                           where, rules);
  plan_error(plan, method, status);
  if (page) plan_detail::vary_on_accept(plan);
  add_site_headers(plan, where);
}

/// Plans the answer to a routed request that found nothing to serve: 301
/// (Location is the path and a slash, then the query the request had, with
/// the bytes that are not visible ASCII escaped; 414 when "?" and that query
/// take more than redirect_query_capacity bytes), 400, 404, 405, 431 or 501.
inline void plan_route_failure(response_plan& plan, std::string_view method, const target_route& route) {
  plan.close_connection = route.close_connection;
  if (route.status != 301) return plan_error(plan, method, route.status);
  const std::string_view path = plan_detail::escaped_path(plan, route.path);
  char* at = plan.location + path.size();
  *at++ = '/';
  if (!route.query.empty()) {
    if (!plan_detail::escape_query(route.query, at, at + redirect_query_capacity)) {
      plan.location[0] = 0;
      return plan_error(plan, method, 414);
    }
  }
  plan_detail::add_general_headers(plan);
  plan_detail::add(plan, "Location", std::string_view(plan.location, at - plan.location));
  plan_error(plan, method, 301);
}

/// The same for a site: an error status gets the site's page for it as
/// plan_error does, and every answer the site's headers.
inline void plan_route_failure(response_plan& plan, std::string_view method, const target_route& route,
                               const request_headers& headers, const site& where, const content_rules& rules = {}) {
  if (route.status == 301) {
    plan_route_failure(plan, method, route);
    return add_site_headers(plan, where);
  }
  plan.close_connection = route.close_connection;
  plan_error(plan, method, route.status, headers, where, rules);
  if (route.varies_by_accept) plan_detail::vary_on_accept(plan);
}

/// The embedded bytes of the record a route found, with its side record
/// (as the table of paths gave it, or from the site's sorted side
/// records); its date is read from the record only when the answer needs
/// it, as most take Last-Modified from the header lines made at build time.
inline entity routed_entity(const target_route& route, const site& where) {
  const vex_resource_extras* extras = route.extras ? route.extras : plan_detail::extras_of(where, route.resource);
  return {route.resource, route.resource->data, route.resource->size, std::nullopt, extras, true};
}

/// Plans the answer to a route that found a record from an entity of it
/// (the embedded bytes, a live copy, a rendered page) with plan_entity, and
/// what the route adds: a fallback is sent with Cache-Control: no-cache,
/// whatever policy says, and Vary: Accept; every answer carries the site's
/// headers.
inline void plan_routed_entity(response_plan& plan, std::string_view method, const target_route& route,
                               const entity& file, const request_headers& headers, const site& where,
                               cache_policy policy = nullptr, const content_rules& rules = {}) {
  plan_entity(plan, method, file, headers, route.fallback ? revalidate : policy, rules);
  if (route.fallback) plan_detail::vary_on_accept(plan);
  add_site_headers(plan, where);
}

/// Plans the answer to a routed target from the embedded files; a file
/// requested by its content-hashed path is cached for good (immutable),
/// whatever policy says.
inline void plan_route(response_plan& plan, std::string_view method, const target_route& route,
                       const request_headers& headers, const site& where, cache_policy policy = nullptr,
                       const content_rules& rules = {}) {
  if (route.status != 200) return plan_route_failure(plan, method, route, headers, where, rules);
  plan_routed_entity(plan, method, route, routed_entity(route, where), headers, where,
                     route.hashed ? immutable : policy, rules);
}

/// Plans the whole answer to a request from the embedded files.
inline void plan_request(response_plan& plan, std::string_view method, std::string_view target,
                         const request_headers& headers, const site& where, cache_policy policy = nullptr,
                         const content_rules& rules = {}) {
  char path[path_capacity];
  plan_route(plan, method, route_target(method, target, headers, where, path), headers, where, policy, rules);
}

}  // namespace vex_http
