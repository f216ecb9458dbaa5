#pragma once
// How the bytes of the embedded files reach the generated code.
#include <cstdint>

enum class data_form : uint8_t {
  words,    ///< uint64_t arrays of hexadecimal words in the target (the default)
  incbin,   ///< one binary file beside the target, bound to the arrays by the assembler
  literal,  ///< string-literal pieces in the target, for compilers without the assembler's include
  object,   ///< one relocatable object file beside the target, which the linker takes as it is
};

/// The object file formats of the object form: file format and machine.
enum class object_format : uint8_t { elf_x86_64, elf_arm64, coff_x86_64, coff_arm64, macho_x86_64, macho_arm64 };

/// The formats' names as "-m object:<format>" gives them, in the enumeration's order.
inline constexpr const wchar_t* object_format_names[] = {L"elf-x86-64",  L"elf-arm64",    L"coff-x86-64",
                                                         L"coff-arm64",  L"macho-x86-64", L"macho-arm64"};

/// The valid formats for messages: "elf-x86-64, elf-arm64, ... or macho-arm64".
inline constexpr const wchar_t* object_format_list =
    L"elf-x86-64, elf-arm64, coff-x86-64, coff-arm64, macho-x86-64 or macho-arm64";

/// The form named by text: "words", "incbin", "literal", or "object" with
/// an optional ":<format>", whose name then goes to format_name (null for
/// "object" alone). False for any other text.
bool parse_data_form(const wchar_t* text, data_form* form, const wchar_t** format_name);

/// The format named by text; false for any other text.
bool parse_object_format(const wchar_t* text, object_format* format);
