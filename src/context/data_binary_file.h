#pragma once
// The binary file of the incbin form (DST.bin beside the target): every
// embedded file's bytes, each zero-padded to a multiple of 8, in walk order.
#include <cstdint>

#include "io/file_handle.h"

struct data_binary_file {
  file_handle file;
  /// Bytes written so far: the offset of the next file's bytes.
  uint64_t size;
  /// The file's own name (no directory) as the body of an assembler string
  /// inside a C++ string literal; the build tells the assembler where it is.
  char name_literal[1024];
};
