#pragma once
// Gives an item of the generated code an identifier that no earlier item of
// its scope holds: the later of two items whose names meet is renamed.
#include <cstddef>

#include "context/identifier_table.h"

enum class claim_result {
  claimed,     // the identifier was free
  renamed,     // a suffix was appended to make it free
  no_room,     // the buffer cannot hold a suffix
  table_full,  // the table cannot record it: uniqueness can no longer be checked
};

/// Where the identifier must be free.
struct claim_scope {
  size_t scoped_offset;  // the part named in the current scope starts here
  bool whole_is_global;  // the whole identifier is also a name of the global scope
  size_t label_offset;   // a reserved word here (a file's name part) also gets the trailing '_'
};

struct claim_outcome {
  claim_result result;
  size_t base_length;  // the identifier after the reserved-word rule, before any suffix
};

/// Claims the identifier at text (*length bytes, terminated; capacity bytes
/// of room) for one item, first applying the reserved-word rule (a trailing
/// '_' when the whole or the part at label_offset is reserved). While the identifier is taken in its scopes, or is a predefined
/// word, the suffix "_2", "_3", ... replaces the last one tried ("2", "3",
/// ... after a trailing '_', so that no "__" appears). *length follows.
claim_outcome claim_identifier(identifier_table& names, char* text, size_t* length, size_t capacity,
                               claim_scope scope);
