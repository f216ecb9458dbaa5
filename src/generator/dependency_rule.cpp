#include "generator/dependency_rule.h"

#include <cstring>
#include <cwchar>

#include "generator/output_set.h"
#include "support/format.h"
#include "support/system_error.h"

using namespace platform;

namespace {

// A path is the prefix and a walk path, up to 4 UTF-8 bytes per character,
// and escaping at most doubles it.
constexpr size_t scratch_bytes = 2 * dependency_prefix_characters * 4;
constexpr size_t line_bytes = 2 * scratch_bytes + 16;

bool is_separator(wchar_t c) { return c == L'/' || c == L'\\'; }

// False after the message when the write failed; the file is closed then.
bool write_line(dependency_rule& deps, size_t length) {
  if (deps.file.write(deps.line, static_cast<uint32_t>(length)) >= 0) return true;
  print_system_error(standard_stream::output, deps.file.write_error, L"failed to write the dependency file");
  deps.file.close();
  return false;
}

// Appends the UTF-8 of text to the scratch buffer at used; false when it does not fit.
bool append_utf8(dependency_rule& deps, size_t& used, const wchar_t* text, size_t length) {
  long long n = name_to_utf8(text, length, deps.scratch + used, deps.scratch_capacity - used);
  if (n < 0) return false;
  used += static_cast<size_t>(n);
  return true;
}

}  // namespace

dependency_rule::~dependency_rule() {
  file.close();
  if (block) platform::free_zeroed(block, block_size);
}

bool reserve_dependency_rule(dependency_rule& deps) {
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

int64_t escape_dependency_path(const char* path, size_t length, char* out, size_t capacity) {
  size_t used = 0;
  for (size_t i = 0; i < length; ++i) {
    char c = path[i];
    if (c == '\n' || c == '\r') return -1;
    const bool doubled = c == ' ' || c == '#' || c == '$';
    if (used + (doubled ? 2 : 1) >= capacity) return -1;
    if (c == ' ' || c == '#') out[used++] = '\\';
    else if (c == '$') out[used++] = '$';
    out[used++] = c == '\\' ? '/' : c;
  }
  out[used] = 0;
  return static_cast<int64_t>(used);
}

bool open_dependency_file(dependency_rule& deps, const wchar_t* name, const std::vector<const wchar_t*>& targets) {
  deps.file.silent = 1;
  int error = deps.file.open(name, generic_write, create_always, 0);
  deps.file.silent = 0;
  if (error != 0) {
    out_printf(L"failed to create the dependency file [%s]\n", name);
    print_system_error(standard_stream::output, static_cast<uint32_t>(error));
    return false;
  }
  bool whole = true;
  // One target at a time, since many shards may pass what one line holds.
  for (size_t i = 0; i < targets.size(); ++i) {
    size_t used = 0;
    int64_t escaped = -1;
    size_t length = i > 0 ? 1 : 0;
    deps.line[0] = ' ';
    if (append_utf8(deps, used, targets[i], wcslen(targets[i])))
      escaped = escape_dependency_path(deps.scratch, used, deps.line + length, deps.line_capacity - length - 2);
    if (escaped < 0) {
      out_printf(L"cannot name [%s] in the dependency file\n", targets[i]);
      whole = false;
      escaped = 0;
    }
    length += static_cast<size_t>(escaped);
    if (i + 1 == targets.size()) deps.line[length++] = ':';
    if (!write_line(deps, length)) return false;
  }
  return whole;
}

bool note_directory_change(dependency_rule& deps, const wchar_t* directory) {
  if (!deps.block) return true;
  size_t length = wcslen(directory);
  size_t start = is_absolute_path(directory) ? 0 : deps.prefix_length;
  if (start + length + 2 > dependency_prefix_characters) {
    out_printf(L"failed to follow the directory change to [%s] in the dependency file\n", directory);
    return false;
  }
  wmemcpy(deps.prefix + start, directory, length);
  size_t end = start + length;
  if (end > 0 && !is_separator(deps.prefix[end - 1])) deps.prefix[end++] = L'/';
  deps.prefix[end] = 0;
  deps.prefix_length = end;
  return true;
}

bool note_dependency(dependency_rule& deps, const wchar_t* path, size_t length) {
  if (!deps.file.opened) return true;
  size_t used = 0;
  bool fits = true;
  if (length == 0 || !is_absolute_path(path)) fits = append_utf8(deps, used, deps.prefix, deps.prefix_length);
  if (fits && length == 0) {
    // The current directory itself: the prefix without its last '/', or ".".
    if (used > 1) --used;
    else if (used == 0) deps.scratch[used++] = '.';
  }
  if (fits) fits = append_utf8(deps, used, path, length);
  static constexpr char continuation[] = " \\\n  ";
  const size_t head = sizeof continuation - 1;
  memcpy(deps.line, continuation, head);
  int64_t escaped = fits ? escape_dependency_path(deps.scratch, used, deps.line + head, deps.line_capacity - head) : -1;
  if (escaped < 0) {
    out_printf(L"cannot name [%.*s] in the dependency file\n", static_cast<int>(length), path);
    return false;
  }
  return write_line(deps, head + static_cast<size_t>(escaped));
}

bool finish_dependency_file(dependency_rule& deps) {
  if (!deps.file.opened) return true;
  deps.line[0] = '\n';
  bool written = write_line(deps, 1);
  deps.file.close();
  return written;
}
