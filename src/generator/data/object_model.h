#pragma once
// The one model of the object file that the object form writes, shared by
// the writers of its three file formats (elf_writer.cpp, coff_writer.cpp,
// macho_writer.cpp). An object holds one read-only data section, 8-byte
// aligned (in ELF, 4 KiB aligned when it holds an array of a page of its
// own), and one global symbol per data array, and is laid out as
//
//   header | data section | symbol table | string table | trailer
//
// so that it is written in one pass: room for a header of fixed size is
// left, the data stream in, the tables follow, and the header is written
// last, when every offset is known. A writer only encodes; object.cpp does
// the reading and writing.
#include <cstddef>
#include <cstdint>

#include "generator/data/data_form.h"

/// One symbol as the symbols part holds it while the data are written.
struct object_symbol {
  uint64_t value;        ///< offset of its bytes in the data section
  uint64_t size;         ///< its bytes, the padding to 8 included
  uint64_t name_offset;  ///< of its "_name\0" in the names part
};

/// Where everything lies in the object once the data are written.
struct object_layout {
  object_format format;
  uint64_t data_size;     ///< a multiple of 8
  uint64_t data_alignment;  ///< of the data section: 8, or page_size where an array starts a page
  uint64_t symbol_count;  ///< the data arrays' symbols
  uint64_t name_bytes;    ///< of the names part
  uint64_t data_at;       ///< offsets in the file
  uint64_t symbols_at;
  uint64_t strings_at;
  uint64_t strings_size;  ///< head, names and padding
  uint64_t trailer_at;
};

/// The most bytes a writer's header, string table head or trailer takes.
inline constexpr size_t object_piece_capacity = 1024;

/// What the writer of one file format knows and makes.
struct object_writer {
  /// Bytes of the header in front of the data section.
  uint32_t header_size;
  /// Bytes of one symbol table entry, and how many zero entries lead the table.
  uint32_t symbol_size;
  uint32_t null_symbols;
  /// The string table's length is rounded up to a multiple of this.
  uint32_t string_alignment;
  /// True where a symbol is named as C names it, with an underscore in front.
  bool underscore;
  /// True where the linker wants the symbols in the byte order of their names.
  bool sorted_names;
  /// The largest file whose offsets the format can hold.
  uint64_t file_limit;
  /// True where arrays from page_array_size on (binary_stream.h) start a
  /// page of their own: an ELF program is what a Linux server sends from
  /// with sendfile (vex_resource_builder/program_file.h), and whole pages
  /// cost the system up to half as much to send as bytes that start inside
  /// a page.
  bool page_arrays;
  /// The string table's bytes in front of the names, into out; their length.
  size_t (*strings_head)(const object_layout& layout, uint8_t* out);
  /// The symbol table entry of symbol, whose name is at name_index in the string table.
  void (*encode_symbol)(const object_layout& layout, const object_symbol& symbol, uint64_t name_index,
                        uint8_t* out);
  /// The bytes after the string table, into out; their length.
  size_t (*trailer)(const object_layout& layout, uint8_t* out);
  /// The header, header_size bytes into out.
  void (*header)(const object_layout& layout, uint8_t* out);
};

extern const object_writer elf_writer;
extern const object_writer coff_writer;
extern const object_writer macho_writer;

/// The writer of format's file format.
const object_writer& writer_for(object_format format);

/// Data beyond this size go to a large data section (.lrodata, flagged
/// SHF_X86_64_LARGE) in an ELF x86-64 object. Code of the small code model
/// reaches 2 GiB, within which the linker keeps the program's own code and
/// data and leaves the large sections outside; 1 GiB of data in the small
/// span leaves the program 1 GiB of its own, while smaller objects keep
/// the .rodata section that every linker places alike.
inline constexpr uint64_t large_data_threshold = uint64_t{1} << 30;

/// The most data bytes an object of format may hold for the program that
/// links it to reach them with its machine's default code model: x86-64
/// code reaches 2 GiB through its 32-bit PC-relative addresses; AArch64
/// code reaches 4 GiB through ADRP, but its unwind tables point at the code
/// with 32-bit PC-relative offsets across the data, which GNU ld places
/// between them, so 2 GiB there too. The program's own code and data must
/// fit in that span (256 MiB is left to them). Unlimited for ELF x86-64,
/// whose large data section lies outside that span.
uint64_t data_reach(object_format format);

/// Places the tables behind the data of model, whose format, data_size,
/// symbol_count and name_bytes are set, and fills in the other offsets; the
/// string table's head goes into head (object_piece_capacity bytes), its
/// length into head_length.
object_layout plan_object_layout(const object_layout& model, uint8_t* head, size_t& head_length);

/// What messages call the format's files ("ELF", "COFF", "Mach-O").
const wchar_t* object_format_family(object_format format);

/// What messages call the object file: "DST.data.obj" for COFF, else "DST.data.o".
const wchar_t* object_label(object_format format);

// Little-endian fields, as every format here stores them.
inline void put16(uint8_t* at, uint64_t value) {
  for (int i = 0; i < 2; ++i) at[i] = static_cast<uint8_t>(value >> (8 * i));
}
inline void put32(uint8_t* at, uint64_t value) {
  for (int i = 0; i < 4; ++i) at[i] = static_cast<uint8_t>(value >> (8 * i));
}
inline void put64(uint8_t* at, uint64_t value) {
  for (int i = 0; i < 8; ++i) at[i] = static_cast<uint8_t>(value >> (8 * i));
}
