#pragma once
// The object file format of the system the tool runs on, which the object
// data form writes when no format is named.
namespace platform {

/// The format's name as "-m object:<format>" gives it ("elf-x86-64",
/// "coff-x86-64", ...), or null where the tool writes no object for this
/// system.
const wchar_t* native_object_format();

}  // namespace platform
