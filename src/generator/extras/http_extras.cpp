#include "generator/extras/http_extras.h"

#include <algorithm>
#include <cstring>
#include <cwchar>

#include "generator/extras/extras_paths.h"
#include "generator/extras/served_type.h"
#include "generator/records/header_block.h"
#include "generator/records/path_table_text.h"
#include "metadata/content_type.h"
#include "generator/records/side_record_text.h"
#include "platform/threads.h"
#include "support/format.h"

using namespace platform;

namespace {

// The records whose variants may be in the making at once: the window
// bounds the memory that waits (files' bytes and their variants) while the
// workers keep busy. Fixed, not tied to the number of workers, so that
// records are written at the same points of the run whatever that number.
constexpr size_t window_files = 64;
constexpr uint64_t window_bytes = uint64_t{64} << 20;

// True for a file whose variants are made: a compressible type, and more
// bytes than the least saving a variant must make.
bool compresses(const builder_context& context, const wchar_t* path) {
  return is_compressible_file(context.content_type, path) && context.file_size > 64;
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

// The variants of a compressible file: those of a file with the same bytes
// still in the window, from the cache, or queued for a worker (its bytes
// read again for it, or, held back, those the walk read). A file held back
// keeps its bytes in the job until it is known whether its coding's
// variant holds them instead. False after a message.
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
    if (record.held_back && record.job->variants[run.plan.stored].empty()) record.job->bytes = std::move(run.held);
    return true;
  }
  if (record.held_back) {
    record.job->bytes = std::move(run.held);
    record.job->kept_unless_coded = true;
  } else if (!read_source(context, record.hash, record.job->bytes)) {
    return false;
  }
  ++run.summary.misses;
  record.compressed_here = true;
  run.queue.add(record.job.get());
  return true;
}

// The report's entry of a written record.
report_file report_entry(const pending_record& record, const variant_set& variants, int stored_coding) {
  report_file file;
  file.path = record.names.manifest_path;
  file.type = record.served_type;
  file.size = record.size;
  file.coding = stored_coding;
  file.stored = stored_coding < 0 ? record.size : 0;
  for (int i = 0; i < coding_count; ++i) {
    file.variants[i] = variants.bytes[i].size();
    file.stored += file.variants[i];
  }
  return file;
}

// Waits for the record's variants and caches them when this run made them.
// False when they could not be made for want of memory (after a message).
bool wait_for_variants(http_extras_run& run, pending_record& record) {
  run.window_held -= record.size;
  run.queue.wait(record.job.get());
  if (record.job->out_of_memory) {
    // Without its variants the record would still be right, but the cache
    // must not remember them as not worth keeping, and the build must know.
    out_printf(L"-x: not enough memory to compress [%hs]\n", record.names.sort_path.c_str());
    return false;
  }
  if (record.compressed_here) {
    run.cache.store(record.hash, record.size, record.job->variants);
    run.summary.nanoseconds += record.job->nanoseconds;
  }
  return true;
}

// Waits for the oldest record's variants and adds the record to out.
void add_oldest(builder_context& context, http_extras_run& run, memory_arrays& out) {
  std::unique_ptr<pending_record> record = std::move(run.window.front());
  run.window.pop_front();
  if (record->job && !wait_for_variants(run, *record)) context.output_incomplete = 1;
  static const variant_set no_variants;
  const variant_set& variants = record->job ? record->job->variants : no_variants;
  side_record text{record->identifier.c_str(),
                   record->path_literal.c_str(),
                   record->names.hashed_literal.c_str(),
                   record->hash,
                   variants,
                   record->content_type,
                   record->last_modified,
                   record->size & 0xffffffffu};  // as the record's size member holds it
  if (record->held_back) {
    // In the coding of -z alone when its variant was kept, else as it is.
    text.held_back = true;
    if (!variants[run.plan.stored].empty()) text.stored_coding = static_cast<int>(run.plan.stored);
    else text.held_bytes = &record->job->bytes;
  }
  // A record that cannot be made whole is left out, not written in part.
  memory_arrays::mark before = out.here();
  if (!add_side_record(context, run.data, out, text)) {
    out.take_back(before);
    context.output_incomplete = 1;
    return;
  }
  report_file entry = report_entry(*record, variants, text.stored_coding);
  count_record(run.summary, record->size, variants, entry.stored);
  if (run.report) run.report->add(std::move(entry));
  const side_record_names& names = record->names;
  run.entries.push_back({names.sort_path, record->identifier, names.manifest_path, names.manifest_hashed,
                         names.hashed_path, record->record_name});
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
  char enter_data[set_name_capacity + 32];
  format_text(enter_data, sizeof enter_data, extras_enter_data, context.set_name);
  out.text += enter_data;
  if (!write_memory_arrays(context, run.data, out) || !written)
    out_printf(L"failed to write the side records up to [%hs]\n",
               run.entries.empty() ? "" : run.entries.back().identifier.c_str());
}

}  // namespace

unsigned default_workers() {
  unsigned workers = platform::processor_count();
  return workers > most_workers ? most_workers : workers;
}

bool http_extras_run::writes(os_handle handle) const {
  return manifest.opened && same_file(handle, manifest.handle);
}

std::unique_ptr<http_extras_run> start_http_extras(data_writer& data, const wchar_t* target, bool arrays, bool quiet,
                                                   const http_extras_options& options, size_report* report) {
  // Progress lines: the output is complete without them, so -q hides them.
  // A run with -z makes one coding, which this build has.
  if (!quiet && !options.plan.stored_only) {
    if (!coding_available(coding::br)) out_printf(L"-x: brotli is unavailable in this build: no br variants\n");
    if (!coding_available(coding::zstd)) out_printf(L"-x: zstd is unavailable in this build: no zstd variants\n");
  }
  auto run = std::make_unique<http_extras_run>(data, options);
  run->report = report;
  std::wstring manifest = manifest_name(target, arrays);
  if (!manifest.empty()) {
    run->manifest.literal = 1;
    run->manifest.open(manifest.c_str(), generic_write, create_always, 0);
    if (!run->manifest.opened) {
      out_printf(L"cannot open DST.manifest.json [%s]\n", manifest.c_str());
      return nullptr;
    }
  }
  std::wstring directory = options.cache_directory.empty() ? beside_target(target, L"cache") : options.cache_directory;
  run->cache.open(absolute_name(directory), compression_settings(options.plan));
  run->cache_limited = options.cache_limited;
  run->cache_limit = options.cache_limit;
  return run;
}

bool holds_back(const builder_context& context, const http_extras_run& run, const wchar_t* path) {
  return run.plan.stored_only && compresses(context, path);
}

bool hold_file_bytes(builder_context& context, http_extras_run& run) {
  run.data_hash.reset();
  run.held.clear();
  run.held.reserve(static_cast<size_t>(context.file_size));
  while (context.remaining > 0 && context.read_count > 0) {
    size_t bytes = take_chunk(context, &run.data_hash);
    run.held.insert(run.held.end(), context.read_buffer, context.read_buffer + bytes);
    context.read_count = context.h_src.read(context.read_buffer, static_cast<uint32_t>(context.read_size));
    if (context.read_count < 0) {
      out_printf(L"failed to read data %llu bytes remaining\n", static_cast<unsigned long long>(context.remaining));
      context.output_incomplete = 1;
      return false;
    }
  }
  // The file shrank after it was measured.
  if (context.remaining != 0) {
    out_printf(L"h_src changed while it was embedded [%hs]\n", context.flat_name);
    context.output_incomplete = 1;
    return false;
  }
  return true;
}

bool write_side_record(builder_context& context, http_extras_run& run, const side_record_source& source) {
  const wchar_t* path = source.path;
  auto record = std::make_unique<pending_record>();
  // The escaped path lies in text_buffer, and the identifier in flat_name,
  // which the naming and writing below reuse.
  record->path_literal = source.path_literal;
  record->identifier = context.flat_name;
  record->record_name = source.record_name;
  record->content_type = served_content_type(context.content_type, context.text_encoding, path);
  record->last_modified = fixed_last_modified(source.http_date);
  record->size = context.file_size;
  record->held_back = source.held_back;
  record->served_type = served_mime_type(context.content_type, path);
  // The data took fewer bytes than were measured: the file shrank.
  if (context.remaining != 0) {
    out_printf(L"h_src changed while it was embedded [%hs]\n", context.flat_name);
    context.output_incomplete = 1;
    return false;
  }
  run.data_hash.finish(record->hash);
  if (compresses(context, path) && !find_or_queue(context, run, *record)) {
    context.output_incomplete = 1;
    return false;
  }
  std::vector<uint8_t>().swap(run.held);
  record->names = name_side_record(context, path, record->hash);
  if (record->job) run.window_held += record->size;
  run.window.push_back(std::move(record));
  write_records(context, run, false);
  return true;
}

void drain_http_extras(builder_context& context, http_extras_run& run) { write_records(context, run, true); }

void finish_http_extras(builder_context& context, std::unique_ptr<http_extras_run> run) {
  drain_http_extras(context, *run);
  std::sort(run->entries.begin(), run->entries.end(),
            [](const side_entry& a, const side_entry& b) { return a.path < b.path; });
  bool arrays = context.namespace_path != nullptr;
  write_side_declarations(context, run->entries, arrays);
  if (arrays) {
    write_path_table_declaration(context);
    write_side_array(context, run->entries);
    write_path_table(context, run->entries);
  }
  if (run->manifest.opened) write_manifest(context, run->manifest, run->entries);
  cache_trim trimmed;
  if (run->cache_limited) trimmed = run->cache.trim(run->cache_limit);
  if (!context.quiet) print_summary(run->summary, trimmed, run->plan);
}
