#pragma once
// Remembers the identifiers given out in a run, so that two items that
// would get the same name in the same scope are caught before the second
// one produces code that cannot compile. Its storage is taken once at
// start-up; when it is full, later names are no longer checked.
#include <cstddef>
#include <cstdint>

class identifier_table {
 public:
  identifier_table() = default;
  ~identifier_table();
  identifier_table(const identifier_table&) = delete;
  identifier_table& operator=(const identifier_table&) = delete;

  /// Takes the storage; false when it cannot be had (the table stays off).
  bool reserve();
  void release();

  /// The path that took key (in the current scope, or among the global
  /// names) first, or null when the key is free.
  const wchar_t* find(const char* key, size_t key_length, bool global) const;
  /// Records key for path; a full table records nothing and sets full().
  void add(const char* key, size_t key_length, bool global, const wchar_t* path);

  /// Scopes follow the namespaces: push when one is entered, pop when left.
  void push_scope(const char* identifier, size_t length);
  void pop_scope();

  /// True once a name could not be recorded for lack of room.
  bool full() const { return full_; }

 private:
  /// The slot that holds key, or the empty slot where it would go.
  size_t slot_of(const char* key, size_t key_length, bool global) const;

  uint64_t* slots_ = nullptr;  // arena offset + 1 of each entry, 0 when empty
  char* arena_ = nullptr;
  size_t arena_used_ = 0;
  size_t entries_ = 0;
  char scope_[65536];
  size_t scope_length_ = 0;
  uint32_t scope_stack_[4096];
  size_t scope_depth_ = 0;
  size_t unrecorded_depth_ = 0;  // levels pushed beyond the stack or the scope's room
  bool full_ = false;
};
