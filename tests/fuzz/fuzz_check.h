#pragma once
// Property checks of the fuzz targets: a violated property prints what was
// expected and aborts, so that libFuzzer keeps the input as a crash.
#include <cstdio>
#include <cstdlib>

[[noreturn]] inline void fuzz_fail(const char* file, int line, const char* what) {
  std::fprintf(stderr, "\n*** property violated at %s:%d: %s\n", file, line, what);
  std::fflush(stderr);
  std::abort();
}

#define FUZZ_CHECK(condition, what)                                  \
  do {                                                               \
    if (!(condition)) fuzz_fail(__FILE__, __LINE__, (what));         \
  } while (0)
