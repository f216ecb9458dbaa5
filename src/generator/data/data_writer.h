#pragma once
// How the bytes of the embedded files reach the generated code: one writer
// per data form (-m), chosen once for the run by make_data_writer and driven
// the same way whatever the form. The words form, the default, writes
// uint64_t arrays into the target; the literal form string-literal pieces;
// the incbin and object forms put the bytes into a file beside the target
// and bind the arrays to them.
#include <cstddef>
#include <cstdint>
#include <memory>

#include "context/builder_context.h"
#include "generator/data/data_form.h"
#include "generator/data/memory_arrays.h"

class content_hasher;

class data_writer {
 public:
  virtual ~data_writer() = default;

  /// Before anything is written: checks that the form can serve this
  /// target. False after a message.
  virtual bool prepare(builder_context& context, const wchar_t* target, bool append);
  /// Once the output set is open: creates the form's own file (saying so
  /// unless quiet) and writes what the target needs of it first. False
  /// after a message.
  virtual bool open(builder_context& context, const wchar_t* target, bool append);
  /// Writes what a generated source (the target, or a shard) needs at the
  /// start of its data namespace before any data array; false after a
  /// message.
  virtual bool begin_source(builder_context& context, file_handle& source);
  /// The name of the file beside the target that open created, for the
  /// dependency rule; null for a form that writes none.
  virtual const wchar_t* file_name() const { return nullptr; }
  /// True when source is a file that the form writes.
  virtual bool writes(const file_handle& source) const;
  /// True when the form's resource records hold address constants only
  /// (format_constant_record), false for the words form's records.
  virtual bool constant_records() const { return true; }

  /// The data of the file in h_src, its identifier in flat_name and its
  /// measured size in file_size: begin_file, write_chunk for every chunk,
  /// then end_file, or end_after_read_failure when a read failed (see
  /// write_file_data). path_literal is the file's escaped path, which some
  /// forms write beside the data. Each is false after printing what failed.
  virtual bool begin_file(builder_context& context, const char* path_literal) = 0;
  /// The chunk in read_buffer: bytes bytes, then zeros up to the next
  /// multiple of 8.
  virtual bool write_chunk(builder_context& context, size_t bytes) = 0;
  virtual bool end_file(builder_context& context, const char* path_literal) = 0;
  /// Ends the data that a failed read cut short, so that the target still
  /// compiles and later offsets stay whole.
  virtual void end_after_read_failure(builder_context& context) = 0;

  /// Adds the data array name of size bytes from memory to out: its text
  /// and, in the forms with a file beside the target, the bytes (and
  /// symbols) that go there. False after printing what failed.
  virtual bool write_from_memory(builder_context& context, memory_arrays& out, const char* name,
                                 const uint8_t* bytes, uint64_t size) = 0;
  /// Writes the bytes and symbols that write_from_memory gathered in out
  /// into the form's file; false after a message.
  virtual bool write_gathered(const memory_arrays& out);

  /// After the walk, before the target is finished: completes the form's
  /// file, so that a target never names bytes that are missing. False when
  /// the file is not whole (after a message), and the output incomplete.
  virtual bool finish(builder_context& context);
  /// The run stops before its end: removes what a build must not use.
  virtual void discard() {}
};

/// The writer of form; object_format_name is the object form's format
/// (null for the platform's own), which its prepare checks.
std::unique_ptr<data_writer> make_data_writer(data_form form, const wchar_t* object_format_name);

/// Takes the chunk in read_buffer (read_count bytes) into the data: lowers
/// read_count to the bytes still measured, counts them off remaining, adds
/// them to hash (when not null), and zeroes the buffer up to the next
/// multiple of 8. Returns the chunk's bytes.
size_t take_chunk(builder_context& context, content_hasher* hash);

/// Writes the data of the file in h_src (its first chunk already in
/// read_buffer, read_count bytes) through writer, reading the chunks after
/// it, each added to hash when not null. False after printing what failed;
/// after a failed read the writer ends the data and the output is marked
/// incomplete.
bool write_file_data(builder_context& context, data_writer& writer, const char* path_literal,
                     content_hasher* hash);

/// For a file whose data array is written later, from memory (-z): the
/// array of its record's path in the forms whose records point into one,
/// written where its data would be. False after a message.
bool write_path_array(builder_context& context, const data_writer& writer, const char* path_literal);
