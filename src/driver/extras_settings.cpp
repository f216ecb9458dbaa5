#include "driver/extras_settings.h"

#include <cstdint>
#include <string>

#include "platform/process.h"
#include "support/format.h"

namespace {

// Reads the digits of text into value; the first character after them in end.
bool parse_digits(const wchar_t* text, uint64_t* value, const wchar_t** end) {
  if (*text < L'0' || *text > L'9') return false;
  uint64_t number = 0;
  for (; *text >= L'0' && *text <= L'9'; ++text) {
    uint64_t digit = static_cast<uint64_t>(*text - L'0');
    if (number > (UINT64_MAX - digit) / 10) return false;
    number = number * 10 + digit;
  }
  *value = number;
  *end = text;
  return true;
}

// The value of a variable that is set and not empty.
bool read_variable(const wchar_t* name, std::wstring& value) {
  return platform::environment_variable(name, value) && !value.empty();
}

}  // namespace

bool parse_workers(const wchar_t* text, unsigned* workers) {
  uint64_t value = 0;
  const wchar_t* end = nullptr;
  if (!parse_digits(text, &value, &end) || *end != 0 || value < 1 || value > most_workers) return false;
  *workers = static_cast<unsigned>(value);
  return true;
}

bool parse_size(const wchar_t* text, uint64_t* bytes) {
  uint64_t value = 0;
  const wchar_t* end = nullptr;
  if (!parse_digits(text, &value, &end)) return false;
  int shift = 0;
  switch (*end) {
    case L'k': case L'K': shift = 10; break;
    case L'm': case L'M': shift = 20; break;
    case L'g': case L'G': shift = 30; break;
    case L't': case L'T': shift = 40; break;
    case 0: break;
    default: return false;
  }
  if (shift != 0 && end[1] != 0) return false;
  if (value > (UINT64_MAX >> shift)) return false;
  *bytes = value << shift;
  return true;
}

namespace {

// The coding of -z, which this build must be able to write.
bool read_stored_coding(const wchar_t* text, compression_plan& plan) {
  if (!parse_coding(text, &plan.stored)) {
    out_printf(L"invalid coding [%s]: give gzip, br or zstd\n", text);
    return false;
  }
  if (!coding_available(plan.stored)) {
    out_printf(L"-z %s: this build has no %hs library (see --version): give another coding\n", text,
               plan.stored == coding::br ? "brotli" : "zstd");
    return false;
  }
  plan.stored_only = true;
  return true;
}

}  // namespace

bool read_http_extras_settings(const command_line& line, http_extras_options& options) {
  if (line.stored_coding_text && !read_stored_coding(line.stored_coding_text, options.plan)) return false;
  std::wstring value;
  if (line.cache_directory) options.cache_directory = line.cache_directory;
  else if (read_variable(L"VEX_RESOURCE_CACHE", value)) options.cache_directory = value;

  options.workers = default_workers();
  if (line.workers_text && !parse_workers(line.workers_text, &options.workers)) {
    out_printf(L"invalid number of workers [%s]: give a whole number from 1 to %u\n", line.workers_text, most_workers);
    return false;
  }
  if (!line.workers_text && read_variable(L"VEX_RESOURCE_JOBS", value) &&
      !parse_workers(value.c_str(), &options.workers)) {
    out_printf(L"invalid VEX_RESOURCE_JOBS [%s]: give a whole number from 1 to %u\n", value.c_str(), most_workers);
    return false;
  }
  if (read_variable(L"VEX_RESOURCE_CACHE_LIMIT", value)) {
    if (!parse_size(value.c_str(), &options.cache_limit)) {
      out_printf(L"invalid VEX_RESOURCE_CACHE_LIMIT [%s]: give bytes, or a number followed by K, M, G or T\n",
                 value.c_str());
      return false;
    }
    options.cache_limited = true;
  }
  return true;
}
