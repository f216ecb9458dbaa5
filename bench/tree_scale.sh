#!/usr/bin/env bash
# Whole-tool scale: a tree of 10,000 small files in 200 directories, against
# the floor of merely reading the same files. Prints medians of 5 runs.
# usage: bench/tree_scale.sh [tool]
set -euo pipefail
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
