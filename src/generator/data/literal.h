#pragma once
// The literal form: the bytes as string-literal pieces in the target, for
// compilers that cannot include a binary file from assembler text.
#include <cstddef>
#include <cstdint>
#include <string>

#include "context/builder_context.h"
#include "generator/data/data_writer.h"

/// Input bytes per piece: escaped at most 4 characters each, a piece stays
/// within the 16,380 characters that some compilers allow one literal.
inline constexpr size_t literal_piece_bytes = 4095;

/// The most bytes MSVC takes in one string literal once its pieces are
/// joined, the terminator included (fatal error C1091 beyond).
inline constexpr uint64_t literal_msvc_bytes = 65535;

/// The path array and the data array of each file, as literal pieces.
class literal_form final : public data_writer {
 public:
  bool begin_file(builder_context& context, const char* path_literal) override;
  bool write_chunk(builder_context& context, size_t bytes) override;
  bool end_file(builder_context& context, const char* path_literal) override;
  void end_after_read_failure(builder_context& context) override;
  /// An alignas(8) array of literal pieces.
  bool write_from_memory(builder_context& context, memory_arrays& out, const char* name, const uint8_t* bytes,
                         uint64_t size) override;

 private:
  // A chunk after the first is joined to the piece before it.
  bool first_chunk_ = true;
};

/// Escapes size bytes as pieces joined by literal_join into out (room for
/// literal_text_size(size) characters); returns the characters written.
size_t encode_literal_pieces(const uint8_t* bytes, size_t size, char* out);

/// The most characters encode_literal_pieces writes for size bytes.
inline constexpr size_t literal_text_size(size_t size) {
  return size * 4 + (size / literal_piece_bytes + 1) * 5 + 1;
}
