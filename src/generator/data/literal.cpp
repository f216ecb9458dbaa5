#include "generator/data/literal.h"

#include <cstring>

#include "generator/generated_text.h"
#include "generator/names/identifier.h"
#include "generator/text_output.h"
#include "support/format.h"

namespace {

bool write_text(builder_context& context, int64_t length, const wchar_t* message) {
  context.text_length = length;
  if (write_prepared(context, *context.data_file)) return true;
  out_printf(message, context.flat_name);
  return false;
}

// An array too long for MSVC is preceded by an #error that names it, so that
// MSVC stops with a message that says what to do rather than its own fatal
// error.
bool write_msvc_limit(builder_context& context, const char* name, uint64_t size, uint64_t text_room) {
  if (size + 1 <= literal_msvc_bytes) return true;
  int64_t length = format_text(context.text_buffer, text_room, literal_msvc_limit, name,
                               static_cast<unsigned long long>(size));
  if (length < 0) {
    out_printf(L"failed to prepare data opening tag [%hs]\n", name);
    return false;
  }
  return write_text(context, length, L"failed to write data opening tag [%hs]\n");
}

bool write_closing(builder_context& context) {
  if (write_fixed(context, *context.data_file, literal_close)) return true;
  out_printf(L"failed to write data closing tag [%hs]\n", literal_close);
  return false;
}

}  // namespace

size_t encode_literal_pieces(const uint8_t* bytes, size_t size, char* out) {
  size_t length = 0;
  const size_t join_length = strlen(literal_join);
  for (size_t done = 0; done < size; done += literal_piece_bytes) {
    if (done > 0) {
      memcpy(out + length, literal_join, join_length);
      length += join_length;
    }
    size_t piece = size - done < literal_piece_bytes ? size - done : literal_piece_bytes;
    length += static_cast<size_t>(
        escape_literal(reinterpret_cast<const char*>(bytes + done), piece, out + length, piece * 4 + 1));
  }
  return length;
}

bool literal_form::begin_file(builder_context& context, const char* path_literal) {
  const char* id = context.flat_name;
  uint64_t text_room = room_below_literals(context);
  // Room for the terminator, and a whole number of 8-byte words.
  unsigned long long length = (context.file_size + 8) & ~uint64_t{7};
  if (!write_msvc_limit(context, id, context.file_size, text_room)) return false;
  if (format_text(context.text_buffer, text_room, literal_open, context.set_name, id, path_literal, id, length) < 0) {
    out_printf(L"failed to prepare data opening tag [%hs]\n", id);
    return false;
  }
  int64_t opening = static_cast<int64_t>(strlen(context.text_buffer));
  first_chunk_ = true;
  return write_text(context, opening, L"failed to write data opening tag [%hs]\n");
}

bool literal_form::write_chunk(builder_context& context, size_t bytes) {
  size_t offset = first_chunk_ ? 0 : strlen(literal_join);
  if (offset + literal_text_size(bytes) > room_below_literals(context)) {
    out_printf(L"failed to prepare data [%hs]\n", context.flat_name);
    write_closing(context);
    context.output_incomplete = 1;
    return false;
  }
  memcpy(context.text_buffer, literal_join, offset);
  size_t text = offset + encode_literal_pieces(context.read_buffer, bytes, context.text_buffer + offset);
  first_chunk_ = false;
  return write_text(context, static_cast<int64_t>(text), L"failed to write data [%hs]\n");
}

bool literal_form::end_file(builder_context& context, const char*) { return write_closing(context); }

void literal_form::end_after_read_failure(builder_context& context) { write_closing(context); }

bool literal_form::write_from_memory(builder_context& context, memory_arrays& out, const char* name,
                                     const uint8_t* bytes, uint64_t size) {
  std::string& text = out.text;
  // Room for the terminator, and a whole number of 8-byte words.
  unsigned long long length = (size + 8) & ~uint64_t{7};
  if (!write_msvc_limit(context, name, size, room_below_literals(context))) return false;
  if (prepare_text(context, literal_variant_open, name, length) < 0) {
    out_printf(L"failed to prepare data opening tag [%hs]\n", name);
    return false;
  }
  text.append(context.text_buffer, static_cast<size_t>(context.text_length));
  // Whole pieces at a time, as many as the text below the file's path holds.
  size_t room = static_cast<size_t>(room_below_literals(context));
  size_t chunk_limit = (room / 4 / literal_piece_bytes - 1) * literal_piece_bytes;
  for (uint64_t done = 0; done < size;) {
    if (done > 0) text += literal_join;
    size_t chunk = size - done < chunk_limit ? static_cast<size_t>(size - done) : chunk_limit;
    text.append(context.text_buffer, encode_literal_pieces(bytes + done, chunk, context.text_buffer));
    done += chunk;
  }
  text += literal_close;
  return true;
}
