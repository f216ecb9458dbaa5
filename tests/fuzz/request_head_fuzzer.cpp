// Fuzzes the reading of request heads from the raw bytes of a connection,
// and the rule that says where the next request starts.
//
// Properties: a complete head lies within the bytes and the limit and ends
// in CRLF CRLF, every line in it ends in CRLF (no LF or CR alone), no line
// is folded, its method is a token and its target holds no whitespace or
// control byte; every shorter prefix of a complete head is incomplete (a
// server that reads in pieces finds the same head); a refusal stays a
// refusal whatever follows; the connection goes on after a request only
// past a body of known size within the limit, with valid fields and
// without "close"; the planner takes every complete head.
#include <cstdint>
#include <string>
#include <string_view>

#include "fuzz_check.h"
#include "vex_resource_builder/request_fields.h"
#include "vex_resource_builder/request_head.h"

namespace {

void check_complete(std::string_view bytes, const vex_http::request_head& head) {
  FUZZ_CHECK(head.length <= bytes.size() && head.length <= vex_http::request_head_limit, "a head beyond the bytes");
  const std::string_view whole = bytes.substr(0, head.length);
  FUZZ_CHECK(whole.size() >= 4 && whole.substr(whole.size() - 4) == "\r\n\r\n", "a head not ending in CRLF CRLF");
  for (size_t i = 0; i < whole.size(); ++i) {
    if (whole[i] == '\n') FUZZ_CHECK(i > 0 && whole[i - 1] == '\r', "LF alone in a head");
    if (whole[i] == '\r') FUZZ_CHECK(i + 1 < whole.size() && whole[i + 1] == '\n', "CR alone in a head");
    if (whole[i] == '\n' && i + 1 < whole.size())
      FUZZ_CHECK(whole[i + 1] != ' ' && whole[i + 1] != '\t', "a folded line in a head");
  }
  FUZZ_CHECK(vex_http::method_status(head.method) != 400, "a method that is not a token");
  for (const char c : head.target)
    FUZZ_CHECK(static_cast<unsigned char>(c) > 0x20 && c != 0x7f, "whitespace or a control byte in a target");
  for (size_t cut = 0; cut < head.length; cut += 1 + cut / 64)
    FUZZ_CHECK(vex_http::read_request_head(bytes.substr(0, cut)).status == vex_http::request_head::incomplete,
               "a prefix of a complete head is not incomplete");

  vex_http::request_fields fields(head.version);
  vex_http::add_field_lines(head, fields);
  const vex_http::request_headers headers = fields.headers();
  const vex_http::connection_step step = fields.after_answer();
  const vex_http::request_body body = fields.body();
  if (!step.close) {
    FUZZ_CHECK(headers.fields_status == 0 && !fields.close_asked(), "the connection goes on after a refusal or close");
    FUZZ_CHECK(body.kind == vex_http::request_body::none ||
                   (body.kind == vex_http::request_body::sized && body.size == step.discard &&
                    body.size <= vex_http::body_discard_limit),
               "the connection goes on past a body it cannot drop");
  }
  vex_http::response_plan plan;
  vex_http::plan_request(plan, head.method, head.target, headers, {nullptr, 0});
  FUZZ_CHECK(plan.status != 0, "a complete head without an answer");
  FUZZ_CHECK(plan.close_connection == (headers.fields_status != 0), "a refusal for the fields that keeps the connection");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  const vex_http::request_head head = vex_http::read_request_head(bytes);
  switch (head.status) {
    case vex_http::request_head::complete:
      check_complete(bytes, head);
      break;
    case vex_http::request_head::refused: {
      FUZZ_CHECK(head.refusal == 400 || head.refusal == 414 || head.refusal == 431 || head.refusal == 505,
                 "an undocumented refusal");
      const vex_http::request_head longer = vex_http::read_request_head(std::string(bytes) + "\r\n\r\n");
      FUZZ_CHECK(longer.status == vex_http::request_head::refused && longer.refusal == head.refusal,
                 "a refusal that more bytes undo");
      break;
    }
    case vex_http::request_head::incomplete:
      FUZZ_CHECK(size <= vex_http::request_head_limit, "an incomplete head past the limit");
      break;
  }
  return 0;
}
