#pragma once
// The incbin data form: the bytes go into the binary file beside the target,
// and the target binds each data array to its place there with .incbin.
#include <cstddef>
#include <cstdint>

#include "context/builder_context.h"
#include "generator/data/from_memory.h"

/// Checks that the target can have a binary file and makes the name the
/// generated code gives it; false after a message (nothing is written).
bool prepare_data_binary(builder_context& context, const wchar_t* target);

/// Creates DST.bin beside the target (or, appending, goes on at its end)
/// and writes the form's macro into the target's data namespace; false
/// after a message.
bool open_data_binary(builder_context& context, const wchar_t* target, bool append);

/// Copies the file in h_src (its first chunk already in read_buffer) into
/// the binary file and writes its data array, bound to those bytes, and its
/// path array into h_dst_cpp, formatted within text_room bytes of
/// text_buffer. 0, or -1 after printing what failed.
int write_data_incbin(builder_context& context, const char* path_literal, uint64_t text_room);

/// Adds size bytes from memory, padded to a multiple of 8, to the bytes
/// that follow the binary file's (out.binary), and the binding of the array
/// name to them to out.text; false after printing what failed.
bool write_incbin_from_memory(builder_context& context, memory_arrays& out, const char* name, const uint8_t* bytes,
                              uint64_t size);
