#include "generator/records/resource_record.h"

#include "generator/generated_text.h"
#include "support/format.h"

namespace {

uint32_t low32(uint64_t value) { return static_cast<uint32_t>(value); }

}  // namespace

int format_resource_record(const resource_record& r, char* out, uint64_t capacity) {
  const char* p = r.indent;
  return format_text(out, capacity, record_format,
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
                     p, r.set_name, r.data_array,
                     p, r.label, low32(r.bom_length),
                     p, r.http_date,
                     p, r.http_date_lower,
                     p);
}
