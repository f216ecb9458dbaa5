// Throughput of the chunk encoder, in bytes of input per second.
#include <benchmark/benchmark.h>

#include <random>
#include <string>
#include <vector>

#include "generator/data/words.h"

namespace {

constexpr size_t chunk_bytes = 0x200000;

const std::vector<uint8_t>& chunk() {
  static const std::vector<uint8_t> bytes = [] {
    std::mt19937_64 generator(42);
    std::vector<uint8_t> data(chunk_bytes);
    for (uint8_t& byte : data) byte = static_cast<uint8_t>(generator());
    return data;
  }();
  return bytes;
}

void encode_one_chunk(benchmark::State& state, encode_words_function encode, bool big_endian) {
  const std::vector<uint8_t>& data = chunk();
  std::vector<char> text(encoded_chunk_size(chunk_bytes / 8));
  for (auto _ : state) {
    size_t length = encode ? encode_chunk_with(encode, data.data(), chunk_bytes / 8, big_endian, text.data())
                           : encode_chunk(data.data(), chunk_bytes / 8, big_endian, text.data());
    benchmark::DoNotOptimize(length);
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * chunk_bytes));
}

}  // namespace

int main(int argc, char** argv) {
  size_t count = 0;
  const word_encoder* encoders = available_word_encoders(&count);
  for (bool big_endian : {false, true}) {
    const char* order = big_endian ? "big_endian" : "default";
    for (size_t e = 0; e < count; ++e)
      benchmark::RegisterBenchmark((std::string("encode_chunk/") + encoders[e].name + "/" + order).c_str(),
                                   encode_one_chunk, encoders[e].encode, big_endian);
    benchmark::RegisterBenchmark((std::string("encode_chunk/dispatched/") + order).c_str(), encode_one_chunk,
                                 nullptr, big_endian);
  }
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
