#!/usr/bin/env bash
# Whole-tool scale.
#
#   bench/tree_scale.sh [tool]
#     A tree of 10,000 small files in 200 directories, against the floor of
#     merely reading the same files. Prints medians of 5 runs.
#
#   bench/tree_scale.sh run <files> <tool> [tool...]
#     A big site (bench/make_tree.py --site: files of 100 B to 2 KB, 50 to a
#     directory) in /dev/shm where it has room, so that the disk does not
#     set the pace: each tool's run with -m object and 100 shards, side by
#     side, with its wall and processor time and its peak memory.
#
#   bench/tree_scale.sh build <files> <shards> <build tree of the tool> [<shards> <build tree>...]
#     Fresh CMake builds (configure, then ninja -j2) of a consumer of a big
#     site of that many files (100 B to 20 KB, or to LARGEST bytes from the
#     environment), the object form, one build
#     per pair side by side: <shards> is AUTO, a number, or NONE (no SHARDS
#     keyword, for a tool without it). Prints the configure and build times
#     and the peak memory of the largest compile.
set -euo pipefail
repo=$(cd "$(dirname "$0")/.." && pwd)
load() { echo "load: $(cut -d' ' -f1-3 /proc/loadavg)"; }

scratch_for() {  # a directory for a tree of $1 files, in memory when it has room
  local base=/dev/shm
  if [ ! -d "$base" ] || [ "$(df --output=avail -B1 "$base" | tail -1)" -lt $(($1 * 4096 * 3)) ]; then base=${TMPDIR:-/tmp}; fi
  mktemp -d "$base/vex_scale_XXXXXX"
}

if [ "${1:-}" = run ]; then
  files=$2; shift 2
  work=$(scratch_for "$files")
  trap 'rm -rf "$work"' EXIT
  load
  start=$(date +%s.%N)
  python3 "$repo/bench/make_tree.py" --site "$files" "$work/site" 100 2000
  echo "tree written in $(echo "$(date +%s.%N) - $start" | bc) s"
  for tool in "$@"; do
    rm -rf "$work/out"; mkdir "$work/out"
    /usr/bin/time -f "%e s wall, %U s user, %S s system, %M KB peak" -o "$work/time" \
      "$(realpath "$tool")" -q -m object -s 100 "$work/out/res.cpp" -d "$work/site" '*' || echo "exit $?"
    records=$(grep -c '^\s*extern const vex_resource \w*;$' "$work/out/res.h" || true)
    echo "$tool: $records records; $(cat "$work/time")"
  done
  load
  exit 0
fi

if [ "${1:-}" = build ]; then
  files=$2; shift 2
  work=$(scratch_for "$files")
  trap 'rm -rf "$work"' EXIT
  load
  python3 "$repo/bench/make_tree.py" --site "$files" "$work/site" 100 "${LARGEST:-20000}"
  # Every compile, the link and the generator are measured: the launchers
  # note each one's peak memory, wall and processor time, so that the sum
  # that 2 idle cores would take can be told from a busy machine's wall time.
  for step in compiles links tool; do
    printf '#!/bin/sh\nexec /usr/bin/time -f "%%M %%e %%U %%S $*" -a -o "%s" "$@"\n' "$work/$step.log" > "$work/$step.sh"
    chmod +x "$work/$step.sh"
  done
  while [ $# -ge 2 ]; do
    shards=$1 tree=$(realpath "$2"); shift 2
    options="DATA_FORM;OBJECT"
    [ "$shards" != NONE ] && options="$options;SHARDS;$shards"
    rm -rf "$work/build" "$work"/*.log
    printf '#!/bin/sh\nexec "%s" "%s" "$@"\n' "$work/tool.sh" "$tree/vex_resource_builder" > "$work/tool"
    chmod +x "$work/tool"
    start=$(date +%s.%N)
    cmake -S "$repo/tests/cmake/consumer" -B "$work/build" -G Ninja -DCMAKE_BUILD_TYPE=Release \
      -DSITE_ROOT="$work/site" -Dvex_resource_builder_DIR="$tree" -DEXTRA_OPTIONS="$options" \
      -DCMAKE_CXX_COMPILER_LAUNCHER="$work/compiles.sh" -DCMAKE_CXX_LINKER_LAUNCHER="$work/links.sh" \
      -DVEX_RESOURCE_BUILDER_EXECUTABLE="$work/tool" > /dev/null
    configured=$(date +%s.%N)
    ninja -C "$work/build" -j2 > /dev/null
    built=$(date +%s.%N)
    biggest=$(sort -n "$work/compiles.log" | tail -1 | cut -d' ' -f1)
    cpu() { awk '{s += $3 + $4} END {printf "%.1f", s}' "$1"; }
    largest_cpu=$(awk '{c = $3 + $4; if (c > m) m = c} END {printf "%.1f", m}' "$work/compiles.log")
    echo "SHARDS $shards ($tree): configure $(echo "$configured - $start" | bc) s, build $(echo "$built - $configured" | bc) s wall"
    echo "  processor time: generator $(cpu "$work/tool.log") s; $(wc -l < "$work/compiles.log") compiles" \
         "$(cpu "$work/compiles.log") s (the largest $largest_cpu s, $((biggest / 1024)) MB); link $(cpu "$work/links.log") s"
    # On 2 idle cores: the generator, then the compiles two at a time (no
    # less than the largest), then the link.
    awk -v g="$(cpu "$work/tool.log")" -v c="$(cpu "$work/compiles.log")" -v m="$largest_cpu" -v l="$(cpu "$work/links.log")" \
      'BEGIN {p = c / 2 > m ? c / 2 : m; printf "  on 2 idle cores: about %.1f s\n", g + p + l}'
    "$work/build/list_resources" > /dev/null && echo "  the program finds every resource by its path"
  done
  load
  exit 0
fi

tool=$(realpath "${1:-build/release/vex_resource_builder}")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
python3 - "$work/tree" <<'PY'
import os, random, sys
root = sys.argv[1]
random.seed(1)
for d in range(200):
    path = os.path.join(root, "dir%03d" % (d // 20), "sub%03d" % d)
    os.makedirs(path, exist_ok=True)
    for f in range(50):
        with open(os.path.join(path, "file%02d.%s" % (f, random.choice(["html", "css", "js", "png", "svg"]))), "wb") as out:
            out.write(os.urandom(random.randint(100, 4000)))
PY
median() { sort -n | awk '{a[NR]=$1} END {print a[int((NR+1)/2)]}'; }
time_of() { local s e; s=$(date +%s.%N); "$@" > /dev/null; e=$(date +%s.%N); echo "$e - $s" | bc -l; }
cd "$work"
find tree -type f -exec cat {} + > /dev/null  # hot cache
tool_times=$(for i in 1 2 3 4 5; do time_of "$tool" -q out.cpp -d tree '*'; done | median)
read_times=$(for i in 1 2 3 4 5; do time_of sh -c 'find tree -type f -exec cat {} + > /dev/null'; done | median)
files=$(grep -c -E '^\s*const vex_resource \w+ =$' out.cpp)
printf 'files embedded: %s\n' "$files"
printf 'tool:  %.3f s  (%.0f files/s)\n' "$tool_times" "$(echo "$files / $tool_times" | bc -l)"
printf 'read floor (find -exec cat): %.3f s\n' "$read_times"
printf 'ratio tool / floor: %.2f\n' "$(echo "$tool_times / $read_times" | bc -l)"
