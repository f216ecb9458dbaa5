#pragma once
// The closing line of a run with -x: what was embedded, what the variants
// saved, how the cache served and what compressing cost.
#include <cstdint>

#include "generator/extras/compression.h"
#include "generator/extras/variant_cache.h"

/// What the run's summary counts.
struct extras_summary {
  uint64_t files = 0;
  uint64_t bytes = 0;
  uint64_t saved[coding_count] = {};
  uint64_t hits = 0;
  uint64_t misses = 0;
  uint64_t nanoseconds = 0;  ///< processor time spent compressing
};

/// Counts a written record of a file of size bytes and its variants.
void count_record(extras_summary& summary, uint64_t size, const variant_set& variants);

/// Prints the summary line, with what trimming the cache removed.
void print_summary(const extras_summary& summary, const cache_trim& trimmed);
