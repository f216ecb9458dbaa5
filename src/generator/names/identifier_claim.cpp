#include "generator/names/identifier_claim.h"

#include <cstdio>

#include "generator/names/identifier.h"

namespace {

bool unavailable(const identifier_table& names, const char* text, size_t length, claim_scope scope) {
  const char* scoped = text + scope.scoped_offset;
  size_t scoped_length = length - scope.scoped_offset;
  return (scope.whole_is_global && names.taken(text, length, true)) || names.taken(scoped, scoped_length, false) ||
         is_predefined_word(text, length) || is_predefined_word(scoped, scoped_length);
}

}  // namespace

claim_outcome claim_identifier(identifier_table& names, char* text, size_t* length, size_t capacity,
                               claim_scope scope) {
  size_t base = *length;
  if (base + 2 > capacity) return {claim_result::no_room, base};
  const char* label = text + scope.label_offset;
  size_t label_length = base - scope.label_offset;
  if (is_reserved_identifier(text, base) || is_reserved_identifier(label, label_length) ||
      names.is_set_word(text, base) || names.is_set_word(label, label_length)) {
    text[base++] = '_';
    text[base] = 0;
  }
  size_t candidate = base;
  bool renamed = false;
  for (unsigned long long n = 2; base > 0 && unavailable(names, text, candidate, scope); ++n) {
    const char* separator = text[base - 1] == '_' ? "" : "_";
    // A suffix is at most 21 bytes ("_" and 20 digits) with its terminator.
    if (base + 22 > capacity) return {claim_result::no_room, base};
    candidate = base + static_cast<size_t>(snprintf(text + base, 22, "%s%llu", separator, n));
    renamed = true;
  }
  *length = candidate;
  if ((scope.whole_is_global && !names.add(text, candidate, true)) ||
      !names.add(text + scope.scoped_offset, candidate - scope.scoped_offset, false))
    return {claim_result::table_full, base};
  return {renamed ? claim_result::renamed : claim_result::claimed, base};
}
