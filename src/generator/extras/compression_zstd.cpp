#include <zstd.h>

#include "generator/extras/compression.h"

namespace {

constexpr int zstd_level = 19;

}  // namespace

bool compress_zstd(const uint8_t* bytes, uint64_t size, int window_log, std::vector<uint8_t>& out) {
  ZSTD_CCtx* context = ZSTD_createCCtx();
  if (!context) return false;
  // The content size goes into the frame header, so a small file's window is
  // its own size; no checksum, which HTTP leaves to the transport.
  bool done = !ZSTD_isError(ZSTD_CCtx_setParameter(context, ZSTD_c_compressionLevel, zstd_level)) &&
              !ZSTD_isError(ZSTD_CCtx_setParameter(context, ZSTD_c_windowLog, window_log)) &&
              !ZSTD_isError(ZSTD_CCtx_setParameter(context, ZSTD_c_contentSizeFlag, 1)) &&
              !ZSTD_isError(ZSTD_CCtx_setParameter(context, ZSTD_c_checksumFlag, 0));
  if (done) {
    out.resize(ZSTD_compressBound(static_cast<size_t>(size)));
    size_t length = ZSTD_compress2(context, out.data(), out.size(), bytes, static_cast<size_t>(size));
    done = !ZSTD_isError(length);
    out.resize(done ? length : 0);
  }
  ZSTD_freeCCtx(context);
  return done;
}

const char* zstd_version() { return ZSTD_versionString(); }

std::string zstd_settings(int window_log) {
  return std::string("zstd ") + zstd_version() + " l" + std::to_string(zstd_level) + " w" +
         std::to_string(window_log);
}
