#include "context/data_form.h"

#include <cwchar>

bool parse_data_form(const wchar_t* text, data_form* form) {
  if (wcscmp(text, L"words") == 0) *form = data_form::words;
  else if (wcscmp(text, L"incbin") == 0) *form = data_form::incbin;
  else if (wcscmp(text, L"literal") == 0) *form = data_form::literal;
  else return false;
  return true;
}
