// COFF objects for AMD64 and ARM64, as MSVC's linker and the GNU and LLVM
// linkers of Windows read them: the data in .rdata$vex_res (a grouped
// section, merged into .rdata; its name is longer than 8 bytes and so lives
// in the string table), read-only initialised data aligned to 8, and one
// external symbol per data array. COFF has no hidden symbols: a DLL exports
// only what it is told to. Offsets and sizes are 32-bit.
#include <cstring>

#include "generator/data/object_model.h"

namespace {

constexpr uint32_t file_header_bytes = 20;
constexpr uint32_t section_header_bytes = 40;
// Both headers, padded so that the data start 8-byte aligned.
constexpr uint32_t header_bytes = 64;
constexpr uint32_t symbol_bytes = 18;

constexpr uint16_t machine_amd64 = 0x8664;
constexpr uint16_t machine_arm64 = 0xaa64;
constexpr uint32_t scn_cnt_initialized_data = 0x00000040;
constexpr uint32_t scn_align_8bytes = 0x00400000;
constexpr uint32_t scn_mem_read = 0x40000000;
constexpr uint8_t sym_class_external = 2;

// The string table starts with its own length; the section's name follows.
constexpr char section_name[] = ".rdata$vex_res";
constexpr uint32_t section_name_index = 4;
// What the section header holds in place of the name: its index, in decimal.
constexpr char section_name_reference[8] = {'/', '4'};

size_t strings_head(const object_layout& layout, uint8_t* out) {
  put32(out, layout.strings_size);
  memcpy(out + section_name_index, section_name, sizeof section_name);
  return section_name_index + sizeof section_name;
}

void encode_symbol(const object_layout&, const object_symbol& symbol, uint64_t name_index, uint8_t* out) {
  // A long name: four zero bytes, then its index in the string table.
  put32(out, 0);
  put32(out + 4, name_index);
  put32(out + 8, symbol.value);
  put16(out + 12, 1);  // the section, numbered from 1
  put16(out + 14, 0);  // not a function
  out[16] = sym_class_external;
  out[17] = 0;  // no auxiliary records
}

size_t trailer(const object_layout&, uint8_t*) { return 0; }

void header(const object_layout& layout, uint8_t* out) {
  memset(out, 0, header_bytes);
  put16(out, layout.format == object_format::coff_arm64 ? machine_arm64 : machine_amd64);
  put16(out + 2, 1);  // sections
  put32(out + 4, 0);  // no time stamp, so that a tree always gives the same object
  put32(out + 8, layout.symbols_at);
  put32(out + 12, layout.symbol_count);
  uint8_t* section = out + file_header_bytes;
  memcpy(section, section_name_reference, sizeof section_name_reference);
  put32(section + 16, layout.data_size);
  put32(section + 20, layout.data_size > 0 ? layout.data_at : 0);
  put32(section + 36, scn_cnt_initialized_data | scn_align_8bytes | scn_mem_read);
  static_assert(file_header_bytes + section_header_bytes <= header_bytes);
}

}  // namespace

const object_writer coff_writer = {.header_size = header_bytes,
                                   .symbol_size = symbol_bytes,
                                   .null_symbols = 0,
                                   .string_alignment = 1,
                                   .underscore = false,
                                   .sorted_names = false,
                                   .file_limit = 0xffffffff,
                                   .page_arrays = false,
                                   .strings_head = strings_head,
                                   .encode_symbol = encode_symbol,
                                   .trailer = trailer,
                                   .header = header};
