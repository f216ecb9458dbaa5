#include "metadata/content_type.h"

#include <cstring>
#include <cwchar>

#include "support/format.h"

const char* const content_type_names[content_type_count] = {
#define VEX_CONTENT_TYPE(name, mime_type) #name,
#include "vex_resource_builder/content_types.def"
#undef VEX_CONTENT_TYPE
};

namespace {

// The builder's numbers, in the order of content_type_names.
enum : uint8_t {
#define VEX_CONTENT_TYPE(name, mime_type) name,
#include "vex_resource_builder/content_types.def"
#undef VEX_CONTENT_TYPE
};
static_assert(HTTP_CONTENT_TYPE_APPLICATION_OCTET_STREAM == default_content_type);

}  // namespace

// The extension rows in strcmp order, each with the type it yields. The rows
// "ram," (with its comma), "001" and "c++" are extensions as they stand.
#define VEX_EXTENSION_ROWS(row) \
  row("001", HTTP_CONTENT_TYPE_APPLICATION_X_7Z_COMPRESSED) \
  row("7z", HTTP_CONTENT_TYPE_APPLICATION_X_7Z_COMPRESSED) row("aac", HTTP_CONTENT_TYPE_AUDIO_AAC) \
  row("ai", HTTP_CONTENT_TYPE_APPLICATION_POSTSCRIPT) row("aif", HTTP_CONTENT_TYPE_AUDIO_X_AIFF) \
  row("aifc", HTTP_CONTENT_TYPE_AUDIO_AIFF) row("aiff", HTTP_CONTENT_TYPE_AUDIO_AIFF) \
  row("ani", HTTP_CONTENT_TYPE_APPLICATION_X_NAVI_ANIMATION) row("apng", HTTP_CONTENT_TYPE_IMAGE_APNG) \
  row("application", HTTP_CONTENT_TYPE_APPLICATION_X_MS_APPLICATION) row("asf", HTTP_CONTENT_TYPE_VIDEO_X_MS_ASF) \
  row("asm", HTTP_CONTENT_TYPE_TEXT_PLAIN) row("asp", HTTP_CONTENT_TYPE_TEXT_ASP) \
  row("asr", HTTP_CONTENT_TYPE_VIDEO_X_MS_ASF) row("asx", HTTP_CONTENT_TYPE_VIDEO_X_MS_ASF) \
  row("au", HTTP_CONTENT_TYPE_AUDIO_BASIC) row("avi", HTTP_CONTENT_TYPE_VIDEO_AVI) \
  row("avif", HTTP_CONTENT_TYPE_IMAGE_AVIF) row("avifs", HTTP_CONTENT_TYPE_IMAGE_AVIFS) \
  row("avs", HTTP_CONTENT_TYPE_VIDEO_AVS_VIDEO) row("bat", HTTP_CONTENT_TYPE_TEXT_PLAIN) \
  row("bin", HTTP_CONTENT_TYPE_APPLICATION_OCTET_STREAM) row("bmp", HTTP_CONTENT_TYPE_IMAGE_BMP) \
  row("book", HTTP_CONTENT_TYPE_APPLICATION_BOOK) row("bz", HTTP_CONTENT_TYPE_APPLICATION_X_BZIP) \
  row("bz2", HTTP_CONTENT_TYPE_APPLICATION_X_BZIP2) row("c", HTTP_CONTENT_TYPE_TEXT_PLAIN) \
  row("c++", HTTP_CONTENT_TYPE_TEXT_PLAIN) row("cab", HTTP_CONTENT_TYPE_APPLICATION_VND_MS_CAB_COMPRESSED) \
  row("calx", HTTP_CONTENT_TYPE_APPLICATION_VND_MS_OFFICE_CALX) \
  row("cat", HTTP_CONTENT_TYPE_APPLICATION_VND_MS_PKI_SECCAT) row("cc", HTTP_CONTENT_TYPE_TEXT_PLAIN) \
  row("cer", HTTP_CONTENT_TYPE_APPLICATION_X_X509_CA_CERT) row("chat", HTTP_CONTENT_TYPE_APPLICATION_X_CHAT) \
  row("chm", HTTP_CONTENT_TYPE_APPLICATION_OCTET_STREAM) row("class", HTTP_CONTENT_TYPE_APPLICATION_X_JAVA_APPLET) \
  row("cmd", HTTP_CONTENT_TYPE_TEXT_PLAIN) row("com", HTTP_CONTENT_TYPE_APPLICATION_OCTET_STREAM) \
  row("conf", HTTP_CONTENT_TYPE_TEXT_XML) row("config", HTTP_CONTENT_TYPE_TEXT_XML) \
  row("cpp", HTTP_CONTENT_TYPE_TEXT_PLAIN) row("crl", HTTP_CONTENT_TYPE_APPLICATION_PKIX_CRL) \
  row("crt", HTTP_CONTENT_TYPE_APPLICATION_X_X509_CA_CERT) row("csh", HTTP_CONTENT_TYPE_APPLICATION_X_CSH) \
  row("css", HTTP_CONTENT_TYPE_TEXT_CSS) row("csv", HTTP_CONTENT_TYPE_TEXT_CSV) \
  row("cur", HTTP_CONTENT_TYPE_APPLICATION_OCTET_STREAM) row("def", HTTP_CONTENT_TYPE_TEXT_PLAIN) \
  row("deploy", HTTP_CONTENT_TYPE_APPLICATION_OCTET_STREAM) \
  row("der", HTTP_CONTENT_TYPE_APPLICATION_X_X509_CA_CERT) row("dib", HTTP_CONTENT_TYPE_IMAGE_BMP) \
  row("dll", HTTP_CONTENT_TYPE_APPLICATION_X_MSDOWNLOAD) row("doc", HTTP_CONTENT_TYPE_APPLICATION_MS_WORD) \
  row("docx", HTTP_CONTENT_TYPE_APPLICATION_VND_OPENXMLFORMATS_OFFICEDOCUMENT_WORDPROCESSINGML_DOCUMENT) \
  row("dot", HTTP_CONTENT_TYPE_APPLICATION_MS_WORD) row("dsp", HTTP_CONTENT_TYPE_APPLICATION_OCTET_STREAM) \
  row("dtd", HTTP_CONTENT_TYPE_TEXT_XML) row("dump", HTTP_CONTENT_TYPE_APPLICATION_OCTET_STREAM) \
  row("eml", HTTP_CONTENT_TYPE_MESSAGE_RFC822) row("eps", HTTP_CONTENT_TYPE_APPLICATION_POSTSCRIPT) \
  row("epub", HTTP_CONTENT_TYPE_APPLICATION_EPUB_ZIP) row("exe", HTTP_CONTENT_TYPE_APPLICATION_OCTET_STREAM) \
  row("f", HTTP_CONTENT_TYPE_TEXT_X_FORTRAN) row("f77", HTTP_CONTENT_TYPE_TEXT_X_FORTRAN) \
  row("f90", HTTP_CONTENT_TYPE_TEXT_X_FORTRAN) row("fla", HTTP_CONTENT_TYPE_APPLICATION_OCTET_STREAM) \
  row("flv", HTTP_CONTENT_TYPE_VIDEO_X_FLV) row("gif", HTTP_CONTENT_TYPE_IMAGE_GIF) \
  row("gtar", HTTP_CONTENT_TYPE_APPLICATION_X_GTAR) row("gz", HTTP_CONTENT_TYPE_APPLICATION_X_GZIP) \
  row("h", HTTP_CONTENT_TYPE_TEXT_PLAIN) row("heic", HTTP_CONTENT_TYPE_IMAGE_HEIC) \
  row("heics", HTTP_CONTENT_TYPE_IMAGE_HEICS) row("heif", HTTP_CONTENT_TYPE_IMAGE_HEIF) \
  row("heifs", HTTP_CONTENT_TYPE_IMAGE_HEIFS) row("hh", HTTP_CONTENT_TYPE_TEXT_PLAIN) \
  row("hlp", HTTP_CONTENT_TYPE_APPLICATION_WINHLP) row("hta", HTTP_CONTENT_TYPE_APPLICATION_HTA) \
  row("htm", HTTP_CONTENT_TYPE_TEXT_HTML) row("html", HTTP_CONTENT_TYPE_TEXT_HTML) \
  row("ico", HTTP_CONTENT_TYPE_IMAGE_X_ICON) row("ima", HTTP_CONTENT_TYPE_APPLICATION_X_IMA) \
  row("img", HTTP_CONTENT_TYPE_APPLICATION_OCTET_STREAM) row("indd", HTTP_CONTENT_TYPE_APPLICATION_X_INDESIGN) \
  row("inf", HTTP_CONTENT_TYPE_TEXT_PLAIN) row("ini", HTTP_CONTENT_TYPE_TEXT_PLAIN) \
  row("iso", HTTP_CONTENT_TYPE_APPLICATION_OCTET_STREAM) row("jar", HTTP_CONTENT_TYPE_APPLICATION_JAVA_ARCHIVE) \
  row("java", HTTP_CONTENT_TYPE_APPLICATION_OCTET_STREAM) row("jpe", HTTP_CONTENT_TYPE_IMAGE_JPEG) \
  row("jpeg", HTTP_CONTENT_TYPE_IMAGE_JPEG) row("jpg", HTTP_CONTENT_TYPE_IMAGE_JPEG) \
  row("js", HTTP_CONTENT_TYPE_APPLICATION_JAVASCRIPT) row("json", HTTP_CONTENT_TYPE_APPLICATION_JSON) \
  row("jsx", HTTP_CONTENT_TYPE_TEXT_JSCRIPT) row("lnk", HTTP_CONTENT_TYPE_APPLICATION_X_MS_SHORTCUT) \
  row("log", HTTP_CONTENT_TYPE_TEXT_PLAIN) row("m", HTTP_CONTENT_TYPE_TEXT_PLAIN) \
  row("m1v", HTTP_CONTENT_TYPE_VIDEO_MPEG) row("m2ts", HTTP_CONTENT_TYPE_VIDEO_VND_DLNA_MPEG_TTS) \
  row("m3u", HTTP_CONTENT_TYPE_AUDIO_X_MPEGURL) row("m4a", HTTP_CONTENT_TYPE_AUDIO_MP4) \
  row("m4r", HTTP_CONTENT_TYPE_AUDIO_X_M4R) row("m4v", HTTP_CONTENT_TYPE_VIDEO_MP4) \
  row("manifest", HTTP_CONTENT_TYPE_TEXT_XML) row("map", HTTP_CONTENT_TYPE_TEXT_PLAIN) \
  row("md", HTTP_CONTENT_TYPE_TEXT_MARKDOWN) row("mht", HTTP_CONTENT_TYPE_MESSAGE_RFC822) \
  row("mhtml", HTTP_CONTENT_TYPE_MESSAGE_RFC822) row("mid", HTTP_CONTENT_TYPE_AUDIO_MID) \
  row("midi", HTTP_CONTENT_TYPE_AUDIO_MID) row("mkv", HTTP_CONTENT_TYPE_VIDEO_X_MATROSKA) \
  row("mov", HTTP_CONTENT_TYPE_VIDEO_QUICKTIME) row("movie", HTTP_CONTENT_TYPE_VIDEO_X_SGI_MOVIE) \
  row("mp2", HTTP_CONTENT_TYPE_VIDEO_MPEG) row("mp3", HTTP_CONTENT_TYPE_AUDIO_MPEG) \
  row("mp4", HTTP_CONTENT_TYPE_VIDEO_MP4) row("mp4v", HTTP_CONTENT_TYPE_VIDEO_MP4) \
  row("mpa", HTTP_CONTENT_TYPE_AUDIO_MPEG) row("mpe", HTTP_CONTENT_TYPE_VIDEO_MPEG) \
  row("mpeg", HTTP_CONTENT_TYPE_VIDEO_MPEG) row("mpg", HTTP_CONTENT_TYPE_VIDEO_MPEG) \
  row("mpv2", HTTP_CONTENT_TYPE_VIDEO_MPEG) row("msi", HTTP_CONTENT_TYPE_APPLICATION_OCTET_STREAM) \
  row("nsc", HTTP_CONTENT_TYPE_VIDEO_X_MS_ASF) row("nws", HTTP_CONTENT_TYPE_MESSAGE_RFC822) \
  row("o", HTTP_CONTENT_TYPE_APPLICATION_OCTET_STREAM) row("oga", HTTP_CONTENT_TYPE_AUDIO_OGG) \
  row("ogg", HTTP_CONTENT_TYPE_AUDIO_OGG) row("ogm", HTTP_CONTENT_TYPE_VIDEO_OGG) \
  row("ogv", HTTP_CONTENT_TYPE_VIDEO_OGG) row("one", HTTP_CONTENT_TYPE_APPLICATION_ONENOTE) \
  row("otf", HTTP_CONTENT_TYPE_FONT_OTF) row("p", HTTP_CONTENT_TYPE_TEXT_PASCAL) \
  row("pas", HTTP_CONTENT_TYPE_TEXT_PASCAL) row("pdf", HTTP_CONTENT_TYPE_APPLICATION_PDF) \
  row("pem", HTTP_CONTENT_TYPE_APPLICATION_X_PEM_FILE) row("png", HTTP_CONTENT_TYPE_IMAGE_PNG) \
  row("pnz", HTTP_CONTENT_TYPE_IMAGE_PNG) row("pps", HTTP_CONTENT_TYPE_APPLICATION_VND_MS_POWERPOINT) \
  row("ppsx", HTTP_CONTENT_TYPE_APPLICATION_VND_OPENXMLFORMATS_OFFICEDOCUMENT_PRESENTATIONML_SLIDESHOW) \
  row("ppt", HTTP_CONTENT_TYPE_APPLICATION_VND_MS_POWERPOINT) \
  row("pptx", HTTP_CONTENT_TYPE_APPLICATION_VND_OPENXMLFORMATS_OFFICEDOCUMENT_PRESENTATIONML_PRESENTATION) \
  row("ps", HTTP_CONTENT_TYPE_APPLICATION_POSTSCRIPT) row("psd", HTTP_CONTENT_TYPE_IMAGE_PSD) \
  row("py", HTTP_CONTENT_TYPE_TEXT_X_SCRIPT_PYTHON) row("ra", HTTP_CONTENT_TYPE_AUDIO_VND_RN_REALAUDIO) \
  row("ram,", HTTP_CONTENT_TYPE_AUDIO_VND_RN_REALAUDIO) row("rar", HTTP_CONTENT_TYPE_APPLICATION_OCTET_STREAM) \
  row("raw", HTTP_CONTENT_TYPE_APPLICATION_OCTET_STREAM) row("rc", HTTP_CONTENT_TYPE_TEXT_PLAIN) \
  row("rm", HTTP_CONTENT_TYPE_APPLICATION_VND_RN_REALMEDIA) row("rmi", HTTP_CONTENT_TYPE_AUDIO_MID) \
  row("rtf", HTTP_CONTENT_TYPE_APPLICATION_RTF) row("rv", HTTP_CONTENT_TYPE_VIDEO_VND_RN_REALVIDEO) \
  row("sh", HTTP_CONTENT_TYPE_APPLICATION_X_SH) row("snd", HTTP_CONTENT_TYPE_AUDIO_BASIC) \
  row("spx", HTTP_CONTENT_TYPE_AUDIO_OGG) row("svg", HTTP_CONTENT_TYPE_IMAGE_SVG_XML) \
  row("svgz", HTTP_CONTENT_TYPE_IMAGE_SVG_XML) row("swf", HTTP_CONTENT_TYPE_APPLICATION_X_SHOCKWAVE_FLASH) \
  row("talk", HTTP_CONTENT_TYPE_TEXT_X_SPEECH) row("tar", HTTP_CONTENT_TYPE_APPLICATION_X_TAR) \
  row("tcl", HTTP_CONTENT_TYPE_APPLICATION_X_TCL) row("tex", HTTP_CONTENT_TYPE_APPLICATION_X_TEX) \
  row("tgz", HTTP_CONTENT_TYPE_APPLICATION_X_COMPRESSED) row("tiff", HTTP_CONTENT_TYPE_IMAGE_TIFF) \
  row("ts", HTTP_CONTENT_TYPE_VIDEO_VND_DLNA_MPEG_TTS) row("ttf", HTTP_CONTENT_TYPE_FONT_TTF) \
  row("txt", HTTP_CONTENT_TYPE_TEXT_PLAIN) row("url", HTTP_CONTENT_TYPE_TEXT_X_URL) \
  row("vbs", HTTP_CONTENT_TYPE_TEXT_VBSCRIPT) row("vml", HTTP_CONTENT_TYPE_TEXT_XML) \
  row("vsd", HTTP_CONTENT_TYPE_APPLICATION_VND_VISIO) row("vsx", HTTP_CONTENT_TYPE_APPLICATION_VND_VISIO) \
  row("wav", HTTP_CONTENT_TYPE_AUDIO_WAV) row("webm", HTTP_CONTENT_TYPE_VIDEO_WEBM) \
  row("webp", HTTP_CONTENT_TYPE_IMAGE_WEBP) row("wma", HTTP_CONTENT_TYPE_AUDIO_X_MS_WMA) \
  row("wmv", HTTP_CONTENT_TYPE_VIDEO_X_MS_WMV) row("woff", HTTP_CONTENT_TYPE_FONT_WOFF) \
  row("woff2", HTTP_CONTENT_TYPE_FONT_WOFF2) row("wri", HTTP_CONTENT_TYPE_APPLICATION_X_MSWRITE) \
  row("xls", HTTP_CONTENT_TYPE_APPLICATION_VND_MS_EXCEL) row("xml", HTTP_CONTENT_TYPE_TEXT_XML) \
  row("z", HTTP_CONTENT_TYPE_APPLICATION_X_COMPRESS) row("zip", HTTP_CONTENT_TYPE_APPLICATION_X_ZIP_COMPRESSED)

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

namespace {

constexpr const char* mime_types[content_type_count] = {
#define VEX_CONTENT_TYPE(name, mime_type) mime_type,
#include "vex_resource_builder/content_types.def"
#undef VEX_CONTENT_TYPE
};

// The types serving gives files of the default type by their extension.
struct served_type {
  const char* extension;
  const char* mime_type;
};
constexpr served_type served_types[] = {
#define VEX_SERVED_TYPE(extension, mime_type) {extension, mime_type},
#include "vex_resource_builder/served_types.def"
#undef VEX_SERVED_TYPE
};

// True when extension (after the dot) is served's, in either case.
bool is_extension(const wchar_t* extension, const char* served) {
  size_t i = 0;
  for (; served[i] != 0; ++i) {
    const wchar_t c = extension[i];
    if ((c >= L'A' && c <= L'Z' ? c + 32 : c) != static_cast<wchar_t>(served[i])) return false;
  }
  return extension[i] == 0;
}

}  // namespace

const char* mime_type_of(int content_type) {
  if (content_type < 0 || content_type >= content_type_count) content_type = default_content_type;
  return mime_types[content_type];
}

const char* served_mime_type(int content_type, const wchar_t* name) {
  if (content_type != default_content_type) return mime_type_of(content_type);
  const wchar_t* dot = wcsrchr(name, L'.');
  if (dot != nullptr && wcspbrk(dot, L"/\\") == nullptr)
    for (const served_type& served : served_types)
      if (is_extension(dot + 1, served.extension)) return served.mime_type;
  return mime_type_of(content_type);
}
