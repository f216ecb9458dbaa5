#include "generator/extras/variant_cache.h"

#include <algorithm>
#include <cstring>
#include <cwchar>
#include <vector>

#include "generator/extras/content_hash.h"
#include "io/file_handle.h"
#include "platform/cache_files.h"
#include "platform/process.h"
#include "platform/system_time.h"
#include "support/format.h"

using namespace platform;

namespace {

// An entry: the magic, the source's size, the settings' length and the
// variants' lengths (8 bytes each, little-endian), the settings text, the
// variants' bytes, and the hash of everything before it as checksum. A
// length, a truncation or a flipped byte anywhere makes the checksum or the
// sizes disagree, and settings other than the run's make it someone else's.
constexpr char entry_magic[8] = {'v', 'e', 'x', 'v', 'a', 'r', '2', '\n'};
constexpr size_t header_bytes = 24 + 8 * coding_count;
constexpr size_t checksum_bytes = 16;
constexpr uint32_t transfer_bytes = 1u << 30;
// Digits of the settings' hash in an entry's name.
constexpr size_t settings_tag_digits = 8;
constexpr size_t entry_name_length = content_hash_digits + 1 + settings_tag_digits;
// File times count 100 ns.
constexpr uint64_t one_hour = 36000000000u;
// An entry is marked as used when it was last marked longer ago than this:
// fine enough to tell which entries a cache's runs still need, without a
// write on every hit.
constexpr uint64_t use_resolution = one_hour;
// A temporary file this old belongs to a run that died while writing it.
constexpr uint64_t abandoned_after = one_hour;

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

// The entry's variants, when its sizes, settings and checksum hold.
bool parse_entry(const uint8_t* entry, uint64_t size, uint64_t source_size, const std::string& settings,
                 variant_set& out) {
  if (size < header_bytes + checksum_bytes || memcmp(entry, entry_magic, 8) != 0) return false;
  uint64_t payload = size - header_bytes - checksum_bytes;
  uint64_t settings_length = get_u64(entry + 16);
  if (get_u64(entry + 8) != source_size || settings_length > payload) return false;
  uint64_t variants_length = payload - settings_length;
  uint64_t lengths[coding_count];
  for (int i = 0; i < coding_count; ++i) {
    lengths[i] = get_u64(entry + 24 + 8 * i);
    if (lengths[i] > variants_length) return false;
    variants_length -= lengths[i];
  }
  if (variants_length != 0) return false;
  uint8_t checksum[checksum_bytes];
  content_hash_raw(entry, static_cast<size_t>(size - checksum_bytes), checksum);
  if (memcmp(checksum, entry + size - checksum_bytes, checksum_bytes) != 0) return false;
  const uint8_t* at = entry + header_bytes;
  if (settings_length != settings.size() || memcmp(at, settings.data(), settings.size()) != 0) return false;
  at += settings_length;
  for (int i = 0; i < coding_count; ++i) {
    out.bytes[i].assign(at, at + lengths[i]);
    at += lengths[i];
  }
  return true;
}

bool is_hex(wchar_t c) { return (c >= L'0' && c <= L'9') || (c >= L'a' && c <= L'f'); }

// True for the name of an entry: the content hash, a dash, the settings tag.
bool is_entry_name(const std::wstring& name) {
  if (name.size() != entry_name_length || name[content_hash_digits] != L'-') return false;
  for (size_t i = 0; i < name.size(); ++i)
    if (i != content_hash_digits && !is_hex(name[i])) return false;
  return true;
}

bool ends_with(const std::wstring& text, const wchar_t* end) {
  size_t length = wcslen(end);
  return text.size() >= length && text.compare(text.size() - length, length, end) == 0;
}

// True for the name of an entry's temporary file, as store writes it: the
// entry's name, a dot, and ".tmp" at the end. Other files of the directory
// are not the cache's.
bool is_entry_temporary(const std::wstring& name) {
  return name.size() > entry_name_length && name[entry_name_length] == L'.' &&
         is_entry_name(name.substr(0, entry_name_length)) && ends_with(name, L".tmp");
}

void report(const wchar_t* format, const std::wstring& name) {
  system_message message(last_error());
  out_printf(format, name.c_str(), message.text());
}

}  // namespace

void variant_cache::open(const std::wstring& directory, const std::string& settings) {
  directory_ = directory;
  settings_ = settings;
  char tag[content_hash_digits + 1];
  content_hasher hasher;
  hasher.add(settings.data(), settings.size());
  hasher.finish(tag);
  settings_tag_.assign(tag, tag + settings_tag_digits);
  usable_ = create_directories(directory_.c_str());
  if (!usable_) report(L"cannot create the variant cache [%s]: %s", directory_);
}

std::wstring variant_cache::entry_name(const char* hash) const {
  std::wstring name = directory_ + L'/';
  for (const char* digit = hash; *digit; ++digit) name += static_cast<wchar_t>(*digit);
  return name + L'-' + settings_tag_;
}

bool variant_cache::find(const char* hash, uint64_t source_size, variant_set& out) {
  if (!usable_) return false;
  std::wstring name = entry_name(hash);
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
  uint64_t written_at = 0;
  // No whole entry is larger than its settings and a variant of each coding
  // smaller than the source: a larger file is damaged, and is not read into
  // memory.
  uint64_t largest = header_bytes + settings_.size() + coding_count * source_size + checksum_bytes;
  bool read = file.size(&size) && size <= largest && size < (uint64_t{1} << 40);
  if (read) {
    // One buffer for every entry of the run: it only grows.
    if (entry_.size() < size) entry_.resize(static_cast<size_t>(size));
    read = read_all(file, entry_.data(), size);
  }
  if (!read || !parse_entry(entry_.data(), size, source_size, settings_, out)) {
    out_printf(L"cache entry [%s] is damaged or incomplete: compressing again\n", name.c_str());
    return false;
  }
  // Marked as used for the trimming of a size-limited cache; a failure only
  // makes the entry look older than it is.
  if (file.write_time(&written_at) && current_file_time() - written_at > use_resolution) touch_file(name.c_str());
  return true;
}

void variant_cache::store(const char* hash, uint64_t source_size, const variant_set& variants) {
  if (!usable_) return;
  std::vector<uint8_t> entry(header_bytes);
  memcpy(entry.data(), entry_magic, 8);
  put_u64(entry.data() + 8, source_size);
  put_u64(entry.data() + 16, settings_.size());
  for (int i = 0; i < coding_count; ++i) put_u64(entry.data() + 24 + 8 * i, variants.bytes[i].size());
  entry.insert(entry.end(), settings_.begin(), settings_.end());
  for (const std::vector<uint8_t>& variant : variants.bytes) entry.insert(entry.end(), variant.begin(), variant.end());
  entry.resize(entry.size() + checksum_bytes);
  content_hash_raw(entry.data(), entry.size() - checksum_bytes, entry.data() + entry.size() - checksum_bytes);

  // A name no other writer uses, also another run sharing the directory
  // (its process identifier) or another machine's run (the time).
  std::wstring name = entry_name(hash);
  wchar_t suffix[64];
  format_wide(suffix, 64, L".%u-%llu-%llx.tmp", process_id(), static_cast<unsigned long long>(++temporaries_),
              static_cast<unsigned long long>(current_file_time()));
  std::wstring temporary = name + suffix;
  file_handle file;
  file.literal = 1;
  file.open(temporary.c_str(), generic_write, create_always, 0);
  bool created = file.opened;
  bool written = created && write_all(file, entry.data(), entry.size());
  bool closed = file.close() == 0;
  if (written && closed && replace_file(temporary.c_str(), name.c_str())) return;
  if (created) delete_file(temporary.c_str());
  // Another run may have put the same entry there first, and a system may
  // refuse to replace a file that a third is reading: the entry is there.
  file_handle existing;
  existing.silent = 1;
  existing.literal = 1;
  if (written && closed && existing.open(name.c_str(), generic_read, open_existing, 0) == 0) return;
  out_printf(L"cannot write cache entry [%s]: it is made again on the next run\n", name.c_str());
}

cache_trim variant_cache::trim(uint64_t limit) {
  cache_trim removed;
  if (!usable_) return removed;
  file_lock lock;
  if (!lock.try_lock((directory_ + L"/lock").c_str())) return removed;  // another run is trimming
  std::vector<directory_file> files;
  if (!list_files(directory_.c_str(), files)) {
    report(L"cannot list the variant cache [%s] to trim it: %s", directory_);
    return removed;
  }
  uint64_t now = current_file_time();
  std::vector<directory_file*> entries;
  uint64_t total = 0;
  for (directory_file& file : files) {
    if (is_entry_name(file.name)) {
      entries.push_back(&file);
      total += file.size;
    } else if (is_entry_temporary(file.name) && now > file.write_time && now - file.write_time > abandoned_after) {
      delete_file((directory_ + L'/' + file.name).c_str());
    }
  }
  std::sort(entries.begin(), entries.end(), [](const directory_file* a, const directory_file* b) {
    return a->write_time != b->write_time ? a->write_time < b->write_time : a->name < b->name;
  });
  for (const directory_file* entry : entries) {
    if (total <= limit) break;
    std::wstring name = directory_ + L'/' + entry->name;
    if (!delete_file(name.c_str())) {
      report(L"cannot remove cache entry [%s]: %s", name);
      continue;
    }
    total -= entry->size;
    ++removed.entries;
    removed.bytes += entry->size;
  }
  return removed;
}
