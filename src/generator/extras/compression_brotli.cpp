#include <brotli/encode.h>

#include "generator/extras/compression.h"

bool compress_brotli(const uint8_t* bytes, uint64_t size, std::vector<uint8_t>& out) {
  out.resize(BrotliEncoderMaxCompressedSize(static_cast<size_t>(size)));
  if (out.empty()) return false;
  size_t length = out.size();
  bool done = BrotliEncoderCompress(BROTLI_MAX_QUALITY, BROTLI_MAX_WINDOW_BITS, BROTLI_MODE_GENERIC,
                                    static_cast<size_t>(size), bytes, &length, out.data()) == BROTLI_TRUE;
  out.resize(done ? length : 0);
  return done;
}

std::string brotli_settings() {
  // The version is 0xMMMNNNPPP: major, minor and patch in 12-bit fields.
  uint32_t version = BrotliEncoderVersion();
  return "br " + std::to_string(version >> 24) + "." + std::to_string(version >> 12 & 0xFFF) + "." +
         std::to_string(version & 0xFFF) + " q" + std::to_string(BROTLI_MAX_QUALITY) + " w" +
         std::to_string(BROTLI_MAX_WINDOW_BITS);
}
