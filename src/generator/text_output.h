#pragma once
// The write step of generated text: every piece is formatted into the
// context's text buffer and written to its file in one call.
#include <cstdint>

#include "context/builder_context.h"

/// The top of text_buffer, which holds the escaped name and path of the
/// file being embedded while its other pieces are formatted below them.
inline constexpr uint64_t literal_room = 0x100000;

/// The bytes of text_buffer below that top.
inline uint64_t room_below_literals(const builder_context& context) { return context.text_capacity - literal_room; }

/// Formats into text_buffer; text_length becomes the length, or -1 when the
/// text cannot be prepared. Returns text_length.
int64_t prepare_text(builder_context& context, const char* format, ...);

/// Writes text_length bytes of text_buffer to the file. written becomes the
/// length, or -1 (with the file's write_error set); a failure also marks the
/// output as incomplete. True when the whole text was written.
bool write_prepared(builder_context& context, file_handle& file);

/// Writes length bytes the same way.
bool write_bytes(builder_context& context, file_handle& file, const char* bytes, int64_t length);

/// Writes a fixed text the same way, text_length being its length.
bool write_fixed(builder_context& context, file_handle& file, const char* text);

/// Appends the whole content of r_src to r_dst through text_buffer.
void copy_part(builder_context& context, file_handle& r_dst, file_handle& r_src);
