#pragma once
// The Content-Type a file is served with, as the kit's default
// content_rules make it: its served MIME type (metadata/content_type.h)
// and the charset its byte-order mark gives for text.
#include <cstdint>
#include <string>

/// The Content-Type value of that file with the text encoding of its
/// byte-order mark ("text/css", "text/html; charset=utf-8").
std::string served_content_type(int content_type, int32_t text_encoding, const wchar_t* name);
