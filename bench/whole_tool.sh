#!/usr/bin/env bash
# The whole tool against `xxd -i` and against merely writing as many bytes:
#   bench/whole_tool.sh [tool] [runs] [baseline tool]
# tool defaults to build-release/vex_resource_builder (configure with
# -DCMAKE_BUILD_TYPE=Release -DVEX_BUILD_BENCHMARKS=ON); runs defaults to 5.
# With a baseline tool (another build, say of the main branch), the two are
# first measured side by side, their runs interleaved so that the machine's
# noise falls on both alike: processor time and wall-clock time of a large
# file and of a tree of many small files, in the words and incbin forms,
# and (with valgrind) the instructions of one run on a small tree.
# Prints median wall-clock seconds with a hot cache, the tool's peak memory
# for a tiny and a large input, and the cost of compiling the generated code
# with g++ and clang++ beside that of compiling `xxd -i` output.
# When the tool's output holds no data array (nothing embedded), the data
# array writer of the benchmarks (vex_data_array_text) stands in for it, and
# the figures say so.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
root=$(dirname "$here")
tool=$(realpath "${1:-$root/build-release/vex_resource_builder}")
runs=${2:-5}
baseline=${3:+$(realpath "$3")}
writer=$(dirname "$tool")/bench/vex_data_array_text
mib=1048576

for program in "$tool" /usr/bin/time xxd g++ clang++; do
  if ! command -v "$program" > /dev/null; then
    echo "missing: $program (for /usr/bin/time: apt-get install time)" >&2
    exit 1
  fi
done

work=$(mktemp -d "${TMPDIR:-/tmp}/vex_whole_tool.XXXXXX")
trap 'rm -rf "$work"' EXIT
mkdir "$work/in"

# make_input <name> <bytes>
make_input() { head -c "$2" /dev/urandom > "$work/in/$1"; }

has_data_array() { grep -q 'uint64_t ' "$1" 2> /dev/null; }

# generate <input name> <target .cpp>: the tool, or its stand-in.
stand_in=0
generate() {
  if [ "$stand_in" = 1 ]; then
    "$writer" "${1//./_}" "$work/in/$1" "$2"
  else
    "$tool" -q "$2" -d "$work/in" "$1" > /dev/null
  fi
}

# seconds <command...>: wall-clock seconds of one run.
seconds() {
  local start=$EPOCHREALTIME
  "$@" > /dev/null
  local end=$EPOCHREALTIME
  awk -v a="$start" -v b="$end" 'BEGIN { printf "%.4f\n", b - a }'
}

# median_seconds <command...>: one warm-up run, then the median of $runs runs.
median_seconds() {
  "$@" > /dev/null
  for ((i = 0; i < runs; ++i)); do seconds "$@"; done | sort -g |
    awk '{ v[NR] = $1 } END { printf "%.4f\n", NR % 2 ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'
}

ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f\n", (b > 0) ? a / b : 0 }'; }

# peak <command...>: "<seconds> <peak RSS in KiB>" from /usr/bin/time.
peak() {
  /usr/bin/time -f '%e %M' -o "$work/time.txt" "$@" > /dev/null 2>&1 || { echo "failed: $*" >&2; return 1; }
  tail -n 1 "$work/time.txt"
}

# cpu_and_wall <command...>: "<user+system seconds> <wall seconds>" of one run.
cpu_and_wall() {
  /usr/bin/time -f '%U %S %e' -o "$work/time.txt" "$@" > /dev/null 2>&1 || { echo "failed: $*" >&2; return 1; }
  awk '{ printf "%.3f %.3f\n", $1 + $2, $3 }' "$work/time.txt"
}

median_of() { sort -g | awk '{ v[NR] = $1 } END { printf "%.3f", NR % 2 ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }

# side_by_side <label> <tool arguments...>: the baseline and the tool, one
# run of each in turn, $runs times after a warm-up; medians of both figures.
side_by_side() {
  local label=$1; shift
  local old_cpu=() old_wall=() new_cpu=() new_wall=() cpu wall
  "$baseline" "$@" > /dev/null 2>&1; "$tool" "$@" > /dev/null 2>&1
  for ((i = 0; i < runs; ++i)); do
    read -r cpu wall < <(cpu_and_wall "$baseline" "$@"); old_cpu+=("$cpu"); old_wall+=("$wall")
    read -r cpu wall < <(cpu_and_wall "$tool" "$@"); new_cpu+=("$cpu"); new_wall+=("$wall")
  done
  printf '%-30s %9s %9s %9s %9s\n' "$label" \
    "$(printf '%s\n' "${old_cpu[@]}" | median_of)" "$(printf '%s\n' "${new_cpu[@]}" | median_of)" \
    "$(printf '%s\n' "${old_wall[@]}" | median_of)" "$(printf '%s\n' "${new_wall[@]}" | median_of)"
}

# instructions <tool> <arguments...>: instructions of one run under callgrind.
instructions() {
  valgrind --tool=callgrind --callgrind-out-file="$work/callgrind.out" "$@" > /dev/null 2> "$work/callgrind.txt"
  awk '/Collected/ { print $4 }' "$work/callgrind.txt"
}

if [ -n "$baseline" ]; then
  echo "== side by side: $baseline (baseline) and $tool, medians of $runs interleaved runs"
  make_input large.bin $((64 * mib))
  mkdir "$work/tree"
  for ((d = 0; d < 20; ++d)); do
    mkdir "$work/tree/d$d"
    for ((f = 0; f < 100; ++f)); do head -c $((RANDOM % 4096 + 1)) /dev/urandom > "$work/tree/d$d/f$f.txt"; done
  done
  printf '%-30s %9s %9s %9s %9s\n' "" "cpu base" "cpu new" "wall base" "wall new"
  for form in words incbin; do
    side_by_side "64 MiB file, $form" -q -m "$form" "$work/side.cpp" -d "$work/in" large.bin
    side_by_side "2000 small files, $form" -q -m "$form" "$work/side.cpp" -d "$work/tree" "*"
  done
  if command -v valgrind > /dev/null; then
    for form in words incbin; do
      old_i=$(instructions "$baseline" -q -m "$form" "$work/side.cpp" -d "$work/tree" d0 d1)
      new_i=$(instructions "$tool" -q -m "$form" "$work/side.cpp" -d "$work/tree" d0 d1)
      printf '%-30s %14s %14s  (instructions, 200 small files)\n' "callgrind, $form" "$old_i" "$new_i"
    done
  fi
  rm -rf "$work/tree" "$work/in/large.bin" "$work"/side.*
  echo
fi

make_input probe.bin 1024
"$tool" -q "$work/probe.cpp" -d "$work/in" probe.bin > /dev/null || true
if ! has_data_array "$work/probe.cpp"; then
  if [ ! -x "$writer" ]; then
    echo "the tool embedded nothing and $writer is not built (-DVEX_BUILD_BENCHMARKS=ON)" >&2
    exit 1
  fi
  stand_in=1
  echo "!! the tool's output holds no data array: vex_data_array_text stands in for the tool below"
fi
subject=$([ "$stand_in" = 1 ] && echo "data array writer" || echo "tool")

echo
echo "== 64 MiB random file, hot cache, median of $runs runs"
make_input random.bin $((64 * mib))
cat "$work/in/random.bin" > /dev/null
generate random.bin "$work/res.cpp"
out_bytes=$(stat -c %s "$work/res.cpp")
tool_s=$(median_seconds generate random.bin "$work/res.cpp")
xxd_s=$(median_seconds sh -c "xxd -i '$work/in/random.bin' > '$work/xxd.txt'")
write_s=$(median_seconds sh -c "head -c $out_bytes /dev/zero > '$work/zero.bin'")
xxd_bytes=$(stat -c %s "$work/xxd.txt")
printf '%-32s %8s s  (%d bytes out)\n' "$subject" "$tool_s" "$out_bytes"
printf '%-32s %8s s  (%d bytes out)\n' "xxd -i" "$xxd_s" "$xxd_bytes"
printf '%-32s %8s s\n' "writing $out_bytes bytes" "$write_s"
printf '%-32s %8s\n' "$subject / xxd -i" "$(ratio "$tool_s" "$xxd_s")"
printf '%-32s %8s\n' "$subject / writing alone" "$(ratio "$tool_s" "$write_s")"
rm -f "$work/xxd.txt" "$work/zero.bin" "$work/res.cpp" "$work/res.h" "$work/in/random.bin"

echo
echo "== peak memory (maximum resident set size)"
make_input large.bin $((256 * mib))
for input in probe.bin large.bin; do
  size=$(stat -c %s "$work/in/$input")
  read -r s kib < <(peak "$tool" -q "$work/peak.cpp" -d "$work/in" "$input")
  printf '%-32s %8d KiB  %6s s\n' "tool, $size bytes" "$kib" "$s"
  if [ "$stand_in" = 1 ]; then
    read -r s kib < <(peak "$writer" data "$work/in/$input" "$work/peak.cpp")
    printf '%-32s %8d KiB  %6s s\n' "$subject, $size bytes" "$kib" "$s"
  fi
done
rm -f "$work/in/large.bin" "$work/peak.cpp" "$work/peak.h"

echo
echo "== compiling the generated code of an 8 MiB random file (-O2 -c)"
make_input random8.bin $((8 * mib))
generate random8.bin "$work/res.cpp"
if [ "$stand_in" = 1 ]; then
  printf '#include <cstdint>\nnamespace vex_res_data\n{\n#include "res.cpp"\n}\n' > "$work/generated.cpp"
else
  printf '#pragma once\n#include "vex_resource_builder/vex_resource.h"\n#include "res.h"\n' > "$work/pch.h"
  cp "$work/res.cpp" "$work/generated.cpp"
fi
(cd "$work/in" && xxd -i random8.bin) > "$work/xxd.cpp"
printf '%-10s %-22s %8s %12s\n' compiler source seconds "peak KiB"
for compiler in g++ clang++; do
  read -r gen_s gen_kib < <(peak "$compiler" -std=c++20 -O2 -I "$root/include" -I "$work" -c "$work/generated.cpp" -o "$work/generated.o")
  read -r xxd_s xxd_kib < <(peak "$compiler" -std=c++20 -O2 -c "$work/xxd.cpp" -o "$work/xxd.o")
  printf '%-10s %-22s %8s %12d\n' "$compiler" "generated" "$gen_s" "$gen_kib"
  printf '%-10s %-22s %8s %12d\n' "$compiler" "xxd -i" "$xxd_s" "$xxd_kib"
  printf '%-10s %-22s %8s %12s\n' "$compiler" "generated / xxd -i" "$(ratio "$gen_s" "$xxd_s")" "$(ratio "$gen_kib" "$xxd_kib")"
done
