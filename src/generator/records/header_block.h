#pragma once
// The header lines of one representation of a file (-x), made at build
// time so that serving copies them as they are (vex_resource_head in the
// kit's vex_extras.h): the lines a 304 carries first, Content-Type last.
#include <cstdint>
#include <string>

/// What the lines of one representation say.
struct head_facts {
  const std::string& content_type;   ///< the served Content-Type value
  const std::string& last_modified;  ///< fixed form; empty when the record's date is not a real one
  const char* etag;                  ///< the hash's hex digits, without quotes
  uint64_t size;                     ///< Content-Length
  bool varies;                       ///< the file has variants: Vary: Accept-Encoding
  const char* coding;                ///< Content-Encoding; null for the file's own bytes
};

/// The lines of a head as they go on the wire, and where a 304's lines end
/// and Content-Type starts.
struct head_lines {
  std::string lines;  ///< empty when a piece cannot be formatted
  size_t not_modified_end = 0;
  size_t type_start = 0;
};

head_lines make_head_lines(const head_facts& facts);

/// The member text of a head, "{ "lines", end of a 304's lines, start of
/// Content-Type, length }"; empty when a piece cannot be formatted.
std::string head_member(const head_facts& facts);

/// The fixed form of a record's date text ("Sun, 5 Nov 2023 7:05:09 GMT"
/// gives "Sun, 05 Nov 2023 07:05:09 GMT"), as serving sends it in
/// Last-Modified; empty for a date that is not a real one, which serving
/// sends no Last-Modified for.
std::string fixed_last_modified(const char* record_date);
