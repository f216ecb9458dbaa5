// The example server on Boost.Beast: the same site, command line and
// answers as the others, from the same planner, on Asio's asynchronous
// sockets. Each core runs a thread with an I/O context and a listening
// socket of its own on the same port (SO_REUSEPORT), so that the system
// spreads the connections and no connection is shared between threads.
//
//   vex_example_server_beast [--host 127.0.0.1] [--port N] [--dev-root DIR] [--quiet]
//                            [--fallback [PREFIX=]PATH]... [--error-page STATUS=PATH]...
//                            [--header 'NAME: VALUE']...
//
// A connection reads one request at a time into a buffer that keeps what
// follows it, so pipelined requests are answered in order. A body up to
// body_discard_limit is read and dropped; a longer one, or one the client
// holds back for a 100 (Continue), ends the connection after the answer, as
// does a request the parser refuses (400; 414 for a request line, 431 for
// a header block, that is too large).
#include <boost/asio/detail/socket_option.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/http.hpp>
#include <boost/optional.hpp>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <limits>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <utility>
#include <vector>

#include "example_site.h"

namespace {

namespace asio = boost::asio;
namespace beast = boost::beast;
namespace http = beast::http;
using tcp = asio::ip::tcp;

example_site site;
bool quiet = false;

// How long a connection may wait for the next request, and for a write.
constexpr auto idle_timeout = std::chrono::seconds(60);
constexpr auto write_timeout = std::chrono::seconds(30);

/// The body of an answer for Beast's serializer: the plan's bytes where
/// they are, or the identity bytes of a file held compressed only, decoded
/// a chunk at a time as the socket takes them.
struct plan_body {
  struct value_type {
    std::string_view bytes;                // when nothing is decoded
    std::unique_ptr<pooled_body> decoded;  // else
  };

  class writer {
   public:
    using const_buffers_type = asio::const_buffer;

    template <bool is_request, class fields_type>
    writer(const http::header<is_request, fields_type>&, const value_type& body) : body_(body) {}

    void init(beast::error_code& error) { error = {}; }

    boost::optional<std::pair<const_buffers_type, bool>> get(beast::error_code& error) {
      error = {};
      if (!body_.decoded) {
        if (given_ || body_.bytes.empty()) return boost::none;
        given_ = true;
        return std::pair{const_buffers_type(body_.bytes.data(), body_.bytes.size()), false};
      }
      const std::string_view chunk = body_.decoded->next();
      // A body that cannot be given whole ends the connection: its length was promised.
      if (chunk.empty()) {
        if (body_.decoded->body().failed()) error = beast::errc::make_error_code(beast::errc::io_error);
        return boost::none;
      }
      return std::pair{const_buffers_type(chunk.data(), chunk.size()), body_.decoded->body().left() > 0};
    }

   private:
    const value_type& body_;
    bool given_ = false;
  };
};

/// One connection: read a request, plan, write the answer, again.
class session : public std::enable_shared_from_this<session> {
 public:
  explicit session(tcp::socket&& socket) : stream_(std::move(socket)) {}

  void start() { read(); }

 private:
  using request_parser = http::request_parser<http::string_body>;
  using response = http::response<plan_body>;

  void read() {
    parser_.emplace();
    // The header block decides, below. (Beast 1.74 takes "no limit",
    // boost::none, for a limit of nothing at all.)
    parser_->body_limit(std::numeric_limits<uint64_t>::max());
    stream_.expires_after(idle_timeout);
    http::async_read_header(stream_, buffer_, *parser_,
                            beast::bind_front_handler(&session::on_header, shared_from_this()));
  }

  void on_header(beast::error_code error, size_t) {
    if (error) return refuse(error);
    if (parser_->is_done()) return answer(parser_->get(), false);
    // A body longer than is worth reading, or one the client sends only
    // after a 100 (Continue): answer the header block and end the
    // connection. A shorter one, or a chunked one up to the limit, is read
    // and dropped.
    if ((parser_->content_length() && *parser_->content_length() > body_discard_limit) ||
        beast::iequals(parser_->get()[http::field::expect], "100-continue"))
      return answer(parser_->get(), true);
    parser_->body_limit(body_discard_limit);
    http::async_read(stream_, buffer_, *parser_, beast::bind_front_handler(&session::on_body, shared_from_this()));
  }

  void on_body(beast::error_code error, size_t) {
    if (!error) return answer(parser_->get(), false);
    if (error == http::error::body_limit) return answer(parser_->get(), true);
    refuse(error);
  }

  // A request that ended in an error: the peer left, or the parser
  // refused it and what follows in the stream is unknown.
  void refuse(beast::error_code error) {
    if (error.category() != http::make_error_code(http::error::bad_target).category() ||
        error == http::error::end_of_stream || error == http::error::partial_message)
      return close();
    // Over the limit before the end of the request line, it is the target
    // that is too long (414), else the header fields (431).
    const std::string_view read(static_cast<const char*>(buffer_.cdata().data()), buffer_.size());
    const int status = error != http::error::header_limit ? 400 : read.find("\r\n") == read.npos ? 414 : 431;
    vex_http::response_plan plan;
    site.refuse(plan, "", status, live_);
    send(plan, 11, false, {}, {});
  }

  void answer(const http::request<http::string_body>& request, bool body_left) {
    vex_http::request_fields fields(request.version());
    for (const auto& field : request) fields.add(field.name_string(), field.value());
    const std::string_view method = request.method_string();
    const std::string_view target = request.target();
    vex_http::response_plan plan;
    site.answer(plan, method, target, fields.headers(), live_);
    const bool keep_alive = request.keep_alive() && !body_left && !plan.close_connection;
    send(plan, request.version(), keep_alive, method, target);
  }

  void send(const vex_http::response_plan& plan, unsigned version, bool keep_alive, std::string_view method,
            std::string_view target) {
    response_.emplace();
    response& answer = *response_;
    answer.version(version);
    answer.result(static_cast<unsigned>(plan.status));
    for (size_t i = 0; i < plan.header_count; ++i) answer.set(plan.headers[i].name, plan.headers[i].value);
    // The embedded bytes stay where they are; live ones are in live_ until
    // the write is done. A HEAD or body-less answer keeps its Content-Length.
    if (plan.send_body && plan.source == vex_http::body_source::decoded)
      answer.body().decoded = std::make_unique<pooled_body>(plan);
    else if (plan.send_body)
      answer.body().bytes = {plan.body, static_cast<size_t>(plan.body_length)};
    answer.keep_alive(keep_alive);
    if (!quiet) log_answer(method, target, plan.status, coding_of(plan));
    stream_.expires_after(write_timeout);
    http::async_write(stream_, answer, beast::bind_front_handler(&session::on_write, shared_from_this(), keep_alive));
  }

  void on_write(bool keep_alive, beast::error_code error, size_t) {
    response_.reset();
    if (error) return close();
    if (keep_alive) return read();
    linger();
  }

  // Ends a connection whose peer may still be sending (a body left
  // unread): the sending side is shut first and what arrives is read for a
  // moment, so that the system does not reset the connection and take the
  // answer with it.
  void linger() {
    beast::error_code ignored;
    stream_.socket().shutdown(tcp::socket::shutdown_send, ignored);
    stream_.expires_after(std::chrono::seconds(1));
    drain();
  }

  void drain() {
    stream_.async_read_some(asio::buffer(scratch_), [self = shared_from_this()](beast::error_code error, size_t) {
      if (error) return self->close();
      self->drain();
    });
  }

  void close() {
    beast::error_code ignored;
    stream_.socket().shutdown(tcp::socket::shutdown_both, ignored);
    stream_.socket().close(ignored);
  }

  beast::tcp_stream stream_;
  beast::flat_buffer buffer_;
  std::optional<request_parser> parser_;
  std::optional<response> response_;
  live_file live_;
  char scratch_[4096];
};

/// Accepts connections and serves them on its thread's context.
class listener : public std::enable_shared_from_this<listener> {
 public:
  explicit listener(tcp::acceptor&& acceptor) : acceptor_(std::move(acceptor)) {}

  void accept() { acceptor_.async_accept(beast::bind_front_handler(&listener::on_accept, shared_from_this())); }

 private:
  void on_accept(beast::error_code error, tcp::socket socket) {
    if (!error) {
      socket.set_option(tcp::no_delay(true), error);
      std::make_shared<session>(std::move(socket))->start();
    }
    accept();
  }

  tcp::acceptor acceptor_;
};

using reuse_port = asio::detail::socket_option::boolean<SOL_SOCKET, SO_REUSEPORT>;

/// Starts a socket listening on endpoint for context; the port it took, or
/// 0 with error set.
unsigned short listen_on(asio::io_context& context, const tcp::endpoint& endpoint, beast::error_code& error) {
  tcp::acceptor acceptor(context);
  acceptor.open(endpoint.protocol(), error);
  if (!error) acceptor.set_option(asio::socket_base::reuse_address(true), error);
  if (!error) acceptor.set_option(reuse_port(true), error);
  if (!error) acceptor.bind(endpoint, error);
  if (!error) acceptor.listen(asio::socket_base::max_listen_connections, error);
  const unsigned short port = error ? 0 : acceptor.local_endpoint(error).port();
  if (error) return 0;
  std::make_shared<listener>(std::move(acceptor))->accept();
  return port;
}

}  // namespace

int main(int argc, char** argv) {
  const char* program = "vex_example_server_beast";
  const server_options options = parse_options(argc, argv, program);
  if (!site.start(options, program)) return 1;
  quiet = options.quiet;

  beast::error_code error;
  const asio::ip::address address = asio::ip::make_address(options.host, error);
  if (error) {
    std::fprintf(stderr, "%s: not a numeric address: %s\n", program, options.host.c_str());
    return 2;
  }
  // One context per thread, each run by that thread alone.
  const unsigned threads = std::max(1u, std::thread::hardware_concurrency());
  std::vector<std::unique_ptr<asio::io_context>> contexts;
  tcp::endpoint endpoint(address, static_cast<unsigned short>(options.port));
  for (unsigned i = 0; i < threads && !error; ++i) {
    contexts.push_back(std::make_unique<asio::io_context>(1));
    endpoint.port(listen_on(*contexts.back(), endpoint, error));  // the first may pick a free port
  }
  if (error) {
    std::fprintf(stderr, "%s: cannot listen on %s port %ld\n", program, options.host.c_str(), options.port);
    return 1;
  }
  print_listening(options.host, endpoint.port());

  std::vector<std::thread> others;
  for (unsigned i = 1; i < threads; ++i) others.emplace_back([&context = *contexts[i]] { context.run(); });
  contexts[0]->run();
  for (std::thread& other : others) other.join();
}
