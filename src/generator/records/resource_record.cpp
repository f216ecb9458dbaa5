#include "generator/records/resource_record.h"

#include "generator/generated_text.h"
#include "support/format.h"

namespace {

uint32_t low32(uint64_t value) { return static_cast<uint32_t>(value); }

int format_text_member(const resource_record& r, record_text_kind kind, char* out, uint64_t capacity) {
  const char* p = r.indent;
  uint32_t bom = low32(r.bom_length);
  if (r.held_back) return format_text(out, capacity, held_record_text, p, r.set_name, r.data_array, bom);
  if (kind == record_text_kind::through_array)
    return format_text(out, capacity, constant_record_text, p, r.set_name, r.data_array, bom);
  return format_text(out, capacity, record_text, p, r.label, bom);
}

}  // namespace

int finish_record(const resource_record& r, int head_length, record_text_kind text_kind, char* out,
                  uint64_t capacity) {
  if (head_length < 0) return -1;
  const char* p = r.indent;
  uint64_t used = static_cast<uint64_t>(head_length);
  int text = format_text_member(r, text_kind, out + used, capacity - used);
  if (text < 0) return -1;
  used += static_cast<uint64_t>(text);
  int tail = format_text(out + used, capacity - used, record_tail, p, r.http_date, p, r.http_date_lower, p);
  return tail < 0 ? -1 : static_cast<int>(used) + tail;
}

int format_resource_record(const resource_record& r, char* out, uint64_t capacity) {
  const char* p = r.indent;
  int head = format_text(out, capacity, record_format,
                         p, r.label,
                         p,
                         p, r.name_literal,
                         p, r.path_literal,
                         p, r.label,
                         p, r.label, low32(r.top_prefix_length),
                         p, r.label, low32(r.name_offset),
                         p, r.content_type,
                         p, r.text_encoding,
                         p, low32(r.file_size),
                         p, low32(r.size_without_bom),
                         p, low32(r.utf16_length),
                         p, r.set_name, r.data_array);
  return finish_record(r, head, record_text_kind::through_record, out, capacity);
}
