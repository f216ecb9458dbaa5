#pragma once
// The table of paths of -x (vex_res_paths::table, read by the kit's
// path_table.h): every record's path and its content-hashed path placed by
// a perfect hash built here, at the end of the run, beside the sorted
// arrays.
#include <vector>

#include "context/builder_context.h"
#include "generator/records/side_record.h"

/// The table's declaration, for DST.h.
void write_path_table_declaration(builder_context& context);

/// The table of entries (sorted by path) into DST.cpp. A path that two
/// files share is the first one's, and a hashed path that is also a path
/// is that path's, as the sorted arrays find them.
void write_path_table(builder_context& context, const std::vector<side_entry>& entries);
