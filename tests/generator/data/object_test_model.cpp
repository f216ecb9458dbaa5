#include "generator/data/object_test_model.h"

#include <cstring>

#include "generator/data/object_model.h"

namespace {

uint64_t padded(uint64_t size) { return (size + 7) / 8 * 8; }

}  // namespace

std::ostream& operator<<(std::ostream& out, const object_machine& machine) { return out << machine.name; }

std::vector<sample_array> sample_arrays() {
  std::vector<sample_array> arrays = {{"vex_res_a_odd", {}}, {"vex_res_b_empty", {}}, {"vex_res_c_words", {}},
                                      {"vex_res_d_byte", {}}};
  const size_t sizes[] = {13, 0, 24, 1};
  // No byte is zero, so that a shifted array or padding in the wrong place shows.
  for (size_t k = 0; k < arrays.size(); ++k)
    for (size_t j = 0; j < sizes[k]; ++j) arrays[k].bytes.push_back(static_cast<uint8_t>(1 + (k * 37 + j * 11) % 255));
  return arrays;
}

std::vector<uint8_t> write_object(object_format format, const std::vector<sample_array>& arrays) {
  const object_writer& writer = writer_for(format);
  std::vector<uint8_t> data;
  std::string names;
  std::vector<object_symbol> symbols;
  for (const sample_array& array : arrays) {
    symbols.push_back({data.size(), padded(array.bytes.size()), names.size()});
    data.insert(data.end(), array.bytes.begin(), array.bytes.end());
    data.resize(padded(data.size()));
    names += '_' + array.name + '\0';
  }
  object_layout model{};
  model.format = format;
  model.data_size = data.size();
  model.data_alignment = 8;
  model.symbol_count = symbols.size();
  model.name_bytes = names.size();
  uint8_t head[object_piece_capacity];
  size_t head_length = 0;
  object_layout layout = plan_object_layout(model, head, head_length);

  std::vector<uint8_t> file(layout.trailer_at + object_piece_capacity);
  writer.header(layout, file.data());
  memcpy(file.data() + layout.data_at, data.data(), data.size());
  // The leading null entries stay zero. A name is indexed past the head,
  // and past the underscore of its C name where the format leaves it out.
  uint8_t* entry = file.data() + layout.symbols_at + uint64_t{writer.null_symbols} * writer.symbol_size;
  for (const object_symbol& symbol : symbols) {
    writer.encode_symbol(layout, symbol, head_length + symbol.name_offset + (writer.underscore ? 0 : 1), entry);
    entry += writer.symbol_size;
  }
  memcpy(file.data() + layout.strings_at, head, head_length);
  memcpy(file.data() + layout.strings_at + head_length, names.data(), names.size());
  file.resize(layout.trailer_at + writer.trailer(layout, file.data() + layout.trailer_at));
  return file;
}

uint64_t file_reader::field(uint64_t at, int width) const {
  if (at > file.size() || file.size() - at < static_cast<uint64_t>(width)) {
    ADD_FAILURE() << "a field of " << width << " bytes at " << at << " lies past the end of " << file.size();
    return 0;
  }
  uint64_t value = 0;
  for (int i = width - 1; i >= 0; --i) value = value << 8 | file[at + static_cast<uint64_t>(i)];
  return value;
}

std::string file_reader::text(uint64_t at, uint64_t limit) const {
  std::string text;
  for (uint64_t i = at; i - at < limit; ++i) {
    if (i >= file.size()) {
      ADD_FAILURE() << "the text at " << at << " runs past the end of " << file.size();
      break;
    }
    if (file[i] == 0) break;
    text += static_cast<char>(file[i]);
  }
  return text;
}

std::vector<uint8_t> file_reader::bytes(uint64_t at, uint64_t size) const {
  if (at > file.size() || file.size() - at < size) {
    ADD_FAILURE() << size << " bytes at " << at << " run past the end of " << file.size();
    return {};
  }
  auto begin = file.begin() + static_cast<std::ptrdiff_t>(at);
  return {begin, begin + static_cast<std::ptrdiff_t>(size)};
}

void expect_arrays_at_symbols(const std::vector<uint8_t>& section, const std::map<std::string, read_symbol>& symbols,
                              const std::vector<sample_array>& arrays, const std::string& prefix) {
  EXPECT_EQ(symbols.size(), arrays.size()) << "one symbol per array, and no other";
  std::vector<bool> in_array(section.size());
  uint64_t padded_total = 0;
  for (const sample_array& array : arrays) {
    padded_total += padded(array.bytes.size());
    auto found = symbols.find(prefix + array.name);
    if (found == symbols.end()) {
      ADD_FAILURE() << "no symbol " << prefix + array.name;
      continue;
    }
    const read_symbol& symbol = found->second;
    if (symbol.size) {
      EXPECT_EQ(*symbol.size, padded(array.bytes.size())) << array.name;
    }
    EXPECT_EQ(symbol.offset % 8, 0u) << array.name;
    file_reader reader{section};
    EXPECT_EQ(reader.bytes(symbol.offset, array.bytes.size()), array.bytes) << array.name << " at " << symbol.offset;
    for (size_t i = 0; i < array.bytes.size() && symbol.offset + i < section.size(); ++i)
      in_array[symbol.offset + i] = true;
  }
  EXPECT_EQ(section.size(), padded_total) << "the data section's size";
  for (size_t i = 0; i < section.size(); ++i)
    if (!in_array[i] && section[i] != 0) {
      ADD_FAILURE() << "the byte at " << i << " of the data section lies in no array and is not zero";
      break;
    }
}
