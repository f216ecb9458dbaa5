// Fuzzes file_time_to_date and format_http_date with arbitrary 64-bit file
// times (100 ns units since 1601-01-01 UTC).
//
// Properties: times at or above 2^63 are rejected with an all-zero record;
// any other time gives a valid record whose text has the shape
// "Www, D Mmm YYYY H:MM:SS GMT" (day and hour without leading zero, the year
// in four digits or all five above 9999), fits the 32-byte buffer with its
// NUL, and names the same second and weekday as an independent
// days-from-civil computation.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <cstring>
#include <memory>

#include "fuzz_check.h"
#include "metadata/http_date.h"

namespace {

constexpr const char* weekdays[7] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
constexpr const char* months[12] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                    "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
constexpr uint64_t ticks_per_second = 10000000;
// 1601-01-01 to 1970-01-01.
constexpr int64_t epoch_gap_days = 134774;

// Days since 1970-01-01 of a proleptic Gregorian date (month 1 to 12).
int64_t days_from_civil(int64_t year, int64_t month, int64_t day) {
  year -= month <= 2;
  int64_t era = (year >= 0 ? year : year - 399) / 400;
  int64_t year_of_era = year - era * 400;
  int64_t day_of_year = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
  int64_t day_of_era = year_of_era * 365 + year_of_era / 4 - year_of_era / 100 + day_of_year;
  return era * 146097 + day_of_era - 719468;
}

bool is_leap(int64_t year) { return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0; }

int days_in_month(int64_t year, int month) {
  constexpr int lengths[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return month == 2 && is_leap(year) ? 29 : lengths[month - 1];
}

// Reads a name from the list at *at; returns its index or -1.
int read_name(const char*& at, const char* const* names, int count) {
  for (int i = 0; i < count; ++i)
    if (std::strncmp(at, names[i], 3) == 0) {
      at += 3;
      return i;
    }
  return -1;
}

// Reads 1 to max_digits decimal digits; leading zeros only as allowed.
int64_t read_number(const char*& at, int min_digits, int max_digits) {
  int digits = 0;
  int64_t value = 0;
  const char* start = at;
  while (*at >= '0' && *at <= '9' && digits < max_digits) value = value * 10 + (*at++ - '0'), ++digits;
  FUZZ_CHECK(digits >= min_digits, "a number of the date has too few digits");
  FUZZ_CHECK(!(*at >= '0' && *at <= '9'), "a number of the date has too many digits");
  FUZZ_CHECK(digits == min_digits || start[0] != '0', "a number of the date has a needless leading zero");
  return value;
}

void expect(const char*& at, const char* text, const char* what) {
  size_t n = std::strlen(text);
  FUZZ_CHECK(std::strncmp(at, text, n) == 0, what);
  at += n;
}

uint64_t choose_time(FuzzedDataProvider& input) {
  uint64_t raw = input.ConsumeIntegral<uint64_t>();
  switch (input.ConsumeIntegralInRange<int>(0, 3)) {
    case 0: return raw;
    case 1: return raw >> 1;  // always convertible
    case 2: return (uint64_t{1} << 63) - 512 + (raw & 1023);  // around the limit
    default: {
      // Around 10000-01-01, where the year gains its fifth digit.
      int64_t days = days_from_civil(10000, 1, 1) + epoch_gap_days;
      return static_cast<uint64_t>(days) * 86400 * ticks_per_second - (uint64_t{1} << 40) + (raw & ((uint64_t{1} << 41) - 1));
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzedDataProvider input(data, size);
  uint64_t file_time = choose_time(input);
  file_date date = file_time_to_date(file_time);

  if (file_time >= uint64_t{1} << 63) {
    file_date zero{};
    FUZZ_CHECK(std::memcmp(&date, &zero, sizeof date) == 0, "a time at or above 2^63 must leave an all-zero record");
    return 0;
  }
  FUZZ_CHECK(date.valid == 1, "a time below 2^63 must convert");

  std::unique_ptr<char[]> out(new char[http_date_capacity]);
  int length = format_http_date(date, out.get());
  FUZZ_CHECK(length > 0 && length < http_date_capacity, "the date and its NUL do not fit the buffer");
  FUZZ_CHECK(std::strlen(out.get()) == static_cast<size_t>(length), "the length is not that of the text");

  const char* at = out.get();
  int weekday = read_name(at, weekdays, 7);
  FUZZ_CHECK(weekday >= 0, "no weekday name");
  expect(at, ", ", "no ', ' after the weekday");
  int64_t day = read_number(at, 1, 2);
  expect(at, " ", "no blank after the day");
  int month = read_name(at, months, 12) + 1;
  FUZZ_CHECK(month >= 1, "no month name");
  expect(at, " ", "no blank after the month");
  int64_t year = read_number(at, 4, 5);
  expect(at, " ", "no blank after the year");
  int64_t hour = read_number(at, 1, 2);
  expect(at, ":", "no ':' after the hour");
  int64_t minute = read_number(at, 2, 2);
  expect(at, ":", "no ':' after the minutes");
  int64_t second = read_number(at, 2, 2);
  expect(at, " GMT", "no ' GMT' at the end");
  FUZZ_CHECK(*at == 0, "text after ' GMT'");

  FUZZ_CHECK(year >= 1601 && year <= 30828, "year outside what a file time reaches");
  FUZZ_CHECK(day >= 1 && day <= days_in_month(year, month), "day outside its month");
  FUZZ_CHECK(hour <= 23 && minute <= 59 && second <= 59, "time of day out of range");

  int64_t days = days_from_civil(year, month, day) + epoch_gap_days;  // since 1601-01-01
  uint64_t seconds = static_cast<uint64_t>(days) * 86400 + static_cast<uint64_t>(hour * 3600 + minute * 60 + second);
  FUZZ_CHECK(seconds == file_time / ticks_per_second, "the text names another second than the file time");
  // 1601-01-01 was a Monday.
  FUZZ_CHECK(weekday == (days + 1) % 7, "wrong weekday");
  return 0;
}
