#pragma once
// A data array whose bytes are in memory rather than in h_src: the
// precompressed variants, written in the same form as a file's own array.
#include <cstdint>
#include <string>

#include "context/builder_context.h"

/// Appends the array name of size bytes to text in the run's data form:
/// "uint64_t name[words] = { ... };" (the last word padded with zeros), a
/// binding into the binary file (which receives the bytes now), or literal
/// pieces. True, or false after printing what failed.
bool write_data_array_from_memory(builder_context& context, std::string& text, const char* name, const uint8_t* bytes,
                                  uint64_t size);
