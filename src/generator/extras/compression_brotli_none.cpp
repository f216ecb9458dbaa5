// The brotli side of a build without libbrotli (Debian has none for the
// Windows cross build): no brotli variants are written.
#include "generator/extras/compression.h"

const char* brotli_version() { return nullptr; }

bool compress_brotli(const uint8_t*, uint64_t, int, std::vector<uint8_t>& out) {
  out.clear();
  return false;
}

std::string brotli_settings(int) { return {}; }
