#pragma once
// The optional dependency file of a run: a Make-style rule naming the target
// and every file embedded and directory searched, so that a build tool reruns
// the generator when a file changes or a directory gains or loses an item.
// Paths are written relative to the directory the tool started in (unless a
// source or directory change was absolute), following the -d changes.
#include <cstddef>
#include <cstdint>

#include "io/file_handle.h"

struct builder_context;

struct dependency_file {
  file_handle file;
  uint8_t* block;          // the three buffers below, taken at start-up
  uint64_t block_size;
  wchar_t* prefix;         // the current directory seen from the start directory, "" or ending in '/'
  size_t prefix_length;
  char* scratch;           // UTF-8 of one path
  size_t scratch_capacity;
  char* line;              // one escaped line of the rule
  size_t line_capacity;
};

/// Takes the buffers; false (after a message) when there is no memory.
bool reserve_dependency_file(dependency_file& deps);
/// Creates the file and writes the rule's head for target; false after a
/// message when it cannot be created.
bool open_dependency_file(builder_context& context, const wchar_t* name, const wchar_t* target);
/// Follows a successful change of the current directory.
void note_directory_change(builder_context& context, const wchar_t* directory);
/// Adds the first length characters of path (relative to the current
/// directory); an empty path is the current directory itself.
void note_dependency(builder_context& context, const wchar_t* path, size_t length);
/// Ends the rule and closes the file.
void finish_dependency_file(builder_context& context);
/// Closes the file and gives the buffers back.
void release_dependency_file(dependency_file& deps);

/// Escapes the UTF-8 path for a Make-style rule (space, '#', '$'; '\\'
/// becomes '/'). Returns the length written, or -1 when out is too small or
/// the path holds a line break, which no rule can express.
int64_t escape_dependency_path(const char* path, size_t length, char* out, size_t capacity);
