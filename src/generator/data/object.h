#pragma once
// The object form: the bytes go into a relocatable object file beside the
// target (DST.data.o, or DST.data.obj for COFF), which the build links as
// it is, and the target declares each data array's symbol with C linkage
// and binds the array's name to it.
#include <cstdint>
#include <string>

#include "context/builder_context.h"
#include "generator/data/binary_stream.h"
#include "generator/data/data_form.h"
#include "generator/data/object_model.h"

class object_form final : public binary_form {
 public:
  /// format_name: the object's format as -m names it, null for the platform's own.
  explicit object_form(const wchar_t* format_name) : format_name_(format_name) {}

  /// Resolves the format and checks that the run can write an object: a
  /// target file, not the standard output, and no appending.
  bool prepare(builder_context& context, const wchar_t* target, bool append) override;
  /// Creates the object under a temporary name (DST.data.o.tmp) with room
  /// for its header, and the two parts of its symbol table; nothing of it
  /// is left after a failure.
  bool open(builder_context& context, const wchar_t* target, bool append) override;
  const wchar_t* file_name() const override { return file_name_.c_str(); }
  bool writes(const file_handle& source) const override;
  bool begin_file(builder_context& context, const char* path_literal) override;
  /// Adds the file's symbol, and writes the declaration of its data array
  /// and its path array.
  bool end_file(builder_context& context, const char* path_literal) override;
  /// The bytes go to out.binary, to follow the object's data, their symbol
  /// to out.symbols, and the binding of the array name to it to out.text.
  bool write_from_memory(builder_context& context, memory_arrays& out, const char* name, const uint8_t* bytes,
                         uint64_t size) override;
  /// The bytes, then their symbols, once the bytes are written.
  bool write_gathered(const memory_arrays& out) override;
  /// Writes the symbol table and the header and gives the object its name,
  /// in one step, so that no name ever holds a partial object. When any
  /// write of the object failed, it is removed instead, and so is an object
  /// of an earlier run under its name, which the new target does not
  /// describe. False then.
  bool finish(builder_context& context) override;
  /// Removes the object, when the run stops before its walk ends.
  void discard() override;

 private:
  bool make_names(builder_context& context, const wchar_t* target);
  bool open_part(builder_context& context, const wchar_t* target, const wchar_t* suffix, file_handle& part,
                 const wchar_t* message);
  bool write_part(file_handle& part, const void* bytes, uint64_t length, const wchar_t* label);
  bool can_hold(uint64_t size, const char* name);
  uint64_t padding_before(uint64_t offset, uint64_t size);
  bool add_symbol(uint64_t value, uint64_t size, uint64_t hash, const char* id);
  bool append_symbol_table(builder_context& context, const object_writer& writer, const object_layout& layout,
                           uint64_t name_base);
  bool complete(builder_context& context);
  void fail();
  void remove_files();

  const wchar_t* format_name_;
  object_format format_ = object_format::elf_x86_64;
  /// DST.symbols.tmp: one fixed-size record per symbol (object_model.h).
  file_handle symbols_;
  /// DST.names.tmp: every symbol's name as "_name\0", in symbol order.
  file_handle names_;
  uint64_t symbol_count_ = 0;
  uint64_t name_bytes_ = 0;
  /// An array starts a page: the data section is then aligned to pages.
  bool page_arrays_ = false;
  /// The object's names while it is written and once it is whole: made
  /// absolute when opened, since the run's directory changes (-d).
  std::wstring temporary_name_;
  std::wstring final_name_;
  /// The other format family's object beside the target (data.o or data.obj).
  std::wstring other_name_;
  /// The object's name as the target names it, for the dependency rule.
  std::wstring file_name_;
  /// A symbol's name, formatted before it goes to the names part.
  std::string symbol_name_;
  /// The prefix of the symbols' names, the set's name.
  char set_name_[set_name_capacity] = {};
};
