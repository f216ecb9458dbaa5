#include "generator/records/record_constant.h"

#include "generator/generated_text.h"
#include "support/format.h"

namespace {

uint32_t low32(uint64_t value) { return static_cast<uint32_t>(value); }

}  // namespace

int format_constant_record(const resource_record& r, char* out, uint64_t capacity) {
  const char* p = r.indent;
  const char* path = r.data_array;
  const char* set = r.set_name;
  // The path array starts with the "/" of path_root_a, one byte before path_a.
  int head = format_text(out, capacity, constant_record_format,
                         p, r.label,
                         p,
                         p, r.name_literal,
                         p, set, set, path,
                         p, set, set, path,
                         p, set, set, path, low32(1 + r.top_prefix_length),
                         p, set, set, path, low32(1 + r.name_offset),
                         p, r.content_type,
                         p, r.text_encoding,
                         p, low32(r.file_size),
                         p, low32(r.size_without_bom),
                         p, low32(r.utf16_length),
                         p, set, r.data_array);
  return finish_record(r, head, record_text_kind::through_array, out, capacity);
}
