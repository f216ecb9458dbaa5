// Decoding throughput of the kit's identity_reader, per core: the identity
// bytes of one page held compressed only, read in the 32 KiB chunks the
// example servers send, for each coding as the tool stores it.
//
//   VEX_BENCH_PAGE=/usr/share/doc/python3.11-dev/html/library/re.html vex_identity_reader_bench
//
// Without VEX_BENCH_PAGE the page is 200 KiB of the first HTML file there,
// or of generated markup when that is missing. Counters: bytes_per_second
// of identity bytes, and the reader's memory in use.
#include <benchmark/benchmark.h>
#include <brotli/encode.h>
#include <zlib.h>
#include <zstd.h>

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>

#include "vex_resource_builder/identity_reader.h"

namespace {

using namespace vex_http;

std::string page() {
  const char* path = std::getenv("VEX_BENCH_PAGE");
  std::ifstream in(path ? path : "/usr/share/doc/python3.11-dev/html/library/re.html", std::ios::binary);
  std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (text.empty())
    while (text.size() < 300 * 1024)
      text += "<tr><td class=\"name\">item " + std::to_string(text.size()) + "</td></tr>\n";
  if (!path) text.resize(200 * 1024);
  return text;
}

std::string gzip(const std::string& data) {
  z_stream stream{};
  deflateInit2(&stream, 9, Z_DEFLATED, 16 + stored_gzip_window_bits, 9, Z_DEFAULT_STRATEGY);
  std::string out(deflateBound(&stream, static_cast<uLong>(data.size())), '\0');
  stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
  stream.avail_in = static_cast<uInt>(data.size());
  stream.next_out = reinterpret_cast<Bytef*>(out.data());
  stream.avail_out = static_cast<uInt>(out.size());
  deflate(&stream, Z_FINISH);
  out.resize(stream.total_out);
  deflateEnd(&stream);
  return out;
}

std::string brotli(const std::string& data) {
  std::string out(BrotliEncoderMaxCompressedSize(data.size()), '\0');
  size_t length = out.size();
  BrotliEncoderCompress(BROTLI_MAX_QUALITY, stored_br_window_bits, BROTLI_MODE_GENERIC, data.size(),
                        reinterpret_cast<const uint8_t*>(data.data()), &length, reinterpret_cast<uint8_t*>(out.data()));
  out.resize(length);
  return out;
}

std::string zstd(const std::string& data) {
  ZSTD_CCtx* context = ZSTD_createCCtx();
  ZSTD_CCtx_setParameter(context, ZSTD_c_compressionLevel, 19);
  ZSTD_CCtx_setParameter(context, ZSTD_c_windowLog, stored_zstd_window_log);
  std::string out(ZSTD_compressBound(data.size()), '\0');
  out.resize(ZSTD_compress2(context, out.data(), out.size(), data.data(), data.size()));
  ZSTD_freeCCtx(context);
  return out;
}

void read_page(benchmark::State& state, content_coding coding) {
  const std::string data = page();
  const std::string stored = coding == content_coding::gzip   ? gzip(data)
                             : coding == content_coding::br   ? brotli(data)
                             : coding == content_coding::zstd ? zstd(data)
                                                              : data;
  const stored_body body{stored.data(), stored.size(), coding, data.size()};
  auto reader = std::make_unique<identity_reader>();
  static char chunk[32768];
  for (auto _ : state) {
    reader->open(body);
    while (size_t count = reader->read(chunk, sizeof chunk)) benchmark::DoNotOptimize(count);
    if (reader->status() != read_status::ok) state.SkipWithError(read_status_text(reader->status()));
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * data.size()));
  state.counters["page_bytes"] = static_cast<double>(data.size());
  state.counters["stored_bytes"] = static_cast<double>(stored.size());
  state.counters["memory_used"] = static_cast<double>(reader->memory_used());
}

BENCHMARK_CAPTURE(read_page, identity, content_coding::identity);
BENCHMARK_CAPTURE(read_page, gzip, content_coding::gzip);
BENCHMARK_CAPTURE(read_page, br, content_coding::br);
BENCHMARK_CAPTURE(read_page, zstd, content_coding::zstd);

}  // namespace

BENCHMARK_MAIN();
