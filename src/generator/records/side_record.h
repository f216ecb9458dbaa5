#pragma once
// The text of the side records of -x: for every embedded file a strong
// ETag, a content-hashed path and its brotli, gzip and zstd variants,
// written in namespace vex_res_extras under the name of its data array; at
// the end the records' declarations and path lookup in DST.h,
// vex_res_extras::all sorted by path in DST.cpp, and the manifest of hashed
// paths beside the target. When and in which order records are written is
// the pipeline's (generator/extras/http_extras.h).
#include <string>
#include <vector>

#include "context/builder_context.h"
#include "generator/data/data_writer.h"
#include "generator/extras/compression.h"

/// What one side record says.
struct side_record {
  const char* identifier;      ///< of the file's data array
  const char* path_literal;    ///< escaped, without the leading '/'
  const char* hashed_literal;  ///< the hashed path, likewise
  const char* hash;            ///< the content hash: the identity ETag
  const variant_set& variants;
  const std::string& content_type;   ///< the served Content-Type, for the header lines
  const std::string& last_modified;  ///< fixed form, or empty
  uint64_t size;                     ///< of the file's own bytes, as its record gives it
  /// -z: the walk left the file's data array to the record, which writes
  /// it from held_bytes, or as a null pointer when the file is held only
  /// in stored_coding, whose variant then holds its bytes.
  bool held_back = false;
  const std::vector<uint8_t>* held_bytes = nullptr;
  int stored_coding = -1;  ///< the coding the bytes are held in only, or -1
};

/// The names of a record besides its identifier.
struct side_record_names {
  std::string sort_path;       ///< as the record's path_root_a holds it at run time
  std::string hashed_path;     ///< as the side record's hashed_path holds it at run time
  std::string hashed_literal;  ///< escaped, without the leading '/'
  std::string manifest_path;   ///< JSON string bodies of the path and its hashed form
  std::string manifest_hashed;
};

/// The names of the record of the file at path (walked) whose content has
/// hash. Uses flat_name for the narrow copy of the path.
side_record_names name_side_record(builder_context& context, const wchar_t* path, const char* hash);

/// Adds the arrays of the record's variants, through data (the run's data
/// form), and the record itself to out. False after a message; the output
/// is then incomplete, and what was added must be taken back.
bool add_side_record(builder_context& context, data_writer& data, memory_arrays& out, const side_record& record);

/// What the end of the run needs of one written side record.
struct side_entry {
  std::string path;
  std::string identifier;
  std::string manifest_path;
  std::string manifest_hashed;
  std::string hashed_path;  ///< as the side record holds it
  std::string record_name;  ///< the resource record's qualified name, for the table of paths
};

/// The declarations of the records in DST.h, and with arrays the
/// declarations of the sorted array and the lookup of hashed paths.
void write_side_declarations(builder_context& context, const std::vector<side_entry>& entries, bool arrays);

/// vex_res_extras::all in DST.cpp, the entries sorted by path.
void write_side_array(builder_context& context, const std::vector<side_entry>& entries);

/// The manifest: a JSON object from each path to its hashed path.
void write_manifest(builder_context& context, file_handle& manifest, const std::vector<side_entry>& entries);
