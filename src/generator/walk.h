#pragma once
// The directory walk: every source argument is a file name or a search
// pattern; files are embedded and directories become nested namespaces.
#include <cstdint>

#include "driver/builder_context.h"

/// Walks source; base 0 for a source argument, else the position in
/// walk_path where the items of the directory being walked are written.
/// 0, or -1 when the walk could not start or the path buffer is too small.
int walk_source(builder_context& context, const wchar_t* source, uint64_t base);

/// Opens the namespace of a directory in DST.1.tmp and DST.h (and its array
/// and sort call for a top-level one).
void enter_namespace(builder_context& context, const wchar_t* name);

/// Closes the namespace that the last enter_namespace opened.
void leave_namespace(builder_context& context);
