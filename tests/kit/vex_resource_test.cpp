// The consumer kit: the MIME table, the Content-Type text and the lookup
// over sorted all arrays.
#include "vex_resource_builder/vex_resource.h"

#include <gtest/gtest.h>

#include <cctype>
#include <string>
#include <vector>

#include "metadata/content_type.h"

namespace {

// The enumerator name with its prefix removed, lower-cased, letters and digits only.
std::string squeezed(const char* text) {
  std::string result;
  for (const char* at = text; *at; ++at)
    if (std::isalnum(static_cast<unsigned char>(*at))) result += static_cast<char>(std::tolower(*at));
  return result;
}

TEST(MimeTable, HasOneWellFormedTypePerEnumerator) {
  ASSERT_EQ(vex_content_type_count, static_cast<size_t>(content_type_count));
  for (size_t i = 0; i < vex_content_type_count; ++i) {
    std::string mime = vex_mime_types[i];
    SCOPED_TRACE(mime);
    size_t slash = mime.find('/');
    ASSERT_NE(slash, std::string::npos);
    EXPECT_GT(slash, 0u);
    EXPECT_LT(slash + 1, mime.size());
    for (char c : mime) EXPECT_TRUE(std::islower(static_cast<unsigned char>(c)) || std::isdigit(c) || std::strchr("/.+-", c));
  }
}

TEST(MimeTable, SaysWhatTheEnumeratorNameSays) {
  const std::string prefix = "HTTP_CONTENT_TYPE_";
  for (size_t i = 0; i < vex_content_type_count; ++i) {
    std::string name = content_type_names[i];
    ASSERT_EQ(name.compare(0, prefix.size(), prefix), 0) << name;
    // The one enumerator that is not a MIME type is served as opaque bytes.
    if (name == "HTTP_CONTENT_TYPE_ACCESS_BLOCKED") {
      EXPECT_STREQ(vex_mime_types[i], "application/octet-stream");
      continue;
    }
    EXPECT_EQ(squeezed(vex_mime_types[i]), squeezed(name.c_str() + prefix.size())) << name << " " << vex_mime_types[i];
  }
}

// The tool's detection and the kit's table agree for the files of a web site.
TEST(MimeTable, GivesTheTypesOfCommonWebFiles) {
  const struct {
    const char* path;
    const char* mime;
  } cases[] = {{"index.html", "text/html"},         {"css/main.css", "text/css"},
               {"js/app.js", "application/javascript"}, {"img/logo.svg", "image/svg+xml"},
               {"img/photo.JPG", "image/jpeg"},     {"img/a.png", "image/png"},
               {"fonts/f.woff2", "font/woff2"},     {"data.json", "application/json"},
               {"favicon.ico", "image/x-icon"},     {"README", "application/octet-stream"}};
  for (const auto& c : cases) {
    char path[64];
    std::strcpy(path, c.path);
    EXPECT_STREQ(vex_res_mime_type(static_cast<vex_content_type>(detect_content_type(path))), c.mime) << c.path;
  }
  EXPECT_STREQ(vex_res_mime_type(static_cast<vex_content_type>(-1)), "application/octet-stream");
  EXPECT_STREQ(vex_res_mime_type(static_cast<vex_content_type>(vex_content_type_count)), "application/octet-stream");
}

vex_resource record(const char* url_path, vex_content_type type = HTTP_CONTENT_TYPE_TEXT_PLAIN,
                    vex_text_encoding encoding = TXT_ENCODING_ANSI) {
  vex_resource r{};
  r.path_root_a = url_path;
  r.content_type = type;
  r.text_encoding = encoding;
  return r;
}

std::string content_type_text(const vex_resource& r) {
  char text[128] = {};
  size_t length = vex_res_content_type_text(&r, text, sizeof text);
  EXPECT_EQ(length, std::strlen(text));
  return text;
}

TEST(ContentTypeText, AddsTheCharsetOnlyWhenTextHasAByteOrderMark) {
  EXPECT_EQ(content_type_text(record("/a.css", HTTP_CONTENT_TYPE_TEXT_CSS)), "text/css");
  EXPECT_EQ(content_type_text(record("/a.css", HTTP_CONTENT_TYPE_TEXT_CSS, TXT_ENCODING_UTF8)),
            "text/css; charset=utf-8");
  EXPECT_EQ(content_type_text(record("/a.js", HTTP_CONTENT_TYPE_APPLICATION_JAVASCRIPT, TXT_ENCODING_UTF16LE)),
            "application/javascript; charset=utf-16le");
  EXPECT_EQ(content_type_text(record("/a.svg", HTTP_CONTENT_TYPE_IMAGE_SVG_XML, TXT_ENCODING_UTF16BE)),
            "image/svg+xml; charset=utf-16be");
  EXPECT_EQ(content_type_text(record("/a.json", HTTP_CONTENT_TYPE_APPLICATION_JSON, TXT_ENCODING_UTF8)),
            "application/json; charset=utf-8");
  // Binary data that happens to start like a mark gets no charset.
  EXPECT_EQ(content_type_text(record("/a.png", HTTP_CONTENT_TYPE_IMAGE_PNG, TXT_ENCODING_UTF16LE)), "image/png");
  EXPECT_EQ(content_type_text(record("/a.pdf", HTTP_CONTENT_TYPE_APPLICATION_PDF, TXT_ENCODING_UTF8)),
            "application/pdf");
}

TEST(ContentTypeText, ReportsTheNeededLengthWithoutWritingWhenTooSmall) {
  vex_resource r = record("/a.css", HTTP_CONTENT_TYPE_TEXT_CSS, TXT_ENCODING_UTF8);
  const size_t needed = std::strlen("text/css; charset=utf-8");
  char text[32];
  std::memset(text, '#', sizeof text);
  EXPECT_EQ(vex_res_content_type_text(&r, text, needed), needed);
  EXPECT_EQ(text[0], '#');
  EXPECT_EQ(vex_res_content_type_text(&r, text, needed + 1), needed);
  EXPECT_STREQ(text, "text/css; charset=utf-8");
}

// An all array made the way the generated code makes one: unsorted, then
// put in order by qsort with vex_res_compare.
struct sorted_array {
  std::vector<vex_resource> records;
  std::vector<const vex_resource*> all;
  explicit sorted_array(std::vector<const char*> paths) {
    for (const char* path : paths) records.push_back(record(path));
    for (const vex_resource& r : records) all.push_back(&r);
    std::qsort(all.data(), all.size(), sizeof all[0], vex_res_compare);
  }
  const vex_resource* find(const char* path) const { return vex_res_find(all.data(), all.size(), path); }
};

TEST(Lookup, FindsEveryRecordOfASortedArray) {
  // Bytes above 0x7f sort after ASCII, as strcmp compares them unsigned.
  sorted_array array({"/z.txt", "/index.html", "/a", "/caf\xc3\xa9.txt", "/a/b", "/A", "/a-b", "/_", "/~", "/"});
  for (size_t i = 1; i < array.all.size(); ++i)
    ASSERT_LT(std::strcmp(array.all[i - 1]->path_root_a, array.all[i]->path_root_a), 0);
  for (const vex_resource& r : array.records) EXPECT_EQ(array.find(r.path_root_a), &r) << r.path_root_a;
}

TEST(Lookup, ReturnsNullForPathsThatAreNotThere) {
  sorted_array array({"/b.css", "/d.css", "/f.css"});
  for (const char* missing : {"", "/", "/a.css", "/c.css", "/e.css", "/g.css", "/b.cs", "/b.css/", "b.css", "/B.css"})
    EXPECT_EQ(array.find(missing), nullptr) << missing;
  EXPECT_EQ(vex_res_find(nullptr, 0, "/b.css"), nullptr);
  sorted_array one({"/only"});
  EXPECT_NE(one.find("/only"), nullptr);
  EXPECT_EQ(one.find("/onl"), nullptr);
  EXPECT_EQ(one.find("/only2"), nullptr);
}

TEST(Lookup, SearchesSeveralArraysInTurn) {
  sorted_array root({"/index.html", "/favicon.ico"});
  sorted_array css({"/css/a.css", "/css/b.css"});
  size_t root_length = root.all.size();
  size_t css_length = css.all.size();
  const vex_resource_array arrays[] = {{root.all.data(), &root_length}, {css.all.data(), &css_length}};
  EXPECT_EQ(vex_res_find_in(arrays, 2, "/css/b.css"), css.find("/css/b.css"));
  EXPECT_EQ(vex_res_find_in(arrays, 2, "/index.html"), root.find("/index.html"));
  EXPECT_EQ(vex_res_find_in(arrays, 2, "/css/c.css"), nullptr);
  EXPECT_EQ(vex_res_find_in(arrays, 1, "/css/a.css"), nullptr);
}

}  // namespace
