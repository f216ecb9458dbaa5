// The zstd side of a build without libzstd (Debian has none for the Windows
// cross build): no zstd variants are written.
#include "generator/extras/compression.h"

bool compress_zstd(const uint8_t*, uint64_t, int, std::vector<uint8_t>& out) {
  out.clear();
  return false;
}

const char* zstd_version() { return nullptr; }

std::string zstd_settings(int) { return {}; }
