#pragma once
// The Content-Type a file is served with, as the kit's default
// content_rules make it: the MIME type of its content type, corrected by
// its extension for the types browsers enforce (served_types.def), and the
// charset its byte-order mark gives for text.
#include <cstdint>
#include <string>

/// The MIME type serving gives a file named name (a path) of content_type.
const char* served_mime_type(int content_type, const wchar_t* name);

/// The Content-Type value of that file with the text encoding of its
/// byte-order mark ("text/css", "text/html; charset=utf-8").
std::string served_content_type(int content_type, int32_t text_encoding, const wchar_t* name);
