#include "generator/data/binary_stream.h"

#include <cstring>

#include "generator/data/words.h"
#include "generator/extras/content_hash.h"
#include "generator/text_output.h"
#include "support/format.h"
#include "support/system_error.h"

using namespace platform;

bool append_binary(builder_context& context, const uint8_t* bytes, uint64_t length) {
  data_binary_file& binary = context.binary;
  if (!binary.file.opened) {
    out_printf(L"failed to write %ls [%hs]: an earlier write failed\n", binary.label, binary.name_literal);
    return false;
  }
  // Pieces of at most 1 GiB, which any one write takes.
  constexpr uint64_t piece_limit = uint64_t{1} << 30;
  for (uint64_t done = 0; done < length;) {
    uint64_t piece = length - done < piece_limit ? length - done : piece_limit;
    if (binary.file.write(bytes + done, static_cast<uint32_t>(piece)) < 0) {
      out_printf(L"failed to write %ls [%hs]\n", binary.label, binary.name_literal);
      print_system_error(standard_stream::output, binary.file.write_error);
      context.output_incomplete = 1;
      binary.file.close();
      return false;
    }
    done += piece;
    binary.size += piece;
  }
  return true;
}

bool append_zeros(builder_context& context, uint64_t length) {
  while (length > 0) {
    uint64_t piece = length < context.read_size ? length : context.read_size;
    memset(context.read_buffer, 0, piece);
    if (!append_binary(context, context.read_buffer, piece)) return false;
    length -= piece;
  }
  return true;
}

bool append_source(builder_context& context, content_hasher& hash) {
  uint64_t padded_size = (context.file_size + 7) & ~uint64_t{7};
  uint64_t copied = 0;
  bool read_failed = false;
  while (context.remaining > 0 && context.read_count > 0) {
    size_t padded = (take_chunk(context) + 7) & ~size_t{7};
    hash.add(context.read_buffer, padded);
    if (!append_binary(context, context.read_buffer, padded)) return false;
    copied += padded;
    context.read_count = context.h_src.read(context.read_buffer, static_cast<uint32_t>(context.read_size));
    if (context.read_count < 0) {
      out_printf(L"failed to read data %llu bytes remaining\n", static_cast<unsigned long long>(context.remaining));
      read_failed = true;
      break;
    }
  }
  if (!append_zeros(context, padded_size - copied)) return false;
  if (read_failed) context.output_incomplete = 1;
  return !read_failed;
}

unsigned long long gather_padded(std::string& pending, const uint8_t* bytes, uint64_t size) {
  pending.append(reinterpret_cast<const char*>(bytes), static_cast<size_t>(size));
  pending.append(static_cast<size_t>((8 - size % 8) % 8), '\0');
  content_hasher hasher;
  hasher.add(&size, sizeof size);
  hasher.add(bytes, static_cast<size_t>(size));
  return static_cast<unsigned long long>(hasher.finish64());
}

bool write_data_text(builder_context& context, const char* id) {
  if (context.text_length < 0) {
    out_printf(L"failed to prepare data opening tag [%hs]\n", id);
    return false;
  }
  if (!write_prepared(context, context.h_dst_cpp)) {
    out_printf(L"failed to write data [%hs]\n", context.text_buffer);
    return false;
  }
  return true;
}
