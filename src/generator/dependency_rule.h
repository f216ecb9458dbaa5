#pragma once
// The rule of the optional dependency file: a Make-style rule naming the target
// and every file embedded and directory searched, so that a build tool reruns
// the generator when a file changes or a directory gains or loses an item.
// Paths are written relative to the directory the tool started in (unless a
// source or directory change was absolute), following the -d changes.
//
// Every operation that writes returns false when the rule can no longer be
// whole (a path it cannot name, a failed write): the run's output is then
// incomplete.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "io/file_handle.h"

/// The dependency file and the buffers in which its paths are made, taken
/// once when the switch asks for it and given back when the rule goes.
struct dependency_rule {
  file_handle file;
  uint8_t* block = nullptr;  // the three buffers below
  uint64_t block_size = 0;
  wchar_t* prefix = nullptr;  // the current directory seen from the start directory, "" or ending in '/'
  size_t prefix_length = 0;
  char* scratch = nullptr;  // UTF-8 of one path
  size_t scratch_capacity = 0;
  char* line = nullptr;  // one escaped line of the rule
  size_t line_capacity = 0;

  dependency_rule() = default;
  ~dependency_rule();
  dependency_rule(const dependency_rule&) = delete;
  dependency_rule& operator=(const dependency_rule&) = delete;
};

/// Characters of the directory prefix (the size of the tool's wide path buffers).
inline constexpr size_t dependency_prefix_characters = 0x20000 / sizeof(wchar_t);

/// Takes the buffers; false (after a message) when there is no memory.
bool reserve_dependency_rule(dependency_rule& deps);

/// Creates the file and writes the rule's head for the targets (the target
/// and the other outputs beside it); false after a message when it cannot
/// be created or a name cannot be written.
bool open_dependency_file(dependency_rule& deps, const wchar_t* name, const std::vector<const wchar_t*>& targets);
/// Follows a successful change of the current directory; false after a
/// message when the prefix cannot hold it.
bool note_directory_change(dependency_rule& deps, const wchar_t* directory);
/// Adds the first length characters of path (relative to the current
/// directory); an empty path is the current directory itself. False after
/// a message when the path cannot be written.
bool note_dependency(dependency_rule& deps, const wchar_t* path, size_t length);
/// Ends the rule and closes the file; false when the last write failed.
bool finish_dependency_file(dependency_rule& deps);

/// Escapes the UTF-8 path for a Make-style rule (space, '#', '$'; '\\'
/// becomes '/'). Returns the length written, or -1 when out is too small or
/// the path holds a line break, which no rule can express.
int64_t escape_dependency_path(const char* path, size_t length, char* out, size_t capacity);
