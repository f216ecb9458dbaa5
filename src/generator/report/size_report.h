#pragma once
// The size report (-r): what the program holds for every embedded file, its
// own bytes, the bytes stored and the size of each variant made, written at
// the end of the run as JSON (FILE.json) or as one self-contained HTML page
// with a treemap (FILE.html).
#include <cstdint>
#include <string>
#include <vector>

#include "generator/extras/compression.h"
#include "io/file_handle.h"

/// One embedded file as the report lists it.
struct report_file {
  std::string path;                      ///< the URL path as the body of a JSON string
  const char* type = "";                 ///< the MIME type it is served as
  uint64_t size = 0;                     ///< its own bytes
  uint64_t stored = 0;                   ///< the bytes the program holds for it
  int coding = -1;                       ///< the coding it is held in only, or -1 (as it is)
  uint64_t variants[coding_count] = {};  ///< the size of each variant made, 0 for none
};

/// True when name ends in ".json" or ".html" (in either case), the
/// report's two formats; html says which.
bool report_format(const wchar_t* name, bool* html);

class size_report {
 public:
  /// Creates the report (named as report_format takes it) before the walk,
  /// so that the walk knows it as a file of the run and never embeds it.
  /// False after a message.
  bool open(const wchar_t* name);
  /// True when handle is the report's file.
  bool writes(platform::os_handle handle) const;
  /// The report's file, open from open to finish.
  const file_handle& file() const { return file_; }
  const std::wstring& name() const { return name_; }
  void add(report_file file);
  /// Writes the report of target, whose variants plan made (null without
  /// -x), and closes it. False after a message: the output is incomplete.
  bool finish(const wchar_t* target, const compression_plan* plan);

 private:
  file_handle file_;
  std::wstring name_;
  bool html_ = false;
  std::vector<report_file> files_;
};
