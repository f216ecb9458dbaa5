#pragma once
// How the bytes of the embedded files reach the generated code.
#include <cstdint>

enum class data_form : uint8_t {
  words,    ///< uint64_t arrays of hexadecimal words in the target (the default)
  incbin,   ///< one binary file beside the target, bound to the arrays by the assembler
};

/// The form named by text ("words" or "incbin"); false for any other text.
bool parse_data_form(const wchar_t* text, data_form* form);
