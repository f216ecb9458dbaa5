// 64-bit Mach-O objects (MH_OBJECT) for x86-64 and arm64: the data in
// __TEXT,__const aligned to 2^3, one private external symbol per data
// array (global within the link, not exported from a dylib; named with the
// underscore that C names carry there), LC_BUILD_VERSION for macOS, which
// the linker checks, and LC_DYSYMTAB, which it expects beside LC_SYMTAB.
// Offsets are 32-bit.
#include <cstring>

#include "generator/data/object_model.h"

namespace {

constexpr uint32_t mach_header_bytes = 32;
constexpr uint32_t segment_command_bytes = 72;
constexpr uint32_t section_bytes = 80;
constexpr uint32_t build_version_bytes = 24;
constexpr uint32_t symtab_command_bytes = 24;
constexpr uint32_t dysymtab_command_bytes = 80;
constexpr uint32_t command_bytes =
    segment_command_bytes + section_bytes + build_version_bytes + symtab_command_bytes + dysymtab_command_bytes;
constexpr uint32_t header_bytes = mach_header_bytes + command_bytes;
constexpr uint32_t symbol_bytes = 16;

constexpr uint32_t mh_magic_64 = 0xfeedfacf;
constexpr uint32_t cpu_type_x86_64 = 0x01000007;
constexpr uint32_t cpu_subtype_x86_64_all = 3;
constexpr uint32_t cpu_type_arm64 = 0x0100000c;
constexpr uint32_t cpu_subtype_arm64_all = 0;
constexpr uint32_t mh_object = 1;
constexpr uint32_t lc_symtab = 0x2;
constexpr uint32_t lc_dysymtab = 0xb;
constexpr uint32_t lc_segment_64 = 0x19;
constexpr uint32_t lc_build_version = 0x32;
constexpr uint32_t platform_macos = 1;
constexpr uint32_t vm_prot_all = 7;
constexpr uint32_t data_alignment_log2 = 3;
// N_SECT | N_EXT | N_PEXT: defined in a section, external, private.
constexpr uint8_t private_external_in_section = 0x0e | 0x01 | 0x10;

// The oldest macOS of each architecture, so that no deployment target is
// older than the object (versions as 0xMMMMmmpp).
constexpr uint32_t macos_10_9 = 0x000a0900;
constexpr uint32_t macos_11_0 = 0x000b0000;

void put_name16(uint8_t* at, const char* name) {
  memset(at, 0, 16);
  memcpy(at, name, strlen(name));
}

size_t strings_head(const object_layout&, uint8_t* out) {
  out[0] = 0;  // index 0 means no name
  return 1;
}

void encode_symbol(const object_layout&, const object_symbol& symbol, uint64_t name_index, uint8_t* out) {
  put32(out, name_index);
  out[4] = private_external_in_section;
  out[5] = 1;  // the section, numbered from 1
  put16(out + 6, 0);
  put64(out + 8, symbol.value);  // the section's address is 0
}

size_t trailer(const object_layout&, uint8_t*) { return 0; }

void header(const object_layout& layout, uint8_t* out) {
  bool arm64 = layout.format == object_format::macho_arm64;
  memset(out, 0, header_bytes);
  put32(out, mh_magic_64);
  put32(out + 4, arm64 ? cpu_type_arm64 : cpu_type_x86_64);
  put32(out + 8, arm64 ? cpu_subtype_arm64_all : cpu_subtype_x86_64_all);
  put32(out + 12, mh_object);
  put32(out + 16, 4);  // load commands
  put32(out + 20, command_bytes);

  // One unnamed segment holding the one section, as objects have it.
  uint8_t* segment = out + mach_header_bytes;
  put32(segment, lc_segment_64);
  put32(segment + 4, segment_command_bytes + section_bytes);
  put64(segment + 32, layout.data_size);  // size in memory
  put64(segment + 40, layout.data_at);
  put64(segment + 48, layout.data_size);  // size in the file
  put32(segment + 56, vm_prot_all);
  put32(segment + 60, vm_prot_all);
  put32(segment + 64, 1);  // sections
  uint8_t* section = segment + segment_command_bytes;
  put_name16(section, "__const");
  put_name16(section + 16, "__TEXT");
  put64(section + 40, layout.data_size);
  put32(section + 48, layout.data_at);
  put32(section + 52, data_alignment_log2);

  uint8_t* build = section + section_bytes;
  uint32_t version = arm64 ? macos_11_0 : macos_10_9;
  put32(build, lc_build_version);
  put32(build + 4, build_version_bytes);
  put32(build + 8, platform_macos);
  put32(build + 12, version);  // minimum
  put32(build + 16, version);  // SDK
  put32(build + 20, 0);        // tools

  uint8_t* symtab = build + build_version_bytes;
  put32(symtab, lc_symtab);
  put32(symtab + 4, symtab_command_bytes);
  put32(symtab + 8, layout.symbols_at);
  put32(symtab + 12, layout.symbol_count);
  put32(symtab + 16, layout.strings_at);
  put32(symtab + 20, layout.strings_size);

  // Every symbol is an external definition; there are no locals and no
  // undefined ones.
  uint8_t* dysymtab = symtab + symtab_command_bytes;
  put32(dysymtab, lc_dysymtab);
  put32(dysymtab + 4, dysymtab_command_bytes);
  put32(dysymtab + 16, 0);  // first external definition
  put32(dysymtab + 20, layout.symbol_count);
  put32(dysymtab + 24, layout.symbol_count);  // first undefined symbol
}

}  // namespace

const object_writer macho_writer = {.header_size = header_bytes,
                                    .symbol_size = symbol_bytes,
                                    .null_symbols = 0,
                                    .string_alignment = 8,
                                    .underscore = true,
                                    // External symbols in the byte order of their names, as the
                                    // linker expects them.
                                    .sorted_names = true,
                                    .file_limit = 0xffffffff,
                                    .page_arrays = false,
                                    .strings_head = strings_head,
                                    .encode_symbol = encode_symbol,
                                    .trailer = trailer,
                                    .header = header};
