#!/usr/bin/env bash
# Builds and runs every test: the native build with g++ (unit and end-to-end
# tests, the generated code compiled with g++ and clang++), a clang++ build
# with warnings as errors, an AddressSanitizer + UndefinedBehaviorSanitizer
# build, and the Windows x86-64 build (mingw-w64) tested under wine.
# Installs what it needs with apt-get when it runs as root.
# VEX_REQUIRE_WINDOWS=1 makes a skipped Windows run a failure.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
jobs=${VEX_JOBS:-2}

bash "$root/scripts/install_packages.sh" --tests

# The example server's tests: curl, headless Chromium, the HTTP library.
bash "$root/tests/server/install_deps.sh"

step() { echo; echo "== $*"; }
build() {  # build <dir> <cmake options...>
  local dir=$1; shift
  cmake -S "$root" -B "$dir" -G Ninja "$@" > /dev/null
  ninja -C "$dir" -j "$jobs"
}

step "native build (g++, warnings as errors)"
build build/test-gcc -DCMAKE_BUILD_TYPE=Debug -DCMAKE_CXX_COMPILER=g++ -DVEX_WERROR=ON
ctest --test-dir build/test-gcc --output-on-failure

step "clang++ build (warnings as errors), with the fuzz targets run briefly"
build build/test-clang -DCMAKE_BUILD_TYPE=Debug -DCMAKE_CXX_COMPILER=clang++ -DVEX_WERROR=ON -DVEX_BUILD_FUZZERS=ON
ctest --test-dir build/test-clang --output-on-failure -R "unit_tests|fuzz_"

step "AddressSanitizer + UndefinedBehaviorSanitizer build"
build build/test-asan -DCMAKE_BUILD_TYPE=Debug -DCMAKE_CXX_COMPILER=clang++ -DVEX_SANITIZE=ON
ASAN_OPTIONS=detect_leaks=1 ctest --test-dir build/test-asan --output-on-failure

if command -v x86_64-w64-mingw32-g++-posix > /dev/null && [ -x /usr/lib/wine/wine64 ]; then
  step "Windows x86-64 build (mingw-w64), tested under wine"
  export WINEDEBUG=-all
  # A wine prefix of the test build's own: a shared one may hold a stuck
  # program of another run, which would make every start wait for it.
  export WINEPREFIX="$root/build/test-windows/wineprefix" WINEDLLOVERRIDES="mscoree,mshtml="
  build build/test-windows -DCMAKE_BUILD_TYPE=Release -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64-x86_64.cmake" \
    -DVEX_WERROR=ON -DVEX_NATIVE_TOOL="$root/build/test-gcc/vex_resource_builder"
  ctest --test-dir build/test-windows --output-on-failure
  windows=ran
else
  windows=skipped
  echo
  echo "!! Windows tests SKIPPED: mingw-w64 (g++-mingw-w64-x86-64-posix) or wine64 is not installed"
fi

echo
echo "== all tests passed (Windows tests: $windows)"
if [ "$windows" != ran ] && [ "${VEX_REQUIRE_WINDOWS:-0}" = 1 ]; then
  echo "!! the Windows tests were required"
  exit 1
fi
