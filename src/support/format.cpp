#include "support/format.h"

#include <cstdarg>
#include <cstddef>
#include <cwchar>

namespace {

// A wide character passed through "..." arrives promoted (wint_t has 16 bits on Windows).
using promoted_wint = decltype(+wint_t{});

struct arguments {
  va_list list;
};

// Bounded narrow buffer: wide characters above U+00FF cannot be stored.
struct narrow_sink {
  char* at;
  char* end;  // last byte kept for the terminator
  bool put(uint32_t c) {
    if (c > 0xFF || at == end) return false;
    *at++ = static_cast<char>(c);
    return true;
  }
};

struct wide_sink {
  wchar_t* at;
  wchar_t* end;
  bool put(uint32_t c) {
    if (at == end) return false;
    *at++ = static_cast<wchar_t>(c);
    return true;
  }
};

// Console output is collected in a small buffer and written in pieces, so
// that a message of any length passes without allocation.
struct console_sink {
  explicit console_sink(platform::standard_stream to) : stream(to) {}
  platform::standard_stream stream;
  wchar_t buffer[1024];
  size_t used = 0;
  int count = 0;
  bool failed = false;
  bool put(uint32_t c) {
    if (used == sizeof buffer / sizeof *buffer) flush();
    buffer[used++] = static_cast<wchar_t>(c);
    ++count;
    return true;
  }
  void flush() {
    if (used && !platform::write_console(stream, buffer, used)) failed = true;
    used = 0;
  }
};

struct conversion {
  bool left = false, plus = false, blank = false, alternate = false, zero = false;
  int width = 0;
  int precision = -1;
  enum { size_int, size_char, size_short, size_long, size_long_long, size_pointer, size_32, size_64 } size = size_int;
  bool wide_flag = false, narrow_flag = false;  // l or h given
};

template <typename Sink>
bool pad(Sink& sink, int count, uint32_t c) {
  for (int i = 0; i < count; ++i)
    if (!sink.put(c)) return false;
  return true;
}

template <typename Sink, typename Char>
bool put_string(Sink& sink, const Char* text, const conversion& directive) {
  size_t length = 0;
  while ((directive.precision < 0 || length < static_cast<size_t>(directive.precision)) && text[length]) ++length;
  int fill = directive.width > static_cast<int>(length) ? directive.width - static_cast<int>(length) : 0;
  if (!directive.left && !pad(sink, fill, ' ')) return false;
  for (size_t i = 0; i < length; ++i) {
    uint32_t c = sizeof(Char) == 1 ? static_cast<unsigned char>(text[i]) : static_cast<uint32_t>(text[i]);
    if (!sink.put(c)) return false;
  }
  return directive.left ? pad(sink, fill, ' ') : true;
}

template <typename Sink>
bool put_integer(Sink& sink, uint64_t magnitude, bool negative, unsigned base, bool upper, const conversion& directive) {
  char digits[24];
  int n = 0;
  const char* alphabet = upper ? "0123456789ABCDEF" : "0123456789abcdef";
  while (magnitude) {
    digits[n++] = alphabet[magnitude % base];
    magnitude /= base;
  }
  int precision = directive.precision < 0 ? 1 : directive.precision;
  int zeros = precision > n ? precision - n : 0;
  char sign = negative ? '-' : directive.plus ? '+' : directive.blank ? ' ' : 0;
  const char* prefix = "";
  if (directive.alternate && base == 16 && n > 0) prefix = upper ? "0X" : "0x";
  if (directive.alternate && base == 8 && zeros == 0) prefix = "0";
  int prefix_length = prefix[0] ? (prefix[1] ? 2 : 1) : 0;
  int body = n + zeros + (sign ? 1 : 0) + prefix_length;
  int fill = directive.width > body ? directive.width - body : 0;
  bool zero_fill = directive.zero && !directive.left && directive.precision < 0;
  if (!directive.left && !zero_fill && !pad(sink, fill, ' ')) return false;
  if (sign && !sink.put(static_cast<uint32_t>(sign))) return false;
  for (int i = 0; i < prefix_length; ++i)
    if (!sink.put(static_cast<uint32_t>(prefix[i]))) return false;
  if (zero_fill && !pad(sink, fill, '0')) return false;
  if (!pad(sink, zeros, '0')) return false;
  while (n > 0)
    if (!sink.put(static_cast<uint32_t>(digits[--n]))) return false;
  return directive.left ? pad(sink, fill, ' ') : true;
}

int64_t signed_argument(arguments& args, const conversion& directive) {
  switch (directive.size) {
    case conversion::size_char: return static_cast<signed char>(va_arg(args.list, int));
    case conversion::size_short: return static_cast<short>(va_arg(args.list, int));
    case conversion::size_long: return va_arg(args.list, long);
    case conversion::size_long_long:
    case conversion::size_64: return va_arg(args.list, long long);
    case conversion::size_pointer: return va_arg(args.list, intptr_t);
    default: return va_arg(args.list, int);
  }
}

uint64_t unsigned_argument(arguments& args, const conversion& directive) {
  switch (directive.size) {
    case conversion::size_char: return static_cast<unsigned char>(va_arg(args.list, unsigned));
    case conversion::size_short: return static_cast<unsigned short>(va_arg(args.list, unsigned));
    case conversion::size_long: return va_arg(args.list, unsigned long);
    case conversion::size_long_long:
    case conversion::size_64: return va_arg(args.list, unsigned long long);
    case conversion::size_pointer: return va_arg(args.list, uintptr_t);
    default: return va_arg(args.list, unsigned);
  }
}

template <typename Char>
int read_number(const Char*& at, arguments& args) {
  if (*at == '*') {
    ++at;
    return va_arg(args.list, int);
  }
  int value = 0;
  while (*at >= '0' && *at <= '9') value = value * 10 + (*at++ - '0');
  return value;
}

// Reads the flags, width, precision and size prefix of a directive; at is
// left on its conversion character.
template <typename Char>
conversion read_directive(const Char*& at, arguments& args) {
  conversion directive;
  for (;; ++at) {
    if (*at == '-') directive.left = true;
    else if (*at == '+') directive.plus = true;
    else if (*at == ' ') directive.blank = true;
    else if (*at == '#') directive.alternate = true;
    else if (*at == '0') directive.zero = true;
    else break;
  }
  directive.width = read_number(at, args);
  if (directive.width < 0) {
    directive.left = true;
    directive.width = -directive.width;
  }
  if (*at == '.') {
    ++at;
    directive.precision = read_number(at, args);
  }
  switch (*at) {
    case 'h':
      directive.narrow_flag = true;
      directive.size = at[1] == 'h' ? (++at, conversion::size_char) : conversion::size_short;
      ++at;
      break;
    case 'l':
      directive.wide_flag = true;
      directive.size = at[1] == 'l' ? (++at, conversion::size_long_long) : conversion::size_long;
      ++at;
      break;
    case 'I':
      if (at[1] == '6' && at[2] == '4') directive.size = conversion::size_64, at += 3;
      else if (at[1] == '3' && at[2] == '2') directive.size = conversion::size_32, at += 3;
      else directive.size = conversion::size_pointer, ++at;
      break;
    case 'z': case 'j': case 't':
      directive.size = conversion::size_pointer;
      ++at;
      break;
    case 'L':
      directive.size = conversion::size_long_long;
      ++at;
      break;
    default:
      break;
  }
  return directive;
}

template <typename Sink>
bool put_character(Sink& sink, const conversion& directive, arguments& args, bool wide_format) {
  bool wide_char = directive.wide_flag || (wide_format && !directive.narrow_flag);
  uint32_t c = wide_char ? static_cast<uint32_t>(static_cast<wchar_t>(va_arg(args.list, promoted_wint)))
                         : static_cast<unsigned char>(va_arg(args.list, int));
  int fill = directive.width > 1 ? directive.width - 1 : 0;
  return (directive.left || pad(sink, fill, ' ')) && sink.put(c) && (!directive.left || pad(sink, fill, ' '));
}

template <typename Sink>
bool put_text_argument(Sink& sink, const conversion& directive, arguments& args, bool wide_format) {
  bool wide_text = directive.wide_flag || (wide_format && !directive.narrow_flag);
  if (wide_text) {
    const wchar_t* text = va_arg(args.list, const wchar_t*);
    return put_string(sink, text ? text : L"(null)", directive);
  }
  const char* text = va_arg(args.list, const char*);
  return put_string(sink, text ? text : "(null)", directive);
}

// Puts the argument of one directive; false when the sink refused a character.
template <typename Sink>
bool put_conversion(Sink& sink, uint32_t kind, const conversion& directive, arguments& args, bool wide_format) {
  switch (kind) {
    case 'd': case 'i': {
      int64_t value = signed_argument(args, directive);
      uint64_t magnitude = value < 0 ? 0 - static_cast<uint64_t>(value) : static_cast<uint64_t>(value);
      return put_integer(sink, magnitude, value < 0, 10, false, directive);
    }
    case 'u': return put_integer(sink, unsigned_argument(args, directive), false, 10, false, directive);
    case 'x': return put_integer(sink, unsigned_argument(args, directive), false, 16, false, directive);
    case 'X': return put_integer(sink, unsigned_argument(args, directive), false, 16, true, directive);
    case 'o': return put_integer(sink, unsigned_argument(args, directive), false, 8, false, directive);
    case 'p': {
      conversion pointer_directive = directive;
      pointer_directive.precision = 2 * static_cast<int>(sizeof(void*));
      return put_integer(sink, reinterpret_cast<uintptr_t>(va_arg(args.list, void*)), false, 16, true,
                         pointer_directive);
    }
    case 'c': return put_character(sink, directive, args, wide_format);
    case 's': return put_text_argument(sink, directive, args, wide_format);
    case '%': return sink.put('%');
    default: return sink.put(kind);
  }
}

// Formats into the sink; false when the sink refused a character.
template <typename Char, typename Sink>
bool format_into(Sink& sink, const Char* format, arguments& args) {
  constexpr bool wide_format = sizeof(Char) != 1;
  for (const Char* at = format; *at; ++at) {
    if (*at != '%') {
      uint32_t c = wide_format ? static_cast<uint32_t>(*at) : static_cast<unsigned char>(*at);
      if (!sink.put(c)) return false;
      continue;
    }
    ++at;
    conversion directive = read_directive(at, args);
    if (*at == 0) return true;  // a lone % at the end prints nothing
    if (!put_conversion(sink, static_cast<uint32_t>(*at), directive, args, wide_format)) return false;
  }
  return true;
}

}  // namespace

namespace {

// Formats into a bounded buffer (capacity characters, terminator included):
// the length, or -1 with the buffer emptied when the text does not fit.
template <typename Char, typename Sink>
int format_bounded(Char* buffer, uint64_t capacity, const Char* format, arguments& args) {
  if (!buffer || capacity == 0) return -1;
  Sink sink{buffer, buffer + capacity - 1};
  bool ok = format_into(sink, format, args);
  *sink.at = 0;
  if (!ok) {
    *buffer = 0;
    return -1;
  }
  return static_cast<int>(sink.at - buffer);
}

}  // namespace

int vformat_text(char* buffer, uint64_t capacity, const char* format, va_list list) {
  arguments args;
  va_copy(args.list, list);
  int result = format_bounded<char, narrow_sink>(buffer, capacity, format, args);
  va_end(args.list);
  return result;
}

int format_text(char* buffer, uint64_t capacity, const char* format, ...) {
  va_list list;
  va_start(list, format);
  int result = vformat_text(buffer, capacity, format, list);
  va_end(list);
  return result;
}

int format_wide(wchar_t* buffer, uint64_t capacity, const wchar_t* format, ...) {
  arguments args;
  va_start(args.list, format);
  int result = format_bounded<wchar_t, wide_sink>(buffer, capacity, format, args);
  va_end(args.list);
  return result;
}

namespace {

int print_to(platform::standard_stream stream, const wchar_t* format, arguments& args) {
  console_sink sink(stream);
  format_into(sink, format, args);
  sink.flush();
  return sink.failed ? -1 : sink.count;
}

}  // namespace

int out_printf(const wchar_t* format, ...) {
  arguments args;
  va_start(args.list, format);
  int count = print_to(platform::standard_stream::output, format, args);
  va_end(args.list);
  return count;
}

int err_printf(platform::standard_stream stream, const wchar_t* format, ...) {
  arguments args;
  va_start(args.list, format);
  int count = print_to(stream, format, args);
  va_end(args.list);
  return count;
}
