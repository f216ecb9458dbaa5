#pragma once
// The last-write time of a source file as an HTTP date.
#include <cstdint>

/// Broken-down UTC time, fields as in the C library's tm, plus validity.
struct file_date {
  int32_t seconds;
  int32_t minutes;
  int32_t hour;
  int32_t day_of_month;
  int32_t month;           // 0 for January
  int32_t years_since_1900;
  int32_t day_of_week;     // 0 for Sunday
  int32_t day_of_year;     // always 0
  int32_t daylight_saving; // always 0
  uint8_t valid;
};

inline constexpr int http_date_capacity = 32;

/// Writes the date as "Mon, 7 Dec 2026 7:05:09 GMT" with its NUL into out
/// (at least 32 bytes); returns the length without the NUL: 27 to 29, one
/// more for the five-digit years 10000 to 30828, which are written whole.
/// The fields must lie in the ranges file_time_to_date gives.
int format_http_date(const file_date& date, char* out);

/// Converts a 100-ns-since-1601 time into the broken-down UTC time; the
/// record stays all zero when the time cannot be converted.
file_date file_time_to_date(uint64_t file_time);

/// Fills http_date and http_date_lower (32 bytes each) with the date of a
/// file time (100 ns since 1601) and its lower-case copy.
void make_http_date(uint64_t file_time, char* http_date, char* http_date_lower);
