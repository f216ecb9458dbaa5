// Prints every embedded resource as "path<TAB>size<TAB>content", in the
// order of the index, and checks that each is found by its URL path.
#include <cstdio>
#include <string>

#include "vex_resources.h"

#ifdef LIST_DECODED
#include "vex_resource_builder/identity_reader.h"

// STORE_COMPRESSED: a file may be held in one coding only, and is read
// back through its side record.
static std::string content(const vex_resource* r) {
  static vex_http::identity_reader reader;
  reader.open(vex_http::stored_body_of(r, vex_res_extras_find(vex_res_extras::all, vex_res_extras::all_length,
                                                              r->path_root_a)));
  std::string bytes;
  char buffer[4096];
  while (size_t count = reader.read(buffer, sizeof buffer)) bytes.append(buffer, count);
  return reader.status() == vex_http::read_status::ok ? bytes : "(unreadable)";
}
#else
static std::string content(const vex_resource* r) { return std::string(r->data, r->size); }
#endif

int main() {
  vex_res::sort_all();
  for (size_t a = 0; a < vex_res_arrays_length; ++a) {
    for (size_t i = 0; i < *vex_res_arrays[a].length; ++i) {
      const vex_resource* r = vex_res_arrays[a].all[i];
      if (vex_res_find_in(vex_res_arrays, vex_res_arrays_length, r->path_root_a) != r) return 1;
      const std::string bytes = content(r);
      std::printf("%s\t%u\t%s\t%s\n", r->path_root_a, r->size, bytes.c_str(), r->http_date);
    }
  }
  return 0;
}
