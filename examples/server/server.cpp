// A small HTTP/1.1 server whose whole site is compiled into it, on
// cpp-httplib.
//
//   vex_example_server [--host 127.0.0.1] [--port N] [--dev-root DIR] [--quiet]
//                      [--fallback [PREFIX=]PATH]... [--error-page STATUS=PATH]...
//                      [--header 'NAME: VALUE']...
//
// Port 0 (the default) lets the system pick a free port. The first line on
// stdout is "listening on http://HOST:PORT/"; every request is then logged
// to stderr as "METHOD TARGET STATUS CODING" unless --quiet. --dev-root
// serves the live files of DIR (the embedded tree's source) instead of the
// embedded bytes. --fallback answers the paths of client-side routes (below
// PREFIX, / by default) with the page at PATH, --error-page answers an error
// status with the page at PATH, and --header adds a header to every answer;
// the build may give some of these already (example_site_options.h).
//
// The connections are the hub's (connection_hub.h), which reads every
// request head with the kit: cpp-httplib 0.11.4 cannot be given the
// client's bytes, as it reads them its own way (it skips field lines with
// an empty value or ending in LF alone, %-decodes values, takes folded
// lines, answers 100 Continue to HTTP/1.0, reads an endless line into
// memory, and drops what it read ahead of a request). The library is
// given a stand-in request line for each planned answer (the method alone
// counts: HEAD has no body) and writes the answer, from the plan its
// handler is handed, into a stream. For embedded files the stand-in is
// always HEAD: the library writes the head, and the hub sends it with the
// embedded body in one gather write without waiting; in development mode a
// worker has the library write the whole answer, gathered into one send.
#include <httplib.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <memory>
#include <string>

#include "connection_hub.h"

namespace {

// The answer that the library's handlers of this thread are writing.
thread_local const planned_answer* current_answer = nullptr;
// True while the library writes only the head of the current answer (a
// HEAD stand-in): a decoded body is then not begun.
thread_local bool head_only = false;

/// The stream the library reads a stand-in request from and writes one
/// answer to: the answer is gathered and sent when it is complete, or
/// when it grows large.
class answer_stream final : public httplib::Stream {
 public:
  answer_stream(int socket, std::string_view request, std::chrono::milliseconds timeout)
      : socket_(socket), request_(request), timeout_(timeout) {}

  bool is_readable() const override { return true; }
  bool is_writable() const override { return true; }

  ssize_t read(char* into, size_t size) override {
    const size_t taken = std::min(size, request_.size());
    std::memcpy(into, request_.data(), taken);
    request_.remove_prefix(taken);
    return static_cast<ssize_t>(taken);
  }

  ssize_t write(const char* data, size_t size) override {
    if (output_.size() + size <= output_limit) {
      output_.append(data, size);
      return static_cast<ssize_t>(size);
    }
    const bool sent = send_fully(socket_, output_.data(), output_.size(), data, size, timeout_);
    output_.clear();
    return sent ? static_cast<ssize_t>(size) : -1;
  }

  // The library asks for the addresses only to log them, which the hub does.
  void get_remote_ip_and_port(std::string& ip, int& port) const override { ip.clear(), port = 0; }
  void get_local_ip_and_port(std::string& ip, int& port) const override { ip.clear(), port = 0; }
  socket_t socket() const override { return socket_; }

  /// Sends what was written; false when the peer is gone.
  bool flush() { return send_fully(socket_, output_.data(), output_.size(), nullptr, 0, timeout_); }

  /// Hands what was written to into, rather than sending it.
  void take(std::string& into) { into.swap(output_); }

 private:
  static constexpr size_t output_limit = 64 * 1024;

  int socket_;
  std::string_view request_;
  std::chrono::milliseconds timeout_;
  std::string output_;
};

/// The library's server, as a writer of planned answers.
class httplib_sender final : public answer_sender, public httplib::Server {
 public:
  httplib_sender();

  bool send(int socket, const planned_answer& answer) override {
    const bool head = answer.method == "HEAD";
    answer_stream stream(socket, head ? "HEAD / HTTP/1.1\r\n\r\n" : "GET / HTTP/1.1\r\n\r\n", answer.send_timeout);
    current_answer = &answer;
    bool closed = false;
    const bool written = process_request(stream, answer.close, closed, nullptr);
    current_answer = nullptr;
    return written && stream.flush();
  }

  bool writes_heads() const override { return true; }

  // The library writes the head of a HEAD answer: the GET answer's without
  // its body, which the hub sends from the plan.
  bool write_head(const planned_answer& answer, std::string& head) override {
    answer_stream stream(-1, "HEAD / HTTP/1.1\r\n\r\n", answer.send_timeout);
    stream.take(head);  // the memory the connection keeps for its heads
    head.clear();
    current_answer = &answer;
    head_only = true;
    bool closed = false;
    const bool written = process_request(stream, answer.close, closed, nullptr);
    head_only = false;
    current_answer = nullptr;
    stream.take(head);
    return written;
  }
};

/// Hands the plan of the current answer to the library's response.
void write_plan(httplib::Response& response) {
  const vex_http::response_plan& plan = current_answer->plan;
  response.headers.clear();
  response.body.clear();
  response.status = plan.status;
  std::string content_type;
  // The library writes the length of the body it is given, and 0 for none;
  // a 304 keeps the length a 200 would carry.
  vex_http::copy_headers(plan, plan.status == 304, [&](const char* name, std::string_view value) {
    if (std::strcmp(name, "Content-Type") == 0) content_type = value;  // given with the body below
    else response.set_header(name, std::string(value));
  });
  if (plan.body_length == 0) {
    if (!content_type.empty()) response.set_header("Content-Type", content_type);  // an empty file
    return;
  }
  if (plan.source == vex_http::body_source::decoded && plan.send_body && !head_only) {
    // Decoded a chunk at a time as the library asks; a body that cannot be
    // given whole ends the connection, as its length was promised.
    auto decoded = std::make_shared<pooled_body>(plan);
    response.set_content_provider(plan.body_length, content_type,
                                  [decoded](size_t, size_t length, httplib::DataSink& sink) {
                                    const std::string_view chunk = decoded->next(length);
                                    return !chunk.empty() && sink.write(chunk.data(), chunk.size());
                                  });
    return;
  }
  // The bytes outlive the answer: embedded ones for the whole run, live
  // ones until the hub is done with the request. (A HEAD answer's body,
  // null when it would be decoded, is never asked for.)
  const char* body = plan.body;
  response.set_content_provider(plan.body_length, content_type,
                                [body](size_t offset, size_t length, httplib::DataSink& sink) {
                                  return body && sink.write(body + offset, length);
                                });
}

httplib_sender::httplib_sender() {
  // The library writes a body only while its own listening socket is
  // open; it has none, as the hub listens, so it is told of a stand-in.
  svr_sock_ = STDIN_FILENO;
  set_pre_routing_handler([](const httplib::Request&, httplib::Response& response) {
    write_plan(response);
    return httplib::Server::HandlerResponse::Handled;
  });
  // The library's last touches to the header block, taken back where the
  // plan says otherwise: the keep-alive limits it names are not the hub's,
  // and it adds Accept-Ranges to HEAD answers.
  set_post_routing_handler([](const httplib::Request&, httplib::Response& response) {
    response.headers.erase("Keep-Alive");
    bool accept_ranges = false;
    vex_http::copy_headers(current_answer->plan, false, [&accept_ranges](const char* name, std::string_view) {
      accept_ranges = accept_ranges || std::strcmp(name, "Accept-Ranges") == 0;
    });
    if (!accept_ranges) response.headers.erase("Accept-Ranges");
  });
}

}  // namespace

int main(int argc, char** argv) {
  httplib_sender sender;
  return run_server(argc, argv, "vex_example_server", sender);
}
