#pragma once
// The six files of a run: the target DST.cpp, its header DST.h and the
// temporary parts DST.1.tmp (resource namespace), DST.2.tmp (array of the
// open top-level namespace), DST.3.tmp (root array) and DST.4.tmp (sort_all).
#include "context/builder_context.h"

/// Derives the names, creates the six files and writes their opening texts:
/// 0, or -1 after printing what failed (every file is closed again then).
int open_output_set(builder_context& context, const wchar_t* target, bool append);

/// Closes what is still open and appends DST.1.tmp to DST.cpp.
void finish_output_set(builder_context& context);

/// Position of the derived suffixes in name: after its last '.', or its end.
uint64_t extension_position(const wchar_t* name);
