#pragma once
// The content-addressed cache of precompressed variants beside the target
// (DST.cache/, one entry per content hash), so that a run recompresses only
// the files whose bytes changed since an earlier run.
#include <cstdint>
#include <string>
#include <vector>


/// The compressed forms of one content; an empty vector is no variant.
struct cached_variants {
  std::vector<uint8_t> brotli;
  std::vector<uint8_t> gzip;
  bool brotli_tried = false;  ///< brotli was attempted (false in a build without it)
};

/// The cache directory of one run.
class variant_cache {
 public:
  /// Names the directory after the target: its name up to the extension
  /// (as the parts are named), then "cache". Creates it; when that fails,
  /// says so and works without a cache.
  void open(const wchar_t* target);

  /// The entry of hash for content of source_size bytes, when present and
  /// sound; a damaged entry is reported and treated as missing. An entry
  /// without brotli does not count when this build has brotli.
  bool find(const char* hash, uint64_t source_size, cached_variants& out);

  /// Stores the entry: written under a temporary name, then renamed, so a
  /// killed run never leaves a partial entry under a valid name. A failure
  /// is reported; the run goes on (the entry is made again next time).
  void store(const char* hash, uint64_t source_size, const cached_variants& variants);

 private:
  std::wstring entry_name(const char* hash, const wchar_t* suffix) const;
  std::wstring directory_;
  bool usable_ = false;
};
