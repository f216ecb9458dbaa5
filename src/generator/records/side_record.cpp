#include "generator/records/side_record.h"

#include <algorithm>
#include <cstdarg>
#include <cstring>
#include <cwchar>
#include <string>
#include <vector>

#include "generator/extras/compression.h"
#include "generator/extras/content_hash.h"
#include "generator/data/from_memory.h"
#include "generator/records/side_record_text.h"
#include "generator/text_output.h"
#include "generator/extras/variant_cache.h"
#include "support/format.h"

using namespace platform;

namespace {

// What the end of the run needs of one side record.
struct side_entry {
  std::string path;        // narrow, as the record's path_root_a holds it at run time
  std::string identifier;  // of the data array, and of the side record
};

// One encoding's kept bytes and their ETag.
struct variant {
  const char* encoding;
  const std::vector<uint8_t>* bytes;
  char etag[content_hash_digits + 1];
};

}  // namespace

struct http_extras_run {
  variant_cache cache;
  std::vector<side_entry> entries;
  bool include_written = false;
};

namespace {

bool put_text(builder_context& context, file_handle& file, const char* format, ...) {
  va_list args;
  va_start(args, format);
  context.text_length = vformat_text(context.text_buffer, context.text_capacity, format, args);
  va_end(args);
  if (context.text_length >= 0 && write_prepared(context, file)) return true;
  out_printf(L"failed to write side record [%hs]\n", context.flat_name);
  context.output_incomplete = 1;
  return false;
}

// Reads h_src again from its start: the hash of its bytes, and the bytes
// themselves when keep is set (for compression). False after a message.
bool read_source(builder_context& context, bool keep, std::vector<uint8_t>& bytes, char* hash) {
  content_hasher hasher;
  if (!hasher.ready() || !context.h_src.seek(0, file_begin)) {
    out_printf(L"failed to read h_src again for its side record [%hs]\n", context.flat_name);
    return false;
  }
  if (keep) bytes.reserve(static_cast<size_t>(context.file_size));
  uint64_t total = 0;
  for (;;) {
    int64_t got = context.h_src.read(context.read_buffer, static_cast<uint32_t>(context.read_size));
    if (got < 0) {
      out_printf(L"failed to read h_src again for its side record [%hs]\n", context.flat_name);
      return false;
    }
    if (got == 0) break;
    hasher.add(context.read_buffer, static_cast<size_t>(got));
    if (keep) bytes.insert(bytes.end(), context.read_buffer, context.read_buffer + got);
    total += static_cast<uint64_t>(got);
  }
  if (total != context.file_size) {
    out_printf(L"h_src changed while it was embedded [%hs]\n", context.flat_name);
    return false;
  }
  hasher.finish(hash);
  return true;
}

// The variants of bytes, from the cache or compressed now (and then cached);
// a variant that does not save enough is dropped.
void make_variants(http_extras_run& run, const std::vector<uint8_t>& bytes, const char* hash,
                   cached_variants& variants) {
  if (run.cache.find(hash, bytes.size(), variants)) return;
  variants.brotli_tried = brotli_available();
  if (!compress_brotli(bytes.data(), bytes.size(), variants.brotli) ||
      !worth_keeping(bytes.size(), variants.brotli.size()))
    variants.brotli.clear();
  if (!compress_gzip(bytes.data(), bytes.size(), variants.gzip) || !worth_keeping(bytes.size(), variants.gzip.size()))
    variants.gzip.clear();
  run.cache.store(hash, bytes.size(), variants);
}

// The member text of one encoding in the side record.
std::string variant_member(const variant& kept, const char* identifier) {
  if (kept.bytes->empty()) return variant_none;
  std::string text(strlen(identifier) + 128, '\0');
  int length = format_text(text.data(), text.size(), variant_format, kept.encoding, identifier,
                           static_cast<unsigned long long>(kept.bytes->size()), kept.etag);
  text.resize(length > 0 ? static_cast<size_t>(length) : 0);
  return text;
}

// Leaves the data namespace and writes the variants' arrays and the side record.
bool write_side_text(builder_context& context, http_extras_run& run, const char* path_literal, const char* hash,
                     variant (&kept)[2]) {
  file_handle& cpp = context.h_dst_cpp;
  const char* identifier = context.flat_name;
  if (!put_text(context, cpp, extras_leave_data)) return false;
  if (!run.include_written && !put_text(context, cpp, extras_include)) return false;
  run.include_written = true;
  for (const variant& each : kept) {
    if (each.bytes->empty()) continue;
    if (!put_text(context, cpp, extras_variant_open, each.encoding) ||
        !write_data_array_from_memory(context, identifier, each.bytes->data(), each.bytes->size()) ||
        !put_text(context, cpp, extras_namespace_close))
      return false;
  }
  std::string brotli = variant_member(kept[0], identifier);
  std::string gzip = variant_member(kept[1], identifier);
  return put_text(context, cpp, extras_namespace_open) &&
         put_text(context, cpp, side_record_format, identifier, identifier, path_literal, hash, brotli.c_str(),
                  gzip.c_str()) &&
         put_text(context, cpp, extras_namespace_close) && put_text(context, cpp, extras_enter_data);
}

std::string narrow_path(const wchar_t* path) {
  std::string text(wcslen(path) * 4 + 2, '\0');
  int length = format_text(text.data(), text.size(), "/%ls", path);
  text.resize(length > 0 ? static_cast<size_t>(length) : 0);
  return text;
}

}  // namespace

http_extras_run* start_http_extras(const wchar_t* target, bool quiet) {
  // A progress line: the output is complete without brotli, so -q hides it.
  if (!brotli_available() && !quiet)
    out_printf(L"-x: brotli is unavailable in this build: writing gzip variants only\n");
  auto* run = new http_extras_run;
  run->cache.open(target);
  return run;
}

bool write_side_record(builder_context& context, const wchar_t* path, const char* path_literal) {
  http_extras_run& run = *context.extras;
  // The escaped path lies in text_buffer, which the writing below reuses.
  std::string literal = path_literal;
  std::string identifier = context.flat_name;
  bool compressible = is_compressible_file(context.content_type, path) && context.file_size > 64;
  std::vector<uint8_t> bytes;
  char hash[content_hash_digits + 1];
  if (!read_source(context, compressible, bytes, hash)) {
    context.output_incomplete = 1;
    return false;
  }
  cached_variants variants;
  if (compressible) make_variants(run, bytes, hash, variants);
  variant kept[2] = {{"br", &variants.brotli, {}}, {"gzip", &variants.gzip, {}}};
  for (variant& each : kept) {
    content_hasher hasher;
    hasher.add(each.bytes->data(), each.bytes->size());
    hasher.finish(each.etag);
  }
  if (!write_side_text(context, run, literal.c_str(), hash, kept)) return false;
  run.entries.push_back({narrow_path(path), identifier});
  return true;
}

void finish_http_extras(builder_context& context) {
  http_extras_run* run = context.extras;
  context.extras = nullptr;
  if (!run) return;
  std::sort(run->entries.begin(), run->entries.end(),
            [](const side_entry& a, const side_entry& b) { return a.path < b.path; });
  file_handle& header = context.h_dst_h;
  bool arrays = context.namespace_path != nullptr;
  bool done = put_text(context, header, extras_include) && put_text(context, header, extras_namespace_open);
  for (const side_entry& entry : run->entries)
    done = done && put_text(context, header, extras_declaration, entry.identifier.c_str());
  if (arrays) done = done && put_text(context, header, extras_array_declarations);
  done = done && put_text(context, header, extras_namespace_close);

  file_handle& cpp = context.h_dst_cpp;
  if (done && arrays) {
    done = put_text(context, cpp, extras_namespace_open) && put_text(context, cpp, extras_array_declarations);
    if (done && run->entries.empty()) done = put_text(context, cpp, extras_array_empty);
    else if (done) done = put_text(context, cpp, extras_array_open);
    for (size_t i = 0; done && i < run->entries.size(); ++i)
      done = put_text(context, cpp, extras_array_entry, run->entries[i].identifier.c_str());
    if (done && !run->entries.empty()) done = put_text(context, cpp, extras_array_close);
    if (done) put_text(context, cpp, extras_namespace_close);
  }
  delete run;
}
