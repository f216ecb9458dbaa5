// What the compression window of stored data costs: for each window, the
// bytes that br (quality 11) and zstd (level 19) make of the compressible
// files of the trees given, and the memory a decoder needs for them.
//
//   vex_stored_windows DIR...
//
// A file is counted as stored compressed when that saves at least 64 bytes
// and 5 %, as -x keeps a variant; else its own size is counted. The zstd
// decoder's memory is what a streaming decoder that accepts the window
// needs (ZSTD_estimateDStreamSize); the brotli decoder's is the most it held
// at once over every file, counted through its allocator, with the ring
// buffer always as large as the window.
#include <brotli/decode.h>
#include <brotli/encode.h>
#define ZSTD_STATIC_LINKING_ONLY  // ZSTD_estimateDStreamSize
#include <zstd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

bool compressible(const fs::path& path) {
  static const char* const extensions[] = {".html", ".htm", ".css", ".js", ".mjs", ".json", ".svg", ".xml",
                                           ".txt",  ".py",  ".map", ".wasm", ".ttf", ".otf"};
  const std::string extension = path.extension().string();
  return std::find(std::begin(extensions), std::end(extensions), extension) != std::end(extensions);
}

std::vector<std::string> read_trees(int count, char** roots) {
  std::vector<std::string> files;
  for (int i = 0; i < count; ++i)
    for (const fs::directory_entry& entry : fs::recursive_directory_iterator(roots[i]))
      if (entry.is_regular_file() && compressible(entry.path())) {
        std::ifstream in(entry.path(), std::ios::binary);
        files.emplace_back(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
      }
  return files;
}

uint64_t stored_size(uint64_t size, uint64_t compressed) {
  const bool worth = compressed + 64 <= size && compressed * 100 <= size * 95;
  return worth ? compressed : size;
}

// Counts the bytes a brotli decoder holds, and the most it held.
struct counting_memory {
  size_t live = 0;
  size_t peak = 0;
};

void* count_alloc(void* opaque, size_t size) {
  auto* memory = static_cast<counting_memory*>(opaque);
  auto* block = static_cast<size_t*>(std::malloc(size + 16));
  if (!block) return nullptr;
  *block = size;
  memory->live += size;
  memory->peak = std::max(memory->peak, memory->live);
  return reinterpret_cast<char*>(block) + 16;
}

void count_free(void* opaque, void* address) {
  if (!address) return;
  auto* block = reinterpret_cast<size_t*>(static_cast<char*>(address) - 16);
  static_cast<counting_memory*>(opaque)->live -= *block;
  std::free(block);
}

// The most a streaming brotli decoder held for one stream, decoded in
// chunks of 16 KiB; 0 when it fails.
size_t brotli_decoder_memory(const std::string& compressed) {
  counting_memory memory;
  BrotliDecoderState* state = BrotliDecoderCreateInstance(count_alloc, count_free, &memory);
  BrotliDecoderSetParameter(state, BROTLI_DECODER_PARAM_DISABLE_RING_BUFFER_REALLOCATION, 1);
  const uint8_t* in = reinterpret_cast<const uint8_t*>(compressed.data());
  size_t in_left = compressed.size();
  uint8_t chunk[16384];
  BrotliDecoderResult result = BROTLI_DECODER_RESULT_NEEDS_MORE_OUTPUT;
  while (result == BROTLI_DECODER_RESULT_NEEDS_MORE_OUTPUT) {
    uint8_t* out = chunk;
    size_t out_left = sizeof chunk;
    result = BrotliDecoderDecompressStream(state, &in_left, &in, &out_left, &out, nullptr);
  }
  BrotliDecoderDestroyInstance(state);
  return result == BROTLI_DECODER_RESULT_SUCCESS ? memory.peak : 0;
}

std::string brotli(const std::string& data, int window_log) {
  std::string out(BrotliEncoderMaxCompressedSize(data.size()), '\0');
  size_t length = out.size();
  if (!BrotliEncoderCompress(BROTLI_MAX_QUALITY, window_log, BROTLI_MODE_GENERIC, data.size(),
                             reinterpret_cast<const uint8_t*>(data.data()), &length,
                             reinterpret_cast<uint8_t*>(out.data())))
    return data;
  out.resize(length);
  return out;
}

std::string zstd(ZSTD_CCtx* context, const std::string& data, int window_log) {
  ZSTD_CCtx_reset(context, ZSTD_reset_session_and_parameters);
  ZSTD_CCtx_setParameter(context, ZSTD_c_compressionLevel, 19);
  ZSTD_CCtx_setParameter(context, ZSTD_c_windowLog, window_log);
  ZSTD_CCtx_setParameter(context, ZSTD_c_checksumFlag, 0);
  std::string out(ZSTD_compressBound(data.size()), '\0');
  const size_t length = ZSTD_compress2(context, out.data(), out.size(), data.data(), data.size());
  if (ZSTD_isError(length)) return data;
  out.resize(length);
  return out;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: %s DIR...\n", argv[0]);
    return 2;
  }
  const std::vector<std::string> files = read_trees(argc - 1, argv + 1);
  uint64_t total = 0;
  for (const std::string& file : files) total += file.size();
  std::printf("%zu compressible files, %llu bytes\n", files.size(), static_cast<unsigned long long>(total));
  std::printf("coding window      stored bytes  decoder memory\n");
  ZSTD_CCtx* context = ZSTD_createCCtx();
  for (const int window_log : {15, 16, 17, 18, 19, 20, 22, 23, 24}) {
    uint64_t br_total = 0, zstd_total = 0;
    size_t br_memory = 0;
    for (const std::string& file : files) {
      const std::string br = brotli(file, std::max(window_log, BROTLI_MIN_WINDOW_BITS));
      br_total += stored_size(file.size(), br.size());
      if (br.size() < file.size()) br_memory = std::max(br_memory, brotli_decoder_memory(br));
      if (window_log <= 23) zstd_total += stored_size(file.size(), zstd(context, file, window_log).size());
    }
    std::printf("br     %2d %20llu %15zu\n", window_log, static_cast<unsigned long long>(br_total), br_memory);
    if (window_log <= 23)
      std::printf("zstd   %2d %20llu %15zu\n", window_log, static_cast<unsigned long long>(zstd_total),
                  ZSTD_estimateDStreamSize(size_t{1} << window_log));
    std::fflush(stdout);
  }
  ZSTD_freeCCtx(context);
}
