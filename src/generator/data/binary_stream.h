#pragma once
// What the incbin and object forms share: the file into which they write
// the embedded files' bytes outside the target (each file's bytes
// zero-padded to a multiple of 8, appended in walk order; the object form
// may start a large one on a page of its own), the hash that
// names them, and the text that binds them.
#include <cstdint>
#include <string>

#include "context/builder_context.h"
#include "generator/data/data_writer.h"
#include "generator/extras/content_hash.h"

/// The incbin form's DST.bin beside the target, or the data section of the
/// object form's DST.data.o.
struct binary_file {
  file_handle file;
  /// Bytes written so far: the offset of the next file's bytes.
  uint64_t size = 0;
  /// What messages call the file: "DST.bin" or "DST.data.o".
  const wchar_t* label = L"";
  /// The file's own name (no directory) for messages; in the incbin form
  /// also the body of an assembler string inside a C++ string literal, as
  /// the build tells the assembler where it is.
  char name_literal[1024] = "";
  /// A write failed: the file was closed, and the output is incomplete.
  bool failed = false;
  /// The last bytes were zeros passed over: the file ends before them
  /// until end_binary or a later write.
  bool ends_in_hole = false;
};

/// The page that an array of page_array_size bytes or more starts in ELF,
/// where a Linux server sends it from the program's file (sendfile), which
/// costs the system least for whole pages; the padding in front of such
/// an array stays under 1/16 of it.
inline constexpr uint64_t page_size = 4096;
inline constexpr uint64_t page_array_size = 64 * 1024;

/// The least run of zeros that append_binary passes over rather than writes.
inline constexpr uint64_t hole_bytes = 64 * 1024;

/// The part of the incbin and object forms that copies each file's bytes,
/// padded to a multiple of 8, into the binary file and hashes them for the
/// name of their symbol.
class binary_form : public data_writer {
 public:
  bool writes(const file_handle& source) const override;
  bool write_chunk(builder_context& context, size_t bytes) override;
  /// The measured size stays: a file that ends early keeps its missing bytes
  /// zero, so that later offsets stay multiples of 8.
  void end_after_read_failure(builder_context& context) override;
  bool write_gathered(const memory_arrays& out) override;

 protected:
  /// Starts the bytes of a file of size bytes at the binary file's end.
  void begin_bytes(uint64_t size);
  /// Pads the file's bytes to its measured size; false after a message.
  bool end_bytes(builder_context& context);
  /// The hash of the file's size and bytes, which names its symbol.
  uint64_t bytes_hash() const { return hash_.finish64(); }

  binary_file binary_;
  uint64_t offset_ = 0;  // where the file's bytes start

 private:
  content_hasher hash_;
  uint64_t copied_ = 0;
};

/// Appends length bytes. After a failed write the file is closed, since the
/// offsets of later bytes would no longer be known, and failed is set;
/// every later call then fails with a message too.
bool append_binary(binary_file& binary, const uint8_t* bytes, uint64_t length);

/// Makes the file end after every byte appended so far (a run of zeros at
/// its end included); false after a message when it cannot.
bool end_binary(binary_file& binary);

/// Appends length zero bytes the same way, through scratch (scratch_size
/// bytes, which it overwrites).
bool append_zeros(binary_file& binary, uint64_t length, uint8_t* scratch, uint64_t scratch_size);

/// Adds size bytes from memory, padded with zeros to a multiple of 8, to
/// pending (bytes that append_binary writes later), and returns the hash
/// that names them (the hash of their size and bytes).
unsigned long long gather_padded(std::string& pending, const uint8_t* bytes, uint64_t size);

/// Writes the data text prepared in text_buffer (text_length bytes; -1 when
/// it could not be prepared) into the file's data file (h_dst_cpp or its
/// shard's). False after the message, which
/// names id or the text.
bool write_data_text(builder_context& context, const char* id);
