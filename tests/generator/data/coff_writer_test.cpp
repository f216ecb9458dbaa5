// The COFF writer's object read back by a reader of COFF object files:
// what a linker reads of the file header, the section header (its name
// through the string table), the symbol table and each array's bytes.
#include <gtest/gtest.h>

#include <cstdlib>

#include "generator/data/object_test_model.h"

namespace {

constexpr uint64_t file_header_bytes = 20, symbol_bytes = 18;
constexpr uint64_t file_relocs_stripped = 0x0001, file_executable_image = 0x0002, file_dll = 0x2000;
constexpr uint64_t scn_cnt_code = 0x20, scn_cnt_initialized_data = 0x40;
constexpr uint64_t scn_mem_execute = 0x20000000, scn_mem_read = 0x40000000, scn_mem_write = 0x80000000;
constexpr uint64_t scn_align_8bytes = 4;  // the alignment field's value: 2 to its value less one
constexpr uint64_t sym_class_external = 2;

// A name of 8 bytes or fewer is held in place (a section's padded with
// zeros); a longer one is in the string table, which a section names by
// "/" and its offset in decimal and a symbol by four zeros and its offset.
std::string coff_name(const file_reader& in, uint64_t at, uint64_t strings, bool section) {
  std::string name = in.text(at, 8);
  uint64_t offset = 0;
  if (section && name.size() > 1 && name[0] == '/')
    offset = std::strtoull(name.c_str() + 1, nullptr, 10);
  else if (!section && in.u32(at) == 0)
    offset = in.u32(at + 4);
  else
    return name;
  EXPECT_GE(offset, 4u) << "a name in the string table lies behind its length";
  EXPECT_LT(offset, in.u32(strings)) << "a name lies past the string table";
  return in.text(strings + offset, in.u32(strings) - offset);
}

class CoffWriter : public testing::TestWithParam<object_machine> {};

TEST_P(CoffWriter, ObjectReadsBackWithEachArrayAtItsSymbol) {
  std::vector<sample_array> arrays = sample_arrays();
  std::vector<uint8_t> file = write_object(GetParam().format, arrays);
  file_reader in{file};

  EXPECT_EQ(in.u16(0), GetParam().machine);
  ASSERT_EQ(in.u16(2), 1u) << "sections";
  uint64_t symbols_at = in.u32(8), symbol_count = in.u32(12);
  ASSERT_EQ(in.u16(16), 0u) << "an object has no optional header";
  EXPECT_EQ(in.u16(18) & (file_relocs_stripped | file_executable_image | file_dll), 0u) << "an object, not an image";

  // The string table follows the symbols and ends the file.
  uint64_t strings = symbols_at + symbol_count * symbol_bytes;
  EXPECT_EQ(strings + in.u32(strings), file.size());

  uint64_t section = file_header_bytes;
  EXPECT_EQ(coff_name(in, section, strings, true), ".rdata$vex_res");
  uint64_t flags = in.u32(section + 36);
  EXPECT_EQ(flags & (scn_cnt_initialized_data | scn_mem_read), scn_cnt_initialized_data | scn_mem_read);
  EXPECT_EQ(flags & (scn_cnt_code | scn_mem_execute | scn_mem_write), 0u) << "read-only, not code";
  EXPECT_EQ(flags >> 20 & 0xf, scn_align_8bytes);
  EXPECT_EQ(in.u16(section + 32), 0u) << "relocations";

  std::map<std::string, read_symbol> symbols;
  for (uint64_t i = 0; i < symbol_count; ++i) {
    uint64_t at = symbols_at + i * symbol_bytes;
    EXPECT_EQ(in.u16(at + 12), 1u) << "symbol " << i << " in the section";
    EXPECT_EQ(in.field(at + 16, 1), sym_class_external) << "symbol " << i;
    i += in.field(at + 17, 1);  // auxiliary records
    symbols[coff_name(in, at, strings, false)] = {in.u32(at + 8), std::nullopt};
  }
  expect_arrays_at_symbols(in.bytes(in.u32(section + 20), in.u32(section + 16)), symbols, arrays, "");
}

INSTANTIATE_TEST_SUITE_P(Machines, CoffWriter,
                         testing::Values(object_machine{object_format::coff_x86_64, 0x8664, 0, "amd64"},
                                         object_machine{object_format::coff_arm64, 0xaa64, 0, "arm64"}),
                         machine_name);

}  // namespace
