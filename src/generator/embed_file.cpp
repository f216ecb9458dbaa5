#include "generator/embed_file.h"

#include <cstring>
#include <cwchar>
#include <initializer_list>
#include <string>

#include "generator/data/data_writer.h"
#include "generator/dependency_rule.h"
#include "generator/extras/http_extras.h"
#include "generator/generated_text.h"
#include "generator/names/identifier.h"
#include "generator/records/record_constant.h"
#include "generator/names/item_identifier.h"
#include "generator/names/narrow_name.h"
#include "generator/records/manifest.h"
#include "generator/records/resource_record.h"
#include "generator/shards/record_shards.h"
#include "generator/report/size_report.h"
#include "generator/source_metadata.h"
#include "generator/text_output.h"
#include "metadata/content_type.h"
#include "metadata/http_date.h"
#include "metadata/text_encoding.h"
#include "support/format.h"

using namespace platform;

namespace {

// The names one file gets, made once and used by every piece of its text.
struct file_names {
  char* name_literal;        // escaped name, in text_buffer's top
  char* path_literal;        // escaped path, likewise
  size_t name_offset;        // where the name starts in the narrow path
  size_t identifier_length;  // of the data array's name, in flat_name
  const char* label;         // the record's name: the identifier or its name part
  size_t label_length;
};

bool rejected_by_name_filter(const char* name) {
  if (strcmp(name, ".DS_Store") == 0) return true;
  const char* dot = strrchr(name, '.');
  if (!dot) return false;
  const char* extension = dot + 1;
  return strcmp(extension, "aps") == 0 || strcmp(extension, "rc") == 0 ||
         (strcmp(extension, "h") == 0 && strncmp(name, "resource", 8) == 0);
}

bool is_output_file(builder_context& context, const run_features& features) {
  // Each output's identity is queried once, the source's once per file.
  const file_handle& source = context.h_src;
  for (file_handle* output : output_set_files(context))
    if (output->is_file_of(source)) return true;
  return features.deps.file.is_file_of(source) || features.data.writes(source) ||
         (features.extras && features.extras->writes(source.handle)) ||
         (features.shards && features.shards->writes(source)) ||
         (features.report && features.report->writes(source.handle));
}

int give_up(file_handle& source) {
  source.close();
  return -1;
}

bool narrow_copy(builder_context& context, const wchar_t* text) {
  return make_narrow_name(context, text, wcslen(text));
}

// Opens h_src and finds the name part of the path. False when the file is
// not to be embedded (h_src is closed again then).
bool open_source(builder_context& context, const run_features& features, const wchar_t* path) {
  file_handle& source = context.h_src;
  // A file of the tree named "-" or "con" is that file, not a console stream.
  source.literal = 1;
  source.open(path, generic_read, open_existing, 0);
  if (!source.opened) {
    out_printf(L"cannot open SRC [%s]\n", path);
    return false;
  }
  if (is_output_file(context, features)) {
    out_printf(L"skipped [%s]: it is written by this run\n", path);
    give_up(source);
    return false;
  }
  if (!note_dependency(features.deps, path, wcslen(path))) context.output_incomplete = 1;
  context.source_name = path;
  for (const wchar_t* at = path; *at; ++at)
    if (*at == L'/' || *at == L'\\') context.source_name = at + 1;
  return true;
}

// The name filter, on the narrow copy of the name; false for a file that it
// rejects or whose name cannot be made narrow.
bool passes_name_filter(builder_context& context, const wchar_t* path) {
  if (!narrow_copy(context, context.source_name)) {
    out_printf(L"failed to prepare flat_name to filter allowed names and extensions [%s]\n", context.source_name);
    return false;
  }
  if (rejected_by_name_filter(context.flat_name)) return false;
  if (!context.quiet) out_printf(L" %s\n", path);
  return true;
}

// Measures the file and reads its first block, which tells its encoding.
bool read_first_block(builder_context& context) {
  file_handle& source = context.h_src;
  uint64_t size = 0;
  if (!source.size(&size) || size == ~uint64_t{0}) {
    context.file_size = context.remaining = context.size_without_bom = ~uint64_t{0};
    out_printf(L"failed to get file size of h_src\n");
    return false;
  }
  source.last_error = 0;
  context.file_size = context.remaining = context.size_without_bom = size;
  // Zeros, so that a file shorter than a byte-order mark reads as having none.
  memset(context.read_buffer, 0, 8);
  context.read_count = source.read(context.read_buffer, static_cast<uint32_t>(context.read_size));
  if (context.read_count < 0) {
    out_printf(L"cannot read h_src\n");
    return false;
  }
  detect_text_encoding(context);
  return true;
}

bool detect_type_of_path(builder_context& context, const wchar_t* path) {
  if (!narrow_copy(context, path)) {
    out_printf(L"failed to prepare name [%s]\n", path);
    return false;
  }
  detect_content_type(context);
  return true;
}

// The escaped literals of name and path, the data array's identifier in
// flat_name and the record's label.
bool make_names(builder_context& context, const wchar_t* path, file_names& names) {
  if (!narrow_copy(context, path)) {
    out_printf(L"failed to prepare name [%s]\n", path);
    return false;
  }
  size_t path_bytes = static_cast<size_t>(context.text_length);
  // The escaped literals keep their run-time value equal to the narrow copy
  // (and under -u the wide one equal to the name).
  names.name_literal = context.text_buffer + context.text_capacity - literal_room;
  names.path_literal = names.name_literal + literal_room / 2;
  // The name starts after the last separator, counted in bytes of the narrow path.
  names.name_offset = path_bytes;
  while (names.name_offset > 0 && context.flat_name[names.name_offset - 1] != '/' &&
         context.flat_name[names.name_offset - 1] != '\\')
    --names.name_offset;
  if (context.utf8_names)
    escape_wide_literal(context.source_name, wcslen(context.source_name), names.name_literal, literal_room / 2);
  else
    escape_literal(context.flat_name + names.name_offset, path_bytes - names.name_offset, names.name_literal,
                   literal_room / 2);
  escape_literal(context.flat_name, path_bytes, names.path_literal, literal_room / 2);

  size_t label_offset = make_path_identifier(context.flat_name);
  context.label = context.flat_name + label_offset;
  names.label = context.flat_labels ? context.label : context.flat_name;
  names.identifier_length = path_bytes;
  return true;
}

// Takes the data array's name (global) and the record's (in its scope),
// renamed when an earlier item holds either.
bool claim_identifiers(builder_context& context, const wchar_t* path, file_names& names) {
  claim_scope scope{static_cast<size_t>(names.label - context.flat_name), true,
                    static_cast<size_t>(context.label - context.flat_name)};
  if (!claim_item_identifier(context, path, scope, &names.identifier_length, L"failed to prepare name [%s]\n"))
    return false;
  names.label_length = names.identifier_length - scope.scoped_offset;
  return true;
}

// The file's data array; or, when -z may hold the file in one coding only,
// its bytes, read for its side record, and the array of its path.
bool write_data(builder_context& context, const run_features& features, const file_names& names, bool held_back) {
  if (held_back)
    return hold_file_bytes(context, *features.extras) && write_path_array(context, features.data, names.path_literal);
  return write_file_data(context, features.data, names.path_literal,
                         features.extras ? &features.extras->data_hash : nullptr);
}

// constant: the data form's records hold address constants only.
bool write_record(builder_context& context, bool constant, const file_names& names, const char* http_date,
                  const char* http_date_lower, bool held_back) {
  resource_record record{context.indent,
                         names.label,
                         names.name_literal,
                         names.path_literal,
                         context.top_prefix_length,
                         names.name_offset,
                         content_type_names[context.content_type],
                         text_encoding_names[context.text_encoding],
                         context.file_size,
                         context.size_without_bom,
                         context.utf16_length,
                         context.flat_name,
                         context.bom_length,
                         http_date,
                         http_date_lower,
                         context.set_name,
                         held_back};
  uint64_t room = room_below_literals(context);
  context.text_length = constant ? format_constant_record(record, context.text_buffer, room)
                                 : format_resource_record(record, context.text_buffer, room);
  if (context.text_length < 0) {
    out_printf(L"failed to prepare label [%hs]\n", context.flat_name);
    return false;
  }
  if (!write_prepared(context, *context.record_file)) {
    out_printf(L"failed to write label [%hs]\n", context.text_buffer);
    return false;
  }
  return true;
}

// "::<set>::", which names a record from the global scope, so that a
// nested namespace named like the set cannot capture the name.
std::string record_scope(const builder_context& context) {
  return std::string("::") + context.set_name + "::";
}

// The entry of the record in the all array of its top-level namespace, or
// of the root; none while the arrays are off.
bool write_entry(builder_context& context, const file_names& names) {
  if (!context.namespace_path) return true;
  bool nested = context.depth > 0;
  const std::string scope = nested ? record_scope(context) : std::string();
  if (prepare_text(context, entry_format, nested ? "\t" : "", scope.c_str(), context.namespace_path, names.label) < 0) {
    out_printf(L"failed to prepare entry in root resources [%hs]\n", context.flat_name);
    return false;
  }
  if (!write_prepared(context, nested ? context.h_dst_2_arr : context.h_dst_3)) {
    out_printf(L"failed to write entry in all resources [%hs]\n", context.text_buffer);
    return false;
  }
  if (nested) context.nested_array_filled = 1;
  else context.root_array_filled = 1;
  return true;
}

bool write_declaration(builder_context& context, const file_names& names) {
  if (prepare_text(context, declaration_format, context.indent, names.label) < 0) {
    out_printf(L"failed to prepare header label [%hs]\n", context.flat_name);
    return false;
  }
  if (!write_prepared(context, context.h_dst_h)) {
    out_printf(L"failed to write header label [%hs]\n", context.text_buffer);
    return false;
  }
  return true;
}

// Hands the file's side record to -x, with what the walk knows of it.
bool take_side_record(builder_context& context, http_extras_run& extras, const wchar_t* path,
                      const file_names& names, const char* http_date, bool held_back) {
  // Only the table of paths names the record, and only with the all arrays.
  std::string record_name;
  if (context.namespace_path) record_name = record_scope(context) + context.namespace_path + names.label;
  return write_side_record(context, extras, {path, names.path_literal, record_name.c_str(), http_date, held_back});
}

// The report's entry of a file embedded without -x: held as it is.
void report_file_as_it_is(const builder_context& context, size_report& report, const wchar_t* path) {
  report_file file;
  file.path = json_string(std::wstring(L"/") + path);
  file.type = served_mime_type(context.content_type, path);
  file.size = file.stored = context.file_size;
  report.add(std::move(file));
}

}  // namespace

int embed_file(builder_context& context, const run_features& features, const wchar_t* path) {
  if (!open_source(context, features, path)) return -1;
  char http_date[http_date_capacity];
  char http_date_lower[http_date_capacity];
  make_http_date(context.h_src, http_date, http_date_lower, context.latest_write_time);

  file_names names{};
  bool embedded = passes_name_filter(context, path) && read_first_block(context) &&
                  detect_type_of_path(context, path) && make_names(context, path, names) &&
                  claim_identifiers(context, path, names);
  const bool held_back = embedded && features.extras && holds_back(context, *features.extras, path);
  embedded = embedded && write_data(context, features, names, held_back) &&
             write_record(context, features.data.constant_records(), names, http_date, http_date_lower, held_back) &&
             write_entry(context, names) && write_declaration(context, names) &&
             (!features.extras || take_side_record(context, *features.extras, path, names, http_date, held_back));
  if (!embedded) return give_up(context.h_src);
  if (features.report && !features.extras) report_file_as_it_is(context, *features.report, path);
  context.h_src.close();
  return 0;
}
