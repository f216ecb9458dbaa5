#pragma once
// The pipeline of -x. Every embedded file gets a side record (its text is
// generator/records/side_record.h): its variants are found among the
// records still waiting, in the variant cache, or compressed by worker
// threads while the walk goes on; the records are written into the target
// in walk order, each once its variants are ready and the window of
// records in the making is full, so always at the same points of the
// output whatever the number of workers. At the end come the sorted array,
// the manifest, the cache's trim and the summary line.
//
// With -z, only the variants of one coding are made, and a file that gets
// one is held in the program in that coding only: the walk reads such a
// file's bytes instead of writing its data (hold_file_bytes), and its data
// array is written with its side record, as the file's bytes or, when the
// variant was kept, as a null pointer.
#include <cstdint>
#include <deque>
#include <memory>
#include <string>
#include <vector>

#include "context/builder_context.h"
#include "generator/data/data_writer.h"
#include "generator/extras/compression_queue.h"
#include "generator/extras/content_hash.h"
#include "generator/extras/extras_summary.h"
#include "generator/extras/variant_cache.h"
#include "generator/records/side_record.h"
#include "generator/report/size_report.h"

/// The most threads that compress.
inline constexpr unsigned most_workers = 1024;

/// How a run with -x compresses and caches.
struct http_extras_options {
  std::wstring cache_directory;  ///< empty: DST.cache beside the target
  unsigned workers = 1;          ///< threads that compress (1: the walk's own)
  bool cache_limited = false;
  uint64_t cache_limit = 0;      ///< bytes the cache may keep, when limited
  compression_plan plan;         ///< every coding (-x), or the one of -z
};

/// One thread per processor, at most most_workers.
unsigned default_workers();

/// One side record between its file's embedding and its writing.
struct pending_record {
  std::string identifier;
  std::string path_literal;  ///< escaped, without the leading '/'
  std::string record_name;   ///< the resource record's qualified name
  std::string content_type;  ///< served Content-Type
  std::string last_modified; ///< fixed form, or empty
  side_record_names names;
  char hash[content_hash_digits + 1];
  uint64_t size = 0;
  std::shared_ptr<compression_job> job;  ///< null for content that is not compressed
  bool compressed_here = false;          ///< a cache miss: store what the job made
  /// -z: the walk wrote no data for the file; the job holds its bytes
  /// until they are known to be written as they are or in one coding.
  bool held_back = false;
  const char* served_type = "";  ///< the MIME type it is served as, for the report
};

/// The state of -x for one run.
struct http_extras_run {
  data_writer& data;         ///< the run's data form, which writes the variants
  const compression_plan plan;
  size_report* report = nullptr;  ///< with -r
  content_hasher data_hash;  ///< of each file's bytes as its data takes them
  std::vector<uint8_t> held;  ///< -z: the bytes of the file being embedded, read instead of written
  variant_cache cache;
  uint64_t cache_limit = 0;
  bool cache_limited = false;
  file_handle manifest;
  bool include_written = false;
  memory_arrays written;  ///< the records of one write, kept to reuse its memory
  std::deque<std::unique_ptr<pending_record>> window;  ///< oldest first
  uint64_t window_held = 0;  ///< bytes of the compressible files in the window
  std::vector<side_entry> entries;
  extras_summary summary;
  /// Last, so that it stops (finishing any job still queued) before the
  /// window that owns the jobs goes.
  compression_queue queue;

  http_extras_run(data_writer& form, const http_extras_options& options)
      : data(form), plan(options.plan), queue(options.workers, options.plan) {}

  /// True when handle is a file that -x writes (the manifest).
  bool writes(platform::os_handle handle) const;
};

/// Starts -x for a run whose output set is open: creates the manifest
/// (when the run writes the all arrays, arrays), opens the variant cache, starts
/// the workers, and says (unless quiet) which codings this build cannot
/// write. The variants are written through data, the run's data form, and
/// every written record is added to report (when not null). Null after a
/// message when the manifest cannot be created.
std::unique_ptr<http_extras_run> start_http_extras(data_writer& data, const wchar_t* target, bool arrays, bool quiet,
                                                   const http_extras_options& options, size_report* report);

/// True when the file just measured and typed (at path) may be held in the
/// coding of -z only: its data is then written with its side record, and
/// the walk reads its bytes with hold_file_bytes instead.
bool holds_back(const builder_context& context, const http_extras_run& run, const wchar_t* path);

/// Reads the bytes of the file in h_src (its first chunk already in
/// read_buffer) into run.held, hashing them into run.data_hash as its data
/// would. False after a message (the output is then incomplete).
bool hold_file_bytes(builder_context& context, http_extras_run& run);

/// What the walk says of the file whose side record it hands over.
struct side_record_source {
  const wchar_t* path;       ///< as walked
  const char* path_literal;  ///< its escaped narrow form
  const char* record_name;   ///< the qualified name of its resource record
  const char* http_date;     ///< its record's date text
  bool held_back;            ///< -z: its bytes are in run.held, not yet written
};

/// Takes the side record of the file just embedded (still open in h_src, its
/// data array's identifier in flat_name, its type and text encoding in
/// context, its bytes hashed into run.data_hash, and held in run.held when
/// source.held_back). Its variants are made by a worker or found in the
/// cache; the oldest records are written while the window is full. False
/// after printing what failed (the output is then marked incomplete).
bool write_side_record(builder_context& context, http_extras_run& run, const side_record_source& source);

/// Waits for every variant and writes the remaining records; before the
/// data form's file is finished, since variants go into it.
void drain_http_extras(builder_context& context, http_extras_run& run);

/// Writes the records' declarations and the path lookup into DST.h, the
/// sorted array and the table of paths into DST.cpp and the manifest
/// (unless the all arrays are off), keeps the cache within its limit and prints the run's summary
/// (unless quiet).
void finish_http_extras(builder_context& context, std::unique_ptr<http_extras_run> run);
