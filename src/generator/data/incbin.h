#pragma once
// The incbin data form: the bytes go into the binary file beside the target,
// and the target binds each data array to its place there with .incbin.
#include <cstddef>
#include <cstdint>
#include <string>

#include "context/builder_context.h"
#include "generator/data/binary_stream.h"

class incbin_form final : public binary_form {
 public:
  /// Checks that the target can have a binary file and makes the name the
  /// generated code gives it (nothing is written).
  bool prepare(builder_context& context, const wchar_t* target, bool append) override;
  /// Creates DST.bin beside the target (or, appending, goes on at its end)
  /// and writes the form's macro into the target's data namespace.
  bool open(builder_context& context, const wchar_t* target, bool append) override;
  /// The form's macro, which every source's data arrays use.
  bool begin_source(builder_context& context, file_handle& source) override;
  const wchar_t* file_name() const override { return file_name_.c_str(); }
  bool begin_file(builder_context& context, const char* path_literal) override;
  /// The data array, bound to the file's bytes, and its path array.
  bool end_file(builder_context& context, const char* path_literal) override;
  /// The bytes go to out.binary, to follow the binary file's, and the
  /// binding of the array name to them to out.text.
  bool write_from_memory(builder_context& context, memory_arrays& out, const char* name, const uint8_t* bytes,
                         uint64_t size) override;
  /// Closes DST.bin; false when a write of it failed.
  bool finish(builder_context& context) override;

 private:
  std::wstring file_name_;
};
