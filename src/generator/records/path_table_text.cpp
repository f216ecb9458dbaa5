#include "generator/records/path_table_text.h"

#include <cstdarg>
#include <string>
#include <string_view>
#include <unordered_set>

#include "generator/extras/perfect_hash.h"
#include "generator/records/side_record_text.h"
#include "generator/text_output.h"
#include "vex_resource_builder/path_hash.h"
#include "support/format.h"

namespace {

// Appends a formatted piece to text; false when it cannot be formatted.
// A record's qualified name grows with the depth of its directory, so the
// room grows until the piece fits.
bool append(std::string& text, const char* format, ...) {
  std::string piece(1024, '\0');
  for (; piece.size() <= (size_t{1} << 24); piece.resize(piece.size() * 4)) {
    va_list args;
    va_start(args, format);
    const int length = vformat_text(piece.data(), piece.size(), format, args);
    va_end(args);
    if (length < 0) continue;
    text.append(piece.data(), static_cast<size_t>(length));
    return true;
  }
  return false;
}

template <typename number_type>
void append_numbers(std::string& text, const std::vector<number_type>& numbers) {
  for (size_t i = 0; i < numbers.size(); ++i) {
    text += i % 16 == 0 ? path_table_line_start : " ";
    append(text, path_table_number, static_cast<unsigned>(numbers[i]));
  }
}

// The keys of the table and the slot value of each: twice the entry's
// index, plus one for its hashed path.
struct table_keys {
  std::vector<std::string_view> keys;
  std::vector<uint32_t> values;
};

table_keys keys_of(const std::vector<side_entry>& entries) {
  table_keys result;
  std::unordered_set<std::string_view> taken;
  for (size_t i = 0; i < entries.size(); ++i)
    if (taken.insert(entries[i].path).second) {
      result.keys.push_back(entries[i].path);
      result.values.push_back(static_cast<uint32_t>(2 * i));
    }
  for (size_t i = 0; i < entries.size(); ++i)
    if (taken.insert(entries[i].hashed_path).second) {
      result.keys.push_back(entries[i].hashed_path);
      result.values.push_back(static_cast<uint32_t>(2 * i + 1));
    }
  return result;
}

// The table's text, for a placement of the keys.
bool table_text(const char* set_name, const std::vector<side_entry>& entries, const table_keys& keys,
                perfect_hash& hash, std::string& text) {
  bool made = append(text, path_table_open, set_name);
  for (const side_entry& entry : entries)
    made = made && append(text, path_table_entry, entry.record_name.c_str(), set_name, entry.identifier.c_str());
  if (entries.empty()) made = made && append(text, path_table_no_entry);
  for (uint32_t& slot : hash.slots)
    if (slot != vex_res_empty_slot) slot = keys.values[slot];
  made = made && append(text, path_table_slots_open);
  append_numbers(text, hash.slots);
  made = made && append(text, path_table_pilots_open);
  append_numbers(text, hash.pilots);
  return made && append(text, path_table_close, static_cast<unsigned>(entries.size()),
                        static_cast<unsigned>(hash.slots.size()), static_cast<unsigned>(hash.pilots.size()),
                        static_cast<unsigned long long>(hash.seed));
}

}  // namespace

void write_path_table_declaration(builder_context& context) {
  std::string text;
  if (!append(text, path_table_declaration, context.set_name) ||
      !write_bytes(context, context.h_dst_h, text.data(), static_cast<int64_t>(text.size())))
    out_printf(L"failed to write side record [%hs_paths::table]\n", context.set_name);
}

void write_path_table(builder_context& context, const std::vector<side_entry>& entries) {
  const table_keys keys = keys_of(entries);
  perfect_hash hash;
  std::string text;
  if (!build_perfect_hash(keys.keys, hash)) {
    out_printf(L"-x: no collision-free table of paths was found: lookups search the sorted arrays\n");
    append(text, path_table_none, context.set_name);
  } else if (!table_text(context.set_name, entries, keys, hash, text)) {
    out_printf(L"failed to prepare side record [%hs_paths::table]\n", context.set_name);
    context.output_incomplete = 1;
    return;
  }
  if (!write_bytes(context, context.h_dst_cpp, text.data(), static_cast<int64_t>(text.size())))
    out_printf(L"failed to write side record [%hs_paths::table]\n", context.set_name);
}
