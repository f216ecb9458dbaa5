#include "generator/source_metadata.h"

#include "metadata/content_type.h"
#include "metadata/http_date.h"
#include "metadata/text_encoding.h"

void detect_text_encoding(builder_context& context) {
  text_encoding_result mark = detect_byte_order_mark(context.read_buffer);
  context.text_encoding = mark.encoding;
  context.bom_length = mark.bom_length;
  context.size_without_bom -= mark.bom_length;
  context.utf16_length = context.size_without_bom / 2;
}

int detect_content_type(builder_context& context) {
  context.content_type = detect_content_type(context.flat_name);
  return context.content_type;
}

void make_http_date(file_handle& source, char* http_date, char* http_date_lower, uint64_t latest_file_time) {
  uint64_t file_time = 0;
  if (!source.write_time(&file_time)) file_time = 0;
  make_http_date(clamped_write_time(file_time, latest_file_time), http_date, http_date_lower);
}
