#include "generator/data/object.h"

#include <algorithm>
#include <cstring>
#include <cwchar>
#include <memory>
#include <new>
#include <string>

#include "generator/data/binary_stream.h"
#include "generator/data/object_model.h"
#include "generator/generated_text.h"
#include "generator/output_set.h"
#include "generator/text_output.h"
#include "platform/cache_files.h"
#include "platform/native_object.h"
#include "support/format.h"
#include "support/system_error.h"

using namespace platform;

const object_writer& writer_for(object_format format) {
  switch (format) {
    case object_format::coff_x86_64:
    case object_format::coff_arm64: return coff_writer;
    case object_format::macho_x86_64:
    case object_format::macho_arm64: return macho_writer;
    case object_format::elf_x86_64:
    case object_format::elf_arm64: break;
  }
  return elf_writer;
}

object_layout plan_object_layout(const object_layout& model, uint8_t* head, size_t& head_length) {
  const object_writer& writer = writer_for(model.format);
  object_layout layout = model;
  layout.data_at = writer.header_size;
  layout.symbols_at = layout.data_at + layout.data_size;
  layout.strings_at = layout.symbols_at + (writer.null_symbols + layout.symbol_count) * writer.symbol_size;
  // The head's length is the same whatever it says; what it says may
  // depend on the table's size.
  head_length = writer.strings_head(layout, head);
  uint64_t alignment = writer.string_alignment;
  layout.strings_size = (head_length + layout.name_bytes + alignment - 1) / alignment * alignment;
  writer.strings_head(layout, head);
  layout.trailer_at = layout.strings_at + layout.strings_size;
  return layout;
}

const wchar_t* object_format_family(object_format format) {
  const object_writer& writer = writer_for(format);
  return &writer == &coff_writer ? L"COFF" : &writer == &macho_writer ? L"Mach-O" : L"ELF";
}

const wchar_t* object_label(object_format format) {
  return &writer_for(format) == &coff_writer ? L"DST.data.obj" : L"DST.data.o";
}

uint64_t data_reach(object_format format) {
  constexpr uint64_t program_room = uint64_t{256} << 20;
  switch (format) {
    case object_format::elf_x86_64: return ~uint64_t{0};
    case object_format::elf_arm64:
    case object_format::coff_arm64:
    case object_format::macho_arm64:
    case object_format::coff_x86_64:
    case object_format::macho_x86_64: break;
  }
  return (uint64_t{2} << 30) - program_room;
}

namespace {

// The machine's name in messages.
const wchar_t* machine_name(object_format format) {
  bool arm64 = format == object_format::elf_arm64 || format == object_format::coff_arm64 ||
               format == object_format::macho_arm64;
  return arm64 ? L"AArch64" : L"x86-64";
}

constexpr uint32_t part_flags = file_flag_delete_on_close | file_attribute_temporary;

// Less than the smallest header, and no format's magic number.
constexpr char unfinished_object[] = "unfinished object of vex_resource_builder\n";
static_assert(sizeof unfinished_object <= 60);

// Reads the part from its start in pieces of at most piece bytes into
// buffer, handing each to take; false after a message (naming the object)
// when a read fails or the part does not hold expected bytes.
template <typename Take>
bool read_part(file_handle& part, uint8_t* buffer, uint64_t expected, uint64_t piece, const wchar_t* label,
               const char* object_name, Take take) {
  uint64_t total = 0;
  bool read = part.seek(0, file_begin);
  while (read) {
    int64_t got = part.read(buffer, static_cast<uint32_t>(piece));
    if (got <= 0) {
      read = got == 0;
      break;
    }
    total += static_cast<uint64_t>(got);
    if (total > expected) break;
    if (!take(static_cast<uint64_t>(got))) return false;
  }
  if (read && total == expected) return true;
  out_printf(L"failed to read %ls [%hs]\n", label, object_name);
  if (!read) print_system_error(standard_stream::output, part.last_error);
  return false;
}

// Encodes count symbols, as the symbols part holds them, into out (room for
// capacity bytes) and appends them; names are indexed from name_base in
// the string table.
bool append_symbols(binary_file& binary, const object_writer& writer, const object_layout& layout,
                    uint64_t name_base, const uint8_t* records, uint64_t count, uint8_t* out, uint64_t capacity) {
  uint64_t per_piece = capacity / writer.symbol_size;
  for (uint64_t done = 0; done < count;) {
    uint64_t piece = count - done < per_piece ? count - done : per_piece;
    for (uint64_t i = 0; i < piece; ++i) {
      object_symbol symbol;
      memcpy(&symbol, records + (done + i) * sizeof symbol, sizeof symbol);
      writer.encode_symbol(layout, symbol, name_base + symbol.name_offset, out + i * writer.symbol_size);
    }
    if (!append_binary(binary, out, piece * writer.symbol_size)) return false;
    done += piece;
  }
  return true;
}

}  // namespace

// The object's two names beside the target, absolute: "data.obj" at the
// extension for COFF, as Windows tools name objects, "data.o" for the
// others, and ".tmp" after that while it is written; and the name the
// other family's object would have.
bool object_form::make_names(builder_context& context, const wchar_t* target) {
  bool coff = &writer_for(format_) == &coff_writer;
  std::wstring directory = is_absolute_path(target) || !context.start_directory[0] ? L"" : context.start_directory;
  if (!directory.empty()) directory += L'/';
  if (!make_derived_name(target, coff ? L"data.o" : L"data.obj", context.pNAME_DST, context.name_capacity))
    return false;
  other_name_ = directory + context.pNAME_DST;
  if (!make_derived_name(target, coff ? L"data.obj" : L"data.o", context.pNAME_DST, context.name_capacity))
    return false;
  final_name_ = directory + context.pNAME_DST;
  temporary_name_ = final_name_ + L".tmp";
  file_name_ = context.pNAME_DST;
  return true;
}

// Closes the object and removes it under both of its names.
void object_form::remove_files() {
  binary_.file.close();
  for (const std::wstring* name : {&temporary_name_, &final_name_})
    if (!name->empty()) delete_file(name->c_str());
}

// After a failure that leaves the object unusable: it is completed no more.
void object_form::fail() {
  binary_.failed = true;
  binary_.file.close();
}

bool object_form::open_part(builder_context& context, const wchar_t* target, const wchar_t* suffix,
                            file_handle& part, const wchar_t* message) {
  if (make_derived_name(target, suffix, context.pNAME_DST, context.name_capacity))
    part.open(context.pNAME_DST, generic_read | generic_write, create_always, part_flags);
  if (part.opened) return true;
  out_printf(message, context.pNAME_DST);
  return false;
}

bool object_form::write_part(file_handle& part, const void* bytes, uint64_t length, const wchar_t* label) {
  if (part.write(bytes, static_cast<uint32_t>(length)) >= 0) return true;
  out_printf(L"failed to write %ls [%hs]\n", label, binary_.name_literal);
  print_system_error(standard_stream::output, part.write_error);
  fail();
  return false;
}

// Whether the data section can take size more bytes (padded to 8) within
// the format's offsets and the reach of the machine's code; else the
// object fails, with a message. A failed object passes, as the write
// reports it.
bool object_form::can_hold(uint64_t size, const char* name) {
  const object_writer& writer = writer_for(format_);
  uint64_t file_room = writer.file_limit - writer.header_size - binary_.size;
  uint64_t reach = data_reach(format_);
  uint64_t reach_room = reach > binary_.size ? reach - binary_.size : 0;
  uint64_t room = file_room < reach_room ? file_room : reach_room;
  if (!binary_.file.opened || (size <= room && ((size + 7) & ~uint64_t{7}) <= room)) return true;
  if (room == file_room)
    out_printf(L"%ls cannot hold [%hs]: a %ls object file holds at most 4 GiB\n", binary_.label, name,
               object_format_family(format_));
  else
    out_printf(L"%ls cannot hold [%hs]: a program for %ls links at most %llu MiB of data in one %ls object, which "
               L"its default code model reaches with room for the program's own\n",
               binary_.label, name, machine_name(format_), static_cast<unsigned long long>(reach >> 20),
               object_format_family(format_));
  fail();
  return false;
}

// The zeros in front of an array of size bytes at offset in the data
// section: up to the next page for a large array where the format's
// programs send from their file (the section is then aligned to pages,
// even when the array falls on a page already), else none (offsets stay
// multiples of 8).
uint64_t object_form::padding_before(uint64_t offset, uint64_t size) {
  if (!writer_for(format_).page_arrays || size < page_array_size) return 0;
  page_arrays_ = true;
  return (page_size - offset % page_size) % page_size;
}

// Adds the symbol of the bytes at value (size bytes) to the two parts.
bool object_form::add_symbol(uint64_t value, uint64_t size, uint64_t hash, const char* id) {
  symbol_name_.resize(strlen(id) + sizeof set_name_ + 32);
  int length = format_text(symbol_name_.data(), symbol_name_.size(), object_symbol_name, set_name_,
                           static_cast<unsigned long long>(hash), id);
  if (length < 0) {
    out_printf(L"failed to prepare data [%hs]\n", id);
    fail();
    return false;
  }
  object_symbol symbol{value, size, name_bytes_};
  if (!write_part(names_, symbol_name_.data(), static_cast<uint64_t>(length) + 1, L"DST.names.tmp") ||
      !write_part(symbols_, &symbol, sizeof symbol, L"DST.symbols.tmp"))
    return false;
  name_bytes_ += static_cast<uint64_t>(length) + 1;
  ++symbol_count_;
  return true;
}

// The symbol table: the symbols in the order of the part, or sorted by
// name where the format's linker looks them up so (both parts are then
// read into memory, once).
bool object_form::append_symbol_table(builder_context& context, const object_writer& writer,
                                      const object_layout& layout, uint64_t name_base) {
  uint64_t count = layout.symbol_count;
  uint8_t* buffer = context.read_buffer;
  auto* out = reinterpret_cast<uint8_t*>(context.text_buffer);
  if (!writer.sorted_names) {
    uint64_t piece = context.read_size / sizeof(object_symbol) * sizeof(object_symbol);
    return read_part(symbols_, buffer, count * sizeof(object_symbol), piece, L"DST.symbols.tmp",
                     binary_.name_literal, [&](uint64_t bytes) {
                       return append_symbols(binary_, writer, layout, name_base, buffer, bytes / sizeof(object_symbol),
                                             out, context.text_capacity);
                     });
  }
  std::unique_ptr<object_symbol[]> symbols(new (std::nothrow) object_symbol[count]);
  std::unique_ptr<char[]> names(new (std::nothrow) char[layout.name_bytes]);
  if (!symbols || !names) {
    out_printf(L"cannot sort the symbols of %ls [%hs]: no memory for %llu bytes\n", binary_.label, binary_.name_literal,
               static_cast<unsigned long long>(count * sizeof(object_symbol) + layout.name_bytes));
    return false;
  }
  auto into = [buffer](void* memory) {
    return [buffer, at = static_cast<uint8_t*>(memory)](uint64_t bytes) mutable {
      memcpy(at, buffer, bytes);
      at += bytes;
      return true;
    };
  };
  if (!read_part(symbols_, buffer, count * sizeof(object_symbol), context.read_size, L"DST.symbols.tmp",
                 binary_.name_literal, into(symbols.get())) ||
      !read_part(names_, buffer, layout.name_bytes, context.read_size, L"DST.names.tmp", binary_.name_literal,
                 into(names.get())))
    return false;
  std::sort(symbols.get(), symbols.get() + count, [&names](const object_symbol& a, const object_symbol& b) {
    return strcmp(names.get() + a.name_offset, names.get() + b.name_offset) < 0;
  });
  return append_symbols(binary_, writer, layout, name_base, reinterpret_cast<const uint8_t*>(symbols.get()), count,
                        out, context.text_capacity);
}

// Appends the symbol and string tables and the trailer, then writes the
// header in front of the data. False after a message.
bool object_form::complete(builder_context& context) {
  const object_writer& writer = writer_for(format_);
  uint8_t head[object_piece_capacity];
  uint8_t piece[object_piece_capacity];
  size_t head_length = 0;
  object_layout model{};
  model.format = format_;
  model.data_size = binary_.size;
  model.data_alignment = page_arrays_ ? page_size : 8;
  model.symbol_count = symbol_count_;
  model.name_bytes = name_bytes_;
  object_layout layout = plan_object_layout(model, head, head_length);
  size_t trailer_length = writer.trailer(layout, piece);
  uint64_t file_size = layout.trailer_at + trailer_length;
  if (file_size > writer.file_limit || layout.strings_size > 0xffffffff || layout.symbol_count > 0x7fffffff) {
    out_printf(L"%ls [%hs] would take %llu bytes: a %ls object file holds at most 4 GiB\n", binary_.label,
               binary_.name_literal, static_cast<unsigned long long>(file_size), object_format_family(format_));
    return false;
  }

  // A name's index: past the head, and past the underscore of C names
  // where the format leaves it out.
  uint64_t name_base = head_length + (writer.underscore ? 0 : 1);
  uint8_t* buffer = context.read_buffer;
  auto copy_names = [&](uint64_t bytes) { return append_binary(binary_, buffer, bytes); };
  bool written = append_zeros(binary_, uint64_t{writer.null_symbols} * writer.symbol_size, buffer, context.read_size) &&
                 append_symbol_table(context, writer, layout, name_base) && append_binary(binary_, head, head_length) &&
                 read_part(names_, buffer, layout.name_bytes, context.read_size, L"DST.names.tmp", binary_.name_literal,
                           copy_names) &&
                 append_zeros(binary_, layout.strings_size - head_length - layout.name_bytes, buffer,
                              context.read_size) &&
                 append_binary(binary_, piece, trailer_length);
  if (!written) return false;
  writer.header(layout, piece);
  if (!binary_.file.seek(0, file_begin) || binary_.file.write(piece, writer.header_size) < 0) {
    out_printf(L"failed to write the header of %ls [%hs]\n", binary_.label, binary_.name_literal);
    uint32_t error = binary_.file.last_error ? binary_.file.last_error : binary_.file.write_error;
    print_system_error(standard_stream::output, error);
    return false;
  }
  return true;
}

bool object_form::prepare(builder_context& context, const wchar_t* target, bool append) {
  if (!format_name_ && !native_object_format()) {
    out_printf(L"this system has no object format of its own: give -m object:<format>, the format one of %ls\n",
               object_format_list);
    return false;
  }
  if (!parse_object_format(format_name_ ? format_name_ : native_object_format(), &format_)) {
    out_printf(L"invalid object format [%s]: give %ls\n", format_name_, object_format_list);
    return false;
  }
  binary_.label = object_label(format_);
  if (is_standard_stream_name(target)) {
    out_printf(L"the object form needs a target file beside which to write %ls, not [%s]\n", binary_.label, target);
    return false;
  }
  if (append) {
    out_printf(L"the object form cannot append (-a) to the object file of an earlier run: generate the whole tree in "
               L"one run\n");
    return false;
  }
  if (context.big_endian) {
    out_printf(L"the object form has no big-endian data (-b): its formats are all little-endian, and the bytes are "
               L"in file order for any consumer\n");
    return false;
  }
  return true;
}

bool object_form::open(builder_context& context, const wchar_t* target, bool) {
  binary_.size = 0;
  memcpy(set_name_, context.set_name, sizeof set_name_);
  binary_.name_literal[0] = 0;
  symbol_count_ = name_bytes_ = 0;
  page_arrays_ = false;
  if (!open_part(context, target, L"symbols.tmp", symbols_, L"cannot open DST.symbols.tmp [%s]\n") ||
      !open_part(context, target, L"names.tmp", names_, L"cannot open DST.names.tmp [%s]\n"))
    return false;
  if (!make_names(context, target)) {
    out_printf(L"cannot open %ls [%s]: the name is too long\n", binary_.label, target);
    return false;
  }
  {
    const wchar_t* name = context.pNAME_DST;
    for (const wchar_t* at = name; *at; ++at)
      if (*at == L'/' || *at == L'\\') name = at + 1;
    long long length = name_to_utf8(name, wcslen(name), binary_.name_literal, sizeof binary_.name_literal - 1);
    binary_.name_literal[length > 0 ? length : 0] = 0;
  }
  // The object of an earlier run goes now, as the target's text does: a
  // walk of the target's directory must not embed it, and a build must not
  // link it with the new target; so does one of the other format family,
  // which a build that switched formats would otherwise still find.
  delete_file(final_name_.c_str());
  delete_file(other_name_.c_str());
  // Text where the header goes, until the end of the run writes it: the
  // file is then no object that any linker takes (some take zeros for an
  // empty COFF object), and says what it is.
  uint8_t placeholder[object_piece_capacity] = {};
  memcpy(placeholder, unfinished_object, sizeof unfinished_object - 1);
  binary_.file.open(temporary_name_.c_str(), generic_write, create_always, 0);
  if (!binary_.file.opened) {
    out_printf(L"cannot open %ls [%s]\n", binary_.label, temporary_name_.c_str());
    return false;
  }
  if (binary_.file.write(placeholder, writer_for(format_).header_size) < 0) {
    out_printf(L"failed to write %ls [%s]\n", binary_.label, temporary_name_.c_str());
    print_system_error(standard_stream::output, binary_.file.write_error);
    remove_files();
    return false;
  }
  if (!context.quiet) out_printf(L"<%s>\n", context.pNAME_DST);
  return true;
}

bool object_form::writes(const file_handle& source) const {
  for (const file_handle* file : {&binary_.file, &symbols_, &names_})
    if (file->is_file_of(source)) return true;
  return false;
}

bool object_form::begin_file(builder_context& context, const char*) {
  // The read buffer already holds the file's first bytes.
  static constexpr uint8_t zeros[page_size] = {};
  uint64_t padding = padding_before(binary_.size, context.file_size);
  if (!can_hold(padding + context.file_size, context.flat_name) || !append_binary(binary_, zeros, padding))
    return false;
  begin_bytes(context.file_size);
  return true;
}

bool object_form::end_file(builder_context& context, const char* path_literal) {
  const char* id = context.flat_name;
  if (!end_bytes(context)) return false;
  uint64_t symbol_hash = bytes_hash();
  if (!add_symbol(offset_, binary_.size - offset_, symbol_hash, id)) return false;
  auto hash_digits = static_cast<unsigned long long>(symbol_hash);
  context.text_length = format_text(context.text_buffer, room_below_literals(context), object_array, set_name_,
                                    hash_digits, id, id, set_name_, hash_digits, id, set_name_, id, path_literal);
  return write_data_text(context, id);
}

bool object_form::write_from_memory(builder_context& context, memory_arrays& out, const char* name,
                                    const uint8_t* bytes, uint64_t size) {
  uint64_t padding = padding_before(binary_.size + out.binary.size(), size);
  if (!can_hold(out.binary.size() + padding + size, name)) return false;
  out.binary.append(static_cast<size_t>(padding), '\0');
  uint64_t offset = binary_.size + out.binary.size();
  unsigned long long symbol_hash = gather_padded(out.binary, bytes, size);
  if (prepare_text(context, object_variant_array, set_name_, symbol_hash, name, name, set_name_, symbol_hash, name) <
      0) {
    out_printf(L"failed to prepare data opening tag [%hs]\n", name);
    return false;
  }
  out.symbols.push_back({offset, out.binary.size() + binary_.size - offset, symbol_hash, name});
  out.text.append(context.text_buffer, static_cast<size_t>(context.text_length));
  return true;
}

bool object_form::write_gathered(const memory_arrays& out) {
  bool written = binary_form::write_gathered(out);
  for (size_t i = 0; written && i < out.symbols.size(); ++i) {
    const memory_symbol& symbol = out.symbols[i];
    written = add_symbol(symbol.offset, symbol.size, symbol.hash, symbol.name.c_str());
  }
  return written;
}

bool object_form::finish(builder_context& context) {
  bool whole = binary_.file.opened && complete(context);
  binary_.file.close();
  symbols_.close();
  names_.close();
  if (whole) {
    if (replace_file(temporary_name_.c_str(), final_name_.c_str())) return true;
    out_printf(L"cannot give %ls its name [%s]\n", binary_.label, final_name_.c_str());
    print_system_error(standard_stream::output, last_error());
  }
  remove_files();
  return false;
}

void object_form::discard() {
  symbols_.close();
  names_.close();
  remove_files();
}
