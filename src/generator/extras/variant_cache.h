#pragma once
// The content-addressed cache of precompressed variants: one entry per
// content and compression settings, so that a run compresses only contents
// that no earlier run (of any build sharing the directory) compressed with
// the same settings and libraries. Entries appear in one step (written
// under a name of their own, then renamed), so concurrent runs can share a
// directory; a size limit removes the entries used longest ago.
#include <cstdint>
#include <string>
#include <vector>

#include "generator/extras/compression.h"

/// What trimming removed.
struct cache_trim {
  uint64_t entries = 0;
  uint64_t bytes = 0;
};

/// The cache directory of one run.
class variant_cache {
 public:
  /// Uses directory (an absolute name), made with its parents when missing;
  /// when that fails, says so and works without a cache. settings (the
  /// codings, their settings and library versions) keys every entry beside
  /// the content.
  void open(const std::wstring& directory, const std::string& settings);

  /// The entry of the content hash (of source_size bytes) made with these
  /// settings, when present and sound. A damaged entry is reported and
  /// treated as missing; a found one is marked as used.
  bool find(const char* hash, uint64_t source_size, variant_set& out);

  /// Stores the entry. A failure is reported; the run goes on (the entry is
  /// made again next time).
  void store(const char* hash, uint64_t source_size, const variant_set& variants);

  /// Removes the entries used longest ago until the rest take at most limit
  /// bytes, and the temporary files of runs that were killed while writing.
  /// One run trims at a time; a run that finds another trimming leaves it.
  cache_trim trim(uint64_t limit);

 private:
  std::wstring entry_name(const char* hash) const;
  std::vector<uint8_t> entry_;  // the entry being read
  std::wstring directory_;
  std::string settings_;
  std::wstring settings_tag_;
  uint64_t temporaries_ = 0;
  bool usable_ = false;
};
