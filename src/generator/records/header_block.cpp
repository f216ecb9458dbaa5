#include "generator/records/header_block.h"

#include <cstdarg>

#include "generator/names/identifier.h"
#include "generator/records/side_record_text.h"
#include "support/format.h"
#include "vex_resource_builder/http_date.h"

namespace {

// Appends a formatted line to lines; false when it cannot be formatted.
bool add_line(std::string& lines, const char* format, ...) {
  char line[512];
  va_list args;
  va_start(args, format);
  const int length = vformat_text(line, sizeof line, format, args);
  va_end(args);
  if (length < 0) return false;
  lines.append(line, static_cast<size_t>(length));
  return true;
}

// The body of a string literal whose value is lines, with CR and LF as the
// escapes a reader knows.
std::string literal_of(const std::string& lines) {
  std::string text;
  for (const char c : lines) {
    if (c == '\r' || c == '\n') {
      text += c == '\r' ? "\\r" : "\\n";
      continue;
    }
    char escaped[8];
    const int64_t length = escape_literal(&c, 1, escaped, sizeof escaped);
    text.append(escaped, length > 0 ? static_cast<size_t>(length) : 0);
  }
  return text;
}

}  // namespace

head_lines make_head_lines(const head_facts& facts) {
  head_lines head;
  std::string& lines = head.lines;
  bool made = (!facts.varies || add_line(lines, head_vary_line)) &&
              (facts.last_modified.empty() || add_line(lines, head_last_modified_line, facts.last_modified.c_str())) &&
              add_line(lines, head_etag_line, facts.etag) &&
              add_line(lines, head_length_line, static_cast<unsigned long long>(facts.size));
  head.not_modified_end = lines.size();
  made = made && add_line(lines, head_ranges_line) && (!facts.coding || add_line(lines, head_coding_line, facts.coding));
  head.type_start = lines.size();
  made = made && add_line(lines, head_type_line, facts.content_type.c_str());
  if (!made) lines.clear();
  return head;
}

std::string head_member(const head_facts& facts) {
  const head_lines head = make_head_lines(facts);
  if (head.lines.empty()) return {};
  const std::string literal = literal_of(head.lines);
  std::string member(literal.size() + 64, '\0');
  const int length = format_text(member.data(), member.size(), head_format, literal.c_str(),
                                 static_cast<unsigned>(head.not_modified_end), static_cast<unsigned>(head.type_start),
                                 static_cast<unsigned>(head.lines.size()));
  member.resize(length > 0 ? static_cast<size_t>(length) : 0);
  return member;
}

std::string fixed_last_modified(const char* record_date) {
  int64_t seconds = 0;
  char fixed[vex_http::date_capacity];
  if (!vex_http::parse_date(record_date, seconds) || !vex_http::format_date(seconds, fixed)) return {};
  return fixed;
}
