#pragma once
// The closing line of a run with -x: what was embedded (with -z, and what
// the program holds of it), what the variants saved, how the cache served
// and what compressing cost.
#include <cstdint>

#include "generator/extras/compression.h"
#include "generator/extras/variant_cache.h"

/// What the run's summary counts.
struct extras_summary {
  uint64_t files = 0;
  uint64_t bytes = 0;
  uint64_t held = 0;  ///< bytes the program holds for them, variants included
  uint64_t saved[coding_count] = {};
  uint64_t hits = 0;
  uint64_t misses = 0;
  uint64_t nanoseconds = 0;  ///< processor time spent compressing
};

/// Counts a written record of a file of size bytes and its variants, for
/// which the program holds held bytes.
void count_record(extras_summary& summary, uint64_t size, const variant_set& variants, uint64_t held);

/// Prints the summary line of a run that compressed as plan says, with
/// what trimming the cache removed.
void print_summary(const extras_summary& summary, const cache_trim& trimmed, const compression_plan& plan);
