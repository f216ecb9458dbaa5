// The example server on GNU libmicrohttpd: the same site, command line and
// answers as the cpp-httplib one (server.cpp), from the same planner.
//
//   vex_example_server_microhttpd [--host 127.0.0.1] [--port N] [--dev-root DIR] [--quiet]
//                                 [--fallback [PREFIX=]PATH]... [--error-page STATUS=PATH]...
//                                 [--header 'NAME: VALUE']...
//
// The library reads request bodies and handles keep-alive and pipelining
// itself; the adapter takes the request target as the client sent it (the
// library's URL has lost its query and its escapes) and every field line.
#include <arpa/inet.h>
#include <microhttpd.h>
#include <netinet/in.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <thread>

#include "example_site.h"

namespace {

example_site site;
bool quiet = false;

/// What the library keeps for one request between the calls of the handler.
struct request_state {
  std::string target;  ///< as the client sent it
  bool headers_seen = false;
};

// Called with the request target before the library parses it.
void* keep_target(void*, const char* target, MHD_Connection*) { return new request_state{target}; }

void forget_request(void*, MHD_Connection*, void** state, MHD_RequestTerminationCode) {
  delete static_cast<request_state*>(*state);
  *state = nullptr;
}

MHD_Result add_field(void* fields, MHD_ValueKind, const char* name, size_t name_size, const char* value,
                     size_t value_size) {
  static_cast<vex_http::request_fields*>(fields)->add(std::string_view(name, name_size),
                                                      value ? std::string_view(value, value_size) : std::string_view());
  return MHD_YES;
}

// A body the library must never read: the stand-in for a 304's.
ssize_t no_body(void*, uint64_t, char*, size_t) { return MHD_CONTENT_READER_END_WITH_ERROR; }

// The next bytes of a decoded body; one that cannot be given whole ends
// the connection, as its length was promised.
ssize_t read_decoded(void* body, uint64_t, char* out, size_t capacity) {
  const size_t count = static_cast<pooled_body*>(body)->body().read(out, capacity);
  return count > 0 ? static_cast<ssize_t>(count) : MHD_CONTENT_READER_END_WITH_ERROR;
}

void drop_decoded(void* body) { delete static_cast<pooled_body*>(body); }

// The response of a plan; the library writes Content-Length from its size.
MHD_Response* make_response(const vex_http::response_plan& plan, bool live) {
  // A 304 has no body but keeps the length a 200 would carry; nor has the
  // answer to HEAD, which the library never reads.
  const bool decoded = plan.source == vex_http::body_source::decoded;
  if (plan.status == 304 || (decoded && !plan.send_body))
    return MHD_create_response_from_callback(plan.content_length, 4096, &no_body, nullptr, nullptr);
  // Decoded a chunk at a time into the library's buffer, as it sends.
  if (decoded) {
    auto* body = new pooled_body(plan);
    MHD_Response* response = MHD_create_response_from_callback(plan.body_length, decode_slot::chunk_size,
                                                               &read_decoded, body, &drop_decoded);
    if (!response) delete body;
    return response;
  }
  // Embedded bytes stay where they are; live ones are copied, as they go
  // away when the request is answered. The library leaves the body out for HEAD.
  return MHD_create_response_from_buffer(plan.body_length, const_cast<char*>(plan.body),
                                         live && plan.body_length > 0 ? MHD_RESPMEM_MUST_COPY : MHD_RESPMEM_PERSISTENT);
}

MHD_Result answer(void*, MHD_Connection* connection, const char*, const char* method, const char* version,
                  const char*, size_t* upload_size, void** state_pointer) {
  request_state& state = *static_cast<request_state*>(*state_pointer);
  vex_http::request_fields fields(std::strcmp(version, "HTTP/1.0") == 0 ? 10 : 11);
  MHD_get_connection_values_n(connection, MHD_HEADER_KIND, &add_field, &fields);
  // A body whose end is unknown (a transfer coding, or framing in doubt) is
  // answered at once, which ends the connection: the library reads plain
  // chunked bodies only, and would wait for the end of any other.
  const bool end_unknown = fields.body().kind == vex_http::request_body::unsized;
  if (!state.headers_seen && !end_unknown) {  // the first call has the header block only
    state.headers_seen = true;
    return MHD_YES;
  }
  if (*upload_size != 0 && !end_unknown) {  // a request body is read and dropped
    *upload_size = 0;
    return MHD_YES;
  }

  live_file live;
  vex_http::response_plan plan;
  site.answer(plan, method, state.target, fields.headers(), live);

  MHD_Response* response = make_response(plan, !live.bytes.empty());
  if (!response) return MHD_NO;
  // Before Date: the library forgets that a response has a Date of its own
  // when Connection is added after it, and sends a second one.
  if (plan.close_connection || end_unknown) MHD_add_response_header(response, "Connection", "close");
  for (size_t i = 0; i < plan.header_count; ++i) {
    if (std::strcmp(plan.headers[i].name, "Content-Length") == 0) continue;
    const std::string value(plan.headers[i].value);
    MHD_add_response_header(response, plan.headers[i].name, value.c_str());
  }
  const MHD_Result queued = MHD_queue_response(connection, static_cast<unsigned>(plan.status), response);
  MHD_destroy_response(response);
  if (!quiet) log_answer(method, state.target, plan.status, coding_of(plan));
  return queued;
}

}  // namespace

int main(int argc, char** argv) {
  const char* program = "vex_example_server_microhttpd";
  const server_options options = parse_options(argc, argv, program);
  if (!site.start(options, program)) return 1;
  quiet = options.quiet;

  sockaddr_in6 address6{};
  sockaddr_in address4{};
  const sockaddr* address = nullptr;
  // poll(), not epoll: with epoll the library misses a client's end of
  // sending and holds the connection until it times out.
  unsigned flags = MHD_USE_POLL_INTERNAL_THREAD | MHD_USE_ERROR_LOG;
  if (inet_pton(AF_INET, options.host.c_str(), &address4.sin_addr) == 1) {
    address4.sin_family = AF_INET;
    address4.sin_port = htons(static_cast<uint16_t>(options.port));
    address = reinterpret_cast<const sockaddr*>(&address4);
  } else if (inet_pton(AF_INET6, options.host.c_str(), &address6.sin6_addr) == 1) {
    address6.sin6_family = AF_INET6;
    address6.sin6_port = htons(static_cast<uint16_t>(options.port));
    address = reinterpret_cast<const sockaddr*>(&address6);
    flags |= MHD_USE_IPv6;
  } else {
    std::fprintf(stderr, "%s: not a numeric address: %s\n", program, options.host.c_str());
    return 2;
  }
  // One polling thread per core; an idle keep-alive connection is closed after a minute.
  const unsigned threads = std::max(1u, std::thread::hardware_concurrency());
  MHD_Daemon* daemon = MHD_start_daemon(
      flags, static_cast<uint16_t>(options.port), nullptr, nullptr, &answer, nullptr, MHD_OPTION_SOCK_ADDR, address,
      MHD_OPTION_URI_LOG_CALLBACK, &keep_target, nullptr, MHD_OPTION_NOTIFY_COMPLETED, &forget_request, nullptr,
      MHD_OPTION_THREAD_POOL_SIZE, threads, MHD_OPTION_CONNECTION_TIMEOUT, 60u, MHD_OPTION_END);
  const MHD_DaemonInfo* info = daemon ? MHD_get_daemon_info(daemon, MHD_DAEMON_INFO_BIND_PORT) : nullptr;
  if (!info || info->port == 0) {
    std::fprintf(stderr, "%s: cannot listen on %s port %ld\n", program, options.host.c_str(), options.port);
    return 1;
  }
  print_listening(options.host, info->port);
  for (;;) pause();  // the daemon's threads serve until the process is ended
}
