#pragma once
// The precompressed variants of a file: which content is worth compressing,
// the encoders at their strongest settings, and the threshold a variant
// must pass to be kept.
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
};

/// True when this build of the tool can write the coding (zlib always;
/// libbrotli and libzstd when the build found them).
bool coding_available(coding which);

/// Every coding this build writes with its settings and library version,
/// "br 1.0.9 q11 w24; gzip 1.2.13 l9 m9 w15; zstd 1.5.4 l19 w23": what
/// decides the bytes of a variant besides the content.
std::string compression_settings();

/// Compresses size bytes with every coding this build has, keeping a
/// variant only when it is worth it.
void compress_variants(const uint8_t* bytes, uint64_t size, variant_set& out);

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

/// Brotli at quality 11 with a 16 MiB window into out; false on failure or
/// when brotli is not available.
bool compress_brotli(const uint8_t* bytes, uint64_t size, std::vector<uint8_t>& out);
std::string brotli_settings();

/// Deflate at level 9 in a gzip wrapper whose header holds no name, no time
/// and "unknown" as operating system, so that every platform writes the
/// same bytes. False on failure.
bool compress_gzip(const uint8_t* bytes, uint64_t size, std::vector<uint8_t>& out);

/// Zstandard at level 19 with a window of at most 8 MiB, the most that the
/// zstd content coding allows a client to need (RFC 9659), so that
/// browsers accept it. False on failure or when zstd is not available.
bool compress_zstd(const uint8_t* bytes, uint64_t size, std::vector<uint8_t>& out);
std::string zstd_settings();

/// A variant is kept only when it saves at least 64 bytes and at least 5 %
/// of the original: below that, the saving does not pay for the bytes of a
/// second copy in the program nor for the work of a client that decodes it.
bool worth_keeping(uint64_t original_size, uint64_t compressed_size);
