#include "generator/data/incbin.h"

#include <algorithm>
#include <cstring>
#include <cwchar>

#include "generator/data/binary_stream.h"
#include "generator/generated_text.h"
#include "generator/names/identifier.h"
#include "generator/output_set.h"
#include "generator/text_output.h"
#include "support/format.h"

using namespace platform;

namespace {

// DST.bin in out, made like DST.h: "bin" at the target's extension.
bool make_binary_name(const wchar_t* target, wchar_t* out, uint64_t capacity) {
  return make_derived_name(target, L"bin", out, capacity);
}

// The macro that places an array of size bytes: a large one starts a page.
const char* macro_suffix(uint64_t size) { return size >= page_array_size ? "_PAGE" : ""; }

}  // namespace

bool incbin_form::prepare(builder_context& context, const wchar_t* target, bool) {
  if (is_standard_stream_name(target)) {
    out_printf(L"the incbin form needs a target file beside which to write DST.bin, not [%s]\n", target);
    return false;
  }
  char utf8[512];
  long long length = -1;
  if (make_binary_name(target, context.pNAME_DST, context.name_capacity)) {
    const wchar_t* name = context.pNAME_DST;
    for (const wchar_t* at = name; *at; ++at)
      if (*at == L'/' || *at == L'\\') name = at + 1;
    length = name_to_utf8(name, wcslen(name), utf8, sizeof utf8);
  }
  // The assembler reads the name from a string of its own, where a quote
  // would end it.
  if (length < 0 || memchr(utf8, '"', static_cast<size_t>(length)) ||
      escape_literal(utf8, static_cast<size_t>(length), binary_.name_literal, sizeof binary_.name_literal) < 0) {
    out_printf(L"the incbin form cannot name the binary file of [%s] in the generated code\n", target);
    return false;
  }
  return true;
}

bool incbin_form::open(builder_context& context, const wchar_t* target, bool append) {
  binary_file& binary = binary_;
  binary.size = 0;
  binary.label = L"DST.bin";
  if (make_binary_name(target, context.pNAME_DST, context.name_capacity))
    binary.file.open(context.pNAME_DST, generic_write, append ? open_always : create_always, 0);
  if (!binary.file.opened) {
    out_printf(L"cannot open DST.bin [%s]\n", context.pNAME_DST);
    return false;
  }
  // Appending keeps the bytes that the target's earlier arrays point at;
  // the new ones start at the next multiple of 8.
  if (append && (!binary.file.size(&binary.size) || !binary.file.seek(0, file_end) ||
                 !append_zeros(binary, (8 - binary.size % 8) % 8, context.read_buffer, context.read_size))) {
    out_printf(L"cannot append to DST.bin [%s]\n", context.pNAME_DST);
    return false;
  }
  if (!begin_source(context, context.h_dst_cpp)) return false;
  file_name_ = context.pNAME_DST;
  if (!context.quiet) out_printf(L"<%s>\n", context.pNAME_DST);
  return true;
}

bool incbin_form::begin_source(builder_context& context, file_handle& source) {
  if (write_fixed(context, source, incbin_macro)) return true;
  out_printf(L"failed to write the incbin macro [%hs]\n", incbin_macro);
  return false;
}

bool incbin_form::begin_file(builder_context& context, const char*) {
  begin_bytes(context.file_size);
  return true;
}

bool incbin_form::end_file(builder_context& context, const char* path_literal) {
  if (!end_bytes(context)) return false;
  char bytes[sizeof binary_.name_literal + 64] = "";
  uint64_t padded_size = binary_.size - offset_;
  if (padded_size > 0 &&
      format_text(bytes, sizeof bytes, incbin_bytes, binary_.name_literal, static_cast<unsigned long long>(offset_),
                  static_cast<unsigned long long>(padded_size)) < 0) {
    out_printf(L"failed to prepare data [%hs]\n", context.flat_name);
    return false;
  }
  const char* id = context.flat_name;
  auto symbol_hash = static_cast<unsigned long long>(bytes_hash());
  const char* set = context.set_name;
  context.text_length =
      format_text(context.text_buffer, room_below_literals(context), incbin_array, id, set, symbol_hash, id,
                  macro_suffix(context.file_size), set, symbol_hash, id, bytes, set, id, path_literal);
  return write_data_text(context, id);
}

bool incbin_form::finish(builder_context&) {
  bool ended = end_binary(binary_);
  binary_.file.close();
  return ended && !binary_.failed;
}

bool incbin_form::write_from_memory(builder_context& context, memory_arrays& out, const char* name,
                                    const uint8_t* bytes, uint64_t size) {
  uint64_t offset = binary_.size + out.binary.size();
  unsigned long long symbol_hash = gather_padded(out.binary, bytes, size);
  unsigned long long padded = (size + 7) & ~uint64_t{7};
  char incbin[sizeof binary_.name_literal + 64];
  if (format_text(incbin, sizeof incbin, incbin_bytes, binary_.name_literal,
                  static_cast<unsigned long long>(offset), padded) < 0 ||
      prepare_text(context, incbin_variant_array, name, context.set_name, symbol_hash, name, macro_suffix(size),
                   context.set_name, symbol_hash, name, incbin) < 0) {
    out_printf(L"failed to prepare data opening tag [%hs]\n", name);
    return false;
  }
  out.text.append(context.text_buffer, static_cast<size_t>(context.text_length));
  return true;
}
