#include "driver/builder_context.h"

#include <cstring>
#include <initializer_list>

#include "driver/format.h"

using namespace platform;

namespace {
constexpr uint64_t fixed_buffers = 0x90000;  // the eight 64 KiB buffers at the top
constexpr uint32_t directory_capacity = static_cast<uint32_t>(wide_buffer_characters);
}  // namespace

block_layout layout_for_page_unit(uint64_t page_unit) {
  uint64_t size = 6 * page_unit;
  return block_layout{size,
                      size - page_unit - fixed_buffers,
                      size - 0x90000,
                      size - 0x90000,
                      size - 0x70000,
                      size - 0x50000,
                      size - 0x30000,
                      size - 0x20000,
                      size - 0x10000};
}

void init_context(builder_context& context) {
  work_memory& memory = context.memory;
  memset(static_cast<void*>(&memory), 0, sizeof memory);
  memory.page_unit = query_page_unit(&memory.physical);
  system_page_info(&memory.system_page_size, &memory.allocation_granularity);

  for (file_handle* h : {&context.h_dst_1, &context.h_dst_2_arr, &context.h_dst_3, &context.h_dst_4,
                         &context.h_dst_h, &context.h_dst_cpp, &context.h_src})
    h->reset();

  context.quiet = context.flat_labels = context.big_endian = 0;
  context.hierarchy = 1;
  memory.verbose = 0;

  if (obtain_work_memory(memory) != 0 || !memory.base) {
    out_printf(L"cannot allocate memory\n");
    exit_process(static_cast<uint32_t>(-1));
  }

  char* block = static_cast<char*>(memory.base);
  block_layout layout = layout_for_page_unit(memory.page_unit);
  context.read_size = memory.page_unit;
  context.text_capacity = layout.text_capacity;
  context.flat_name_capacity = 0x10000;
  context.name_capacity = wide_buffer_characters;
  context.read_buffer = reinterpret_cast<uint8_t*>(block);
  context.flat_name = block + layout.flat_name;
  context.text_buffer = block + memory.page_unit;
  context.text_end = block + layout.text_end;
  context.indent = block + layout.indent;
  context.namespace_path = block + layout.namespace_path;
  context.namespace_end = context.namespace_path;
  context.namespace_limit = block + layout.indent;
  context.start_directory = reinterpret_cast<wchar_t*>(block + layout.start_directory);
  context.walk_path = reinterpret_cast<wchar_t*>(block + layout.walk_path);
  context.pNAME_DST = reinterpret_cast<wchar_t*>(block + layout.pNAME_DST);
  context.label = nullptr;
  context.source_name = nullptr;
  context.top_prefix_length = context.bom_length = context.size_without_bom = context.utf16_length = 0;
  context.remaining = context.file_size = 0;
  context.read_count = context.text_length = context.written = 0;
  context.text_encoding = 0;
  context.content_type = 8;
  context.nested_array_filled = context.root_array_filled = context.after_namespace_tag = 0;
  context.blank_line_pending = 1;
  context.depth = 0;
  context.output_incomplete = 0;
  context.latest_write_time = ~uint64_t{0};
  context.indent[0] = 0;
  context.namespace_path[0] = 0;
  context.names.reserve();

  uint32_t got = get_current_directory(directory_capacity, context.start_directory);
  if (got == 0 || got >= directory_capacity) context.start_directory[0] = 0;
}

void release_context(builder_context& context) {
  if (context.start_directory && context.start_directory[0]) {
    if (!set_current_directory(context.start_directory) && platform::last_error() != 0)
      out_printf(L"failed to restore original directory: %i\n", static_cast<int>(platform::last_error()));
  }
  context.h_dst_1.close();
  context.h_dst_2_arr.close();
  context.h_dst_3.close();
  context.h_dst_4.close();
  context.h_dst_h.close();
  context.h_dst_cpp.close();
  release_work_memory(context.memory);
  context.h_src.reset();
  context.h_dst_cpp.reset();
  context.h_dst_h.reset();
  context.h_dst_4.reset();
  context.h_dst_3.reset();
  context.h_dst_2_arr.reset();
  context.h_dst_1.reset();
  reset_work_memory(context.memory);
  context.names.release();
  release_dependency_file(context.deps);
  context.read_buffer = nullptr;
  context.flat_name = context.text_buffer = context.text_end = context.indent = nullptr;
  context.namespace_path = context.namespace_end = context.namespace_limit = nullptr;
  context.start_directory = context.walk_path = context.pNAME_DST = nullptr;
  context.label = nullptr;
  context.source_name = nullptr;
}
