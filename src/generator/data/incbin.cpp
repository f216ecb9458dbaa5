#include "generator/data/incbin.h"

#include <algorithm>
#include <cstring>
#include <cwchar>

#include "generator/extras/content_hash.h"
#include "generator/data/words.h"
#include "generator/generated_text.h"
#include "generator/names/identifier.h"
#include "generator/output_set.h"
#include "generator/text_output.h"
#include "support/format.h"
#include "support/system_error.h"

using namespace platform;

namespace {

bool is_standard_stream(const wchar_t* name) {
  return wcscmp(name, L"-") == 0 || wcscmp(name, L"con") == 0 || wcscmp(name, L"CON") == 0;
}

bool write_binary(builder_context& context, const uint8_t* bytes, uint64_t length) {
  data_binary_file& binary = context.binary;
  if (!binary.file.opened) {
    out_printf(L"failed to write DST.bin [%hs]: an earlier write failed\n", binary.name_literal);
    return false;
  }
  if (binary.file.write(bytes, static_cast<uint32_t>(length)) < 0) {
    out_printf(L"failed to write DST.bin [%hs]\n", binary.name_literal);
    print_system_error(standard_stream::output, binary.file.write_error);
    context.output_incomplete = 1;
    // The offsets of later files would no longer be known.
    binary.file.close();
    return false;
  }
  binary.size += length;
  return true;
}

// Appends zeros until the file holds length more bytes.
bool write_zeros(builder_context& context, uint64_t length) {
  while (length > 0) {
    uint64_t piece = length < context.read_size ? length : context.read_size;
    memset(context.read_buffer, 0, piece);
    if (!write_binary(context, context.read_buffer, piece)) return false;
    length -= piece;
  }
  return true;
}

// Copies the file's measured size into the binary file, padded with zeros
// to a multiple of 8, and hashes what it copied.
bool copy_file_bytes(builder_context& context, content_hasher& hash) {
  uint64_t padded_size = (context.file_size + 7) & ~uint64_t{7};
  uint64_t copied = 0;
  bool read_failed = false;
  while (context.remaining > 0 && context.read_count > 0) {
    size_t padded = (take_chunk(context) + 7) & ~size_t{7};
    hash.add(context.read_buffer, padded);
    if (!write_binary(context, context.read_buffer, padded)) return false;
    copied += padded;
    context.read_count = context.h_src.read(context.read_buffer, static_cast<uint32_t>(context.read_size));
    if (context.read_count < 0) {
      out_printf(L"failed to read data %llu bytes remaining\n", static_cast<unsigned long long>(context.remaining));
      read_failed = true;
      break;
    }
  }
  // A file that ended early keeps its measured size, its missing bytes zero,
  // so that the offsets of the files after it stay whole multiples of 8.
  if (!write_zeros(context, padded_size - copied)) return false;
  if (read_failed) context.output_incomplete = 1;
  return !read_failed;
}

// DST.bin in pNAME_DST, made like DST.h: "bin" at the target's extension.
bool make_binary_name(builder_context& context, const wchar_t* target) {
  uint64_t extension = extension_position(target);
  context.pNAME_DST[0] = 0;
  if (extension + 4 > context.name_capacity) return false;
  wmemcpy(context.pNAME_DST, target, extension);
  wcscpy(context.pNAME_DST + extension, L"bin");
  return true;
}

}  // namespace

bool prepare_data_binary(builder_context& context, const wchar_t* target) {
  if (is_standard_stream(target)) {
    out_printf(L"the incbin form needs a target file beside which to write DST.bin, not [%s]\n", target);
    return false;
  }
  char utf8[512];
  long long length = -1;
  if (make_binary_name(context, target)) {
    const wchar_t* name = context.pNAME_DST;
    for (const wchar_t* at = name; *at; ++at)
      if (*at == L'/' || *at == L'\\') name = at + 1;
    length = name_to_utf8(name, wcslen(name), utf8, sizeof utf8);
  }
  // The assembler reads the name from a string of its own, where a quote
  // would end it.
  if (length < 0 || memchr(utf8, '"', static_cast<size_t>(length)) ||
      escape_literal(utf8, static_cast<size_t>(length), context.binary.name_literal,
                     sizeof context.binary.name_literal) < 0) {
    out_printf(L"the incbin form cannot name the binary file of [%s] in the generated code\n", target);
    return false;
  }
  return true;
}

bool open_data_binary(builder_context& context, const wchar_t* target, bool append) {
  data_binary_file& binary = context.binary;
  binary.size = 0;
  if (make_binary_name(context, target))
    binary.file.open(context.pNAME_DST, generic_write, append ? open_always : create_always, 0);
  if (!binary.file.opened) {
    out_printf(L"cannot open DST.bin [%s]\n", context.pNAME_DST);
    return false;
  }
  // Appending keeps the bytes that the target's earlier arrays point at;
  // the new ones start at the next multiple of 8.
  if (append && (!binary.file.size(&binary.size) || !binary.file.seek(0, file_end) ||
                 !write_zeros(context, (8 - binary.size % 8) % 8))) {
    out_printf(L"cannot append to DST.bin [%s]\n", context.pNAME_DST);
    return false;
  }
  if (!write_fixed(context, context.h_dst_cpp, incbin_macro)) {
    out_printf(L"failed to write the incbin macro [%hs]\n", incbin_macro);
    return false;
  }
  if (!context.quiet) out_printf(L"<%s>\n", context.pNAME_DST);
  return true;
}

int write_data_incbin(builder_context& context, const char* path_literal, uint64_t text_room) {
  uint64_t offset = context.binary.size;
  content_hasher hash;
  hash.add(&context.file_size, sizeof context.file_size);
  if (!copy_file_bytes(context, hash)) return -1;

  char bytes[sizeof context.binary.name_literal + 64] = "";
  uint64_t padded_size = context.binary.size - offset;
  if (padded_size > 0 &&
      format_text(bytes, sizeof bytes, incbin_bytes, context.binary.name_literal,
                  static_cast<unsigned long long>(offset), static_cast<unsigned long long>(padded_size)) < 0) {
    out_printf(L"failed to prepare data [%hs]\n", context.flat_name);
    return -1;
  }
  const char* id = context.flat_name;
  auto symbol_hash = static_cast<unsigned long long>(hash.finish64());
  context.text_length =
      format_text(context.text_buffer, text_room, incbin_array, id, symbol_hash, id, symbol_hash, id, bytes, id,
                  path_literal);
  if (context.text_length < 0) {
    out_printf(L"failed to prepare data opening tag [%hs]\n", id);
    return -1;
  }
  if (!write_prepared(context, context.h_dst_cpp)) {
    out_printf(L"failed to write data [%hs]\n", context.text_buffer);
    return -1;
  }
  return 0;
}

bool write_incbin_from_memory(builder_context& context, std::string& text, std::string& binary, const char* name,
                              const uint8_t* bytes, uint64_t size) {
  uint64_t offset = context.binary.size + binary.size();
  uint64_t padded = (size + 7) & ~uint64_t{7};
  binary.append(reinterpret_cast<const char*>(bytes), static_cast<size_t>(size));
  binary.append(static_cast<size_t>(padded - size), '\0');
  content_hasher hash;
  hash.add(&size, sizeof size);
  hash.add(bytes, static_cast<size_t>(size));
  auto symbol_hash = static_cast<unsigned long long>(hash.finish64());
  char incbin[sizeof context.binary.name_literal + 64];
  if (format_text(incbin, sizeof incbin, incbin_bytes, context.binary.name_literal,
                  static_cast<unsigned long long>(offset), static_cast<unsigned long long>(padded)) < 0 ||
      prepare_text(context, incbin_variant_array, name, symbol_hash, name, symbol_hash, name, incbin) < 0) {
    out_printf(L"failed to prepare data opening tag [%hs]\n", name);
    return false;
  }
  text.append(context.text_buffer, static_cast<size_t>(context.text_length));
  return true;
}

bool write_binary_bytes(builder_context& context, const std::string& bytes) {
  for (size_t done = 0; done < bytes.size();) {
    size_t piece = std::min<size_t>(bytes.size() - done, size_t{1} << 30);
    if (!write_binary(context, reinterpret_cast<const uint8_t*>(bytes.data() + done), piece)) return false;
    done += piece;
  }
  return true;
}
