#include "generator/data/from_memory.h"

#include <algorithm>
#include <cstring>

#include "generator/data/binary_stream.h"
#include "generator/data/words.h"
#include "generator/data/incbin.h"
#include "generator/data/literal.h"
#include "generator/data/object.h"
#include "generator/generated_text.h"
#include "generator/text_output.h"
#include "support/format.h"

namespace {

void put(builder_context& context, std::string& text) {
  text.append(context.text_buffer, static_cast<size_t>(context.text_length));
}

// Words per piece: as many as text_buffer holds once encoded, below the
// file's escaped path.
size_t words_per_piece(const builder_context& context) {
  size_t room = static_cast<size_t>(room_below_literals(context)) - 2;
  size_t words = room / 21;
  while (words > 1 && encoded_chunk_size(words) > room) --words;
  return words;
}

}  // namespace

bool write_data_array_from_memory(builder_context& context, memory_arrays& out, const char* name, const uint8_t* bytes,
                                  uint64_t size) {
  std::string& text = out.text;
  if (context.form == data_form::incbin) return write_incbin_from_memory(context, out, name, bytes, size);
  if (context.form == data_form::object) return write_object_from_memory(context, out, name, bytes, size);
  if (context.form == data_form::literal) return write_literal_from_memory(context, text, name, bytes, size);
  unsigned long long word_count = size / 8 + (size % 8 != 0);
  if (prepare_text(context, data_open, name, word_count) < 0) {
    out_printf(L"failed to prepare data opening tag [%hs]\n", name);
    return false;
  }
  put(context, text);

  size_t piece = words_per_piece(context);
  uint64_t whole_words = size / 8;
  for (uint64_t done = 0; done < word_count;) {
    size_t offset = done > 0 ? 2 : 0;  // ", " joins a piece to the one before
    memcpy(context.text_buffer, ", ", offset);
    uint64_t left = word_count - done;
    size_t words = left < piece ? static_cast<size_t>(left) : piece;
    size_t length = 0;
    if (done + words <= whole_words) {
      length = encode_chunk(bytes + 8 * done, words, context.big_endian, context.text_buffer + offset);
    } else {
      // The piece that holds the partial last word goes through a padded copy.
      uint8_t tail[8] = {};
      size_t full = words - 1;
      length = encode_chunk(bytes + 8 * done, full, context.big_endian, context.text_buffer + offset);
      memcpy(tail, bytes + 8 * (done + full), static_cast<size_t>(size % 8));
      if (full > 0 && full % 400 == 0) {
        memcpy(context.text_buffer + offset + length - 1, "\n\t\t", 3);
        length += 2;
      }
      length += encode_chunk(tail, 1, context.big_endian, context.text_buffer + offset + length);
    }
    context.text_length = static_cast<int64_t>(offset + length - 2);
    put(context, text);
    done += words;
  }
  if (prepare_text(context, data_close) < 0) {
    out_printf(L"failed to prepare data closing tag [%hs]\n", name);
    return false;
  }
  put(context, text);
  return true;
}

bool write_memory_arrays(builder_context& context, memory_arrays& out) {
  bool written =
      out.binary.empty() || append_binary(context, reinterpret_cast<const uint8_t*>(out.binary.data()), out.binary.size());
  for (size_t i = 0; written && i < out.symbols.size(); ++i) written = add_object_symbol(context, out.symbols[i]);
  for (size_t done = 0; written && done < out.text.size();) {
    int64_t piece = static_cast<int64_t>(std::min<size_t>(out.text.size() - done, size_t{1} << 30));
    written = write_bytes(context, context.h_dst_cpp, out.text.data() + done, piece);
    done += static_cast<size_t>(piece);
  }
  out.take_back({});
  return written;
}
