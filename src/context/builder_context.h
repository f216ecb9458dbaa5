#pragma once
// The state of one run that every operation of the generator shares: the
// working memory, the fixed buffers carved from it, the seven file objects,
// the switches, the nesting state and the per-file working fields, and the
// few flags and tables that belong to the whole run. The features that a
// run may add (the data forms, the dependency file, the HTTP extras) keep
// their state in objects of their own, which the run hands to the code
// that uses them.
#include <array>
#include <cstdint>

#include "context/identifier_table.h"
#include "context/set_name.h"
#include "io/file_handle.h"
#include "memory/work_memory.h"
#include "metadata/clamp_time.h"

/// Bytes in each of the three narrow buffers (flat name, indent, namespace path).
inline constexpr uint64_t narrow_buffer_bytes = 0x10000;

/// Characters in each of the three wide buffers (start directory, target
/// names, walk path): their 128 KiB hold 65,536 characters of 16 bits, or
/// 32,768 where wchar_t has 32 bits, still far beyond any POSIX path.
inline constexpr uint64_t wide_buffer_characters = 0x20000 / sizeof(wchar_t);

struct builder_context {
  work_memory memory;
  uint64_t read_size;
  uint64_t text_capacity;
  uint64_t flat_name_capacity;
  uint64_t name_capacity;
  uint8_t* read_buffer;
  char* flat_name;
  char* text_buffer;
  char* text_end;
  char* indent;
  char* namespace_path;   // null: no all arrays and no sort_all for the rest of the run
  char* namespace_end;
  char* namespace_limit;
  wchar_t* start_directory;
  wchar_t* walk_path;
  wchar_t* pNAME_DST;
  char* label;
  const wchar_t* source_name;
  uint64_t top_prefix_length;
  uint64_t bom_length;
  uint64_t size_without_bom;
  uint64_t utf16_length;
  uint64_t remaining;
  uint64_t file_size;
  int64_t read_count;
  int64_t text_length;
  int64_t written;
  int32_t text_encoding;
  int32_t content_type;
  file_handle h_dst_1;
  file_handle h_dst_2_arr;
  file_handle h_dst_3;
  file_handle h_dst_4;
  file_handle h_dst_h;
  file_handle h_dst_cpp;
  file_handle h_src;
  /// Where the file being embedded writes its data array and its record:
  /// h_dst_cpp and h_dst_1, or the files of its shard (-s).
  file_handle* data_file;
  file_handle* record_file;
  uint8_t nested_array_filled;
  uint8_t root_array_filled;
  uint8_t blank_line_pending;
  uint8_t after_namespace_tag;
  uint64_t depth;
  uint8_t quiet;
  uint8_t flat_labels;
  uint8_t hierarchy;
  uint8_t big_endian;
  /// A write, copy, seek or truncation of the output set failed, so the
  /// generated files are not complete; the run's exit code says so.
  uint8_t output_incomplete;
  /// Narrow texts of the output are UTF-8, and names of any character are embedded (-u).
  uint8_t utf8_names;
  /// The run cannot go on safely (the identifier table is full): walk no more.
  uint8_t stopped;
  /// The identifiers given out so far, so that no two items get one name.
  identifier_table names;
  /// Later last-write times are dated at this one (-t); no_clamp for none.
  uint64_t latest_write_time;
  /// The prefix of every name the generated set defines at namespace scope:
  /// default_set_name, or the name given with -n.
  char set_name[set_name_capacity];
};

/// The six files of the output set, in the order of the record, which is
/// also the order in which they are closed.
inline std::array<file_handle*, 6> output_set_files(builder_context& context) {
  return {&context.h_dst_1, &context.h_dst_2_arr, &context.h_dst_3,
          &context.h_dst_4, &context.h_dst_h,     &context.h_dst_cpp};
}

/// Fills a fresh context and obtains the working block; ends the process
/// with exit code -1 when there is no memory.
void init_context(builder_context& context);

/// Restores the start directory, closes every file, releases the block and
/// returns every member to its empty state.
void release_context(builder_context& context);

/// The layout of the working block for a page unit (offsets from its start).
struct block_layout {
  uint64_t size, text_capacity, text_end, start_directory, pNAME_DST, walk_path, namespace_path, indent, flat_name;
};
block_layout layout_for_page_unit(uint64_t page_unit);
