#pragma once
// The file into which a fast form writes the embedded files' bytes, each
// zero-padded to a multiple of 8, in walk order: the incbin form's DST.bin
// beside the target, or the data section of the object form's DST.data.o.
#include <cstdint>

#include "io/file_handle.h"

struct data_binary_file {
  file_handle file;
  /// Bytes written so far: the offset of the next file's bytes.
  uint64_t size;
  /// What messages call the file: "DST.bin" or "DST.data.o".
  const wchar_t* label;
  /// The file's own name (no directory) for messages; in the incbin form
  /// also the body of an assembler string inside a C++ string literal, as
  /// the build tells the assembler where it is.
  char name_literal[1024];
};
