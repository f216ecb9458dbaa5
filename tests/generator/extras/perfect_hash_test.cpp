// The perfect hash of the table of paths: every key found in a slot of its
// own by the kit's formula, with every bit of a path counting.
#include "generator/extras/perfect_hash.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "vex_resource_builder/path_hash.h"

namespace {

// The key index the kit's lookup reaches for a key, or vex_res_empty_slot.
uint32_t slot_of(const perfect_hash& hash, std::string_view key) {
  const uint64_t hashed = vex_res_path_hash(key.data(), key.size(), hash.seed);
  const uint16_t pilot = hash.pilots[vex_res_path_bucket(hashed, static_cast<uint32_t>(hash.pilots.size()))];
  return hash.slots[vex_res_path_slot(hashed, pilot, static_cast<uint32_t>(hash.slots.size()))];
}

TEST(PerfectHash, PlacesEveryPathInASlotOfItsOwn) {
  for (const size_t count : {0u, 1u, 10u, 30000u}) {
    // Paths that differ in one byte only, in every place of an 8-byte word.
    std::vector<std::string> paths;
    for (size_t i = 0; i < count; ++i)
      paths.push_back("/section" + std::to_string(i % 40) + "/file" + std::to_string(i) + (i % 2 ? ".css" : ".js"));
    const std::vector<std::string_view> keys(paths.begin(), paths.end());
    perfect_hash hash;
    ASSERT_TRUE(build_perfect_hash(keys, hash)) << count;
    size_t taken = 0;
    for (const uint32_t slot : hash.slots) taken += slot != vex_res_empty_slot;
    EXPECT_EQ(taken, count);
    for (size_t i = 0; i < count; ++i) ASSERT_EQ(slot_of(hash, keys[i]), i) << keys[i];
  }
}

}  // namespace
