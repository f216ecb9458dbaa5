#pragma once
// The directory walk: every source argument is a file name or a search
// pattern; files are embedded and directories become nested namespaces.
#include <cstdint>

#include "driver/builder_context.h"

/// Walks source; base 0 for a source argument, else the position in
/// walk_path where the items of the directory being walked are written.
/// 0, or -1 when the walk could not start or the path buffer is too small.
int walk_source(builder_context& context, const wchar_t* source, uint64_t base);

/// What enter_namespace did, so that leave_namespace undoes exactly that.
struct entered_namespace {
  bool entered;  // the namespace is open: leave closes it
  bool skipped;  // its identifier is taken in this scope: the directory is not walked
};

/// Opens the namespace of a directory in DST.1.tmp and DST.h (and the array
/// of a top-level one). The directory's path (in walk_path, followed by
/// "/*") names it in messages.
entered_namespace enter_namespace(builder_context& context, const wchar_t* name);

/// Closes the namespace that enter_namespace opened, when it did.
void leave_namespace(builder_context& context, const entered_namespace& entered);
