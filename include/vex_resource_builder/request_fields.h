#pragma once
// The field lines of one request, as an HTTP library reports them, turned
// into what the planner reads: repeated lines joined, Host checked, and the
// body's framing and the connection's options read, so that no adapter has
// to get these right itself.
//
//   vex_http::request_fields fields(11);          // HTTP/1.1
//   for (each field line of the request) fields.add(name, value);   // or add_field_lines
//   vex_http::plan_request(plan, method, target, fields.headers(), site, policy);
//   const vex_http::connection_step step = fields.after_answer();
//   // send the answer (Connection: close when step.close), then drop
//   // step.discard bytes of body, or close the connection
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

/// A request body up to this size is read and dropped, so that the
/// connection carries on; a longer one ends it.
inline constexpr uint64_t body_discard_limit = 64 * 1024;

/// What a connection does once a request is answered.
struct connection_step {
  bool close;        ///< end the connection after the answer, with a lingering close
  uint64_t discard;  ///< otherwise: bytes of body to read and drop before the next request
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

// A Content-Length value: plain digits, 19 at most (which always fit).
// A list, even of equal numbers, a sign or whitespace inside is refused.
inline bool parse_content_length(std::string_view value, uint64_t& result) {
  if (value.empty() || value.size() > 19) return false;
  result = 0;
  for (const char c : value) {
    if (c < '0' || c > '9') return false;
    result = result * 10 + static_cast<uint64_t>(c - '0');
  }
  return true;
}

// Calls each(item) for every item of a comma-separated list, trimmed; false
// when each does.
template <typename each_type>
bool each_list_item(std::string_view list, each_type&& each) {
  while (true) {
    const size_t comma = list.find(',');
    if (!each(negotiation_detail::trimmed(list.substr(0, comma)))) return false;
    if (comma == std::string_view::npos) return true;
    list.remove_prefix(comma + 1);
  }
}

// A Transfer-Encoding value whose body a server can delimit: a list of
// codings (tokens) in which chunked comes once, last.
inline bool chunked_last(std::string_view value) {
  bool chunked_seen = false;
  return each_list_item(value, [&chunked_seen](std::string_view coding) {
    if (chunked_seen || !is_token(coding)) return false;
    chunked_seen = negotiation_detail::same_token(coding, "chunked");
    return true;
  }) && chunked_seen;
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
  explicit request_fields(int version) : version_(version) {}
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
      ++length_lines_;
      length_valid_ = length_valid_ && fields_detail::parse_content_length(value, length_);
    } else if (same_token(name, "Transfer-Encoding")) {
      ++coding_lines_;
      codings_valid_ = codings_valid_ && fields_detail::chunked_last(value);
    } else if (same_token(name, "Connection")) {
      fields_detail::each_list_item(value, [this](std::string_view option) {
        close_asked_ = close_asked_ || negotiation_detail::same_token(option, "close");
        return true;
      });
    } else if (same_token(name, "Expect")) {
      expects_continue_ = expects_continue_ || same_token(value, "100-continue");
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
  /// framing is in doubt: a Content-Length that is not plain digits, a
  /// Transfer-Encoding in HTTP/1.0 or one whose codings do not end in a
  /// single chunked, either of them on two lines or both present, or a
  /// field name that is not a token; and
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
    if (overflow) result.fields_status = 431;
    if (bad_host() || bad_framing()) result.fields_status = 400;
    return result;
  }

  /// Where the body ends. A request with a transfer coding, or one that the
  /// planner refuses for its framing, has an unknown end: answer it and
  /// close the connection, never read on as if the next request followed.
  request_body body() const {
    if (coding_lines_ > 0 || bad_framing()) return {request_body::unsized, 0};
    if (length_lines_ > 0 && length_ > 0) return {request_body::sized, length_};
    return {request_body::none, 0};
  }

  /// True when the connection must end after the answer at the client's
  /// word: "close" among the Connection options (in any case, on any
  /// Connection line), or HTTP/1.0, whose connections are not kept here.
  bool close_asked() const { return close_asked_ || version_ < 11; }

  /// The one rule for a request's body and its connection. A body of known
  /// size up to discard_limit is read and dropped and the connection goes
  /// on; any other body (longer, of unknown end, or one the client holds
  /// back until a 100 Continue that never comes) is left unread, so the
  /// connection ends after the answer, as it does when the framing is in
  /// doubt or the client asks for it. The planner reads no body.
  connection_step after_answer(uint64_t discard_limit = body_discard_limit) const {
    const request_body left = body();
    const bool droppable = left.kind == request_body::none ||
                           (left.kind == request_body::sized && left.size <= discard_limit && !expects_continue_);
    if (!droppable || close_asked() || headers().fields_status != 0) return {true, 0};
    return {false, left.kind == request_body::sized ? left.size : 0};
  }

 private:
  bool bad_framing() const {
    return bad_name_ || length_lines_ > 1 || !length_valid_ || coding_lines_ > 1 ||
           (coding_lines_ == 1 && (!codings_valid_ || version_ < 11 || length_lines_ > 0));
  }

  bool bad_host() const { return host_lines_ > 1 || !host_valid_ || (version_ >= 11 && host_lines_ == 0); }

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
  int version_;
  int host_lines_ = 0;
  bool host_valid_ = true;
  int length_lines_ = 0;
  uint64_t length_ = 0;
  bool length_valid_ = true;
  int coding_lines_ = 0;
  bool codings_valid_ = true;
  bool close_asked_ = false;
  bool expects_continue_ = false;
  bool overflow_ = false;
  bool bad_name_ = false;
  // The joined values of the last headers(); the same each time.
  mutable char joined_[join_capacity];
};

}  // namespace vex_http
