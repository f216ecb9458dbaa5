// The ELF writer's object read back by a reader of ELF64 little-endian
// relocatable files: what a linker reads of the headers, the data
// section, the symbol table and each array's bytes.
#include <gtest/gtest.h>

#include "generator/data/object_model.h"
#include "generator/data/object_test_model.h"

namespace {

struct elf_section {
  uint64_t name_index;
  std::string name;
  uint64_t type, flags, offset, size, link, info, alignment, entry_size;
};

constexpr uint64_t sht_progbits = 1, sht_symtab = 2, sht_strtab = 3;
constexpr uint64_t shf_write = 1, shf_alloc = 2, shf_execinstr = 4;
constexpr uint64_t stb_local = 0, stb_global = 1, stt_object = 1, stv_hidden = 2;

// The section headers, named through the section name table.
std::vector<elf_section> read_sections(const file_reader& in) {
  uint64_t table = in.u64(40), count = in.u16(60), names_index = in.u16(62);
  EXPECT_EQ(in.u16(58), 64u) << "section header size";
  std::vector<elf_section> sections;
  for (uint64_t i = 0; i < count; ++i) {
    uint64_t at = table + i * 64;
    sections.push_back({in.u32(at), "", in.u32(at + 4), in.u64(at + 8), in.u64(at + 24), in.u64(at + 32),
                        in.u32(at + 40), in.u32(at + 44), in.u64(at + 48), in.u64(at + 56)});
  }
  if (names_index >= sections.size()) {
    ADD_FAILURE() << "no section name table at " << names_index;
    return sections;
  }
  const elf_section& names = sections[names_index];
  EXPECT_EQ(names.type, sht_strtab);
  for (elf_section& section : sections) {
    if (section.name_index < names.size)
      section.name = in.text(names.offset + section.name_index, names.size - section.name_index);
    else
      ADD_FAILURE() << "a section name at " << section.name_index << " lies past the table";
  }
  return sections;
}

size_t find_section(const std::vector<elf_section>& sections, const std::string& name) {
  for (size_t i = 0; i < sections.size(); ++i)
    if (sections[i].name == name) return i;
  ADD_FAILURE() << "no section " << name;
  return 0;
}

class ElfWriter : public testing::TestWithParam<object_machine> {};

TEST_P(ElfWriter, ObjectReadsBackWithEachArrayAtItsSymbol) {
  std::vector<sample_array> arrays = sample_arrays();
  std::vector<uint8_t> file = write_object(GetParam().format, arrays);
  file_reader in{file};

  EXPECT_EQ(in.bytes(0, 8), (std::vector<uint8_t>{0x7f, 'E', 'L', 'F', 2 /* 64-bit */, 1 /* little-endian */,
                                                    1 /* version */, 0 /* System V */}));
  EXPECT_EQ(in.u16(16), 1u) << "relocatable";
  EXPECT_EQ(in.u16(18), GetParam().machine);
  EXPECT_EQ(in.u32(48), 0u) << "flags";

  std::vector<elf_section> sections = read_sections(in);
  ASSERT_EQ(sections.size(), 6u) << "null, data, note, symbols, their names, section names";

  size_t data_index = find_section(sections, ".rodata.vex_res");
  const elf_section& data = sections[data_index];
  EXPECT_EQ(data.type, sht_progbits);
  EXPECT_EQ(data.flags, shf_alloc) << "read-only, not code";
  EXPECT_EQ(data.alignment, 8u);
  const elf_section& note = sections[find_section(sections, ".note.GNU-stack")];
  EXPECT_EQ(note.flags & (shf_write | shf_execinstr), 0u) << "no executable stack";
  EXPECT_EQ(note.size, 0u);

  // Every symbol before info is local, every one from it global.
  const elf_section& symtab = sections[find_section(sections, ".symtab")];
  EXPECT_EQ(symtab.type, sht_symtab);
  ASSERT_EQ(symtab.entry_size, 24u);
  ASSERT_LT(symtab.link, sections.size());
  const elf_section& strings = sections[symtab.link];
  EXPECT_EQ(strings.type, sht_strtab);
  EXPECT_EQ(in.bytes(symtab.offset, 24), std::vector<uint8_t>(24)) << "the null symbol";
  EXPECT_GE(symtab.info, 1u) << "the null symbol is local";
  std::map<std::string, read_symbol> symbols;
  for (uint64_t i = 1; i < symtab.size / 24; ++i) {
    uint64_t at = symtab.offset + i * 24, name = in.u32(at), info = in.field(at + 4, 1);
    EXPECT_EQ(info >> 4, i < symtab.info ? stb_local : stb_global) << "symbol " << i;
    EXPECT_EQ(info & 0xf, stt_object) << "symbol " << i;
    EXPECT_EQ(in.field(at + 5, 1) & 3, stv_hidden) << "symbol " << i;
    EXPECT_EQ(in.u16(at + 6), data_index) << "symbol " << i;
    ASSERT_LT(name, strings.size) << "symbol " << i;
    symbols[in.text(strings.offset + name, strings.size - name)] = {in.u64(at + 8), in.u64(at + 16)};
  }
  expect_arrays_at_symbols(in.bytes(data.offset, data.size), symbols, arrays, "");
}

// Past large_data_threshold the data of an x86-64 object go to the large
// data section, which linkers place outside the small code model's reach;
// AArch64 has none. Only the trailer (names and section headers) is read:
// no gigabytes are made.
TEST(ElfWriterLargeData, X86_64DataPastTheThresholdGoToLrodata) {
  for (object_format format : {object_format::elf_x86_64, object_format::elf_arm64}) {
    for (uint64_t data_size : {large_data_threshold, large_data_threshold + 8}) {
      object_layout model{};
      model.format = format;
      model.data_size = data_size;
      uint8_t head[object_piece_capacity];
      size_t head_length = 0;
      object_layout layout = plan_object_layout(model, head, head_length);
      std::vector<uint8_t> file(object_piece_capacity);
      file.resize(elf_writer.trailer(layout, file.data()));
      std::vector<uint8_t> header(64);
      elf_writer.header(layout, header.data());
      file_reader trailer{file}, head_in{header};
      uint64_t data_header = head_in.u64(40) - layout.trailer_at + 64;  // the section after the null one
      bool large = format == object_format::elf_x86_64 && data_size > large_data_threshold;
      EXPECT_EQ(trailer.text(trailer.u32(data_header)), large ? ".lrodata.vex_res" : ".rodata.vex_res") << data_size;
      EXPECT_EQ(trailer.u64(data_header + 8), large ? shf_alloc | 0x10000000 /* SHF_X86_64_LARGE */ : shf_alloc);
      EXPECT_EQ(trailer.u64(data_header + 32), data_size);
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Machines, ElfWriter,
                         testing::Values(object_machine{object_format::elf_x86_64, 62, 0, "x86_64"},
                                         object_machine{object_format::elf_arm64, 183, 0, "aarch64"}),
                         machine_name);

}  // namespace
