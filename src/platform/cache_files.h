#pragma once
// The directory operations of the variant cache and the object file: making
// a directory, putting a finished file under its name in one step, and
// removing one.
namespace platform {

/// Creates the directory; true when it exists afterwards (made now or before).
bool create_directory(const wchar_t* name);

/// Renames from to to, replacing a file named to in one step, so that a
/// reader sees the old file or the new one, never a part. False with the
/// last error set.
bool replace_file(const wchar_t* from, const wchar_t* to);

/// Deletes the file; false with the last error set.
bool delete_file(const wchar_t* name);

}  // namespace platform
