#include "generator/data/binary_stream.h"

#include <cstring>

#include "generator/extras/content_hash.h"
#include "generator/text_output.h"
#include "support/format.h"
#include "support/system_error.h"

using namespace platform;

bool binary_form::writes(const file_handle& source) const { return binary_.file.is_file_of(source); }

void binary_form::begin_bytes(uint64_t size) {
  offset_ = binary_.size;
  copied_ = 0;
  hash_.reset();
  hash_.add(&size, sizeof size);
}

bool binary_form::write_chunk(builder_context& context, size_t bytes) {
  size_t padded = (bytes + 7) & ~size_t{7};
  hash_.add(context.read_buffer, padded);
  if (!append_binary(binary_, context.read_buffer, padded)) return false;
  copied_ += padded;
  return true;
}

bool binary_form::end_bytes(builder_context& context) {
  uint64_t padded_size = (context.file_size + 7) & ~uint64_t{7};
  return append_zeros(binary_, padded_size - copied_, context.read_buffer, context.read_size);
}

void binary_form::end_after_read_failure(builder_context& context) { end_bytes(context); }

bool binary_form::write_gathered(const memory_arrays& out) {
  return out.binary.empty() ||
         append_binary(binary_, reinterpret_cast<const uint8_t*>(out.binary.data()), out.binary.size());
}

namespace {

bool all_zero(const uint8_t* bytes, uint64_t length) {
  for (uint64_t i = 0; i < length; ++i)
    if (bytes[i] != 0) return false;
  return true;
}

bool fail_write(binary_file& binary, uint32_t error) {
  out_printf(L"failed to write %ls [%hs]\n", binary.label, binary.name_literal);
  print_system_error(standard_stream::output, error);
  binary.failed = true;
  binary.file.close();
  return false;
}

}  // namespace

bool append_binary(binary_file& binary, const uint8_t* bytes, uint64_t length) {
  if (!binary.file.opened) {
    out_printf(L"failed to write %ls [%hs]: an earlier write failed\n", binary.label, binary.name_literal);
    return false;
  }
  // Pieces of at most 1 GiB, which any one write takes. A piece of zeros is
  // passed over, as a hole where the file system makes one (sparse files
  // embedded as they are); a later write or end_binary fills it in.
  constexpr uint64_t piece_limit = uint64_t{1} << 30;
  for (uint64_t done = 0; done < length;) {
    uint64_t piece = length - done < piece_limit ? length - done : piece_limit;
    bool hole = piece >= hole_bytes && all_zero(bytes + done, piece);
    if (hole ? !binary.file.seek(static_cast<int64_t>(piece), file_current)
             : binary.file.write(bytes + done, static_cast<uint32_t>(piece)) < 0)
      return fail_write(binary, hole ? binary.file.last_error : binary.file.write_error);
    binary.ends_in_hole = hole;
    done += piece;
    binary.size += piece;
  }
  return true;
}

bool end_binary(binary_file& binary) {
  if (!binary.file.opened || !binary.ends_in_hole) return binary.file.opened;
  binary.ends_in_hole = false;
  return binary.file.set_eof() || fail_write(binary, binary.file.write_error);
}

bool append_zeros(binary_file& binary, uint64_t length, uint8_t* scratch, uint64_t scratch_size) {
  while (length > 0) {
    uint64_t piece = length < scratch_size ? length : scratch_size;
    memset(scratch, 0, piece);
    if (!append_binary(binary, scratch, piece)) return false;
    length -= piece;
  }
  return true;
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
  if (!write_prepared(context, *context.data_file)) {
    out_printf(L"failed to write data [%hs]\n", context.text_buffer);
    return false;
  }
  return true;
}
