// Reads live files through the kit's development mode, for
// test_dev_files_links.py: dev_files_read ROOT PATH... prints one line per
// path, "PATH ok BYTES", "PATH missing" or "PATH refused".
#include <cstdio>
#include <string>

#include "vex_resource_builder/dev_files.h"

int main(int argc, char** argv) {
  vex_http::dev_tree tree;
  if (argc < 2 || !tree.open(argv[1])) {
    std::fprintf(stderr, "usage: dev_files_read ROOT PATH... (ROOT a directory)\n");
    return 2;
  }
  for (int i = 2; i < argc; ++i) {
    std::string bytes;
    const vex_http::live_read read = tree.read(argv[i], bytes);
    static constexpr const char* names[] = {"ok", "missing", "refused"};
    std::printf("%s %s%s%s\n", argv[i], names[read.status], read.status == vex_http::live_read::ok ? " " : "",
                read.status == vex_http::live_read::ok ? bytes.c_str() : "");
    std::fflush(stdout);
  }
  return 0;
}
