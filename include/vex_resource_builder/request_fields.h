#pragma once
// The field lines of one request, as an HTTP library reports them, turned
// into what the planner reads: repeated lines joined, Host checked, and the
// body's framing read, so that no adapter has to get these right itself.
//
//   vex_http::request_fields fields(11);          // HTTP/1.1
//   for (each field line of the request) fields.add(name, value);
//   vex_http::plan_request(plan, method, target, fields.headers(), site, policy);
//   if (fields.body().kind == ...)                  // read and drop it, or close
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <optional>
#include <string_view>

#include "vex_resource_builder/content_negotiation.h"
#include "vex_resource_builder/response_plan.h"

namespace vex_http {

/// How a request says where its body ends.
struct request_body {
  enum kind_type {
    none,     ///< no body
    sized,    ///< size bytes follow the header block
    unsized,  ///< a transfer coding (chunked), or framing in doubt: only a parser of it finds the end
  } kind;
  uint64_t size;
};

namespace fields_detail {

inline bool is_unreserved_or_sub_delim(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
         (c != 0 && std::strchr("-._~!$&'()*+,;=", c) != nullptr);
}

// True when name is a token, as a field name must be: a name with
// whitespace in it (before the colon, or a folded line taken for a field)
// is read differently by different parsers, so its request is refused.
inline bool is_token(std::string_view name) {
  if (name.empty()) return false;
  for (const char c : name)
    if (!((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
          (c != 0 && std::strchr("!#$%&'*+-.^_`|~", c) != nullptr)))
      return false;
  return true;
}

// A Content-Length value: digits, or a list of equal numbers ("5, 5"),
// which some intermediaries send for lines they merged. False when invalid.
inline bool parse_content_length(std::string_view value, std::optional<uint64_t>& result) {
  while (true) {
    const size_t comma = value.find(',');
    const std::string_view item = negotiation_detail::trimmed(value.substr(0, comma));
    if (item.empty() || item.size() > 19) return false;  // 19 digits always fit
    uint64_t number = 0;
    for (const char c : item) {
      if (c < '0' || c > '9') return false;
      number = number * 10 + static_cast<uint64_t>(c - '0');
    }
    if (result && *result != number) return false;
    result = number;
    if (comma == std::string_view::npos) return true;
    value.remove_prefix(comma + 1);
  }
}

}  // namespace fields_detail

/// True when value is a valid Host field: uri-host [":" port], where the
/// host is a bracketed IP literal or a registered name (letters, digits,
/// "-._~", sub-delimiters and %-escapes), and may be empty.
inline bool valid_host(std::string_view value) {
  std::string_view rest;
  if (!value.empty() && value[0] == '[') {
    const size_t close = value.find(']');
    if (close == std::string_view::npos || close == 1) return false;
    for (const char c : value.substr(1, close - 1))
      if (!fields_detail::is_unreserved_or_sub_delim(c) && c != ':') return false;
    rest = value.substr(close + 1);
  } else {
    const size_t colon = value.find(':');
    const std::string_view name = value.substr(0, colon);
    for (size_t i = 0; i < name.size(); ++i) {
      if (name[i] == '%') {
        if (i + 2 >= name.size() || path_detail::hex_value(name[i + 1]) < 0 || path_detail::hex_value(name[i + 2]) < 0)
          return false;
        i += 2;
      } else if (!fields_detail::is_unreserved_or_sub_delim(name[i])) {
        return false;
      }
    }
    rest = colon == std::string_view::npos ? std::string_view() : value.substr(colon);
  }
  if (rest.empty()) return true;
  if (rest[0] != ':') return false;
  for (const char c : rest.substr(1))
    if (c < '0' || c > '9') return false;
  return true;
}

/// Collects the field lines of one request. A field sent on several lines
/// is passed on as its values joined with ", ", as HTTP defines for list
/// fields. The headers point into the lines given and into this object,
/// which must outlive their use.
class request_fields {
 public:
  /// Lines of the fields the planner reads, and room for the values of
  /// fields sent on several lines; more gives 431.
  static constexpr size_t max_lines = 64;
  static constexpr size_t join_capacity = 8192;

  /// version: 10 for HTTP/1.0, 11 for HTTP/1.1 (which needs one Host line).
  explicit request_fields(int version) : host_required_(version >= 11) {}
  request_fields(const request_fields&) = delete;
  request_fields& operator=(const request_fields&) = delete;

  /// One field line; the name is matched without regard to case.
  void add(std::string_view name, std::string_view value) {
    using negotiation_detail::same_token;
    if (!fields_detail::is_token(name)) {
      bad_name_ = true;
    } else if (same_token(name, "Host")) {
      ++host_lines_;
      host_valid_ = host_valid_ && valid_host(value);
    } else if (same_token(name, "Content-Length")) {
      length_valid_ = length_valid_ && fields_detail::parse_content_length(value, length_);
    } else if (same_token(name, "Transfer-Encoding")) {
      // The codings are a list; what counts is the last one of the last line.
      const size_t comma = value.rfind(',');
      last_coding_ = negotiation_detail::trimmed(comma == std::string_view::npos ? value : value.substr(comma + 1));
      transfer_coded_ = true;
    } else if (const int slot = slot_of(name); slot >= 0) {
      if (line_count_ == max_lines) {
        overflow_ = true;
        return;
      }
      lines_[line_count_++] = {slot, value};
    }
  }

  /// The headers the planner reads. fields_status is 400 for a request
  /// whose Host lines are missing (HTTP/1.1), several or invalid, or whose
  /// framing is invalid (a bad Content-Length, or one beside
  /// Transfer-Encoding, or a last transfer coding other than chunked), or
  /// which has a field name that is not a token, and
  /// 431 for more than max_lines lines of the fields it reads, or joined
  /// values longer than join_capacity.
  request_headers headers() const {
    request_headers result;
    std::optional<std::string_view>* slots[] = {&result.if_match,           &result.if_none_match, &result.if_modified_since,
                                                &result.if_unmodified_since, &result.range,          &result.if_range,
                                                &result.accept_encoding,     &result.accept};
    // Each field's lines in order: one line as it is, several joined.
    bool overflow = overflow_;
    size_t used = 0;
    for (int slot = 0; slot < slot_count; ++slot) {
      size_t count = 0, size = 0;
      std::string_view only;
      for (size_t i = 0; i < line_count_; ++i) {
        if (lines_[i].slot != slot) continue;
        size += (count++ > 0 ? 2 : 0) + lines_[i].value.size();
        only = lines_[i].value;
      }
      if (count == 0) continue;
      if (count == 1) {
        *slots[slot] = only;
        continue;
      }
      if (size > join_capacity - used) {
        overflow = true;
        continue;
      }
      char* const start = joined_ + used;
      char* at = start;
      bool first = true;
      for (size_t i = 0; i < line_count_; ++i) {
        if (lines_[i].slot != slot) continue;
        if (!first) {
          *at++ = ',';
          *at++ = ' ';
        }
        first = false;
        std::memcpy(at, lines_[i].value.data(), lines_[i].value.size());
        at += lines_[i].value.size();
      }
      used += size;
      *slots[slot] = std::string_view(start, size);
    }
    const bool bad_host = host_lines_ > 1 || !host_valid_ || (host_required_ && host_lines_ == 0);
    if (overflow) result.fields_status = 431;
    if (bad_host || bad_framing()) result.fields_status = 400;
    return result;
  }

  /// Where the body ends. A request with a transfer coding, or one that the
  /// planner refuses for its framing, has an unknown end: answer it and
  /// close the connection, never read on as if the next request followed.
  request_body body() const {
    if (transfer_coded_ || bad_framing()) return {request_body::unsized, 0};
    if (length_ && *length_ > 0) return {request_body::sized, *length_};
    return {request_body::none, 0};
  }

 private:
  bool bad_framing() const {
    return bad_name_ || !length_valid_ ||
           (transfer_coded_ && (length_ || !negotiation_detail::same_token(last_coding_, "chunked")));
  }

  // The fields the planner reads, in the order of headers()'s slots.
  static constexpr int slot_count = 8;
  static int slot_of(std::string_view name) {
    static constexpr std::string_view names[slot_count] = {"If-Match", "If-None-Match", "If-Modified-Since",
                                                           "If-Unmodified-Since", "Range", "If-Range",
                                                           "Accept-Encoding", "Accept"};
    for (int slot = 0; slot < slot_count; ++slot)
      if (negotiation_detail::same_token(name, names[slot])) return slot;
    return -1;
  }

  struct line {
    int slot;
    std::string_view value;
  };
  line lines_[max_lines];
  size_t line_count_ = 0;
  bool host_required_;
  int host_lines_ = 0;
  bool host_valid_ = true;
  std::optional<uint64_t> length_;
  bool length_valid_ = true;
  bool transfer_coded_ = false;
  std::string_view last_coding_;
  bool overflow_ = false;
  bool bad_name_ = false;
  // The joined values of the last headers(); the same each time.
  mutable char joined_[join_capacity];
};

}  // namespace vex_http
