#include "generator/data/data_form.h"

#include <cwchar>

bool parse_object_format(const wchar_t* text, object_format* format) {
  for (size_t i = 0; i < sizeof object_format_names / sizeof *object_format_names; ++i) {
    if (wcscmp(text, object_format_names[i]) == 0) {
      *format = static_cast<object_format>(i);
      return true;
    }
  }
  return false;
}

bool parse_data_form(const wchar_t* text, data_form* form, const wchar_t** format_name) {
  *format_name = nullptr;
  if (wcscmp(text, L"words") == 0) *form = data_form::words;
  else if (wcscmp(text, L"incbin") == 0) *form = data_form::incbin;
  else if (wcscmp(text, L"literal") == 0) *form = data_form::literal;
  else if (wcsncmp(text, L"object", 6) != 0 || (text[6] != 0 && text[6] != L':')) return false;
  else *form = data_form::object;
  if (*form == data_form::object && text[6] == L':') *format_name = text + 7;
  return true;
}
