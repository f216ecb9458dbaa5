#pragma once
// The resource record of one embedded file: the constant that describes it
// in the generated code, written by one typed function that owns its text.
#include <cstdint>

/// What a record says. Texts are narrow and NUL-terminated; the literals are
/// already escaped for a C++ string literal.
struct resource_record {
  const char* indent;           ///< one tab per open namespace
  const char* label;            ///< the record's name, which its own members refer to
  const char* name_literal;     ///< the file's name
  const char* path_literal;     ///< the path, without the leading "/" the record adds
  uint64_t top_prefix_length;   ///< offset in path_a of the path below the top-level directory
  uint64_t name_offset;         ///< offset in path_a of the file's name
  const char* content_type;     ///< enumerator name
  const char* text_encoding;    ///< enumerator name
  uint64_t file_size;
  uint64_t size_without_bom;
  uint64_t utf16_length;
  const char* data_array;       ///< name of the data array in vex_res_data
  uint64_t bom_length;
  const char* http_date;
  const char* http_date_lower;
  /// -z may hold the file in one coding only: its data array is written
  /// later, and its text member is null when its data is.
  bool held_back = false;
};

/// Formats the record's 17 lines into out (capacity bytes, terminator
/// included); sizes and offsets are written as their low 32 bits. Returns
/// the length, or -1 when the text does not fit.
int format_resource_record(const resource_record& record, char* out, uint64_t capacity);

/// Adds the text member (text_format with text_operand, or the held-back
/// form) and the dates after the head_length characters of a record's
/// head in out (-1: the head did not fit). Returns the record's length, or -1.
int finish_record(const resource_record& record, int head_length, const char* text_format, const char* text_operand,
                  char* out, uint64_t capacity);
