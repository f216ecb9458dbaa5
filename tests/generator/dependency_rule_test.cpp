// Paths in the dependency file's Make-style rule.
#include "generator/dependency_rule.h"

#include <gtest/gtest.h>

#include <string>

namespace {

std::string escaped(const std::string& path) {
  char out[256];
  int64_t length = escape_dependency_path(path.data(), path.size(), out, sizeof out);
  EXPECT_GE(length, 0) << path;
  return length < 0 ? "<refused>" : std::string(out, static_cast<size_t>(length));
}

TEST(DependencyPath, EscapesWhatARuleWouldMisread) {
  EXPECT_EQ(escaped("site/css/main.css"), "site/css/main.css");
  EXPECT_EQ(escaped("my dir/a b.txt"), "my\\ dir/a\\ b.txt");
  EXPECT_EQ(escaped("notes#1.txt"), "notes\\#1.txt");
  EXPECT_EQ(escaped("price$5.html"), "price$$5.html");
  EXPECT_EQ(escaped("www\\css\\a.css"), "www/css/a.css");
  EXPECT_EQ(escaped("caf\xc3\xa9.txt"), "caf\xc3\xa9.txt");
  EXPECT_EQ(escaped(""), "");
}

TEST(DependencyPath, RefusesLineBreaksAndTooSmallBuffers) {
  char out[16];
  EXPECT_EQ(escape_dependency_path("a\nb", 3, out, sizeof out), -1);
  EXPECT_EQ(escape_dependency_path("a\rb", 3, out, sizeof out), -1);
  // "a b" needs four bytes and the terminator.
  EXPECT_EQ(escape_dependency_path("a b", 3, out, 4), -1);
  EXPECT_EQ(escape_dependency_path("a b", 3, out, 5), 4);
  EXPECT_STREQ(out, "a\\ b");
  EXPECT_EQ(escape_dependency_path("$", 1, out, 2), -1);
}

}  // namespace
