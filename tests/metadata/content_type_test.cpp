#include "metadata/content_type.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "context/builder_context.h"
#include "generator/source_metadata.h"

namespace {

// The enumerators that have no row in the document's table.
const std::set<int> types_without_row = {0, 21, 39, 50, 86, 93};

// The document's table: each enumerator number with its extensions.
struct document_row {
  int type;
  std::vector<const char*> extensions;
};
const document_row document_table[] = {
    {0, {}},
    {1, {"book"}},
    {2, {"epub"}},
    {3, {"hta"}},
    {4, {"jar"}},
    {5, {"js"}},
    {6, {"json"}},
    {7, {"doc", "dot"}},
    {8, {"bin", "chm", "com", "cur", "deploy", "dsp", "dump", "exe", "fla",
         "img", "iso", "java", "msi", "o", "rar", "raw"}},
    {9, {"one"}},
    {10, {"pdf"}},
    {11, {"crl"}},
    {12, {"ai", "eps", "ps"}},
    {13, {"rtf"}},
    {14, {"cab"}},
    {15, {"xls"}},
    {16, {"calx"}},
    {17, {"cat"}},
    {18, {"pps", "ppt"}},
    {19, {"ppsx"}},
    {20, {"pptx"}},
    {21, {}},
    {22, {"docx"}},
    {23, {"rm"}},
    {24, {"vsd", "vsx"}},
    {25, {"hlp"}},
    {26, {"001", "7z"}},
    {27, {"bz"}},
    {28, {"bz2"}},
    {29, {"chat"}},
    {30, {"z"}},
    {31, {"tgz"}},
    {32, {"csh"}},
    {33, {"gtar"}},
    {34, {"gz"}},
    {35, {"ima"}},
    {36, {"indd"}},
    {37, {"class"}},
    {38, {"application"}},
    {39, {}},
    {40, {"lnk"}},
    {41, {"dll"}},
    {42, {"wri"}},
    {43, {"ani"}},
    {44, {"pem"}},
    {45, {"sh"}},
    {46, {"swf"}},
    {47, {"tar"}},
    {48, {"tcl"}},
    {49, {"tex"}},
    {50, {}},
    {51, {"cer", "crt", "der"}},
    {52, {"zip"}},
    {53, {"aac"}},
    {54, {"aifc", "aiff"}},
    {55, {"au", "snd"}},
    {56, {"mid", "midi", "rmi"}},
    {57, {"m4a"}},
    {58, {"mp3", "mpa"}},
    {59, {"oga", "ogg", "spx"}},
    {60, {"ra", "ram,"}},
    {61, {"wav"}},
    {62, {"aif"}},
    {63, {"m4r"}},
    {64, {"m3u"}},
    {65, {"wma"}},
    {66, {"otf"}},
    {67, {"ttf"}},
    {68, {"woff"}},
    {69, {"woff2"}},
    {70, {"apng"}},
    {71, {"avif"}},
    {72, {"avifs"}},
    {73, {"bmp", "dib"}},
    {74, {"gif"}},
    {75, {"heic"}},
    {76, {"heics"}},
    {77, {"heif"}},
    {78, {"heifs"}},
    {79, {"jpe", "jpeg", "jpg"}},
    {80, {"png", "pnz"}},
    {81, {"psd"}},
    {82, {"svg", "svgz"}},
    {83, {"tiff"}},
    {84, {"webp"}},
    {85, {"ico"}},
    {86, {}},
    {87, {"eml", "mht", "mhtml", "nws"}},
    {88, {"asp"}},
    {89, {"css"}},
    {90, {"csv"}},
    {91, {"htm", "html"}},
    {92, {"jsx"}},
    {93, {}},
    {94, {"md"}},
    {95, {"p", "pas"}},
    {96, {"asm", "bat", "c", "c++", "cc", "cmd", "cpp", "def", "h", "hh",
          "inf", "ini", "log", "m", "map", "rc", "txt"}},
    {97, {"vbs"}},
    {98, {"f", "f77", "f90"}},
    {99, {"py"}},
    {100, {"talk"}},
    {101, {"url"}},
    {102, {"conf", "config", "dtd", "manifest", "vml", "xml"}},
    {103, {"avi"}},
    {104, {"avs"}},
    {105, {"m4v", "mp4", "mp4v"}},
    {106, {"m1v", "mp2", "mpe", "mpeg", "mpg", "mpv2"}},
    {107, {"ogm", "ogv"}},
    {108, {"mov"}},
    {109, {"m2ts", "ts"}},
    {110, {"rv"}},
    {111, {"webm"}},
    {112, {"flv"}},
    {113, {"mkv"}},
    {114, {"asf", "asr", "asx", "nsc"}},
    {115, {"wmv"}},
    {116, {"movie"}},
};

int detect(std::string path) { return detect_content_type(path.data()); }

// The reference: lower-case, take the text after the last '.', and compare
// with every row in turn.
int detect_by_linear_search(const std::string& path) {
  std::string lower;
  for (char c : path) lower += (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 0x20) : c;
  std::string key = lower.substr(lower.rfind('.') == std::string::npos ? 0 : lower.rfind('.') + 1);
  for (int row = 0; row < extension_count; ++row)
    if (key == extension_texts[row]) return extension_types[row];
  return default_content_type;
}

}  // namespace

TEST(ContentType, NamesFollowTheEnumeratorOrder) {
  std::set<std::string> distinct;
  for (const char* name : content_type_names) {
    ASSERT_NE(name, nullptr);
    EXPECT_EQ(std::strncmp(name, "HTTP_CONTENT_TYPE_", 18), 0) << name;
    distinct.insert(name);
  }
  EXPECT_EQ(distinct.size(), 117u);
  EXPECT_STREQ(content_type_names[0], "HTTP_CONTENT_TYPE_ACCESS_BLOCKED");
  EXPECT_STREQ(content_type_names[8], "HTTP_CONTENT_TYPE_APPLICATION_OCTET_STREAM");
  EXPECT_STREQ(content_type_names[34], "HTTP_CONTENT_TYPE_APPLICATION_X_GZIP");
  EXPECT_STREQ(content_type_names[60], "HTTP_CONTENT_TYPE_AUDIO_VND_RN_REALAUDIO");
  EXPECT_STREQ(content_type_names[80], "HTTP_CONTENT_TYPE_IMAGE_PNG");
  EXPECT_STREQ(content_type_names[93], "HTTP_CONTENT_TYPE_TEXT_JSON");
  EXPECT_STREQ(content_type_names[96], "HTTP_CONTENT_TYPE_TEXT_PLAIN");
  EXPECT_STREQ(content_type_names[116], "HTTP_CONTENT_TYPE_VIDEO_X_SGI_MOVIE");
  EXPECT_EQ(default_content_type, 8);
}

TEST(ContentType, RowsAreStrictlyAscendingInStrcmpOrder) {
  for (int row = 1; row < extension_count; ++row)
    EXPECT_LT(std::strcmp(extension_texts[row - 1], extension_texts[row]), 0)
        << extension_texts[row - 1] << " before " << extension_texts[row];
  EXPECT_STREQ(extension_texts[0], "001");
  EXPECT_STREQ(extension_texts[93], "json");
  EXPECT_STREQ(extension_texts[186], "zip");
}

TEST(ContentType, RowsCanBeKeys) {
  // Detection lower-cases the path and cuts it at dots, so a row with a
  // capital or a dot could never be found.
  for (const char* text : extension_texts) {
    EXPECT_NE(text[0], 0);
    for (const char* c = text; *c != 0; ++c) EXPECT_FALSE((*c >= 'A' && *c <= 'Z') || *c == '.') << text;
  }
}

TEST(ContentType, EveryRowIsFoundByItsOwnText) {
  for (int row = 0; row < extension_count; ++row) {
    EXPECT_EQ(find_extension_row(extension_texts[row]), row) << extension_texts[row];
    EXPECT_EQ(detect(extension_texts[row]), extension_types[row]) << extension_texts[row];
    EXPECT_EQ(detect(std::string("dir\\name.") + extension_texts[row]), extension_types[row]) << extension_texts[row];
  }
}

TEST(ContentType, RowsMatchTheDocumentTable) {
  size_t listed = 0;
  for (int type = 0; type < content_type_count; ++type) {
    const document_row& document = document_table[type];
    ASSERT_EQ(document.type, type);
    size_t rows = 0;
    for (int row = 0; row < extension_count; ++row) rows += extension_types[row] == type;
    EXPECT_EQ(rows, document.extensions.size()) << content_type_names[type];
    EXPECT_EQ(document.extensions.empty(), types_without_row.count(type) == 1) << content_type_names[type];
    for (const char* extension : document.extensions) {
      int row = find_extension_row(extension);
      ASSERT_GE(row, 0) << extension;
      EXPECT_EQ(extension_types[row], type) << extension;
    }
    listed += document.extensions.size();
  }
  EXPECT_EQ(listed, 187u);
}

TEST(ContentType, EdgeCasesOfTheDocument) {
  struct example {
    const char* path;
    int type;
  };
  const example examples[] = {
      {"www\\img\\Logo.PNG", 80},  {"pkg\\archive.tar.gz", 34}, {"mail.eml", 87},    {"figure.eps", 12},
      {"novel.epub", 2},           {"clip.ram", 8},             {"clip.ram,", 60},   {"main.C++", 96},
      {"backup.7z.001", 26},       {"site.old\\LICENSE", 8},    {"json", 6},         {"README", 8},
      {"ends.in.dot.", 8},         {".", 8},                    {"sheet.xlsx", 8},   {"caf\xc9.PN\xc7", 8},
      {"x.\xe9", 8},               {"INDEX.HTML", 91},          {"app/main.JSON", 6}, {"a.Md", 94},
      {"photo.JPEG", 79},          {"name.a", 8},               {"name.zz", 8},      {"name.0", 8},
      {"font.woff2", 69},          {".htaccess", 8},            {"dir.js\\file", 8}, {"x.z", 30},
  };
  for (const example& e : examples) EXPECT_EQ(detect(e.path), e.type) << e.path;
}

TEST(ContentType, LowerCasesTheWholePathInPlace) {
  std::string path = "Www\\IMG.Dir\\Logo.PNG\xc9Z";
  EXPECT_EQ(detect_content_type(path.data()), 8);
  EXPECT_EQ(path, "www\\img.dir\\logo.png\xc9z") << "only A to Z change";
  std::string plain = "@[`{09+,";
  detect_content_type(plain.data());
  EXPECT_EQ(plain, "@[`{09+,");
}

TEST(ContentType, EmptyOrMissingPathPrintsAndYieldsTheDefault) {
  testing::internal::CaptureStdout();
  EXPECT_EQ(detect_content_type(static_cast<char*>(nullptr)), 8);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "cannot detect content type: invalid file name\n");

  char empty[1] = {0};
  testing::internal::CaptureStdout();
  EXPECT_EQ(detect_content_type(empty), 8);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "cannot detect content type: invalid file name\n");

  testing::internal::CaptureStdout();
  EXPECT_EQ(detect("unknown.qqq"), 8);
  EXPECT_EQ(detect("."), 8);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "") << "an unknown extension is no failure";
}

TEST(ContentType, ContextVersionStoresTheResult) {
  builder_context context{};
  char name[] = "site\\Style.CSS";
  context.flat_name = name;
  context.content_type = -1;
  EXPECT_EQ(detect_content_type(context), 89);
  EXPECT_EQ(context.content_type, 89);
  EXPECT_STREQ(name, "site\\style.css");

  context.flat_name = nullptr;
  testing::internal::CaptureStdout();
  EXPECT_EQ(detect_content_type(context), 8);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "cannot detect content type: invalid file name\n");
  EXPECT_EQ(context.content_type, 8);
}

TEST(ContentType, SearchProbesRow93FirstAndComparesAtMostEightTimes) {
  int most = 0;
  for (int row = 0; row < extension_count; ++row) {
    extension_search_trace trace;
    EXPECT_EQ(find_extension_row(extension_texts[row], trace), row);
    ASSERT_GE(trace.count, 1);
    EXPECT_EQ(trace.rows[0], 93);
    EXPECT_LE(trace.count, 8) << extension_texts[row];
    EXPECT_EQ(trace.rows[trace.count - 1], row) << "the last probe is the row found";
    most = std::max(most, trace.count);
  }
  EXPECT_EQ(most, 8) << "187 rows cannot all be reached in 7";

  extension_search_trace trace;
  EXPECT_EQ(find_extension_row("json", trace), 93);
  EXPECT_EQ(trace.count, 1);
  for (const char* miss : {"", "0", "00", "ram", "xlsx", "zzzz", "\xff", "jso", "jsonx", "aa"}) {
    EXPECT_EQ(find_extension_row(miss, trace), -1) << miss;
    EXPECT_EQ(trace.rows[0], 93);
    EXPECT_LE(trace.count, 8) << miss;
    EXPECT_GE(trace.count, 7) << "a miss halves down to an empty range";
  }
}

TEST(ContentType, RandomPathsAgreeWithALinearSearchAndNeverYieldRowlessTypes) {
  std::mt19937 random(20261207);
  const std::string alphabet = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789+,.\\/_-\x80\xc9\xff";
  std::vector<std::string> paths;
  for (int i = 0; i < 20000; ++i) {
    std::string path(1 + random() % 8, ' ');
    for (char& c : path) c = alphabet[random() % alphabet.size()];
    paths.push_back(path);
  }
  // Near misses of every row: one byte more, one byte fewer, one byte changed,
  // and the row in capitals.
  for (const char* text : extension_texts) {
    std::string row = text;
    paths.push_back("f." + row + alphabet[random() % alphabet.size()]);
    paths.push_back("f." + row.substr(0, row.size() - 1));
    std::string changed = row;
    changed[random() % changed.size()] = alphabet[random() % alphabet.size()];
    paths.push_back("f." + changed);
    std::string upper = row;
    for (char& c : upper) c = (c >= 'a' && c <= 'z') ? static_cast<char>(c - 0x20) : c;
    paths.push_back("F." + upper);
  }
  for (const std::string& path : paths) {
    int expected = detect_by_linear_search(path);
    std::string copy = path;
    int type = detect_content_type(copy.data());
    EXPECT_EQ(type, expected) << path;
    EXPECT_EQ(types_without_row.count(type), 0u) << path;
    extension_search_trace trace;
    find_extension_row(copy.data() + (copy.rfind('.') == std::string::npos ? 0 : copy.rfind('.') + 1), trace);
    EXPECT_EQ(trace.rows[0], 93);
    EXPECT_LE(trace.count, 8) << path;
  }
  for (int row = 0; row < extension_count; ++row)
    EXPECT_EQ(types_without_row.count(extension_types[row]), 0u) << extension_texts[row];
}
