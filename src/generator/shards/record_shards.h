#pragma once
// The shards of -s: the records and their data arrays (or the data's
// bindings, in the forms that keep the bytes outside the source) written
// into several generated sources instead of one, so that a build compiles
// them in parallel and no compile holds the whole tree. The target, DST.cpp,
// is the first shard and keeps the all arrays, sort_all and the side records
// of -x; DST.1.cpp to DST.<N-1>.cpp are the others, each with its records in
// a part of its own (DST.<k>.records.tmp) until the end of the run. Files go
// to the shards in blocks of shard_block, in turn, so that every shard takes
// an equal share of any tree, whatever its size; each shard opens the
// namespaces of its records as it needs them. The entries of a shard's
// records in the all arrays stay in that shard too, in parts that
// sort_all copies into the target's arrays (which hold nulls in their
// place), so that the target's compile does not grow with the tree.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "context/builder_context.h"
#include "generator/data/data_writer.h"

/// The most shards a run writes: each holds two files open during the walk.
inline constexpr unsigned max_shards = 256;
/// Consecutive files that go to one shard before the next takes its turn.
inline constexpr uint64_t shard_block = 8;

/// Parses the value of -s: a whole number from 1 to max_shards.
bool parse_shard_count(const wchar_t* text, unsigned* count);

class record_shards {
 public:
  /// count: the number of shards, the target included.
  explicit record_shards(unsigned count);
  ~record_shards();
  record_shards(const record_shards&) = delete;
  record_shards& operator=(const record_shards&) = delete;

  /// Checks that the run can write shards: a target file, not appending.
  /// False after a message.
  bool prepare(const wchar_t* target, bool append) const;
  /// Creates the shards after the target and their record parts, with
  /// their opening texts; data writes what each source needs first. False
  /// after a message.
  bool open(builder_context& context, data_writer& data, const wchar_t* target);
  /// The shards' names as the target gives them (DST.1.cpp, ...), for the
  /// dependency rule.
  const std::vector<std::wstring>& names() const { return names_; }
  /// True when source is a file that the shards write.
  bool writes(const file_handle& source) const;

  /// Follows the walk into a namespace whose identifier is in flat_name,
  /// and out of it again.
  void enter(const builder_context& context);
  void leave();
  /// Points the context's data and record files at the shard of the next
  /// file, opening the walk's namespaces there as needed.
  void route(builder_context& context);
  /// Closes every shard: its data namespace, its open namespaces, and its
  /// records appended; the root array's parts, and their declarations in
  /// the target. False when a shard is not whole.
  bool finish(builder_context& context);

  /// True when the records go into more than one source, and sort_all
  /// sorts the root array only at its end, once its parts are in.
  bool splits() const { return count_ > 1; }
  /// Takes the entry of the record just embedded (label) when its shard is
  /// not the target, into the part of the array it belongs to (nested: a
  /// top-level namespace's). False when the target writes it itself.
  bool take_entry(const builder_context& context, const char* label, bool nested);
  /// Before a top-level namespace's array is closed: its parts go into
  /// their shards, the target's array opens with room for their entries,
  /// and sort_all gets the copies. False after a message.
  bool close_array(builder_context& context);

 private:
  struct shard;
  // The entries of one array: the target's count, and the parts' in the shards.
  struct array_parts;
  bool open_shard(builder_context& context, data_writer& data, const wchar_t* target, unsigned index);
  void follow_walk(builder_context& context, shard& each, size_t depth);
  bool open_sized_array(builder_context& context, bool nested, const char* scope, bool& filled);

  unsigned count_;
  std::unique_ptr<shard[]> shards_;  // the shards after the target
  std::vector<std::wstring> names_;
  std::vector<std::string> walk_;  // the walk's namespaces, outermost first
  uint64_t files_ = 0;
  unsigned current_ = 0;        // the shard of the file being embedded
  uint64_t own_entries_[2] = {};  // the target's entries in the root array and the open namespace's
  std::string declarations_;    // of the parts, for the target
};
