// POSIX entry point: the arguments arrive as bytes and are made wide here,
// once at start-up.
#include <cstring>
#include <vector>

#include "driver/run.h"
#include "platform/posix_text.h"

int main(int argc, char** argv) {
  std::vector<std::vector<wchar_t>> texts(static_cast<size_t>(argc));
  std::vector<wchar_t*> wide(static_cast<size_t>(argc) + 1, nullptr);
  for (int i = 0; i < argc; ++i) {
    size_t length = strlen(argv[i]);
    std::vector<wchar_t>& text = texts[static_cast<size_t>(i)];
    text.resize(length + 1);
    long long n = platform::utf8_to_wide(argv[i], length, text.data(), length);
    text[static_cast<size_t>(n < 0 ? 0 : n)] = 0;
    wide[static_cast<size_t>(i)] = text.data();
  }
  return run_builder(argc, wide.data());
}
