// A small HTTP/1.1 server whose whole site is compiled into it, on
// cpp-httplib.
//
//   vex_example_server [--host 127.0.0.1] [--port N] [--dev-root DIR]
//
// Port 0 (the default) lets the system pick a free port. The first line on
// stdout is "listening on http://HOST:PORT/"; every request is then logged
// to stderr as "METHOD TARGET STATUS CODING". --dev-root serves the live files of
// DIR (the embedded tree's source) instead of the embedded bytes.
//
// Every answer comes from the kit's planner. cpp-httplib answers a few
// requests itself before any handler runs (a Range header it cannot parse
// gets 416); its error handler sees those answers and replaces them with
// the plan, so that such a header is ignored as HTTP requires.
#include <httplib.h>

#include <cstdio>
#include <memory>
#include <string>

#include "example_site.h"

namespace {

example_site site;

void serve(const httplib::Request& request, httplib::Response& response) {
  const vex_http::request_headers headers = vex_http::read_request_headers(
      [&request](const char* name) -> std::optional<std::string_view> {
        const auto found = request.headers.find(name);
        if (found == request.headers.end()) return std::nullopt;
        return std::string_view(found->second);
      });

  auto live = std::make_shared<std::string>();
  vex_http::response_plan plan;
  site.answer(plan, request.method, request.target, headers, *live);

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
  if (plan.body_length == 0) {
    if (!content_type.empty()) response.set_header("Content-Type", content_type);  // an empty file
    return;
  }
  // The embedded bytes live for the whole run and are sent from where they
  // are; live bytes are kept by the provider until it is done.
  const char* body = plan.body;
  response.set_content_provider(plan.body_length, content_type,
                                [body, live](size_t offset, size_t length, httplib::DataSink& sink) {
                                  return sink.write(body + offset, length);
                                });
}

}  // namespace

int main(int argc, char** argv) {
  const server_options options = parse_options(argc, argv, "vex_example_server");
  if (!site.start(options, "vex_example_server")) return 1;

  httplib::Server server;
  server.Get(".*", serve);  // HEAD too: the library leaves out the body
  // Requests that may carry a body reach the planner before it is read.
  const auto with_body = [](const httplib::Request& request, httplib::Response& response,
                            const httplib::ContentReader&) { serve(request, response); };
  server.Post(".*", with_body);
  server.Put(".*", with_body);
  server.Patch(".*", with_body);
  server.Delete(".*", with_body);
  server.Options(".*", serve);
  server.set_error_handler(httplib::Server::HandlerWithResponse(
      [](const httplib::Request& request, httplib::Response& response) {
        if (response.status != 416) return httplib::Server::HandlerResponse::Unhandled;
        serve(request, response);  // the plan of a handler is planned again to the same answer
        return httplib::Server::HandlerResponse::Handled;
      }));
  server.set_logger([](const httplib::Request& request, const httplib::Response& response) {
    const std::string encoding = response.get_header_value("Content-Encoding");
    std::fprintf(stderr, "%s %s %d %s\n", request.method.c_str(), request.target.c_str(), response.status,
                 encoding.empty() ? "identity" : encoding.c_str());
    std::fflush(stderr);
  });

  int bound = -1;
  if (options.port == 0) bound = server.bind_to_any_port(options.host);
  else if (server.bind_to_port(options.host, static_cast<int>(options.port))) bound = static_cast<int>(options.port);
  if (bound <= 0) {
    std::fprintf(stderr, "vex_example_server: cannot listen on %s port %ld\n", options.host.c_str(), options.port);
    return 1;
  }
  print_listening(options.host, bound);
  return server.listen_after_bind() ? 0 : 1;
}
