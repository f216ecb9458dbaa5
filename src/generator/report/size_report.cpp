#include "generator/report/size_report.h"

#include <algorithm>
#include <cstdarg>
#include <cstring>
#include <cwchar>

#include "generator/records/manifest.h"
#include "generator/report/report_page.h"
#include "generator/report/report_text.h"
#include "support/format.h"

using namespace platform;

namespace {

// Appends a piece formatted from format, whose arguments' texts take at
// most room characters beside its own.
void append(std::string& out, size_t room, const char* format, ...) {
  const size_t at = out.size();
  room += strlen(format) + 1;
  out.resize(at + room);
  va_list args;
  va_start(args, format);
  int length = vformat_text(out.data() + at, room, format, args);
  va_end(args);
  out.resize(at + (length > 0 ? static_cast<size_t>(length) : 0));
}

constexpr size_t number_room = 64;

// The switches that made the variants, as the report names them.
std::string compression_text(const compression_plan* plan) {
  if (!plan) return "";
  if (!plan->stored_only) return "-x";
  return std::string("-z ") + coding_names[static_cast<int>(plan->stored)];
}

void append_file(std::string& out, const report_file& file, const char* separator) {
  const char* coding = file.coding < 0 ? report_identity : coding_names[file.coding];
  append(out, file.path.size() + strlen(file.type) + 2 * number_room + 16, report_file_entry, separator,
         file.path.c_str(), file.type, static_cast<unsigned long long>(file.size),
         static_cast<unsigned long long>(file.stored), coding);
  const char* between = "";
  for (int i = 0; i < coding_count; ++i) {
    if (file.variants[i] == 0) continue;
    append(out, number_room, report_coding_bytes, between, coding_names[i],
           static_cast<unsigned long long>(file.variants[i]));
    between = ", ";
  }
  out += report_file_close;
}

void append_totals(std::string& out, const std::vector<report_file>& files, const compression_plan* plan) {
  uint64_t size = 0, stored = 0, saved[coding_count] = {};
  for (const report_file& file : files) {
    size += file.size;
    stored += file.stored;
    for (int i = 0; i < coding_count; ++i)
      if (file.variants[i] != 0) saved[i] += file.size - file.variants[i];
  }
  append(out, 3 * number_room, report_totals, static_cast<unsigned long long>(files.size()),
         static_cast<unsigned long long>(size), static_cast<unsigned long long>(stored));
  const char* between = "";
  for (int i = 0; plan && i < coding_count; ++i) {
    if (!plan->makes(static_cast<coding>(i))) continue;
    append(out, number_room, report_coding_bytes, between, coding_names[i], static_cast<unsigned long long>(saved[i]));
    between = ", ";
  }
  out += report_close;
}

// The JSON of the report; in a page, with every '<' escaped, so that no
// name can end the script element that holds it.
std::string report_json(const std::vector<report_file>& files, const wchar_t* target, const compression_plan* plan,
                        bool in_page) {
  std::string target_text = json_string(target);
  std::string compression = compression_text(plan);
  std::string out;
  append(out, target_text.size() + compression.size(), report_open, target_text.c_str(), compression.c_str());
  for (size_t i = 0; i < files.size(); ++i) append_file(out, files[i], i == 0 ? "" : ",");
  append_totals(out, files, plan);
  if (!in_page) return out;
  std::string escaped;
  escaped.reserve(out.size());
  for (char c : out) {
    if (c == '<') escaped += "\\u003c";
    else escaped += c;
  }
  return escaped;
}

bool ends_with_extension(const wchar_t* name, const wchar_t* extension) {
  size_t length = wcslen(name);
  size_t extension_length = wcslen(extension);
  if (length < extension_length) return false;
  const wchar_t* end = name + length - extension_length;
  for (size_t i = 0; i < extension_length; ++i) {
    wchar_t c = end[i];
    if ((c >= L'A' && c <= L'Z' ? c + 32 : c) != extension[i]) return false;
  }
  return true;
}

}  // namespace

bool report_format(const wchar_t* name, bool* html) {
  *html = ends_with_extension(name, L".html");
  return *html || ends_with_extension(name, L".json");
}

bool size_report::open(const wchar_t* name) {
  name_ = name;
  report_format(name, &html_);
  file_.literal = 1;
  file_.open(name, generic_write, create_always, 0);
  if (file_.opened) return true;
  out_printf(L"cannot open the report [%s]\n", name);
  return false;
}

bool size_report::writes(os_handle handle) const { return file_.opened && same_file(handle, file_.handle); }

void size_report::add(report_file file) { files_.push_back(std::move(file)); }

bool size_report::finish(const wchar_t* target, const compression_plan* plan) {
  std::sort(files_.begin(), files_.end(), [](const report_file& a, const report_file& b) { return a.path < b.path; });
  std::string text = report_json(files_, target, plan, html_);
  if (html_) text = report_page_head + text + report_page_tail;
  bool written = file_.opened;
  constexpr size_t chunk = size_t{1} << 20;
  for (size_t at = 0; written && at < text.size(); at += chunk) {
    const size_t length = std::min(chunk, text.size() - at);
    written = file_.write(text.data() + at, static_cast<uint32_t>(length)) == static_cast<int64_t>(length);
  }
  file_.close();
  if (!written) out_printf(L"failed to write the report [%s]\n", name_.c_str());
  return written;
}
