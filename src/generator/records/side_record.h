#pragma once
// The side records of -x: for every embedded file a strong ETag and, for
// compressible content, brotli and gzip variants, written beside its record
// in namespace vex_res_extras under the name of its data array, plus
// vex_res_extras::all sorted by path for lookups at run time.
#include "context/builder_context.h"

/// The state of -x for one run.
struct http_extras_run;

/// Starts -x for a run that writes target: opens the variant cache and says
/// (unless quiet) when this build cannot write brotli. Owned by the context
/// until finished.
http_extras_run* start_http_extras(const wchar_t* target, bool quiet);

/// Writes the side record of the file just embedded (still open in h_src,
/// its data array's identifier in flat_name); path is the walked path and
/// path_literal its escaped narrow form. False after printing what failed
/// (the output is then marked incomplete).
bool write_side_record(builder_context& context, const wchar_t* path, const char* path_literal);

/// Writes the side records' declarations into DST.h and, unless the all
/// arrays are off, the sorted array into DST.cpp; then frees the state.
void finish_http_extras(builder_context& context);
