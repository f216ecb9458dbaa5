#include "generator/data/incbin.h"

#include <algorithm>
#include <cstring>
#include <cwchar>

#include "generator/data/binary_stream.h"
#include "generator/extras/content_hash.h"
#include "generator/generated_text.h"
#include "generator/names/identifier.h"
#include "generator/output_set.h"
#include "generator/text_output.h"
#include "support/format.h"

using namespace platform;

namespace {

// DST.bin in pNAME_DST, made like DST.h: "bin" at the target's extension.
bool make_binary_name(builder_context& context, const wchar_t* target) {
  return make_derived_name(context, target, L"bin");
}

}  // namespace

bool prepare_data_binary(builder_context& context, const wchar_t* target) {
  if (is_standard_stream_name(target)) {
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
  binary.label = L"DST.bin";
  if (make_binary_name(context, target))
    binary.file.open(context.pNAME_DST, generic_write, append ? open_always : create_always, 0);
  if (!binary.file.opened) {
    out_printf(L"cannot open DST.bin [%s]\n", context.pNAME_DST);
    return false;
  }
  // Appending keeps the bytes that the target's earlier arrays point at;
  // the new ones start at the next multiple of 8.
  if (append && (!binary.file.size(&binary.size) || !binary.file.seek(0, file_end) ||
                 !append_zeros(context, (8 - binary.size % 8) % 8))) {
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
  if (!append_source(context, hash)) return -1;

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
  return write_data_text(context, id) ? 0 : -1;
}

bool write_incbin_from_memory(builder_context& context, memory_arrays& out, const char* name, const uint8_t* bytes,
                              uint64_t size) {
  uint64_t offset = context.binary.size + out.binary.size();
  unsigned long long symbol_hash = gather_padded(out.binary, bytes, size);
  unsigned long long padded = (size + 7) & ~uint64_t{7};
  char incbin[sizeof context.binary.name_literal + 64];
  if (format_text(incbin, sizeof incbin, incbin_bytes, context.binary.name_literal,
                  static_cast<unsigned long long>(offset), padded) < 0 ||
      prepare_text(context, incbin_variant_array, name, symbol_hash, name, symbol_hash, name, incbin) < 0) {
    out_printf(L"failed to prepare data opening tag [%hs]\n", name);
    return false;
  }
  out.text.append(context.text_buffer, static_cast<size_t>(context.text_length));
  return true;
}
