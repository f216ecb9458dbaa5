#pragma once
// Identifiers and string literals of the generated code, made from names.
#include <cstddef>
#include <cstdint>

/// Turns the narrow copy of a whole path into the identifier of its data
/// array, in place: a first byte below 'A' and every byte that is not an
/// ASCII letter or digit become '_'. Returns the offset of the label (the
/// identifier of the name part; one byte earlier when that starts with a
/// digit, at the '_' that replaced the separator).
size_t make_path_identifier(char* text);

/// Turns a directory name into a namespace identifier, in place: every byte
/// that is not an ASCII letter or digit becomes '_', and so does a leading digit.
void make_namespace_identifier(char* text);

/// True for the identifiers that cannot name a generated record, array or
/// namespace as they are: the C++ keywords and alternative tokens, the names
/// the generated code itself defines or uses (all, all_length, sort_all,
/// vex_res, vex_res_data, vex_resource, vex_res_compare, qsort, size_t,
/// uint64_t, ARRAYSIZE), the content-type and text-encoding enumerators, the
/// object-like macros that a consumer's compiler may have defined (see
/// is_predefined_word), and the names that begin as the implementation's
/// own do (a '_' and a capital letter, or "__").
bool is_reserved_identifier(const char* text, size_t length);

/// True for the reserved identifiers named one by one (all but the names
/// reserved to the implementation by their form): a word that a longer
/// identifier must not become either.
bool is_predefined_word(const char* text, size_t length);

/// Writes bytes as the body of a C++ string literal whose value is exactly
/// those bytes: printable ASCII stays, '"', '\\' and '?' are escaped, every
/// other byte becomes a three-digit octal escape (which never takes in a
/// following digit). Returns the length written, or -1 when out (capacity
/// bytes, terminator included) is too small.
int64_t escape_literal(const char* bytes, size_t length, char* out, size_t capacity);

/// Writes wide text as the body of a wide string literal (L"...") whose
/// value is exactly that text, in ASCII: characters below U+0080 as
/// escape_literal writes them, others as universal character names (a
/// UTF-16 surrogate pair as one \U name), and a surrogate without its pair
/// as a hexadecimal escape (a hexadecimal digit after it is written in
/// octal, so that the escape ends there). Returns the length written, or -1
/// when out (capacity bytes, terminator included) is too small.
int64_t escape_wide_literal(const wchar_t* text, size_t length, char* out, size_t capacity);
