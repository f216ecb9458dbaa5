#pragma once
// The directory walk: every source argument is a file name or a search
// pattern; files are embedded and directories become nested namespaces.
#include <cstdint>

#include "context/builder_context.h"
#include "generator/run_features.h"

/// Walks source, embedding its files with the run's features; base 0 for a source argument, else the position in
/// walk_path where the items of the directory being walked are written.
/// 0, or -1 when the walk could not start or the path buffer is too small.
int walk_source(builder_context& context, const run_features& features, const wchar_t* source, uint64_t base);
