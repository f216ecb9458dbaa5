#pragma once
// The object form: the bytes go into a relocatable object file beside the
// target (DST.data.o, or DST.data.obj for COFF), which the build links as
// it is, and the target declares each data array's symbol with C linkage
// and binds the array's name to it.
#include <cstdint>

#include "context/builder_context.h"
#include "generator/data/from_memory.h"

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

/// Adds size bytes from memory to the bytes that follow the object's data
/// (out.binary), their symbol to out.symbols, and the binding of the array
/// name to it to out.text; false after printing what failed.
bool write_object_from_memory(builder_context& context, memory_arrays& out, const char* name, const uint8_t* bytes,
                              uint64_t size);

/// Adds the symbol of bytes that write_object_from_memory gathered, once
/// they are written; false after printing what failed.
bool add_object_symbol(builder_context& context, const memory_symbol& symbol);

/// Writes the symbol table and the header and gives the object its name, in
/// one step, so that no name ever holds a partial object. When any write of
/// the object failed, it is removed instead, and so is an object of an
/// earlier run under its name, which the new target does not describe.
/// Called after the walk, before the target is finished.
void finish_data_object(builder_context& context);

/// Removes the object that open_data_object created, when the run stops
/// before its walk.
void discard_data_object(builder_context& context);
