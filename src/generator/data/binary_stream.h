#pragma once
// What the incbin and object forms share: the bytes they write outside the
// target, into the context's data_binary_file (each file's bytes
// zero-padded to a multiple of 8, appended in walk order, binary.size
// counting them), the hash that names them, and the text that binds them.
#include <cstdint>
#include <string>

#include "context/builder_context.h"

class content_hasher;

/// Appends length bytes. After a failed write the file is closed, since the
/// offsets of later bytes would no longer be known, and the output is marked
/// incomplete; every later call then fails with a message too.
bool append_binary(builder_context& context, const uint8_t* bytes, uint64_t length);

/// Appends length zero bytes the same way.
bool append_zeros(builder_context& context, uint64_t length);

/// Copies the measured size of the file in h_src (its first chunk already
/// in read_buffer), padded with zeros to a multiple of 8, and adds what it
/// copied to hash. A file that ends early keeps its measured size, its
/// missing bytes zero, so that later offsets stay multiples of 8; the read
/// failure is reported and the output marked incomplete. False after a
/// message.
bool append_source(builder_context& context, content_hasher& hash);

/// Adds size bytes from memory, padded with zeros to a multiple of 8, to
/// pending (bytes that append_binary writes later), and returns the hash
/// that names them (the hash of their size and bytes).
unsigned long long gather_padded(std::string& pending, const uint8_t* bytes, uint64_t size);

/// Writes the data text prepared in text_buffer (text_length bytes; -1 when
/// it could not be prepared) into h_dst_cpp. False after the message, which
/// names id or the text.
bool write_data_text(builder_context& context, const char* id);
