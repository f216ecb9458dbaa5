#pragma once
// What the example servers share: the command line, the answer to one
// request from the embedded files or, in development mode, from the live
// files of the source tree, and the request log. HTML pages may be
// templates that link to the other files by their content-hashed paths.
// Files held compressed only are decoded for the clients that need it.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "vex_resource_builder/decoded_body.h"
#include "vex_resource_builder/dev_files.h"
#include "vex_resource_builder/request_fields.h"
#include "vex_resource_builder/response_plan.h"
#include "example_site_options.h"
#include "vex_resources.h"

/// The command line: [--host HOST] [--port N] [--dev-root DIR] [--quiet]
/// [--fallback [PREFIX=]PATH]... [--error-page STATUS=PATH]...
/// [--header "NAME: VALUE"]..., after the options built in (see
/// example_site_options.h).
struct server_options {
  std::string host = "127.0.0.1";
  long port = 0;                  ///< 0: the system picks a free port
  const char* dev_root = nullptr; ///< serve the live files below this directory
  bool quiet = false;             ///< no request log
  std::vector<std::pair<std::string, std::string>> fallbacks;  ///< prefix, path
  std::vector<std::pair<int, std::string>> error_pages;        ///< status, path
  std::vector<std::pair<std::string, std::string>> headers;    ///< name, value
};

[[noreturn]] inline void usage(const char* program, int status) {
  std::fprintf(status == 0 ? stdout : stderr,
               "usage: %s [--host HOST] [--port N] [--dev-root DIR] [--quiet]\n"
               "       [--fallback [PREFIX=]PATH]... [--error-page STATUS=PATH]... [--header 'NAME: VALUE']...\n",
               program);
  std::exit(status);
}

[[noreturn]] inline void refuse_option(const char* program, const char* option, std::string_view value,
                                       const char* why) {
  std::fprintf(stderr, "%s: %s %.*s: %s\n", program, option, static_cast<int>(value.size()), value.data(), why);
  std::exit(2);
}

/// Splits a --header value, "NAME: VALUE", into line; the reason when it
/// cannot be a header of the site's own.
inline const char* read_header_option(std::string_view text, std::pair<std::string, std::string>& line) {
  const size_t colon = text.find(':');
  const std::string_view name = text.substr(0, colon);
  const std::string_view value = vex_http::negotiation_detail::trimmed(
      colon == std::string_view::npos ? std::string_view() : text.substr(colon + 1));
  if (name.empty() || !vex_http::fields_detail::is_token(name) || value.empty()) return "give NAME: VALUE";
  for (const char c : value)
    if ((static_cast<unsigned char>(c) < 0x20 && c != '\t') || c == 0x7f) return "the value holds a control byte";
  // The planner's own headers, and those of the connection, are the server's to send.
  for (const char* own : {"Date", "X-Content-Type-Options", "Content-Type", "Content-Length", "Content-Encoding",
                          "Content-Range", "Cache-Control", "ETag", "Last-Modified", "Vary", "Accept-Ranges", "Allow",
                          "Location", "Connection", "Keep-Alive", "Transfer-Encoding"})
    if (vex_http::negotiation_detail::same_token(name, own)) return "the server writes this header itself";
  line = {std::string(name), std::string(value)};
  return nullptr;
}

/// Reads the options of the site's answers beyond its files: --fallback,
/// --error-page and --header; false for another option.
inline bool read_site_option(server_options& options, std::string_view option, std::string_view value,
                             const char* program) {
  if (option == "--fallback") {
    const size_t equals = value.find('=');
    std::pair<std::string, std::string> rule{"/", std::string(value)};
    if (equals != std::string_view::npos) rule = {std::string(value.substr(0, equals)), std::string(value.substr(equals + 1))};
    if (rule.first.empty() || rule.first[0] != '/' || rule.second.empty() || rule.second[0] != '/')
      refuse_option(program, "--fallback", value, "the prefix and the path start with /");
    options.fallbacks.push_back(rule);
  } else if (option == "--error-page") {
    const size_t equals = value.find('=');
    const int status = equals == 3 ? std::atoi(std::string(value.substr(0, 3)).c_str()) : 0;
    if (status < 400 || status > 599 || value.size() < 5 || value[4] != '/')
      refuse_option(program, "--error-page", value, "give STATUS=PATH, a status from 400 to 599 and a path from /");
    options.error_pages.emplace_back(status, std::string(value.substr(4)));
  } else if (option == "--header") {
    std::pair<std::string, std::string> line;
    if (const char* why = read_header_option(value, line)) refuse_option(program, "--header", value, why);
    if (options.headers.size() == vex_http::max_site_headers)
      refuse_option(program, "--header", value, "more headers than the planner sends for a site");
    options.headers.push_back(line);
  } else {
    return false;
  }
  return true;
}

inline server_options parse_options(int argc, char** argv, const char* program) {
  server_options options;
  // The options built in come first, as if they began the command line.
  for (const char* const* at = built_in_site_options; at[0] && at[1]; at += 2)
    if (!read_site_option(options, at[0], at[1], program)) usage(program, 2);
  for (int i = 1; i < argc; ++i) {
    const std::string_view argument = argv[i];
    if (argument == "--help" || argument == "-h") usage(program, 0);
    if (argument == "--quiet") {
      options.quiet = true;
      continue;
    }
    if (i + 1 >= argc) usage(program, 2);
    if (argument == "--host") {
      options.host = argv[++i];
    } else if (argument == "--port") {
      char* end = nullptr;
      options.port = std::strtol(argv[++i], &end, 10);
      if (*argv[i] == 0 || *end != 0 || options.port < 0 || options.port > 65535) usage(program, 2);
    } else if (argument == "--dev-root") {
      options.dev_root = argv[++i];
    } else if (!read_site_option(options, argument, argv[++i], program)) {
      usage(program, 2);
    }
  }
  return options;
}

/// What an answer in development mode points into: the live bytes and
/// their entity tag. It must outlive the sending.
struct live_file {
  std::string bytes;
  char etag[vex_http::live_etag_capacity] = {};
  vex_resource_extras extras = {};
};

/// Renders a page template: every "{{/path}}" becomes the content-hashed
/// path of the resource at /path, which browsers may cache for good (an
/// unknown path stays as it is). A page without marks stays as it is.
inline std::string render_page(std::string_view page) {
  std::string out;
  for (size_t at = 0;;) {
    const size_t open = page.find("{{/", at);
    const size_t close = open == std::string_view::npos ? open : page.find("}}", open);
    if (close == std::string_view::npos) return out.append(page.substr(at));
    out.append(page.substr(at, open - at));
    out.append(vex_res_manifest::hashed_path(std::string(page.substr(open + 2, close - open - 2)).c_str()));
    at = close + 2;
  }
}

/// True for the pages rendered as templates: HTML with a mark in it.
inline bool is_template(const vex_resource* resource, std::string_view bytes) {
  return resource->content_type == HTTP_CONTENT_TYPE_TEXT_HTML && bytes.find("{{/") != std::string_view::npos;
}

/// What decoding one answer takes: a reader, and for a library that sends
/// from a buffer of the adapter's, the chunk it decodes into. A large
/// chunk means few sends, and each send costs the kernel about as much as
/// its bytes do.
struct decode_slot {
  static constexpr size_t chunk_size = 128 * 1024;
  vex_http::identity_reader reader;
  std::unique_ptr<char[]> chunk;  // made at its first use

  char* chunk_memory() {
    if (!chunk) chunk = std::make_unique<char[]>(chunk_size);
    return chunk.get();
  }
};

/// The slots of the answers decoded from files held compressed only. One
/// given back is kept for the next answer, up to as many as have been
/// decoding at once (64 at most), so that a busy server allocates none and
/// a device that meets few clients of identity keeps few.
class slot_pool {
 public:
  std::unique_ptr<decode_slot> take() {
    std::lock_guard<std::mutex> lock(mutex_);
    if (idle_.empty()) return std::make_unique<decode_slot>();
    std::unique_ptr<decode_slot> slot = std::move(idle_.back());
    idle_.pop_back();
    return slot;
  }

  void give(std::unique_ptr<decode_slot> slot) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (idle_.size() < kept) idle_.push_back(std::move(slot));
  }

 private:
  static constexpr size_t kept = 64;
  std::mutex mutex_;
  std::vector<std::unique_ptr<decode_slot>> idle_;
};

inline slot_pool decode_slots;

/// The body of a decoded answer, with a slot of the pool that goes back
/// when the body is dropped.
class pooled_body {
 public:
  explicit pooled_body(const vex_http::response_plan& plan)
      : slot_(decode_slots.take()), body_(slot_->reader, plan) {}
  ~pooled_body() { decode_slots.give(std::move(slot_)); }
  pooled_body(const pooled_body&) = delete;
  pooled_body& operator=(const pooled_body&) = delete;

  vex_http::decoded_body& body() { return body_; }

  /// Decodes the next chunk, at most capacity bytes, into the slot's
  /// chunk; empty at the end, and when the body fails (body().failed()).
  std::string_view next(size_t capacity = decode_slot::chunk_size) {
    char* chunk = slot_->chunk_memory();
    return {chunk, body_.read(chunk, std::min(capacity, decode_slot::chunk_size))};
  }

 private:
  std::unique_ptr<decode_slot> slot_;
  vex_http::decoded_body body_;
};

/// The text of an embedded page when it is a template. A page held
/// compressed only is decoded a chunk at a time until a mark shows, and
/// then whole: only templates are ever held decoded.
inline bool embedded_template(const vex_resource* resource, std::string& text) {
  if (resource->content_type != HTTP_CONTENT_TYPE_TEXT_HTML) return false;
  const vex_resource_extras* extras =
      vex_res_extras_find(vex_res_extras::all, vex_res_extras::all_length, resource->path_root_a);
  const vex_http::stored_body stored = vex_http::stored_body_of(resource, extras);
  if (stored.coding == vex_http::content_coding::identity) {
    const std::string_view bytes(resource->data, resource->size);
    if (!is_template(resource, bytes)) return false;
    text.assign(bytes);
    return true;
  }
  std::unique_ptr<decode_slot> slot = decode_slots.take();
  vex_http::identity_reader* reader = &slot->reader;
  char* chunk = slot->chunk_memory();
  std::string tail;  // the last bytes read, where a mark may begin
  bool marked = false;
  reader->open(stored);
  for (size_t count; !marked && (count = reader->read(chunk, decode_slot::chunk_size)) > 0;) {
    tail.append(chunk, count);
    marked = tail.find("{{/") != std::string::npos;
    if (tail.size() > 2) tail.erase(0, tail.size() - 2);
  }
  text.clear();
  if (marked && reader->open(stored) == vex_http::read_status::ok)
    for (size_t count; (count = reader->read(chunk, decode_slot::chunk_size)) > 0;) text.append(chunk, count);
  const bool whole = marked && reader->status() == vex_http::read_status::ok;
  if (reader->status() != vex_http::read_status::ok)
    std::fprintf(stderr, "%s: %s\n", resource->path_root_a, vex_http::read_status_text(reader->status()));
  decode_slots.give(std::move(slot));
  return whole;
}

/// The site: the embedded records, what it answers beyond them, and the
/// live tree in development mode.
class example_site {
 public:
  /// Sorts the records, renders the embedded templates, takes the site's
  /// answers beyond its files from the options and opens the live tree;
  /// false, with a message, when an option names no embedded file or the
  /// tree cannot be opened.
  bool start(const server_options& options, const char* program) {
    vex_res::sort_all();
    std::string text;
    for (size_t i = 0; i < vex_res_arrays_length; ++i)
      for (size_t k = 0; k < *vex_res_arrays[i].length; ++k) {
        const vex_resource* resource = vex_res_arrays[i].all[k];
        if (embedded_template(resource, text)) pages_.push_back({resource, render_page(text)});
      }
    if (!take_site_options(options, program)) return false;
    live_ = options.dev_root != nullptr;
    if (live_ && !tree_.open(options.dev_root)) {
      std::fprintf(stderr, "%s: cannot open the development tree %s\n", program, options.dev_root);
      return false;
    }
    return true;
  }

  /// True in development mode, which reads the live files at each request.
  bool reads_live_files() const { return live_; }

  /// Plans the answer to a request. In development mode the body and the
  /// tag lie in live.
  void answer(vex_http::response_plan& plan, std::string_view method, std::string_view target,
              const vex_http::request_headers& headers, live_file& live) const {
    char path[vex_http::path_capacity];
    const vex_http::target_route route = vex_http::route_target(method, target, headers, site_, path);
    if (route.status != 200) return plan_failure(plan, method, route, headers, live);
    vex_http::entity file{};
    const source from = entity_of(route, live, file);
    if (from == source::missing) return plan_failure(plan, method, {404, nullptr, route.path}, headers, live);
    // Live files and rendered pages change under the same path: the
    // browser must always ask again.
    const vex_http::cache_policy policy = from != source::embedded ? vex_http::revalidate
                                          : route.hashed            ? vex_http::immutable
                                                                    : vex_http::immutable_when_hashed;
    vex_http::plan_routed_entity(plan, method, route, file, headers, site_, policy);
  }

  /// Plans the answer to a request that the library refused before the
  /// planner saw it (a malformed request line or header block).
  void refuse(vex_http::response_plan& plan, std::string_view method, int status, live_file& live) const {
    plan_failure(plan, method, {status, nullptr, {}}, {}, live);
  }

 private:
  struct rendered_page {
    const vex_resource* resource;
    std::string text;
  };
  enum class source { embedded, rendered, live, missing };

  // Checks that every path of the options names an embedded file, and
  // gives the kit the site's fallbacks, error pages and headers.
  bool take_site_options(const server_options& options, const char* program) {
    options_ = options;
    const auto names_a_record = [program](const char* option, const std::string& path) {
      if (vex_http::find_path(vex_res_arrays, vex_res_arrays_length, path.c_str())) return true;
      std::fprintf(stderr, "%s: %s: no embedded file has the path %s\n", program, option, path.c_str());
      return false;
    };
    for (const auto& [prefix, path] : options_.fallbacks) {
      if (!names_a_record("--fallback", path)) return false;
      fallbacks_.push_back({prefix.c_str(), path.c_str()});
    }
    for (const auto& [status, path] : options_.error_pages) {
      if (!names_a_record("--error-page", path)) return false;
      error_pages_.push_back({status, path.c_str()});
    }
    for (const auto& [name, value] : options_.headers) site_headers_.push_back({name.c_str(), value});
    site_ = {vex_res_arrays, vex_res_arrays_length, vex_res_extras::all, vex_res_extras::all_length};
    site_.paths = &vex_res_paths::table;
    site_.fallbacks = fallbacks_.data();
    site_.fallback_count = fallbacks_.size();
    site_.error_pages = error_pages_.data();
    site_.error_page_count = error_pages_.size();
    if (!site_headers_.empty()) site_.site_headers = headers_of_site;
    return true;
  }

  // The headers of --header, on every answer.
  static vex_http::header_list headers_of_site(const vex_resource*) {
    return {site_headers_.data(), site_headers_.size()};
  }

  // The bytes to serve for a record at a routed path: in development mode
  // its live file (rendered when it is a template), else its rendered page
  // or its embedded bytes.
  source entity_of(const vex_http::target_route& route, live_file& live, vex_http::entity& file) const {
    const vex_resource* resource = route.resource;
    if (live_) return live_entity_of(resource, route.path, live, file);
    // A rendered page changes whenever a resource it links to does, which
    // neither its own date nor its ETag would tell: it is sent without them.
    for (const rendered_page& page : pages_)
      if (page.resource == resource) {
        file = {resource, page.text.data(), page.text.size(), std::nullopt};
        return source::rendered;
      }
    file = vex_http::routed_entity(route, site_);
    return source::embedded;
  }

  source live_entity_of(const vex_resource* resource, std::string_view path, live_file& live,
                        vex_http::entity& file) const {
    const vex_http::live_read read = tree_.read(path, live.bytes);
    if (read.status != vex_http::live_read::ok) return source::missing;
    if (is_template(resource, live.bytes)) {
      live.bytes = render_page(live.bytes);
      file = {resource, live.bytes.data(), live.bytes.size(), std::nullopt};
      return source::rendered;
    }
    // The tag of the live bytes is what tells an edit apart, even one made
    // within the second of the browser's copy; the plan points into it.
    live.extras = {};
    live.extras.path_root_a = resource->path_root_a;
    live.extras.etag = vex_http::live_etag(live.bytes.data(), read.size, live.etag).data();
    file = {resource, live.bytes.data(), read.size, read.modified, &live.extras};
    return source::live;
  }

  // The answer to a route that found nothing to serve: the site's page for
  // an error status (its live file in development mode), or the short text.
  void plan_failure(vex_http::response_plan& plan, std::string_view method, const vex_http::target_route& route,
                    const vex_http::request_headers& headers, live_file& live) const {
    const vex_resource* page = route.status == 301 ? nullptr : vex_http::error_page_for(site_, route.status, headers);
    vex_http::entity file{};
    if (page && entity_of({.status = 200, .resource = page, .path = page->path_root_a}, live, file) != source::missing) {
      plan.close_connection = route.close_connection;
      return vex_http::plan_error_page(plan, method, route.status, file, headers, site_);
    }
    // A page whose live file is gone gives the short text, not the embedded page.
    vex_http::site without_page = site_;
    if (page) without_page.error_page_count = 0;
    vex_http::plan_route_failure(plan, method, route, headers, without_page);
  }

  std::vector<rendered_page> pages_;
  bool live_ = false;
  vex_http::dev_tree tree_;
  server_options options_;  // what the kit's lists point into
  std::vector<vex_http::fallback> fallbacks_;
  std::vector<vex_http::error_page> error_pages_;
  static inline std::vector<vex_http::header> site_headers_;
  vex_http::site site_{nullptr, 0};
};

/// Logs an answer as "METHOD TARGET STATUS CODING" on stderr, in one
/// write; bytes of the request that a terminal would obey are escaped.
inline void log_answer(std::string_view method, std::string_view target, int status, std::string_view coding) {
  std::string line;
  for (const std::string_view part : {method, std::string_view(" "), target}) {
    for (const char c : part) {
      const unsigned char byte = static_cast<unsigned char>(c);
      if (byte >= 0x20 && byte != 0x7f) {
        line += c;
      } else {
        static constexpr char hex[] = "0123456789abcdef";
        line += {'\\', 'x', hex[byte >> 4], hex[byte & 15]};
      }
    }
  }
  line += ' ' + std::to_string(status) + ' ';
  line += coding.empty() ? std::string_view("identity") : coding;
  line += '\n';
  std::fwrite(line.data(), 1, line.size(), stderr);
  std::fflush(stderr);
}

/// The Content-Encoding of a plan's body ("identity" for none).
inline std::string_view coding_of(const vex_http::response_plan& plan) {
  return vex_http::content_coding_name(plan.coding);
}

/// The first line on stdout, flushed at once so that a script can read the port.
inline void print_listening(const std::string& host, int port) {
  const bool ipv6 = host.find(':') != std::string::npos;
  std::printf("listening on http://%s%s%s:%d/\n", ipv6 ? "[" : "", host.c_str(), ipv6 ? "]" : "", port);
  std::fflush(stdout);
}
