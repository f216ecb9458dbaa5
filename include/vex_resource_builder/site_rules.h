#pragma once
// How a site answers beyond its files, as web frameworks expect: paths of
// client-side routes answered with the application's page (a fallback),
// error statuses answered with the site's own pages, and headers of the
// site's own on every answer. The planner (response_plan.h) reads them
// from the site; a site that names none answers as before.
//
//   const vex_http::fallback fallbacks[] = {{"/", "/index.html"}, {"/admin/", "/admin/index.html"}};
//   const vex_http::error_page pages[] = {{404, "/404.html"}};
//   vex_http::site site{vex_res_arrays, vex_res_arrays_length, vex_res_extras::all, vex_res_extras::all_length};
//   site.fallbacks = fallbacks;
//   site.fallback_count = 2;
//   site.error_pages = pages;
//   site.error_page_count = 1;
#include <cstddef>
#include <string_view>

#include "vex_resource_builder/vex_resource.h"

namespace vex_http {

/// One response header: a static name and its value.
struct header {
  const char* name;
  std::string_view value;
};

/// A client-side route: a GET or HEAD of a path that starts with prefix
/// and finds no file is answered with the record at path (the
/// application's page), when the path's last segment has no '.' and the
/// request accepts text/html.
struct fallback {
  const char* prefix;  ///< compared with the decoded path byte for byte: "/" or "/admin/"
  const char* path;    ///< the record's URL path: "/index.html"
};

/// The record a site answers an error status with (400 to 599).
struct error_page {
  int status;
  const char* path;  ///< the record's URL path: "/404.html"
};

/// Headers of the site's own; the names and values must outlive the plan.
struct header_list {
  const header* headers = nullptr;
  size_t count = 0;
};

/// Most headers a header_policy may add to one answer; more are not sent.
inline constexpr size_t max_site_headers = 12;

/// The site's own headers for an answer about a record (Content-Security-
/// Policy, Referrer-Policy, Cross-Origin-*, Access-Control-Allow-Origin for
/// fonts, ...), or with a null record for the answers about none (a
/// redirect, a short error text). They must not name a header the planner
/// writes itself (Date, X-Content-Type-Options, Content-*, Cache-Control,
/// ETag, Last-Modified, Vary, Accept-Ranges, Allow, Location).
using header_policy = header_list (*)(const vex_resource* resource);

/// The fallback for a decoded path: of the fallbacks whose prefix starts
/// the path, the one with the longest prefix; null when none does.
inline const fallback* find_fallback(const fallback* fallbacks, size_t count, std::string_view path) {
  const fallback* best = nullptr;
  size_t best_length = 0;
  for (size_t i = 0; i < count; ++i) {
    const std::string_view prefix(fallbacks[i].prefix);
    if (path.substr(0, prefix.size()) == prefix && (!best || prefix.size() > best_length)) {
      best = &fallbacks[i];
      best_length = prefix.size();
    }
  }
  return best;
}

/// True when a decoded path looks like a file's: its last segment holds a
/// '.' ("/app.js", "/img/x.png", and every content-hashed path, which has
/// the hash after a '.'). Such a path never falls back: a missing script or
/// image is a 404, never the application's page.
inline bool names_a_file(std::string_view path) {
  const size_t slash = path.rfind('/');
  return path.find('.', slash == std::string_view::npos ? 0 : slash) != std::string_view::npos;
}

/// The path of the page for an error status; null when the site has none.
inline const char* error_page_path(const error_page* pages, size_t count, int status) {
  for (size_t i = 0; i < count; ++i)
    if (pages[i].status == status) return pages[i].path;
  return nullptr;
}

}  // namespace vex_http
