#pragma once
// How the bytes of the embedded files reach the generated code.
#include <cstdint>

enum class data_form : uint8_t {
  words,    ///< uint64_t arrays of hexadecimal words in the target (the default)
  incbin,   ///< one binary file beside the target, bound to the arrays by the assembler
  literal,  ///< string-literal pieces in the target, for compilers without the assembler's include
};

/// The form named by text ("words", "incbin" or "literal"); false for any other text.
bool parse_data_form(const wchar_t* text, data_form* form);
