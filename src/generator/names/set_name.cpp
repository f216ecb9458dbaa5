#include "generator/names/set_name.h"

#include <cstring>
#include <cwchar>

#include "generator/names/identifier.h"

bool make_set_name(const wchar_t* text, char* out) {
  size_t length = wcslen(text);
  if (length == 0 || length >= set_name_capacity || (text[0] >= L'0' && text[0] <= L'9')) return false;
  char name[set_name_capacity];
  for (size_t i = 0; i < length; ++i) {
    wchar_t c = text[i];
    bool allowed = (c >= L'0' && c <= L'9') || (c >= L'A' && c <= L'Z') || (c >= L'a' && c <= L'z') || c == L'_';
    if (!allowed) return false;
    name[i] = static_cast<char>(c);
  }
  name[length] = 0;
  bool is_default = strcmp(name, default_set_name) == 0;
  if (!is_default && (strncmp(name, "vex", 3) == 0 || is_reserved_identifier(name, length))) return false;
  memcpy(out, name, length + 1);
  return true;
}
