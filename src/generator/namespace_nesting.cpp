#include "generator/namespace_nesting.h"

#include <cstring>
#include <cwchar>

#include "generator/generated_text.h"
#include "generator/names/identifier.h"
#include "generator/names/item_identifier.h"
#include "generator/names/narrow_name.h"
#include "generator/text_output.h"
#include "support/format.h"

using namespace platform;

namespace {

// indent holds one tab per open namespace and its terminator.
constexpr uint64_t max_indent_tabs = narrow_buffer_bytes - 1;

// The walk_path of a directory without the "/*" appended for its descent.
struct directory_path_view {
  wchar_t* star;
  explicit directory_path_view(wchar_t* path) : star(path + wcslen(path) - 2) { *star = 0; }
  ~directory_path_view() { *star = L'/'; }
};

// Makes the directory's identifier in flat_name, unique in its scope; its
// length and the byte count of the narrow name, or false after the message.
bool make_namespace_name(builder_context& context, const wchar_t* name, size_t* length, size_t* name_bytes) {
  if (!make_narrow_name(context, name, wcslen(name))) {
    out_printf(L"failed to prepare name of nested namespace [%s]\n", name);
    return false;
  }
  make_namespace_identifier(context.flat_name);
  *length = *name_bytes = static_cast<size_t>(context.text_length);
  context.label = context.flat_name;
  directory_path_view directory(context.walk_path);
  return claim_item_identifier(context, context.walk_path, claim_scope{0, false, 0}, length,
                               L"failed to prepare name of nested namespace [%s]\n");
}

// Appends "identifier::" to the namespace path; a full path switches it off.
bool append_namespace_path(builder_context& context, const wchar_t* name, size_t length) {
  if (!context.namespace_path) return false;
  if (context.namespace_end + length + 4 >= context.namespace_limit) {
    out_printf(L"not enough space to append namespace path [%s]\n", name);
    if (length > static_cast<size_t>(context.namespace_limit - context.namespace_end))
      out_printf(L"failed to append namespace path [%s]\n", name);
    context.namespace_path = nullptr;
    return false;
  }
  memcpy(context.namespace_end, context.flat_name, length);
  context.namespace_end += length;
  *context.namespace_end++ = ':';
  *context.namespace_end++ = ':';
  *context.namespace_end = 0;
  return true;
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

// The opening goes to DST.1.tmp without its leading line break (when it has
// one) and to DST.h whole.
void write_namespace_opening(builder_context& context, const wchar_t* name, int64_t skip) {
  int64_t whole = context.text_length;
  bool written = write_bytes(context, context.h_dst_1, context.text_buffer + skip, whole - skip);
  context.after_namespace_tag = 1;
  if (written) written = write_bytes(context, context.h_dst_h, context.text_buffer, whole);
  if (!written) out_printf(L"failed to write open tag of nested namespace [%s]\n", name);
}

// name_bytes: the directory name's length in the narrow paths below it.
void open_top_level_array(builder_context& context, size_t name_bytes, bool opening) {
  context.top_prefix_length = name_bytes + 1;
  if (!opening) return;
  if (prepare_text(context, array_open, "\t", "\t") < 0) {
    out_printf(L"failed to prepare open tag of all resources array\n");
  } else if (!write_prepared(context, context.h_dst_2_arr)) {
    out_printf(L"failed to write open tag of all resources array\n");
  }
}

void deepen_indent(builder_context& context) {
  if (context.depth < max_indent_tabs) {
    context.indent[context.depth] = '\t';
    context.indent[context.depth + 1] = 0;
  }
  ++context.depth;
}

// Only a namespace whose array exists gets a sort call; the path still holds
// its name ("name::").
void add_sort_call(builder_context& context) {
  if (!context.namespace_path) return;
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

// The array of a top-level namespace goes behind its records, with its
// declarations in DST.h, when it holds an entry.
void close_top_level_array(builder_context& context) {
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
    add_sort_call(context);
    context.nested_array_filled = 0;
  }
  empty_top_level_array(context);
}

void write_namespace_closing(builder_context& context) {
  if (prepare_text(context, nested_namespace_close, context.indent) < 0) {
    out_printf(L"failed to prepare close tag of nested namespace [%hs]\n", nested_namespace_close);
  } else if (!write_prepared(context, context.h_dst_1) || !write_prepared(context, context.h_dst_h)) {
    out_printf(L"failed to write close tag of nested namespace [%hs]\n", context.text_buffer);
  }
}

}  // namespace

entered_namespace enter_namespace(builder_context& context, const wchar_t* name, bool array_opened_later) {
  entered_namespace result{false, false};
  size_t length = 0;
  size_t name_bytes = 0;
  if (!context.hierarchy) return result;
  if (!make_namespace_name(context, name, &length, &name_bytes)) {
    result.skipped = context.stopped != 0;
    return result;
  }
  bool path_appended = append_namespace_path(context, name, length);

  const char* line_break = context.after_namespace_tag ? "" : "\n";
  if (prepare_text(context, nested_namespace_open, line_break, context.indent, context.flat_name, context.indent) < 0) {
    out_printf(L"failed to prepare open tag of nested namespace [%s]\n", name);
    if (path_appended && context.namespace_path) remove_path_component(context);
    return result;
  }
  context.names.push_scope();
  result.entered = true;
  write_namespace_opening(context, name, line_break[0] ? 1 : 0);

  if (context.depth == 0) open_top_level_array(context, name_bytes, !array_opened_later);
  deepen_indent(context);
  return result;
}

void leave_namespace(builder_context& context, const entered_namespace& entered) {
  if (!context.hierarchy || !entered.entered) return;
  --context.depth;
  if (context.depth <= max_indent_tabs) context.indent[context.depth] = 0;
  context.names.pop_scope();
  if (context.depth == 0) close_top_level_array(context);
  if (context.namespace_path) remove_path_component(context);
  write_namespace_closing(context);
  context.after_namespace_tag = 1;
}
