#pragma once
// The head of one HTTP/1.x request (its request line and field lines),
// read from the raw bytes of a connection by one strict rule, so that
// every server finds the same requests in the same bytes whatever its
// library would have made of them.
//
//   const vex_http::request_head head = vex_http::read_request_head(unread);
//   if (head.status == vex_http::request_head::incomplete) ...  // read more, before a deadline
//   vex_http::request_fields fields(head.version);
//   vex_http::add_field_lines(head, fields);
//   // plan the answer (a refused head: plan_error(plan, "", head.refusal), then close)
//   // and then take head.length bytes off the connection
//
// Refused (400): a line that does not end in CRLF (LF alone, CR alone), a
// control byte, a folded field line (obs-fold) or whitespace before the
// first one, whitespace before a colon or a name that is not a token, a
// request line that is not method SP target SP version. Empty lines before
// the request line are skipped. A request line over request_line_limit
// bytes is 414, a head over request_head_limit bytes 431, and a version
// other than HTTP/1.x is 505; HTTP/1.2 and later minor versions are read
// as HTTP/1.1.
#include <cstddef>
#include <string_view>

#include "vex_resource_builder/request_fields.h"

namespace vex_http {

/// The most bytes of a request line, CRLF not counted (414 beyond).
inline constexpr size_t request_line_limit = 8192;
/// The most bytes of a whole head, empty lines before it and the final
/// empty line included (431 beyond).
inline constexpr size_t request_head_limit = 16384;

/// One request head at the start of a connection's unread bytes.
struct request_head {
  enum status_type {
    incomplete,  ///< more bytes are needed
    complete,    ///< a whole, well-formed head of length bytes
    refused,     ///< answer refusal and close the connection
  } status = incomplete;
  int refusal = 0;          ///< 400, 414, 431 or 505
  size_t length = 0;        ///< bytes of the head, for complete
  std::string_view method;  ///< for complete, into the bytes read
  std::string_view target;
  int version = 11;         ///< 10 for HTTP/1.0, 11 for HTTP/1.1 and later
  std::string_view fields;  ///< the field lines, each ending in CRLF
};

namespace head_detail {

inline bool is_tchar(unsigned char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
         (c != 0 && std::strchr("!#$%&'*+-.^_`|~", c) != nullptr);
}

// A byte a field value may hold: visible ASCII, obs-text, space and tab.
inline bool is_value_byte(unsigned char c) { return c == '\t' || (c >= 0x20 && c != 0x7f); }

inline request_head refuse(int status) {
  request_head head;
  head.status = request_head::refused;
  head.refusal = status;
  return head;
}

// The version of "HTTP/d.d": 10, 11, 505 for another major version, 0 when malformed.
inline int read_version(std::string_view text) {
  if (text.size() != 8 || text.substr(0, 5) != "HTTP/" || text[6] != '.') return 0;
  const char major = text[5], minor = text[7];
  if (major < '0' || major > '9' || minor < '0' || minor > '9') return 0;
  if (major != '1') return 505;
  return minor == '0' ? 10 : 11;
}

// Where the line at from ends (at its CR), or npos while it is incomplete;
// bad is set for a byte no line may hold (a control byte, LF alone, CR
// without LF). Field values may hold tabs, request lines not.
inline size_t line_end(std::string_view bytes, size_t from, bool tabs, bool& bad) {
  for (size_t at = from; at < bytes.size(); ++at) {
    const unsigned char c = static_cast<unsigned char>(bytes[at]);
    if (c == '\r') {
      if (at + 1 == bytes.size()) return std::string_view::npos;
      bad = bytes[at + 1] != '\n';
      return at;
    }
    if (c < 0x20 || c == 0x7f) {
      if (!(tabs && c == '\t')) {
        bad = true;
        return at;
      }
    }
  }
  return std::string_view::npos;
}

// Reads "method SP target SP version" into head; the status to refuse it with, or 0.
inline int read_request_line(std::string_view line, request_head& head) {
  const size_t first = line.find(' ');
  const size_t second = first == std::string_view::npos ? first : line.find(' ', first + 1);
  if (second == std::string_view::npos || first == 0 || second == first + 1) return 400;
  for (const char c : line.substr(0, first))
    if (!is_tchar(static_cast<unsigned char>(c))) return 400;
  const int version = read_version(line.substr(second + 1));
  if (version == 0) return 400;  // a third space lands here too
  if (version == 505) return 505;
  head.method = line.substr(0, first);
  head.target = line.substr(first + 1, second - first - 1);
  head.version = version;
  return 0;
}

// Checks one field line (CRLF not included): a token, a colon, a value; the status to refuse it with, or 0.
inline int check_field_line(std::string_view line) {
  if (line.empty() || line[0] == ' ' || line[0] == '\t') return 400;  // obs-fold
  const size_t colon = line.find(':');
  if (colon == 0 || colon == std::string_view::npos) return 400;
  for (const char c : line.substr(0, colon))
    if (!is_tchar(static_cast<unsigned char>(c))) return 400;
  for (const char c : line.substr(colon + 1))
    if (!is_value_byte(static_cast<unsigned char>(c))) return 400;
  return 0;
}

}  // namespace head_detail

/// Reads the request head at the start of bytes, the unread bytes of a
/// connection. Incomplete until its final empty line has come; refused as
/// soon as a byte shows it can never be valid or a limit is passed.
inline request_head read_request_head(std::string_view bytes) {
  using namespace head_detail;
  size_t start = 0;
  while (bytes.size() - start >= 2 && bytes[start] == '\r' && bytes[start + 1] == '\n') start += 2;
  if (start > request_head_limit) return refuse(431);
  bool bad = false;
  const size_t request_end = line_end(bytes, start, false, bad);
  if (bad) return refuse(400);
  if (request_end == std::string_view::npos) {
    if (bytes.size() - start > request_line_limit) return refuse(414);
    return bytes.size() > request_head_limit ? refuse(431) : request_head{};
  }
  if (request_end - start > request_line_limit) return refuse(414);
  request_head head;
  if (const int status = read_request_line(bytes.substr(start, request_end - start), head)) return refuse(status);
  const size_t fields_start = request_end + 2;
  for (size_t at = fields_start;;) {
    if (at > request_head_limit) return refuse(431);
    if (bytes.size() - at >= 2 && bytes[at] == '\r' && bytes[at + 1] == '\n') {
      if (at + 2 > request_head_limit) return refuse(431);
      head.status = request_head::complete;
      head.length = at + 2;
      head.fields = bytes.substr(fields_start, at - fields_start);
      return head;
    }
    const size_t end = line_end(bytes, at, true, bad);
    if (bad || (at < bytes.size() && (bytes[at] == ' ' || bytes[at] == '\t'))) return refuse(400);
    if (end == std::string_view::npos) return bytes.size() > request_head_limit ? refuse(431) : request_head{};
    if (const int status = check_field_line(bytes.substr(at, end - at))) return refuse(status);
    at = end + 2;
  }
}

/// Passes each field line of a complete head to fields.add: the name as
/// sent, the value without the whitespace around it.
inline void add_field_lines(const request_head& head, request_fields& fields) {
  std::string_view rest = head.fields;
  while (!rest.empty()) {
    const size_t end = rest.find("\r\n");
    const std::string_view line = rest.substr(0, end);
    const size_t colon = line.find(':');
    fields.add(line.substr(0, colon), negotiation_detail::trimmed(line.substr(colon + 1)));
    rest.remove_prefix(end + 2);
  }
}

}  // namespace vex_http
