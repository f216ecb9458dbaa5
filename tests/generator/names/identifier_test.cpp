#include "generator/names/identifier.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

struct path_identifier {
  std::string identifier;
  std::string label;
};

path_identifier identify(const std::string& path) {
  char text[256];
  std::strcpy(text, path.c_str());
  size_t label = make_path_identifier(text);
  return {text, text + label};
}

std::string namespace_of(const std::string& name) {
  char text[256];
  std::strcpy(text, name.c_str());
  make_namespace_identifier(text);
  return text;
}

std::string escaped(const std::string& bytes) {
  char out[1024];
  int64_t n = escape_literal(bytes.data(), bytes.size(), out, sizeof out);
  return n < 0 ? "<too small>" : std::string(out, static_cast<size_t>(n));
}

}  // namespace

TEST(Identifier, PathIdentifierAndLabel) {
  struct {
    const char* path;
    const char* identifier;
    const char* label;
  } cases[] = {
      {"www/css/logo.png", "www_css_logo_png", "logo_png"},
      {"www/img/1.png", "www_img_1_png", "_1_png"},
      {"img/1.png", "img_1_png", "_1_png"},
      {"1.png", "__png", "__png"},
      {"index.html", "index_html", "index_html"},
      {"www\\css\\a-b.css", "www_css_a_b_css", "a_b_css"},
      {"/abs/x", "_abs_x", "x"},
      {"/x.txt", "_x_txt", "x_txt"},
      {"/1.txt", "_1_txt", "_1_txt"},
      {"\\x", "_x", "x"},
      {"./x.js", "__x_js", "x_js"},
      {"caf\xe9.txt", "caf__txt", "caf__txt"},
      {"\xe9t\xe9/x", "_t__x", "x"},
      {"a/.hidden", "a__hidden", "_hidden"},
  };
  for (const auto& c : cases) {
    path_identifier result = identify(c.path);
    EXPECT_EQ(result.identifier, c.identifier) << c.path;
    EXPECT_EQ(result.label, c.label) << c.path;
  }
}

TEST(Identifier, NamespaceIdentifier) {
  EXPECT_EQ(namespace_of("3d-models"), "_d_models");
  EXPECT_EQ(namespace_of("img.old"), "img_old");
  EXPECT_EQ(namespace_of(".git"), "_git");
  EXPECT_EQ(namespace_of("x"), "x");
  EXPECT_EQ(namespace_of("caf\xe9"), "caf_");
}

TEST(Identifier, ReservedNames) {
  for (const char* word : {"static", "new", "default", "public", "int", "all", "all_length", "sort_all", "vex_res",
                           "vex_res_data", "vex_resource", "size_t", "uint64_t", "qsort", "NULL", "SIZE_MAX",
                           "INT8_MIN", "TXT_ENCODING_ANSI", "HTTP_CONTENT_TYPE_TEXT_HTML", "and", "co_await"}) {
    EXPECT_TRUE(is_reserved_identifier(word, std::strlen(word))) << word;
    std::string avoided = std::string(word) + "_";
    EXPECT_FALSE(is_reserved_identifier(avoided.data(), avoided.size())) << avoided;
  }
  for (const char* word : {"index_html", "static_", "allx", "Static", "www", "logo_png", "_1_png", "Max_MAX", "_x",
                           "a_b_", "caf__1_png"})
    EXPECT_FALSE(is_reserved_identifier(word, std::strlen(word))) << word;
  // Reserved to the implementation by their form, or macros of the compilers and C library.
  for (const char* word : {"_Pragma", "__LINE__", "__func__", "__png", "_X1", "linux", "unix", "errno", "EOF", "WEOF",
                           "BIG_ENDIAN", "INT8_WIDTH", "FD_SETSIZE", "stdin"})
    EXPECT_TRUE(is_reserved_identifier(word, std::strlen(word))) << word;
}

TEST(Identifier, EscapedLiteralsKeepTheirValueAndStayAscii) {
  EXPECT_EQ(escaped("index.html"), "index.html");
  EXPECT_EQ(escaped("a\"b\\c"), "a\\\"b\\\\c");
  EXPECT_EQ(escaped("www\\new\\x"), "www\\\\new\\\\x");
  EXPECT_EQ(escaped("?" "?="), "\\?\\?=") << "no trigraph survives";
  // Octal escapes have three digits, so a digit that follows stays a digit.
  EXPECT_EQ(escaped("\xe9" "1.png"), "\\3511.png");
  EXPECT_EQ(escaped(std::string("a\0b", 3)), "a\\000b");
  EXPECT_EQ(escaped("\n\t\x7f"), "\\012\\011\\177");
  char small[4];
  EXPECT_EQ(escape_literal("abcd", 4, small, sizeof small), -1);
  // A buffer of exactly the body and its terminator is enough.
  EXPECT_EQ(escape_literal("abc", 3, small, sizeof small), 3);
  EXPECT_STREQ(small, "abc");
  EXPECT_EQ(escape_literal("a\\", 2, small, sizeof small), 3);
  EXPECT_STREQ(small, "a\\\\");
  EXPECT_EQ(escape_literal("\xe9", 1, small, sizeof small), -1);
  char octal[5];
  EXPECT_EQ(escape_literal("\xe9", 1, octal, sizeof octal), 4);
  EXPECT_STREQ(octal, "\\351");
}

TEST(Identifier, WideLiteralsNameEveryCharacterInAscii) {
  auto wide = [](const std::wstring& text) {
    char out[128];
    int64_t n = escape_wide_literal(text.data(), text.size(), out, sizeof out);
    return n < 0 ? std::string("(too small)") : std::string(out, static_cast<size_t>(n));
  };
  EXPECT_EQ(wide(L"a\"b?\n"), "a\\\"b\\?\\012");
  EXPECT_EQ(wide(L"\u00e9\u65e5.txt"), "\\u00E9\\u65E5.txt");
  // A pair of UTF-16 units and a code point above U+FFFF are one name.
  EXPECT_EQ(wide(std::wstring{wchar_t(0xD83D), wchar_t(0xDE00)}), "\\U0001F600");
  if (sizeof(wchar_t) == 4) {
    EXPECT_EQ(wide(std::wstring{wchar_t(0x1F600)}), "\\U0001F600");
  }
  // A surrogate alone has no name; its hexadecimal escape must not take in the digits after it.
  EXPECT_EQ(wide(std::wstring{wchar_t(0xDCE9), L'a', L'g', wchar_t(0xDC80), L'1'}), "\\xDCE9\\141g\\xDC80\\061");
  char small[6];
  EXPECT_EQ(escape_wide_literal(L"\u00e9", 1, small, sizeof small), -1);
}
