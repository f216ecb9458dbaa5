// The serving kit: request paths, HTTP dates, byte ranges, the planner and
// the development mode's live files.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>

#include "vex_resource_builder/content_negotiation.h"
#include "vex_resource_builder/content_rules.h"
#include "vex_resource_builder/dev_files.h"
#include "vex_resource_builder/request_fields.h"
#include "vex_resource_builder/request_head.h"
#include "vex_resource_builder/response_head.h"
#include "vex_resource_builder/response_plan.h"

namespace {

using namespace vex_http;

std::string decoded(std::string_view target, path_status expected = path_status::ok) {
  char out[path_capacity];
  size_t length = 0;
  EXPECT_EQ(decode_path(target, out, sizeof out, length), expected) << target;
  return std::string(out, length);
}

TEST(RequestPath, DecodesAndNeverClimbsAboveTheRoot) {
  EXPECT_EQ(decoded("/a%20b/./c/../d.css?x=/../.."), "/a b/d.css");
  EXPECT_EQ(decoded("/docs/%2e%2E/x"), "/x");  // escaped dots are dots
  EXPECT_EQ(decoded("http://host:80/a/"), "/a/");
  EXPECT_EQ(decoded("http://host"), "/");
  EXPECT_EQ(decoded("/a/.."), "/");
  EXPECT_EQ(decoded("//x"), "//x");
  for (const char* bad : {"/..", "/a/../..", "/%2e%2e/x", "/a/%2E%2E/%2e%2e/etc/passwd", "/a%00", "/%", "/%4",
                          "/%g0", "a", "*", "", "/a b", "/a\x7f"})
    decoded(bad, path_status::bad);
  decoded("/" + std::string(path_capacity, 'a'), path_status::too_long);
  decoded("/docs%2Fpage.html", path_status::encoded_slash);
  decoded("/a%2f..%2F%zz", path_status::bad);  // a bad escape wins
}

// Three records: a Latin-1 path, a UTF-8 one, and a directory index.
const char latin1_path[] = "/caf\xe9.html";
const char utf8_path[] = "/na\xc3\xafve.html";
const char body[] = "0123456789";
vex_resource records[] = {
    {L"caf\u00e9.html", latin1_path, latin1_path + 1, "", latin1_path + 1, HTTP_CONTENT_TYPE_TEXT_HTML,
     TXT_ENCODING_ANSI, 10, 10, 5, body, body, "Sun, 5 Nov 2023 7:05:09 GMT", "sun, 5 nov 2023 7:05:09 gmt"},
    {L"na\u00efve.html", utf8_path, utf8_path + 1, "", utf8_path + 1, HTTP_CONTENT_TYPE_TEXT_HTML, TXT_ENCODING_UTF8,
     10, 10, 5, body, body, "Sun, 5 Nov 2023 7:05:09 GMT", "sun, 5 nov 2023 7:05:09 gmt"},
    {L"index.html", "/docs/index.html", "docs/index.html", "index.html", "index.html", HTTP_CONTENT_TYPE_TEXT_CSS,
     TXT_ENCODING_UTF8, 10, 10, 5, body, body, "Sun, 0 Jan 1900 0:00:00 GMT", "sun, 0 jan 1900 0:00:00 gmt"},
};
const vex_resource* sorted[] = {&records[0], &records[2], &records[1]};  // by path bytes
const size_t sorted_length = 3;
const vex_resource_array arrays[] = {{sorted, &sorted_length}};
const site test_site{arrays, 1};

TEST(RequestPath, FindsLatin1AndUtf8RecordsAndDirectoryIndexes) {
  EXPECT_EQ(find_path(arrays, 1, "/caf\xc3\xa9.html"), &records[0]);
  EXPECT_EQ(find_path(arrays, 1, latin1_path), &records[0]);
  EXPECT_EQ(find_path(arrays, 1, utf8_path), &records[1]);
  EXPECT_EQ(find_path(arrays, 1, "/caf\xc3.html"), nullptr);  // a broken sequence is no Latin-1 text
  char path[path_capacity] = "/docs";
  const route redirect = route_path(arrays, 1, path, 5);
  EXPECT_EQ(redirect.status, 301);
  EXPECT_STREQ(path, "/docs");  // restored after the index lookup
  std::strcpy(path, "/docs/");
  EXPECT_EQ(route_path(arrays, 1, path, 6).resource, &records[2]);
}

TEST(KitHttpDate, ReadsTheThreeFormsAndWritesTheFixedOne) {
  int64_t seconds = 0;
  for (const char* text : {"Sun, 06 Nov 1994 08:49:37 GMT", "Sunday, 06-Nov-94 08:49:37 GMT", "Sun Nov  6 08:49:37 1994",
                           "Sun, 6 Nov 1994 8:49:37 GMT"}) {
    seconds = 0;
    EXPECT_TRUE(parse_date(text, seconds)) << text;
    EXPECT_EQ(seconds, 784111777) << text;
  }
  for (const char* text : {"Sun, 06 Nov 1994 08:49:37 UTC", "Sun, 30 Feb 1994 08:49:37 GMT", "Sun, 06 Nov 1994 24:00:00 GMT",
                           "Sun, 006 Nov 1994 08:49:37 GMT", "Sun, 06 Nov 1994 08:49:37 GMT ", "Sun Nov 6 08:49:37 1994"})
    EXPECT_FALSE(parse_date(text, seconds)) << text;

  char out[date_capacity];
  ASSERT_TRUE(parse_date(records[0].http_date, seconds));
  ASSERT_TRUE(format_date(seconds, out));
  EXPECT_STREQ(out, "Sun, 05 Nov 2023 07:05:09 GMT");
  ASSERT_TRUE(parse_date("Mon, 1 Jan 1601 0:00:00 GMT", seconds));
  ASSERT_TRUE(format_date(seconds, out));
  EXPECT_STREQ(out, "Mon, 01 Jan 1601 00:00:00 GMT");
  EXPECT_FALSE(format_date(253402300800, out));  // year 10000
  EXPECT_STREQ(out, "");
}

TEST(ByteRange, OneRangeIsServedMalformedOnesAreIgnored) {
  const auto check = [](const char* header, byte_range::kind_type kind, uint64_t first = 0, uint64_t last = 0) {
    const byte_range range = parse_range(header, 100);
    EXPECT_EQ(range.kind, kind) << header;
    if (kind == byte_range::part) {
      EXPECT_EQ((std::pair{range.first, range.last}), (std::pair{first, last})) << header;
    }
  };
  // The server tests cover the common forms; these are the edges.
  check("bytes=-1000", byte_range::part, 0, 99);
  check("bytes=5-99999999999999999999999", byte_range::part, 5, 99);
  check("Bytes= 1-2 ,", byte_range::part, 1, 2);
  check("bytes=100-200, 300-", byte_range::unsatisfiable);
  for (const char* ignored : {"bytes=", "bytes=-", "bytes=1-2-3", "bytes 0-1", "bytes=0-1;x"})
    check(ignored, byte_range::whole);
  EXPECT_EQ(parse_range("bytes=0-", 0).kind, byte_range::unsatisfiable);
}

std::string value_of(const response_plan& plan, std::string_view name) {
  for (size_t i = 0; i < plan.header_count; ++i)
    if (plan.headers[i].name == name) return std::string(plan.headers[i].value);
  return "(none)";
}

// The server tests cover the statuses; these are what they cannot reach.
TEST(Planner, HashedNamesUtf8RecordsAndRecordsWithoutADate) {
  EXPECT_TRUE(has_hashed_name("app.3f9a0c1e.js"));
  EXPECT_TRUE(has_hashed_name("logo-0BADF00D.min.svg"));
  EXPECT_FALSE(has_hashed_name("deadbeef0.js"));   // the whole name, not a part of it
  EXPECT_FALSE(has_hashed_name("app.3f9a0c1.js"));  // seven digits

  const auto plan_for = [](response_plan& plan, const char* method, const char* target, request_headers headers = {}) {
    plan_request(plan, method, target, headers, test_site, immutable_when_hashed);
  };
  {
    response_plan plan;
    request_headers headers;
    headers.range = "bytes=10-";
    plan_for(plan, "GET", "/docs/", headers);
    EXPECT_EQ(plan.status, 416);
    EXPECT_EQ(value_of(plan, "Content-Range"), "bytes */10");
    EXPECT_EQ(value_of(plan, "Content-Length"), "0");
    EXPECT_EQ(value_of(plan, "Last-Modified"), "(none)");  // the record's date is not a date
    EXPECT_FALSE(plan.send_body);
  }
  {
    response_plan plan;
    plan_for(plan, "HEAD", "/na%C3%AFve.html");
    EXPECT_EQ((std::pair{plan.status, plan.send_body}), (std::pair{200, false}));
    EXPECT_EQ(value_of(plan, "Content-Length"), "10");
    EXPECT_EQ(value_of(plan, "Content-Type"), "text/html; charset=utf-8");
  }
}

// A side record with the header lines -x makes: the plan takes them as its
// headers, and the raw head copies them whole; other rules make their own
// Content-Type, and lines the planner does not know are not used.
TEST(Planner, HeaderLinesMadeAtBuildTimeAreTheHeadersAndTheRawHead) {
  const std::string own = "Last-Modified: Sun, 05 Nov 2023 07:05:09 GMT\r\nETag: \"e\"\r\nContent-Length: 10\r\n";
  const std::string lines = own + "Accept-Ranges: bytes\r\nContent-Type: text/html\r\n";
  vex_resource_extras extras{latin1_path, "\"e\"", {}, {}, {}, "/caf\xe9.0badf00d.html"};
  extras.identity_head = {lines.c_str(), static_cast<uint16_t>(own.size()), static_cast<uint16_t>(own.size() + 22),
                          static_cast<uint16_t>(lines.size())};
  const vex_resource_extras* all[] = {&extras};
  const site with_lines{arrays, 1, all, 1};
  const auto head_of = [&](request_headers headers, const content_rules& rules = {}) {
    response_plan plan;
    plan_request(plan, "GET", "/caf%C3%A9.html", headers, with_lines, immutable_when_hashed, rules);
    char out[head_capacity];
    const std::string head(out, write_head(plan, "close", out, sizeof out));
    EXPECT_EQ(head.substr(0, 13), "HTTP/1.1 " + std::to_string(plan.status) + " ");
    const size_t date = head.find("\r\nDate: ");  // the status line's end
    EXPECT_NE(date, std::string::npos);
    const std::string after_date = head.substr(head.find("\r\n", date + 2) + 2);
    EXPECT_EQ(after_date.substr(0, 33), "X-Content-Type-Options: nosniff\r\n");
    return std::pair{after_date.substr(33), plan.block_count};
  };
  EXPECT_EQ(head_of({}), (std::pair{lines + "Cache-Control: no-cache\r\nConnection: close\r\n\r\n", size_t{5}}));
  request_headers revalidation;
  revalidation.if_none_match = "\"e\"";
  EXPECT_EQ(head_of(revalidation), (std::pair{own + "Cache-Control: no-cache\r\nConnection: close\r\n\r\n", size_t{3}}));
  content_rules utf8;
  utf8.unmarked_charset = utf8_when_unmarked;
  EXPECT_EQ(head_of({}, utf8).first, own + "Accept-Ranges: bytes\r\nContent-Type: text/html; charset=utf-8\r\n"
                                            "Cache-Control: no-cache\r\nConnection: close\r\n\r\n");
  const std::string unknown = lines + "X-Other: 1\r\n";
  extras.identity_head = {unknown.c_str(), static_cast<uint16_t>(own.size()), static_cast<uint16_t>(own.size() + 22),
                          static_cast<uint16_t>(unknown.size())};
  const auto [planned, block_count] = head_of({});
  EXPECT_EQ(block_count, 0u);
  EXPECT_EQ(planned.find("X-Other"), std::string::npos);
  EXPECT_NE(planned.find("Content-Type: text/html\r\n"), std::string::npos);
}

TEST(Planner, RedirectsKeepTheQueryEscapedAndRefuseOneTooLong) {
  response_plan plan;
  plan_request(plan, "GET", "/docs?a=%2F&b=\xe9\x01", {}, test_site);
  EXPECT_EQ(plan.status, 301);
  EXPECT_EQ(value_of(plan, "Location"), "/docs/?a=%2F&b=%E9%01");
  response_plan long_query;
  plan_request(long_query, "GET", "/docs?" + std::string(redirect_query_capacity, '\x01'), {}, test_site);
  EXPECT_EQ(long_query.status, 414);
  EXPECT_EQ(value_of(long_query, "Location"), "(none)");
}

TEST(RequestFields, JoinsRepeatedLinesInOrderAndChecksHostAndFraming) {
  request_fields fields(11);
  fields.add("host", "example.com:8080");
  fields.add("If-None-Match", "\"a\"");
  fields.add("Range", "bytes=0-1");
  fields.add("if-none-match", "");
  fields.add("IF-NONE-MATCH", "\"b\"");
  fields.add("Content-Length", "12");
  request_headers headers = fields.headers();
  EXPECT_EQ(headers.fields_status, 0);
  EXPECT_EQ(headers.if_none_match, "\"a\", , \"b\"");
  EXPECT_EQ(headers.range, "bytes=0-1");
  EXPECT_EQ((std::pair{fields.body().kind, fields.body().size}), (std::pair{request_body::sized, uint64_t{12}}));

  const auto status_of = [](int version, std::initializer_list<std::pair<const char*, const char*>> lines) {
    request_fields each(version);
    for (const auto& [name, value] : lines) each.add(name, value);
    return std::pair{each.headers().fields_status, each.body().kind};
  };
  EXPECT_EQ(status_of(11, {}).first, 400);
  EXPECT_EQ(status_of(10, {}).first, 0);
  EXPECT_EQ(status_of(10, {{"Host", "a"}, {"Host", "a"}}).first, 400);
  for (const char* bad : {"a b", "a:b", "[::1", "a:80x", "caf\xc3\xa9", "%4"})
    EXPECT_EQ(status_of(11, {{"Host", bad}}).first, 400) << bad;
  for (const char* good : {"", "[::1]:8080", "xn--caf-dma.example", "a%20b", "127.0.0.1:"})
    EXPECT_EQ(status_of(11, {{"Host", good}}).first, 0) << good;
  EXPECT_EQ(status_of(10, {{"Content-Length", "3"}, {"Content-Length", "4"}}),
            (std::pair{400, request_body::unsized}));
  // Framing read one way only: plain digits, once; codings ending in one
  // chunked, on one line, in HTTP/1.1.
  for (const char* bad : {"+3", "3, 3", "3 3", "", "0x3", "12345678901234567890"})
    EXPECT_EQ(status_of(10, {{"Content-Length", bad}}), (std::pair{400, request_body::unsized})) << bad;
  EXPECT_EQ(status_of(10, {{"Content-Length", "3"}, {"Content-Length", "3"}}).first, 400);
  EXPECT_EQ(status_of(11, {{"Host", ""}, {"Transfer-Encoding", "gzip, chunked"}}),
            (std::pair{0, request_body::unsized}));
  for (const char* bad : {"chunked, gzip", "chunked, chunked", "", "chunked,", "gzip;q=1, chunked", "chunked\t x"})
    EXPECT_EQ(status_of(11, {{"Host", ""}, {"Transfer-Encoding", bad}}).first, 400) << bad;
  EXPECT_EQ(status_of(10, {{"Transfer-Encoding", "chunked"}}).first, 400);
  EXPECT_EQ(status_of(11, {{"Host", ""}, {"Transfer-Encoding", "chunked"}, {"Transfer-Encoding", "chunked"}}).first,
            400);
  EXPECT_EQ(status_of(11, {{"Host", ""}, {"Transfer-Encoding", "chunked"}, {"Content-Length", "3"}}).first, 400);
  // A name with whitespace hides its field from one parser and not another.
  EXPECT_EQ(status_of(10, {{"Content-Length ", "3"}}), (std::pair{400, request_body::unsized}));
  EXPECT_EQ(status_of(10, {{" Transfer-Encoding", "chunked"}}), (std::pair{400, request_body::unsized}));

  request_fields many(10);
  for (size_t i = 0; i <= request_fields::max_lines; ++i) many.add("Accept-Encoding", "gzip");
  EXPECT_EQ(many.headers().fields_status, 431);
  request_fields long_lines(10);
  const std::string half(request_fields::join_capacity / 2, 'x');
  for (int i = 0; i < 2; ++i) long_lines.add("If-Match", half);
  EXPECT_EQ(long_lines.headers().fields_status, 431);
}

TEST(RequestFields, TheConnectionGoesOnOnlyPastABodyOfKnownSmallSize) {
  const auto step_of = [](int version, std::initializer_list<std::pair<const char*, const char*>> lines) {
    request_fields fields(version);
    fields.add("Host", "a");
    for (const auto& [name, value] : lines) fields.add(name, value);
    const connection_step step = fields.after_answer(100);
    return std::pair{step.close, step.discard};
  };
  EXPECT_EQ(step_of(11, {}), (std::pair{false, uint64_t{0}}));
  EXPECT_EQ(step_of(11, {{"Content-Length", "100"}}), (std::pair{false, uint64_t{100}}));
  EXPECT_TRUE(step_of(11, {{"Content-Length", "101"}}).first);
  EXPECT_TRUE(step_of(11, {{"Content-Length", "5"}, {"expect", "100-Continue"}}).first);
  EXPECT_TRUE(step_of(11, {{"Transfer-Encoding", "chunked"}}).first);
  EXPECT_TRUE(step_of(11, {{"Content-Length", "x"}}).first);
  EXPECT_TRUE(step_of(11, {{"Host", "b"}}).first);
  EXPECT_TRUE(step_of(10, {{"Connection", "keep-alive"}}).first);
  // close in any case, anywhere in the list, on any Connection line.
  EXPECT_TRUE(step_of(11, {{"Connection", "keep-alive"}, {"connection", "foo ,CLOSE"}}).first);
  EXPECT_FALSE(step_of(11, {{"Connection", "closed, keep-alive"}}).first);
}

TEST(RequestHead, OneStrictRuleForWhereEachRequestEnds) {
  const std::string get = "GET /a?b HTTP/1.1\r\nHost: x\r\nRange:  bytes=0-1 \r\n\r\n";
  const std::string bytes = "\r\n" + get + "GET /next";  // the head points into it
  request_head head = read_request_head(bytes);
  ASSERT_EQ(head.status, request_head::complete);
  EXPECT_EQ((std::pair{head.method, head.target}), (std::pair{std::string_view("GET"), std::string_view("/a?b")}));
  EXPECT_EQ(head.length, get.size() + 2);
  request_fields fields(head.version);
  add_field_lines(head, fields);
  EXPECT_EQ(fields.headers().range, "bytes=0-1");
  EXPECT_EQ(fields.headers().fields_status, 0);
  for (size_t cut = 0; cut < get.size(); ++cut)
    EXPECT_EQ(read_request_head(get.substr(0, cut)).status, request_head::incomplete) << cut;
  EXPECT_EQ(read_request_head("GET / HTTP/1.0\r\n\r\n").version, 10);
  EXPECT_EQ(read_request_head("GET / HTTP/1.7\r\n\r\n").version, 11);

  const auto refusal = [](const std::string& bytes) { return read_request_head(bytes).refusal; };
  for (const char* bad : {"GET / HTTP/1.1\nHost: x\r\n\r\n", "GET / HTTP/1.1\r\nHost: x\n\r\n",
                          "GET / HTTP/1.1\r\nHost: x\rX: y\r\n\r\n", "GET / HTTP/1.1\r\nContent-Length:\r\n 4\r\n\r\n",
                          "GET / HTTP/1.1\r\n Host: x\r\n\r\n", "GET / HTTP/1.1\r\nHost : x\r\n\r\n",
                          "GET / HTTP/1.1\r\nNo colon\r\n\r\n",
                          "GET  / HTTP/1.1\r\n\r\n", "GET / x HTTP/1.1\r\n\r\n", "GET /\tx HTTP/1.1\r\n\r\n",
                          "G(T / HTTP/1.1\r\n\r\n", "GET / http/1.1\r\n\r\n", "GET / HTTP/1.1 \r\n\r\n", "\nGET"})
    EXPECT_EQ(refusal(bad), 400) << bad;
  const char nul[] = "GET / HTTP/1.1\r\nHost: x\0y\r\n\r\n";
  EXPECT_EQ(refusal(std::string(nul, sizeof nul - 1)), 400);
  EXPECT_EQ(refusal("GET / HTTP/2.0\r\n\r\n"), 505);
  EXPECT_EQ(refusal("GET /" + std::string(request_line_limit, 'a')), 414);
  EXPECT_EQ(refusal("GET / HTTP/1.1\r\nX: " + std::string(request_head_limit, 'a')), 431);
  EXPECT_EQ(read_request_head("GET / HTTP/1.1\r\nX: " + std::string(request_head_limit - 24, 'a') + "\r\n\r\n").status,
            request_head::complete);
}

TEST(ContentRules, BrowserEnforcedTypesFromTheExtensionAndTheCharsetPolicy) {
  const auto record = [](const char* name, vex_content_type type, vex_text_encoding encoding) {
    return vex_resource{L"", "", "", "", name, type, encoding, 0, 0, 0, body, body, "", ""};
  };
  const auto type_of = [](const vex_resource& resource, const content_rules& rules = {}) {
    char out[128];
    EXPECT_LT(served_content_type(&resource, rules, out, sizeof out), sizeof out);
    return std::string(out);
  };
  const vex_resource module = record("app.MJS", HTTP_CONTENT_TYPE_APPLICATION_OCTET_STREAM, TXT_ENCODING_UTF8);
  const vex_resource wasm = record("app.wasm", HTTP_CONTENT_TYPE_APPLICATION_OCTET_STREAM, TXT_ENCODING_ANSI);
  const vex_resource page = record("index.html", HTTP_CONTENT_TYPE_TEXT_HTML, TXT_ENCODING_ANSI);
  const vex_resource image = record("a.png", HTTP_CONTENT_TYPE_IMAGE_PNG, TXT_ENCODING_ANSI);
  EXPECT_EQ(type_of(module), "text/javascript; charset=utf-8");
  EXPECT_EQ(type_of(wasm), "application/wasm");
  EXPECT_EQ(type_of(record("a.wasm.bin", HTTP_CONTENT_TYPE_APPLICATION_OCTET_STREAM, TXT_ENCODING_ANSI)),
            "application/octet-stream");
  EXPECT_EQ(type_of(wasm, {nullptr, 0}), "application/octet-stream");
  const type_by_extension mine[] = {{"glb", "model/gltf-binary"}};
  EXPECT_EQ(type_of(record("a.glb", HTTP_CONTENT_TYPE_APPLICATION_OCTET_STREAM, TXT_ENCODING_ANSI), {mine, 1}),
            "model/gltf-binary");
  EXPECT_EQ(type_of(page), "text/html");  // the default: no mark, no charset
  content_rules utf8;
  utf8.unmarked_charset = utf8_when_unmarked;
  EXPECT_EQ(type_of(page, utf8), "text/html; charset=utf-8");
  EXPECT_EQ(type_of(image, utf8), "image/png");
  // The planner's idea of text is the records' own, for every type they have.
  for (size_t type = 0; type < vex_content_type_count; ++type)
    EXPECT_EQ(is_text_mime_type(vex_mime_types[type]), vex_res_is_text(static_cast<vex_content_type>(type)))
        << vex_mime_types[type];
}

TEST(DevFiles, LiveTagsTellEveryEditApart) {
  char first[live_etag_capacity], second[live_etag_capacity], shorter[live_etag_capacity];
  EXPECT_NE(live_etag("p { color: red }", 16, first), live_etag("p { color: tan }", 16, second));
  EXPECT_NE(live_etag("p { color: red }", 15, shorter), std::string_view(first));
  EXPECT_EQ(std::string(first).substr(17), "-10\"");  // the size, after the hash
}

TEST(Planner, ContentHashedPathsFindTheirBytesOnlyAndAreImmutable) {
  // Side records with hashed paths; the Latin-1 record has a zstd variant.
  const char zstd_bytes[] = "zstd-bytes";
  const vex_resource_extras cafe{latin1_path, "\"c0\"", {}, {}, {zstd_bytes, 10, "\"zs\""}, "/caf\xe9.0badf00d.html"};
  const vex_resource_extras index{"/docs/index.html", "\"d0\"", {}, {}, {}, "/docs/index.12345678.html"};
  const vex_resource_extras* const extras[] = {&cafe, &index};
  const site hashed_site{arrays, 1, extras, 2};
  const auto plan_for = [&](response_plan& plan, const char* target, request_headers headers = {}) {
    plan_request(plan, "GET", target, headers, hashed_site, [](const vex_resource*) { return "no-cache"; });
  };
  for (const char* target : {"/caf%C3%A9.0badf00d.html", "/caf%E9.0badf00d.html", "/docs/index.12345678.html"}) {
    response_plan plan;
    plan_for(plan, target);
    EXPECT_EQ(plan.status, 200) << target;
    EXPECT_EQ(value_of(plan, "Cache-Control"), "public, max-age=31536000, immutable") << target;
  }
  {
    response_plan plan;
    request_headers headers;
    headers.accept_encoding = "gzip, zstd";
    plan_for(plan, "/caf%C3%A9.0badf00d.html", headers);
    EXPECT_EQ(std::string_view(plan.body, plan.body_length), "zstd-bytes");
    EXPECT_EQ(value_of(plan, "Content-Encoding"), "zstd");
    EXPECT_EQ(value_of(plan, "ETag"), "\"zs\"");
  }
  {
    response_plan plan;
    plan_for(plan, "/docs/index.html");
    EXPECT_EQ(value_of(plan, "Cache-Control"), "no-cache") << "the plain path keeps the site's policy";
  }
  // Another hash, the hash in another place, twice, or on a directory: nothing.
  for (const char* target : {"/docs/index.12345679.html", "/docs/index.html.12345678", "/docs/12345678.index.html",
                             "/docs/index.12345678.12345678.html", "/docs.12345678/", "/docs/index.1234567.html",
                             "/caf%C3%A9.0BADF00D.html"}) {
    response_plan plan;
    plan_for(plan, target);
    EXPECT_EQ(plan.status, 404) << target;
  }
}

// A single-page application: its page, an admin page, a script and a 404
// page; the page has a br variant.
const char app_bytes[] = "<p>app</p>";
vex_resource app_records[] = {
    {L"404.html", "/404.html", "404.html", "", "404.html", HTTP_CONTENT_TYPE_TEXT_HTML, TXT_ENCODING_ANSI, 4, 4, 2,
     "gone", "gone", "Sun, 5 Nov 2023 7:05:09 GMT", "sun, 5 nov 2023 7:05:09 gmt"},
    {L"index.html", "/admin/index.html", "admin/index.html", "index.html", "index.html", HTTP_CONTENT_TYPE_TEXT_HTML,
     TXT_ENCODING_ANSI, 5, 5, 2, "admin", "admin", "Sun, 5 Nov 2023 7:05:09 GMT", "sun, 5 nov 2023 7:05:09 gmt"},
    {L"app.js", "/app.js", "app.js", "", "app.js", HTTP_CONTENT_TYPE_APPLICATION_JAVASCRIPT, TXT_ENCODING_ANSI, 2, 2,
     1, "1;", "1;", "Sun, 5 Nov 2023 7:05:09 GMT", "sun, 5 nov 2023 7:05:09 gmt"},
    {L"index.html", "/index.html", "index.html", "", "index.html", HTTP_CONTENT_TYPE_TEXT_HTML, TXT_ENCODING_ANSI, 10,
     10, 5, app_bytes, app_bytes, "Sun, 5 Nov 2023 7:05:09 GMT", "sun, 5 nov 2023 7:05:09 gmt"},
};
const vex_resource* app_sorted[] = {&app_records[0], &app_records[1], &app_records[2], &app_records[3]};
const size_t app_length = 4;
const vex_resource_array app_arrays[] = {{app_sorted, &app_length}};
const vex_resource_extras app_index_extras{"/index.html", "\"i0\"", {"br!", 3, "\"ib\""}, {}, {}, nullptr};
const vex_resource_extras* const app_extras[] = {&app_index_extras};
const fallback app_fallbacks[] = {{"/", "/index.html"}, {"/admin/", "/admin/index.html"}};
const error_page app_pages[] = {{404, "/404.html"}};
const header app_headers[] = {{"Content-Security-Policy", "default-src 'self'"}};

site app_site() {
  site where{app_arrays, 1, app_extras, 1};
  where.fallbacks = app_fallbacks;
  where.fallback_count = 2;
  where.error_pages = app_pages;
  where.error_page_count = 1;
  where.site_headers = [](const vex_resource* resource) {
    return resource ? header_list{app_headers, 1} : header_list{};
  };
  return where;
}

constexpr std::string_view navigation = "text/html,application/xhtml+xml,application/xml;q=0.9,*/*;q=0.8";

TEST(Negotiation, AcceptWeighsTheMostSpecificRangeThatNamesTheType) {
  const auto html = [](std::string_view accept) { return media_type_weight(accept, "text", "html"); };
  EXPECT_EQ(html(navigation), 1000);
  EXPECT_EQ(html("image/avif,image/webp,image/*,*/*;q=0.8"), 800);  // what an <img> sends
  EXPECT_EQ(html("TEXT/*;Q=0.5, application/json"), 500);
  EXPECT_EQ(html("text/html;q=0, */*"), 0) << "refused by name, whatever */* says";
  EXPECT_EQ(html("*/*;q=0.1, text/html ;q=0.2 , text/html;q=0.3"), 300) << "the last of equals";
  EXPECT_EQ(html("text/html;level=1, text/*;q=0.3"), 300) << "a range with parameters is narrower";
  EXPECT_EQ(html("application/json; x=\"a,text/html\", image/png"), 0) << "a comma inside quotes";
  for (const char* none : {"application/json", "", "text/html;q=2", "text/html;q", "*/html", "text/ html", "html"})
    EXPECT_EQ(html(none), 0) << none;
}

TEST(Planner, ClientSideRoutesFallBackByPrefixWhenHtmlIsAccepted) {
  const auto plan_for = [](response_plan& plan, const char* method, const char* target, request_headers headers) {
    plan_request(plan, method, target, headers, app_site(), immutable_when_hashed);
  };
  request_headers browser;
  browser.accept = navigation;
  {
    response_plan plan;
    plan_for(plan, "GET", "/settings/network", browser);
    EXPECT_EQ((std::pair{plan.status, plan.resource}), (std::pair<int, const vex_resource*>{200, &app_records[3]}));
    EXPECT_EQ(value_of(plan, "Cache-Control"), "no-cache");
    EXPECT_EQ(value_of(plan, "Vary"), "Accept, Accept-Encoding");
    EXPECT_EQ(value_of(plan, "ETag"), "\"i0\"");
    EXPECT_EQ(value_of(plan, "Content-Security-Policy"), "default-src 'self'");
  }
  {
    response_plan plan;
    plan_for(plan, "HEAD", "/admin/users/7", {});  // no Accept: every type is acceptable
    EXPECT_EQ((std::pair{plan.status, plan.resource}), (std::pair<int, const vex_resource*>{200, &app_records[1]}));
    EXPECT_FALSE(plan.send_body);
  }
  {
    request_headers again = browser;
    again.if_none_match = "\"i0\"";
    response_plan plan;
    plan_for(plan, "GET", "/settings", again);
    EXPECT_EQ(plan.status, 304);
    request_headers part = browser;
    part.range = "bytes=3-5";
    response_plan ranged;
    plan_for(ranged, "GET", "/settings", part);
    EXPECT_EQ(ranged.status, 206);
    EXPECT_EQ(std::string_view(ranged.body, ranged.body_length), "app");
  }
  request_headers json;
  json.accept = "application/json";
  for (const auto& [target, headers] : {std::pair{"/app2.js", browser}, std::pair{"/settings", json},
                                        std::pair{"/index.0badf00d.html", browser}, std::pair{"/a%2Fb", browser}}) {
    response_plan plan;
    plan_for(plan, "GET", target, headers);
    EXPECT_EQ(plan.status, 404) << target;
  }
  response_plan post;
  plan_for(post, "POST", "/settings", browser);
  EXPECT_EQ(post.status, 405);
}

TEST(Planner, ErrorPagesAreTheSitesPageButNotTheResource) {
  request_headers headers;
  headers.accept = "*/*";
  headers.if_none_match = "*";  // neither a precondition nor a range is taken
  headers.range = "bytes=0-0";
  response_plan plan;
  plan_request(plan, "GET", "/missing.png", headers, app_site());
  EXPECT_EQ((std::pair{plan.status, plan.send_body}), (std::pair{404, true}));
  EXPECT_EQ(std::string_view(plan.body, plan.body_length), "gone");
  EXPECT_EQ(value_of(plan, "Content-Type"), "text/html");
  EXPECT_EQ(value_of(plan, "Content-Length"), "4");
  EXPECT_EQ(value_of(plan, "Vary"), "Accept");
  EXPECT_EQ(value_of(plan, "Content-Security-Policy"), "default-src 'self'");
  for (const char* absent : {"ETag", "Last-Modified", "Accept-Ranges", "Content-Range", "Cache-Control"})
    EXPECT_EQ(value_of(plan, absent), "(none)") << absent;

  response_plan head;
  plan_request(head, "HEAD", "/missing.png", headers, app_site());
  EXPECT_EQ((std::pair{head.status, head.send_body}), (std::pair{404, false}));
  EXPECT_EQ(value_of(head, "Content-Length"), "4");

  headers.accept = "application/json";  // takes no HTML: the short text
  response_plan text;
  plan_request(text, "GET", "/missing.png", headers, app_site());
  EXPECT_EQ(std::string_view(text.body, text.body_length), "Not Found\n");
  EXPECT_EQ(value_of(text, "Vary"), "Accept");
  EXPECT_EQ(value_of(text, "Content-Security-Policy"), "(none)") << "the hook said none for no record";
  EXPECT_EQ(value_of(text, "X-Content-Type-Options"), "nosniff");
}

TEST(DevFiles, ReadsOnlyEmbeddableFilesInsideTheTree) {
  for (const char* refused : {"/.DS_Store", "/a/_/b", "/~", "/..x", "/a/resource.h", "/x.rc", "/x.aps", "/a\\b",
                              "/c:x", "/a//b", "/a/./b"})
    EXPECT_FALSE(embeddable_path(refused)) << refused;
  EXPECT_TRUE(embeddable_path("/.well-known/x.json"));

  namespace fs = std::filesystem;
  const fs::path work = fs::temp_directory_path() / "vex_dev_files_test";
  fs::remove_all(work);
  fs::create_directories(work / "tree" / "docs");
  std::ofstream(work / "tree" / "docs" / "index.html") << "live";
  std::ofstream(work / "secret.txt") << "secret";
  dev_tree tree;
  ASSERT_TRUE(tree.open((work / "tree").string().c_str()));
  std::string bytes;
  const live_read read = tree.read("/docs/", bytes);
  EXPECT_EQ((std::pair{read.status, read.size}), (std::pair{live_read::ok, uint64_t{4}}));
  EXPECT_EQ(bytes, "live");
  EXPECT_EQ(tree.read("/../secret.txt", bytes).status, live_read::refused);
  EXPECT_NE(tree.read("/docs", bytes).status, live_read::ok);  // a directory
  EXPECT_EQ(tree.read("/nothing.txt", bytes).status, live_read::missing);
  std::error_code error;
  fs::create_symlink(work / "secret.txt", work / "tree" / "out.txt", error);
  if (!error) {  // symbolic links may need rights the test does not have
    EXPECT_EQ(tree.read("/out.txt", bytes).status, live_read::refused);
    fs::create_directory_symlink(work, work / "tree" / "up", error);
    EXPECT_NE(tree.read("/up/secret.txt", bytes).status, live_read::ok);
  }
  EXPECT_EQ(bytes, "live") << "a refused file leaves the bytes alone";
  std::optional<dev_tree> first(std::move(tree));
  const dev_tree moved = std::move(*first);
  first.reset();  // a moved-from tree closes nothing the other holds
  bytes.clear();
  EXPECT_EQ(moved.read("/docs/", bytes).status, live_read::ok);
  EXPECT_EQ(bytes, "live");
  fs::remove_all(work);
}

}  // namespace

TEST(Negotiation, EntityTagListsCompareStronglyOrWeakly) {
  const std::string_view tag = "\"v1-abc\"";
  EXPECT_TRUE(entity_tag_list_matches(" * ", tag, tag_comparison::strong));
  EXPECT_TRUE(entity_tag_list_matches("W/\"x\" ,\t\"v1-abc\" , \"y\"", tag, tag_comparison::strong));
  EXPECT_FALSE(entity_tag_list_matches("W/\"v1-abc\"", tag, tag_comparison::strong));
  EXPECT_TRUE(entity_tag_list_matches("W/\"v1-abc\"", tag, tag_comparison::weak));
  for (const char* malformed : {"\"v1-abc", "v1-abc", "\"v1-abc\" \"x\"", "\"a b\", \"v1-abc\"", "w/\"v1-abc\""})
    EXPECT_FALSE(entity_tag_list_matches(malformed, tag, tag_comparison::weak)) << malformed;
  EXPECT_FALSE(entity_tag_list_matches("\"\"", "", tag_comparison::weak)) << "no tag known: nothing matches";
}

TEST(Negotiation, AcceptEncodingWeightsChooseBrThenZstdThenGzip) {
  auto chosen = [](std::string_view value, bool br, bool gzip, bool zstd = false) {
    content_coding coding;
    return choose_coding(read_accept_encoding(value), {br, gzip, zstd}, coding) ? static_cast<int>(coding) : -1;
  };
  const int identity = 0, br = 1, gzip = 2, zstd = 3, refused = -1;
  EXPECT_EQ(chosen("gzip, deflate, br, zstd", true, true, true), br);
  EXPECT_EQ(chosen("gzip, deflate, br, zstd", false, true, true), zstd);
  EXPECT_EQ(chosen("zstd;q=0.9, gzip", true, true, true), gzip);
  EXPECT_EQ(chosen("*;q=0.5, ZSTD", true, true, true), zstd);
  EXPECT_EQ(chosen("zstd", true, true, false), identity) << "no zstd variant";
  EXPECT_EQ(chosen("gzip, deflate, br", true, true), br);
  EXPECT_EQ(chosen("gzip, deflate, br", false, true), gzip);
  EXPECT_EQ(chosen("br;q=0.5, GZIP;q=1.0", true, true), gzip);
  EXPECT_EQ(chosen("gzip;q=0.5", true, true), gzip) << "a coding the client names beats unnamed identity";
  EXPECT_EQ(chosen("identity, gzip;q=0.5", true, true), identity);
  EXPECT_EQ(chosen("*", true, true), br);
  EXPECT_EQ(chosen("*;q=0, gzip", true, true), gzip);
  EXPECT_EQ(chosen("", true, true), identity);
  EXPECT_EQ(chosen("br;q=0, gzip;q=0", true, true), identity);
  EXPECT_EQ(chosen("identity;q=0", false, false), refused);
  EXPECT_EQ(chosen("*;q=0", true, true), refused);
  EXPECT_EQ(chosen("identity;q=0, gzip", false, true), gzip);
  EXPECT_EQ(chosen("br;q=2", true, true), identity) << "a malformed weight leaves only identity";
  EXPECT_EQ(chosen("br;level=1", true, true), identity);
}

TEST(Planner, FilesHeldCompressedOnlyAreSentCodedOrDecodedNeverAsTheyAreHeld) {
  // A record whose data is null, with its only copy in the gzip variant.
  const char gzip_bytes[] = "not really gzip";
  const vex_resource record{L"a.css", "/a.css", "a.css", "", "a.css", HTTP_CONTENT_TYPE_TEXT_CSS, TXT_ENCODING_ANSI,
                            100, 100, 50, nullptr, nullptr, "Sun, 5 Nov 2023 7:05:09 GMT", ""};
  vex_resource_extras extras{"/a.css", "\"own\"", {}, {gzip_bytes, 15, "\"gz\""}, {}, "/a.0badf00d.css"};
  extras.stored_coding = VEX_STORED_GZIP;
  const vex_resource* all[] = {&record};
  const size_t length = 1;
  const vex_resource_array one[] = {{all, &length}};
  const vex_resource_extras* const side[] = {&extras};
  const site held{one, 1, side, 1};
  const auto plan_for = [&](response_plan& plan, const char* method, request_headers headers) {
    plan_request(plan, method, "/a.css", headers, held);
  };
  request_headers gzip_ok;
  gzip_ok.accept_encoding = "gzip, deflate";
  response_plan coded;
  plan_for(coded, "GET", gzip_ok);
  EXPECT_EQ((std::pair{coded.source, std::string_view(coded.body, coded.body_length)}),
            (std::pair{body_source::bytes, std::string_view(gzip_bytes, 15)}));
  EXPECT_EQ(value_of(coded, "ETag") + value_of(coded, "Vary"), "\"gz\"Accept-Encoding");

  for (const char* accept : {"identity", "gzip;q=0", "br, zstd"}) {
    request_headers headers;
    headers.accept_encoding = accept;
    response_plan plan;
    plan_for(plan, "GET", headers);
    EXPECT_EQ((std::pair{plan.status, plan.source}), (std::pair{200, body_source::decoded})) << accept;
    EXPECT_EQ(plan.body, nullptr);
    EXPECT_EQ((std::pair{plan.stored.data, plan.stored.coding}), (std::pair{+gzip_bytes, content_coding::gzip}));
    EXPECT_EQ((std::pair{plan.stored_offset, plan.body_length}), (std::pair{uint64_t{0}, uint64_t{100}}));
    EXPECT_EQ(value_of(plan, "ETag") + value_of(plan, "Vary"), "\"own\"Accept-Encoding");
    EXPECT_EQ(value_of(plan, "Content-Encoding"), "(none)");
  }
  request_headers ranged;
  ranged.range = "bytes=-10";
  ranged.accept_encoding = "gzip";
  response_plan part;
  plan_for(part, "GET", ranged);
  EXPECT_EQ((std::pair{part.status, part.source}), (std::pair{206, body_source::decoded}));
  EXPECT_EQ((std::pair{part.stored_offset, part.body_length}), (std::pair{uint64_t{90}, uint64_t{10}}));
  EXPECT_EQ(value_of(part, "Content-Range"), "bytes 90-99/100");

  request_headers revalidate;
  revalidate.if_none_match = "\"own\"";
  response_plan not_modified;
  plan_for(not_modified, "HEAD", revalidate);
  EXPECT_EQ(not_modified.status, 304);
  EXPECT_EQ(value_of(not_modified, "Content-Length"), "100");
  EXPECT_FALSE(not_modified.send_body);

  // Without its side record the bytes are unknown: nothing is sent for them.
  response_plan unknown;
  plan_request(unknown, "GET", "/a.css", {}, {one, 1});
  EXPECT_EQ((std::pair{unknown.status, std::string_view(unknown.body, unknown.body_length)}),
            (std::pair{500, std::string_view("Internal Server Error\n")}));
}
