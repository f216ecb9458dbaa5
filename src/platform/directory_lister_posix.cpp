#include "platform/directory_lister.h"

#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "platform/fault_seam.h"
#include "platform/files.h"
#include "platform/posix_path.h"
#include "platform/posix_text.h"

namespace platform {

const uint32_t error_no_more_files = ENODATA;

namespace {

// Limits of the listings open along one chain of listers, together.
constexpr size_t max_depth = 4096;
constexpr size_t max_name_bytes = 32u << 20;
constexpr size_t max_items = 1u << 20;

struct listed_item {
  uint32_t name_offset;
  uint32_t attributes;
};

bool has_wildcard(const char* text) { return strpbrk(text, "*?") != nullptr; }

// Case-sensitive match of * and ? against a whole name.
bool matches(const char* pattern, const char* name) {
  const char* star = nullptr;
  const char* resume = nullptr;
  while (*name) {
    if (*pattern == '?' || (*pattern == *name && *pattern != '*')) {
      ++pattern, ++name;
    } else if (*pattern == '*') {
      star = pattern++;
      resume = name;
    } else if (star) {
      pattern = star + 1;
      name = ++resume;
    } else {
      return false;
    }
  }
  while (*pattern == '*') ++pattern;
  return *pattern == 0;
}

uint32_t attributes_of(const struct stat& st) {
  return S_ISDIR(st.st_mode) ? file_attribute_directory : file_attribute_normal;
}

}  // namespace

// The system's listing comes in no particular order, so a listing reads its
// directory once, keeps the matching names and reports them sorted.
struct directory_lister::listing {
  dev_t device = 0;
  ino_t inode = 0;
  size_t name_bytes_above = 0;  // held by the open listings up the chain
  size_t items_above = 0;
  std::vector<char> names;  // each name with its terminator
  std::vector<listed_item> items;
  size_t next = 0;

  bool start(const char* directory, const directory_lister* parent);
  bool add(const char* name, uint32_t attributes);
  bool add_named(const char* directory, const char* name);
  bool add_matching(const char* directory, const char* pattern);
  bool fill(find_data* item);
};

// Identifies directory and refuses it when a listing up the chain has it
// open; false with errno set.
bool directory_lister::listing::start(const char* directory, const directory_lister* parent) {
  names.clear();
  items.clear();
  next = 0;
  name_bytes_above = items_above = 0;
  size_t depth = 0;
  for (const directory_lister* above = parent; above; above = above->parent_) {
    if (!above->open_) continue;
    ++depth;
    name_bytes_above += above->listing_->names.size();
    items_above += above->listing_->items.size();
  }
  if (depth == max_depth) {
    errno = EMFILE;
    return false;
  }
  struct stat st;
  if (::stat(directory, &st) != 0) return false;
  for (const directory_lister* above = parent; above; above = above->parent_) {
    if (above->open_ && above->listing_->device == st.st_dev && above->listing_->inode == st.st_ino) {
      errno = ELOOP;
      return false;
    }
  }
  device = st.st_dev;
  inode = st.st_ino;
  return true;
}

bool directory_lister::listing::add(const char* name, uint32_t attributes) {
  size_t length = strlen(name) + 1;
  if (name_bytes_above + names.size() + length > max_name_bytes || items_above + items.size() == max_items) {
    errno = ENOBUFS;
    return false;
  }
  items.push_back(listed_item{static_cast<uint32_t>(names.size()), attributes});
  names.insert(names.end(), name, name + length);
  return true;
}

// A plain name lists that one item, followed through links.
bool directory_lister::listing::add_named(const char* directory, const char* name) {
  int dir_fd = ::open(directory, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  struct stat st;
  bool found = dir_fd != -1 && fstatat(dir_fd, name, &st, 0) == 0;
  int saved = errno;
  if (dir_fd != -1) ::close(dir_fd);
  if (!found) {
    errno = saved;
    return false;
  }
  return add(name, attributes_of(st));
}

bool directory_lister::listing::add_matching(const char* directory, const char* pattern) {
  DIR* dir = opendir(directory);
  if (!dir) return false;
  int dir_fd = dirfd(dir);
  errno = 0;
  while (struct dirent* entry = readdir(dir)) {
    if (!matches(pattern, entry->d_name)) continue;
    uint32_t attributes = entry->d_type == DT_DIR ? file_attribute_directory : file_attribute_normal;
    if (entry->d_type == DT_LNK || entry->d_type == DT_UNKNOWN) {
      struct stat st;
      attributes = fstatat(dir_fd, entry->d_name, &st, 0) == 0 ? attributes_of(st) : file_attribute_normal;
    }
    if (!add(entry->d_name, attributes)) {
      closedir(dir);
      errno = ENOBUFS;
      return false;
    }
    errno = 0;
  }
  int saved = errno;
  closedir(dir);
  if (saved != 0 || items.empty()) {
    errno = saved != 0 ? saved : ENOENT;
    return false;
  }
  const char* base = names.data();
  std::sort(items.begin(), items.end(), [base](const listed_item& a, const listed_item& b) {
    return strcmp(base + a.name_offset, base + b.name_offset) < 0;
  });
  return true;
}

bool directory_lister::listing::fill(find_data* item) {
  if (next >= items.size()) {
    errno = static_cast<int>(error_no_more_files);
    return false;
  }
  const listed_item& listed = items[next++];
  const char* name = names.data() + listed.name_offset;
  long long n = utf8_to_wide(name, strlen(name), item->name, 259);
  if (n < 0) n = 259;
  item->name[n] = 0;
  item->attributes = listed.attributes;
  item->size = 0;
  return true;
}

directory_lister::directory_lister(const directory_lister* parent) : parent_(parent) {}
directory_lister::~directory_lister() = default;

bool directory_lister::first(const wchar_t* pattern, find_data* item) {
  close();
  if (uint32_t injected = fault::before(fault::operation::list)) {
    errno = static_cast<int>(injected);
    return false;
  }
  system_path converted(pattern);
  char* path = converted.c_str();
  if (!path) return false;
  char* slash = strrchr(path, '/');
  const char* last = slash ? slash + 1 : path;
  const char* directory = !slash ? "." : slash == path ? "/" : path;
  if (slash && slash != path) *slash = 0;
  if (*last == 0) {
    errno = ENOENT;
    return false;
  }
  if (!listing_) listing_ = std::make_unique<listing>();
  if (!listing_->start(directory, parent_)) return false;
  bool listed = has_wildcard(last) ? listing_->add_matching(directory, last) : listing_->add_named(directory, last);
  if (!listed) return false;
  open_ = true;
  listing_->fill(item);
  return true;
}

bool directory_lister::next(find_data* item) {
  if (uint32_t injected = fault::before(fault::operation::list)) {
    errno = static_cast<int>(injected);
    return false;
  }
  if (!open_) {
    errno = EBADF;
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
