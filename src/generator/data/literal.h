#pragma once
// The literal form: the bytes as string-literal pieces in the target, for
// compilers that cannot include a binary file from assembler text.
#include <cstddef>
#include <cstdint>
#include <string>

#include "context/builder_context.h"

/// Input bytes per piece: escaped at most 4 characters each, a piece stays
/// within the 16,380 characters that some compilers allow one literal.
inline constexpr size_t literal_piece_bytes = 4095;

/// The most bytes MSVC takes in one string literal once its pieces are
/// joined, the terminator included (fatal error C1091 beyond).
inline constexpr uint64_t literal_msvc_bytes = 65535;

/// Writes the path array and the data array of the file in h_src (its first
/// chunk already in read_buffer) into h_dst_cpp, within text_room bytes of
/// text_buffer. 0, or -1 after printing what failed.
int write_data_literal(builder_context& context, const char* path_literal, uint64_t text_room);

/// Appends size bytes from memory as an alignas(8) array of literal pieces
/// named name to text; false after printing what failed.
bool write_literal_from_memory(builder_context& context, std::string& text, const char* name, const uint8_t* bytes,
                               uint64_t size);

/// Escapes size bytes as pieces joined by literal_join into out (room for
/// literal_text_size(size) characters); returns the characters written.
size_t encode_literal_pieces(const uint8_t* bytes, size_t size, char* out);

/// The most characters encode_literal_pieces writes for size bytes.
inline constexpr size_t literal_text_size(size_t size) {
  return size * 4 + (size / literal_piece_bytes + 1) * 5 + 1;
}
