// The Mach-O writer's object read back by a reader of 64-bit Mach-O
// objects: what a linker reads of the header, the load commands (segment
// and section, build version, symbol tables), the symbols and each
// array's bytes.
#include <gtest/gtest.h>

#include "generator/data/object_test_model.h"

namespace {

constexpr uint64_t mh_magic_64 = 0xfeedfacf, mh_object = 1;
constexpr uint64_t lc_symtab = 0x2, lc_dysymtab = 0xb, lc_segment_64 = 0x19, lc_build_version = 0x32;
constexpr uint64_t platform_macos = 1;
constexpr uint64_t n_stab = 0xe0, n_pext = 0x10, n_type = 0x0e, n_sect = 0x0e, n_ext = 0x01;
constexpr uint64_t header_bytes = 32, segment_bytes = 72, section_bytes = 80, nlist_bytes = 16;

// The offset of each load command by its kind; a kind met twice fails.
std::map<uint64_t, uint64_t> read_commands(const file_reader& in) {
  std::map<uint64_t, uint64_t> commands;
  uint64_t at = header_bytes, end = header_bytes + in.u32(20);
  for (uint64_t i = 0, count = in.u32(16); i < count; ++i) {
    uint64_t kind = in.u32(at), size = in.u32(at + 4);
    EXPECT_TRUE(commands.emplace(kind, at).second) << "command " << kind << " twice";
    EXPECT_EQ(size % 8, 0u) << "command " << kind << " keeps the next aligned";
    if (size < 8) {
      ADD_FAILURE() << "command " << kind << " of " << size << " bytes";
      break;
    }
    at += size;
  }
  EXPECT_EQ(at, end) << "the commands fill the space the header gives them";
  return commands;
}

class MachoWriter : public testing::TestWithParam<object_machine> {};

TEST_P(MachoWriter, ObjectReadsBackWithEachArrayAtItsSymbol) {
  std::vector<sample_array> arrays = sample_arrays();
  std::vector<uint8_t> file = write_object(GetParam().format, arrays);
  file_reader in{file};

  EXPECT_EQ(in.u32(0), mh_magic_64);
  EXPECT_EQ(in.u32(4), GetParam().machine);
  EXPECT_EQ(in.u32(8), GetParam().subtype);
  EXPECT_EQ(in.u32(12), mh_object);
  std::map<uint64_t, uint64_t> commands = read_commands(in);
  for (uint64_t kind : {lc_segment_64, lc_build_version, lc_symtab, lc_dysymtab})
    ASSERT_EQ(commands.count(kind), 1u) << "command " << kind;

  // One segment holding one section, __TEXT,__const, its data at its offset.
  uint64_t segment = commands[lc_segment_64], section = segment + segment_bytes;
  ASSERT_EQ(in.u32(segment + 64), 1u) << "sections";
  EXPECT_EQ(in.u32(segment + 4), segment_bytes + section_bytes);
  EXPECT_EQ(in.text(section, 16), "__const");
  EXPECT_EQ(in.text(section + 16, 16), "__TEXT");
  uint64_t address = in.u64(section + 32), size = in.u64(section + 40), offset = in.u32(section + 48);
  EXPECT_EQ(in.u32(section + 52), 3u) << "aligned to 2^3";
  EXPECT_EQ(in.u32(section + 60), 0u) << "relocations";
  EXPECT_EQ(in.u64(segment + 40), offset) << "the segment's file offset";
  EXPECT_EQ(in.u64(segment + 48), size) << "the segment's size in the file";
  EXPECT_GE(in.u64(segment + 32), size) << "the segment's size in memory";

  EXPECT_EQ(in.u32(commands[lc_build_version] + 8), platform_macos);

  uint64_t symtab = commands[lc_symtab];
  uint64_t symbols_at = in.u32(symtab + 8), symbol_count = in.u32(symtab + 12);
  uint64_t strings = in.u32(symtab + 16), strings_size = in.u32(symtab + 20);
  EXPECT_LE(strings + strings_size, file.size());
  // Every symbol is an external definition: no locals, none undefined.
  uint64_t dysymtab = commands[lc_dysymtab];
  EXPECT_EQ(in.u32(dysymtab + 12), 0u) << "local symbols";
  EXPECT_EQ(in.u32(dysymtab + 16), 0u) << "first external definition";
  EXPECT_EQ(in.u32(dysymtab + 20), symbol_count) << "external definitions";
  EXPECT_EQ(in.u32(dysymtab + 28), 0u) << "undefined symbols";

  std::map<std::string, read_symbol> symbols;
  for (uint64_t i = 0; i < symbol_count; ++i) {
    uint64_t at = symbols_at + i * nlist_bytes, name = in.u32(at), type = in.field(at + 4, 1);
    EXPECT_EQ(type & n_stab, 0u) << "symbol " << i;
    EXPECT_EQ(type & n_type, n_sect) << "symbol " << i;
    EXPECT_EQ(type & (n_ext | n_pext), n_ext | n_pext) << "symbol " << i << ": global in the link, not exported";
    EXPECT_EQ(in.field(at + 5, 1), 1u) << "symbol " << i << " in the section";
    ASSERT_LT(name, strings_size) << "symbol " << i;
    // A value is an address; the section's bytes start at its address.
    symbols[in.text(strings + name, strings_size - name)] = {in.u64(at + 8) - address, std::nullopt};
  }
  expect_arrays_at_symbols(in.bytes(offset, size), symbols, arrays, "_");
}

INSTANTIATE_TEST_SUITE_P(Machines, MachoWriter,
                         testing::Values(object_machine{object_format::macho_x86_64, 0x01000007, 3, "x86_64"},
                                         object_machine{object_format::macho_arm64, 0x0100000c, 0, "arm64"}),
                         machine_name);

}  // namespace
