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
// Every answer comes from the kit's planner. What the library does not do
// for a server that must be exact, the adapter does around it:
// - Connections: the library reads each request through a stream of its
//   own and drops what that stream read ahead, which loses pipelined
//   requests. The server keeps one stream per connection, so the bytes of
//   the next requests stay; it sends the answers gathered when no further
//   request is waiting, with TCP_NODELAY.
// - Bodies: the library leaves a body it does not read in the stream,
//   where it would be taken for the next request. A body of known length
//   up to body_discard_limit is read and dropped; any other ends the
//   connection after the answer.
// - Errors: a request the library refuses itself (a method it does not
//   know, a Range it cannot parse) is planned again: 501 for an unknown
//   method, the plan for the Range (which HTTP says to ignore). When the
//   library stopped before reading the header block, the connection ends.
#include <httplib.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/uio.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

#include "example_site.h"

namespace {

example_site site;

// Each keep-alive connection holds one of the library's threads for as
// long as it lasts: this many connections are served at once, more wait.
constexpr size_t connection_threads = 128;

/// What the handlers of one request tell the connection's loop.
struct request_outcome {
  bool planned = false;       ///< the answer is a plan of the planner
  bool close = false;         ///< end the connection after the answer
  bool accept_ranges = false; ///< the plan has Accept-Ranges (the library adds it to HEAD answers)
  uint64_t discard = 0;       ///< bytes of body to drop before the next request
  bool bare_line_feed = false; ///< a line of the header block ends in LF alone
};
// The outcome of the request that this connection thread is answering.
thread_local request_outcome* current_outcome = nullptr;

/// One stream for every request of a connection. Reads go through a buffer
/// that outlives each request, so bytes read ahead belong to the next one;
/// writes are gathered and sent by flush, or when they grow large.
class connection_stream final : public httplib::Stream {
 public:
  static constexpr int timeout_ms = 5000;

  explicit connection_stream(socket_t socket) : socket_(socket) {}

  bool is_readable() const override { return start_ < end_ || wait(POLLIN, timeout_ms); }
  bool is_writable() const override { return wait(POLLOUT, timeout_ms); }

  ssize_t read(char* into, size_t size) override {
    if (start_ == end_) {
      const ssize_t count = fill(timeout_ms);
      if (count <= 0) return count;
    }
    const size_t taken = std::min(size, end_ - start_);
    std::memcpy(into, input_ + start_, taken);
    start_ += taken;
    // The library reads the request line and the header block only, and
    // skips a line that ends in LF alone, where other parsers take the
    // line: such a request is refused rather than read differently.
    for (size_t i = 0; i < taken; ++i) {
      if (into[i] == '\n' && last_read_ != '\r' && current_outcome) current_outcome->bare_line_feed = true;
      last_read_ = into[i];
    }
    return static_cast<ssize_t>(taken);
  }

  ssize_t write(const char* data, size_t size) override {
    if (output_.size() + size <= output_limit) {
      output_.append(data, size);
      return static_cast<ssize_t>(size);
    }
    return send_all(data, size) ? static_cast<ssize_t>(size) : -1;
  }

  void get_remote_ip_and_port(std::string& ip, int& port) const override { name(getpeername, ip, port); }
  void get_local_ip_and_port(std::string& ip, int& port) const override { name(getsockname, ip, port); }
  socket_t socket() const override { return socket_; }

  /// True when bytes of a next request are already here.
  bool has_input() const { return start_ < end_; }

  /// Waits up to timeout_ms for a next request; false when the peer closed.
  bool wait_for_request(int timeout) { return start_ < end_ || fill(timeout) > 0; }

  /// Drops count bytes of request body; false when they do not come.
  bool skip(uint64_t count) {
    while (count > 0) {
      if (start_ == end_ && fill(timeout_ms) <= 0) return false;
      const size_t taken = static_cast<size_t>(std::min<uint64_t>(count, end_ - start_));
      start_ += taken;
      count -= taken;
    }
    return true;
  }

  /// Sends what was written; false when the peer is gone.
  bool flush() { return send_all(nullptr, 0); }

  /// Ends the connection. When the peer may still be sending (a body left
  /// unread), the sending side is shut first and what arrives is read for
  /// a moment, so that the system does not reset the connection and take
  /// the answer with it.
  void close(bool peer_may_send) {
    if (peer_may_send) {
      ::shutdown(socket_, SHUT_WR);
      const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(1);
      while (std::chrono::steady_clock::now() < until && fill(100) > 0) start_ = end_;
    }
    ::close(socket_);
  }

 private:
  static constexpr size_t input_capacity = 16 * 1024;
  static constexpr size_t output_limit = 64 * 1024;

  bool wait(short events, int timeout) const {
    pollfd descriptor{socket_, events, 0};
    return ::poll(&descriptor, 1, timeout) > 0;
  }

  // Reads what the socket has into the empty buffer: a count, 0 at the
  // end of the stream, -1 after an error or a timeout.
  ssize_t fill(int timeout) {
    start_ = end_ = 0;
    if (!wait(POLLIN, timeout)) return -1;
    const ssize_t count = ::recv(socket_, input_, input_capacity, 0);
    if (count > 0) end_ = static_cast<size_t>(count);
    return count;
  }

  // Sends the gathered output and then data, in one call when the socket takes it.
  bool send_all(const char* data, size_t size) {
    size_t gathered = output_.size();
    iovec parts[2] = {{output_.data(), gathered}, {const_cast<char*>(data), size}};
    while (gathered + size > 0) {
      msghdr message{};
      message.msg_iov = gathered > 0 ? parts : parts + 1;
      message.msg_iovlen = gathered > 0 ? 2 : 1;
      const ssize_t sent = ::sendmsg(socket_, &message, MSG_NOSIGNAL);
      if (sent < 0 && errno == EINTR) continue;
      if (sent <= 0) {
        output_.clear();
        return false;
      }
      size_t count = static_cast<size_t>(sent);
      const size_t from_gathered = std::min(count, gathered);
      parts[0].iov_base = static_cast<char*>(parts[0].iov_base) + from_gathered;
      parts[0].iov_len = gathered -= from_gathered;
      count -= from_gathered;
      parts[1].iov_base = static_cast<char*>(parts[1].iov_base) + count;
      parts[1].iov_len = size -= count;
    }
    output_.clear();
    return true;
  }

  // The connection's addresses, found once: the library asks for them at every request.
  void name(int (*get)(int, sockaddr*, socklen_t*), std::string& ip, int& port) const {
    std::string& known_ip = get == getpeername ? peer_ip_ : local_ip_;
    int& known_port = get == getpeername ? peer_port_ : local_port_;
    if (known_ip.empty()) {
      sockaddr_storage address{};
      socklen_t length = sizeof address;
      char host[NI_MAXHOST];
      char service[NI_MAXSERV];
      if (get(socket_, reinterpret_cast<sockaddr*>(&address), &length) == 0 &&
          getnameinfo(reinterpret_cast<sockaddr*>(&address), length, host, sizeof host, service, sizeof service,
                      NI_NUMERICHOST | NI_NUMERICSERV) == 0) {
        known_ip = host;
        known_port = std::atoi(service);
      }
    }
    ip = known_ip;
    port = known_port;
  }

  socket_t socket_;
  char input_[input_capacity];
  size_t start_ = 0;
  size_t end_ = 0;
  char last_read_ = 0;
  std::string output_;
  mutable std::string peer_ip_, local_ip_;
  mutable int peer_port_ = 0, local_port_ = 0;
};

/// The library's server, with connections that keep their bytes.
class example_server final : public httplib::Server {
 public:
  /// The library listens with a backlog of 5: a burst of new connections
  /// beyond it waits a second for the client to try again. The system takes
  /// a second listen as a new backlog.
  void widen_backlog() { ::listen(svr_sock_, SOMAXCONN); }

 private:
  bool process_and_close_socket(socket_t socket) override {
    const int on = 1;
    setsockopt(socket, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    const timeval send_timeout{connection_stream::timeout_ms / 1000, 0};
    setsockopt(socket, SOL_SOCKET, SO_SNDTIMEO, &send_timeout, sizeof send_timeout);
    connection_stream stream(socket);
    bool peer_may_send = false;
    for (size_t left = keep_alive_max_count_; left > 0; --left) {
      if (svr_sock_ == INVALID_SOCKET ||
          !stream.wait_for_request(static_cast<int>(keep_alive_timeout_sec_ * 1000)))
        break;
      request_outcome outcome;
      current_outcome = &outcome;
      bool client_closes = false;
      const bool answered = process_request(stream, left == 1, client_closes, nullptr);
      current_outcome = nullptr;
      if (!answered || client_closes || outcome.close) {
        peer_may_send = answered && outcome.close;
        break;
      }
      // A client that sent Expect: 100-continue waits for the interim answer.
      if (outcome.discard > 0 && (!stream.flush() || !stream.skip(outcome.discard))) break;
      if (!stream.has_input() && !stream.flush()) break;
    }
    stream.flush();
    stream.close(peer_may_send);
    return true;
  }
};

/// Hands a plan to the library's response.
void send_plan(const httplib::Request& request, httplib::Response& response, const vex_http::response_plan& plan,
               std::shared_ptr<live_file> live) {
  // The plan has settled any range: the library must not apply its own.
  const_cast<httplib::Request&>(request).ranges.clear();
  response.headers.clear();
  response.body.clear();
  response.status = plan.status;
  std::string content_type;
  for (size_t i = 0; i < plan.header_count; ++i) {
    const std::string_view name = plan.headers[i].name;
    if (name == "Content-Type") content_type = plan.headers[i].value;  // given with the body below
    // The library writes the length of the body it is given, and 0 for none;
    // a 304 keeps the length a 200 would carry.
    else if (name != "Content-Length" || plan.status == 304)
      response.set_header(plan.headers[i].name, std::string(plan.headers[i].value));
  }
  request_outcome& outcome = *current_outcome;
  outcome.planned = true;
  outcome.accept_ranges = response.has_header("Accept-Ranges");
  outcome.close = outcome.close || plan.close_connection;
  if (plan.body_length == 0) {
    if (!content_type.empty()) response.set_header("Content-Type", content_type);  // an empty file
    return;
  }
  if (plan.source == vex_http::body_source::decoded && plan.send_body) {
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
  // The embedded bytes live for the whole run and are sent from where they
  // are; live bytes are kept by the provider until it is done. (A HEAD
  // answer's body, null when it would be decoded, is never asked for.)
  const char* body = plan.body;
  response.set_content_provider(plan.body_length, content_type,
                                [body, live](size_t offset, size_t length, httplib::DataSink& sink) {
                                  return body && sink.write(body + offset, length);
                                });
}

/// Answers a request whose header block the library has read.
void serve(const httplib::Request& request, httplib::Response& response) {
  vex_http::request_fields fields(request.version == "HTTP/1.0" ? 10 : 11);
  for (const auto& [name, value] : request.headers) fields.add(name, value);
  const vex_http::request_body body = fields.body();
  request_outcome& outcome = *current_outcome;
  if (body.kind == vex_http::request_body::sized && body.size <= body_discard_limit) outcome.discard = body.size;
  else if (body.kind != vex_http::request_body::none) outcome.close = true;

  auto live = std::make_shared<live_file>();
  vex_http::response_plan plan;
  if (outcome.bare_line_feed) {
    site.refuse(plan, request.method, 400, *live);
    plan.close_connection = true;
  } else {
    site.answer(plan, request.method, request.target, fields.headers(), *live);
  }
  send_plan(request, response, plan, std::move(live));
}

/// Answers a request that the library refused itself.
httplib::Server::HandlerResponse answer_refusal(const httplib::Request& request, httplib::Response& response) {
  if (current_outcome == nullptr || current_outcome->planned) return httplib::Server::HandlerResponse::Unhandled;
  // Only a Range the library cannot parse is refused after the header block
  // was read (its 416); the plan ignores such a header, as HTTP requires.
  if (response.status == 416 && request.has_header("Range")) {
    serve(request, response);
    return httplib::Server::HandlerResponse::Handled;
  }
  // Anything else stopped in the request line or the header block: what
  // follows in the stream is unknown, so the connection ends.
  const bool line_read = request.version == "HTTP/1.1" || request.version == "HTTP/1.0";
  const int status = line_read && vex_http::method_status(request.method) == 501 ? 501 : response.status;
  auto live = std::make_shared<live_file>();
  vex_http::response_plan plan;
  site.refuse(plan, request.method, status, *live);
  current_outcome->close = true;
  send_plan(request, response, plan, std::move(live));
  return httplib::Server::HandlerResponse::Handled;
}

}  // namespace

int main(int argc, char** argv) {
  const server_options options = parse_options(argc, argv, "vex_example_server");
  if (!site.start(options, "vex_example_server")) return 1;

  example_server server;
  server.new_task_queue = [] { return new httplib::ThreadPool(connection_threads); };
  server.set_keep_alive_max_count(1000);
  // Every request is planned before any route: the planner answers all
  // methods and never reads a body.
  server.set_pre_routing_handler([](const httplib::Request& request, httplib::Response& response) {
    serve(request, response);
    return httplib::Server::HandlerResponse::Handled;
  });
  server.set_error_handler(httplib::Server::HandlerWithResponse(answer_refusal));
  // The library's last touches to the header block, taken back where the
  // plan says otherwise.
  server.set_post_routing_handler([](const httplib::Request&, httplib::Response& response) {
    if (current_outcome == nullptr) return;
    if (current_outcome->close) {
      // The library may have said so already, for a client that asked.
      response.headers.erase("Keep-Alive");
      response.headers.erase("Connection");
      response.set_header("Connection", "close");
    }
    if (!current_outcome->accept_ranges) response.headers.erase("Accept-Ranges");
  });
  if (!options.quiet) {
    server.set_logger([](const httplib::Request& request, const httplib::Response& response) {
      log_answer(request.method, request.target, response.status, response.get_header_value("Content-Encoding"));
    });
  }

  int bound = -1;
  if (options.port == 0) bound = server.bind_to_any_port(options.host);
  else if (server.bind_to_port(options.host, static_cast<int>(options.port))) bound = static_cast<int>(options.port);
  if (bound <= 0) {
    std::fprintf(stderr, "vex_example_server: cannot listen on %s port %ld\n", options.host.c_str(), options.port);
    return 1;
  }
  server.widen_backlog();
  print_listening(options.host, bound);
  return server.listen_after_bind() ? 0 : 1;
}
