#include "generator/extras/compression.h"

#include <zlib.h>

#include <cstring>
#include <string>

#include "generator/extras/stored_check.h"
#include "metadata/content_type.h"
#include "vex_resource_builder/stored_body.h"

namespace {

constexpr uint64_t least_saving_bytes = 64;
constexpr uint64_t least_saving_percent = 5;

bool ends_with(const char* text, const char* end) {
  size_t length = strlen(text);
  size_t end_length = strlen(end);
  return length >= end_length && strcmp(text + length - end_length, end) == 0;
}

bool is_compressible_mime_type(const char* mime) {
  constexpr const char* compressible[] = {"application/json", "application/javascript", "application/wasm",
                                          "font/ttf", "font/otf"};
  for (const char* type : compressible)
    if (strcmp(mime, type) == 0) return true;
  return strncmp(mime, "text/", 5) == 0 || ends_with(mime, "+xml") || ends_with(mime, "/xml");
}

}  // namespace

bool is_compressible_content(int content_type) {
  if (content_type < 0 || content_type >= content_type_count) return false;
  return is_compressible_mime_type(mime_type_of(content_type));
}

bool is_compressible_file(int content_type, const wchar_t* name) {
  return is_compressible_mime_type(served_mime_type(content_type, name));
}

namespace {

constexpr int gzip_level = Z_BEST_COMPRESSION;
constexpr int gzip_memory_level = 9;
// zlib's only window, 32 KiB: every variant, stored or sent, uses it.
constexpr int gzip_window_bits = 15;
static_assert(vex_http::stored_gzip_window_bits == gzip_window_bits);

// The windows of the variants sent to browsers, by coding: brotli's
// largest (16 MiB), zlib's, and 8 MiB for zstd, the most that a client of
// the zstd content coding must accept (RFC 9659), so that browsers take it.
constexpr int serving_windows[coding_count] = {24, gzip_window_bits, 23};
// The windows of files held in one coding only, which the kit's reader
// decodes for clients that cannot take that coding: small, so that an open
// reader needs little memory, and never larger than the reader takes.
constexpr int stored_windows[coding_count] = {vex_http::stored_br_window_bits, gzip_window_bits,
                                              vex_http::stored_zstd_window_log};

std::string gzip_settings() {
  return std::string("gzip ") + zlibVersion() + " l" + std::to_string(gzip_level) + " m" +
         std::to_string(gzip_memory_level) + " w" + std::to_string(gzip_window_bits);
}

std::string settings_of(coding which, int window) {
  switch (which) {
    case coding::br: return brotli_settings(window);
    case coding::gzip: return gzip_settings();
    case coding::zstd: return zstd_settings(window);
  }
  return {};
}

bool compress(coding which, int window, const uint8_t* bytes, uint64_t size, std::vector<uint8_t>& out) {
  switch (which) {
    case coding::br: return compress_brotli(bytes, size, window, out);
    case coding::gzip: return compress_gzip(bytes, size, out);
    case coding::zstd: return compress_zstd(bytes, size, window, out);
  }
  return false;
}

}  // namespace

std::vector<compression_library> compression_libraries() {
  // Every library the compression code may link; an optional one that this
  // build lacks reports no version.
  const compression_library candidates[] = {
      {"zlib", zlibVersion()}, {"brotli", brotli_version()}, {"zstd", zstd_version()}};
  std::vector<compression_library> present;
  for (const compression_library& library : candidates)
    if (library.version) present.push_back(library);
  return present;
}

bool coding_available(coding which) { return !settings_of(which, serving_windows[static_cast<int>(which)]).empty(); }

int coding_window(const compression_plan& plan, coding which) {
  return (plan.stored_only ? stored_windows : serving_windows)[static_cast<int>(which)];
}

bool parse_coding(const wchar_t* text, coding* which) {
  for (int i = 0; i < coding_count; ++i) {
    const char* name = coding_names[i];
    size_t at = 0;
    while (name[at] != 0 && text[at] == static_cast<wchar_t>(name[at])) ++at;
    if (name[at] == 0 && text[at] == 0) {
      *which = static_cast<coding>(i);
      return true;
    }
  }
  return false;
}

std::string compression_settings(const compression_plan& plan) {
  std::string settings;
  for (int i = 0; i < coding_count; ++i) {
    const coding which = static_cast<coding>(i);
    if (!plan.makes(which)) continue;
    if (!settings.empty()) settings += "; ";
    settings += settings_of(which, coding_window(plan, which));
    // What the kit's decoder takes decides which stored variants are kept.
    if (plan.stored_only) settings += " d" + std::to_string(kit_decoder_memory(which));
  }
  return settings;
}

void compress_variants(const compression_plan& plan, const uint8_t* bytes, uint64_t size, variant_set& out) {
  for (int i = 0; i < coding_count; ++i) {
    const coding which = static_cast<coding>(i);
    std::vector<uint8_t>& variant = out.bytes[i];
    if (!plan.makes(which) || !compress(which, coding_window(plan, which), bytes, size, variant) ||
        !worth_keeping(size, variant.size()) ||
        (plan.stored_only && !decodes_in_kit(which, variant, bytes, size)))
      variant.clear();
    variant.shrink_to_fit();
  }
}

bool compress_gzip(const uint8_t* bytes, uint64_t size, std::vector<uint8_t>& out) {
  z_stream stream{};
  // 15 bits of window, plus 16 for the gzip wrapper; memory level 9 is the
  // strongest and makes no difference to the format.
  if (deflateInit2(&stream, gzip_level, Z_DEFLATED, gzip_window_bits + 16, gzip_memory_level, Z_DEFAULT_STRATEGY) !=
      Z_OK)
    return false;
  gz_header header{};
  header.os = 255;  // unknown: zlib would write the build platform's code
  bool done = deflateSetHeader(&stream, &header) == Z_OK;
  if (done) {
    out.resize(deflateBound(&stream, static_cast<uLong>(size)));
    stream.next_in = const_cast<Bytef*>(bytes);
    stream.avail_in = static_cast<uInt>(size);
    stream.next_out = out.data();
    stream.avail_out = static_cast<uInt>(out.size());
    done = size <= UINT32_MAX && out.size() <= UINT32_MAX && deflate(&stream, Z_FINISH) == Z_STREAM_END;
    out.resize(done ? stream.total_out : 0);
  }
  deflateEnd(&stream);
  return done;
}

bool worth_keeping(uint64_t original_size, uint64_t compressed_size) {
  if (compressed_size >= original_size) return false;
  uint64_t saving = original_size - compressed_size;
  return saving >= least_saving_bytes && saving * 100 >= original_size * least_saving_percent;
}
