#include "context/identifier_table.h"

#include <cstring>
#include <cwchar>

#include "platform/platform.h"

namespace {

constexpr size_t slot_count = size_t{1} << 20;  // a power of two
constexpr size_t max_entries = slot_count / 2;  // keeps the probe sequences short
constexpr size_t arena_bytes = size_t{64} << 20;

uint64_t hash_of(const char* scope, size_t scope_length, const char* key, size_t key_length) {
  uint64_t h = 14695981039346656037ull;
  for (size_t i = 0; i < scope_length; ++i) h = (h ^ static_cast<unsigned char>(scope[i])) * 1099511628211ull;
  for (size_t i = 0; i < key_length; ++i) h = (h ^ static_cast<unsigned char>(key[i])) * 1099511628211ull;
  return h;
}

// An entry in the arena: u32 name length, the name (a mark, the scope, the
// key), then the wide path with its terminator, aligned for wchar_t.
size_t name_bytes(size_t name_length) {
  return (4 + name_length + alignof(wchar_t) - 1) / alignof(wchar_t) * alignof(wchar_t);
}

}  // namespace

identifier_table::~identifier_table() { release(); }

bool identifier_table::reserve() {
  if (slots_) return true;
  // Pages become resident only as names arrive, so a small run stays small.
  slots_ = static_cast<uint64_t*>(platform::allocate_zeroed(slot_count * sizeof(uint64_t)));
  arena_ = static_cast<char*>(platform::allocate_zeroed(arena_bytes));
  if (!slots_ || !arena_) {
    release();
    return false;
  }
  return true;
}

void identifier_table::release() {
  if (slots_) platform::free_zeroed(slots_, slot_count * sizeof(uint64_t));
  if (arena_) platform::free_zeroed(arena_, arena_bytes);
  slots_ = nullptr;
  arena_ = nullptr;
  arena_used_ = entries_ = 0;
}

size_t identifier_table::slot_of(const char* key, size_t key_length, bool global) const {
  const char* scope = global ? "" : scope_;
  size_t scope_length = global ? 0 : scope_length_;
  size_t name_length = scope_length + key_length + 1;
  char mark = global ? '=' : ':';
  uint64_t h = hash_of(scope, scope_length, key, key_length) ^ (global ? 0x9e3779b97f4a7c15ull : 0);
  for (size_t i = h & (slot_count - 1);; i = (i + 1) & (slot_count - 1)) {
    if (slots_[i] == 0) return i;
    const char* entry = arena_ + (slots_[i] - 1);
    uint32_t stored_length;
    memcpy(&stored_length, entry, 4);
    if (stored_length == name_length && entry[4] == mark && memcmp(entry + 5, scope, scope_length) == 0 &&
        memcmp(entry + 5 + scope_length, key, key_length) == 0)
      return i;
  }
}

const wchar_t* identifier_table::find(const char* key, size_t key_length, bool global) const {
  if (!slots_ || (!global && unrecorded_depth_ > 0)) return nullptr;
  size_t i = slot_of(key, key_length, global);
  if (slots_[i] == 0) return nullptr;
  const char* entry = arena_ + (slots_[i] - 1);
  uint32_t name_length;
  memcpy(&name_length, entry, 4);
  return reinterpret_cast<const wchar_t*>(entry + name_bytes(name_length));
}

void identifier_table::add(const char* key, size_t key_length, bool global, const wchar_t* path) {
  if (!slots_ || (!global && unrecorded_depth_ > 0)) return;
  size_t i = slot_of(key, key_length, global);
  if (slots_[i] != 0) return;
  const char* scope = global ? "" : scope_;
  size_t scope_length = global ? 0 : scope_length_;
  size_t name_length = scope_length + key_length + 1;  // a leading mark keeps global names apart
  size_t path_length = wcslen(path);
  size_t size = name_bytes(name_length) + (path_length + 1) * sizeof(wchar_t);
  if (entries_ == max_entries || arena_used_ + size > arena_bytes) {
    full_ = true;
    return;
  }
  char* entry = arena_ + arena_used_;
  uint32_t stored_length = static_cast<uint32_t>(name_length);
  memcpy(entry, &stored_length, 4);
  entry[4] = global ? '=' : ':';
  memcpy(entry + 5, scope, scope_length);
  memcpy(entry + 5 + scope_length, key, key_length);
  wmemcpy(reinterpret_cast<wchar_t*>(entry + name_bytes(name_length)), path, path_length + 1);
  slots_[i] = arena_used_ + 1;
  arena_used_ += size;
  ++entries_;
}

void identifier_table::push_scope(const char* identifier, size_t length) {
  if (unrecorded_depth_ > 0 || scope_depth_ == sizeof scope_stack_ / sizeof *scope_stack_ ||
      scope_length_ + length + 2 > sizeof scope_) {
    ++unrecorded_depth_;
    return;
  }
  scope_stack_[scope_depth_++] = static_cast<uint32_t>(scope_length_);
  memcpy(scope_ + scope_length_, identifier, length);
  scope_length_ += length;
  scope_[scope_length_++] = ':';
  scope_[scope_length_++] = ':';
}

void identifier_table::pop_scope() {
  if (unrecorded_depth_ > 0) {
    --unrecorded_depth_;
    return;
  }
  if (scope_depth_ > 0) scope_length_ = scope_stack_[--scope_depth_];
}
