#pragma once
// Remembers the identifiers given out in a run, so that an item whose name
// meets an earlier one's in the same scope can be given another. Its
// storage is taken once at start-up; pages become resident only as names
// arrive.
#include <cstddef>
#include <cstdint>

class identifier_table {
 public:
  identifier_table() = default;
  ~identifier_table();
  identifier_table(const identifier_table&) = delete;
  identifier_table& operator=(const identifier_table&) = delete;

  /// Takes the storage; false when it cannot be had.
  bool reserve();
  void release();

  /// True when key is taken in the current scope, or among the global names.
  bool taken(const char* key, size_t key_length, bool global) const;
  /// Records key; false when the table is full (or has no storage), and
  /// then it can no longer tell which names are free.
  bool add(const char* key, size_t key_length, bool global);

  /// Scopes follow the namespaces: push when one is entered, pop when left.
  /// Every push opens a scope of its own, apart from any earlier one.
  void push_scope();
  void pop_scope();

  /// True once a name or a scope could not be recorded.
  bool full() const { return full_; }

 private:
  /// The slot that holds key in scope, or the empty slot where it would go.
  size_t slot_of(uint64_t scope, const char* key, size_t key_length) const;

  uint64_t* slots_ = nullptr;  // arena offset + 1 of each entry, 0 when empty
  char* arena_ = nullptr;
  uint64_t* scope_stack_ = nullptr;
  size_t arena_used_ = 0;
  size_t entries_ = 0;
  size_t scope_depth_ = 0;
  uint64_t scope_ = 1;  // 0 is the global scope, 1 the root
  uint64_t scopes_opened_ = 1;
  bool full_ = false;
};
