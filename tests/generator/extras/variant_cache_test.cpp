// The variant cache: entries keyed by the compression settings, damaged
// entries never used; the windows that browsers and the kit's reader accept.
#include <gtest/gtest.h>

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "generator/extras/compression.h"
#include "generator/extras/stored_check.h"
#include "generator/extras/variant_cache.h"
#include "vex_resource_builder/stored_body.h"

namespace {

namespace fs = std::filesystem;

const char hash[] = "00112233445566778899aabbccddeeff";

variant_set some_variants() {
  variant_set variants;
  variants.bytes[0] = {1, 2, 3};
  variants.bytes[2] = std::vector<uint8_t>(1000, 7);
  return variants;
}

TEST(VariantCache, AnEntryServesOnlyTheSettingsThatMadeItAndNeverWhenDamaged) {
  const fs::path directory = fs::temp_directory_path() / "vex_variant_cache_test" / "made" / "with parents";
  fs::remove_all(directory.parent_path().parent_path());
  variant_cache made_by_a, made_by_b;
  made_by_a.open(directory.wstring(), "br 1.0.9 q11 w24");
  made_by_b.open(directory.wstring(), "br 1.0.9 q10 w24");
  made_by_a.store(hash, 5000, some_variants());

  variant_set found;
  EXPECT_FALSE(made_by_b.find(hash, 5000, found)) << "another quality made it";
  EXPECT_FALSE(made_by_a.find(hash, 4999, found)) << "another source size";
  ASSERT_TRUE(made_by_a.find(hash, 5000, found));
  EXPECT_EQ(found.bytes[0], some_variants().bytes[0]);
  EXPECT_TRUE(found.bytes[1].empty());
  EXPECT_EQ(found.bytes[2], some_variants().bytes[2]);

  // Under the name of b's settings, a's entry is still a's: refused.
  made_by_b.store(hash, 5000, variant_set{});
  std::vector<fs::path> entries(fs::directory_iterator(directory), fs::directory_iterator{});
  ASSERT_EQ(entries.size(), 2u);
  const fs::path a_entry = fs::file_size(entries[0]) > fs::file_size(entries[1]) ? entries[0] : entries[1];
  const fs::path b_entry = a_entry == entries[0] ? entries[1] : entries[0];
  {
    std::ifstream from(a_entry, std::ios::binary);
    std::ofstream(b_entry, std::ios::binary | std::ios::trunc) << from.rdbuf();
  }
  EXPECT_FALSE(made_by_b.find(hash, 5000, found));

  // Every truncation of an entry is refused.
  const uintmax_t whole = fs::file_size(a_entry);
  for (uintmax_t size = whole - 1; size > 0; size = size > 64 ? size - 61 : size - 1) {
    fs::resize_file(a_entry, size);
    EXPECT_FALSE(made_by_a.find(hash, 5000, found)) << size;
  }
  fs::remove_all(directory.parent_path().parent_path());
}

// The window a zstd frame asks of its decoder (RFC 8878, 3.1.1.1).
uint64_t zstd_window(const std::vector<uint8_t>& frame) {
  const uint8_t descriptor = frame.at(4);
  if (descriptor & 0x20) {  // a single segment: the window is the content
    const int size_bytes[] = {1, 2, 4, 8};
    const int length = size_bytes[descriptor >> 6];
    uint64_t content = 0;
    for (int i = length - 1; i >= 0; --i) content = content << 8 | frame.at(5 + static_cast<size_t>(i));
    return length == 2 ? content + 256 : content;
  }
  const uint8_t window = frame.at(5);
  const uint64_t base = uint64_t{1} << (10 + (window >> 3));
  return base + base / 8 * (window & 7);
}

// The window a brotli stream asks of its decoder, from its first bits
// (RFC 7932, 9.1): 2^bits less 16 bytes.
int brotli_window_bits(const std::vector<uint8_t>& stream) {
  const unsigned bits = stream.at(0) | unsigned{stream.at(1)} << 8;
  if ((bits & 1) == 0) return 16;
  if ((bits >> 1 & 7) != 0) return 17 + static_cast<int>(bits >> 1 & 7);
  return (bits >> 4 & 7) == 0 ? 17 : 8 + static_cast<int>(bits >> 4 & 7);
}

// 9 MiB of a few words over and over: quick to compress at any level, and
// more than any window in all.
std::vector<uint8_t> repeated_words() {
  std::mt19937 random(3);
  std::vector<std::string> words;
  for (int i = 0; i < 2000; ++i) words.push_back(std::string(3 + random() % 6, static_cast<char>('a' + random() % 26)));
  std::vector<uint8_t> text;
  while (text.size() < (64u << 10)) {
    const std::string& word = words[random() % words.size()];
    text.insert(text.end(), word.begin(), word.end());
    text.push_back(' ');
  }
  for (size_t block = text.size(); text.size() < (9u << 20);) text.insert(text.end(), text.begin(), text.begin() + static_cast<std::ptrdiff_t>(block));
  return text;
}

TEST(Compression, ZstdNeverAsksForMoreThanAnEightMebibyteWindow) {
  if (!coding_available(coding::zstd)) GTEST_SKIP() << "a build without zstd";
  const std::vector<uint8_t> text = repeated_words();
  const int window = coding_window(compression_plan{}, coding::zstd);
  std::vector<uint8_t> frame;
  ASSERT_TRUE(compress_zstd(text.data(), text.size(), window, frame));
  EXPECT_LE(zstd_window(frame), uint64_t{8} << 20);
  ASSERT_TRUE(compress_zstd(text.data(), 5000, window, frame));
  EXPECT_EQ(zstd_window(frame), 5000u);
}

TEST(Compression, FilesHeldInOneCodingAskNoMoreWindowThanTheKitsReaderTakes) {
  const std::vector<uint8_t> text = repeated_words();
  const uint64_t size = 1u << 20;  // larger than the windows, quick for brotli
  if (coding_available(coding::zstd)) {
    variant_set variants;
    compress_variants({true, coding::zstd}, text.data(), size, variants);
    EXPECT_TRUE(variants[coding::br].empty() && variants[coding::gzip].empty()) << "a coding not asked for";
    EXPECT_EQ(zstd_window(variants[coding::zstd]), uint64_t{1} << vex_http::stored_zstd_window_log);
    // A frame with the window of the variants sent to browsers is refused
    // by the kit's decoder, so a file is never held in it only.
    std::vector<uint8_t> wide;
    ASSERT_TRUE(compress_zstd(text.data(), size, coding_window(compression_plan{}, coding::zstd), wide));
    EXPECT_FALSE(decodes_in_kit(coding::zstd, wide, text.data(), size));
    EXPECT_TRUE(decodes_in_kit(coding::zstd, variants[coding::zstd], text.data(), size));
  }
  if (coding_available(coding::br)) {
    variant_set variants;
    compress_variants({true, coding::br}, text.data(), size, variants);
    EXPECT_TRUE(variants[coding::gzip].empty() && variants[coding::zstd].empty()) << "a coding not asked for";
    EXPECT_EQ(brotli_window_bits(variants[coding::br]), vex_http::stored_br_window_bits);
  }
}

}  // namespace
