#include "metadata/http_date.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>

#include "generator/source_metadata.h"
#include "io/file_handle.h"

namespace {

struct stamp {
  std::string text;
  std::string lower;
  int length;
};

stamp format(const file_date& date) {
  char out[http_date_capacity + 8];
  std::memset(out, 0x7F, sizeof out);
  int length = format_http_date(date, out);
  EXPECT_EQ(static_cast<size_t>(length), std::strlen(out));
  EXPECT_LT(length, http_date_capacity) << "the NUL fits too";
  for (size_t i = static_cast<size_t>(length) + 1; i < sizeof out; ++i) EXPECT_EQ(out[i], 0x7F) << "byte " << i;
  return {out, "", length};
}

file_date date_of(int year, int month, int day, int hour, int minute, int second, int day_of_week) {
  file_date date{};
  date.seconds = second;
  date.minutes = minute;
  date.hour = hour;
  date.day_of_month = day;
  date.month = month - 1;
  date.years_since_1900 = year - 1900;
  date.day_of_week = day_of_week;
  date.valid = 1;
  return date;
}

std::string lower_of(const std::string& text) {
  std::string lower = text;
  for (char& c : lower)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + 0x20);
  return lower;
}

struct temporary_file {
  std::filesystem::path path;
  temporary_file() {
    path = std::filesystem::temp_directory_path() / ("vex_http_date_" + std::to_string(std::random_device{}()));
    std::ofstream(path) << "stamp";
  }
  ~temporary_file() { std::filesystem::remove(path); }
  void set_write_time(std::chrono::sys_time<std::chrono::milliseconds> time) {
    std::filesystem::last_write_time(path, std::chrono::file_clock::from_sys(time));
  }
};

std::chrono::sys_time<std::chrono::milliseconds> utc(int year, unsigned month, unsigned day, int hour, int minute,
                                                    int second, int milliseconds) {
  using namespace std::chrono;
  return sys_days{std::chrono::year{year} / std::chrono::month{month} / std::chrono::day{day}} + hours{hour} +
         minutes{minute} + seconds{second} + std::chrono::milliseconds{milliseconds};
}

}  // namespace

TEST(HttpDate, FormatsTheExamplesOfTheDocument) {
  struct example {
    file_date date;
    const char* text;
    int length;
  };
  const example examples[] = {
      {date_of(2026, 12, 7, 7, 5, 9, 1), "Mon, 7 Dec 2026 7:05:09 GMT", 27},
      {date_of(2026, 11, 1, 16, 4, 0, 0), "Sun, 1 Nov 2026 16:04:00 GMT", 28},
      {date_of(2026, 11, 23, 14, 30, 5, 1), "Mon, 23 Nov 2026 14:30:05 GMT", 29},
      {date_of(2026, 11, 23, 4, 0, 0, 1), "Mon, 23 Nov 2026 4:00:00 GMT", 28},
      {date_of(1601, 1, 1, 0, 0, 0, 1), "Mon, 1 Jan 1601 0:00:00 GMT", 27},
      {date_of(1999, 2, 10, 10, 10, 10, 3), "Wed, 10 Feb 1999 10:10:10 GMT", 29},
      {date_of(2000, 3, 4, 9, 59, 1, 4), "Thu, 4 Mar 2000 9:59:01 GMT", 27},
      {date_of(2024, 4, 5, 20, 1, 2, 5), "Fri, 5 Apr 2024 20:01:02 GMT", 28},
      {date_of(2025, 5, 31, 23, 59, 59, 6), "Sat, 31 May 2025 23:59:59 GMT", 29},
      {date_of(2026, 6, 1, 1, 0, 0, 2), "Tue, 1 Jun 2026 1:00:00 GMT", 27},
      {date_of(2026, 7, 1, 1, 0, 0, 2), "Tue, 1 Jul 2026 1:00:00 GMT", 27},
      {date_of(2026, 8, 1, 1, 0, 0, 2), "Tue, 1 Aug 2026 1:00:00 GMT", 27},
      {date_of(2026, 9, 1, 1, 0, 0, 2), "Tue, 1 Sep 2026 1:00:00 GMT", 27},
      {date_of(2026, 10, 1, 1, 0, 0, 2), "Tue, 1 Oct 2026 1:00:00 GMT", 27},
      {date_of(9999, 12, 31, 23, 59, 59, 5), "Fri, 31 Dec 9999 23:59:59 GMT", 29},
      {file_date{}, "Sun, 0 Jan 1900 0:00:00 GMT", 27},
  };
  for (const example& e : examples) {
    stamp got = format(e.date);
    EXPECT_EQ(got.text, e.text);
    EXPECT_EQ(got.length, e.length) << e.text;
    EXPECT_EQ(got.length, 25 + (e.date.day_of_month >= 10) + 1 + (e.date.hour >= 10) + 1) << e.text;
  }
}

TEST(HttpDate, YearsAfter9999KeepAllTheirDigits) {
  // A file time reaches 30828; the year is written whole, one byte longer.
  EXPECT_EQ(format(date_of(10000, 1, 1, 0, 0, 0, 6)).text, "Sat, 1 Jan 10000 0:00:00 GMT");
  stamp longest = format(date_of(30827, 12, 31, 23, 59, 59, 5));
  EXPECT_EQ(longest.text, "Fri, 31 Dec 30827 23:59:59 GMT");
  EXPECT_EQ(longest.length, 30);
  stamp last = format(file_time_to_date((uint64_t{1} << 63) - 1));
  EXPECT_EQ(last.text, "Thu, 14 Sep 30828 2:48:05 GMT");
  EXPECT_EQ(last.length, 29);
}

TEST(HttpDate, FileTimeBecomesTheBrokenDownUtcTime) {
  // 2026-12-07 07:05:09.750 UTC: 155568 days after 1601-01-01.
  uint64_t time = 155568 * uint64_t{864000000000} + (7 * 3600 + 5 * 60 + 9) * uint64_t{10000000} + 7500000;
  file_date date = file_time_to_date(time);
  EXPECT_EQ(date.seconds, 9);
  EXPECT_EQ(date.minutes, 5);
  EXPECT_EQ(date.hour, 7);
  EXPECT_EQ(date.day_of_month, 7);
  EXPECT_EQ(date.month, 11);
  EXPECT_EQ(date.years_since_1900, 126);
  EXPECT_EQ(date.day_of_week, 1);
  EXPECT_EQ(date.day_of_year, 0);
  EXPECT_EQ(date.daylight_saving, 0);
  EXPECT_EQ(date.valid, 1);
  EXPECT_EQ(format(date).text, "Mon, 7 Dec 2026 7:05:09 GMT") << "milliseconds never show";

  file_date zero = file_time_to_date(0);
  EXPECT_EQ(zero.years_since_1900, -299);
  EXPECT_EQ(zero.valid, 1);
  EXPECT_EQ(format(zero).text, "Mon, 1 Jan 1601 0:00:00 GMT");
}

TEST(HttpDate, UnconvertibleTimeGivesTheAllZeroRecord) {
  for (uint64_t time : {uint64_t{1} << 63, UINT64_MAX}) {
    file_date date = file_time_to_date(time);
    file_date zero{};
    EXPECT_EQ(std::memcmp(&date, &zero, offsetof(file_date, valid) + 1), 0);
    EXPECT_EQ(format(date).text, "Sun, 0 Jan 1900 0:00:00 GMT");
  }
}

TEST(HttpDate, LowerCaseCopyChangesOnlyLetters) {
  temporary_file file;
  file.set_write_time(utc(2026, 12, 7, 7, 5, 9, 750));
  file_handle source;
  ASSERT_EQ(source.open(file.path.wstring().c_str(), platform::generic_read, platform::open_existing, 0), 0);
  char http_date[http_date_capacity];
  char http_date_lower[http_date_capacity];
  make_http_date(source, http_date, http_date_lower);
  EXPECT_STREQ(http_date, "Mon, 7 Dec 2026 7:05:09 GMT");
  EXPECT_STREQ(http_date_lower, "mon, 7 dec 2026 7:05:09 gmt");
  for (size_t i = 0; i < std::strlen(http_date); ++i) {
    if (http_date[i] < 'A' || http_date[i] > 'Z') {
      EXPECT_EQ(http_date_lower[i], http_date[i]) << i;
    }
  }
  EXPECT_EQ(source.last_error, 0u);
}

TEST(HttpDate, StampsARealFile) {
  struct example {
    std::chrono::sys_time<std::chrono::milliseconds> time;
    const char* text;
  };
  const example examples[] = {
      {utc(2026, 11, 1, 16, 4, 0, 0), "Sun, 1 Nov 2026 16:04:00 GMT"},
      {utc(2026, 11, 23, 14, 30, 5, 0), "Mon, 23 Nov 2026 14:30:05 GMT"},
      {utc(1970, 1, 1, 0, 0, 0, 0), "Thu, 1 Jan 1970 0:00:00 GMT"},
      {utc(2038, 1, 19, 3, 14, 8, 999), "Tue, 19 Jan 2038 3:14:08 GMT"},
      {utc(2000, 2, 29, 12, 0, 1, 0), "Tue, 29 Feb 2000 12:00:01 GMT"},
  };
  temporary_file file;
  for (const example& e : examples) {
    file.set_write_time(e.time);
    file_handle source;
    source.last_error = 1;
    ASSERT_EQ(source.open(file.path.wstring().c_str(), platform::generic_read, platform::open_existing, 0), 0);
    char http_date[http_date_capacity];
    char http_date_lower[http_date_capacity];
    make_http_date(source, http_date, http_date_lower);
    EXPECT_STREQ(http_date, e.text);
    EXPECT_EQ(http_date_lower, lower_of(e.text));
    EXPECT_EQ(source.last_error, 0u);
  }
}

TEST(HttpDate, FailedTimeQueryTakesTimeZero) {
  file_handle closed;
  char http_date[http_date_capacity];
  char http_date_lower[http_date_capacity];
  make_http_date(closed, http_date, http_date_lower);
  EXPECT_NE(closed.last_error, 0u) << "the error code is kept";
  EXPECT_STREQ(http_date, "Mon, 1 Jan 1601 0:00:00 GMT");
  EXPECT_STREQ(http_date_lower, "mon, 1 jan 1601 0:00:00 gmt");
}
