#include "support/system_error.h"

#include "support/format.h"

uint32_t print_system_error(platform::standard_stream stream, uint32_t code, const wchar_t* text) {
  platform::system_message message(code);
  if (text) err_printf(stream, L"%ls\n", text);
  err_printf(stream, L"   ^ERROR: %u, %ls", code, message.text());
  return code;
}
