#pragma once
// The side record that the tool writes for every resource when run with -x:
// strong ETags, precompressed variants and a content-hashed path, computed
// at build time. The generated code includes this header itself.
#include <cstddef>
#include <cstdint>
#include <cstring>

/// One precompressed form of a resource; data is null when the resource
/// has none in this encoding (incompressible content, too small a saving,
/// or a build of the tool without the coding's library).
struct vex_resource_variant {
  const char* data;
  uint64_t size;
  const char* etag;  ///< strong ETag of these bytes, quotes included
};

/// How the program holds a file's bytes: as they are, or only in one content
/// coding (-z), when the variant of that coding holds the only copy and the
/// record's data and text are null.
enum vex_stored_coding : int {
  VEX_STORED_IDENTITY,  ///< the record's data are the file's bytes
  VEX_STORED_BR,        ///< only the br variant holds them
  VEX_STORED_GZIP,      ///< only the gzip variant holds them
  VEX_STORED_ZSTD,      ///< only the zstd variant holds them
};

/// The header lines of one representation that never change, made at build
/// time: "Vary: Accept-Encoding" (when the file has variants),
/// "Last-Modified" (when its date is a real date), "ETag", "Content-Length",
/// then "Accept-Ranges: bytes", "Content-Encoding" (for a variant) and
/// last "Content-Type" as the default content_rules make it; every line
/// ends in CRLF. A 304 carries the lines before not_modified_end; a
/// planner with other rules replaces the lines from type_start on.
struct vex_resource_head {
  const char* lines;          ///< null when the tool wrote none
  uint16_t not_modified_end;  ///< the end of the lines of a 304
  uint16_t type_start;        ///< where the Content-Type line starts
  uint16_t length;            ///< of all the lines
};

/// vex_res_extras::<data array name>: the side record of one resource.
/// Members are only ever added at the end, each with a default, so that
/// side records written before a member existed still compile without a
/// warning and mean what they meant.
struct vex_resource_extras {
  const char* path_root_a;    ///< the record's URL path; vex_res_extras::all is sorted by it
  const char* etag;           ///< strong ETag of the file's own bytes, quotes included
  vex_resource_variant br;    ///< Content-Encoding: br
  vex_resource_variant gzip;  ///< Content-Encoding: gzip
  vex_resource_variant zstd;  ///< Content-Encoding: zstd
  /// The URL path with the first digits of the content hash in the file's
  /// name ("/css/site.3f2a1b0c.css"): it names these bytes only, so it may
  /// be cached for good, and a changed file gets a new one.
  const char* hashed_path;
  /// How the file's bytes are held (written by -x and -z). The identity ETag above is still that of the
  /// file's own bytes, computed before they were compressed.
  vex_stored_coding stored_coding = VEX_STORED_IDENTITY;
  /// The header lines of the file's own bytes and of each variant (lines
  /// null where there is no variant, or in records written without them).
  vex_resource_head identity_head = {};
  vex_resource_head br_head = {};
  vex_resource_head gzip_head = {};
  vex_resource_head zstd_head = {};
};

/// Hexadecimal digits of the content hash in a hashed path.
inline constexpr size_t vex_res_hash_digits = 8;

/// Where the hash goes in the hashed form of a path of length characters:
/// at the last '.' of its name (after the last '/'), so that the extension
/// stays last, or at the end when the name has no '.' but at its start.
template <typename char_type>
inline size_t vex_res_hash_position(const char_type* path, size_t length) {
  size_t name = length;
  while (name > 0 && path[name - 1] != '/') --name;
  for (size_t at = length; at > name + 1; --at)
    if (path[at - 1] == '.') return at - 1;
  return length;
}

/// The side record for the URL path (a record's path_root_a) in an array
/// sorted by path in byte order, as vex_res_extras::all is; null when none.
inline const vex_resource_extras* vex_res_extras_find(const vex_resource_extras* const* extras, size_t length,
                                                      const char* path) {
  size_t low = 0;
  size_t high = length;
  while (low < high) {
    size_t middle = low + (high - low) / 2;
    int order = std::strcmp(extras[middle]->path_root_a, path);
    if (order == 0) return extras[middle];
    if (order < 0) low = middle + 1;
    else high = middle;
  }
  return nullptr;
}
