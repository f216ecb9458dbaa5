#pragma once
// What the tests of the three object writers share: a few data arrays, the
// whole object a writer makes of them (assembled in memory as object.cpp
// assembles it in the file), bounded little-endian reads for the readers
// of each file format, and the check that each array lies at its symbol.
#include <gtest/gtest.h>

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "generator/data/data_form.h"

/// A machine of a format family, as the tests take it: its number in the
/// file's header (and the subtype, where the format has one).
struct object_machine {
  object_format format;
  uint64_t machine, subtype;
  const char* name;
};

/// The machine's name, in a failure's message and in the test's name.
std::ostream& operator<<(std::ostream& out, const object_machine& machine);
inline std::string machine_name(const testing::TestParamInfo<object_machine>& info) { return info.param.name; }

/// One data array as the object form takes it: its C name and its bytes.
struct sample_array {
  std::string name;
  std::vector<uint8_t> bytes;
};

/// Arrays of different lengths: one not a multiple of 8, an empty one and
/// whole words. Their names are in byte order, which is the order of the
/// symbols where a format wants them sorted.
std::vector<sample_array> sample_arrays();

/// The object file that format's writer makes of arrays.
std::vector<uint8_t> write_object(object_format format, const std::vector<sample_array>& arrays);

/// Reads fields of a file; a read past its end fails the test and gives 0
/// (or an empty result), so that a reader never leaves the file.
struct file_reader {
  const std::vector<uint8_t>& file;

  uint64_t u16(uint64_t at) const { return field(at, 2); }
  uint64_t u32(uint64_t at) const { return field(at, 4); }
  uint64_t u64(uint64_t at) const { return field(at, 8); }
  uint64_t field(uint64_t at, int width) const;
  /// The text from at up to its terminating zero, or up to limit bytes
  /// when a fixed field holds it (which may then have no zero).
  std::string text(uint64_t at, uint64_t limit = UINT64_MAX) const;
  std::vector<uint8_t> bytes(uint64_t at, uint64_t size) const;
};

/// A symbol as a reader found it: its offset in the data section and the
/// size it declares, where the format declares one.
struct read_symbol {
  uint64_t offset;
  std::optional<uint64_t> size;
};

/// Checks that symbols (by name as read) are the arrays' names with
/// prefix, each array's bytes at its symbol, a declared size that of its
/// bytes padded to 8, zeros between arrays, and that section ends after the
/// last array's padding.
void expect_arrays_at_symbols(const std::vector<uint8_t>& section, const std::map<std::string, read_symbol>& symbols,
                              const std::vector<sample_array>& arrays, const std::string& prefix);
