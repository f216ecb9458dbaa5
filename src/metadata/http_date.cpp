#include "metadata/http_date.h"

#include <cstring>

#include "platform/platform.h"

namespace {

constexpr char weekday_names[7][4] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
constexpr char month_names[12][4] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                     "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};

char* put_name(char* out, const char* name) {
  out[0] = name[0];
  out[1] = name[1];
  out[2] = name[2];
  return out + 3;
}

// value in decimal with at least min_digits digits (leading zeros).
char* put_number(char* out, uint32_t value, int min_digits) {
  int digits = 1;
  for (uint32_t rest = value / 10; rest != 0; rest /= 10) ++digits;
  if (digits < min_digits) digits = min_digits;
  for (int i = digits - 1; i >= 0; --i) {
    out[i] = static_cast<char>('0' + value % 10);
    value /= 10;
  }
  return out + digits;
}

uint32_t as_unsigned(int32_t value) { return static_cast<uint32_t>(value); }

}  // namespace

int format_http_date(const file_date& date, char* out) {
  char* end = put_name(out, weekday_names[date.day_of_week]);
  *end++ = ',';
  *end++ = ' ';
  end = put_number(end, as_unsigned(date.day_of_month), 1);
  *end++ = ' ';
  end = put_name(end, month_names[date.month]);
  *end++ = ' ';
  // Four digits up to 9999; the five-digit years 10000 to 30828 that a file
  // time can reach keep all their digits.
  end = put_number(end, as_unsigned(date.years_since_1900 + 1900), 4);
  *end++ = ' ';
  end = put_number(end, as_unsigned(date.hour), 1);
  *end++ = ':';
  end = put_number(end, as_unsigned(date.minutes), 2);
  *end++ = ':';
  end = put_number(end, as_unsigned(date.seconds), 2);
  std::memcpy(end, " GMT", 5);
  return static_cast<int>(end + 4 - out);
}

file_date file_time_to_date(uint64_t file_time) {
  file_date date{};
  platform::system_time time;
  if (!platform::file_time_to_system_time(file_time, &time)) return date;
  date.seconds = time.second;
  date.minutes = time.minute;
  date.hour = time.hour;
  date.day_of_month = time.day;
  date.month = time.month - 1;
  date.years_since_1900 = time.year - 1900;
  date.day_of_week = time.day_of_week;
  date.valid = 1;
  return date;
}

void make_http_date(uint64_t file_time, char* http_date, char* http_date_lower) {
  int length = format_http_date(file_time_to_date(file_time), http_date);
  std::memcpy(http_date_lower, http_date, static_cast<size_t>(length) + 1);
  for (int i = 0; i < length && http_date_lower[i] != 0; ++i)
    if (http_date_lower[i] >= 'A' && http_date_lower[i] <= 'Z')
      http_date_lower[i] = static_cast<char>(http_date_lower[i] + 0x20);
}
