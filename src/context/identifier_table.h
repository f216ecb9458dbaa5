#pragma once
// Remembers the identifiers given out in a run, so that an item whose name
// meets an earlier one's in the same scope can be given another. Its
// storage starts small and doubles as names arrive, so that it holds the
// names of any tree that memory holds: 16 bytes of slots and 16 bytes plus
// the name (rounded up to 8) per name, two names per file and one per
// directory.
#include <cstddef>
#include <cstdint>
#include <string>

class identifier_table {
 public:
  identifier_table() = default;
  /// max_entries bounds the names it takes (without it: as many as memory holds).
  explicit identifier_table(size_t max_entries) : max_entries_(max_entries) {}
  ~identifier_table();
  identifier_table(const identifier_table&) = delete;
  identifier_table& operator=(const identifier_table&) = delete;

  /// Takes the storage; false when it cannot be had.
  bool reserve();
  void release();

  /// The default bound: far beyond any tree, below the 64-bit offsets' limit.
  static constexpr size_t default_max_entries = size_t{1} << 40;

  /// True when key is taken in the current scope, or among the global names.
  bool taken(const char* key, size_t key_length, bool global) const;
  /// Records key; false when the table is full (its bound reached, or no
  /// memory to grow), and then it can no longer tell which names are free.
  bool add(const char* key, size_t key_length, bool global);

  /// Scopes follow the namespaces: push when one is entered, pop when left.
  /// Every push opens a scope of its own, apart from any earlier one.
  void push_scope();
  void pop_scope();

  /// True once a name or a scope could not be recorded.
  bool full() const { return full_; }

  /// Makes the namespaces of the set named name (name and name_data) words
  /// that no identifier may be, as the default set's are always.
  void reserve_set_name(const char* name) { set_name_ = name; }
  /// True for those two words.
  bool is_set_word(const char* key, size_t key_length) const;

 private:
  /// The slot that holds key in scope, or the empty slot where it would go.
  size_t slot_of(uint64_t scope, const char* key, size_t key_length) const;
  /// Doubles the slots (the entries hashed again) or the arena; false when
  /// there is no memory for it.
  bool grow_slots();
  bool grow_arena(size_t needed);

  uint64_t* slots_ = nullptr;  // arena offset + 1 of each entry, 0 when empty
  size_t slot_count_ = 0;      // a power of two
  char* arena_ = nullptr;
  size_t arena_bytes_ = 0;
  uint64_t* scope_stack_ = nullptr;
  size_t arena_used_ = 0;
  size_t entries_ = 0;
  size_t max_entries_ = default_max_entries;
  size_t scope_depth_ = 0;
  uint64_t scope_ = 1;  // 0 is the global scope, 1 the root
  uint64_t scopes_opened_ = 1;
  bool full_ = false;
  std::string set_name_;
};
