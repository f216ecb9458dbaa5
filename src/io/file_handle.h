#pragma once
// The one file object of the tool: every input and output file goes through
// it. The names "-", "con" and "CON" stand for the standard streams.
#include <cstdint>

#include "platform/platform.h"

struct file_handle {
  platform::overlapped async_r;
  platform::overlapped async_w;
  platform::os_handle handle;
  platform::overlapped* overlapped_r;
  platform::overlapped* overlapped_w;
  uint8_t opened;
  uint8_t async;
  uint8_t silent;    // suppresses the open-failure report
  uint8_t literal;   // the name is always a file's own, never a standard stream
  uint8_t borrowed;  // close leaves the system handle and events open
  uint32_t last_error;   // last open, seek, read, size or time query
  uint32_t write_error;  // last write or end-of-file change
  // The open file's identity, queried once (identified) while it stays open.
  mutable platform::file_identity identity;
  mutable uint8_t identified;

  file_handle();
  ~file_handle();
  file_handle(const file_handle&) = delete;
  file_handle& operator=(const file_handle&) = delete;

  /// 0 on success; -1 when already open; else the system error code, after
  /// printing "open(name)" and the system's message unless silent. A failed
  /// overwrite (create_always for writing) is retried once as open_existing;
  /// when the retry finds no file, the error is the overwrite's.
  int open(const wchar_t* name, uint32_t access, uint32_t disposition, uint32_t extra_flags);
  /// Creates the two events of an overlapped file: 0, -1 when not open, or
  /// the system error code.
  int create_events();
  /// 0, or -1 when not open.
  int close();
  /// close, then back to the closed state; returns what close returned.
  int reset();

  /// Bytes obtained (0 at end of file), or -1 with last_error set.
  int64_t read(void* buffer, uint32_t length);
  /// The length asked for, or -1 with write_error set.
  int64_t write(const void* buffer, uint32_t length);
  bool seek(int64_t distance, uint32_t method);
  bool set_eof();
  /// The size, or false with last_error set.
  bool size(uint64_t* bytes);
  /// The last-write time (100 ns since 1601), or false with last_error set.
  bool write_time(uint64_t* file_time);
  /// True when this file is open and is the file of source (another file
  /// object); each side's identity is queried once while it is open.
  bool is_file_of(const file_handle& source) const;

 private:
  void clear();
  void close_events();
};
