// Prints every embedded resource as "path<TAB>size<TAB>content", in the
// order of the index, and checks that each is found by its URL path.
#include <cstdio>

#include "vex_resources.h"

int main() {
  vex_res::sort_all();
  for (size_t a = 0; a < vex_res_arrays_length; ++a) {
    for (size_t i = 0; i < *vex_res_arrays[a].length; ++i) {
      const vex_resource* r = vex_res_arrays[a].all[i];
      if (vex_res_find_in(vex_res_arrays, vex_res_arrays_length, r->path_root_a) != r) return 1;
      std::printf("%s\t%u\t%.*s\t%s\n", r->path_root_a, r->size, static_cast<int>(r->size), r->data, r->http_date);
    }
  }
  return 0;
}
