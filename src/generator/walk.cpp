#include "generator/walk.h"

#include <cwchar>

#include "support/format.h"
#include "generator/dependency_rule.h"
#include "generator/embed_file.h"
#include "generator/namespace_nesting.h"
#include "generator/shards/record_shards.h"
#include "support/system_error.h"

using namespace platform;

namespace {

// One level's directory listing; the lister closes it on every way out of the level.
struct directory_search {
  explicit directory_search(const directory_lister* parent) : lister(parent) {}
  directory_lister lister;
  find_data file_search_info{};
};

bool skipped_name(const wchar_t* name) {
  if (name[0] == L'.' && name[1] == L'.') return true;
  return (name[0] == L'.' || name[0] == L'_' || name[0] == L'~') && name[1] == 0;
}

void end_pending_blank_line(builder_context& context) {
  if (context.blank_line_pending) {
    context.blank_line_pending = 0;
    if (!context.quiet) out_printf(L"\n");
  }
}

int walk_directory(builder_context& context, const run_features& features, uint64_t base,
                   const directory_lister* parent);

// Opens the namespace of the directory item whose name ends walk_path and
// walks it, below the level that lists it.
void descend(builder_context& context, const run_features& features, uint64_t base, const wchar_t* name, uint64_t length,
             const directory_lister& lister) {
  end_pending_blank_line(context);
  if (base + length + 3 > wide_buffer_characters) {
    // No room for the "/*" of the descent.
    out_printf(L"failed to append current item's name to the current path\n");
    return;
  }
  wmemcpy(context.walk_path + base + length, L"/*", 3);
  const bool split = features.shards && features.shards->splits();
  entered_namespace entered = enter_namespace(context, name, split);
  if (entered.skipped) return;
  // The shards open the namespace where their records need it.
  bool sharded = features.shards && entered.entered;
  if (sharded) features.shards->enter(context);
  walk_directory(context, features, base + length + 1, &lister);
  if (sharded) features.shards->leave();
  // A top-level namespace's array takes its parts from the shards first.
  if (sharded && context.depth == 1 && split && !features.shards->close_array(context))
    context.output_incomplete = 1;
  leave_namespace(context, entered);
}

// Embeds a listed file or walks a listed directory; false when its name
// does not fit into walk_path, which ends the walk of this level.
bool walk_item(builder_context& context, const run_features& features, uint64_t base, const find_data& item,
               const directory_lister& lister) {
  const wchar_t* name = item.name;
  if (skipped_name(name)) return true;
  uint64_t length = wcslen(name);
  if (base + length + 1 > wide_buffer_characters) {
    out_printf(L"failed to append current item's name to the current path\n");
    return false;
  }
  wmemcpy(context.walk_path + base, name, length + 1);
  if (wcspbrk(name, L"/\\")) {
    // Only POSIX names can hold a backslash; as a separator it would
    // lead the open elsewhere, even outside the tree.
    out_printf(L"skipped [%s]: its name holds a path separator\n", context.walk_path);
  } else if (item.attributes & file_attribute_directory) {
    descend(context, features, base, name, length, lister);
  } else {
    context.blank_line_pending = 1;
    context.after_namespace_tag = 0;
    if (features.shards) features.shards->route(context);
    embed_file(context, features, context.walk_path);
  }
  return true;
}

// Walks the items that the pattern in walk_path lists; parent is the lister
// of the level above (null for a source argument).
int walk_directory(builder_context& context, const run_features& features, uint64_t base,
                   const directory_lister* parent) {
  context.blank_line_pending = 1;
  if (!context.quiet) out_printf(L"[%s]\n", context.walk_path);

  directory_search h_dir(parent);
  if (!h_dir.lister.first(context.walk_path, &h_dir.file_search_info)) {
    out_printf(L"h_dir(%s) failed: %u\n", context.walk_path, platform::last_error());
    return -1;
  }
  // The searched directory: a change to its items must rerun the build.
  if (!note_dependency(features.deps, context.walk_path, base > 1 ? base - 1 : base)) context.output_incomplete = 1;

  // A run stopped by a full identifier table walks no further item.
  bool listed = true;
  do {
    if (!walk_item(context, features, base, h_dir.file_search_info, h_dir.lister)) return -1;
  } while (!context.stopped && (listed = h_dir.lister.next(&h_dir.file_search_info)));
  uint32_t last_error = listed ? error_no_more_files : platform::last_error();
  if (last_error != error_no_more_files) {
    out_printf(L"%ls\n", L"FindNextFile(h_find, &file_search_info)");
    print_system_error(standard_stream::output, last_error);
  }
  h_dir.lister.close();
  end_pending_blank_line(context);
  return 0;
}

}  // namespace

int walk_source(builder_context& context, const run_features& features, const wchar_t* source, uint64_t base) {
  if (base == 0) {
    uint64_t length = wcslen(source);
    if (length + 1 > wide_buffer_characters) return -1;
    wmemcpy(context.walk_path, source, length + 1);
    for (uint64_t i = 0; i < length; ++i)
      if (source[i] == L'/' || source[i] == L'\\') base = i + 1;
  }
  return walk_directory(context, features, base, nullptr);
}
