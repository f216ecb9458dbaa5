// ELF64 little-endian relocatable objects for x86-64 and AArch64: the data
// in .rodata.vex_res, one hidden global object symbol per data array with
// its size, and an empty .note.GNU-stack so that linking the object does
// not ask for an executable stack. The section headers are the trailer.
// On x86-64, data beyond large_data_threshold go to .lrodata.vex_res
// instead, flagged SHF_X86_64_LARGE: the linker places it outside the 2 GiB
// that the small code model reaches, so that the program still links.
#include <cstring>

#include "generator/data/object_model.h"

namespace {

constexpr uint32_t header_bytes = 64;
constexpr uint32_t section_header_bytes = 64;
constexpr uint32_t symbol_bytes = 24;

constexpr uint16_t et_rel = 1;
constexpr uint16_t em_x86_64 = 62;
constexpr uint16_t em_aarch64 = 183;
constexpr uint32_t sht_progbits = 1;
constexpr uint32_t sht_symtab = 2;
constexpr uint32_t sht_strtab = 3;
constexpr uint64_t shf_alloc = 2;
constexpr uint64_t shf_x86_64_large = 0x10000000;
constexpr uint8_t stb_global_stt_object = 0x11;
constexpr uint8_t stv_hidden = 2;

// The section names, each after the terminator of the one before; the
// data's name is the first.
struct section_name_table {
  const char* text;
  uint32_t size;  // with the last terminator
  uint64_t data_flags;
};
constexpr char small_names[] = "\0.rodata.vex_res\0.note.GNU-stack\0.symtab\0.strtab\0.shstrtab";
constexpr char large_names[] = "\0.lrodata.vex_res\0.note.GNU-stack\0.symtab\0.strtab\0.shstrtab";
constexpr section_name_table small_table{small_names, sizeof small_names, shf_alloc};
constexpr section_name_table large_table{large_names, sizeof large_names, shf_alloc | shf_x86_64_large};

const section_name_table& names_of(const object_layout& layout) {
  bool large = layout.format == object_format::elf_x86_64 && layout.data_size > large_data_threshold;
  return large ? large_table : small_table;
}

// Where each name starts, after the data's.
struct section_name_offsets {
  uint32_t data, note, symtab, strtab, shstrtab;
};
section_name_offsets name_offsets(const section_name_table& names) {
  section_name_offsets at{};
  at.data = 1;
  at.note = at.data + static_cast<uint32_t>(strlen(names.text + at.data)) + 1;
  at.symtab = at.note + sizeof ".note.GNU-stack";
  at.strtab = at.symtab + sizeof ".symtab";
  at.shstrtab = at.strtab + sizeof ".strtab";
  return at;
}

// The sections by index; the first is the null section.
enum section_index : uint16_t { null_section, data_section, note_section, symtab_section, strtab_section,
                                shstrtab_section, section_count };

// The section headers follow the section names, 8-byte aligned.
uint64_t section_headers_at(const object_layout& layout) {
  return (layout.trailer_at + names_of(layout).size + 7) & ~uint64_t{7};
}

struct section_header {
  uint32_t name, type;
  uint64_t flags, offset, size;
  uint32_t link, info;
  uint64_t alignment, entry_size;
};

void put_section_header(uint8_t* at, const section_header& s) {
  put32(at, s.name);
  put32(at + 4, s.type);
  put64(at + 8, s.flags);
  put64(at + 16, 0);  // address
  put64(at + 24, s.offset);
  put64(at + 32, s.size);
  put32(at + 40, s.link);
  put32(at + 44, s.info);
  put64(at + 48, s.alignment);
  put64(at + 56, s.entry_size);
}

size_t strings_head(const object_layout&, uint8_t* out) {
  out[0] = 0;  // index 0 is the empty name
  return 1;
}

void encode_symbol(const object_layout&, const object_symbol& symbol, uint64_t name_index, uint8_t* out) {
  put32(out, name_index);
  out[4] = stb_global_stt_object;
  out[5] = stv_hidden;
  put16(out + 6, data_section);
  put64(out + 8, symbol.value);
  put64(out + 16, symbol.size);
}

size_t trailer(const object_layout& layout, uint8_t* out) {
  const section_name_table& names = names_of(layout);
  section_name_offsets at = name_offsets(names);
  uint64_t headers_at = section_headers_at(layout);
  size_t names_end = names.size;
  size_t headers = static_cast<size_t>(headers_at - layout.trailer_at);
  memcpy(out, names.text, names_end);
  memset(out + names_end, 0, headers - names_end);
  uint64_t symtab_size = (layout.symbol_count + 1) * symbol_bytes;
  const section_header sections[section_count] = {
      {},
      {at.data, sht_progbits, names.data_flags, layout.data_at, layout.data_size, 0, 0, layout.data_alignment, 0},
      {at.note, sht_progbits, 0, layout.symbols_at, 0, 0, 0, 1, 0},
      // Every symbol after the null one is global: info names the first.
      {at.symtab, sht_symtab, 0, layout.symbols_at, symtab_size, strtab_section, 1, 8, symbol_bytes},
      {at.strtab, sht_strtab, 0, layout.strings_at, layout.strings_size, 0, 0, 1, 0},
      {at.shstrtab, sht_strtab, 0, layout.trailer_at, names.size, 0, 0, 1, 0},
  };
  for (const section_header& section : sections) {
    put_section_header(out + headers, section);
    headers += section_header_bytes;
  }
  return headers;
}

void header(const object_layout& layout, uint8_t* out) {
  static constexpr uint8_t identification[16] = {0x7f, 'E', 'L', 'F', 2 /* 64-bit */, 1 /* little-endian */,
                                                 1 /* version */};
  memset(out, 0, header_bytes);
  memcpy(out, identification, sizeof identification);
  put16(out + 16, et_rel);
  put16(out + 18, layout.format == object_format::elf_arm64 ? em_aarch64 : em_x86_64);
  put32(out + 20, 1);  // version
  put64(out + 40, section_headers_at(layout));
  put16(out + 52, header_bytes);
  put16(out + 58, section_header_bytes);
  put16(out + 60, section_count);
  put16(out + 62, shstrtab_section);
}

}  // namespace

const object_writer elf_writer = {.header_size = header_bytes,
                                  .symbol_size = symbol_bytes,
                                  .null_symbols = 1,
                                  .string_alignment = 1,
                                  .underscore = false,
                                  .sorted_names = false,
                                  .file_limit = ~uint64_t{0},
                                  .page_arrays = true,
                                  .strings_head = strings_head,
                                  .encode_symbol = encode_symbol,
                                  .trailer = trailer,
                                  .header = header};
