#include "context/identifier_table.h"

#include <cstring>

#include "platform/platform.h"

namespace {

// The first storage: slots for 32,768 names, kept at most half full so that
// the probe sequences stay short, and 1 MiB of names.
constexpr size_t first_slot_count = size_t{1} << 16;
constexpr size_t first_arena_bytes = size_t{1} << 20;
// Every level of a walk path takes at least two characters ("a/").
constexpr size_t max_scope_depth = 0x10000;

uint64_t hash_of(uint64_t scope, const char* key, size_t key_length) {
  uint64_t h = 14695981039346656037ull ^ (scope * 0x9e3779b97f4a7c15ull);
  for (size_t i = 0; i < key_length; ++i) h = (h ^ static_cast<unsigned char>(key[i])) * 1099511628211ull;
  return h;
}

// An entry in the arena: u64 scope, u64 key length, the key, padded to 8 bytes.
size_t entry_bytes(size_t key_length) { return 16 + (key_length + 7) / 8 * 8; }

}  // namespace

identifier_table::~identifier_table() { release(); }

bool identifier_table::reserve() {
  if (slots_) return true;
  slots_ = static_cast<uint64_t*>(platform::allocate_zeroed(first_slot_count * sizeof(uint64_t)));
  arena_ = static_cast<char*>(platform::allocate_zeroed(first_arena_bytes));
  scope_stack_ = static_cast<uint64_t*>(platform::allocate_zeroed(max_scope_depth * sizeof(uint64_t)));
  slot_count_ = first_slot_count;
  arena_bytes_ = first_arena_bytes;
  if (!slots_ || !arena_ || !scope_stack_) {
    release();
    return false;
  }
  return true;
}

void identifier_table::release() {
  if (slots_) platform::free_zeroed(slots_, slot_count_ * sizeof(uint64_t));
  if (arena_) platform::free_zeroed(arena_, arena_bytes_);
  if (scope_stack_) platform::free_zeroed(scope_stack_, max_scope_depth * sizeof(uint64_t));
  slots_ = nullptr;
  arena_ = nullptr;
  scope_stack_ = nullptr;
  slot_count_ = arena_bytes_ = 0;
  arena_used_ = entries_ = scope_depth_ = 0;
  scope_ = scopes_opened_ = 1;
  full_ = false;
}

size_t identifier_table::slot_of(uint64_t scope, const char* key, size_t key_length) const {
  size_t mask = slot_count_ - 1;
  for (size_t i = hash_of(scope, key, key_length) & mask;; i = (i + 1) & mask) {
    if (slots_[i] == 0) return i;
    const char* entry = arena_ + (slots_[i] - 1);
    uint64_t stored[2];
    memcpy(stored, entry, sizeof stored);
    if (stored[0] == scope && stored[1] == key_length && memcmp(entry + 16, key, key_length) == 0) return i;
  }
}

bool identifier_table::grow_slots() {
  size_t count = slot_count_ * 2;
  auto* slots = static_cast<uint64_t*>(platform::allocate_zeroed(count * sizeof(uint64_t)));
  if (!slots) return false;
  for (size_t i = 0; i < slot_count_; ++i) {
    if (slots_[i] == 0) continue;
    const char* entry = arena_ + (slots_[i] - 1);
    uint64_t stored[2];
    memcpy(stored, entry, sizeof stored);
    size_t at = hash_of(stored[0], entry + 16, static_cast<size_t>(stored[1])) & (count - 1);
    while (slots[at] != 0) at = (at + 1) & (count - 1);
    slots[at] = slots_[i];
  }
  platform::free_zeroed(slots_, slot_count_ * sizeof(uint64_t));
  slots_ = slots;
  slot_count_ = count;
  return true;
}

bool identifier_table::grow_arena(size_t needed) {
  size_t bytes = arena_bytes_ * 2;
  while (bytes < needed) bytes *= 2;
  char* arena = static_cast<char*>(platform::allocate_zeroed(bytes));
  if (!arena) return false;
  memcpy(arena, arena_, arena_used_);
  platform::free_zeroed(arena_, arena_bytes_);
  arena_ = arena;
  arena_bytes_ = bytes;
  return true;
}

bool identifier_table::taken(const char* key, size_t key_length, bool global) const {
  if (!slots_) return false;
  return slots_[slot_of(global ? 0 : scope_, key, key_length)] != 0;
}

bool identifier_table::add(const char* key, size_t key_length, bool global) {
  if (!slots_ || full_) {
    full_ = true;
    return false;
  }
  uint64_t scope = global ? 0 : scope_;
  size_t i = slot_of(scope, key, key_length);
  if (slots_[i] != 0) return true;
  size_t size = entry_bytes(key_length);
  if (entries_ == max_entries_ || (arena_used_ + size > arena_bytes_ && !grow_arena(arena_used_ + size))) {
    full_ = true;
    return false;
  }
  if (entries_ + 1 > slot_count_ / 2) {
    if (!grow_slots()) {
      full_ = true;
      return false;
    }
    i = slot_of(scope, key, key_length);
  }
  char* entry = arena_ + arena_used_;
  uint64_t stored[2] = {scope, key_length};
  memcpy(entry, stored, sizeof stored);
  memcpy(entry + 16, key, key_length);
  slots_[i] = arena_used_ + 1;
  arena_used_ += size;
  ++entries_;
  return true;
}

bool identifier_table::is_set_word(const char* key, size_t key_length) const {
  size_t length = set_name_.size();
  if (length == 0 || key_length < length || memcmp(key, set_name_.data(), length) != 0) return false;
  return key_length == length || (key_length == length + 5 && memcmp(key + length, "_data", 5) == 0);
}

void identifier_table::push_scope() {
  if (!scope_stack_ || scope_depth_ == max_scope_depth) {
    // Deeper than any walk path can reach; the names below cannot be told apart.
    full_ = true;
    ++scope_depth_;
    return;
  }
  scope_stack_[scope_depth_++] = scope_;
  scope_ = ++scopes_opened_;
}

void identifier_table::pop_scope() {
  if (scope_depth_ == 0) return;
  if (--scope_depth_ < max_scope_depth && scope_stack_) scope_ = scope_stack_[scope_depth_];
}
