// The brotli side of a build without libbrotli (Debian has none for the
// Windows cross build): only gzip variants are written.
#include "generator/extras/compression.h"

bool brotli_available() { return false; }

const char* brotli_version() { return nullptr; }

bool compress_brotli(const uint8_t*, uint64_t, std::vector<uint8_t>& out) {
  out.clear();
  return false;
}
