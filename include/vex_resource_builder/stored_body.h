#pragma once
// Where the bytes of a file are in the program, and how they are coded: a
// file is held as it is (its record's data), or, written with -z, only in
// one content coding (the variant of that coding in its side record).
#include <cstddef>
#include <cstdint>

#include "vex_resource_builder/content_negotiation.h"
#include "vex_resource_builder/vex_extras.h"
#include "vex_resource_builder/vex_resource.h"

namespace vex_http {

/// The compression windows of the files held compressed only. They are
/// small so that decoding one for a client that cannot take the coding
/// needs little memory (identity_reader.h says how much); the tool
/// compresses with these, and a reader refuses a larger window. Each
/// doubling of a window past these saves less than 2 % of the stored bytes
/// of a large site (67 MB of documentation pages: br 9.11 MB at 128 KiB,
/// 8.99 MB at 256 KiB; zstd 10.63 MB at 64 KiB, 10.32 MB at 128 KiB) but
/// costs a reader 170 to 260 KiB more.
inline constexpr int stored_gzip_window_bits = 15;  ///< 32 KiB, all that gzip has
inline constexpr int stored_br_window_bits = 17;    ///< 128 KiB
inline constexpr int stored_zstd_window_log = 16;   ///< 64 KiB

/// The bytes a program holds for one file.
struct stored_body {
  const char* data = nullptr;  ///< the bytes held: the file's own, or its only coded copy
  uint64_t size = 0;           ///< bytes at data
  content_coding coding = content_coding::identity;  ///< how data is coded
  uint64_t identity_size = 0;  ///< bytes of the file itself, which decoding gives
};

/// The content coding a side record says the bytes are held in.
inline content_coding stored_coding_of(const vex_resource_extras* extras) {
  if (!extras) return content_coding::identity;
  switch (extras->stored_coding) {
    case VEX_STORED_BR: return content_coding::br;
    case VEX_STORED_GZIP: return content_coding::gzip;
    case VEX_STORED_ZSTD: return content_coding::zstd;
    case VEX_STORED_IDENTITY: break;
  }
  return content_coding::identity;
}

/// True when the record's data is null and its bytes are held compressed only.
inline bool stored_compressed_only(const vex_resource_extras* extras) {
  return stored_coding_of(extras) != content_coding::identity;
}

/// The stored bytes of a record, with its side record when it has one.
inline stored_body stored_body_of(const vex_resource* resource, const vex_resource_extras* extras = nullptr) {
  const content_coding coding = stored_coding_of(extras);
  if (coding == content_coding::identity) return {resource->data, resource->size, coding, resource->size};
  const vex_resource_variant& variant =
      coding == content_coding::br ? extras->br : coding == content_coding::zstd ? extras->zstd : extras->gzip;
  return {variant.data, variant.size, coding, resource->size};
}

}  // namespace vex_http
