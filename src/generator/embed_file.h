#pragma once
// One regular source file becomes a data array, a resource record, an all
// entry and a declaration.
#include "context/builder_context.h"
#include "generator/run_features.h"

/// 0 when all four pieces were written; -1 when the file was skipped by the
/// name filter or a step failed (after printing its message).
int embed_file(builder_context& context, const run_features& features, const wchar_t* path);
