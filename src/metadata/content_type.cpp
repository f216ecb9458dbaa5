#include "metadata/content_type.h"

#include <cstring>

#include "support/format.h"

const char* const content_type_names[content_type_count] = {
#define VEX_CONTENT_TYPE(name, mime_type) #name,
#include "vex_resource_builder/content_types.def"
#undef VEX_CONTENT_TYPE
};

// The extension rows in strcmp order, each with the number it yields. The
// rows "ram," (with its comma), "001" and "c++" stand as the document has them.
#define VEX_EXTENSION_ROWS(row)                                                                         \
  row("001", 26) row("7z", 26) row("aac", 53) row("ai", 12) row("aif", 62) row("aifc", 54)              \
  row("aiff", 54) row("ani", 43) row("apng", 70) row("application", 38) row("asf", 114) row("asm", 96)  \
  row("asp", 88) row("asr", 114) row("asx", 114) row("au", 55) row("avi", 103) row("avif", 71)          \
  row("avifs", 72) row("avs", 104) row("bat", 96) row("bin", 8) row("bmp", 73) row("book", 1)           \
  row("bz", 27) row("bz2", 28) row("c", 96) row("c++", 96) row("cab", 14) row("calx", 16)               \
  row("cat", 17) row("cc", 96) row("cer", 51) row("chat", 29) row("chm", 8) row("class", 37)            \
  row("cmd", 96) row("com", 8) row("conf", 102) row("config", 102) row("cpp", 96) row("crl", 11)        \
  row("crt", 51) row("csh", 32) row("css", 89) row("csv", 90) row("cur", 8) row("def", 96)              \
  row("deploy", 8) row("der", 51) row("dib", 73) row("dll", 41) row("doc", 7) row("docx", 22)           \
  row("dot", 7) row("dsp", 8) row("dtd", 102) row("dump", 8) row("eml", 87) row("eps", 12)              \
  row("epub", 2) row("exe", 8) row("f", 98) row("f77", 98) row("f90", 98) row("fla", 8)                 \
  row("flv", 112) row("gif", 74) row("gtar", 33) row("gz", 34) row("h", 96) row("heic", 75)             \
  row("heics", 76) row("heif", 77) row("heifs", 78) row("hh", 96) row("hlp", 25) row("hta", 3)          \
  row("htm", 91) row("html", 91) row("ico", 85) row("ima", 35) row("img", 8) row("indd", 36)            \
  row("inf", 96) row("ini", 96) row("iso", 8) row("jar", 4) row("java", 8) row("jpe", 79)               \
  row("jpeg", 79) row("jpg", 79) row("js", 5) row("json", 6) row("jsx", 92) row("lnk", 40)              \
  row("log", 96) row("m", 96) row("m1v", 106) row("m2ts", 109) row("m3u", 64) row("m4a", 57)            \
  row("m4r", 63) row("m4v", 105) row("manifest", 102) row("map", 96) row("md", 94) row("mht", 87)       \
  row("mhtml", 87) row("mid", 56) row("midi", 56) row("mkv", 113) row("mov", 108) row("movie", 116)     \
  row("mp2", 106) row("mp3", 58) row("mp4", 105) row("mp4v", 105) row("mpa", 58) row("mpe", 106)        \
  row("mpeg", 106) row("mpg", 106) row("mpv2", 106) row("msi", 8) row("nsc", 114) row("nws", 87)        \
  row("o", 8) row("oga", 59) row("ogg", 59) row("ogm", 107) row("ogv", 107) row("one", 9)               \
  row("otf", 66) row("p", 95) row("pas", 95) row("pdf", 10) row("pem", 44) row("png", 80)               \
  row("pnz", 80) row("pps", 18) row("ppsx", 19) row("ppt", 18) row("pptx", 20) row("ps", 12)            \
  row("psd", 81) row("py", 99) row("ra", 60) row("ram,", 60) row("rar", 8) row("raw", 8) row("rc", 96)  \
  row("rm", 23) row("rmi", 56) row("rtf", 13) row("rv", 110) row("sh", 45) row("snd", 55)               \
  row("spx", 59) row("svg", 82) row("svgz", 82) row("swf", 46) row("talk", 100) row("tar", 47)          \
  row("tcl", 48) row("tex", 49) row("tgz", 31) row("tiff", 83) row("ts", 109) row("ttf", 67)            \
  row("txt", 96) row("url", 101) row("vbs", 97) row("vml", 102) row("vsd", 24) row("vsx", 24)           \
  row("wav", 61) row("webm", 111) row("webp", 84) row("wma", 65) row("wmv", 115) row("woff", 68)        \
  row("woff2", 69) row("wri", 42) row("xls", 15) row("xml", 102) row("z", 30) row("zip", 52)

#define VEX_EXTENSION_TEXT(text, type) text,
#define VEX_EXTENSION_TYPE(text, type) type,
const char* const extension_texts[extension_count] = {VEX_EXTENSION_ROWS(VEX_EXTENSION_TEXT)};
const uint8_t extension_types[extension_count] = {VEX_EXTENSION_ROWS(VEX_EXTENSION_TYPE)};
#undef VEX_EXTENSION_TEXT
#undef VEX_EXTENSION_TYPE
#undef VEX_EXTENSION_ROWS

namespace {

// Binary search over the rows; the first probe is row 93, the middle one.
// probe(row) sees every row compared with the key, in order.
template <typename probe_function>
int search_extension_rows(const char* key, probe_function probe) {
  int low = 0;
  int high = extension_count - 1;
  while (low <= high) {
    int middle = (low + high) / 2;
    probe(middle);
    int order = std::strcmp(key, extension_texts[middle]);
    if (order == 0) return middle;
    if (order < 0)
      high = middle - 1;
    else
      low = middle + 1;
  }
  return -1;
}

}  // namespace

int find_extension_row(const char* key) {
  return search_extension_rows(key, [](int) {});
}

int find_extension_row(const char* key, extension_search_trace& trace) {
  trace.count = 0;
  return search_extension_rows(key, [&trace](int row) {
    if (trace.count < extension_search_depth) trace.rows[trace.count] = row;
    ++trace.count;
  });
}

int detect_content_type(char* path) {
  if (path == nullptr || path[0] == 0) {
    out_printf(L"cannot detect content type: invalid file name\n");
    return default_content_type;
  }
  const char* key = path;
  for (char* c = path; *c != 0; ++c) {
    if (*c >= 'A' && *c <= 'Z')
      *c = static_cast<char>(*c + 0x20);
    else if (*c == '.')
      key = c + 1;
  }
  int row = find_extension_row(key);
  return row < 0 ? default_content_type : extension_types[row];
}
