#include "generator/extras/stored_check.h"

#include <cstring>
#include <memory>

// The decoders of the codings this build of the tool has; the build
// defines VEX_DECODE_GZIP, and VEX_DECODE_BR and VEX_DECODE_ZSTD when it
// has libbrotli and libzstd. No other source of the tool includes them.
#include "vex_resource_builder/brotli_decoder.h"
#include "vex_resource_builder/gzip_decoder.h"
#include "vex_resource_builder/zstd_decoder.h"

namespace {

template <typename decoder_type>
bool decodes_to(const std::vector<uint8_t>& variant, const uint8_t* bytes, uint64_t size) {
  using vex_http::decode_step;
  // The decoder's memory alone: the least any reader that holds it has.
  constexpr size_t alignment = vex_http::decoder_arena::alignment;
  std::vector<unsigned char> block(decoder_type::memory + alignment);
  void* start = block.data();
  size_t room = block.size();
  std::align(alignment, decoder_type::memory, start, room);
  vex_http::decoder_arena arena(start, decoder_type::memory);
  decoder_type decoder;
  if (decoder.start(arena, reinterpret_cast<const char*>(variant.data()), variant.size()) != vex_http::read_status::ok)
    return false;
  std::vector<char> out(size_t{1} << 16);
  for (uint64_t at = 0;;) {
    const decode_step step = decoder.next(out.data(), out.size());
    if (step.written > size - at || memcmp(out.data(), bytes + at, step.written) != 0) return false;
    at += step.written;
    if (step.state != decode_step::more) return step.state == decode_step::end && at == size;
  }
}

}  // namespace

bool decodes_in_kit(coding which, const std::vector<uint8_t>& variant, const uint8_t* bytes, uint64_t size) {
  switch (which) {
    case coding::br: return decodes_to<vex_http::brotli_decoder>(variant, bytes, size);
    case coding::gzip: return decodes_to<vex_http::gzip_decoder>(variant, bytes, size);
    case coding::zstd: return decodes_to<vex_http::zstd_decoder>(variant, bytes, size);
  }
  return false;
}

size_t kit_decoder_memory(coding which) {
  switch (which) {
    case coding::br: return vex_http::brotli_decoder::memory;
    case coding::gzip: return vex_http::gzip_decoder::memory;
    case coding::zstd: return vex_http::zstd_decoder::memory;
  }
  return 0;
}
