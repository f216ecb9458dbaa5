// The example server on GNU libmicrohttpd: the same site, command line and
// answers as the cpp-httplib one (server.cpp), from the same planner.
//
//   vex_example_server_microhttpd [--host 127.0.0.1] [--port N] [--dev-root DIR]
#include <arpa/inet.h>
#include <microhttpd.h>
#include <netinet/in.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "example_site.h"

namespace {

example_site site;

// The planner decodes the path itself, from the bytes the client sent.
size_t keep_escapes(void*, MHD_Connection*, char* text) { return std::strlen(text); }

// A body the library must never read: the stand-in for a 304's.
ssize_t no_body(void*, uint64_t, char*, size_t) { return MHD_CONTENT_READER_END_WITH_ERROR; }

// The response of a plan; the library writes Content-Length from its size.
MHD_Response* make_response(const vex_http::response_plan& plan, bool live) {
  // A 304 has no body but keeps the length a 200 would carry.
  if (plan.status == 304) return MHD_create_response_from_callback(plan.content_length, 4096, &no_body, nullptr, nullptr);
  // Embedded bytes stay where they are; live ones are copied, as they go
  // away when the request is answered. The library leaves the body out for HEAD.
  return MHD_create_response_from_buffer(plan.body_length, const_cast<char*>(plan.body),
                                         live && plan.body_length > 0 ? MHD_RESPMEM_MUST_COPY : MHD_RESPMEM_PERSISTENT);
}

MHD_Result answer(void*, MHD_Connection* connection, const char* url, const char* method, const char*, const char*,
                  size_t* upload_size, void** request_state) {
  static int headers_seen;
  if (*request_state == nullptr) {  // the first call has the headers only
    *request_state = &headers_seen;
    return MHD_YES;
  }
  if (*upload_size != 0) {  // a request body is never used
    *upload_size = 0;
    return MHD_YES;
  }
  const vex_http::request_headers headers = vex_http::read_request_headers(
      [connection](const char* name) -> std::optional<std::string_view> {
        const char* value = MHD_lookup_connection_value(connection, MHD_HEADER_KIND, name);
        if (!value) return std::nullopt;
        return std::string_view(value);
      });

  std::string live;
  vex_http::response_plan plan;
  site.answer(plan, method, url, headers, live);

  MHD_Response* response = make_response(plan, !live.empty());
  if (!response) return MHD_NO;
  for (size_t i = 0; i < plan.header_count; ++i) {
    if (std::strcmp(plan.headers[i].name, "Content-Length") == 0) continue;
    const std::string value(plan.headers[i].value);
    MHD_add_response_header(response, plan.headers[i].name, value.c_str());
  }
  const MHD_Result queued = MHD_queue_response(connection, static_cast<unsigned>(plan.status), response);
  MHD_destroy_response(response);
  std::fprintf(stderr, "%s %s %d %s\n", method, url, plan.status, vex_http::content_coding_name(plan.coding));
  std::fflush(stderr);
  return queued;
}

}  // namespace

int main(int argc, char** argv) {
  const char* program = "vex_example_server_microhttpd";
  const server_options options = parse_options(argc, argv, program);
  if (!site.start(options, program)) return 1;

  sockaddr_in6 address6{};
  sockaddr_in address4{};
  const sockaddr* address = nullptr;
  unsigned flags = MHD_USE_AUTO_INTERNAL_THREAD | MHD_USE_ERROR_LOG;
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
  MHD_Daemon* daemon =
      MHD_start_daemon(flags, static_cast<uint16_t>(options.port), nullptr, nullptr, &answer, nullptr,
                       MHD_OPTION_SOCK_ADDR, address, MHD_OPTION_UNESCAPE_CALLBACK, &keep_escapes, nullptr,
                       MHD_OPTION_END);
  const MHD_DaemonInfo* info = daemon ? MHD_get_daemon_info(daemon, MHD_DAEMON_INFO_BIND_PORT) : nullptr;
  if (!info || info->port == 0) {
    std::fprintf(stderr, "%s: cannot listen on %s port %ld\n", program, options.host.c_str(), options.port);
    return 1;
  }
  print_listening(options.host, info->port);
  for (;;) pause();  // the daemon's threads serve until the process is ended
}
