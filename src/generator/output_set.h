#pragma once
// The six files of a run: the target DST.cpp, its header DST.h and the
// temporary parts DST.1.tmp (resource namespace), DST.2.tmp (array of the
// open top-level namespace), DST.3.tmp (root array) and DST.4.tmp (sort_all).
#include "context/builder_context.h"

/// Derives the names, creates the six files and writes their opening texts:
/// 0, or -1 after printing what failed (every file is closed again then).
/// sharded_arrays: the shards open the root array when they know its size
/// and add its sort at the end of sort_all.
int open_output_set(builder_context& context, const wchar_t* target, bool append, bool sharded_arrays = false);

/// Closes what is still open and appends DST.1.tmp to DST.cpp.
void finish_output_set(builder_context& context);

/// Position of the derived suffixes in name: after the last '.' of its last
/// component (after the last '/' or '\\'), or its end.
uint64_t extension_position(const wchar_t* name);

/// Makes a name beside the target in out (capacity characters), suffix
/// written at the target's extension position (res.cpp and "bin" give
/// res.bin); false, with out empty, when it does not fit.
bool make_derived_name(const wchar_t* target, const wchar_t* suffix, wchar_t* out, uint64_t capacity);

/// True for the target names that stand for the standard output ("-", "con", "CON").
bool is_standard_stream_name(const wchar_t* name);

/// True for a name that does not depend on the current directory: it starts
/// with a separator or a drive letter.
bool is_absolute_path(const wchar_t* name);
