#include "generator/records/side_record.h"

#include <algorithm>
#include <cstdarg>
#include <cstring>
#include <cwchar>
#include <deque>
#include <memory>
#include <string>
#include <vector>

#include "generator/data/memory_arrays.h"
#include "generator/extras/compression.h"
#include "generator/extras/compression_queue.h"
#include "generator/extras/content_hash.h"
#include "generator/extras/variant_cache.h"
#include "generator/names/identifier.h"
#include "generator/names/narrow_name.h"
#include "generator/output_set.h"
#include "generator/records/manifest.h"
#include "generator/records/side_record_text.h"
#include "generator/text_output.h"
#include "support/format.h"

using namespace platform;

namespace {

// The records whose variants may be in the making at once: the window
// bounds the memory that waits (files' bytes and their variants) while the
// workers keep busy. Fixed, not tied to the number of workers, so that
// records are written at the same points of the run whatever that number.
constexpr size_t window_files = 64;
constexpr uint64_t window_bytes = uint64_t{64} << 20;

// One side record between its file's embedding and its writing.
struct pending_record {
  std::string identifier;
  std::string path_literal;    // escaped, without the leading '/'
  std::string hashed_literal;  // the hashed path, likewise
  std::string sort_path;       // as the record's path_root_a holds it at run time
  std::string manifest_path;   // JSON string bodies of the path and its hashed form
  std::string manifest_hashed;
  char hash[content_hash_digits + 1];
  uint64_t size = 0;
  std::shared_ptr<compression_job> job;  // null for content that is not compressed
  bool compressed_here = false;          // a cache miss: store what the job made
};

// What the end of the run needs of one written side record.
struct side_entry {
  std::string path;
  std::string identifier;
  std::string manifest_path;
  std::string manifest_hashed;
};

// What the run's summary counts.
struct extras_summary {
  uint64_t files = 0;
  uint64_t bytes = 0;
  uint64_t saved[coding_count] = {};
  uint64_t hits = 0;
  uint64_t misses = 0;
  uint64_t nanoseconds = 0;
};

// The name made absolute against the current directory, because -d changes
// it during the run.
std::wstring absolute_name(const std::wstring& name) {
  if (is_absolute_path(name.c_str())) return name;
  std::wstring directory(get_current_directory(0, nullptr), L'\0');
  uint32_t length =
      directory.empty() ? 0 : get_current_directory(static_cast<uint32_t>(directory.size()), directory.data());
  if (length == 0 || length >= directory.size()) return name;
  directory.resize(length);
  return directory + L'/' + name;
}

// The target's name up to its extension, then suffix: as the parts are named.
std::wstring beside_target(const wchar_t* target, const wchar_t* suffix) {
  return std::wstring(target, extension_position(target)) + suffix;
}

}  // namespace

struct http_extras_run {
  data_writer& data;         // the run's data form, which writes the variants
  content_hasher data_hash;  // of each file's bytes as its data takes them
  variant_cache cache;
  uint64_t cache_limit = 0;
  bool cache_limited = false;
  file_handle manifest;
  bool include_written = false;
  memory_arrays written;  // the records of one write, kept to reuse its memory
  std::deque<std::unique_ptr<pending_record>> window;  // oldest first
  uint64_t window_held = 0;                            // bytes of the compressible files in the window
  std::vector<side_entry> entries;
  extras_summary summary;
  // Last, so that it stops (finishing any job still queued) before the
  // window that owns the jobs goes.
  compression_queue queue;

  http_extras_run(data_writer& form, unsigned workers) : data(form), queue(workers) {}
};

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

// Reads h_src again from its start into bytes, for compression; they must
// be those whose hash the data's hash was. False after a message.
bool read_source(builder_context& context, const char* hash, std::vector<uint8_t>& bytes) {
  if (!context.h_src.seek(0, file_begin)) {
    out_printf(L"failed to read h_src again for its side record [%hs]\n", context.flat_name);
    return false;
  }
  bytes.reserve(static_cast<size_t>(context.file_size));
  content_hasher hasher;
  for (;;) {
    int64_t got = context.h_src.read(context.read_buffer, static_cast<uint32_t>(context.read_size));
    if (got < 0) {
      out_printf(L"failed to read h_src again for its side record [%hs]\n", context.flat_name);
      return false;
    }
    if (got == 0) break;
    hasher.add(context.read_buffer, static_cast<size_t>(got));
    bytes.insert(bytes.end(), context.read_buffer, context.read_buffer + got);
  }
  char again[content_hash_digits + 1];
  hasher.finish(again);
  if (bytes.size() != context.file_size || strcmp(again, hash) != 0) {
    out_printf(L"h_src changed while it was embedded [%hs]\n", context.flat_name);
    return false;
  }
  return true;
}

std::string escaped(const std::string& bytes) {
  std::string text(bytes.size() * 4 + 1, '\0');
  int64_t length = escape_literal(bytes.data(), bytes.size(), text.data(), text.size());
  text.resize(length > 0 ? static_cast<size_t>(length) : 0);
  return text;
}

// The names of the record: its path as the record holds it (the narrow copy
// in flat_name, which is overwritten), its hashed form, and both for the
// manifest.
void name_record(builder_context& context, const wchar_t* path, pending_record& record) {
  make_narrow_name(context, path, wcslen(path));
  std::string narrow(context.flat_name, context.text_length > 0 ? static_cast<size_t>(context.text_length) : 0);
  record.sort_path = '/' + narrow;
  record.hashed_literal = escaped(hashed_path(record.sort_path, record.hash).substr(1));
  std::wstring wide = std::wstring(L"/") + path;
  record.manifest_path = json_string(wide);
  record.manifest_hashed = json_string(hashed_path(wide, record.hash));
}

// The variants of a compressible file: those of a file with the same bytes
// still in the window, from the cache, or queued for a worker (its bytes
// read again for it). False after a message.
bool find_or_queue(builder_context& context, http_extras_run& run, pending_record& record) {
  for (const std::unique_ptr<pending_record>& earlier : run.window) {
    if (earlier->job && earlier->size == record.size && strcmp(earlier->hash, record.hash) == 0) {
      record.job = earlier->job;
      ++run.summary.hits;
      return true;
    }
  }
  record.job = std::make_shared<compression_job>();
  record.job->size = record.size;
  if (run.cache.find(record.hash, record.size, record.job->variants)) {
    record.job->done = true;
    ++run.summary.hits;
    return true;
  }
  if (!read_source(context, record.hash, record.job->bytes)) return false;
  ++run.summary.misses;
  record.compressed_here = true;
  run.queue.add(record.job.get());
  return true;
}

// The member text of one encoding in the side record.
std::string variant_member(const char* set_name, coding which, const std::vector<uint8_t>& bytes,
                           const char* identifier) {
  if (bytes.empty()) return variant_none;
  char etag[content_hash_digits + 1];
  content_hasher hasher;
  hasher.add(bytes.data(), bytes.size());
  hasher.finish(etag);
  std::string text(strlen(identifier) + strlen(set_name) + 128, '\0');
  int length = format_text(text.data(), text.size(), variant_format, set_name, coding_names[static_cast<int>(which)],
                           identifier, static_cast<unsigned long long>(bytes.size()), etag);
  text.resize(length > 0 ? static_cast<size_t>(length) : 0);
  return text;
}

// Adds the variants' arrays and the side record to out.
bool add_record_text(builder_context& context, data_writer& data, memory_arrays& out, const pending_record& record) {
  std::string& text = out.text;
  static const variant_set no_variants;
  const variant_set& variants = record.job ? record.job->variants : no_variants;
  const char* identifier = record.identifier.c_str();
  std::string members[coding_count];
  for (int i = 0; i < coding_count; ++i) {
    const std::vector<uint8_t>& bytes = variants.bytes[i];
    members[i] = variant_member(context.set_name, static_cast<coding>(i), bytes, identifier);
    if (bytes.empty()) continue;
    if (!add_text(context, text, identifier, extras_variant_open, context.set_name, coding_names[i]) ||
        !data.write_from_memory(context, out, identifier, bytes.data(), bytes.size()) ||
        !add_text(context, text, identifier, extras_namespace_close))
      return false;
  }
  return add_text(context, text, identifier, extras_namespace_open, context.set_name) &&
         add_text(context, text, identifier, side_record_format, identifier, identifier, record.path_literal.c_str(),
                  record.hash, members[0].c_str(), members[1].c_str(), members[2].c_str(),
                  record.hashed_literal.c_str()) &&
         add_text(context, text, identifier, extras_namespace_close);
}

// Waits for the oldest record's variants, caches them when this run made
// them, and adds the record to out.
void add_oldest(builder_context& context, http_extras_run& run, memory_arrays& out) {
  std::unique_ptr<pending_record> record = std::move(run.window.front());
  run.window.pop_front();
  if (record->job) {
    run.window_held -= record->size;
    run.queue.wait(record->job.get());
    if (record->job->out_of_memory) {
      // Without its variants the record would still be right, but the cache
      // must not remember them as not worth keeping, and the build must know.
      out_printf(L"-x: not enough memory to compress [%hs]\n", record->sort_path.c_str());
      context.output_incomplete = 1;
    } else if (record->compressed_here) {
      run.cache.store(record->hash, record->size, record->job->variants);
      run.summary.nanoseconds += record->job->nanoseconds;
    }
  }
  // A record that cannot be made whole is left out, not written in part.
  memory_arrays::mark before = out.here();
  if (!add_record_text(context, run.data, out, *record)) {
    out.take_back(before);
    context.output_incomplete = 1;
    return;
  }
  ++run.summary.files;
  run.summary.bytes += record->size;
  for (int i = 0; record->job && i < coding_count; ++i) {
    const std::vector<uint8_t>& variant = record->job->variants.bytes[i];
    if (!variant.empty()) run.summary.saved[i] += record->size - variant.size();
  }
  run.entries.push_back({record->sort_path, record->identifier, record->manifest_path, record->manifest_hashed});
}

// Writes the oldest records once the window holds more than it may, until
// it is half full (all of them when draining): outside the data namespace,
// which the target is in while the walk goes on, so that they lie at file
// scope after the data arrays written so far.
void write_records(builder_context& context, http_extras_run& run, bool draining) {
  if (run.window.empty() || (!draining && run.window.size() <= window_files && run.window_held <= window_bytes))
    return;
  // Down to half the window, so that records are written many at a time.
  auto over = [&] {
    return !run.window.empty() &&
           (draining || run.window.size() > window_files / 2 || run.window_held > window_bytes / 2);
  };
  // Few writes, of a size that keeps reusing the same memory.
  constexpr size_t write_size = size_t{1} << 20;
  memory_arrays& out = run.written;
  out.text = extras_leave_data;
  if (!run.include_written) out.text += extras_include;
  run.include_written = true;
  bool written = true;
  while (over()) {
    add_oldest(context, run, out);
    if (out.text.size() + out.binary.size() > write_size)
      written = write_memory_arrays(context, run.data, out) && written;
  }
  if (!add_text(context, out.text, "", extras_enter_data, context.set_name) ||
      !write_memory_arrays(context, run.data, out) || !written)
    out_printf(L"failed to write the side records up to [%hs]\n",
               run.entries.empty() ? "" : run.entries.back().identifier.c_str());
}

bool open_output(file_handle& file, const std::wstring& name, uint32_t access, uint32_t flags, const wchar_t* message) {
  file.literal = 1;
  file.open(name.c_str(), access, create_always, flags);
  if (file.opened) return true;
  out_printf(message, name.c_str());
  return false;
}

// A time in nanoseconds as seconds with one decimal.
void print_seconds(uint64_t nanoseconds) {
  uint64_t tenths = (nanoseconds + 50000000) / 100000000;
  out_printf(L"%llu.%llu s", static_cast<unsigned long long>(tenths / 10), static_cast<unsigned long long>(tenths % 10));
}

void print_summary(const extras_summary& summary, const cache_trim& trimmed) {
  out_printf(L"-x: %llu files, %llu bytes embedded; saved by", static_cast<unsigned long long>(summary.files),
             static_cast<unsigned long long>(summary.bytes));
  const wchar_t* separator = L" ";
  for (int i = 0; i < coding_count; ++i) {
    if (!coding_available(static_cast<coding>(i))) continue;
    out_printf(L"%ls%hs %llu", separator, coding_names[i], static_cast<unsigned long long>(summary.saved[i]));
    separator = L", ";
  }
  out_printf(L" bytes; cache: %llu hits, %llu misses", static_cast<unsigned long long>(summary.hits),
             static_cast<unsigned long long>(summary.misses));
  if (trimmed.entries > 0)
    out_printf(L", %llu entries of %llu bytes removed", static_cast<unsigned long long>(trimmed.entries),
               static_cast<unsigned long long>(trimmed.bytes));
  out_printf(L"; compressing: ");
  print_seconds(summary.nanoseconds);
  out_printf(L" of processor time\n");
}

void write_header(builder_context& context, http_extras_run& run, bool arrays) {
  file_handle& header = context.h_dst_h;
  const char* name = "DST.h";
  bool done = put_text(context, header, name, extras_include) &&
              put_text(context, header, name, extras_namespace_open, context.set_name);
  for (const side_entry& entry : run.entries)
    done = done && put_text(context, header, name, extras_declaration, entry.identifier.c_str());
  if (arrays) done = done && put_text(context, header, name, extras_array_declarations);
  done = done && put_text(context, header, name, extras_namespace_close);
  if (done && arrays)
    put_text(context, header, name, extras_hashed_path_lookup, context.set_name, context.set_name, context.set_name);
}

void write_array(builder_context& context, http_extras_run& run) {
  file_handle& cpp = context.h_dst_cpp;
  const char* name = "all";
  bool done = put_text(context, cpp, name, extras_namespace_open, context.set_name) &&
              put_text(context, cpp, name, extras_array_declarations);
  if (done && run.entries.empty()) done = put_text(context, cpp, name, extras_array_empty);
  else if (done) done = put_text(context, cpp, name, extras_array_open);
  for (size_t i = 0; done && i < run.entries.size(); ++i)
    done = put_text(context, cpp, name, extras_array_entry, run.entries[i].identifier.c_str());
  if (done && !run.entries.empty()) done = put_text(context, cpp, name, extras_array_close);
  if (done) put_text(context, cpp, name, extras_namespace_close);
}

void write_manifest(builder_context& context, http_extras_run& run) {
  file_handle& manifest = run.manifest;
  const char* name = "DST.manifest.json";
  bool done = put_text(context, manifest, name, manifest_open);
  for (size_t i = 0; done && i < run.entries.size(); ++i)
    done = put_text(context, manifest, name, manifest_entry, i == 0 ? "" : ",", run.entries[i].manifest_path.c_str(),
                    run.entries[i].manifest_hashed.c_str());
  if (done) put_text(context, manifest, name, manifest_close);
  manifest.close();
}

}  // namespace

std::wstring manifest_name(const builder_context& context, const wchar_t* target) {
  if (!context.namespace_path || is_standard_stream_name(target)) return {};
  return beside_target(target, L"manifest.json");
}

http_extras_run* start_http_extras(builder_context& context, data_writer& data, const wchar_t* target,
                                   const http_extras_options& options) {
  // Progress lines: the output is complete without them, so -q hides them.
  if (!context.quiet) {
    if (!coding_available(coding::br)) out_printf(L"-x: brotli is unavailable in this build: no br variants\n");
    if (!coding_available(coding::zstd)) out_printf(L"-x: zstd is unavailable in this build: no zstd variants\n");
  }
  auto run = std::make_unique<http_extras_run>(data, options.workers);
  std::wstring manifest = manifest_name(context, target);
  if (!manifest.empty() &&
      !open_output(run->manifest, manifest, generic_write, 0, L"cannot open DST.manifest.json [%s]\n"))
    return nullptr;
  std::wstring directory = options.cache_directory.empty() ? beside_target(target, L"cache") : options.cache_directory;
  run->cache.open(absolute_name(directory), compression_settings());
  run->cache_limited = options.cache_limited;
  run->cache_limit = options.cache_limit;
  return run.release();
}

bool is_http_extras_output(const http_extras_run& run, os_handle handle) {
  return run.manifest.opened && same_file(handle, run.manifest.handle);
}

content_hasher& extras_data_hash(http_extras_run& run) { return run.data_hash; }

bool write_side_record(builder_context& context, http_extras_run& run, const wchar_t* path,
                       const char* path_literal) {
  auto record = std::make_unique<pending_record>();
  // The escaped path lies in text_buffer, and the identifier in flat_name,
  // which the naming and writing below reuse.
  record->path_literal = path_literal;
  record->identifier = context.flat_name;
  record->size = context.file_size;
  // The data took fewer bytes than were measured: the file shrank.
  if (context.remaining != 0) {
    out_printf(L"h_src changed while it was embedded [%hs]\n", context.flat_name);
    context.output_incomplete = 1;
    return false;
  }
  run.data_hash.finish(record->hash);
  if (is_compressible_file(context.content_type, path) && context.file_size > 64 &&
      !find_or_queue(context, run, *record)) {
    context.output_incomplete = 1;
    return false;
  }
  name_record(context, path, *record);
  if (record->job) run.window_held += record->size;
  run.window.push_back(std::move(record));
  write_records(context, run, false);
  return true;
}

void drain_http_extras(builder_context& context, http_extras_run& run) { write_records(context, run, true); }

void abandon_http_extras(http_extras_run* run) { delete run; }

void finish_http_extras(builder_context& context, http_extras_run* extras) {
  std::unique_ptr<http_extras_run> run(extras);
  if (!run) return;
  drain_http_extras(context, *run);
  std::sort(run->entries.begin(), run->entries.end(),
            [](const side_entry& a, const side_entry& b) { return a.path < b.path; });
  bool arrays = context.namespace_path != nullptr;
  write_header(context, *run, arrays);
  if (arrays) write_array(context, *run);
  if (run->manifest.opened) write_manifest(context, *run);
  cache_trim trimmed;
  if (run->cache_limited) trimmed = run->cache.trim(run->cache_limit);
  if (!context.quiet) print_summary(run->summary, trimmed);
}
