#include <brotli/encode.h>

#include "generator/extras/compression.h"

bool brotli_available() { return true; }

bool compress_brotli(const uint8_t* bytes, uint64_t size, std::vector<uint8_t>& out) {
  out.resize(BrotliEncoderMaxCompressedSize(static_cast<size_t>(size)));
  if (out.empty()) return false;
  size_t length = out.size();
  bool done = BrotliEncoderCompress(BROTLI_MAX_QUALITY, BROTLI_MAX_WINDOW_BITS, BROTLI_MODE_GENERIC,
                                    static_cast<size_t>(size), bytes, &length, out.data()) == BROTLI_TRUE;
  out.resize(done ? length : 0);
  return done;
}
