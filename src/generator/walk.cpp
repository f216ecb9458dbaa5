#include "generator/walk.h"

#include <cstring>
#include <cwchar>

#include "driver/format.h"
#include "generator/dependency_file.h"
#include "generator/embed_file.h"
#include "generator/generated_text.h"
#include "generator/identifier.h"
#include "generator/text_output.h"

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

// Removes the last "name::" of the namespace path.
void remove_path_component(builder_context& context) {
  char* start = context.namespace_path;
  char* end = context.namespace_end;
  if (end - start < 2) {
    out_printf(L"failed to go up namespace path\n");
    context.namespace_path = nullptr;
    return;
  }
  char* at = end - 2;
  while (at > start && !(at - start >= 2 && at[-1] == ':' && at[-2] == ':')) --at;
  *at = 0;
  context.namespace_end = at;
}

// The walk_path of a directory without the "/*" appended for its descent.
struct directory_path_view {
  wchar_t* star;
  explicit directory_path_view(wchar_t* path) : star(path + wcslen(path) - 2) { *star = 0; }
  ~directory_path_view() { *star = L'/'; }
};

void empty_top_level_array(builder_context& context) {
  file_handle& part = context.h_dst_2_arr;
  if (!part.seek(0, file_begin) && part.last_error != 0) {
    out_printf(L"h_dst_2_arr.seek()  %i\n", static_cast<int>(part.last_error));
    context.output_incomplete = 1;
  }
  if (!part.set_eof() && part.write_error != 0) {
    out_printf(L"h_dst_2_arr.set_eof()  %i\n", static_cast<int>(part.write_error));
    context.output_incomplete = 1;
  }
}

}  // namespace

entered_namespace enter_namespace(builder_context& context, const wchar_t* name) {
  entered_namespace result{false, false};
  if (!context.hierarchy) return result;
  context.text_length = format_text(context.flat_name, context.flat_name_capacity, "%ls", name);
  if (context.text_length < 0) {
    out_printf(L"failed to prepare name of nested namespace [%s]\n", name);
    return result;
  }
  make_namespace_identifier(context.flat_name);
  size_t length = static_cast<size_t>(context.text_length);
  if (length + 2 <= context.flat_name_capacity) length = avoid_reserved_identifier(context.flat_name, length);
  context.label = context.flat_name;

  {
    directory_path_view directory(context.walk_path);
    if (const wchar_t* first = context.names.find(context.flat_name, length, false)) {
      out_printf(L"skipped [%s]: its identifier %hs is taken by [%s]\n", context.walk_path, context.flat_name, first);
      result.skipped = true;
      return result;
    }
    context.names.add(context.flat_name, length, false, context.walk_path);
  }

  bool path_appended = false;
  if (context.namespace_path) {
    if (context.namespace_end + length + 4 >= context.namespace_limit) {
      out_printf(L"not enough space to append namespace path [%s]\n", name);
      if (length > static_cast<size_t>(context.namespace_limit - context.namespace_end))
        out_printf(L"failed to append namespace path [%s]\n", name);
      context.namespace_path = nullptr;
    } else {
      memcpy(context.namespace_end, context.flat_name, length);
      context.namespace_end += length;
      *context.namespace_end++ = ':';
      *context.namespace_end++ = ':';
      *context.namespace_end = 0;
      path_appended = true;
    }
  }

  const char* line_break = context.after_namespace_tag ? "" : "\n";
  if (prepare_text(context, nested_namespace_open, line_break, context.indent, context.flat_name, context.indent) < 0) {
    out_printf(L"failed to prepare open tag of nested namespace [%s]\n", name);
    if (path_appended && context.namespace_path) remove_path_component(context);
    return result;
  }
  context.names.push_scope(context.flat_name, length);
  result.entered = true;

  // The part gets the opening without its leading line break.
  size_t skip = line_break[0] ? 1 : 0;
  int64_t whole = context.text_length;
  context.text_length = whole - static_cast<int64_t>(skip);
  memmove(context.text_buffer, context.text_buffer + skip, static_cast<size_t>(context.text_length));
  bool written = write_prepared(context, context.h_dst_1);
  context.after_namespace_tag = 1;
  if (written) {
    // Put the line break back for the header.
    memmove(context.text_buffer + skip, context.text_buffer, static_cast<size_t>(context.text_length));
    if (skip) context.text_buffer[0] = '\n';
    context.text_length = whole;
    written = write_prepared(context, context.h_dst_h);
  }
  if (!written) out_printf(L"failed to write open tag of nested namespace [%s]\n", name);

  if (context.depth == 0) {
    context.top_prefix_length = length + 1;
    if (prepare_text(context, array_open, "\t", "\t") < 0) {
      out_printf(L"failed to prepare open tag of all resources array\n");
    } else if (!write_prepared(context, context.h_dst_2_arr)) {
      out_printf(L"failed to write open tag of all resources array\n");
    }
  }
  if (context.depth < 65535) {
    context.indent[context.depth] = '\t';
    context.indent[context.depth + 1] = 0;
  }
  ++context.depth;
  return result;
}

void leave_namespace(builder_context& context, const entered_namespace& entered) {
  if (!context.hierarchy || !entered.entered) return;
  --context.depth;
  if (context.depth < 65536) context.indent[context.depth] = 0;
  context.names.pop_scope();

  if (context.depth == 0) {
    context.top_prefix_length = 0;
    if (context.nested_array_filled) {
      if (prepare_text(context, array_declarations, "\t", "\t") < 0) {
        out_printf(L"failed to prepare header entry for all resources array\n");
      } else if (!write_prepared(context, context.h_dst_h)) {
        out_printf(L"failed to write header entry for all resources array\n");
      }
    }
    if (prepare_text(context, array_close, "\t", "\t") < 0) {
      out_printf(L"failed to prepare close tag of all resources array\n");
    } else if (!write_prepared(context, context.h_dst_2_arr)) {
      out_printf(L"failed to write close tag of all resources array\n");
    }
    if (context.nested_array_filled) {
      copy_part(context, context.h_dst_1, context.h_dst_2_arr);
      // Only a namespace whose array exists gets a sort call; the path still
      // holds its name ("name::").
      if (context.namespace_path) {
        size_t name_length = static_cast<size_t>(context.namespace_end - context.namespace_path) - 2;
        char* name_end = context.namespace_path + name_length;
        *name_end = 0;
        const char* label = context.namespace_path;
        if (prepare_text(context, sort_call, label, "::", label, "::", label, "::") < 0) {
          out_printf(L"failed to prepare item in the list of sort calls [%hs]\n", sort_call);
        } else if (!write_prepared(context, context.h_dst_4)) {
          out_printf(L"failed to write item in the list of sort calls [%hs]\n", context.text_buffer);
        }
        *name_end = ':';
      }
      context.nested_array_filled = 0;
    }
    empty_top_level_array(context);
  }
  if (context.namespace_path) remove_path_component(context);

  if (prepare_text(context, nested_namespace_close, context.indent) < 0) {
    out_printf(L"failed to prepare close tag of nested namespace [%hs]\n", nested_namespace_close);
  } else if (!write_prepared(context, context.h_dst_1) || !write_prepared(context, context.h_dst_h)) {
    out_printf(L"failed to write close tag of nested namespace [%hs]\n", context.text_buffer);
  }
  context.after_namespace_tag = 1;
}

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

  for (;;) {
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
