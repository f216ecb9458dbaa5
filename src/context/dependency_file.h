#pragma once
// The state of the optional dependency file: the file and the buffers in
// which its paths are made, taken once when the switch asks for it.
#include <cstddef>
#include <cstdint>

#include "io/file_handle.h"

struct dependency_file {
  file_handle file;
  uint8_t* block;          // the three buffers below, taken at start-up
  uint64_t block_size;
  wchar_t* prefix;         // the current directory seen from the start directory, "" or ending in '/'
  size_t prefix_length;
  char* scratch;           // UTF-8 of one path
  size_t scratch_capacity;
  char* line;              // one escaped line of the rule
  size_t line_capacity;
};

/// Characters of the directory prefix (the size of the tool's wide path buffers).
inline constexpr size_t dependency_prefix_characters = 0x20000 / sizeof(wchar_t);

/// Takes the buffers; false (after a message) when there is no memory.
bool reserve_dependency_file(dependency_file& deps);
/// Closes the file and gives the buffers back.
void release_dependency_file(dependency_file& deps);
