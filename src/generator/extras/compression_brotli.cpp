#include <brotli/encode.h>

#include <array>
#include <string>

#include "generator/extras/compression.h"
#include "support/format.h"

const char* brotli_version() {
  // The library packs its version as major << 24 | minor << 12 | patch.
  static const std::array<char, 32> text = [] {
    std::array<char, 32> digits{};
    uint32_t version = BrotliEncoderVersion();
    format_text(digits.data(), digits.size(), "%u.%u.%u", version >> 24, (version >> 12) & 0xFFF, version & 0xFFF);
    return digits;
  }();
  return text.data();
}

bool compress_brotli(const uint8_t* bytes, uint64_t size, int window_bits, std::vector<uint8_t>& out) {
  out.resize(BrotliEncoderMaxCompressedSize(static_cast<size_t>(size)));
  if (out.empty()) return false;
  size_t length = out.size();
  bool done = BrotliEncoderCompress(BROTLI_MAX_QUALITY, window_bits, BROTLI_MODE_GENERIC,
                                    static_cast<size_t>(size), bytes, &length, out.data()) == BROTLI_TRUE;
  out.resize(done ? length : 0);
  return done;
}

std::string brotli_settings(int window_bits) {
  return std::string("br ") + brotli_version() + " q" + std::to_string(BROTLI_MAX_QUALITY) + " w" +
         std::to_string(window_bits);
}
