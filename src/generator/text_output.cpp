#include "generator/text_output.h"

#include <cstdarg>
#include <cstring>

#include "support/format.h"

int64_t prepare_text(builder_context& context, const char* format, ...) {
  va_list args;
  va_start(args, format);
  context.text_length = vformat_text(context.text_buffer, context.text_capacity, format, args);
  va_end(args);
  return context.text_length;
}

bool write_bytes(builder_context& context, file_handle& file, const char* bytes, int64_t length) {
  context.written = file.write(bytes, static_cast<uint32_t>(length));
  if (context.written < length) {
    context.output_incomplete = 1;
    return false;
  }
  return true;
}

bool write_prepared(builder_context& context, file_handle& file) {
  return write_bytes(context, file, context.text_buffer, context.text_length);
}

bool write_fixed(builder_context& context, file_handle& file, const char* text) {
  context.text_length = static_cast<int64_t>(strlen(text));
  return write_bytes(context, file, text, context.text_length);
}

void copy_part(builder_context& context, file_handle& r_dst, file_handle& r_src) {
  if (!r_src.seek(0, platform::file_begin) && r_src.last_error != 0) {
    out_printf(L"r_src.seek()  %i\n", static_cast<int>(r_src.last_error));
    context.output_incomplete = 1;
  }
  for (;;) {
    context.read_count = r_src.read(context.text_buffer, static_cast<uint32_t>(context.text_capacity));
    if (context.read_count < 0) {
      out_printf(L"r_src.read()  %i\n", static_cast<int>(r_src.last_error));
      context.output_incomplete = 1;
      return;
    }
    if (context.read_count == 0) return;
    context.written = r_dst.write(context.text_buffer, static_cast<uint32_t>(context.read_count));
    if (context.written < 0) {
      out_printf(L"r_dst.write()  %i\n", static_cast<int>(r_dst.write_error));
      context.output_incomplete = 1;
      return;
    }
  }
}
