#pragma once
// The narrow copy of a name or path that the generated text is made from.
#include "context/builder_context.h"

/// Copies length wide characters of text into flat_name with its
/// terminator: as UTF-8 under -u (on POSIX the very bytes of the name),
/// else one byte per character from U+0000 to U+00FF. text_length becomes
/// the byte count, or -1 when a character has no narrow form or the copy
/// does not fit; returns whether it worked.
bool make_narrow_name(builder_context& context, const wchar_t* text, size_t length);
