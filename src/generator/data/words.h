#pragma once
// The words form, the default: the bytes of a source file as a uint64_t
// array in the target .cpp.
#include <cstddef>
#include <cstdint>
#include <string>

#include "context/builder_context.h"
#include "generator/data/data_writer.h"
#include "generator/data/word_encoders.h"

class words_form final : public data_writer {
 public:
  bool constant_records() const override { return false; }
  bool begin_file(builder_context& context, const char* path_literal) override;
  bool write_chunk(builder_context& context, size_t bytes) override;
  bool end_file(builder_context& context, const char* path_literal) override;
  void end_after_read_failure(builder_context& context) override;
  /// "uint64_t name[words] = { ... };", the last word padded with zeros.
  bool write_from_memory(builder_context& context, memory_arrays& out, const char* name, const uint8_t* bytes,
                         uint64_t size) override;

 private:
  // A chunk after the first is written behind a ", ", so that its first
  // word follows the last word before it on the same line.
  bool first_chunk_ = true;
};

/// Writes the data array of the file in h_src into its data file, reading the
/// chunks after the first (already in read_buffer, read_count bytes).
/// 0, or -1 after printing what failed. After a failed read the array is
/// still closed (so the target compiles) and output_incomplete is set.
int write_data_array(builder_context& context);

/// Encodes the whole words of chunk (word_count words, each 8 bytes) into
/// out as "0x" + 16 digits + ", " per word, with ",\n\t\t" after every 400th
/// word of the chunk. Returns the characters written (the final ", "
/// included). out must hold encoded_chunk_size(word_count) characters.
size_t encode_chunk(const uint8_t* chunk, size_t word_count, bool big_endian, char* out);

/// encode_chunk with a chosen word encoder, so that the encoders can be
/// compared; encode_chunk uses the fastest.
size_t encode_chunk_with(encode_words_function encode_words, const uint8_t* chunk, size_t word_count,
                         bool big_endian, char* out);

/// Characters that encode_chunk writes for word_count words.
inline constexpr size_t encoded_chunk_size(size_t word_count) {
  return word_count * 20 + (word_count > 0 ? (word_count - 1) / 400 * 2 : 0);
}
