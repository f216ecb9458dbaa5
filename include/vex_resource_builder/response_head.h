#pragma once
// The head of a planned answer as the bytes that go on the wire, for a
// server whose library lets it write raw bytes: the status line, every
// header of the plan (the header lines made at build time copied whole),
// the connection's header and the blank line. Sent with the body in one
// gather write, an answer costs one system call and no copy of the body.
//
//   char head[vex_http::head_capacity];
//   size_t length = vex_http::write_head(plan, close ? "close" : "", head, sizeof head);
//   if (length > sizeof head) ...  // a long Location: a larger buffer
//   // writev: head[0, length), then plan.body_length bytes at plan.body when plan.send_body
#include <cstddef>
#include <cstring>
#include <string_view>

#include "vex_resource_builder/response_plan.h"

namespace vex_http {

/// Bytes that hold the head of every plan but a redirect with a long
/// Location.
inline constexpr size_t head_capacity = 4096;

/// The reason phrase of a status the planner gives; empty for another,
/// which HTTP allows.
inline std::string_view reason_phrase(int status) {
  switch (status) {
    case 200: return "OK";
    case 206: return "Partial Content";
    case 301: return "Moved Permanently";
    case 304: return "Not Modified";
    case 400: return "Bad Request";
    case 404: return "Not Found";
    case 405: return "Method Not Allowed";
    case 406: return "Not Acceptable";
    case 412: return "Precondition Failed";
    case 414: return "URI Too Long";
    case 416: return "Range Not Satisfiable";
    case 431: return "Request Header Fields Too Large";
    case 501: return "Not Implemented";
    case 505: return "HTTP Version Not Supported";
    default: return {};
  }
}

namespace write_detail {

// Appends to a buffer while it has room, and counts what it would need.
struct head_writer {
  char* out;
  size_t capacity;
  size_t length = 0;

  void put(std::string_view text) {
    if (length + text.size() <= capacity) std::memcpy(out + length, text.data(), text.size());
    length += text.size();
  }
};

}  // namespace write_detail

/// Writes the head of the plan's answer into out: "HTTP/1.1 <status>
/// <reason>", every header as "Name: value" (the plan's block as it is),
/// "Connection: <connection>" unless connection is empty, each line ended
/// by CRLF, then the blank line. Returns the length of the head; when that
/// is more than capacity, out holds only part of it.
inline size_t write_head(const response_plan& plan, std::string_view connection, char* out, size_t capacity) {
  write_detail::head_writer head{out, capacity};
  const char status[] = {' ', static_cast<char>('0' + plan.status / 100 % 10), static_cast<char>('0' + plan.status / 10 % 10),
                         static_cast<char>('0' + plan.status % 10), ' '};
  head.put("HTTP/1.1");
  head.put(std::string_view(status, sizeof status));
  head.put(reason_phrase(plan.status));
  head.put("\r\n");
  for (size_t i = 0; i < plan.header_count; ++i) {
    if (i == plan.block_first && plan.block_count > 0) {
      head.put(plan.block);
      i += plan.block_count - 1;
      continue;
    }
    head.put(plan.headers[i].name);
    head.put(": ");
    head.put(plan.headers[i].value);
    head.put("\r\n");
  }
  if (!connection.empty()) {
    head.put("Connection: ");
    head.put(connection);
    head.put("\r\n");
  }
  head.put("\r\n");
  return head.length;
}

}  // namespace vex_http
