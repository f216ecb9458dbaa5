#pragma once
// The object form's state besides its data (which goes through the
// context's data_binary_file): the format, and the symbol table, which
// grows in two temporary parts while the data section is written and is
// copied behind it at the end.
#include <cstdint>
#include <string>

#include "context/data_form.h"
#include "io/file_handle.h"

struct data_object_file {
  object_format format;
  /// DST.symbols.tmp: one fixed-size record per symbol (object_model.h).
  file_handle symbols;
  /// DST.names.tmp: every symbol's name as "_name\0", in symbol order.
  file_handle names;
  uint64_t symbol_count;
  uint64_t name_bytes;
  /// The object's names while it is written and once it is whole: made
  /// absolute when opened, since the run's directory changes (-d).
  std::wstring temporary_name;
  std::wstring final_name;
};
