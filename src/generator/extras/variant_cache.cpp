#include "generator/extras/variant_cache.h"

#include <cstring>
#include <cwchar>

#include "generator/extras/compression.h"
#include "generator/extras/content_hash.h"
#include "generator/output_set.h"
#include "io/file_handle.h"
#include "platform/cache_files.h"
#include "support/format.h"

using namespace platform;

namespace {

// An entry: the magic, the source's size, the two variants' lengths and the
// flags (8 bytes each, little-endian), the variants' bytes, and the hash of
// everything before it as checksum. A length, a truncation or a flipped
// byte anywhere makes the checksum or the sizes disagree.
constexpr char entry_magic[8] = {'v', 'e', 'x', 'v', 'a', 'r', '1', '\n'};
constexpr size_t header_bytes = 40;
constexpr size_t checksum_bytes = 16;
constexpr uint64_t flag_brotli_tried = 1;
constexpr uint32_t transfer_bytes = 1u << 30;

void put_u64(uint8_t* at, uint64_t value) {
  for (int i = 0; i < 8; ++i) at[i] = static_cast<uint8_t>(value >> (8 * i));
}

uint64_t get_u64(const uint8_t* at) {
  uint64_t value = 0;
  for (int i = 7; i >= 0; --i) value = value << 8 | at[i];
  return value;
}

bool read_all(file_handle& file, uint8_t* bytes, uint64_t size) {
  for (uint64_t done = 0; done < size;) {
    uint64_t left = size - done;
    int64_t got = file.read(bytes + done, static_cast<uint32_t>(left < transfer_bytes ? left : transfer_bytes));
    if (got <= 0) return false;
    done += static_cast<uint64_t>(got);
  }
  return true;
}

bool write_all(file_handle& file, const uint8_t* bytes, uint64_t size) {
  for (uint64_t done = 0; done < size;) {
    uint64_t left = size - done;
    uint32_t length = static_cast<uint32_t>(left < transfer_bytes ? left : transfer_bytes);
    if (file.write(bytes + done, length) != length) return false;
    done += length;
  }
  return true;
}

// The entry's variants, when its sizes and checksum hold.
bool parse_entry(const std::vector<uint8_t>& entry, uint64_t source_size, cached_variants& out) {
  if (entry.size() < header_bytes + checksum_bytes || memcmp(entry.data(), entry_magic, 8) != 0) return false;
  uint64_t brotli_length = get_u64(entry.data() + 16);
  uint64_t gzip_length = get_u64(entry.data() + 24);
  uint64_t payload = entry.size() - header_bytes - checksum_bytes;
  if (get_u64(entry.data() + 8) != source_size || brotli_length > payload || gzip_length != payload - brotli_length)
    return false;
  uint8_t checksum[checksum_bytes];
  content_hash_raw(entry.data(), entry.size() - checksum_bytes, checksum);
  if (memcmp(checksum, entry.data() + entry.size() - checksum_bytes, checksum_bytes) != 0) return false;
  const uint8_t* brotli = entry.data() + header_bytes;
  out.brotli.assign(brotli, brotli + brotli_length);
  out.gzip.assign(brotli + brotli_length, brotli + brotli_length + gzip_length);
  out.brotli_tried = (get_u64(entry.data() + 32) & flag_brotli_tried) != 0;
  return true;
}

}  // namespace

namespace {

bool is_absolute(const wchar_t* name) {
  bool separator = name[0] == L'/' || name[0] == L'\\';
  return separator || (name[0] && name[1] == L':');
}

// The current directory and a separator; empty when it cannot be had.
std::wstring current_directory() {
  std::wstring directory(get_current_directory(0, nullptr), L'\0');
  uint32_t length = directory.empty() ? 0 : get_current_directory(static_cast<uint32_t>(directory.size()), directory.data());
  if (length == 0 || length >= directory.size()) return {};
  directory.resize(length);
  return directory + L'/';
}

}  // namespace

void variant_cache::open(const wchar_t* target) {
  // Absolute, because -d changes the current directory during the run.
  if (!is_absolute(target)) directory_ = current_directory();
  directory_.append(target, extension_position(target));
  directory_ += L"cache";
  usable_ = create_directory(directory_.c_str());
  if (!usable_) {
    system_message message(last_error());
    out_printf(L"cannot create the variant cache [%s]: %s", directory_.c_str(), message.text());
  }
}

std::wstring variant_cache::entry_name(const char* hash, const wchar_t* suffix) const {
  std::wstring name = directory_ + L'/';
  for (const char* digit = hash; *digit; ++digit) name += static_cast<wchar_t>(*digit);
  return name + suffix;
}

bool variant_cache::find(const char* hash, uint64_t source_size, cached_variants& out) {
  if (!usable_) return false;
  std::wstring name = entry_name(hash, L"");
  file_handle file;
  file.silent = 1;
  file.literal = 1;
  file.open(name.c_str(), generic_read, open_existing, 0);
  if (!file.opened) {
    // A missing entry is the usual miss; anything else is worth a word.
    if (file.last_error != error_file_not_found)
      out_printf(L"cannot read cache entry [%s]: compressing again\n", name.c_str());
    return false;
  }
  uint64_t size = 0;
  std::vector<uint8_t> entry;
  bool read = file.size(&size) && size < (uint64_t{1} << 40);
  if (read) {
    entry.resize(static_cast<size_t>(size));
    read = read_all(file, entry.data(), size);
  }
  if (read && parse_entry(entry, source_size, out) && (out.brotli_tried || !brotli_available())) return true;
  out_printf(L"cache entry [%s] is damaged or incomplete: compressing again\n", name.c_str());
  return false;
}

void variant_cache::store(const char* hash, uint64_t source_size, const cached_variants& variants) {
  if (!usable_) return;
  std::vector<uint8_t> entry(header_bytes);
  memcpy(entry.data(), entry_magic, 8);
  put_u64(entry.data() + 8, source_size);
  put_u64(entry.data() + 16, variants.brotli.size());
  put_u64(entry.data() + 24, variants.gzip.size());
  put_u64(entry.data() + 32, variants.brotli_tried ? flag_brotli_tried : 0);
  entry.insert(entry.end(), variants.brotli.begin(), variants.brotli.end());
  entry.insert(entry.end(), variants.gzip.begin(), variants.gzip.end());
  entry.resize(entry.size() + checksum_bytes);
  content_hash_raw(entry.data(), entry.size() - checksum_bytes, entry.data() + entry.size() - checksum_bytes);

  std::wstring temporary = entry_name(hash, L".tmp");
  std::wstring name = entry_name(hash, L"");
  file_handle file;
  file.literal = 1;
  file.open(temporary.c_str(), generic_write, create_always, 0);
  bool created = file.opened;
  bool written = created && write_all(file, entry.data(), entry.size());
  bool closed = file.close() == 0;
  if (written && closed && replace_file(temporary.c_str(), name.c_str())) return;
  if (created) delete_file(temporary.c_str());
  out_printf(L"cannot write cache entry [%s]: it is made again on the next run\n", name.c_str());
}
