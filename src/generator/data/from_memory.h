#pragma once
// A data array whose bytes are in memory rather than in h_src: the
// precompressed variants, written in the same form as a file's own array.
#include <cstdint>
#include <string>

#include "context/builder_context.h"

/// What arrays made from memory add to the output: text for the target and,
/// in the incbin form, bytes for the binary file.
struct memory_arrays {
  std::string text;
  std::string binary;
};

/// Adds the array name of size bytes to out in the run's data form:
/// "uint64_t name[words] = { ... };" (the last word padded with zeros), a
/// binding to bytes of the binary file, or literal pieces. True, or false
/// after printing what failed.
bool write_data_array_from_memory(builder_context& context, memory_arrays& out, const char* name, const uint8_t* bytes,
                                  uint64_t size);

/// Writes what out holds, in one write per file: the binary file's bytes
/// first, so that a target never names bytes that the binary file lacks.
/// Then empties out (keeping its memory). False when a write failed (a
/// failed write of the binary file prints its message).
bool write_memory_arrays(builder_context& context, memory_arrays& out);
