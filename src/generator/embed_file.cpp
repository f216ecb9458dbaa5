#include "generator/embed_file.h"

#include <cstring>
#include <cwchar>
#include <initializer_list>

#include "driver/format.h"
#include "generator/data_array.h"
#include "generator/dependency_file.h"
#include "generator/generated_text.h"
#include "generator/identifier.h"
#include "generator/text_output.h"
#include "metadata/content_type.h"
#include "metadata/http_date.h"
#include "metadata/text_encoding.h"

using namespace platform;

namespace {

// The top of text_buffer holds the escaped name and path while the record
// is formatted below them.
constexpr uint64_t literal_room = 0x100000;

bool rejected_by_name_filter(const char* name) {
  if (strcmp(name, ".DS_Store") == 0) return true;
  const char* dot = strrchr(name, '.');
  if (!dot) return false;
  const char* extension = dot + 1;
  return strcmp(extension, "aps") == 0 || strcmp(extension, "rc") == 0 ||
         (strcmp(extension, "h") == 0 && strncmp(name, "resource", 8) == 0);
}

bool is_output_file(builder_context& context) {
  for (file_handle* output : {&context.h_dst_cpp, &context.h_dst_h, &context.h_dst_1, &context.h_dst_2_arr,
                              &context.h_dst_3, &context.h_dst_4, &context.deps.file})
    if (output->opened && same_file(context.h_src.handle, output->handle)) return true;
  return false;
}

int give_up(builder_context& context) {
  context.h_src.close();
  return -1;
}

bool narrow_copy(builder_context& context, const wchar_t* text) {
  context.text_length = format_text(context.flat_name, context.flat_name_capacity, "%ls", text);
  return context.text_length >= 0;
}

// Reports and refuses an identifier that an earlier item of this run took.
bool identifier_taken(builder_context& context, const wchar_t* path, const char* identifier, size_t length,
                      bool global) {
  const wchar_t* first = context.names.find(identifier, length, global);
  if (!first) return false;
  out_printf(L"skipped [%s]: its identifier %.*hs is taken by [%s]\n", path, static_cast<int>(length), identifier,
             first);
  return true;
}

}  // namespace

int embed_file(builder_context& context, const wchar_t* path) {
  file_handle& source = context.h_src;
  // A file of the tree named "-" or "con" is that file, not a console stream.
  source.literal = 1;
  source.open(path, generic_read, open_existing, 0);
  if (!source.opened) {
    out_printf(L"cannot open SRC [%s]\n", path);
    return -1;
  }
  if (is_output_file(context)) {
    out_printf(L"skipped [%s]: it is written by this run\n", path);
    return give_up(context);
  }
  note_dependency(context, path, wcslen(path));

  context.source_name = path;
  for (const wchar_t* at = path; *at; ++at)
    if (*at == L'/' || *at == L'\\') context.source_name = at + 1;

  char http_date[http_date_capacity];
  char http_date_lower[http_date_capacity];
  make_http_date(source, http_date, http_date_lower, context.latest_write_time);

  if (!narrow_copy(context, context.source_name)) {
    out_printf(L"failed to prepare flat_name to filter allowed names and extensions [%s]\n", context.source_name);
    return give_up(context);
  }
  if (rejected_by_name_filter(context.flat_name)) return give_up(context);
  if (!context.quiet) out_printf(L" %s\n", path);

  uint64_t size = 0;
  if (!source.size(&size) || size == ~uint64_t{0}) {
    context.file_size = context.remaining = context.size_without_bom = ~uint64_t{0};
    out_printf(L"failed to get file size of h_src\n");
    return give_up(context);
  }
  source.last_error = 0;
  context.file_size = context.remaining = context.size_without_bom = size;

  memset(context.read_buffer, 0, 8);
  context.read_count = source.read(context.read_buffer, static_cast<uint32_t>(context.read_size));
  if (context.read_count < 0) {
    out_printf(L"cannot read h_src\n");
    return give_up(context);
  }
  detect_text_encoding(context);

  if (!narrow_copy(context, path)) {
    out_printf(L"failed to prepare name [%s]\n", path);
    return give_up(context);
  }
  detect_content_type(context);

  if (!narrow_copy(context, path)) {
    out_printf(L"failed to prepare name [%s]\n", path);
    return give_up(context);
  }
  size_t path_bytes = static_cast<size_t>(context.text_length);
  // The escaped literals keep their run-time value equal to the narrow copy.
  char* name_literal = context.text_buffer + context.text_capacity - literal_room;
  char* path_literal = name_literal + literal_room / 2;
  size_t name_offset = static_cast<size_t>(context.source_name - path);
  escape_literal(context.flat_name + name_offset, path_bytes - name_offset, name_literal, literal_room / 2);
  escape_literal(context.flat_name, path_bytes, path_literal, literal_room / 2);

  size_t label_offset = make_path_identifier(context.flat_name);
  size_t identifier_length = path_bytes;
  if (identifier_length + 2 <= context.flat_name_capacity) {
    bool label_reserved = is_reserved_identifier(context.flat_name + label_offset, identifier_length - label_offset);
    if (label_reserved || is_reserved_identifier(context.flat_name, identifier_length)) {
      context.flat_name[identifier_length++] = '_';
      context.flat_name[identifier_length] = 0;
    }
  }
  context.label = context.flat_name + label_offset;
  const char* chosen = context.flat_labels ? context.label : context.flat_name;
  size_t chosen_length = identifier_length - static_cast<size_t>(chosen - context.flat_name);
  if (identifier_taken(context, path, context.flat_name, identifier_length, true) ||
      identifier_taken(context, path, chosen, chosen_length, false))
    return give_up(context);
  context.names.add(context.flat_name, identifier_length, true, path);
  context.names.add(chosen, chosen_length, false, path);

  if (write_data_array(context) != 0) return give_up(context);

  const char* p = context.indent;
  auto low32 = [](uint64_t value) { return static_cast<uint32_t>(value); };
  context.text_length = format_text(
      context.text_buffer, context.text_capacity - literal_room, record_format, p, chosen, p, p, name_literal, p,
      path_literal, p, chosen, p, chosen, low32(context.top_prefix_length), p, chosen, low32(name_offset), p,
      content_type_names[context.content_type], p, text_encoding_names[context.text_encoding], p,
      low32(context.file_size), p, low32(context.size_without_bom), p, low32(context.utf16_length), p,
      context.flat_name, p, chosen, low32(context.bom_length), p, http_date, p, http_date_lower, p);
  if (context.text_length < 0) {
    out_printf(L"failed to prepare label [%hs]\n", context.flat_name);
    return give_up(context);
  }
  if (!write_prepared(context, context.h_dst_1)) {
    out_printf(L"failed to write label [%hs]\n", context.text_buffer);
    return give_up(context);
  }

  if (context.namespace_path) {
    bool nested = context.depth > 0;
    if (prepare_text(context, entry_format, nested ? "\t" : "", nested ? "::vex_res::" : "", context.namespace_path,
                     chosen) < 0) {
      out_printf(L"failed to prepare entry in root resources [%hs]\n", context.flat_name);
      return give_up(context);
    }
    if (!write_prepared(context, nested ? context.h_dst_2_arr : context.h_dst_3)) {
      out_printf(L"failed to write entry in all resources [%hs]\n", context.text_buffer);
      return give_up(context);
    }
    if (nested) context.nested_array_filled = 1;
    else context.root_array_filled = 1;
  }

  if (prepare_text(context, declaration_format, context.indent, chosen) < 0) {
    out_printf(L"failed to prepare header label [%hs]\n", context.flat_name);
    return give_up(context);
  }
  if (!write_prepared(context, context.h_dst_h)) {
    out_printf(L"failed to write header label [%hs]\n", context.text_buffer);
    return give_up(context);
  }
  source.close();
  return 0;
}
