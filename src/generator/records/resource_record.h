#pragma once
// The resource record of one embedded file: the constant that describes it
// in the generated code, written by one typed function that owns its text.
#include <cstdint>

#include "context/set_name.h"

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
  const char* data_array;       ///< name of the data array in the set's data namespace
  uint64_t bom_length;
  const char* http_date;
  const char* http_date_lower;
  const char* set_name = default_set_name;  ///< the data array's namespace is <set_name>_data
  /// -z may hold the file in one coding only: its data array is written
  /// later, and its text member is null when its data is.
  bool held_back = false;
};

/// Formats the record's 17 lines into out (capacity bytes, terminator
/// included); sizes and offsets are written as their low 32 bits. Returns
/// the length, or -1 when the text does not fit.
int format_resource_record(const resource_record& record, char* out, uint64_t capacity);

/// How a record's text member reaches its data: through the record's own
/// data member, or (records of address constants) through the data array.
enum class record_text_kind { through_record, through_array };

/// Adds the text member (of text_kind, or the held-back form) and the dates
/// after the head_length characters of a record's head in out (-1: the head
/// did not fit). Returns the record's length, or -1.
int finish_record(const resource_record& record, int head_length, record_text_kind text_kind, char* out,
                  uint64_t capacity);
