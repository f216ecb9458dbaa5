# The site's answers beyond its files, written as the servers' built-in
# options into example_site_options.h (see CMakeLists.txt).
file(REAL_PATH "${SITE_ROOT}" site_root_real)
file(REAL_PATH "${example_site_root}" example_root_real)
if(site_root_real STREQUAL example_root_real)
  set(default_fallbacks "/app/=/app/index.html")
  set(default_error_pages "404=/404.html")
  set(default_headers "Referrer-Policy: no-referrer" "Cross-Origin-Opener-Policy: same-origin"
      "Cross-Origin-Resource-Policy: same-origin")
  # Everything the pages use comes from the site itself; no inline script or
  # style, no plugin, no frame, no form, and WebAssembly compiled from a
  # fetched module only.
  set(default_policy "default-src 'none'" "script-src 'self' 'wasm-unsafe-eval'" "style-src 'self'"
      "img-src 'self'" "connect-src 'self'" "base-uri 'none'" "form-action 'none'" "frame-ancestors 'none'"
      "require-trusted-types-for 'script'")
endif()
set(SITE_FALLBACKS "${default_fallbacks}" CACHE STRING "Client-side routes: PATH or PREFIX=PATH")
set(SITE_ERROR_PAGES "${default_error_pages}" CACHE STRING "Error pages: STATUS=PATH")
set(SITE_HEADERS "${default_headers}" CACHE STRING "Headers of every answer: \"Name: value\"")
set(SITE_CONTENT_SECURITY_POLICY "${default_policy}" CACHE STRING "Content-Security-Policy directives")

set(site_options_text "")
function(add_site_option option value)
  string(REPLACE "\\" "\\\\" value "${value}")
  string(REPLACE "\"" "\\\"" value "${value}")
  string(REPLACE "\n" "\\n" value "${value}")
  set(site_options_text "${site_options_text}    \"${option}\", \"${value}\",\n" PARENT_SCOPE)
endfunction()
foreach(item IN LISTS SITE_FALLBACKS)
  add_site_option(--fallback "${item}")
endforeach()
foreach(item IN LISTS SITE_ERROR_PAGES)
  add_site_option(--error-page "${item}")
endforeach()
foreach(item IN LISTS SITE_HEADERS)
  add_site_option(--header "${item}")
endforeach()
if(SITE_CONTENT_SECURITY_POLICY)
  list(JOIN SITE_CONTENT_SECURITY_POLICY "; " policy)
  add_site_option(--header "Content-Security-Policy: ${policy}")
endif()
file(CONFIGURE OUTPUT "${CMAKE_CURRENT_BINARY_DIR}/example_site_options.h" @ONLY CONTENT [[
#pragma once
// Written by CMake from SITE_FALLBACKS, SITE_ERROR_PAGES, SITE_HEADERS and
// SITE_CONTENT_SECURITY_POLICY: the options the servers take before their
// command line, in pairs, ending with a null.
inline constexpr const char* built_in_site_options[] = {
@site_options_text@    nullptr};
]])
