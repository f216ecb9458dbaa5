#pragma once
// What both example servers share: the command line, and the answer to one
// request from the embedded files or, in development mode, from the live
// files of the source tree.
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "vex_resource_builder/dev_files.h"
#include "vex_resource_builder/response_plan.h"
#include "vex_resources.h"

/// The command line: [--host HOST] [--port N] [--dev-root DIR].
struct server_options {
  std::string host = "127.0.0.1";
  long port = 0;                  ///< 0: the system picks a free port
  const char* dev_root = nullptr; ///< serve the live files below this directory
};

[[noreturn]] inline void usage(const char* program, int status) {
  std::fprintf(status == 0 ? stdout : stderr, "usage: %s [--host HOST] [--port N] [--dev-root DIR]\n", program);
  std::exit(status);
}

inline server_options parse_options(int argc, char** argv, const char* program) {
  server_options options;
  for (int i = 1; i < argc; ++i) {
    const std::string_view argument = argv[i];
    if (argument == "--help" || argument == "-h") usage(program, 0);
    if (i + 1 >= argc) usage(program, 2);
    if (argument == "--host") {
      options.host = argv[++i];
    } else if (argument == "--port") {
      char* end = nullptr;
      options.port = std::strtol(argv[++i], &end, 10);
      if (*argv[i] == 0 || *end != 0 || options.port < 0 || options.port > 65535) usage(program, 2);
    } else if (argument == "--dev-root") {
      options.dev_root = argv[++i];
    } else {
      usage(program, 2);
    }
  }
  return options;
}

/// The site: the embedded records, and the live tree in development mode.
class example_site {
 public:
  /// Sorts the records and opens the live tree; false, with a message, when
  /// the tree cannot be opened.
  bool start(const server_options& options, const char* program) {
    vex_res::sort_all();
    live_ = options.dev_root != nullptr;
    if (live_ && !tree_.open(options.dev_root)) {
      std::fprintf(stderr, "%s: cannot open the development tree %s\n", program, options.dev_root);
      return false;
    }
    return true;
  }

  /// Plans the answer to a request. In development mode the body lies in
  /// live, which must outlive the sending.
  void answer(vex_http::response_plan& plan, std::string_view method, std::string_view target,
              const vex_http::request_headers& headers, std::string& live) const {
    const vex_http::site site{vex_res_arrays, vex_res_arrays_length, vex_res_extras::all, vex_res_extras::all_length};
    if (!live_) return vex_http::plan_request(plan, method, target, headers, site, vex_http::immutable_when_hashed);
    char path[vex_http::path_capacity];
    const vex_http::target_route route = vex_http::route_target(method, target, site, path);
    if (route.status != 200) return vex_http::plan_route_failure(plan, method, route);
    vex_http::live_read read{vex_http::live_read::too_small, 0, 0};
    while (read.status == vex_http::live_read::too_small) {
      live.resize(read.size);
      read = tree_.read(route.path, live.data(), live.size());
    }
    if (read.status != vex_http::live_read::ok) {
      const vex_http::target_route gone{404, nullptr, route.path};
      return vex_http::plan_route_failure(plan, method, gone);
    }
    const vex_http::entity file{route.resource, live.data(), read.size, read.modified};
    // Live files change under the browser: it must always ask again.
    vex_http::plan_entity(plan, method, file, headers, [](const vex_resource*) { return "no-cache"; });
  }

 private:
  bool live_ = false;
  vex_http::dev_tree tree_;
};

/// The first line on stdout, flushed at once so that a script can read the port.
inline void print_listening(const std::string& host, int port) {
  const bool ipv6 = host.find(':') != std::string::npos;
  std::printf("listening on http://%s%s%s:%d/\n", ipv6 ? "[" : "", host.c_str(), ipv6 ? "]" : "", port);
  std::fflush(stdout);
}
