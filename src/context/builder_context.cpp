#include "context/builder_context.h"

#include <cstring>

#include "metadata/content_type.h"
#include "support/format.h"

using namespace platform;

namespace {

// The fixed buffers at the top of the block: three narrow ones of 64 KiB
// (flat name, indent, namespace path) under three wide ones of 128 KiB
// (walk path, target names, start directory).
constexpr uint64_t wide_buffer_bytes = 0x20000;
constexpr uint64_t fixed_buffers = 3 * narrow_buffer_bytes + 3 * wide_buffer_bytes;
constexpr uint32_t directory_capacity = static_cast<uint32_t>(wide_buffer_characters);

}  // namespace

block_layout layout_for_page_unit(uint64_t page_unit) {
  block_layout layout{};
  layout.size = 6 * page_unit;
  layout.text_capacity = layout.size - page_unit - fixed_buffers;
  layout.flat_name = layout.size - narrow_buffer_bytes;
  layout.indent = layout.flat_name - narrow_buffer_bytes;
  layout.namespace_path = layout.indent - narrow_buffer_bytes;
  layout.walk_path = layout.namespace_path - wide_buffer_bytes;
  layout.pNAME_DST = layout.walk_path - wide_buffer_bytes;
  layout.start_directory = layout.pNAME_DST - wide_buffer_bytes;
  layout.text_end = layout.start_directory;
  return layout;
}

namespace {

// Points the buffers and their capacities into the working block.
void carve_buffers(builder_context& context) {
  char* block = static_cast<char*>(context.memory.base);
  uint64_t page_unit = context.memory.page_unit;
  block_layout layout = layout_for_page_unit(page_unit);
  context.read_size = page_unit;
  context.text_capacity = layout.text_capacity;
  context.flat_name_capacity = narrow_buffer_bytes;
  context.name_capacity = wide_buffer_characters;
  context.read_buffer = reinterpret_cast<uint8_t*>(block);
  context.flat_name = block + layout.flat_name;
  context.text_buffer = block + page_unit;
  context.text_end = block + layout.text_end;
  context.indent = block + layout.indent;
  context.namespace_path = block + layout.namespace_path;
  context.namespace_end = context.namespace_path;
  context.namespace_limit = block + layout.indent;
  context.start_directory = reinterpret_cast<wchar_t*>(block + layout.start_directory);
  context.walk_path = reinterpret_cast<wchar_t*>(block + layout.walk_path);
  context.pNAME_DST = reinterpret_cast<wchar_t*>(block + layout.pNAME_DST);
}

// The per-file and nesting fields and the run-wide flags as a run starts.
void reset_working_fields(builder_context& context) {
  context.label = nullptr;
  context.source_name = nullptr;
  context.top_prefix_length = context.bom_length = context.size_without_bom = context.utf16_length = 0;
  context.remaining = context.file_size = 0;
  context.read_count = context.text_length = context.written = 0;
  context.text_encoding = 0;
  context.content_type = default_content_type;
  context.nested_array_filled = context.root_array_filled = context.after_namespace_tag = 0;
  context.blank_line_pending = 1;
  context.depth = 0;
  context.output_incomplete = 0;
  context.utf8_names = context.stopped = 0;
  context.latest_write_time = no_clamp;
  memcpy(context.set_name, default_set_name, sizeof default_set_name);
  context.indent[0] = 0;
  context.namespace_path[0] = 0;
}

}  // namespace

void init_context(builder_context& context) {
  work_memory& memory = context.memory;
  memset(static_cast<void*>(&memory), 0, sizeof memory);
  memory.page_unit = query_page_unit(&memory.physical);
  system_page_info(&memory.system_page_size, &memory.allocation_granularity);

  for (file_handle* file : output_set_files(context)) file->reset();
  context.h_src.reset();
  context.data_file = &context.h_dst_cpp;
  context.record_file = &context.h_dst_1;

  context.quiet = context.flat_labels = context.big_endian = 0;
  context.hierarchy = 1;
  memory.verbose = 0;

  if (obtain_work_memory(memory) != 0 || !memory.base) {
    out_printf(L"cannot allocate memory\n");
    exit_process(static_cast<uint32_t>(-1));
  }

  carve_buffers(context);
  reset_working_fields(context);
  context.names.reserve();

  uint32_t got = get_current_directory(directory_capacity, context.start_directory);
  if (got == 0 || got >= directory_capacity) context.start_directory[0] = 0;
}

void release_context(builder_context& context) {
  if (context.start_directory && context.start_directory[0]) {
    if (!set_current_directory(context.start_directory) && platform::last_error() != 0)
      out_printf(L"failed to restore original directory: %i\n", static_cast<int>(platform::last_error()));
  }
  std::array<file_handle*, 6> outputs = output_set_files(context);
  for (file_handle* file : outputs) file->close();
  release_work_memory(context.memory);
  // Reset in the reverse order of the record: the source first.
  context.h_src.reset();
  for (auto file = outputs.rbegin(); file != outputs.rend(); ++file) (*file)->reset();
  reset_work_memory(context.memory);
  context.names.release();
  context.read_buffer = nullptr;
  context.flat_name = context.text_buffer = context.text_end = context.indent = nullptr;
  context.namespace_path = context.namespace_end = context.namespace_limit = nullptr;
  context.start_directory = context.walk_path = context.pNAME_DST = nullptr;
  context.label = nullptr;
  context.source_name = nullptr;
}
