#include "io/file_handle.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>

using namespace platform;

namespace {

// A directory of its own for each test: the name counts up from a random
// start until create_directory makes a new one, so runs side by side never
// share one.
struct temporary_directory {
  std::filesystem::path path;
  temporary_directory() {
    static uint64_t next = std::random_device{}();
    do {
      path = std::filesystem::temp_directory_path() / ("vex_file_handle_" + std::to_string(next++));
    } while (!std::filesystem::create_directory(path));
  }
  ~temporary_directory() { std::filesystem::remove_all(path); }
  std::wstring file(const char* name) const { return (path / name).wstring(); }
};

// Makes a directory current for its lifetime; the start directory comes
// back however the test ends.
struct current_directory_change {
  std::filesystem::path start = std::filesystem::current_path();
  explicit current_directory_change(const std::filesystem::path& to) { std::filesystem::current_path(to); }
  ~current_directory_change() { std::filesystem::current_path(start); }
};

std::string contents(const std::wstring& name) {
  std::ifstream in(std::filesystem::path(name), std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

}  // namespace

TEST(FileHandle, CreateAlwaysReportsWhetherTheFileExisted) {
  temporary_directory dir;
  std::wstring name = dir.file("a.txt");
  file_handle h;
  ASSERT_EQ(h.open(name.c_str(), generic_write, create_always, 0), 0);
  EXPECT_EQ(h.last_error, 0u);
  EXPECT_EQ(h.write("hello", 5), 5);
  EXPECT_EQ(h.write("", 0), 0);
  EXPECT_EQ(h.open(name.c_str(), generic_write, create_always, 0), -1) << "already open";
  EXPECT_TRUE(h.opened);
  EXPECT_EQ(h.close(), 0);
  EXPECT_EQ(h.close(), -1);
  EXPECT_EQ(contents(name), "hello");

  ASSERT_EQ(h.open(name.c_str(), generic_write, create_always, 0), 0);
  EXPECT_EQ(h.last_error, error_already_exists);
  h.close();
  EXPECT_EQ(contents(name), "") << "create_always truncates";

  ASSERT_EQ(h.open(name.c_str(), generic_write, open_always, 0), 0);
  EXPECT_EQ(h.last_error, error_already_exists);
  EXPECT_EQ(h.reset(), 0);
  EXPECT_EQ(h.handle, invalid_handle);
  EXPECT_EQ(h.reset(), -1);
}

TEST(FileHandle, TransfersSeekAndEndOfFile) {
  temporary_directory dir;
  std::wstring name = dir.file("b.bin");
  file_handle h;
  ASSERT_EQ(h.open(name.c_str(), generic_read | generic_write, create_always, 0), 0);
  EXPECT_EQ(h.write("0123456789", 10), 10);
  EXPECT_TRUE(h.seek(4, file_begin));
  EXPECT_TRUE(h.set_eof());
  EXPECT_EQ(h.write_error, 0u);
  EXPECT_TRUE(h.seek(0, file_begin));
  char buffer[16] = {};
  EXPECT_EQ(h.read(buffer, sizeof buffer), 4);
  EXPECT_EQ(std::string(buffer, 4), "0123");
  EXPECT_EQ(h.read(buffer, sizeof buffer), 0) << "end of file";
  uint64_t size = 0;
  EXPECT_TRUE(h.size(&size));
  EXPECT_EQ(size, 4u);
  uint64_t time = 0;
  EXPECT_TRUE(h.write_time(&time));
  EXPECT_GT(time, 116444736000000000ull) << "after 1970";
  EXPECT_EQ(h.create_events(), 0);
  EXPECT_TRUE(h.async);
  EXPECT_EQ(h.overlapped_r, &h.async_r);
  EXPECT_EQ(h.close(), 0);
  EXPECT_FALSE(h.async);
  EXPECT_EQ(h.overlapped_w, nullptr);
  EXPECT_EQ(h.create_events(), -1) << "not open";
}

TEST(FileHandle, OpenFailureIsReportedWithTheSystemMessage) {
  temporary_directory dir;
  std::wstring missing = dir.file("missing.txt");
  file_handle h;
  testing::internal::CaptureStdout();
  int result = h.open(missing.c_str(), generic_read, open_existing, 0);
  std::string out = testing::internal::GetCapturedStdout();
  EXPECT_EQ(result, static_cast<int>(error_file_not_found));
  EXPECT_EQ(h.last_error, error_file_not_found);
  EXPECT_FALSE(h.opened);
  EXPECT_EQ(out.rfind("open(", 0), 0u) << out;
  EXPECT_NE(out.find("missing.txt)\n   ^ERROR: " + std::to_string(error_file_not_found) + ", "), std::string::npos)
      << out;
  EXPECT_EQ(out.back(), '\n');

  h.silent = 1;
  testing::internal::CaptureStdout();
  EXPECT_NE(h.open(missing.c_str(), generic_read, open_existing, 0), 0);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
}

TEST(FileHandle, FailedOverwriteIsRetriedOnceAndReportedOnce) {
#ifdef _WIN32
  GTEST_SKIP() << "Windows opens a directory with backup semantics";
#endif
  temporary_directory dir;
  std::wstring directory = dir.file("sub");
  std::filesystem::create_directories(std::filesystem::path(directory));
  file_handle h;
  testing::internal::CaptureStdout();
  int result = h.open(directory.c_str(), generic_write, create_always, 0);
  std::string out = testing::internal::GetCapturedStdout();
  EXPECT_GT(result, 0);
  EXPECT_FALSE(h.opened);
  size_t first = out.find("open(");
  ASSERT_NE(first, std::string::npos);
  EXPECT_EQ(out.find("open(", first + 1), std::string::npos) << "reported once: " << out;

  // A missing directory on the way is not retried: the error stays "not found".
  std::wstring deeper = dir.file("none/x.txt");
  testing::internal::CaptureStdout();
  EXPECT_EQ(h.open(deeper.c_str(), generic_write, create_always, 0), static_cast<int>(error_file_not_found));
  testing::internal::GetCapturedStdout();
}

TEST(FileHandle, OnlyTheExactStandardNamesAreStreams) {
#ifdef _WIN32
  GTEST_SKIP() << "Windows itself treats every spelling of con as the console device";
#endif
  temporary_directory dir;
  current_directory_change inside(dir.path);
  {
    file_handle h;
    ASSERT_EQ(h.open(L"Con", generic_write, create_always, 0), 0);
    h.close();
  }
  EXPECT_TRUE(std::filesystem::exists(dir.path / "Con"));
  {
    file_handle h;
    ASSERT_EQ(h.open(L"-", generic_read, open_existing, 0), 0);
    EXPECT_EQ(h.handle, get_std_handle(standard_stream::input));
    h.borrowed = 1;  // keep the test's standard input open
    h.close();
    EXPECT_NE(get_std_handle(standard_stream::input), invalid_handle);
  }
}
