// Fuzzes escape_literal on arbitrary bytes.
//
// Properties: the escaped body is printable ASCII, holds no trigraph, and a
// C++ compiler reading it between quotes gets exactly the input bytes back
// (checked with a decoder of the escapes below, which takes octal digits
// greedily as the language does); the result is its length, it is followed
// by a NUL, and -1 comes exactly when the capacity cannot hold body and NUL.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <cstring>
#include <memory>
#include <string>

#include "fuzz_check.h"
#include "generator/names/identifier.h"

namespace {

// The value of a string-literal body made of printable characters and the
// escapes \" \\ \? \' and \ooo (one to three octal digits, greedy).
std::string decode_literal(const char* body, size_t length) {
  std::string value;
  for (size_t i = 0; i < length; ++i) {
    char c = body[i];
    FUZZ_CHECK(c != '"', "an unescaped quote ends the literal early");
    if (c != '\\') {
      value.push_back(c);
      continue;
    }
    FUZZ_CHECK(i + 1 < length, "the body ends inside an escape");
    char next = body[++i];
    if (next == '"' || next == '\\' || next == '?' || next == '\'') {
      value.push_back(next);
    } else if (next >= '0' && next <= '7') {
      unsigned code = 0;
      size_t digits = 0;
      for (; digits < 3 && i < length && body[i] >= '0' && body[i] <= '7'; ++digits, ++i) code = code * 8 + unsigned(body[i] - '0');
      --i;
      FUZZ_CHECK(code <= 0xFF, "an octal escape exceeds a byte");
      value.push_back(static_cast<char>(code));
    } else {
      fuzz_fail(__FILE__, __LINE__, "an escape that is not expected in the body");
    }
  }
  return value;
}

size_t escaped_length(const std::string& bytes) {
  size_t n = 0;
  for (unsigned char c : bytes) n += c == '"' || c == '\\' || c == '?' ? 2 : c >= 0x20 && c < 0x7F ? 1 : 4;
  return n;
}

bool has_trigraph(const char* body, size_t length) {
  for (size_t i = 0; i + 2 < length; ++i)
    if (body[i] == '?' && body[i + 1] == '?' && std::strchr("=/'()!<>-", body[i + 2]) && body[i + 2] != 0) return true;
  return false;
}

// escape_literal into a buffer of exactly capacity bytes.
int64_t escape_into(const std::string& bytes, size_t capacity, std::unique_ptr<char[]>& out) {
  out.reset(new char[capacity]);
  return escape_literal(bytes.data(), bytes.size(), out.get(), capacity);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string bytes(reinterpret_cast<const char*>(data), size);
  size_t needed = escaped_length(bytes) + 1;

  std::unique_ptr<char[]> out;
  int64_t length = escape_into(bytes, needed + 16, out);
  FUZZ_CHECK(length >= 0, "a roomy buffer must not give -1");
  FUZZ_CHECK(static_cast<size_t>(length) + 1 == needed, "unexpected escaped length");
  FUZZ_CHECK(out[static_cast<size_t>(length)] == 0, "the body is not followed by a NUL");
  for (int64_t i = 0; i < length; ++i)
    FUZZ_CHECK(out[i] >= 0x20 && out[i] < 0x7F, "the body holds a byte that is not printable ASCII");
  FUZZ_CHECK(!has_trigraph(out.get(), static_cast<size_t>(length)), "a trigraph survives in the body");
  FUZZ_CHECK(decode_literal(out.get(), static_cast<size_t>(length)) == bytes, "the body does not decode to the input");
  std::string roomy(out.get(), static_cast<size_t>(length));

  FUZZ_CHECK(escape_into(bytes, needed - 1, out) == -1, "a buffer one byte short must give -1");
  FUZZ_CHECK(escape_into(bytes, 0, out) == -1, "an empty buffer must give -1");

  // Exactly enough room: body and NUL, nothing more.
  length = escape_into(bytes, needed, out);
  FUZZ_CHECK(length == static_cast<int64_t>(needed) - 1, "a buffer of exactly the needed size must be enough");
  FUZZ_CHECK(roomy == std::string(out.get(), static_cast<size_t>(length)) && out[static_cast<size_t>(length)] == 0,
             "the body differs with exactly enough room");
  return 0;
}
