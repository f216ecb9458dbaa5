// Writes the data array of one file, as the tool writes it into its target:
//   vex_data_array_text [-b] <identifier> <source> <target>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>

#include "context/builder_context.h"
#include "generator/data/words.h"

using namespace platform;

int main(int argc, char** argv) {
  bool big_endian = argc > 1 && std::strcmp(argv[1], "-b") == 0;
  if (argc != 4 + big_endian) {
    std::fprintf(stderr, "usage: vex_data_array_text [-b] <identifier> <source> <target>\n");
    return 2;
  }
  const char* identifier = argv[1 + big_endian];
  std::wstring source = std::filesystem::path(argv[2 + big_endian]).wstring();
  std::wstring target = std::filesystem::path(argv[3 + big_endian]).wstring();

  builder_context context{};
  init_context(context);
  int result = -1;
  uint64_t size = 0;
  if (context.h_src.open(source.c_str(), generic_read, open_existing, 0) == 0 && context.h_src.size(&size) &&
      context.h_dst_cpp.open(target.c_str(), generic_write, create_always, 0) == 0 &&
      std::strlen(identifier) < context.flat_name_capacity) {
    context.big_endian = big_endian;
    std::strcpy(context.flat_name, identifier);
    context.read_count = context.h_src.read(context.read_buffer, static_cast<uint32_t>(context.read_size));
    context.remaining = context.file_size = size;
    if (context.read_count >= 0) result = write_data_array(context);
  }
  release_context(context);
  return result == 0 ? 0 : 1;
}
