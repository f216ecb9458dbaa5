#pragma once
// Data arrays whose bytes are in memory rather than in h_src: the
// precompressed variants, written in the same form as a file's own array
// and gathered before they are written, many at a time.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "context/builder_context.h"

class data_writer;

/// The object form's symbol of bytes in memory_arrays::binary, added to the
/// object once the bytes are written.
struct memory_symbol {
  uint64_t offset;  ///< in the object's data, where the bytes will lie
  uint64_t size;    ///< padded
  unsigned long long hash;
  std::string name;
};

/// What arrays made from memory add to the output: text for the target and,
/// in the incbin and object forms, bytes for the binary file or the object
/// (with the object's symbols for them).
struct memory_arrays {
  std::string text;
  std::string binary;
  std::vector<memory_symbol> symbols;

  /// How much each holds, so that a record that cannot be made whole can be
  /// taken back.
  struct mark {
    size_t text, binary, symbols;
  };
  mark here() const { return {text.size(), binary.size(), symbols.size()}; }
  void take_back(const mark& to) {
    text.resize(to.text);
    binary.resize(to.binary);
    symbols.resize(to.symbols);
  }
};

/// Writes what out holds: the bytes of the binary file or the object first
/// (then the object's symbols), through the form's writer, so that a target
/// never names bytes that are missing, then the text in one write. Empties
/// out (keeping its memory). False when a write failed (a failed write of
/// the binary file or the object prints its message).
bool write_memory_arrays(builder_context& context, data_writer& writer, memory_arrays& out);
