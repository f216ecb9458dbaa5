// What a server that frames by the kit answers to the bytes of one
// connection: the hostile tests send the same bytes to every server and
// compare. Reads cases from stdin, each "<size>\n" and that many bytes;
// writes one line per case: an item per answer, "METHOD TARGET" for a
// request the planner is given, "=STATUS METHOD TARGET" for one refused
// for its fields, "=STATUS" for a head refused ("=" is no method's first
// byte), each followed by a tab; then "close" when the server ends the connection
// after the last answer, or "more" when it waits for more bytes.
#include <cstdio>
#include <iostream>
#include <string>
#include <string_view>

#include "vex_resource_builder/request_fields.h"
#include "vex_resource_builder/request_head.h"

namespace {

std::string answers_to(std::string_view bytes) {
  std::string out;
  while (true) {
    const vex_http::request_head head = vex_http::read_request_head(bytes);
    if (head.status == vex_http::request_head::incomplete) return out + "more";
    if (head.status == vex_http::request_head::refused) return out + "=" + std::to_string(head.refusal) + "\tclose";
    vex_http::request_fields fields(head.version);
    vex_http::add_field_lines(head, fields);
    const int refused = fields.headers().fields_status;
    out += (refused ? "=" + std::to_string(refused) + " " : std::string()) + std::string(head.method) + " " +
           std::string(head.target);
    out += '\t';
    const vex_http::connection_step step = fields.after_answer();
    if (step.close) return out + "close";
    if (bytes.size() - head.length < step.discard) return out + "more";
    bytes.remove_prefix(head.length + step.discard);
  }
}

}  // namespace

int main() {
  std::ios::sync_with_stdio(false);
  size_t size = 0;
  while (std::cin >> size) {
    std::cin.get();  // the newline after the size
    std::string bytes(size, '\0');
    if (!std::cin.read(bytes.data(), static_cast<std::streamsize>(size))) return 1;
    std::cout << answers_to(bytes) << '\n';
  }
  return 0;
}
