// The example server on Boost.Beast: the same site, command line and
// answers as the others, from the same planner and connections
// (connection_hub.h).
//
//   vex_example_server_beast [--host 127.0.0.1] [--port N] [--dev-root DIR] [--quiet]
//                            [--fallback [PREFIX=]PATH]... [--error-page STATUS=PATH]...
//                            [--header 'NAME: VALUE']...
//
// Beast, on Asio, lets a server write raw bytes: the head of each answer is
// the kit's (response_head.h), whose header lines made at build time are
// copied whole, and the hub sends it and the embedded body in one gather
// write without waiting, on its own thread (the body of a file held
// compressed only decoded a chunk at a time as the socket drains). That
// makes this the fastest of the three servers. In development mode, where
// live files are read, Beast writes the header block of each answer from
// the plan (its serializer, header by header), and a worker thread sends
// it. Beast's request parser is not used: it frames some requests
// otherwise than the kit (it reads "Transfer-Encoding: chunked, chunked"
// as no body, keeps an HTTP/1.0 connection open after a Transfer-Encoding,
// and reads chunk extensions without a bound), so the hub reads every head
// with the kit.
#include <boost/beast/http.hpp>

#include <cstdio>
#include <sstream>
#include <string>

#include "connection_hub.h"
#include "vex_resource_builder/response_head.h"

namespace {

namespace http = boost::beast::http;

class beast_sender final : public answer_sender {
 public:
  bool writes_heads() const override { return true; }

  bool write_head(const planned_answer& answer, std::string& head) override {
    const std::string_view connection = answer.close ? "close" : "";
    char buffer[vex_http::head_capacity];
    const size_t length = vex_http::write_head(answer.plan, connection, buffer, sizeof buffer);
    if (length <= sizeof buffer) {
      head.assign(buffer, length);
    } else {  // a redirect with a long query
      head.resize(length);
      vex_http::write_head(answer.plan, connection, head.data(), length);
    }
    return true;
  }

  bool send(int socket, const planned_answer& answer) override {
    http::response_header<> head;
    head.version(11);
    head.result(static_cast<unsigned>(answer.plan.status));
    vex_http::copy_headers(answer.plan, true, [&head](const char* name, std::string_view value) { head.set(name, value); });
    if (answer.close) head.set(http::field::connection, "close");
    std::ostringstream text;
    text << head;
    const std::string block = text.str();
    if (answer.plan.send_body && answer.plan.source == vex_http::body_source::decoded)
      return send_decoded(socket, block, answer);
    // A HEAD or body-less answer keeps its Content-Length and sends no body.
    const size_t body_length = answer.plan.send_body ? static_cast<size_t>(answer.plan.body_length) : 0;
    return send_fully(socket, block.data(), block.size(), answer.plan.body, body_length, answer.send_timeout);
  }

 private:
  // The header block and the body decoded a chunk at a time, the first
  // chunk with the block; a body that cannot be given whole ends the
  // connection, as its length was promised.
  static bool send_decoded(int socket, const std::string& block, const planned_answer& answer) {
    pooled_body decoded(answer.plan);
    std::string_view chunk = decoded.next();
    const std::chrono::milliseconds timeout = answer.send_timeout;
    bool sent = !chunk.empty() && send_fully(socket, block.data(), block.size(), chunk.data(), chunk.size(), timeout);
    while (sent && decoded.body().left() > 0) {
      chunk = decoded.next();
      sent = !chunk.empty() && send_fully(socket, chunk.data(), chunk.size(), nullptr, 0, timeout);
    }
    return sent;
  }
};

}  // namespace

int main(int argc, char** argv) {
  beast_sender sender;
  return run_server(argc, argv, "vex_example_server_beast", sender);
}
