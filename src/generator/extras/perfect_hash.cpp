#include "generator/extras/perfect_hash.h"

#include <algorithm>
#include <numeric>

#include "vex_resource_builder/path_hash.h"

namespace {

// Four keys per bucket on average and a table a quarter larger than the
// keys: pilots are found after a few tries, and the table stays small.
constexpr uint32_t keys_per_bucket = 4;
constexpr uint32_t most_pilots = 0x10000;  // a pilot is 16 bits
constexpr int seeds_to_try = 64;

struct placement {
  std::vector<uint64_t> hashes;
  std::vector<uint32_t> bucket_of;
  std::vector<uint32_t> order;  // key indexes, bucket by bucket, the largest buckets first
  std::vector<uint32_t> bucket_sizes;
};

// Hashes the keys under seed and orders them by bucket, largest first.
void sort_into_buckets(const std::vector<std::string_view>& keys, uint64_t seed, uint32_t bucket_count,
                       placement& work) {
  const size_t count = keys.size();
  work.hashes.resize(count);
  work.bucket_of.resize(count);
  work.bucket_sizes.assign(bucket_count, 0);
  for (size_t i = 0; i < count; ++i) {
    work.hashes[i] = vex_res_path_hash(keys[i].data(), keys[i].size(), seed);
    work.bucket_of[i] = vex_res_path_bucket(work.hashes[i], bucket_count);
    ++work.bucket_sizes[work.bucket_of[i]];
  }
  work.order.resize(count);
  std::iota(work.order.begin(), work.order.end(), 0u);
  std::sort(work.order.begin(), work.order.end(), [&work](uint32_t a, uint32_t b) {
    const uint32_t bucket_a = work.bucket_of[a], bucket_b = work.bucket_of[b];
    if (work.bucket_sizes[bucket_a] != work.bucket_sizes[bucket_b])
      return work.bucket_sizes[bucket_a] > work.bucket_sizes[bucket_b];
    return bucket_a != bucket_b ? bucket_a < bucket_b : a < b;
  });
}

// True when every key of the bucket (order[first, last)) lands on a free
// slot of its own under pilot; its slots are then in positions.
bool fits(const placement& work, size_t first, size_t last, uint32_t pilot, const std::vector<uint32_t>& slots,
          std::vector<uint32_t>& positions) {
  positions.clear();
  const uint32_t slot_count = static_cast<uint32_t>(slots.size());
  for (size_t k = first; k < last; ++k) {
    const uint32_t slot = vex_res_path_slot(work.hashes[work.order[k]], pilot, slot_count);
    if (slots[slot] != vex_res_empty_slot || std::find(positions.begin(), positions.end(), slot) != positions.end())
      return false;
    positions.push_back(slot);
  }
  return true;
}

// Finds every bucket's pilot under work's seed; false when a bucket finds none.
bool place(const placement& work, perfect_hash& out) {
  std::vector<uint32_t> positions;
  for (size_t first = 0; first < work.order.size();) {
    const uint32_t bucket = work.bucket_of[work.order[first]];
    const size_t last = first + work.bucket_sizes[bucket];
    uint32_t pilot = 0;
    while (pilot < most_pilots && !fits(work, first, last, pilot, out.slots, positions)) ++pilot;
    if (pilot == most_pilots) return false;
    out.pilots[bucket] = static_cast<uint16_t>(pilot);
    for (size_t k = first; k < last; ++k) out.slots[positions[k - first]] = work.order[k];
    first = last;
  }
  return true;
}

}  // namespace

bool build_perfect_hash(const std::vector<std::string_view>& keys, perfect_hash& out) {
  const uint32_t count = static_cast<uint32_t>(keys.size());
  const uint32_t bucket_count = count / keys_per_bucket + 1;
  const uint32_t slot_count = count + count / 4 + 1;
  placement work;
  for (int attempt = 0; attempt < seeds_to_try; ++attempt) {
    out.seed = uint64_t{0x5eed0000} + uint64_t{0x9e3779b97f4a7c15} * static_cast<unsigned>(attempt);
    out.pilots.assign(bucket_count, 0);
    out.slots.assign(slot_count, vex_res_empty_slot);
    sort_into_buckets(keys, out.seed, bucket_count, work);
    if (place(work, out)) return true;
  }
  return false;
}
