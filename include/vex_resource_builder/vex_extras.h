#pragma once
// The side record that the tool writes for every resource when run with -x:
// strong ETags and precompressed variants, computed at build time. The
// generated code includes this header itself.
#include <cstddef>
#include <cstdint>
#include <cstring>

/// One precompressed form of a resource; data is null when the resource
/// has none in this encoding (incompressible content, or too small a saving).
struct vex_resource_variant {
  const char* data;
  uint64_t size;
  const char* etag;  ///< strong ETag of these bytes, quotes included
};

/// vex_res_extras::<data array name>: the side record of one resource.
struct vex_resource_extras {
  const char* path_root_a;    ///< the record's URL path; vex_res_extras::all is sorted by it
  const char* etag;           ///< strong ETag of the file's own bytes, quotes included
  vex_resource_variant br;    ///< Content-Encoding: br
  vex_resource_variant gzip;  ///< Content-Encoding: gzip
};

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
