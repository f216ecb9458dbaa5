#!/usr/bin/env bash
# Objects past 2 GiB: which linker takes which object, and how long it takes.
# The tree is sparse (files of zeros with one last byte), so the tool reads
# zeros and leaves holes in the object; the linkers write whole programs.
#   ELF x86-64, 4 GiB of data (.lrodata): GNU ld, lld 14 (expected to fail:
#     it does not know SHF_X86_64_LARGE) and lld 19, each program run.
#   ELF AArch64 at its limit (1,792 MiB): GNU ld, run under qemu when present.
#   COFF x86-64 at its limit (1,792 MiB): mingw-w64's GNU ld.
#   With an earlier tool (second argument, optional): COFF x86-64 at 2.2 GiB
#     and ELF AArch64 at 4.4 GiB, which the tool now refuses, to show the
#     links that fail there.
# Needs about 16 GiB of free disk at once; everything is removed at the end.
# usage: bench/large_object.sh [tool] [earlier tool]
set -uo pipefail
tool=$(realpath "${1:-build/release/vex_resource_builder}")
earlier=${2:+$(realpath "$2")}
repo=$(cd "$(dirname "$0")/.." && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
free=$(df --output=avail -B1 "$work" | tail -1)
if [ "$free" -lt $((16 << 30)) ]; then echo "less than 16 GiB free in $work: skipped"; exit 0; fi
echo "load: $(cut -d' ' -f1-3 /proc/loadavg)"

# make_site <dir> <MiB per file> <files>: sparse files ending in a letter.
make_site() {
  rm -rf "$1"; mkdir -p "$1"
  for i in $(seq 1 "$3"); do
    python3 - "$1/f$i.bin" "$2" "$i" <<'PY'
import sys
path, mib, i = sys.argv[1], int(sys.argv[2]), int(sys.argv[3])
with open(path, "wb") as f:
    f.truncate((mib << 20) - 1); f.seek((mib << 20) - 1); f.write(bytes([64 + i]))
PY
  done
}

cat > "$work/main.cpp" <<'CPP'
#include "pch.h"
#include <cstdio>
static int served;  // .bss, reached from the code past the data
int main() {
  vex_res::sort_all();
  for (size_t i = 0; i < vex_res::all_length; ++i) {
    const vex_resource* r = vex_res::all[i];
    std::printf("%s %c\n", r->path_root_a, r->data[r->size - 1]);
    ++served;
  }
  return served > 0 ? 0 : 1;
}
CPP

# generate <tool> <format> <MiB per file> <files>: res.cpp and its object in $work/out.
generate() {
  make_site "$work/site" "$3" "$4"
  rm -rf "$work/out"; mkdir -p "$work/out"
  local start end
  start=$(date +%s.%N)
  (cd "$work/out" && "$1" -q -m "object:$2" res.cpp -d ../site '*')
  echo "  tool: exit $?, $(echo "$(date +%s.%N) - $start" | bc) s, object $(du -h --apparent-size "$work"/out/res.data.o* | cut -f1)"
}

# link <label> <compiler...>: compiles and links the program, reports time and result.
link() {
  local label=$1; shift
  local start
  start=$(date +%s.%N)
  if "$@" -std=c++17 -O1 -I"$repo/include" -I"$repo/tests/consumer" -DVEX_GENERATED_HEADER="\"$work/out/res.h\"" \
       "$work/out/res.cpp" "$work/main.cpp" "$work"/out/res.data.o* -o "$work/prog" > "$work/link.log" 2>&1; then
    echo "  $label: linked in $(echo "$(date +%s.%N) - $start" | bc) s (compile of two small sources included)"
    return 0
  fi
  echo "  $label: FAILED after $(echo "$(date +%s.%N) - $start" | bc) s: $(grep -m1 -o 'relocation[^;]*\|error:.*' "$work/link.log")"
  return 1
}

echo "ELF x86-64, 4 x 1 GiB"
generate "$tool" elf-x86-64 1024 4
link "GNU ld" g++ && echo "  run: $("$work/prog" | tr '\n' ' ')"
rm -f "$work/prog"
link "lld 14" g++ -fuse-ld=lld && "$work/prog" > /dev/null
rm -f "$work/prog"
if [ -x /usr/lib/llvm-19/bin/ld.lld ]; then
  link "lld 19" g++ -fuse-ld=lld -B/usr/lib/llvm-19/bin && echo "  run: $("$work/prog" | tr '\n' ' ')"
  rm -f "$work/prog"
fi

if command -v aarch64-linux-gnu-g++ > /dev/null; then
  echo "ELF AArch64 at the limit, 2 x 896 MiB"
  generate "$tool" elf-arm64 896 2
  link "GNU ld (aarch64)" aarch64-linux-gnu-g++ && command -v qemu-aarch64 > /dev/null &&
    echo "  run: $(qemu-aarch64 -L /usr/aarch64-linux-gnu "$work/prog" | tr '\n' ' ')"
  rm -f "$work/prog"
  echo "  past the limit, 2 x 897 MiB:"
  generate "$tool" elf-arm64 897 2
fi

if command -v x86_64-w64-mingw32-g++-posix > /dev/null; then
  echo "COFF x86-64 at the limit, 2 x 896 MiB"
  generate "$tool" coff-x86-64 896 2
  link "mingw GNU ld" x86_64-w64-mingw32-g++-posix -static
  rm -f "$work/prog"
fi

if [ -n "$earlier" ]; then
  echo "the earlier tool, past the limits it did not check"
  if command -v x86_64-w64-mingw32-g++-posix > /dev/null; then
    echo "COFF x86-64, 2 x 1100 MiB"
    generate "$earlier" coff-x86-64 1100 2
    link "mingw GNU ld" x86_64-w64-mingw32-g++-posix -static
    rm -f "$work/prog"
  fi
  if command -v aarch64-linux-gnu-g++ > /dev/null; then
    echo "ELF AArch64, 4 x 1126 MiB"
    generate "$earlier" elf-arm64 1126 4
    link "GNU ld (aarch64)" aarch64-linux-gnu-g++
    rm -f "$work/prog"
  fi
fi
echo "load: $(cut -d' ' -f1-3 /proc/loadavg)"
