#include "generator/records/side_record.h"

#include <cstdarg>
#include <cstring>
#include <cwchar>

#include "generator/extras/content_hash.h"
#include "generator/names/identifier.h"
#include "generator/names/narrow_name.h"
#include "generator/records/header_block.h"
#include "generator/records/manifest.h"
#include "generator/records/side_record_text.h"
#include "generator/text_output.h"
#include "support/format.h"

namespace {

// Formats a piece into text_buffer; false after the message when it cannot.
bool prepare_piece(builder_context& context, const char* name, const char* format, va_list args) {
  context.text_length = vformat_text(context.text_buffer, room_below_literals(context), format, args);
  if (context.text_length >= 0) return true;
  out_printf(L"failed to prepare side record [%hs]\n", name);
  context.output_incomplete = 1;
  return false;
}

// Writes a piece to a file.
bool put_text(builder_context& context, file_handle& file, const char* name, const char* format, ...) {
  va_list args;
  va_start(args, format);
  bool prepared = prepare_piece(context, name, format, args);
  va_end(args);
  if (!prepared) return false;
  if (write_prepared(context, file)) return true;
  out_printf(L"failed to write side record [%hs]\n", name);
  return false;
}

// Appends a piece to text.
bool add_text(builder_context& context, std::string& text, const char* name, const char* format, ...) {
  va_list args;
  va_start(args, format);
  bool prepared = prepare_piece(context, name, format, args);
  va_end(args);
  if (prepared) text.append(context.text_buffer, static_cast<size_t>(context.text_length));
  return prepared;
}

std::string escaped(const std::string& bytes) {
  std::string text(bytes.size() * 4 + 1, '\0');
  int64_t length = escape_literal(bytes.data(), bytes.size(), text.data(), text.size());
  text.resize(length > 0 ? static_cast<size_t>(length) : 0);
  return text;
}

// The strong ETags of the variants (empty where there is none).
struct variant_etags {
  char hex[coding_count][content_hash_digits + 1] = {};
};

variant_etags etags_of(const variant_set& variants) {
  variant_etags etags;
  for (int i = 0; i < coding_count; ++i) {
    if (variants.bytes[i].empty()) continue;
    content_hasher hasher;
    hasher.add(variants.bytes[i].data(), variants.bytes[i].size());
    hasher.finish(etags.hex[i]);
  }
  return etags;
}

// The member text of one encoding in the side record.
std::string variant_member(const char* set_name, coding which, const std::vector<uint8_t>& bytes,
                           const char* identifier, const char* etag) {
  if (bytes.empty()) return variant_none;
  std::string text(strlen(identifier) + strlen(set_name) + 128, '\0');
  int length = format_text(text.data(), text.size(), variant_format, set_name, coding_names[static_cast<int>(which)],
                           identifier, static_cast<unsigned long long>(bytes.size()), etag);
  text.resize(length > 0 ? static_cast<size_t>(length) : 0);
  return text;
}

// The header lines of each representation: the file's own bytes, then each
// coding's variant (none where there is no variant). False when one cannot
// be made.
bool add_heads(const side_record& record, const variant_etags& etags, std::string (&heads)[coding_count + 1]) {
  bool varies = false;
  for (const std::vector<uint8_t>& bytes : record.variants.bytes) varies = varies || !bytes.empty();
  heads[0] = head_member({record.content_type, record.last_modified, record.hash, record.size, varies, nullptr});
  bool made = !heads[0].empty();
  for (int i = 0; i < coding_count; ++i) {
    const std::vector<uint8_t>& bytes = record.variants.bytes[i];
    heads[i + 1] = bytes.empty() ? head_none
                                 : head_member({record.content_type, record.last_modified, etags.hex[i], bytes.size(),
                                                true, coding_names[i]});
    made = made && !heads[i + 1].empty();
  }
  return made;
}

}  // namespace

side_record_names name_side_record(builder_context& context, const wchar_t* path, const char* hash) {
  side_record_names names;
  make_narrow_name(context, path, wcslen(path));
  std::string narrow(context.flat_name, context.text_length > 0 ? static_cast<size_t>(context.text_length) : 0);
  names.sort_path = '/' + narrow;
  names.hashed_path = hashed_path(names.sort_path, hash);
  names.hashed_literal = escaped(names.hashed_path.substr(1));
  std::wstring wide = std::wstring(L"/") + path;
  names.manifest_path = json_string(wide);
  names.manifest_hashed = json_string(hashed_path(wide, hash));
  return names;
}

namespace {

// The data array of a file whose data the walk left to its side record,
// in the data namespace: the file's bytes, or a null pointer when its
// variant holds them.
bool add_held_data(builder_context& context, data_writer& data, memory_arrays& out, const side_record& record) {
  std::string& text = out.text;
  const char* identifier = record.identifier;
  if (!add_text(context, text, identifier, extras_enter_data, context.set_name)) return false;
  bool added = record.stored_coding >= 0
                   ? add_text(context, text, identifier, held_data_none, identifier)
                   : data.write_from_memory(context, out, identifier, record.held_bytes->data(),
                                            record.held_bytes->size());
  return added && add_text(context, text, identifier, extras_namespace_close);
}

}  // namespace

bool add_side_record(builder_context& context, data_writer& data, memory_arrays& out, const side_record& record) {
  std::string& text = out.text;
  const char* identifier = record.identifier;
  const variant_etags etags = etags_of(record.variants);
  std::string members[coding_count];
  for (int i = 0; i < coding_count; ++i) {
    const std::vector<uint8_t>& bytes = record.variants.bytes[i];
    members[i] = variant_member(context.set_name, static_cast<coding>(i), bytes, identifier, etags.hex[i]);
    if (bytes.empty()) continue;
    if (!add_text(context, text, identifier, extras_variant_open, context.set_name, coding_names[i]) ||
        !data.write_from_memory(context, out, identifier, bytes.data(), bytes.size()) ||
        !add_text(context, text, identifier, extras_namespace_close))
      return false;
  }
  std::string heads[coding_count + 1];
  if (!add_heads(record, etags, heads)) {
    out_printf(L"failed to prepare the header lines of side record [%hs]\n", identifier);
    context.output_incomplete = 1;
    return false;
  }
  if (record.held_back && !add_held_data(context, data, out, record)) return false;
  // The header lines follow the stored coding, so it is always written.
  const char* stored = stored_coding_members[record.stored_coding + 1];
  return add_text(context, text, identifier, extras_namespace_open, context.set_name) &&
         add_text(context, text, identifier, side_record_format, identifier, identifier, record.path_literal,
                  record.hash, members[0].c_str(), members[1].c_str(), members[2].c_str(), record.hashed_literal,
                  stored, heads[0].c_str(), heads[1].c_str(), heads[2].c_str(), heads[3].c_str()) &&
         add_text(context, text, identifier, extras_namespace_close);
}

void write_side_declarations(builder_context& context, const std::vector<side_entry>& entries, bool arrays) {
  file_handle& header = context.h_dst_h;
  const char* name = "DST.h";
  bool done = put_text(context, header, name, extras_include) &&
              put_text(context, header, name, extras_namespace_open, context.set_name);
  for (const side_entry& entry : entries)
    done = done && put_text(context, header, name, extras_declaration, entry.identifier.c_str());
  if (arrays) done = done && put_text(context, header, name, extras_array_declarations);
  done = done && put_text(context, header, name, extras_namespace_close);
  if (done && arrays)
    put_text(context, header, name, extras_hashed_path_lookup, context.set_name, context.set_name, context.set_name);
}

void write_side_array(builder_context& context, const std::vector<side_entry>& entries) {
  file_handle& cpp = context.h_dst_cpp;
  const char* name = "all";
  bool done = put_text(context, cpp, name, extras_namespace_open, context.set_name) &&
              put_text(context, cpp, name, extras_array_declarations);
  if (done && entries.empty()) done = put_text(context, cpp, name, extras_array_empty);
  else if (done) done = put_text(context, cpp, name, extras_array_open);
  for (size_t i = 0; done && i < entries.size(); ++i)
    done = put_text(context, cpp, name, extras_array_entry, entries[i].identifier.c_str());
  if (done && !entries.empty()) done = put_text(context, cpp, name, extras_array_close);
  if (done) put_text(context, cpp, name, extras_namespace_close);
}

void write_manifest(builder_context& context, file_handle& manifest, const std::vector<side_entry>& entries) {
  const char* name = "DST.manifest.json";
  bool done = put_text(context, manifest, name, manifest_open);
  for (size_t i = 0; done && i < entries.size(); ++i)
    done = put_text(context, manifest, name, manifest_entry, i == 0 ? "" : ",", entries[i].manifest_path.c_str(),
                    entries[i].manifest_hashed.c_str());
  if (done) put_text(context, manifest, name, manifest_close);
  manifest.close();
}
