// The identity bytes of files held compressed only: each coding's stream,
// made here with the libraries' encoders as the tool makes them, read back
// in chunks from any offset; damaged streams; the reader's fixed memory.
#include <gtest/gtest.h>
#include <zlib.h>

#include <memory>
#include <string>
#include <vector>

#include "vex_resource_builder/identity_reader.h"

#if VEX_DECODE_BR
#include <brotli/encode.h>
#endif
#if VEX_DECODE_ZSTD
#include <zstd.h>
#endif

namespace {

using namespace vex_http;

// Text of size bytes that compresses about as a web page does: words from a
// small vocabulary, in an order that repeats only now and then.
std::string page_text(size_t size, uint32_t seed = 1) {
  static const char* const words[] = {"<div class=\"", "section", "\">", "</div>\n", "the ", "module ", "function ",
                                      "returns ", "<a href=\"", "#id", "\">", "</a> ", "value", "; ", "{ }", "\n"};
  std::string text;
  text.reserve(size);
  while (text.size() < size) {
    seed = seed * 1103515245u + 12345u;
    text += words[(seed >> 16) % 16];
    if ((seed & 0xff) == 7) text += std::to_string(seed);
  }
  text.resize(size);
  return text;
}

std::string gzip(const std::string& data, int level = 9) {
  z_stream stream{};
  EXPECT_EQ(deflateInit2(&stream, level, Z_DEFLATED, 16 + stored_gzip_window_bits, 9, Z_DEFAULT_STRATEGY), Z_OK);
  std::string out(deflateBound(&stream, static_cast<uLong>(data.size())), '\0');
  stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
  stream.avail_in = static_cast<uInt>(data.size());
  stream.next_out = reinterpret_cast<Bytef*>(out.data());
  stream.avail_out = static_cast<uInt>(out.size());
  EXPECT_EQ(deflate(&stream, Z_FINISH), Z_STREAM_END);
  out.resize(stream.total_out);
  deflateEnd(&stream);
  return out;
}

#if VEX_DECODE_BR
std::string brotli(const std::string& data, int quality = 11, int window_bits = stored_br_window_bits) {
  std::string out(BrotliEncoderMaxCompressedSize(data.size()), '\0');
  size_t length = out.size();
  EXPECT_TRUE(BrotliEncoderCompress(quality, window_bits, BROTLI_MODE_GENERIC, data.size(),
                                    reinterpret_cast<const uint8_t*>(data.data()), &length,
                                    reinterpret_cast<uint8_t*>(out.data())));
  out.resize(length);
  return out;
}
#endif

#if VEX_DECODE_ZSTD
std::string zstd(const std::string& data, int level = 19, int window_log = stored_zstd_window_log) {
  ZSTD_CCtx* context = ZSTD_createCCtx();
  ZSTD_CCtx_setParameter(context, ZSTD_c_compressionLevel, level);
  ZSTD_CCtx_setParameter(context, ZSTD_c_windowLog, window_log);
  std::string out(ZSTD_compressBound(data.size()), '\0');
  const size_t length = ZSTD_compress2(context, out.data(), out.size(), data.data(), data.size());
  EXPECT_FALSE(ZSTD_isError(length));
  out.resize(length);
  ZSTD_freeCCtx(context);
  return out;
}
#endif

// The stored forms of data this build can decode, as the tool writes them.
struct stored_form {
  content_coding coding;
  std::string bytes;
};

std::vector<stored_form> stored_forms(const std::string& data) {
  std::vector<stored_form> forms{{content_coding::identity, data}, {content_coding::gzip, gzip(data)}};
#if VEX_DECODE_BR
  forms.push_back({content_coding::br, brotli(data)});
#endif
#if VEX_DECODE_ZSTD
  forms.push_back({content_coding::zstd, zstd(data)});
#endif
  return forms;
}

stored_body body_of(const stored_form& form, uint64_t identity_size) {
  return {form.bytes.data(), form.bytes.size(), form.coding, identity_size};
}

// Everything a reader gives from offset, in chunks of chunk bytes.
std::string read_all(identity_reader& reader, const stored_body& body, uint64_t offset, size_t chunk) {
  EXPECT_EQ(reader.open(body, offset), read_status::ok);
  std::string out;
  std::vector<char> buffer(chunk);
  for (size_t count; (count = reader.read(buffer.data(), chunk)) > 0;) {
    out.append(buffer.data(), count);
    EXPECT_EQ(reader.position(), offset + out.size());
  }
  return out;
}

TEST(IdentityReader, EveryCodingGivesTheFileFromAnyOffsetInAnyChunks) {
  // Longer than every window, so that matches reach back across chunks.
  const std::string data = page_text(300 * 1024);
  auto reader = std::make_unique<identity_reader>();
  for (const stored_form& form : stored_forms(data)) {
    const stored_body body = body_of(form, data.size());
    for (const uint64_t offset : {uint64_t{0}, uint64_t{1}, uint64_t{70000}, data.size() - 1, uint64_t{data.size()}})
      for (const size_t chunk : {size_t{4096}, size_t{65536}, size_t{1000003}}) {
        SCOPED_TRACE(testing::Message() << content_coding_name(form.coding) << " from " << offset << " by " << chunk);
        EXPECT_TRUE(read_all(*reader, body, offset, chunk) == data.substr(offset));
        EXPECT_EQ(reader->status(), read_status::ok);
      }
    // A byte at a time, across the start of the stream's second block.
    EXPECT_TRUE(read_all(*reader, body, 131000, 1).substr(0, 2000) == data.substr(131000, 2000));
  }
  // An empty file, held as it is or coded.
  const stored_form empty_gzip{content_coding::gzip, gzip("")};
  EXPECT_EQ(read_all(*reader, body_of(empty_gzip, 0), 0, 16), "");
  EXPECT_EQ(reader->status(), read_status::ok);
}

TEST(IdentityReader, DamagedStreamsAndWrongSizesFailClearly) {
  const std::string data = page_text(100 * 1024, 7);
  auto reader = std::make_unique<identity_reader>();
  for (const stored_form& form : stored_forms(data)) {
    if (form.coding == content_coding::identity) continue;
    SCOPED_TRACE(content_coding_name(form.coding));
    const auto status_of = [&](const std::string& bytes, uint64_t size) {
      read_all(*reader, body_of({form.coding, bytes}, size), 0, 8192);
      return reader->status();
    };
    EXPECT_EQ(status_of(form.bytes.substr(0, form.bytes.size() - 3), data.size()), read_status::damaged);
    EXPECT_EQ(status_of(form.bytes + "x", data.size()), read_status::damaged);
    EXPECT_EQ(status_of(form.bytes, data.size() + 1), read_status::damaged);
    EXPECT_EQ(status_of(form.bytes, data.size() - 1), read_status::damaged);
    EXPECT_EQ(status_of(std::string(form.bytes.size(), '\xff'), data.size()), read_status::damaged);
    EXPECT_EQ(status_of("", data.size()), read_status::damaged);
  }
  // A window larger than the reader holds is refused, not allocated.
#if VEX_DECODE_BR
  const std::string wide_br = brotli(data, 5, 22);
  read_all(*reader, {wide_br.data(), wide_br.size(), content_coding::br, data.size()}, 0, 8192);
  EXPECT_EQ(reader->status(), read_status::too_large);
#endif
#if VEX_DECODE_ZSTD
  const std::string big = page_text(1 << 20, 3);
  const std::string wide_zstd = zstd(big, 3, 20);
  read_all(*reader, {wide_zstd.data(), wide_zstd.size(), content_coding::zstd, big.size()}, 0, 8192);
  EXPECT_EQ(reader->status(), read_status::too_large);
#endif
}

TEST(IdentityReader, MemoryStaysAtItsStatedSizeForA50MegabyteFile) {
  // Fast settings: the memory depends on the window, not on the level.
  const std::string data = page_text(50 << 20, 11);
  std::vector<stored_form> forms{{content_coding::gzip, gzip(data, 1)}};
  std::vector<size_t> stated{gzip_decoder::memory};
#if VEX_DECODE_BR
  forms.push_back({content_coding::br, brotli(data, 5)});
  stated.push_back(brotli_decoder::memory);
#endif
#if VEX_DECODE_ZSTD
  forms.push_back({content_coding::zstd, zstd(data, 3)});
  stated.push_back(zstd_decoder::memory);
#endif
  auto reader = std::make_unique<identity_reader>();
  EXPECT_LE(sizeof(identity_reader), identity_reader::memory + 1024);
  std::vector<char> buffer(16384);
  for (size_t i = 0; i < forms.size(); ++i) {
    SCOPED_TRACE(content_coding_name(forms[i].coding));
    ASSERT_EQ(reader->open(body_of(forms[i], data.size())), read_status::ok);
    uint64_t total = 0;
    bool same = true;
    for (size_t count; (count = reader->read(buffer.data(), buffer.size())) > 0; total += count)
      same = same && std::memcmp(buffer.data(), data.data() + total, count) == 0;
    EXPECT_EQ(reader->status(), read_status::ok);
    EXPECT_EQ(total, data.size());
    EXPECT_TRUE(same);
    EXPECT_GT(reader->memory_used(), 0u);
    EXPECT_LE(reader->memory_used(), stated[i]);
    EXPECT_LE(stated[i], identity_reader::memory);
  }
}

TEST(DecoderArena, ReusesFreedBlocksAndGivesBackTheTop) {
  alignas(decoder_arena::alignment) unsigned char memory[4096];
  decoder_arena arena(memory, sizeof memory);
  void* a = arena.allocate(1000);
  void* b = arena.allocate(1000);
  void* c = arena.allocate(1000);
  ASSERT_TRUE(a && b && c);
  EXPECT_EQ(arena.allocate(2000), nullptr);
  arena.release(a);
  arena.release(b);  // merged with a: room for 2000 below c
  void* d = arena.allocate(2000);
  EXPECT_EQ(d, a);
  arena.release(c);
  arena.release(d);  // everything free: the whole block again
  EXPECT_EQ(arena.allocate(4000), a);
  EXPECT_EQ(reinterpret_cast<uintptr_t>(b) % decoder_arena::alignment, 0u);
}

}  // namespace
