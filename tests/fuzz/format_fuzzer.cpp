// Fuzzes format_text, vformat_text and format_wide with the formats the tool
// itself passes them, arbitrary arguments (wide text reaching past U+00FF)
// and arbitrary capacities. The expected text comes from a small model of
// the directives those formats use, written independently of the formatter.
//
// Properties: the result is -1 exactly when the text and its terminator do
// not fit or (narrow output) a character above U+00FF would be written;
// otherwise it is the length of the expected text, which the buffer holds
// followed by a NUL. Buffers are allocated with exactly the capacity passed,
// so any write past it is caught by AddressSanitizer.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstdarg>
#include <cstdint>
#include <cstring>
#include <cwchar>
#include <memory>
#include <string>

#include "support/format.h"
#include "fuzz_check.h"
#include "generator/generated_text.h"

namespace {

// Wide formats the tool passes to format_wide and to the console printer
// (which runs the same engine).
constexpr const wchar_t* open_message = L"open(%s)";
constexpr const wchar_t* awe_head = L":: AWE %9u MB physical RAM at: 0x%016Ix\n";
constexpr const wchar_t* awe_body =
    L"\n"
    L"Memory to request for PFN array\t%8Iu KB\taPFNs [0x%08Ix]\n"
    L"Requested number of pages\t%8Iu\tRequested %5u MB\n"
    L"Received  number of pages\t%8Iu\tReceived  %5u MB\n"
    L"AllocateUserPhysicalPages\t%8s\tpage size %5u bytes\n"
    L"MapUserPhysicalPages\t\t%8s\n";
constexpr const wchar_t* taken_message = L"renamed [%s]: its identifier %.*hs is taken, it is %hs\n";
constexpr const wchar_t* mark_message = L"<%s> %lc\n";
constexpr const wchar_t* error_message = L"failed to restore original directory: %i\n";
constexpr const wchar_t* two_texts = L"%ls%ls";
constexpr const wchar_t* label_message = L"failed to prepare label [%hs]\n";
constexpr const wchar_t* remaining_message = L"failed to read data %llu bytes remaining\n";

// The arguments of one call; each kind is consumed in order of appearance.
struct argument_pools {
  std::string narrow[29];
  std::wstring wide[2];
  int ints[1];
  unsigned uints[6];
  unsigned long long longs[1];
  uintptr_t pointers[4];
  wint_t chars[1];
};

wchar_t wide_character(FuzzedDataProvider& input) {
  switch (input.ConsumeIntegralInRange<int>(0, 7)) {
    case 0: case 1: case 2: return static_cast<wchar_t>(input.ConsumeIntegralInRange<uint32_t>(1, 0x7F));
    case 3: case 4: return static_cast<wchar_t>(input.ConsumeIntegralInRange<uint32_t>(0x80, 0xFF));
    case 5: return static_cast<wchar_t>(input.ConsumeIntegralInRange<uint32_t>(0x100, 0xFFFF));
    case 6: return static_cast<wchar_t>(input.ConsumeIntegralInRange<uint32_t>(0x10000, 0x10FFFF));
    default: {
      auto c = static_cast<wchar_t>(input.ConsumeIntegral<uint32_t>());
      return c == 0 ? L'\x100' : c;
    }
  }
}

void fill(argument_pools& pools, FuzzedDataProvider& input) {
  for (std::string& s : pools.narrow) {
    size_t length = input.ConsumeIntegralInRange<size_t>(0, 24);
    for (size_t i = 0; i < length; ++i) s.push_back(static_cast<char>(input.ConsumeIntegralInRange<uint8_t>(1, 255)));
  }
  for (std::wstring& s : pools.wide) {
    size_t length = input.ConsumeIntegralInRange<size_t>(0, 24);
    for (size_t i = 0; i < length; ++i) s.push_back(wide_character(input));
  }
  for (int& v : pools.ints) v = input.ConsumeIntegral<int>();
  for (unsigned& v : pools.uints) v = input.ConsumeIntegral<unsigned>();
  for (unsigned long long& v : pools.longs) v = input.ConsumeIntegral<unsigned long long>();
  for (uintptr_t& v : pools.pointers) v = input.ConsumeIntegral<uintptr_t>();
  for (wint_t& v : pools.chars) v = static_cast<wint_t>(input.ConsumeBool() ? wide_character(input) : input.ConsumeIntegral<uint32_t>());
}

// ---- the model: %[-0][width][.precision|.*][h|l|ll|I](s|c|u|x|i|%) ----

struct pool_cursor {
  size_t narrow = 0, wide = 0, ints = 0, uints = 0, longs = 0, pointers = 0, chars = 0;
};

template <typename T, size_t N>
const T& take(const T (&pool)[N], size_t& next) {
  FUZZ_CHECK(next < N, "the model ran out of arguments (harness bug)");
  return pool[next++];
}

void pad(std::u32string& out, size_t count, char32_t c) { out.append(count, c); }

void put_justified(std::u32string& out, const std::u32string& body, int width, bool left, bool zero) {
  size_t fill = width > 0 && static_cast<size_t>(width) > body.size() ? static_cast<size_t>(width) - body.size() : 0;
  if (left) {
    out += body;
    pad(out, fill, U' ');
  } else if (zero) {
    size_t sign = !body.empty() && body[0] == U'-' ? 1 : 0;
    out += body.substr(0, sign);
    pad(out, fill, U'0');
    out += body.substr(sign);
  } else {
    pad(out, fill, U' ');
    out += body;
  }
}

std::u32string digits_of(unsigned long long value, unsigned base) {
  std::u32string reversed;
  do {
    reversed.push_back(static_cast<char32_t>("0123456789abcdef"[value % base]));
    value /= base;
  } while (value);
  return {reversed.rbegin(), reversed.rend()};
}

template <typename Char>
std::u32string expand(const Char* format, bool wide_format, const argument_pools& pools) {
  std::u32string out;
  pool_cursor next;
  auto code = [](Char c) { return sizeof(Char) == 1 ? static_cast<char32_t>(static_cast<unsigned char>(c)) : static_cast<char32_t>(c); };
  for (const Char* at = format; *at; ++at) {
    if (*at != '%') {
      out.push_back(code(*at));
      continue;
    }
    ++at;
    bool left = false, zero = false;
    for (; *at == '-' || *at == '0'; ++at) (*at == '-' ? left : zero) = true;
    int width = 0;
    for (; *at >= '0' && *at <= '9'; ++at) width = width * 10 + (*at - '0');
    int precision = -1;
    if (*at == '.') {
      ++at;
      if (*at == '*') {
        precision = take(pools.ints, next.ints);
        ++at;
      } else {
        precision = 0;
        for (; *at >= '0' && *at <= '9'; ++at) precision = precision * 10 + (*at - '0');
      }
    }
    enum { plain, h, l, ll, pointer } size = plain;
    if (at[0] == 'l' && at[1] == 'l') size = ll, at += 2;
    else if (at[0] == 'l') size = l, ++at;
    else if (at[0] == 'h') size = h, ++at;
    else if (at[0] == 'I') size = pointer, ++at;
    switch (*at) {
      case '%': out.push_back(U'%'); break;
      case 's': {
        std::u32string body;
        size_t limit = precision < 0 ? SIZE_MAX : static_cast<size_t>(precision);
        if (size == l || (wide_format && size != h)) {
          const std::wstring& text = take(pools.wide, next.wide);
          for (size_t i = 0; i < text.size() && i < limit; ++i) body.push_back(static_cast<char32_t>(static_cast<uint32_t>(text[i])));
        } else {
          const std::string& text = take(pools.narrow, next.narrow);
          for (size_t i = 0; i < text.size() && i < limit; ++i) body.push_back(static_cast<unsigned char>(text[i]));
        }
        put_justified(out, body, width, left, false);
        break;
      }
      case 'c': {
        FUZZ_CHECK(size == l, "the model only knows %lc (harness bug)");
        put_justified(out, std::u32string(1, static_cast<char32_t>(take(pools.chars, next.chars))), width, left, false);
        break;
      }
      case 'u': case 'x': {
        FUZZ_CHECK(precision < 0, "the model has no integer precision (harness bug)");
        unsigned long long value = size == plain ? take(pools.uints, next.uints)
                                   : size == ll  ? take(pools.longs, next.longs)
                                   : size == pointer ? take(pools.pointers, next.pointers)
                                   : (fuzz_fail(__FILE__, __LINE__, "unmodelled integer size (harness bug)"), 0);
        put_justified(out, digits_of(value, *at == 'x' ? 16 : 10), width, left, zero);
        break;
      }
      case 'i': {
        FUZZ_CHECK(size == plain && precision < 0, "the model only knows plain %i (harness bug)");
        long long value = take(pools.ints, next.ints);
        std::u32string body = value < 0 ? U"-" : U"";
        body += digits_of(value < 0 ? 0ull - static_cast<unsigned long long>(value) : static_cast<unsigned long long>(value), 10);
        put_justified(out, body, width, left, zero);
        break;
      }
      default: fuzz_fail(__FILE__, __LINE__, "unmodelled conversion (harness bug)");
    }
  }
  return out;
}

// ---- the calls ----

int through_va_list(char* buffer, uint64_t capacity, const char* format, ...) {
  va_list args;
  va_start(args, format);
  int result = vformat_text(buffer, capacity, format, args);
  va_end(args);
  return result;
}

template <typename... Args>
int narrow_call(bool use_va_list, char* buffer, uint64_t capacity, const char* format, Args... args) {
  return use_va_list ? through_va_list(buffer, capacity, format, args...) : format_text(buffer, capacity, format, args...);
}

constexpr int narrow_format_count = 13;
constexpr int wide_format_count = 9;

const char* narrow_format(int choice) {
  switch (choice) {
    case 0: return "%ls";
    case 1: return nested_namespace_open;
    case 2: return nested_namespace_close;
    case 3: return array_open;
    case 4: return array_close;
    case 5: return array_declarations;
    case 6: return sort_call;
    case 7: return entry_format;
    case 8: return declaration_format;
    case 9: return data_open;
    case 10: return data_close;
    case 11: return record_format;
    default: return sort_open;
  }
}

int call_narrow(int choice, bool use_va_list, char* buffer, uint64_t capacity, const argument_pools& a) {
  auto s = [&](int i) { return a.narrow[i].c_str(); };
  const char* format = narrow_format(choice);
  switch (choice) {
    case 0: return narrow_call(use_va_list, buffer, capacity, format, a.wide[0].c_str());
    case 1: case 7: return narrow_call(use_va_list, buffer, capacity, format, s(0), s(1), s(2), s(3));
    case 2: return narrow_call(use_va_list, buffer, capacity, format, s(0));
    case 8: return narrow_call(use_va_list, buffer, capacity, format, s(0), s(1));
    case 9: return narrow_call(use_va_list, buffer, capacity, format, s(0), a.longs[0]);
    case 11: {
      const unsigned* u = a.uints;
      return narrow_call(use_va_list, buffer, capacity, format, s(0), s(1), s(2), s(3), s(4), s(5), s(6), s(7), s(8),
                         s(9), s(10), u[0], s(11), s(12), u[1], s(13), s(14), s(15), s(16), s(17), u[2], s(18), u[3],
                         s(19), u[4], s(20), s(21), s(22), s(23), u[5], s(24), s(25), s(26), s(27), s(28));
    }
    default:
      // The generated-text pieces get six strings, as the output set passes
      // them whatever the piece uses.
      return narrow_call(use_va_list, buffer, capacity, format, s(0), s(1), s(2), s(3), s(4), s(5));
  }
}

const wchar_t* wide_format(int choice) {
  switch (choice) {
    case 0: return open_message;
    case 1: return awe_head;
    case 2: return awe_body;
    case 3: return taken_message;
    case 4: return mark_message;
    case 5: return error_message;
    case 6: return two_texts;
    case 7: return label_message;
    default: return remaining_message;
  }
}

int call_wide(int choice, wchar_t* buffer, uint64_t capacity, const argument_pools& a) {
  const wchar_t* format = wide_format(choice);
  const wchar_t* w0 = a.wide[0].c_str();
  const wchar_t* w1 = a.wide[1].c_str();
  const uintptr_t* p = a.pointers;
  switch (choice) {
    case 0: return format_wide(buffer, capacity, format, w0);
    case 1: return format_wide(buffer, capacity, format, a.uints[0], p[0]);
    case 2: return format_wide(buffer, capacity, format, p[0], p[1], p[2], a.uints[0], p[3], a.uints[1], w0, a.uints[2], w1);
    case 3: return format_wide(buffer, capacity, format, w0, a.ints[0], a.narrow[0].c_str(), a.narrow[1].c_str());
    case 4: return format_wide(buffer, capacity, format, w0, a.chars[0]);
    case 5: return format_wide(buffer, capacity, format, a.ints[0]);
    case 6: return format_wide(buffer, capacity, format, w0, w1);
    case 7: return format_wide(buffer, capacity, format, a.narrow[0].c_str());
    default: return format_wide(buffer, capacity, format, a.longs[0]);
  }
}

// Capacities around the boundary are the interesting ones.
uint64_t choose_capacity(FuzzedDataProvider& input, size_t needed) {
  switch (input.ConsumeIntegralInRange<int>(0, 5)) {
    case 0: return needed;
    case 1: return needed - 1;
    case 2: return 0;
    case 3: return 1;
    case 4: return input.ConsumeIntegralInRange<uint64_t>(0, needed + 8);
    default: return needed + input.ConsumeIntegralInRange<uint64_t>(0, 64);
  }
}

template <typename Char>
void check_result(int result, const Char* buffer, uint64_t capacity, const std::u32string& expected, bool can_narrow) {
  bool fits = expected.size() + 1 <= capacity;
  if (!fits || !can_narrow) {
    FUZZ_CHECK(result == -1, !fits ? "text that does not fit must give -1" : "a character above U+00FF must give -1");
    if (capacity > 0) {
      bool terminated = false;
      for (uint64_t i = 0; i < capacity && !terminated; ++i) terminated = buffer[i] == 0;
      FUZZ_CHECK(terminated, "a failed call must leave a terminated text within the capacity");
    }
    return;
  }
  FUZZ_CHECK(result >= 0, "text that fits must not give -1");
  FUZZ_CHECK(static_cast<size_t>(result) == expected.size(), "result differs from the length of the expected text");
  for (size_t i = 0; i < expected.size(); ++i) {
    uint32_t got = sizeof(Char) == 1 ? static_cast<unsigned char>(buffer[i]) : static_cast<uint32_t>(buffer[i]);
    FUZZ_CHECK(got == static_cast<uint32_t>(expected[i]), "buffer differs from the expected text");
  }
  FUZZ_CHECK(buffer[expected.size()] == 0, "text is not followed by a NUL");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzedDataProvider input(data, size);
  bool wide = input.ConsumeBool();
  bool use_va_list = input.ConsumeBool();
  int choice = input.ConsumeIntegralInRange<int>(0, (wide ? wide_format_count : narrow_format_count) - 1);
  // Two bytes decide the capacity once the expected length is known, so
  // that it can sit on the boundary.
  uint8_t capacity_bytes[2] = {input.ConsumeIntegral<uint8_t>(), input.ConsumeIntegral<uint8_t>()};
  FuzzedDataProvider capacity_input(capacity_bytes, sizeof capacity_bytes);
  argument_pools pools;
  fill(pools, input);

  if (wide) {
    std::u32string expected = expand(wide_format(choice), true, pools);
    uint64_t capacity = choose_capacity(capacity_input, expected.size() + 1);
    std::unique_ptr<wchar_t[]> buffer(new wchar_t[capacity]);
    int result = call_wide(choice, buffer.get(), capacity, pools);
    check_result(result, buffer.get(), capacity, expected, true);
  } else {
    std::u32string expected = expand(narrow_format(choice), false, pools);
    bool can_narrow = true;
    for (char32_t c : expected) can_narrow = can_narrow && c <= 0xFF;
    uint64_t capacity = choose_capacity(capacity_input, expected.size() + 1);
    std::unique_ptr<char[]> buffer(new char[capacity]);
    int result = call_narrow(choice, use_va_list, buffer.get(), capacity, pools);
    check_result(result, buffer.get(), capacity, expected, can_narrow);
  }
  return 0;
}
