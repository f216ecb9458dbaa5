#pragma once
// The rule of the optional dependency file: a Make-style rule naming the target
// and every file embedded and directory searched, so that a build tool reruns
// the generator when a file changes or a directory gains or loses an item.
// Paths are written relative to the directory the tool started in (unless a
// source or directory change was absolute), following the -d changes.
#include <cstddef>
#include <cstdint>

struct builder_context;

/// Creates the file and writes the rule's head for target (and the other
/// outputs beside it, those not null); false after a message when it cannot
/// be created.
bool open_dependency_file(builder_context& context, const wchar_t* name, const wchar_t* target,
                          const wchar_t* second_target = nullptr, const wchar_t* third_target = nullptr);
/// Follows a successful change of the current directory.
void note_directory_change(builder_context& context, const wchar_t* directory);
/// Adds the first length characters of path (relative to the current
/// directory); an empty path is the current directory itself.
void note_dependency(builder_context& context, const wchar_t* path, size_t length);
/// Ends the rule and closes the file.
void finish_dependency_file(builder_context& context);

/// Escapes the UTF-8 path for a Make-style rule (space, '#', '$'; '\\'
/// becomes '/'). Returns the length written, or -1 when out is too small or
/// the path holds a line break, which no rule can express.
int64_t escape_dependency_path(const char* path, size_t length, char* out, size_t capacity);
