#pragma once
// What the embedding learns of the file in h_src, kept in the context's
// per-file fields: its text encoding, its content type and its date.
#include <cstdint>

#include "context/builder_context.h"

/// Sets text_encoding, bom_length, size_without_bom (which held the file
/// size) and utf16_length from the start of read_buffer.
void detect_text_encoding(builder_context& context);

/// detect_content_type on the context's flat_name; also stores the result
/// in content_type.
int detect_content_type(builder_context& context);

/// Fills http_date and http_date_lower (32 bytes each) from the last-write
/// time of source, dated at latest_file_time when later; a failed time
/// query leaves its code in last_error and takes time 0.
void make_http_date(file_handle& source, char* http_date, char* http_date_lower, uint64_t latest_file_time = no_clamp);
