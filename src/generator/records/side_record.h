#pragma once
// The side records of -x: for every embedded file a strong ETag, a
// content-hashed path and, for compressible content, brotli, gzip and zstd
// variants, written in namespace vex_res_extras under the name of its data
// array; vex_res_extras::all sorted by path for lookups at run time; and
// the manifest of hashed paths beside the target.
//
// The variants are compressed by worker threads while the walk goes on;
// the records are written into the target in walk order, each once its
// variants are ready and the window of records in the making is full, so
// always at the same points of the output whatever the number of workers.
#include <cstdint>
#include <string>

#include "context/builder_context.h"
#include "generator/data/data_writer.h"

class content_hasher;

/// How a run with -x compresses and caches.
struct http_extras_options {
  std::wstring cache_directory;  ///< empty: DST.cache beside the target
  unsigned workers = 1;          ///< threads that compress (1: the walk's own)
  bool cache_limited = false;
  uint64_t cache_limit = 0;      ///< bytes the cache may keep, when limited
};

/// The state of -x for one run.
struct http_extras_run;

/// The manifest's name for target (DST.manifest.json), or empty when the
/// run writes none: a target that is a standard stream, or a run that
/// appends (it has no all arrays to list).
std::wstring manifest_name(const builder_context& context, const wchar_t* target);

/// Starts -x for a run whose output set is open: creates the manifest,
/// opens the variant cache, starts the workers, and says (unless quiet)
/// which codings this build cannot write. The variants are written through
/// data, the run's data form. Null after a message when the manifest cannot
/// be created.
http_extras_run* start_http_extras(builder_context& context, data_writer& data, const wchar_t* target,
                                   const http_extras_options& options);

/// True when handle is a file that -x writes (the manifest).
bool is_http_extras_output(const http_extras_run& run, platform::os_handle handle);

/// The hash of each file's bytes, as its data takes them, for its ETag.
content_hasher& extras_data_hash(http_extras_run& run);

/// Takes the side record of the file just embedded (still open in h_src, its
/// data array's identifier in flat_name, its bytes hashed into
/// extras_data_hash); path is the walked path and path_literal its escaped
/// narrow form. Its variants are made by a worker
/// or found in the cache; the oldest records are written while the window
/// is full. False after printing what failed (the output is then marked
/// incomplete).
bool write_side_record(builder_context& context, http_extras_run& run, const wchar_t* path,
                       const char* path_literal);

/// Waits for every variant and writes the remaining records; before the
/// binary file of the incbin form is closed, since variants go into it.
void drain_http_extras(builder_context& context, http_extras_run& run);

/// Writes the records' declarations and the path lookup into DST.h, the
/// sorted array into DST.cpp and the manifest (unless the all arrays are
/// off), keeps the cache within its limit and prints the run's summary
/// (unless quiet); then frees the state.
void finish_http_extras(builder_context& context, http_extras_run* run);

/// Frees the state of a run that stops part-way, writing nothing more; the
/// workers finish what they hold first.
void abandon_http_extras(http_extras_run* run);
