// Prints the embedded files named on the command line by their URL paths
// (/index.html, /css/main.css); exit code 1 for a path not embedded.
#include <cstdio>
#include <iterator>

#include "pch.h"

#ifdef SITE_DECODED
#include "vex_resource_builder/identity_reader.h"

// -z: a file may be held in one coding only (its data then null); the
// reader gives its bytes back through its side record, a chunk at a time.
static bool write_file(const vex_resource* file) {
  static vex_http::identity_reader reader;
  const vex_resource_extras* extras =
      vex_res_extras_find(vex_res_extras::all, vex_res_extras::all_length, file->path_root_a);
  reader.open(vex_http::stored_body_of(file, extras));
  char buffer[4096];
  while (size_t count = reader.read(buffer, sizeof buffer)) std::fwrite(buffer, 1, count, stdout);
  return reader.status() == vex_http::read_status::ok;
}
#else
static bool write_file(const vex_resource* file) { return std::fwrite(file->data, 1, file->size, stdout) == file->size; }
#endif

// The all arrays that site.h declares: the root's and one per top-level
// directory of the site.
const vex_resource_array site_arrays[] = {{vex_res::all, &vex_res::all_length},
                                          {vex_res::css::all, &vex_res::css::all_length},
                                          {vex_res::img::all, &vex_res::img::all_length},
                                          {vex_res::js::all, &vex_res::js::all_length}};

int main(int argc, char** argv) {
  vex_res::sort_all();
  for (int i = 1; i < argc; ++i) {
    const vex_resource* file = vex_res_find_in(site_arrays, std::size(site_arrays), argv[i]);
    if (!file) {
      std::fprintf(stderr, "%s is not embedded\n", argv[i]);
      return 1;
    }
    if (!write_file(file)) {
      std::fprintf(stderr, "%s cannot be read\n", argv[i]);
      return 1;
    }
  }
  return 0;
}
