#pragma once
// The perfect hash of the table of paths (-x): every key in a slot of its
// own, found with the kit's one hash (vex_resource_builder/path_hash.h).
// Built once at the end of a run, in time linear in the keys.
#include <cstdint>
#include <string_view>
#include <vector>

/// A collision-free placement of keys, as the kit reads it.
struct perfect_hash {
  uint64_t seed = 0;
  std::vector<uint16_t> pilots;  ///< one per bucket
  std::vector<uint32_t> slots;   ///< the index of the key in each slot, or vex_res_empty_slot
};

/// Places distinct keys; false when no seed tried gives a placement (for
/// distinct keys, never seen: each seed fails with a tiny probability).
bool build_perfect_hash(const std::vector<std::string_view>& keys, perfect_hash& out);
