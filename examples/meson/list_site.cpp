// Prints the embedded files named on the command line by their URL paths
// (/index.html, /css/main.css); exit code 1 for a path not embedded.
#include <cstdio>
#include <iterator>

#include "pch.h"

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
    std::fwrite(file->data, 1, file->size, stdout);
  }
  return 0;
}
