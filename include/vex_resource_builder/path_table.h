#pragma once
// The table of URL paths that -x writes beside the sorted arrays
// (vex_res_paths::table): every record's path and its content-hashed path,
// each in a slot of its own, found with one hash and one comparison
// whatever the number of files. Appending runs (-a) write none; the kit
// then searches the sorted arrays.
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "vex_resource_builder/path_hash.h"
#include "vex_resource_builder/vex_extras.h"
#include "vex_resource_builder/vex_resource.h"

/// One file of the table: its record and its side record.
struct vex_resource_path_entry {
  const vex_resource* resource;
  const vex_resource_extras* extras;
};

/// vex_res_paths::table: the entries sorted by path, and the perfect hash
/// of their paths and hashed paths. A slot holds twice an entry's index,
/// plus one when it is the entry's hashed path.
struct vex_resource_path_table {
  const vex_resource_path_entry* entries;
  uint32_t entry_count;
  const uint32_t* slots;
  uint32_t slot_count;
  const uint16_t* pilots;
  uint32_t bucket_count;
  uint64_t seed;
};

/// What a path finds in the table.
struct vex_resource_path_match {
  const vex_resource_path_entry* entry;  ///< null when no path of the table is this one
  bool hashed;                           ///< the path is the entry's content-hashed path
};

/// Looks up length bytes of a path (a record's path_root_a, or a side
/// record's hashed_path, byte for byte).
inline vex_resource_path_match vex_res_path_find(const vex_resource_path_table& table, const char* path,
                                                 size_t length) {
  const uint64_t hash = vex_res_path_hash(path, length, table.seed);
  const uint16_t pilot = table.pilots[vex_res_path_bucket(hash, table.bucket_count)];
  const uint32_t slot = table.slots[vex_res_path_slot(hash, pilot, table.slot_count)];
  if (slot == vex_res_empty_slot) return {nullptr, false};
  const vex_resource_path_entry& entry = table.entries[slot >> 1];
  const bool hashed = (slot & 1) != 0;
  const char* key = hashed ? entry.extras->hashed_path : entry.resource->path_root_a;
  if (std::strncmp(key, path, length) != 0 || key[length] != 0) return {nullptr, false};
  return {&entry, hashed};
}
