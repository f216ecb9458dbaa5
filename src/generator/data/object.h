#pragma once
// The object form: the bytes go into a relocatable object file beside the
// target (DST.data.o, or DST.data.obj for COFF), which the build links as
// it is, and the target declares each data array's symbol with C linkage
// and binds the array's name to it.
#include <cstdint>

#include "context/builder_context.h"

/// Resolves the format (format_name, or the platform's own when null) and
/// checks that the run can write an object: a target file, not the standard
/// output, and no appending. False after a message (nothing is written).
bool prepare_data_object(builder_context& context, const wchar_t* target, const wchar_t* format_name, bool append);

/// Creates the object under a temporary name (DST.data.o.tmp) with room for
/// its header, and the two parts of its symbol table; leaves the object's
/// own name in pNAME_DST. False after a message (nothing of it is left).
bool open_data_object(builder_context& context, const wchar_t* target);

/// Copies the file in h_src (its first chunk already in read_buffer) into
/// the data section, adds its symbol, and writes the declaration of its data
/// array and its path array into h_dst_cpp, formatted within text_room bytes
/// of text_buffer. 0, or -1 after printing what failed.
int write_data_object(builder_context& context, const char* path_literal, uint64_t text_room);

/// Copies size bytes from memory into the data section and binds the array
/// name (in the namespace open in h_dst_cpp) to them; false after printing
/// what failed.
bool write_object_from_memory(builder_context& context, const char* name, const uint8_t* bytes, uint64_t size);

/// Writes the symbol table and the header and gives the object its name, in
/// one step, so that no name ever holds a partial object. When any write of
/// the object failed, it is removed instead, and so is an object of an
/// earlier run under its name, which the new target does not describe.
/// Called after the walk, before the target is finished.
void finish_data_object(builder_context& context);
