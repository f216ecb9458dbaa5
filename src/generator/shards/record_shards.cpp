#include "generator/shards/record_shards.h"

#include <cstring>
#include <cwchar>

#include "generator/generated_text.h"
#include "generator/output_set.h"
#include "generator/text_output.h"
#include "support/format.h"

using namespace platform;

struct record_shards::shard {
  file_handle source;   // DST.<k>.cpp: its data arrays, then its records
  file_handle records;  // DST.<k>.records.tmp: its records until the end
  std::vector<std::string> open;  // the namespaces open in its records
  // The entries of its records in the root array and in the open top-level
  // namespace's, until their parts are written.
  std::string entries[2];
  uint64_t entry_count[2] = {};
  bool failed = false;
};

namespace {

constexpr uint32_t part_flags = file_flag_delete_on_close | file_attribute_temporary;

// A name beside the target: its name up to the extension, then the shard's
// number and suffix (res.cpp, 2 and ".cpp" give res.2.cpp).
std::wstring shard_name(const wchar_t* target, unsigned index, const wchar_t* suffix) {
  return std::wstring(target, extension_position(target)) + std::to_wstring(index) + suffix;
}

bool put_text(builder_context& context, file_handle& file, const char* format, const char* argument) {
  return prepare_text(context, format, argument) >= 0 && write_prepared(context, file);
}

}  // namespace

bool parse_shard_count(const wchar_t* text, unsigned* count) {
  unsigned value = 0;
  for (const wchar_t* at = text; *at; ++at) {
    if (*at < L'0' || *at > L'9') return false;
    value = value * 10 + static_cast<unsigned>(*at - L'0');
    if (value > max_shards) return false;
  }
  if (text[0] == 0 || value == 0) return false;
  *count = value;
  return true;
}

record_shards::record_shards(unsigned count) : count_(count), shards_(new shard[count > 1 ? count - 1 : 1]) {}

record_shards::~record_shards() = default;

bool record_shards::prepare(const wchar_t* target, bool append) const {
  if (is_standard_stream_name(target)) {
    out_printf(L"the shards (-s) need a target file beside which to write the other shards, not [%s]\n", target);
    return false;
  }
  if (append) {
    out_printf(L"the shards (-s) cannot append (-a) to the shards of an earlier run: generate the whole tree in one "
               L"run\n");
    return false;
  }
  return true;
}

bool record_shards::open_shard(builder_context& context, data_writer& data, const wchar_t* target, unsigned index) {
  shard& each = shards_[index - 1];
  std::wstring name = shard_name(target, index, L".cpp");
  each.source.literal = 1;
  each.source.open(name.c_str(), generic_write, create_always, 0);
  if (!each.source.opened) {
    out_printf(L"cannot open the shard DST.%u.cpp [%s]\n", index, name.c_str());
    return false;
  }
  names_.push_back(name);
  std::wstring part = shard_name(target, index, L".records.tmp");
  each.records.literal = 1;
  each.records.open(part.c_str(), generic_read | generic_write, create_always, part_flags);
  if (!each.records.opened) {
    out_printf(L"cannot open the part DST.%u.records.tmp [%s]\n", index, part.c_str());
    return false;
  }
  if (!write_fixed(context, each.source, include_line) ||
      !put_text(context, each.source, data_namespace_open, context.set_name) ||
      !data.begin_source(context, each.source) ||
      !put_text(context, each.records, res_namespace_open, context.set_name)) {
    out_printf(L"failed to write the opening of the shard [%s]\n", name.c_str());
    return false;
  }
  if (!context.quiet) out_printf(L"<%s>\n", name.c_str());
  return true;
}

bool record_shards::open(builder_context& context, data_writer& data, const wchar_t* target) {
  for (unsigned index = 1; index < count_; ++index)
    if (!open_shard(context, data, target, index)) return false;
  return true;
}

bool record_shards::writes(const file_handle& source) const {
  for (unsigned index = 1; index < count_; ++index) {
    const shard& each = shards_[index - 1];
    if (each.source.is_file_of(source) || each.records.is_file_of(source)) return true;
  }
  return false;
}

void record_shards::enter(const builder_context& context) { walk_.emplace_back(context.flat_name); }

void record_shards::leave() {
  if (!walk_.empty()) walk_.pop_back();
}

// Closes the shard's namespaces below the first depth ones that it shares
// with the walk, and opens the walk's there.
void record_shards::follow_walk(builder_context& context, shard& each, size_t depth) {
  size_t shared = 0;
  while (shared < each.open.size() && shared < depth && each.open[shared] == walk_[shared]) ++shared;
  bool written = true;
  while (each.open.size() > shared) {
    each.open.pop_back();
    std::string indent(each.open.size(), '\t');
    written = put_text(context, each.records, nested_namespace_close, indent.c_str()) && written;
  }
  for (; shared < depth; ++shared) {
    std::string indent(shared, '\t');
    written = prepare_text(context, nested_namespace_open, "", indent.c_str(), walk_[shared].c_str(),
                           indent.c_str()) >= 0 &&
              write_prepared(context, each.records) && written;
    each.open.push_back(walk_[shared]);
  }
  if (!written) each.failed = true;
}

void record_shards::route(builder_context& context) {
  auto index = static_cast<unsigned>(files_++ / shard_block % count_);
  current_ = index;
  if (index == 0) {
    context.data_file = &context.h_dst_cpp;
    context.record_file = &context.h_dst_1;
    return;
  }
  shard& each = shards_[index - 1];
  follow_walk(context, each, walk_.size());
  context.data_file = &each.source;
  context.record_file = &each.records;
}

bool record_shards::take_entry(const builder_context& context, const char* label, bool nested) {
  if (current_ == 0) {
    ++own_entries_[nested];
    return false;
  }
  shard& each = shards_[current_ - 1];
  std::string entry(strlen(context.set_name) + strlen(context.namespace_path) + strlen(label) + 16, '\0');
  const int length =
      format_text(entry.data(), entry.size(), shard_entry, context.set_name, context.namespace_path, label);
  if (length < 0) {
    each.failed = true;
    return true;
  }
  each.entries[nested].append(entry.data(), static_cast<size_t>(length));
  ++each.entry_count[nested];
  return true;
}

// Writes the parts of one array (nested: the open top-level namespace's,
// named by scope, its identifier) into their shards and their copies into
// sort_all, and opens the target's array, sized for its own entries and
// theirs (none when it has no entry: filled stays false then).
bool record_shards::open_sized_array(builder_context& context, bool nested, const char* scope, bool& filled) {
  const char* kind = nested ? "part" : "root";
  const char* joint = nested ? "_" : "";
  const char* qualifier = nested ? "::" : "";
  uint64_t offset = own_entries_[nested];
  bool written = true;
  for (unsigned index = 1; index < count_; ++index) {
    shard& each = shards_[index - 1];
    const uint64_t count = each.entry_count[nested];
    if (count == 0) continue;
    // At file scope, between the shard's data arrays.
    written = write_fixed(context, each.source, namespace_close) &&
              prepare_text(context, shard_part_open, context.set_name, kind, index, joint, scope, kind, index, joint,
                           scope) >= 0 &&
              write_prepared(context, each.source) &&
              write_bytes(context, each.source, each.entries[nested].data(),
                          static_cast<int64_t>(each.entries[nested].size())) &&
              write_fixed(context, each.source, shard_part_close) &&
              prepare_text(context, data_namespace_open, context.set_name) >= 0 &&
              write_prepared(context, each.source) && written;
    std::string declaration(strlen(scope) + 128, '\0');
    const int length = format_text(declaration.data(), declaration.size(), shard_part_declaration, kind, index, joint,
                                   scope, static_cast<unsigned long long>(count));
    if (length >= 0) declarations_.append(declaration.data(), static_cast<size_t>(length));
    else written = false;
    written = prepare_text(context, shard_fill, static_cast<unsigned long long>(count), scope, qualifier,
                           static_cast<unsigned long long>(offset), context.set_name, kind, index, joint,
                           scope) >= 0 &&
              write_prepared(context, context.h_dst_4) && written;
    offset += count;
    std::string().swap(each.entries[nested]);
    each.entry_count[nested] = 0;
  }
  own_entries_[nested] = 0;
  // Its entries follow in the target's part of the array, then its closing.
  const char* prefix = nested ? "\t" : "";
  filled = offset > 0;
  if (filled)
    written = prepare_text(context, sized_array_open, prefix, static_cast<unsigned long long>(offset), prefix) >= 0 &&
              write_prepared(context, context.h_dst_1) && written;
  if (!written) out_printf(L"failed to write the parts of an all array in the shards [%hs]\n", scope);
  return written;
}

bool record_shards::close_array(builder_context& context) {
  if (!context.namespace_path) return true;
  // The open top-level namespace: the path is its identifier and "::".
  std::string scope(context.namespace_path, strlen(context.namespace_path) - 2);
  bool filled = false;
  bool written = open_sized_array(context, true, scope.c_str(), filled);
  context.nested_array_filled = filled;
  return written;
}

bool record_shards::finish(builder_context& context) {
  context.data_file = &context.h_dst_cpp;
  context.record_file = &context.h_dst_1;
  bool whole = true;
  if (splits() && context.namespace_path) {
    bool filled = false;
    whole = open_sized_array(context, false, "", filled);
    context.root_array_filled = filled;
    // The root array is sorted last, once its parts are in.
    whole = prepare_text(context, sort_call, "", "", "", "", "", "") >= 0 && write_prepared(context, context.h_dst_4) &&
            whole;
    if (!declarations_.empty())
      whole = prepare_text(context, shard_declarations_open, context.set_name) >= 0 &&
              write_prepared(context, context.h_dst_cpp) &&
              write_bytes(context, context.h_dst_cpp, declarations_.data(),
                          static_cast<int64_t>(declarations_.size())) &&
              write_fixed(context, context.h_dst_cpp, namespace_close) &&
              put_text(context, context.h_dst_cpp, data_namespace_open, context.set_name) && whole;
  }
  for (unsigned index = 1; index < count_; ++index) {
    shard& each = shards_[index - 1];
    follow_walk(context, each, 0);
    bool closed = write_fixed(context, each.records, namespace_close) &&
                  write_fixed(context, each.source, namespace_close);
    if (closed) copy_part(context, each.source, each.records);
    if (!closed || each.failed) {
      out_printf(L"failed to write the shard [%s]\n", names_[index - 1].c_str());
      whole = false;
    }
    each.records.close();
    each.source.close();
  }
  return whole;
}
