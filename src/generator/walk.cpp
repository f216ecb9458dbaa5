#include "generator/walk.h"

#include <cstring>
#include <cwchar>

#include "support/format.h"
#include "generator/dependency_rule.h"
#include "generator/embed_file.h"
#include "generator/namespace_nesting.h"
#include "support/system_error.h"

using namespace platform;

namespace {

// One level's directory search; closed on every way out of the level.
struct directory_search {
  os_handle h_find = invalid_handle;
  bool open = false;
  uint32_t last_error = 0;
  find_data file_search_info;

  ~directory_search() { close(); }
  void close() {
    if (!open) return;
    open = false;
    find_close(h_find);
    h_find = invalid_handle;
    memset(&file_search_info, 0, sizeof file_search_info);
  }
};

bool skipped_name(const wchar_t* name) {
  if (name[0] == L'.' && name[1] == L'.') return true;
  return (name[0] == L'.' || name[0] == L'_' || name[0] == L'~') && name[1] == 0;
}

}  // namespace

int walk_source(builder_context& context, const wchar_t* source, uint64_t base) {
  const uint64_t capacity = wide_buffer_characters;
  if (base == 0) {
    uint64_t length = wcslen(source);
    if (length + 1 > capacity) return -1;
    wmemcpy(context.walk_path, source, length + 1);
    for (uint64_t i = 0; i < length; ++i)
      if (source[i] == L'/' || source[i] == L'\\') base = i + 1;
  }
  context.blank_line_pending = 1;
  if (!context.quiet) out_printf(L"[%s]\n", context.walk_path);

  directory_search h_dir;
  h_dir.h_find = find_first_file(context.walk_path, &h_dir.file_search_info);
  if (h_dir.h_find == invalid_handle) {
    h_dir.last_error = platform::last_error();
    out_printf(L"h_dir(%s) failed: %u\n", context.walk_path, h_dir.last_error);
    return -1;
  }
  h_dir.open = true;
  // The searched directory: a change to its items must rerun the build.
  note_dependency(context, context.walk_path, base > 1 ? base - 1 : base);

  while (!context.stopped) {
    const wchar_t* name = h_dir.file_search_info.name;
    if (!skipped_name(name)) {
      uint64_t length = wcslen(name);
      if (base + length + 1 > capacity) {
        out_printf(L"failed to append current item's name to the current path\n");
        return -1;
      }
      wmemcpy(context.walk_path + base, name, length + 1);
      if (wcspbrk(name, L"/\\")) {
        // Only POSIX names can hold a backslash; as a separator it would
        // lead the open elsewhere, even outside the tree.
        out_printf(L"skipped [%s]: its name holds a path separator\n", context.walk_path);
      } else if (h_dir.file_search_info.attributes & file_attribute_directory) {
        if (context.blank_line_pending) {
          context.blank_line_pending = 0;
          if (!context.quiet) out_printf(L"\n");
        }
        if (base + length + 3 > capacity) {
          // No room for the "/*" of the descent.
          out_printf(L"failed to append current item's name to the current path\n");
        } else {
          wmemcpy(context.walk_path + base + length, L"/*", 3);
          entered_namespace entered = enter_namespace(context, name);
          if (!entered.skipped) {
            walk_source(context, context.walk_path, base + length + 1);
            leave_namespace(context, entered);
          }
        }
      } else {
        context.blank_line_pending = 1;
        context.after_namespace_tag = 0;
        embed_file(context, context.walk_path);
      }
    }
    if (!find_next_file(h_dir.h_find, &h_dir.file_search_info)) {
      h_dir.last_error = platform::last_error();
      if (h_dir.last_error != error_no_more_files) {
        out_printf(L"%ls\n", L"FindNextFile(h_find, &file_search_info)");
        print_system_error(standard_stream::output, h_dir.last_error);
      }
      h_dir.close();
      break;
    }
  }
  if (context.blank_line_pending) {
    context.blank_line_pending = 0;
    if (!context.quiet) out_printf(L"\n");
  }
  return 0;
}
