#include "io/file_handle.h"

#include <cstring>
#include <initializer_list>
#include <cwchar>

#include "support/format.h"
#include "support/system_error.h"

using namespace platform;

namespace {

bool is_standard_name(const wchar_t* name) {
  return wcscmp(name, L"-") == 0 || wcscmp(name, L"con") == 0 || wcscmp(name, L"CON") == 0;
}

}  // namespace

file_handle::file_handle() { clear(); }

file_handle::~file_handle() { close(); }

void file_handle::clear() {
  memset(static_cast<void*>(this), 0, sizeof *this);
  handle = invalid_handle;
}

int file_handle::open(const wchar_t* name, uint32_t access, uint32_t disposition, uint32_t extra_flags) {
  if (opened) return -1;
  bool for_writing = (access & (generic_write | generic_all)) != 0;
  uint32_t flags = extra_flags | file_attribute_normal | file_flag_sequential_scan | file_flag_backup_semantics;
  bool retried = false;
  uint32_t first_error = 0;
  for (;;) {
    set_last_error(0);
    last_error = 0;
    if (!literal && is_standard_name(name)) {
      os_handle standard = get_std_handle(for_writing ? standard_stream::output : standard_stream::input);
      if (standard != invalid_handle) {
        handle = for_writing ? redirect_standard_output_to_error(standard) : standard;
        opened = 1;
        if (flags & file_flag_overlapped) {
          int result = create_events();
          if (result != 0) {
            close();
            return result;
          }
        }
        return 0;
      }
    }
    os_handle h = create_file(name, access, disposition, flags);
    if (h != invalid_handle) {
      handle = h;
      opened = 1;
      uint32_t created =
          disposition == create_always || disposition == open_always ? platform::last_error() : 0;
      if (flags & file_flag_overlapped) {
        int result = create_events();
        if (result != 0) {
          close();
          return result;
        }
      }
      last_error = created;
      return 0;
    }
    uint32_t err = platform::last_error();
    if (for_writing && disposition == create_always && err != error_file_not_found && !retried) {
      disposition = open_existing;
      retried = true;
      first_error = err;
      continue;
    }
    // A retry that finds no file says nothing of why it could not be
    // created (a directory that may not be written, say): that is the
    // first error.
    if (retried && err == error_file_not_found) err = first_error;
    if (!silent) {
      wchar_t text[512];
      format_wide(text, 512, L"open(%s)", name);
      print_system_error(standard_stream::output, err, text);
    }
    last_error = err;
    return static_cast<int>(err);
  }
}

int file_handle::create_events() {
  if (!opened) return -1;
  async_r.event = create_event();
  async_w.event = create_event();
  if (async_r.event != invalid_handle && async_w.event != invalid_handle) {
    overlapped_r = &async_r;
    overlapped_w = &async_w;
    async = 1;
    last_error = 0;
    return 0;
  }
  uint32_t err = platform::last_error();
  print_system_error(standard_stream::output, err, L"async_r/w.hEvent = CreateEvent()");
  close_events();
  last_error = err;
  async = 0;
  overlapped_r = overlapped_w = nullptr;
  return static_cast<int>(err);
}

void file_handle::close_events() {
  for (overlapped* record : {&async_r, &async_w}) {
    if (record->event == 0 || record->event == invalid_handle) {
      record->event = 0;
      continue;
    }
    if (!borrowed) {
      set_event(record->event);
      close_handle(record->event);
    }
    record->event = 0;
  }
}

int file_handle::close() {
  if (!opened) return -1;
  close_events();
  opened = 0;
  async = 0;
  identified = 0;
  overlapped_r = overlapped_w = nullptr;
  if (borrowed) {
    borrowed = 0;
  } else {
    close_handle(handle);
  }
  handle = invalid_handle;
  return 0;
}

bool file_handle::is_file_of(const file_handle& source) const {
  for (const file_handle* file : {this, &source}) {
    if (!file->opened) return false;
    if (!file->identified && !identify_file(file->handle, &file->identity)) return false;
    file->identified = 1;
  }
  return identity == source.identity;
}

int file_handle::reset() {
  int result = close();
  clear();
  return result;
}

int64_t file_handle::read(void* buffer, uint32_t length) {
  uint32_t got = 0;
  if (!read_file(handle, buffer, length, &got, overlapped_r)) {
    last_error = platform::last_error();
    return -1;
  }
  return got;
}

int64_t file_handle::write(const void* buffer, uint32_t length) {
  uint32_t got = 0;
  if (!write_file(handle, buffer, length, &got, overlapped_w)) {
    write_error = platform::last_error();
    return -1;
  }
  return length;
}

bool file_handle::seek(int64_t distance, uint32_t method) {
  int64_t position = 0;
  bool ok = set_file_pointer(handle, distance, &position, method);
  last_error = ok ? 0 : platform::last_error();
  return ok;
}

bool file_handle::set_eof() {
  bool ok = set_end_of_file(handle);
  write_error = ok ? 0 : platform::last_error();
  return ok;
}

bool file_handle::size(uint64_t* bytes) {
  if (!get_file_size(handle, bytes)) {
    last_error = platform::last_error();
    return false;
  }
  return true;
}

bool file_handle::write_time(uint64_t* file_time) {
  if (!get_file_write_time(handle, file_time)) {
    last_error = platform::last_error();
    return false;
  }
  last_error = 0;
  return true;
}
