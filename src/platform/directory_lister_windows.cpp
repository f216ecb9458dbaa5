#include "platform/directory_lister.h"

#include <windows.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "platform/fault_seam.h"
#include "platform/utf16_order.h"

namespace platform {

const uint32_t error_no_more_files = ERROR_NO_MORE_FILES;

namespace {

struct listed_item {
  uint32_t name_offset;
  uint32_t attributes;
  uint64_t size;
};

// Volume serial number and file index: the same for every path that leads
// to a directory, through links and junctions.
struct directory_identity {
  uint32_t volume;
  uint64_t file;
  bool operator==(const directory_identity&) const = default;
};

// The directory whose items pattern lists: the pattern up to its last
// separator (or drive colon), completed with ".".
std::wstring directory_of(const wchar_t* pattern) {
  size_t end = 0;
  for (size_t i = 0; pattern[i]; ++i)
    if (pattern[i] == L'/' || pattern[i] == L'\\' || (i == 1 && pattern[i] == L':')) end = i + 1;
  return std::wstring(pattern, end) + L".";
}

bool identify(const std::wstring& directory, directory_identity* out) {
  HANDLE h = CreateFileW(directory.c_str(), FILE_READ_ATTRIBUTES,
                         FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                         FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (h == INVALID_HANDLE_VALUE) return false;
  BY_HANDLE_FILE_INFORMATION info;
  bool known = GetFileInformationByHandle(h, &info) != 0;
  CloseHandle(h);
  if (known)
    *out = directory_identity{info.dwVolumeSerialNumber,
                              (static_cast<uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow};
  return known;
}

}  // namespace

// FindFirstFileW gives the items in the file system's order, so a listing
// reads its directory once, keeps the items and reports them sorted.
struct directory_lister::listing {
  bool identified = false;
  directory_identity identity{};
  std::vector<wchar_t> names;  // each name with its terminator
  std::vector<listed_item> items;
  size_t next = 0;
  uint32_t end_error = ERROR_NO_MORE_FILES;  // what next reports after the last item

  bool start(const wchar_t* pattern, const directory_lister* parent);
  bool read(const wchar_t* pattern);
  void add(const WIN32_FIND_DATAW& data);
  bool fill(find_data* item);
};

// Identifies the directory and refuses it when a listing up the chain has it
// open; false with the last error set.
bool directory_lister::listing::start(const wchar_t* pattern, const directory_lister* parent) {
  names.clear();
  items.clear();
  next = 0;
  end_error = ERROR_NO_MORE_FILES;
  // A directory that cannot be opened is not refused here: the search
  // itself reports why it cannot be listed.
  identified = identify(directory_of(pattern), &identity);
  for (const directory_lister* above = parent; identified && above; above = above->parent_) {
    if (above->open_ && above->listing_->identified && above->listing_->identity == identity) {
      SetLastError(ERROR_CANT_RESOLVE_FILENAME);
      return false;
    }
  }
  return true;
}

void directory_lister::listing::add(const WIN32_FIND_DATAW& data) {
  size_t length = wcsnlen(data.cFileName, MAX_PATH - 1);
  items.push_back(listed_item{static_cast<uint32_t>(names.size()), data.dwFileAttributes,
                              (static_cast<uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow});
  names.insert(names.end(), data.cFileName, data.cFileName + length);
  names.push_back(0);
}

bool directory_lister::listing::read(const wchar_t* pattern) {
  WIN32_FIND_DATAW data;
  HANDLE search = FindFirstFileW(pattern, &data);
  if (search == INVALID_HANDLE_VALUE) return false;
  do add(data);
  while (FindNextFileW(search, &data));
  // An error that ends the search early is reported after the items found.
  end_error = GetLastError();
  FindClose(search);
  const wchar_t* base = names.data();
  std::sort(items.begin(), items.end(), [base](const listed_item& a, const listed_item& b) {
    return utf16_less(base + a.name_offset, base + b.name_offset);
  });
  return true;
}

bool directory_lister::listing::fill(find_data* item) {
  if (next >= items.size()) {
    SetLastError(end_error);
    return false;
  }
  const listed_item& listed = items[next++];
  const wchar_t* name = names.data() + listed.name_offset;
  size_t length = wcslen(name);
  memcpy(item->name, name, (length + 1) * sizeof *name);
  item->attributes = listed.attributes;
  item->size = listed.size;
  return true;
}

directory_lister::directory_lister(const directory_lister* parent) : parent_(parent) {}
directory_lister::~directory_lister() = default;

bool directory_lister::first(const wchar_t* pattern, find_data* item) {
  close();
  if (uint32_t injected = fault::before(fault::operation::list)) {
    SetLastError(injected);
    return false;
  }
  if (!listing_) listing_ = std::make_unique<listing>();
  if (!listing_->start(pattern, parent_) || !listing_->read(pattern)) return false;
  open_ = true;
  listing_->fill(item);
  return true;
}

bool directory_lister::next(find_data* item) {
  if (uint32_t injected = fault::before(fault::operation::list)) {
    SetLastError(injected);
    return false;
  }
  if (!open_) {
    SetLastError(ERROR_INVALID_HANDLE);
    return false;
  }
  return listing_->fill(item);
}

void directory_lister::close() {
  open_ = false;
  if (!listing_) return;
  listing_->names.clear();
  listing_->items.clear();
}

}  // namespace platform
