#!/usr/bin/env bash
# Installs with apt-get, when this runs as root, what building the tool needs
# (compiler, CMake, Ninja, zlib, brotli, zstd, the xxHash header) and, with
# --tests, what its tests need too. Says nothing when all is there.
set -euo pipefail

need_packages=()
need() { command -v "$1" > /dev/null 2>&1 || need_packages+=("$2"); }
need g++ g++
need cmake cmake
need ninja ninja-build
# -x: zlib, brotli and zstd, and the xxHash header.
[ -f /usr/include/zlib.h ] || need_packages+=(zlib1g-dev)
[ -f /usr/include/brotli/encode.h ] || need_packages+=(libbrotli-dev)
[ -f /usr/include/zstd.h ] || need_packages+=(libzstd-dev)
[ -f /usr/include/xxhash.h ] || need_packages+=(libxxhash-dev)

if [ "${1:-}" = --tests ]; then
  need clang++ clang
  need python3 python3
  need ccache ccache
  [ -f /usr/include/gtest/gtest.h ] || need_packages+=(libgtest-dev)
  # zlib for the Windows build (Debian has no Windows brotli), and the
  # brotli command that decodes variants in the tests.
  [ -f /usr/x86_64-w64-mingw32/include/zlib.h ] || need_packages+=(libz-mingw-w64-dev)
  command -v brotli > /dev/null || need_packages+=(brotli)
  # zstd variants are decoded with Debian's python module, or the command.
  [ -d /usr/lib/python3/dist-packages/zstandard ] || need_packages+=(python3-zstandard)
  command -v zstd > /dev/null || need_packages+=(zstd)
  # The sanitizer and libFuzzer runtimes are only recommended by clang.
  clang_runtime="$(clang++ -print-resource-dir 2> /dev/null)/lib/linux/libclang_rt.fuzzer-x86_64.a"
  [ -f "$clang_runtime" ] || need_packages+=(libclang-rt-dev)
  need x86_64-w64-mingw32-g++-posix g++-mingw-w64-x86-64-posix
  [ -x /usr/lib/wine/wine64 ] || need_packages+=(wine64)
  # The packages: the .deb's dependencies (dpkg-shlibdeps, file), the
  # Meson example and the pkg-config file it reads.
  need dpkg-shlibdeps dpkg-dev
  need file file
  need meson meson
  need pkg-config pkg-config
  # The object form: the LLVM tools and linkers take every format apart and
  # link it, and an AArch64 program runs under qemu. vex_add_resources with
  # other toolchains: the AArch64 cross build, a distcc server, and clang-cl
  # with lld-link and llvm-lib for configuring Windows targets.
  need llvm-readobj llvm
  need llvm-lib llvm
  need ld64.lld-14 lld
  need lld-link lld
  need aarch64-linux-gnu-g++ g++-aarch64-linux-gnu
  need qemu-aarch64 qemu-user
  need distccd distcc
  # An object past 2 GiB links with an lld that places the large data
  # section (17 or later; Debian 12's lld is 14), faster than GNU ld; and
  # the unwritable-directory test runs the tool as another user when root.
  need ld.lld-19 lld-19
  need setpriv util-linux
  [ -x "$(dirname "$(readlink -f "$(command -v clang++)")")/clang-cl" ] || need_packages+=(clang-tools)
fi

[ ${#need_packages[@]} -eq 0 ] && exit 0
if [ "$(id -u)" = 0 ] && command -v apt-get > /dev/null; then
  echo "== installing: ${need_packages[*]}"
  apt-get update -qq
  DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "${need_packages[@]}" > /dev/null
else
  echo "== missing and not installable here: ${need_packages[*]}"
fi
