// A small HTTP/1.1 server whose whole site is compiled into it.
//
//   vex_example_server [--host 127.0.0.1] [--port N]
//
// Port 0 (the default) lets the system pick a free port. The first line on
// stdout is "listening on http://HOST:PORT/", flushed at once so that a
// script can read the port; every request is then logged to stderr as
// "METHOD PATH STATUS".
//
// GET and HEAD of an embedded file's URL path answer with its bytes,
// Content-Type, Content-Length and Last-Modified (the record's date text as
// it is). A directory path ("/", "/docs/" or "/docs") answers with that
// directory's index.html when there is one; everything else is a 404.
//
// If-Modified-Since gives 304 Not Modified, without a body, when the header
// text equals the file's date exactly, or when both parse as
// "Wdy, D Mon YYYY H:MM:SS GMT" (one or two digits for the day and the hour,
// so both the standard fixed-width form and the embedded dates parse) and
// the file's date is not later than the header's. Any other header is
// ignored and the file is sent.
#include <httplib.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>

#include "vex_resources.h"

namespace {

// Days from 1970-01-01 to the given civil date (proleptic Gregorian).
int64_t days_from_civil(int64_t year, unsigned month, unsigned day) {
  year -= month <= 2;
  const int64_t era = (year >= 0 ? year : year - 399) / 400;
  const unsigned year_of_era = static_cast<unsigned>(year - era * 400);
  const unsigned day_of_year = (153 * (month > 2 ? month - 3 : month + 9) + 2) / 5 + day - 1;
  const unsigned day_of_era = year_of_era * 365 + year_of_era / 4 - year_of_era / 100 + day_of_year;
  return era * 146097 + static_cast<int64_t>(day_of_era) - 719468;
}

// Reads between min_digits and max_digits decimal digits from text.
bool take_number(std::string_view& text, size_t min_digits, size_t max_digits, int64_t& value) {
  size_t digits = 0;
  value = 0;
  while (digits < text.size() && digits < max_digits && text[digits] >= '0' && text[digits] <= '9')
    value = value * 10 + (text[digits++] - '0');
  if (digits < min_digits) return false;
  text.remove_prefix(digits);
  return true;
}

bool take(std::string_view& text, std::string_view expected) {
  if (text.substr(0, expected.size()) != expected) return false;
  text.remove_prefix(expected.size());
  return true;
}

// Seconds since 1970 of "Wdy, D Mon YYYY H:MM:SS GMT"; nothing when the text
// has another form. The weekday is checked for form only.
std::optional<int64_t> parse_http_date(std::string_view text) {
  static constexpr std::string_view months[12] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                                  "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
  if (text.size() < 5 || text[3] != ',' || text[4] != ' ') return std::nullopt;
  text.remove_prefix(5);
  int64_t day = 0, year = 0, hour = 0, minute = 0, second = 0;
  if (!take_number(text, 1, 2, day) || !take(text, " ")) return std::nullopt;
  unsigned month = 0;
  while (month < 12 && !take(text, months[month])) ++month;
  if (month == 12 || !take(text, " ")) return std::nullopt;
  if (!take_number(text, 4, 5, year) || !take(text, " ")) return std::nullopt;
  if (!take_number(text, 1, 2, hour) || !take(text, ":")) return std::nullopt;
  if (!take_number(text, 2, 2, minute) || !take(text, ":")) return std::nullopt;
  if (!take_number(text, 2, 2, second) || !take(text, " GMT") || !text.empty()) return std::nullopt;
  if (day < 1 || day > 31 || hour > 23 || minute > 59 || second > 60) return std::nullopt;
  return days_from_civil(year, month + 1, static_cast<unsigned>(day)) * 86400 + hour * 3600 + minute * 60 + second;
}

bool not_modified_since(const vex_resource* resource, const std::string& header) {
  if (header == resource->http_date) return true;
  const std::optional<int64_t> since = parse_http_date(header);
  const std::optional<int64_t> modified = parse_http_date(resource->http_date);
  return since && modified && *modified <= *since;
}

// The record for a URL path: the file itself, or the index.html of the
// directory the path names.
const vex_resource* find_resource(const std::string& path) {
  if (const vex_resource* found = vex_res_find_in(vex_res_arrays, vex_res_arrays_length, path.c_str())) return found;
  if (path.empty()) return nullptr;
  const std::string index = path + (path.back() == '/' ? "index.html" : "/index.html");
  return vex_res_find_in(vex_res_arrays, vex_res_arrays_length, index.c_str());
}

void serve(const httplib::Request& request, httplib::Response& response) {
  const vex_resource* resource = find_resource(request.path);
  if (!resource) {
    response.status = 404;
    response.set_content("Not Found\n", "text/plain");
    return;
  }
  response.set_header("Last-Modified", resource->http_date);
  if (request.has_header("If-Modified-Since") &&
      not_modified_since(resource, request.get_header_value("If-Modified-Since"))) {
    // A 304 never has a body; its Content-Length, when sent, must be the
    // one a 200 would carry, rather than the library's default of 0.
    response.status = 304;
    response.set_header("Content-Length", std::to_string(resource->size));
    return;
  }
  char content_type[128];
  if (vex_res_content_type_text(resource, content_type, sizeof content_type) >= sizeof content_type)
    std::strcpy(content_type, "application/octet-stream");
  // The bytes live in the program for its whole run, so they are written
  // from where they are, without a copy; a provider with a known length
  // also makes the library send Content-Length (for HEAD too) and the
  // bytes as they are.
  const char* data = resource->data;
  response.set_content_provider(resource->size, content_type,
                                [data](size_t offset, size_t length, httplib::DataSink& sink) {
                                  return sink.write(data + offset, length);
                                });
}

[[noreturn]] void usage(int status) {
  std::fprintf(status == 0 ? stdout : stderr, "usage: vex_example_server [--host HOST] [--port N]\n");
  std::exit(status);
}

}  // namespace

int main(int argc, char** argv) {
  std::string host = "127.0.0.1";
  long port = 0;
  for (int i = 1; i < argc; ++i) {
    const std::string_view argument = argv[i];
    if (argument == "--help" || argument == "-h") usage(0);
    if (i + 1 >= argc) usage(2);
    if (argument == "--host") {
      host = argv[++i];
    } else if (argument == "--port") {
      char* end = nullptr;
      port = std::strtol(argv[++i], &end, 10);
      if (*argv[i] == 0 || *end != 0 || port < 0 || port > 65535) usage(2);
    } else {
      usage(2);
    }
  }

  vex_res::sort_all();

  httplib::Server server;
  server.Get(".*", serve);  // HEAD is answered by the GET handler, without the body
  server.set_logger([](const httplib::Request& request, const httplib::Response& response) {
    std::fprintf(stderr, "%s %s %d\n", request.method.c_str(), request.path.c_str(), response.status);
    std::fflush(stderr);
  });

  int bound = -1;
  if (port == 0) bound = server.bind_to_any_port(host);
  else if (server.bind_to_port(host, static_cast<int>(port))) bound = static_cast<int>(port);
  if (bound <= 0) {
    std::fprintf(stderr, "vex_example_server: cannot listen on %s port %ld\n", host.c_str(), port);
    return 1;
  }
  const bool ipv6 = host.find(':') != std::string::npos;
  std::printf("listening on http://%s%s%s:%d/\n", ipv6 ? "[" : "", host.c_str(), ipv6 ? "]" : "", bound);
  std::fflush(stdout);
  return server.listen_after_bind() ? 0 : 1;
}
