#pragma once
// The precompressed variants of a file: which content is worth compressing,
// the encoders at their strongest settings, the windows they use, and the
// threshold a variant must pass to be kept.
#include <cstdint>
#include <string>
#include <vector>

/// True for content that compresses: text types, JSON, JavaScript, XML
/// and SVG (every +xml type), and fonts without compression of their own
/// (ttf, otf). Images, audio, video, archives, woff and woff2 are not.
bool is_compressible_content(int content_type);

/// is_compressible_content for a file named name: a file of the default
/// type (application/octet-stream) whose extension serving gives one of the
/// types browsers enforce (.wasm, .mjs, ...) is judged as that type.
bool is_compressible_file(int content_type, const wchar_t* name);

/// The content codings of the variants, in the order the side record holds them.
enum class coding { br, gzip, zstd };
inline constexpr int coding_count = 3;
inline constexpr const char* coding_names[coding_count] = {"br", "gzip", "zstd"};

/// A file's variants, one per coding; an empty one is no variant.
struct variant_set {
  std::vector<uint8_t> bytes[coding_count];
  std::vector<uint8_t>& operator[](coding which) { return bytes[static_cast<int>(which)]; }
  const std::vector<uint8_t>& operator[](coding which) const { return bytes[static_cast<int>(which)]; }
};

/// True when this build of the tool can write the coding (zlib always;
/// libbrotli and libzstd when the build found them).
bool coding_available(coding which);

/// The coding named text ("gzip", "br", "zstd"); false for any other text.
bool parse_coding(const wchar_t* text, coding* which);

/// What a run compresses: every coding this build has, each with the
/// window that browsers take (-x); or, for files held in one coding only
/// (-z), that coding alone, with the small window that keeps decoding them
/// cheap for the server (the kit's reader takes no larger one).
struct compression_plan {
  bool stored_only = false;
  coding stored = coding::gzip;  ///< with stored_only
  /// True when the plan makes variants of the coding in this build.
  bool makes(coding which) const { return coding_available(which) && (!stored_only || which == stored); }
};

/// The window of the coding's variants in the plan: its base-2 logarithm.
int coding_window(const compression_plan& plan, coding which);

/// Every coding the plan makes with its settings and library version,
/// "br 1.0.9 q11 w24; gzip 1.2.13 l9 m9 w15; zstd 1.5.4 l19 w23": what
/// decides the bytes of a variant besides the content.
std::string compression_settings(const compression_plan& plan);

/// Compresses size bytes with every coding the plan makes, keeping a
/// variant only when it is worth it, and, for a file held in one coding
/// only, when the kit's decoder gives the bytes back from it.
void compress_variants(const compression_plan& plan, const uint8_t* bytes, uint64_t size, variant_set& out);

/// A compression library linked into this build and the version it reports.
struct compression_library {
  const char* name;
  const char* version;
};

/// The compression libraries of this build, zlib first.
std::vector<compression_library> compression_libraries();

/// The version of the brotli or zstd library linked, or null when this
/// build has none.
const char* brotli_version();
const char* zstd_version();

/// Brotli at quality 11 with a window of 2^window_bits bytes (less 16) into
/// out; false on failure or when brotli is not available.
bool compress_brotli(const uint8_t* bytes, uint64_t size, int window_bits, std::vector<uint8_t>& out);
std::string brotli_settings(int window_bits);

/// Deflate at level 9 in a gzip wrapper whose header holds no name, no time
/// and "unknown" as operating system, so that every platform writes the
/// same bytes. False on failure.
bool compress_gzip(const uint8_t* bytes, uint64_t size, std::vector<uint8_t>& out);

/// Zstandard at level 19 with a window of at most 2^window_log bytes (a
/// small file's window is its own size). False on failure or when zstd is
/// not available.
bool compress_zstd(const uint8_t* bytes, uint64_t size, int window_log, std::vector<uint8_t>& out);
std::string zstd_settings(int window_log);

/// A variant is kept only when it saves at least 64 bytes and at least 5 %
/// of the original: below that, the saving does not pay for the bytes of a
/// second copy in the program nor for the work of a client that decodes it.
bool worth_keeping(uint64_t original_size, uint64_t compressed_size);
