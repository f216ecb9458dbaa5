// Fuzzes the whole planner: arbitrary methods, request targets and request
// field lines, collected by request_fields, against a small site of
// records. The input is text, one line each for the method (with
// " HTTP/1.1" after it for a request that needs Host; HTTP/1.0 otherwise),
// the target and every field line.
//
// Properties: a field sent on several lines reaches the planner as its
// values joined with ", " in order, unless they overflow (431); a request
// refused for its field lines (400, 431) is answered so and closes the
// connection; every answer has a Date; a 301's Location is the decoded path
// escaped, a slash and the target's query, with no byte a header may not
// hold; the body lies inside the answered record's data or is one of
// the planner's own short texts; a 2xx answers a record of the site whose
// path, or content-hashed path, the target names after decoding (never one
// outside it), and is cached for good exactly when named by its hash;
// Content-Length is the body's length (the full size for a 304);
// Content-Range names exactly the bytes of the body; HEAD and body-less
// statuses send no body; the status is one the planner documents; a
// variant is sent whole with its own ETag and Content-Encoding, never as a
// range; Vary is on every answer about a resource with variants; a file
// held compressed only is sent in its stored coding or decoded, never as
// its stored bytes without their Content-Encoding.
//
// The same request is planned again for a site with fallbacks, error pages
// and headers of its own. Every answer of either carries nosniff once.
// Where the plain site answers neither 404 nor 405, the other answers the
// same, with its own header added. A 404 of the plain site becomes a
// fallback only for GET or HEAD of a path whose last segment has no '.',
// under the longest prefix that starts it, for a request that takes HTML,
// with Vary: Accept and no-cache; an error answer is the site's page only
// for a request that takes HTML, without validators or ranges, else the
// short text.
//
// Both sites are also given what -x adds for speed, made by the tool's own
// code: the header lines of every representation and the table of paths.
// Each answer must stay the same (status, body, headers in any order), and
// its head written as raw bytes must hold the plan's headers in order.
#include <algorithm>
#include <cstdint>
#include <iterator>
#include <optional>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

#include <vector>

#include "fuzz_check.h"
#include "generator/extras/perfect_hash.h"
#include "generator/extras/served_type.h"
#include "generator/records/header_block.h"
#include "vex_resource_builder/request_fields.h"
#include "vex_resource_builder/response_head.h"
#include "vex_resource_builder/response_plan.h"

namespace {

const char data_a[] = "0123456789abcdef";
const char latin1_path[] = "/caf\xe9.html";
const char page_404[] = "<p>gone</p>";
vex_resource records[] = {
    {L"a", "/a.css", "a.css", "", "a.css", HTTP_CONTENT_TYPE_TEXT_CSS, TXT_ENCODING_UTF8, 16, 16, 8, data_a, data_a,
     "Sun, 5 Nov 2023 7:05:09 GMT", "sun, 5 nov 2023 7:05:09 gmt"},
    {L"caf\u00e9.html", latin1_path, latin1_path + 1, "", latin1_path + 1, HTTP_CONTENT_TYPE_TEXT_HTML,
     TXT_ENCODING_ANSI, 3, 3, 1, data_a + 4, data_a + 4, "Mon, 1 Jan 1601 0:00:00 GMT", "mon, 1 jan 1601 0:00:00 gmt"},
    {L"index.html", "/d/index.html", "d/index.html", "index.html", "index.html", HTTP_CONTENT_TYPE_TEXT_HTML,
     TXT_ENCODING_ANSI, 0, 0, 0, data_a + 16, data_a + 16, "Sun, 0 Jan 1900 0:00:00 GMT", "sun, 0 jan 1900 0:00:00 gmt"},
    {L"404.html", "/404.html", "404.html", "", "404.html", HTTP_CONTENT_TYPE_TEXT_HTML, TXT_ENCODING_ANSI, 11, 11, 5,
     page_404, page_404, "Sun, 5 Nov 2023 7:05:09 GMT", "sun, 5 nov 2023 7:05:09 gmt"},
    {L"z.js", "/z.js", "z.js", "", "z.js", HTTP_CONTENT_TYPE_APPLICATION_JAVASCRIPT, TXT_ENCODING_ANSI, 40, 40, 20,
     nullptr, nullptr, "Sun, 5 Nov 2023 7:05:09 GMT", "sun, 5 nov 2023 7:05:09 gmt"},
};
const vex_resource* sorted[] = {&records[3], &records[0], &records[1], &records[2], &records[4]};
const size_t sorted_length = 5;
const vex_resource_array arrays[] = {{sorted, &sorted_length}};

// /a.css has a side record with every variant; the Latin-1 page one with
// none; both have hashed paths. The index has no side record.
const char br_a[] = "br-bytes";
const char gzip_a[] = "gzip-bytes!";
const char zstd_a[] = "zstd-bytes!!";
const vex_resource_extras extras_a{"/a.css",          "\"id-a\"", {br_a, 8, "\"br-a\""}, {gzip_a, 11, "\"gz-a\""},
                                   {zstd_a, 12, "\"zs-a\""}, "/a.0badf00d.css"};
const vex_resource_extras extras_cafe{latin1_path, "\"id-c\"", {}, {}, {}, "/caf\xe9.12345678.html"};
// /z.js is held compressed only: its one copy is the gzip variant.
const char gzip_z[] = "gzip-z";
const vex_resource_extras extras_z{"/z.js", "\"id-z\"", {}, {gzip_z, 6, "\"gz-z\""}, {}, "/z.0000abcd.js", VEX_STORED_GZIP};
const vex_resource_extras* const extras[] = {&extras_a, &extras_cafe, &extras_z};
constexpr size_t extras_length = 3;

// The site with the header lines of -x and its table of paths, as the
// tool would write them for the records and side records above.
class fast_site {
 public:
  fast_site() {
    add(extras_a, 0, 0, {"br-a", "gz-a", "zs-a"});
    add(extras_cafe, 1, 1, {});
    add(extras_z, 4, 2, {nullptr, "gz-z", nullptr});
    entries_ = {{&records[0], &extras_[0]}, {&records[1], &extras_[1]}, {&records[2], nullptr},
                {&records[4], &extras_[2]}};
    std::vector<std::string_view> keys;
    std::vector<uint32_t> values;
    for (uint32_t i = 0; i < entries_.size(); ++i) {
      keys.push_back(entries_[i].resource->path_root_a);
      values.push_back(2 * i);
      if (!entries_[i].extras) continue;
      keys.push_back(entries_[i].extras->hashed_path);
      values.push_back(2 * i + 1);
    }
    FUZZ_CHECK(build_perfect_hash(keys, hash_), "no perfect hash of the paths");
    for (uint32_t& slot : hash_.slots)
      if (slot != vex_res_empty_slot) slot = values[slot];
    table_ = {entries_.data(), static_cast<uint32_t>(entries_.size()), hash_.slots.data(), static_cast<uint32_t>(hash_.slots.size()), hash_.pilots.data(),
              static_cast<uint32_t>(hash_.pilots.size()), hash_.seed};
    side_records_ = {&extras_[0], &extras_[1], &extras_[2]};
  }

  /// The site with these side records and the table of paths.
  vex_http::site twin(vex_http::site plain) const {
    plain.extras = side_records_.data();
    plain.paths = &table_;
    return plain;
  }

 private:
  struct coding_tags {
    const char* br;
    const char* gzip;
    const char* zstd;
  };

  // A copy of a side record (of the record at record_index) with the
  // header lines of its representations, as the tool makes them: one for
  // each variant there is.
  void add(const vex_resource_extras& plain, size_t record_index, size_t index, coding_tags tags) {
    const vex_resource& record = records[record_index];
    vex_resource_extras& extras = extras_[index];
    extras = plain;
    const std::string type = served_content_type(record.content_type, record.text_encoding, L"");
    const std::string date = fixed_last_modified(record.http_date);
    const bool varies = plain.br.data || plain.gzip.data || plain.zstd.data;
    const std::string etag(plain.etag + 1, std::strlen(plain.etag) - 2);
    extras.identity_head = head(index * 4, {type, date, etag.c_str(), record.size, varies, nullptr});
    if (plain.br.data) extras.br_head = head(index * 4 + 1, {type, date, tags.br, plain.br.size, true, "br"});
    if (plain.gzip.data)
      extras.gzip_head = head(index * 4 + 2, {type, date, tags.gzip, plain.gzip.size, true, "gzip"});
    if (plain.zstd.data)
      extras.zstd_head = head(index * 4 + 3, {type, date, tags.zstd, plain.zstd.size, true, "zstd"});
  }

  vex_resource_head head(size_t slot, const head_facts& facts) {
    const head_lines made = make_head_lines(facts);
    lines_[slot] = made.lines;
    return {lines_[slot].c_str(), static_cast<uint16_t>(made.not_modified_end), static_cast<uint16_t>(made.type_start),
            static_cast<uint16_t>(made.lines.size())};
  }

  std::string lines_[12];
  vex_resource_extras extras_[3] = {};
  std::vector<const vex_resource_extras*> side_records_;
  std::vector<vex_resource_path_entry> entries_;
  perfect_hash hash_;
  vex_resource_path_table table_{};
};

// An answer as text to compare: status, flags, body, and the headers in
// order of name and value, Date's value left out (a second may pass).
std::string answer_text(const vex_http::response_plan& plan) {
  std::vector<std::string> headers;
  for (size_t i = 0; i < plan.header_count; ++i)
    headers.push_back(std::string(plan.headers[i].name) + ": " +
                      (std::string_view(plan.headers[i].name) == "Date" ? "" : std::string(plan.headers[i].value)));
  std::sort(headers.begin(), headers.end());
  std::string text = std::to_string(plan.status) + (plan.send_body ? " body " : " ") +
                     (plan.close_connection ? "close " : "") + std::to_string(plan.body_length) + " " +
                     std::to_string(reinterpret_cast<uintptr_t>(plan.body)) + "\n";
  for (const std::string& header : headers) text += header + "\n";
  return text;
}

// The head written as raw bytes holds the status line, the plan's headers
// in order, the connection's header and the blank line.
void check_raw_head(const vex_http::response_plan& plan) {
  char out[vex_http::head_capacity];
  const size_t length = vex_http::write_head(plan, "close", out, sizeof out);
  if (length > sizeof out) return;  // a long Location
  std::string expected = "HTTP/1.1 " + std::to_string(plan.status) + " " +
                         std::string(vex_http::reason_phrase(plan.status)) + "\r\n";
  for (size_t i = 0; i < plan.header_count; ++i)
    expected += std::string(plan.headers[i].name) + ": " + std::string(plan.headers[i].value) + "\r\n";
  expected += "Connection: close\r\n\r\n";
  FUZZ_CHECK(std::string_view(out, length) == expected, "the raw head is not the plan's headers");
}

// True when the decoded path is the record's hashed path, byte for byte or
// in its Latin-1 form.
bool names_hashed_path(const char* path, const vex_resource* resource) {
  const vex_resource_extras* side = vex_res_extras_find(extras, extras_length, resource->path_root_a);
  if (!side) return false;
  char latin1[vex_http::path_capacity];
  return std::strcmp(path, side->hashed_path) == 0 ||
         (vex_http::latin1_from_utf8(path, latin1) && std::strcmp(latin1, side->hashed_path) == 0);
}

std::string_view value_of(const vex_http::response_plan& plan, std::string_view name) {
  for (size_t i = 0; i < plan.header_count; ++i)
    if (plan.headers[i].name == name) return plan.headers[i].value;
  return {};
}

uint64_t number(std::string_view text) {
  FUZZ_CHECK(!text.empty() && text.size() <= 20, "a number header is empty or too long");
  uint64_t value = 0;
  for (const char c : text) {
    FUZZ_CHECK(c >= '0' && c <= '9', "a number header holds a non-digit");
    value = value * 10 + static_cast<uint64_t>(c - '0');
  }
  return value;
}

// The byte range "bytes first-last/size" or "bytes */size" names.
void check_content_range(const vex_http::response_plan& plan, const vex_resource* resource) {
  std::string_view range = value_of(plan, "Content-Range");
  if (plan.status != 206 && plan.status != 416) {
    FUZZ_CHECK(range.empty(), "Content-Range outside 206 and 416");
    return;
  }
  FUZZ_CHECK(range.substr(0, 6) == "bytes ", "Content-Range without its unit");
  range.remove_prefix(6);
  const size_t slash = range.find('/');
  FUZZ_CHECK(slash != std::string_view::npos, "Content-Range without its size");
  FUZZ_CHECK(number(range.substr(slash + 1)) == resource->size, "Content-Range names another size");
  if (plan.status == 416) {
    FUZZ_CHECK(range.substr(0, slash) == "*", "a 416 names a range");
    return;
  }
  const size_t dash = range.find('-');
  FUZZ_CHECK(dash < slash, "Content-Range without its dash");
  const uint64_t first = number(range.substr(0, dash));
  const uint64_t last = number(range.substr(dash + 1, slash - dash - 1));
  FUZZ_CHECK(first <= last && last < resource->size, "Content-Range outside the representation");
  FUZZ_CHECK(plan.body_length == last - first + 1, "the body is not as long as Content-Range says");
  if (plan.source == vex_http::body_source::decoded)
    FUZZ_CHECK(plan.stored_offset == first, "the decoded body starts elsewhere than Content-Range says");
  else
    FUZZ_CHECK(plan.body == resource->data + first, "the body is not the bytes Content-Range names");
}

// The site with rules of its own: fallbacks by prefix, a page for 404 and
// one with variants for 405, and a header saying whether the answer is
// about a record.
const vex_http::fallback fallbacks[] = {{"/", "/d/index.html"}, {"/x/", latin1_path}};
const vex_http::error_page error_pages[] = {{404, "/404.html"}, {405, "/a.css"}};
const vex_http::header about_record[] = {{"X-Site", "record"}};
const vex_http::header about_none[] = {{"X-Site", "none"}};
vex_http::site rules_site() {
  vex_http::site where{arrays, 1, extras, extras_length};
  where.fallbacks = fallbacks;
  where.fallback_count = 2;
  where.error_pages = error_pages;
  where.error_page_count = 2;
  where.site_headers = [](const vex_resource* resource) {
    return vex_http::header_list{resource ? about_record : about_none, 1};
  };
  return where;
}

size_t count_of(const vex_http::response_plan& plan, std::string_view name) {
  size_t count = 0;
  for (size_t i = 0; i < plan.header_count; ++i) count += plan.headers[i].name == name;
  return count;
}

// A weak reading of Accept that any request taking HTML passes.
bool may_take_html(const vex_http::request_headers& headers) {
  if (!headers.accept) return true;
  std::string lower(*headers.accept);
  for (char& c : lower) c = vex_http::negotiation_detail::lower(c);
  return lower.find("html") != lower.npos || lower.find('*') != lower.npos;
}

// An answer of the rules site where the plain one had none (404): a
// fallback's record, the site's page, or the short text.
void check_fallback_or_page(const vex_http::response_plan& plan, std::string_view method, std::string_view target,
                            const vex_http::request_headers& headers) {
  if (plan.resource == &records[2] || plan.resource == &records[1]) {
    FUZZ_CHECK(vex_http::is_get_or_head(method) && may_take_html(headers), "a fallback for a request not taking it");
    char path[vex_http::path_capacity];
    size_t length = 0;
    FUZZ_CHECK(vex_http::decode_path(target, path, sizeof path, length) == vex_http::path_status::ok,
               "a fallback for a target that does not decode");
    const std::string_view decoded(path, length);
    FUZZ_CHECK(decoded.find('.', decoded.rfind('/')) == decoded.npos, "a fallback for a path with an extension");
    const bool under_x = decoded.substr(0, 3) == "/x/";
    FUZZ_CHECK(plan.resource == (under_x ? &records[1] : &records[2]), "the fallback of another prefix");
    FUZZ_CHECK(value_of(plan, "Vary").substr(0, 6) == "Accept", "a fallback without Vary: Accept");
    if (value_of(plan, "Cache-Control").size() > 0)
      FUZZ_CHECK(value_of(plan, "Cache-Control") == "no-cache", "a fallback cached otherwise than no-cache");
    return;
  }
  FUZZ_CHECK(plan.status == 404, "a 404 became another status without a fallback");
  if (plan.resource == &records[3]) {
    FUZZ_CHECK(may_take_html(headers), "the page for a request that takes no HTML");
    FUZZ_CHECK(plan.body == page_404 && plan.body_length == sizeof page_404 - 1, "the page's body is not its bytes");
    for (const char* absent : {"ETag", "Last-Modified", "Accept-Ranges", "Content-Range"})
      FUZZ_CHECK(value_of(plan, absent).empty(), "an error page with a validator or a range");
  } else {
    FUZZ_CHECK(plan.resource == nullptr && plan.body_length == 10, "a 404 that is neither the page nor the text");
  }
}

// The rules site against the plain one, for the same request.
void check_site_rules(const vex_http::response_plan& plain, const vex_http::response_plan& ruled,
                      std::string_view method, std::string_view target, const vex_http::request_headers& headers) {
  for (const vex_http::response_plan* plan : {&plain, &ruled})
    FUZZ_CHECK(count_of(*plan, "X-Content-Type-Options") == 1 &&
                   value_of(*plan, "X-Content-Type-Options") == "nosniff",
               "an answer without nosniff once");
  FUZZ_CHECK(value_of(ruled, "X-Site") == (ruled.resource ? "record" : "none"), "the site's header missing");
  if (plain.status == 404) return check_fallback_or_page(ruled, method, target, headers);
  if (plain.status == 405) {
    const bool page = ruled.resource == &records[0];
    FUZZ_CHECK(ruled.status == 405 && (page ? may_take_html(headers) : ruled.body_length == 19),
               "a 405 that is neither the page nor the text");
    return;
  }
  FUZZ_CHECK(ruled.status == plain.status && ruled.body == plain.body && ruled.body_length == plain.body_length &&
                 ruled.send_body == plain.send_body && ruled.close_connection == plain.close_connection,
             "a site's rules changed an answer they are not about");
  for (size_t i = 0; i < plain.header_count; ++i)
    if (plain.headers[i].name != std::string_view("Date"))
      FUZZ_CHECK(value_of(ruled, plain.headers[i].name) == plain.headers[i].value,
                 "a site's rules changed a header they are not about");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // The input is text: the method, the target, then "Name: value" lines.
  std::string_view lines(reinterpret_cast<const char*>(data), size);
  const auto next_line = [&lines] {
    const size_t end = lines.find('\n');
    const std::string_view line = lines.substr(0, end);
    lines.remove_prefix(end == std::string_view::npos ? lines.size() : end + 1);
    return line;
  };
  std::string_view method = next_line();
  const bool http11 = method.size() >= 9 && method.substr(method.size() - 9) == " HTTP/1.1";
  if (http11) method.remove_suffix(9);
  const std::string_view target = next_line();
  vex_http::request_fields fields(http11 ? 11 : 10);
  // The lines of each field the planner reads, joined as they should arrive.
  static constexpr std::string_view names[] = {"If-Match",         "If-None-Match", "If-Modified-Since",
                                               "If-Unmodified-Since", "Range",       "If-Range",
                                               "Accept-Encoding",  "Accept"};
  std::optional<std::string> joined[std::size(names)];
  size_t field_lines = 0;
  while (!lines.empty()) {
    const std::string_view line = next_line();
    const size_t colon = line.find(": ");
    if (colon == std::string_view::npos) continue;
    const std::string_view name = line.substr(0, colon), value = line.substr(colon + 2);
    fields.add(name, value);
    for (size_t i = 0; i < std::size(names); ++i) {
      if (!vex_http::negotiation_detail::same_token(name, names[i])) continue;
      joined[i] = joined[i] ? *joined[i] + ", " + std::string(value) : std::string(value);
      ++field_lines;
    }
  }
  const vex_http::request_headers headers = fields.headers();
  size_t join_size = 0;
  for (size_t i = 0; i < std::size(names); ++i)
    if (joined[i]) join_size += joined[i]->size();
  if (field_lines <= vex_http::request_fields::max_lines && join_size <= vex_http::request_fields::join_capacity) {
    const std::optional<std::string_view> read[] = {headers.if_match, headers.if_none_match,
                                                    headers.if_modified_since, headers.if_unmodified_since,
                                                    headers.range, headers.if_range, headers.accept_encoding,
                                                    headers.accept};
    for (size_t i = 0; i < std::size(names); ++i)
      FUZZ_CHECK(read[i].has_value() == joined[i].has_value() && (!read[i] || *read[i] == *joined[i]),
                 "a field's lines are not its values joined in order");
  }

  vex_http::response_plan plan;
  vex_http::plan_request(plan, method, target, headers, {arrays, 1, extras, extras_length},
                         vex_http::immutable_when_hashed);
  vex_http::response_plan ruled;
  vex_http::plan_request(ruled, method, target, headers, rules_site(), vex_http::immutable_when_hashed);
  check_site_rules(plan, ruled, method, target, headers);
  static const fast_site prepared;
  const vex_http::site plain_sites[] = {{arrays, 1, extras, extras_length}, rules_site()};
  const vex_http::response_plan* answers[] = {&plan, &ruled};
  for (size_t i = 0; i < std::size(plain_sites); ++i) {
    vex_http::response_plan fast;
    vex_http::plan_request(fast, method, target, headers, prepared.twin(plain_sites[i]),
                           vex_http::immutable_when_hashed);
    FUZZ_CHECK(answer_text(fast) == answer_text(*answers[i]),
               "the header lines or the table of paths change the answer");
    check_raw_head(fast);
  }

  FUZZ_CHECK(!value_of(plan, "Date").empty(), "an answer without Date");
  if (headers.fields_status != 0)
    FUZZ_CHECK(plan.status == headers.fields_status && plan.close_connection,
               "a request refused for its field lines is answered otherwise or keeps the connection");
  if (plan.status == 301) {
    const std::string_view location = value_of(plan, "Location");
    for (const char c : location)
      FUZZ_CHECK(static_cast<unsigned char>(c) > 0x20 && static_cast<unsigned char>(c) < 0x7f,
                 "Location holds a byte that is not visible ASCII");
    const size_t question = target.find('?');
    std::string_view query = question == std::string_view::npos ? std::string_view() : target.substr(question + 1);
    query = query.substr(0, query.find('#'));
    bool plain = true;
    for (const char c : query) plain = plain && static_cast<unsigned char>(c) > 0x20 && static_cast<unsigned char>(c) < 0x7f;
    if (plain && !query.empty())
      FUZZ_CHECK(location.size() > query.size() && location.substr(location.size() - query.size() - 1) ==
                                                        "?" + std::string(query),
                 "a redirect lost its query");
    const std::string_view path = location.substr(0, location.find('?'));
    FUZZ_CHECK(path.size() >= 2 && path.front() == '/' && path.back() == '/', "a redirect's path is no directory");
  }

  static constexpr int statuses[] = {200, 206, 301, 304, 400, 404, 405, 406, 412, 414, 416, 431, 501};
  FUZZ_CHECK(std::find(std::begin(statuses), std::end(statuses), plan.status) != std::end(statuses),
             "an undocumented status");
  const vex_resource* resource = plan.resource;
  if (plan.status >= 200 && plan.status < 300) {
    FUZZ_CHECK(resource != nullptr, "a 2xx without a record");
    FUZZ_CHECK(std::find(std::begin(sorted), std::end(sorted), resource) != std::end(sorted),
               "a 2xx for a record outside the site");
    char path[vex_http::path_capacity];
    size_t length = 0;
    FUZZ_CHECK(vex_http::decode_path(target, path, sizeof path, length) == vex_http::path_status::ok,
               "a 2xx for a target that does not decode");
    const bool index = length > 0 && path[length - 1] == '/';
    if (index) std::strcpy(path + length, "index.html");
    const bool by_hash = !index && names_hashed_path(path, resource);
    FUZZ_CHECK(vex_http::find_path(arrays, 1, path) == resource || by_hash,
               "a 2xx for a record the target does not name");
    FUZZ_CHECK((value_of(plan, "Cache-Control") == vex_http::cache_for_good) == by_hash,
               "immutable for a path without the hash, or not for one with it");
  }
  const bool has_variants = resource == &records[0] || resource == &records[4];
  const bool held_compressed = resource == &records[4];
  FUZZ_CHECK((value_of(plan, "Vary") == "Accept-Encoding") == (has_variants && plan.resource),
             "Vary missing, or on a resource without variants");
  const std::string_view encoding = value_of(plan, "Content-Encoding");
  if (plan.status == 200 && encoding == "br")
    FUZZ_CHECK(plan.body == br_a && plan.body_length == 8 && value_of(plan, "ETag") == "\"br-a\"", "a wrong br body");
  else if (plan.status == 200 && encoding == "gzip" && held_compressed)
    FUZZ_CHECK(plan.body == gzip_z && plan.body_length == 6 && value_of(plan, "ETag") == "\"gz-z\"",
               "a wrong gzip body");
  else if (plan.status == 200 && encoding == "gzip")
    FUZZ_CHECK(plan.body == gzip_a && plan.body_length == 11 && value_of(plan, "ETag") == "\"gz-a\"",
               "a wrong gzip body");
  else if (plan.status == 200 && encoding == "zstd")
    FUZZ_CHECK(plan.body == zstd_a && plan.body_length == 12 && value_of(plan, "ETag") == "\"zs-a\"",
               "a wrong zstd body");
  else if (plan.body_length > 0 && held_compressed && plan.status >= 200 && plan.status < 300)
    FUZZ_CHECK(encoding.empty() && plan.source == vex_http::body_source::decoded && !plan.body &&
                   plan.stored.data == gzip_z && plan.stored.size == 6 &&
                   plan.stored_offset + plan.body_length <= resource->size && value_of(plan, "ETag") == "\"id-z\"",
               "a file held compressed only is not decoded for a client that takes identity");
  else if (plan.body_length > 0 && resource && plan.status >= 200 && plan.status < 300)
    FUZZ_CHECK(encoding.empty() && plan.body >= resource->data &&
                   plan.body + plan.body_length <= resource->data + resource->size,
               "the body lies outside the record");
  else if (plan.body_length > 0)
    FUZZ_CHECK(plan.body_length < 40 && std::memchr(plan.body, '\n', plan.body_length) == plan.body + plan.body_length - 1,
               "an error body is not a short line of text");
  const uint64_t content_length = number(value_of(plan, "Content-Length"));
  if (plan.status == 304)
    FUZZ_CHECK(content_length == resource->size ||
                   (has_variants && (content_length == 8 || content_length == 11 || content_length == 12 ||
                                     content_length == 6)),
               "a 304's Content-Length is no representation's size");
  else
    FUZZ_CHECK(content_length == plan.body_length, "Content-Length does not match the body");
  const bool body_less = method == "HEAD" || plan.status == 301 || plan.status == 304 || plan.status == 412 ||
                         plan.status == 416;
  if (plan.status == 206) FUZZ_CHECK(encoding.empty(), "a byte range of a variant");
  FUZZ_CHECK(!(plan.send_body && body_less), "a body where none belongs");
  check_content_range(plan, resource);
  return 0;
}
