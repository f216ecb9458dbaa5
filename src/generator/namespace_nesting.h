#pragma once
// Directories as nested namespaces: the opening and closing texts in
// DST.1.tmp and DST.h, the namespace path and indent of the records inside,
// and the all array and sort call of each top-level namespace.
#include "context/builder_context.h"

/// What enter_namespace did, so that leave_namespace undoes exactly that.
struct entered_namespace {
  bool entered;  // the namespace is open: leave closes it
  bool skipped;  // the run stopped at it: the directory is not walked
};

/// Opens the namespace of a directory in DST.1.tmp and DST.h (and the array
/// of a top-level one, unless array_opened_later: the shards open it when
/// they know its size). The directory's path (in walk_path, followed by
/// "/*") names it in messages.
entered_namespace enter_namespace(builder_context& context, const wchar_t* name, bool array_opened_later = false);

/// Closes the namespace that enter_namespace opened, when it did.
void leave_namespace(builder_context& context, const entered_namespace& entered);
