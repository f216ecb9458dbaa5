#include "generator/names/narrow_name.h"

#include "support/format.h"

bool make_narrow_name(builder_context& context, const wchar_t* text, size_t length) {
  if (context.utf8_names) {
    long long n = length == 0 ? 0
                              : platform::name_to_utf8(text, length, context.flat_name, context.flat_name_capacity - 1);
    context.text_length = n;
    if (n >= 0) context.flat_name[n] = 0;
  } else {
    context.text_length = format_text(context.flat_name, context.flat_name_capacity, "%.*ls",
                                      static_cast<int>(length), text);
  }
  return context.text_length >= 0;
}
