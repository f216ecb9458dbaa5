// Answers each path given on the command line from the admin set when it
// begins with /admin/, else from the public set: "set<TAB>path<TAB>content",
// or "404" when the set has no such resource.
#include <cstdio>
#include <cstring>

#include "admin/vex_resources.h"
#include "public/vex_resources.h"

int main(int argc, char** argv) {
  admin::sort_all();
  public_site::sort_all();
  for (int i = 1; i < argc; ++i) {
    const char* path = argv[i];
    bool to_admin = std::strncmp(path, "/admin/", 7) == 0;
    const vex_resource* found = to_admin ? vex_res_find_in(admin_arrays, admin_arrays_length, path + 6)
                                         : vex_res_find_in(public_site_arrays, public_site_arrays_length, path);
    if (!found) std::printf("404\t%s\n", path);
    else std::printf("%s\t%s\t%.*s\n", to_admin ? "admin" : "public", path, static_cast<int>(found->size), found->data);
  }
  return 0;
}
