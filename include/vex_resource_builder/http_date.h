#pragma once
// HTTP dates as numbers: reading the three forms HTTP allows (and the
// records' own date text), and writing the fixed form servers must send.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <ctime>
#include <string_view>

namespace vex_http {

/// Bytes needed for a fixed-form date with its terminating NUL.
inline constexpr size_t date_capacity = 30;

namespace date_detail {

inline constexpr const char* weekdays[7] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
inline constexpr const char* months[12] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                           "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
inline constexpr const char* long_weekdays[7] = {"Sunday",   "Monday", "Tuesday", "Wednesday",
                                                 "Thursday", "Friday", "Saturday"};

// Days from 1970-01-01 to a proleptic Gregorian date (month 1 to 12).
constexpr int64_t days_from_civil(int64_t year, int64_t month, int64_t day) {
  year -= month <= 2;
  const int64_t era = (year >= 0 ? year : year - 399) / 400;
  const int64_t year_of_era = year - era * 400;
  const int64_t day_of_year = (153 * (month > 2 ? month - 3 : month + 9) + 2) / 5 + day - 1;
  return era * 146097 + year_of_era * 365 + year_of_era / 4 - year_of_era / 100 + day_of_year - 719468;
}

constexpr int days_in_month(int64_t year, int64_t month) {
  constexpr int lengths[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
  return month == 2 && leap ? 29 : lengths[month - 1];
}

// A reader over the header text; every take_ step fails without moving.
struct reader {
  std::string_view rest;

  bool take(std::string_view expected) {
    if (rest.substr(0, expected.size()) != expected) return false;
    rest.remove_prefix(expected.size());
    return true;
  }
  bool take_number(size_t min_digits, size_t max_digits, int64_t& value) {
    size_t digits = 0;
    int64_t number = 0;
    while (digits < rest.size() && digits < max_digits && rest[digits] >= '0' && rest[digits] <= '9')
      number = number * 10 + (rest[digits++] - '0');
    if (digits < min_digits || (digits < rest.size() && rest[digits] >= '0' && rest[digits] <= '9')) return false;
    rest.remove_prefix(digits);
    value = number;
    return true;
  }
  // One of the names; returns its index or -1.
  int take_name(const char* const* names, int count) {
    for (int i = 0; i < count; ++i)
      if (take(names[i])) return i;
    return -1;
  }
  bool take_time(int64_t& hour, int64_t& minute, int64_t& second) {
    return take_number(1, 2, hour) && take(":") && take_number(2, 2, minute) && take(":") &&
           take_number(2, 2, second);
  }
};

// Seconds since 1970 of a checked calendar time; false when a field is out of range.
inline bool to_seconds(int64_t year, int64_t month, int64_t day, int64_t hour, int64_t minute, int64_t second,
                       int64_t& seconds) {
  if (year < 1 || month < 1 || month > 12 || day < 1 || day > days_in_month(year, month)) return false;
  if (hour > 23 || minute > 59 || second > 60) return false;  // 60: a leap second
  seconds = days_from_civil(year, month, day) * 86400 + hour * 3600 + minute * 60 + second;
  return true;
}

// "Sun, 06 Nov 1994 08:49:37 GMT"; a one-digit day or hour is read too,
// which is how the records write them.
inline bool parse_fixed(reader text, int64_t& seconds) {
  int64_t day = 0, year = 0, hour = 0, minute = 0, second = 0;
  if (text.take_name(weekdays, 7) < 0 || !text.take(", ") || !text.take_number(1, 2, day) || !text.take(" "))
    return false;
  const int month = text.take_name(months, 12);
  if (month < 0 || !text.take(" ") || !text.take_number(4, 4, year) || !text.take(" ")) return false;
  if (!text.take_time(hour, minute, second) || !text.take(" GMT") || !text.rest.empty()) return false;
  return to_seconds(year, month + 1, day, hour, minute, second, seconds);
}

// "Sunday, 06-Nov-94 08:49:37 GMT": a two-digit year that appears to be
// more than 50 years in the future means the past century.
inline bool parse_obsolete(reader text, int64_t& seconds, int64_t now_year) {
  int64_t day = 0, year = 0, hour = 0, minute = 0, second = 0;
  if (text.take_name(long_weekdays, 7) < 0 || !text.take(", ") || !text.take_number(2, 2, day) || !text.take("-"))
    return false;
  const int month = text.take_name(months, 12);
  if (month < 0 || !text.take("-") || !text.take_number(2, 2, year) || !text.take(" ")) return false;
  if (!text.take_time(hour, minute, second) || !text.take(" GMT") || !text.rest.empty()) return false;
  year += now_year / 100 * 100;
  if (year > now_year + 50) year -= 100;
  return to_seconds(year, month + 1, day, hour, minute, second, seconds);
}

// "Sun Nov  6 08:49:37 1994": the day is padded with a blank to two places.
inline bool parse_asctime(reader text, int64_t& seconds) {
  int64_t day = 0, year = 0, hour = 0, minute = 0, second = 0;
  if (text.take_name(weekdays, 7) < 0 || !text.take(" ")) return false;
  const int month = text.take_name(months, 12);
  if (month < 0 || !text.take(" ")) return false;
  if (!(text.take(" ") ? text.take_number(1, 1, day) : text.take_number(2, 2, day)) || !text.take(" ")) return false;
  if (!text.take_time(hour, minute, second) || !text.take(" ") || !text.take_number(4, 4, year) || !text.rest.empty())
    return false;
  return to_seconds(year, month + 1, day, hour, minute, second, seconds);
}

inline void put_digits(char*& out, int64_t value, int digits) {
  for (int place = digits - 1; place >= 0; --place) {
    out[place] = static_cast<char>('0' + value % 10);
    value /= 10;
  }
  out += digits;
}

}  // namespace date_detail

/// Reads an HTTP date in any of its three forms (fixed, the obsolete one with
/// a two-digit year, asctime) into seconds since 1970; false for any other
/// text or an impossible date. now_year settles the century of a two-digit
/// year.
inline bool parse_date(std::string_view text, int64_t& seconds, int64_t now_year = 2026) {
  const date_detail::reader reader{text};
  return date_detail::parse_fixed(reader, seconds) || date_detail::parse_obsolete(reader, seconds, now_year) ||
         date_detail::parse_asctime(reader, seconds);
}

/// Writes the fixed form of a time, "Sun, 05 Nov 2023 07:05:09 GMT", and its
/// NUL into out (date_capacity bytes); false, with out empty, for a time
/// before year 1 or after year 9999, which the form cannot hold.
inline bool format_date(int64_t seconds, char* out) {
  constexpr int64_t first = -62135596800;  // 0001-01-01
  constexpr int64_t last = 253402300799;   // 9999-12-31 23:59:59
  out[0] = 0;
  if (seconds < first || seconds > last) return false;
  int64_t days = seconds / 86400;
  int64_t second_of_day = seconds % 86400;
  if (second_of_day < 0) second_of_day += 86400, --days;
  const int weekday = static_cast<int>(((days % 7) + 11) % 7);  // 1970-01-01 was a Thursday
  // The civil date of a day number (the inverse of days_from_civil).
  const int64_t shifted = days + 719468;
  const int64_t era = (shifted >= 0 ? shifted : shifted - 146096) / 146097;
  const int64_t day_of_era = shifted - era * 146097;
  const int64_t year_of_era = (day_of_era - day_of_era / 1460 + day_of_era / 36524 - day_of_era / 146096) / 365;
  const int64_t day_of_year = day_of_era - (365 * year_of_era + year_of_era / 4 - year_of_era / 100);
  const int64_t month_index = (5 * day_of_year + 2) / 153;
  const int64_t day = day_of_year - (153 * month_index + 2) / 5 + 1;
  const int64_t month = month_index < 10 ? month_index + 3 : month_index - 9;
  const int64_t year = year_of_era + era * 400 + (month <= 2);

  char* at = out;
  for (int i = 0; i < 3; ++i) *at++ = date_detail::weekdays[weekday][i];
  *at++ = ',';
  *at++ = ' ';
  date_detail::put_digits(at, day, 2);
  *at++ = ' ';
  for (int i = 0; i < 3; ++i) *at++ = date_detail::months[month - 1][i];
  *at++ = ' ';
  date_detail::put_digits(at, year, 4);
  *at++ = ' ';
  date_detail::put_digits(at, second_of_day / 3600, 2);
  *at++ = ':';
  date_detail::put_digits(at, second_of_day / 60 % 60, 2);
  *at++ = ':';
  date_detail::put_digits(at, second_of_day % 60, 2);
  for (const char* gmt = " GMT"; *gmt; ++gmt) *at++ = *gmt;
  *at = 0;
  return true;
}

/// Writes the fixed form of the current time into out (date_capacity
/// bytes), as format_date does; the text is made at most once a second by
/// each thread, and copied otherwise.
inline bool format_current_date(char* out) {
  struct last_date {
    int64_t second = -1;
    bool valid = false;
    char text[date_capacity] = {};
  };
  thread_local last_date last;
  const int64_t now = static_cast<int64_t>(std::time(nullptr));
  if (now != last.second) {
    last.valid = format_date(now, last.text);
    last.second = now;
  }
  std::memcpy(out, last.text, date_capacity);
  return last.valid;
}

}  // namespace vex_http
