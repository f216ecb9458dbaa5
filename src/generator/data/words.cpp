#include "generator/data/words.h"

#include <cstring>

#include "generator/extras/content_hash.h"
#include "support/format.h"
#include "generator/generated_text.h"
#include "generator/text_output.h"

namespace {

// Between the words of an array.
constexpr const char* chunk_join = ", ";

constexpr size_t words_per_line = 400;

bool write_closing(builder_context& context) {
  if (prepare_text(context, data_close) < 0) {
    out_printf(L"failed to prepare data closing tag [%hs]\n", context.flat_name);
    return false;
  }
  if (!write_prepared(context, context.h_dst_cpp)) {
    out_printf(L"failed to write data closing tag [%hs]\n", context.text_buffer);
    return false;
  }
  return true;
}

// After a failure that leaves the target writable, the array still gets its
// closing so that the generated code compiles (the missing elements are
// zero); the run reports its output as incomplete.
int close_after_failure(builder_context& context) {
  write_closing(context);
  context.output_incomplete = 1;
  return -1;
}

// Encodes the chunk's words behind offset characters of text_buffer;
// text_length becomes the length up to, not including, the final ", ". When
// the text would pass text_end, only the words that fit are encoded, the
// text is ended after them and the result is false.
bool prepare_chunk(builder_context& context, size_t offset, size_t word_count) {
  char* start = context.text_buffer + offset;
  size_t room = context.text_end > start ? static_cast<size_t>(context.text_end - start) : 0;
  if (encoded_chunk_size(word_count) <= room) {
    size_t length = encode_chunk(context.read_buffer, word_count, context.big_endian, start);
    context.text_length = static_cast<int64_t>(offset + length - 2);
    return true;
  }
  size_t fitting = 0;
  while (fitting < word_count && encoded_chunk_size(fitting + 1) < room) ++fitting;
  size_t length = encode_chunk(context.read_buffer, fitting, context.big_endian, start);
  *(room > 0 ? start + length : context.text_buffer) = 0;
  context.text_length = -1;
  return false;
}

}  // namespace

size_t take_chunk(builder_context& context) {
  if (static_cast<uint64_t>(context.read_count) > context.remaining)
    context.read_count = static_cast<int64_t>(context.remaining);
  context.remaining -= static_cast<uint64_t>(context.read_count);
  size_t chunk_bytes = static_cast<size_t>(context.read_count);
  if (context.data_hash) {
    context.data_hash->add(context.read_buffer, chunk_bytes);
    context.data_hashed += chunk_bytes;
  }
  size_t padded = (chunk_bytes + 7) & ~size_t{7};
  memset(context.read_buffer + chunk_bytes, 0, padded - chunk_bytes);
  return chunk_bytes;
}

size_t encode_chunk_with(encode_words_function encode_words, const uint8_t* chunk, size_t word_count,
                         bool big_endian, char* out) {
  char* position = out;
  for (size_t done = 0; done < word_count;) {
    if (done > 0) {
      // The blank of the ", " after the line's last word starts the next line.
      memcpy(position - 1, "\n\t\t", 3);
      position += 2;
    }
    size_t line = word_count - done < words_per_line ? word_count - done : words_per_line;
    encode_words(chunk + 8 * done, line, big_endian, position);
    position += encoded_word_size * line;
    done += line;
  }
  return static_cast<size_t>(position - out);
}

size_t encode_chunk(const uint8_t* chunk, size_t word_count, bool big_endian, char* out) {
  return encode_chunk_with(fastest_word_encoder(), chunk, word_count, big_endian, out);
}

int write_data_array(builder_context& context) {
  unsigned long long word_count = context.file_size / 8 + (context.file_size % 8 != 0);
  if (prepare_text(context, data_open, context.flat_name, word_count) < 0) {
    out_printf(L"failed to prepare data opening tag [%hs]\n", context.flat_name);
    return -1;
  }
  if (!write_prepared(context, context.h_dst_cpp)) {
    out_printf(L"failed to write data opening tag [%hs]\n", context.text_buffer);
    return -1;
  }

  // A chunk after the first is written behind a ", ", so that its first
  // word follows the last word before it on the same line.
  size_t offset = 0;
  while (context.remaining > 0 && context.read_count > 0) {
    size_t padded = (take_chunk(context) + 7) & ~size_t{7};

    memcpy(context.text_buffer, chunk_join, offset);
    if (!prepare_chunk(context, offset, padded / 8)) {
      out_printf(L"failed to prepare data [%hs]\n", context.text_buffer);
      return close_after_failure(context);
    }
    if (!write_prepared(context, context.h_dst_cpp)) {
      context.text_buffer[context.text_length] = 0;
      out_printf(L"failed to write data [%hs]\n", context.text_buffer);
      return -1;
    }
    offset = 2;

    context.read_count = context.h_src.read(context.read_buffer, static_cast<uint32_t>(context.read_size));
    if (context.read_count < 0) {
      out_printf(L"failed to read data %llu bytes remaining\n", static_cast<unsigned long long>(context.remaining));
      return close_after_failure(context);
    }
  }
  return write_closing(context) ? 0 : -1;
}
