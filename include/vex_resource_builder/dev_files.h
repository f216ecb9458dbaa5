#pragma once
// Development mode: the live files of the source tree, read at each request
// instead of the embedded bytes, so that an edit shows on reload without a
// rebuild. Only files that an embedded record names are served (the records
// give their paths and types), and only when the file really lies inside
// the tree: a symbolic link leading out, "..", an absolute path or a name
// the embedding refuses is never read.
//
//   vex_http::dev_tree tree;
//   if (!tree.open("site")) ...;
//   std::string bytes;
//   vex_http::live_read read = tree.read("/css/main.css", bytes);
//
// A file is opened once, without blocking and without leaving the tree, and
// served only when that open file is a regular file: a FIFO, a socket, a
// device or a directory is refused at once. A symbolic link is followed
// while it stays inside the tree. The system calls live in
// dev_files_posix.h and dev_files_windows.h.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>

#include "vex_resource_builder/request_path.h"

#ifdef _WIN32
#include "vex_resource_builder/dev_files_windows.h"
#else
#include "vex_resource_builder/dev_files_posix.h"
#endif

namespace vex_http {

/// True when no segment of a decoded path is one the embedding never
/// walks or embeds: ".", "..", "_", "~", a name beginning "..", ".DS_Store",
/// "*.aps", "*.rc", "resource*.h", an empty one; nor holds a backslash, a
/// colon or a control byte, which some systems read as path syntax.
inline bool embeddable_path(std::string_view path) {
  if (path.empty() || path[0] != '/') return false;
  path.remove_prefix(1);
  while (true) {
    const size_t end = path.find('/');
    const std::string_view name = path.substr(0, end);
    if (name.empty() || name == "." || name == "_" || name == "~" || name.substr(0, 2) == ".." ||
        name == ".DS_Store")
      return false;
    for (const char c : name)
      if (c == '\\' || c == ':' || static_cast<unsigned char>(c) < 0x20) return false;
    const size_t dot = name.rfind('.');
    if (dot != std::string_view::npos) {
      const std::string_view extension = name.substr(dot + 1);
      if (extension == "aps" || extension == "rc" || (extension == "h" && name.substr(0, 8) == "resource"))
        return false;
    }
    if (end == std::string_view::npos) return true;
    path.remove_prefix(end + 1);
  }
}

/// Bytes of a live entity tag, quotes and NUL included.
inline constexpr size_t live_etag_capacity = 40;

/// A strong entity tag for the live bytes of a file ("\"<hash>-<size>\"",
/// hexadecimal): a 64-bit FNV-1a hash of the bytes and their size. Unlike a
/// date in whole seconds, it changes with every edit, also one made within
/// the second the browser's copy is from. Not cryptographic: the files are
/// the developer's own. Written into out, NUL-terminated.
inline std::string_view live_etag(const char* data, uint64_t size, char (&out)[live_etag_capacity]) {
  uint64_t hash = 0xcbf29ce484222325u;
  for (uint64_t i = 0; i < size; ++i) hash = (hash ^ static_cast<unsigned char>(data[i])) * 0x100000001b3u;
  static constexpr char hex[] = "0123456789abcdef";
  char* at = out;
  *at++ = '"';
  for (int shift = 60; shift >= 0; shift -= 4) *at++ = hex[(hash >> shift) & 15];
  *at++ = '-';
  int shift = 60;
  while (shift > 0 && ((size >> shift) & 15) == 0) shift -= 4;
  for (; shift >= 0; shift -= 4) *at++ = hex[(size >> shift) & 15];
  *at++ = '"';
  *at = 0;
  return std::string_view(out, at - out);
}

/// The source tree of development mode; it may hold the root open, so it
/// moves but is not copied.
class dev_tree {
 public:
  dev_tree() = default;
  dev_tree(const dev_tree&) = delete;
  dev_tree& operator=(const dev_tree&) = delete;
  dev_tree(dev_tree&&) = default;
  dev_tree& operator=(dev_tree&&) = default;

  /// Opens the tree at root (UTF-8); false when it is not a directory.
  bool open(const char* root) { return dev_platform::open_tree(tree_, root); }

  /// Reads the live file of a routed, decoded path ("/docs/" reads
  /// "/docs/index.html") into bytes, a container of char such as
  /// std::string or std::vector<char>, resized to fit. The file is opened
  /// once; its size and date come from that open file and its bytes are
  /// read from it, so that a rename meanwhile cannot put another file's
  /// bytes behind them.
  template <class Bytes>
  live_read read(std::string_view path, Bytes& bytes) const {
    char name[dev_platform::path_capacity];
    if (!file_name(path, name)) return {live_read::refused, 0, 0};
    dev_platform::file file;
    live_read result = dev_platform::open_inside(tree_, name + 1, file);
    if (result.status != live_read::ok) return result;
    bytes.resize(result.size);
    uint64_t done = 0;
    while (done < result.size) {
      const int64_t count = dev_platform::read_some(file, bytes.data() + done, result.size - done);
      if (count < 0) return {live_read::missing, 0, 0};
      if (count == 0) break;  // the file shrank meanwhile: serve what is there
      done += static_cast<uint64_t>(count);
    }
    bytes.resize(done);
    result.size = done;
    return result;
  }

 private:
  // The file's name for path into name, NUL-terminated, "index.html"
  // added to a directory's path; false for a name never embedded.
  static bool file_name(std::string_view path, char (&name)[dev_platform::path_capacity]) {
    constexpr std::string_view index = "index.html";
    if (path.size() * 2 + index.size() >= sizeof name) return false;
    // Names on disk are UTF-8 (or UTF-16); a path that is not UTF-8 found
    // its record by its Latin-1 bytes.
    size_t length = path.size();
    if (is_utf8(path)) std::memcpy(name, path.data(), length);
    else length = utf8_from_latin1(path, name);
    if (length > 0 && name[length - 1] == '/') {
      std::memcpy(name + length, index.data(), index.size());
      length += index.size();
    }
    name[length] = 0;
    return embeddable_path(std::string_view(name, length));
  }

  dev_platform::tree tree_;
};

}  // namespace vex_http
