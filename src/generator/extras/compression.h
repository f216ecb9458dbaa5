#pragma once
// The precompressed variants of a file: which content is worth compressing,
// the two encoders at their strongest settings, and the threshold a variant
// must pass to be kept.
#include <cstdint>
#include <vector>

/// True for content that compresses: text types, JSON, JavaScript, XML
/// and SVG (every +xml type), and fonts without compression of their own
/// (ttf, otf). Images, audio, video, archives, woff and woff2 are not.
bool is_compressible_content(int content_type);

/// is_compressible_content for a file named name: a file of the default
/// type (application/octet-stream) whose extension serving gives one of the
/// types browsers enforce (.wasm, .mjs, ...) is judged as that type.
bool is_compressible_file(int content_type, const wchar_t* name);

/// True when this build of the tool can write brotli.
bool brotli_available();

/// A compression library linked into this build and the version it reports.
struct compression_library {
  const char* name;
  const char* version;
};

/// The compression libraries of this build, zlib first.
std::vector<compression_library> compression_libraries();

/// The version of the brotli library linked, or null when this build has none.
const char* brotli_version();

/// Brotli at quality 11 with a 16 MiB window into out; false on failure or
/// when brotli is not available.
bool compress_brotli(const uint8_t* bytes, uint64_t size, std::vector<uint8_t>& out);

/// Deflate at level 9 in a gzip wrapper whose header holds no name, no time
/// and "unknown" as operating system, so that every platform writes the
/// same bytes. False on failure.
bool compress_gzip(const uint8_t* bytes, uint64_t size, std::vector<uint8_t>& out);

/// A variant is kept only when it saves at least 64 bytes and at least 5 %
/// of the original: below that, the saving does not pay for the bytes of a
/// second copy in the program nor for the work of a client that decodes it.
bool worth_keeping(uint64_t original_size, uint64_t compressed_size);
