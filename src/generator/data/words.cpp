#include "generator/data/words.h"

#include <cstring>

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
  if (!write_prepared(context, *context.data_file)) {
    out_printf(L"failed to write data closing tag [%hs]\n", context.text_buffer);
    return false;
  }
  return true;
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

// Words per piece of an array from memory: as many as room bytes hold once
// encoded.
size_t words_per_piece(uint64_t text_room) {
  size_t room = static_cast<size_t>(text_room) - 2;
  size_t words = room / 21;
  while (words > 1 && encoded_chunk_size(words) > room) --words;
  return words;
}

// Encodes words words at bytes (size bytes from there on, the last word
// padded with zeros) into out; returns the length without the final ", ".
size_t encode_piece(const uint8_t* bytes, uint64_t size, size_t words, bool big_endian, char* out) {
  size_t length = 0;
  if (words * 8 <= size) {
    length = encode_chunk(bytes, words, big_endian, out);
  } else {
    // The piece that holds the partial last word goes through a padded copy.
    uint8_t tail[8] = {};
    size_t full = words - 1;
    length = encode_chunk(bytes, full, big_endian, out);
    memcpy(tail, bytes + 8 * full, static_cast<size_t>(size % 8));
    if (full > 0 && full % 400 == 0) {
      memcpy(out + length - 1, "\n\t\t", 3);
      length += 2;
    }
    length += encode_chunk(tail, 1, big_endian, out + length);
  }
  return length - 2;
}

}  // namespace

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

bool words_form::begin_file(builder_context& context, const char*) {
  unsigned long long word_count = context.file_size / 8 + (context.file_size % 8 != 0);
  if (prepare_text(context, data_open, context.flat_name, word_count) < 0) {
    out_printf(L"failed to prepare data opening tag [%hs]\n", context.flat_name);
    return false;
  }
  if (!write_prepared(context, *context.data_file)) {
    out_printf(L"failed to write data opening tag [%hs]\n", context.text_buffer);
    return false;
  }
  first_chunk_ = true;
  return true;
}

bool words_form::write_chunk(builder_context& context, size_t bytes) {
  size_t offset = first_chunk_ ? 0 : 2;
  memcpy(context.text_buffer, chunk_join, offset);
  if (!prepare_chunk(context, offset, ((bytes + 7) & ~size_t{7}) / 8)) {
    out_printf(L"failed to prepare data [%hs]\n", context.text_buffer);
    write_closing(context);
    context.output_incomplete = 1;
    return false;
  }
  if (!write_prepared(context, *context.data_file)) {
    context.text_buffer[context.text_length] = 0;
    out_printf(L"failed to write data [%hs]\n", context.text_buffer);
    return false;
  }
  first_chunk_ = false;
  return true;
}

bool words_form::end_file(builder_context& context, const char*) { return write_closing(context); }

// After a failure that leaves the target writable, the array still gets its
// closing so that the generated code compiles (the missing elements are
// zero); the run reports its output as incomplete.
void words_form::end_after_read_failure(builder_context& context) { write_closing(context); }

int write_data_array(builder_context& context) {
  words_form words;
  return write_file_data(context, words, nullptr, nullptr) ? 0 : -1;
}

bool words_form::write_from_memory(builder_context& context, memory_arrays& out, const char* name,
                                   const uint8_t* bytes, uint64_t size) {
  std::string& text = out.text;
  unsigned long long word_count = size / 8 + (size % 8 != 0);
  if (prepare_text(context, data_open, name, word_count) < 0) {
    out_printf(L"failed to prepare data opening tag [%hs]\n", name);
    return false;
  }
  text.append(context.text_buffer, static_cast<size_t>(context.text_length));
  size_t piece = words_per_piece(room_below_literals(context));
  for (uint64_t done = 0; done < word_count;) {
    size_t offset = done > 0 ? 2 : 0;  // ", " joins a piece to the one before
    memcpy(context.text_buffer, chunk_join, offset);
    uint64_t left = word_count - done;
    size_t words = left < piece ? static_cast<size_t>(left) : piece;
    size_t length = encode_piece(bytes + 8 * done, size - 8 * done, words, context.big_endian,
                                 context.text_buffer + offset);
    text.append(context.text_buffer, offset + length);
    done += words;
  }
  if (prepare_text(context, data_close) < 0) {
    out_printf(L"failed to prepare data closing tag [%hs]\n", name);
    return false;
  }
  text.append(context.text_buffer, static_cast<size_t>(context.text_length));
  return true;
}
