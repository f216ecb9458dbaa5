#include "context/dependency_file.h"

#include "support/format.h"

namespace {

// A path is the prefix and a walk path, up to 4 UTF-8 bytes per character,
// and escaping at most doubles it.
constexpr size_t scratch_bytes = 2 * dependency_prefix_characters * 4;
constexpr size_t line_bytes = 2 * scratch_bytes + 16;

}  // namespace

bool reserve_dependency_file(dependency_file& deps) {
  deps.block_size = dependency_prefix_characters * sizeof(wchar_t) + scratch_bytes + line_bytes;
  deps.block = static_cast<uint8_t*>(platform::allocate_zeroed(deps.block_size));
  if (!deps.block) {
    out_printf(L"cannot allocate memory for the dependency file\n");
    return false;
  }
  deps.prefix = reinterpret_cast<wchar_t*>(deps.block);
  deps.prefix_length = 0;
  deps.scratch = reinterpret_cast<char*>(deps.block + dependency_prefix_characters * sizeof(wchar_t));
  deps.scratch_capacity = scratch_bytes;
  deps.line = deps.scratch + scratch_bytes;
  deps.line_capacity = line_bytes;
  return true;
}

void release_dependency_file(dependency_file& deps) {
  deps.file.close();
  deps.file.reset();
  if (deps.block) platform::free_zeroed(deps.block, deps.block_size);
  deps.block = nullptr;
  deps.prefix = nullptr;
  deps.scratch = deps.line = nullptr;
  deps.prefix_length = deps.scratch_capacity = deps.line_capacity = 0;
}
