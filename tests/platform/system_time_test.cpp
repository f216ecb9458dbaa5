// platform::file_time_to_system_time: the civil-from-days arithmetic on
// POSIX, FileTimeToSystemTime on Windows; the same expectations for both.
#include "platform/platform.h"

#include <gtest/gtest.h>

#include <cstdint>

namespace {

// Days from 1970-01-01 to the given date of the proleptic Gregorian calendar
// (H. Hinnant's days_from_civil), an algorithm independent of the one tested.
int64_t days_from_civil(int64_t year, int64_t month, int64_t day) {
  year -= month <= 2;
  int64_t era = (year >= 0 ? year : year - 399) / 400;
  int64_t year_of_era = year - era * 400;
  int64_t day_of_year = (153 * (month > 2 ? month - 3 : month + 9) + 2) / 5 + day - 1;
  int64_t day_of_era = year_of_era * 365 + year_of_era / 4 - year_of_era / 100 + day_of_year;
  return era * 146097 + day_of_era - 719468;
}

constexpr uint64_t ticks_per_second = 10000000;
constexpr uint64_t ticks_per_day = 86400 * ticks_per_second;

uint64_t days_since_1601(int64_t year, int64_t month, int64_t day) {
  return static_cast<uint64_t>(days_from_civil(year, month, day) - days_from_civil(1601, 1, 1));
}

uint64_t file_time(int64_t year, int64_t month, int64_t day, int64_t hour, int64_t minute, int64_t second,
                   int64_t milliseconds) {
  return days_since_1601(year, month, day) * ticks_per_day +
         static_cast<uint64_t>((hour * 3600 + minute * 60 + second) * 1000 + milliseconds) * 10000;
}

enum weekday { sunday, monday, tuesday, wednesday, thursday, friday, saturday };

}  // namespace

TEST(SystemTime, KnownDates) {
  struct known {
    uint16_t year, month, day, hour, minute, second, milliseconds;
    weekday day_of_week;
  };
  const known dates[] = {
      {1601, 1, 1, 0, 0, 0, 0, monday},            // day 0
      {1601, 12, 31, 23, 59, 59, 999, monday},
      {1604, 2, 29, 12, 0, 0, 0, sunday},          // the first leap day
      {1604, 3, 1, 0, 0, 0, 0, monday},
      {1700, 2, 28, 0, 0, 0, 0, sunday},           // 1700 is not leap
      {1700, 3, 1, 0, 0, 0, 0, monday},
      {1900, 2, 28, 0, 0, 0, 0, wednesday},        // 1900 is not leap
      {1900, 3, 1, 0, 0, 0, 0, thursday},
      {1970, 1, 1, 0, 0, 0, 0, thursday},
      {2000, 2, 29, 6, 30, 0, 0, tuesday},         // 2000 is leap
      {2000, 12, 31, 23, 59, 59, 0, sunday},       // the last day of a 400-year cycle
      {2001, 1, 1, 0, 0, 0, 0, monday},
      {2038, 1, 19, 3, 14, 7, 0, tuesday},         // 2^31 - 1 seconds after 1970
      {2038, 1, 19, 3, 14, 8, 0, tuesday},
      {2026, 11, 1, 16, 4, 0, 0, sunday},
      {2026, 11, 23, 14, 30, 5, 0, monday},
      {2026, 12, 7, 7, 5, 9, 750, monday},
      {9999, 12, 31, 23, 59, 59, 999, friday},
      {10000, 1, 1, 0, 0, 0, 0, saturday},
      {30000, 1, 1, 0, 0, 0, 0, saturday},
      {30000, 2, 29, 0, 0, 0, 0, tuesday},
      {30827, 12, 31, 23, 59, 59, 0, friday},
      {30828, 9, 14, 2, 48, 5, 477, thursday},
  };
  for (const known& d : dates) {
    uint64_t time = file_time(d.year, d.month, d.day, d.hour, d.minute, d.second, d.milliseconds);
    platform::system_time got{};
    ASSERT_TRUE(platform::file_time_to_system_time(time, &got)) << d.year;
    EXPECT_EQ(got.year, d.year);
    EXPECT_EQ(got.month, d.month) << d.year;
    EXPECT_EQ(got.day, d.day) << d.year << "-" << d.month;
    EXPECT_EQ(got.hour, d.hour) << d.year << "-" << d.month << "-" << d.day;
    EXPECT_EQ(got.minute, d.minute) << d.year << "-" << d.month << "-" << d.day;
    EXPECT_EQ(got.second, d.second) << d.year << "-" << d.month << "-" << d.day;
    EXPECT_EQ(got.milliseconds, d.milliseconds) << d.year << "-" << d.month << "-" << d.day;
    EXPECT_EQ(got.day_of_week, d.day_of_week) << d.year << "-" << d.month << "-" << d.day;
  }
}

TEST(SystemTime, WellKnownFileTimes) {
  platform::system_time got{};
  ASSERT_TRUE(platform::file_time_to_system_time(116444736000000000u, &got));  // the Unix epoch
  EXPECT_EQ(got.year, 1970);
  EXPECT_EQ(got.month, 1);
  EXPECT_EQ(got.day, 1);
  EXPECT_EQ(got.day_of_week, thursday);
  EXPECT_EQ(file_time(1970, 1, 1, 0, 0, 0, 0), 116444736000000000u) << "the test's own arithmetic";

  // The largest time below 2^63: 30828-09-14 02:48:05.4775807, a Thursday.
  ASSERT_TRUE(platform::file_time_to_system_time((uint64_t{1} << 63) - 1, &got));
  EXPECT_EQ(got.year, 30828);
  EXPECT_EQ(got.month, 9);
  EXPECT_EQ(got.day, 14);
  EXPECT_EQ(got.hour, 2);
  EXPECT_EQ(got.minute, 48);
  EXPECT_EQ(got.second, 5);
  EXPECT_EQ(got.milliseconds, 477);
  EXPECT_EQ(got.day_of_week, thursday);
  EXPECT_EQ(file_time(30828, 9, 14, 2, 48, 5, 477) + 5807, (uint64_t{1} << 63) - 1);
}

TEST(SystemTime, TimesFromTwoToTheSixtyThreeFail) {
  platform::system_time got{};
  EXPECT_FALSE(platform::file_time_to_system_time(uint64_t{1} << 63, &got));
  EXPECT_FALSE(platform::file_time_to_system_time((uint64_t{1} << 63) + 1, &got));
  EXPECT_FALSE(platform::file_time_to_system_time(UINT64_MAX, &got));
}

TEST(SystemTime, EveryDayAgreesWithDaysFromCivil) {
  // Every day of the first three 400-year cycles, then every 997th day up to
  // the last day of the range (whose end KnownDates covers), each at a time
  // of day that moves with the day.
  uint64_t last_day = ((uint64_t{1} << 63) - 1) / ticks_per_day;
  for (uint64_t day = 0; day < last_day; day += day < 3 * 146097 ? 1 : 997) {
    uint64_t in_day = (day * 7777u % 86400u) * ticks_per_second + day % 1000 * 10000;
    platform::system_time got{};
    ASSERT_TRUE(platform::file_time_to_system_time(day * ticks_per_day + in_day, &got)) << day;
    ASSERT_GE(got.month, 1);
    ASSERT_LE(got.month, 12);
    ASSERT_GE(got.day, 1);
    ASSERT_EQ(days_since_1601(got.year, got.month, got.day), day)
        << got.year << "-" << got.month << "-" << got.day;
    // 1970-01-01 was a Thursday.
    ASSERT_EQ(got.day_of_week, (days_from_civil(got.year, got.month, got.day) % 7 + 7 + thursday) % 7) << day;
    ASSERT_EQ(got.hour * 3600u + got.minute * 60u + got.second, in_day / ticks_per_second) << day;
    ASSERT_EQ(got.milliseconds, day % 1000) << day;
  }
}
