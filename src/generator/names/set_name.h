#pragma once
// The set's name given with -n: checked once, before anything is written.
#include "context/set_name.h"

/// Copies text into out (set_name_capacity bytes) when it can name a set: an
/// identifier of ASCII letters, digits and '_' that does not begin with a
/// digit, at most set_name_capacity - 1 bytes long, that is no reserved word
/// (a keyword, a predefined macro, a name the generated code uses, a name
/// reserved to the implementation) and does not begin with "vex", which the
/// kit's names do, unless it is the default name itself. False otherwise,
/// and out is then unchanged.
bool make_set_name(const wchar_t* text, char* out);
