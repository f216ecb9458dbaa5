#include "generator/data/data_writer.h"

#include <cstring>

#include "generator/data/incbin.h"
#include "generator/data/literal.h"
#include "generator/data/object.h"
#include "generator/data/words.h"
#include "generator/extras/content_hash.h"
#include "generator/generated_text.h"
#include "generator/text_output.h"
#include "support/format.h"

bool data_writer::prepare(builder_context&, const wchar_t*, bool) { return true; }

bool data_writer::open(builder_context&, const wchar_t*, bool) { return true; }

bool data_writer::begin_source(builder_context&, file_handle&) { return true; }

bool data_writer::writes(const file_handle&) const { return false; }

bool data_writer::write_gathered(const memory_arrays&) { return true; }

bool data_writer::finish(builder_context&) { return true; }

std::unique_ptr<data_writer> make_data_writer(data_form form, const wchar_t* object_format_name) {
  switch (form) {
    case data_form::incbin: return std::make_unique<incbin_form>();
    case data_form::literal: return std::make_unique<literal_form>();
    case data_form::object: return std::make_unique<object_form>(object_format_name);
    case data_form::words: break;
  }
  return std::make_unique<words_form>();
}

size_t take_chunk(builder_context& context, content_hasher* hash) {
  if (static_cast<uint64_t>(context.read_count) > context.remaining)
    context.read_count = static_cast<int64_t>(context.remaining);
  context.remaining -= static_cast<uint64_t>(context.read_count);
  size_t chunk_bytes = static_cast<size_t>(context.read_count);
  if (hash) hash->add(context.read_buffer, chunk_bytes);
  size_t padded = (chunk_bytes + 7) & ~size_t{7};
  memset(context.read_buffer + chunk_bytes, 0, padded - chunk_bytes);
  return chunk_bytes;
}

bool write_file_data(builder_context& context, data_writer& writer, const char* path_literal,
                     content_hasher* hash) {
  if (hash) hash->reset();
  if (!writer.begin_file(context, path_literal)) return false;
  while (context.remaining > 0 && context.read_count > 0) {
    if (!writer.write_chunk(context, take_chunk(context, hash))) return false;
    context.read_count = context.h_src.read(context.read_buffer, static_cast<uint32_t>(context.read_size));
    if (context.read_count < 0) {
      out_printf(L"failed to read data %llu bytes remaining\n", static_cast<unsigned long long>(context.remaining));
      writer.end_after_read_failure(context);
      context.output_incomplete = 1;
      return false;
    }
  }
  return writer.end_file(context, path_literal);
}

bool write_path_array(builder_context& context, const data_writer& writer, const char* path_literal) {
  if (!writer.constant_records()) return true;
  if (prepare_text(context, path_array, context.set_name, context.flat_name, path_literal) < 0) {
    out_printf(L"failed to prepare data opening tag [%hs]\n", context.flat_name);
    return false;
  }
  if (write_prepared(context, context.h_dst_cpp)) return true;
  out_printf(L"failed to write data [%hs]\n", context.flat_name);
  return false;
}
