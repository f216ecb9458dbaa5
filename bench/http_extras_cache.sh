#!/usr/bin/env bash
# The cost of -x, what its workers and its variant cache save, over a
# generated tree of about 64 MB (20 MB of text in 500 files, 44 MB of images
# in 44 files):
#   bench/http_extras_cache.sh [tool]
# tool defaults to build/release/vex_resource_builder (a Release build).
# Prints wall-clock seconds and peak memory (maximum resident set) of:
#   - runs without -x (first, and after one text file changed);
#   - cold -x runs (empty cache) with 1 and 2 workers, side by side, twice
#     each, alternating, and the ratio of the faster pairs;
#   - cold runs with 1 to 4 workers on the same tree, to show where it stops
#     scaling (the machine's cores), and on a tree of one large file, which
#     one worker compresses whatever the number of workers;
#   - a clean build (new target directory) with the cache of an earlier
#     build shared through -c, against a run without -x.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
root=$(dirname "$here")
tool=$(realpath "${1:-$root/build/release/vex_resource_builder}")

work=$(mktemp -d "${TMPDIR:-/tmp}/vex_extras_bench.XXXXXX")
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/site" "$work/big"

python3 - "$work/site" "$work/big" <<'PY'
import os, random, sys
site, big = sys.argv[1], sys.argv[2]
rng = random.Random(1)
words = ["".join(rng.choice("abcdefghijklmnopqrstuvwxyz") for _ in range(rng.randint(2, 9))) for _ in range(3000)]
for i in range(500):
    folder = os.path.join(site, "pages", "p%02d" % (i % 25))
    os.makedirs(folder, exist_ok=True)
    text = " ".join(rng.choice(words) for _ in range(7000))[:40000]
    with open(os.path.join(folder, "page%03d.%s" % (i, ("html", "css", "js", "json")[i % 4])), "w") as f:
        f.write(text)
os.makedirs(os.path.join(site, "img"), exist_ok=True)
for i in range(44):
    with open(os.path.join(site, "img", "photo%02d.jpg" % i), "wb") as f:
        f.write(rng.randbytes(1 << 20))
with open(os.path.join(big, "bundle.js"), "w") as f:
    f.write(" ".join(rng.choice(words) for _ in range(1000000))[:6000000])
PY
echo "tree: $(du -sm "$work/site" | cut -f1) MB, $(find "$work/site" -type f | wc -l) files; one-file tree: $(du -sm "$work/big" | cut -f1) MB"
echo "machine: $(nproc) cores"

run=0
# measure <label> <source dir> <arguments before the target...>: one run into
# a fresh directory; prints seconds and peak memory, and leaves the seconds
# in $seconds.
measure() {
  local label=$1 source=$2
  shift 2
  run=$((run + 1))
  mkdir -p "$work/out$run"
  local report
  report=$( { /usr/bin/time -f "%e %M" "$tool" -q "$@" "$work/out$run/res.cpp" -d "$source" '*' > /dev/null; } 2>&1 )
  seconds=${report% *}
  printf "%-46s %7.2f s %8d MB\n" "$label" "$seconds" "$(( ${report#* } / 1024 ))"
}
ratio() { echo "scale=2; $1 / $2" | bc; }

echo
echo "== without -x"
measure "first run" "$work/site"
plain=$seconds
echo "<!-- changed -->" >> "$work/site/pages/p00/page000.html"
measure "one file changed" "$work/site"

echo
echo "== cold -x (empty cache), 1 and 2 workers side by side"
best1=; best2=
for round in 1 2; do
  measure "-j 1, round $round" "$work/site" -x -c "$work/cache1_$round" -j 1
  [ -z "$best1" ] || [ "$(echo "$seconds < $best1" | bc)" = 1 ] && best1=$seconds
  measure "-j 2, round $round" "$work/site" -x -c "$work/cache2_$round" -j 2
  [ -z "$best2" ] || [ "$(echo "$seconds < $best2" | bc)" = 1 ] && best2=$seconds
done
echo "2 workers / 1 worker (best of each): $(ratio "$best2" "$best1")"

echo
echo "== cold -x with more workers than cores, and a tree of one large file"
for workers in 3 4; do measure "-j $workers" "$work/site" -x -c "$work/cache_j$workers" -j "$workers"; done
measure "one 6 MB file, -j 1" "$work/big" -x -c "$work/cache_big1" -j 1
measure "one 6 MB file, -j 2" "$work/big" -x -c "$work/cache_big2" -j 2

echo
echo "== a clean build with a shared cache (-c of an earlier build)"
measure "without -x" "$work/site"
plain=$seconds
measure "-x, shared warm cache" "$work/site" -x -c "$work/cache2_1"
echo "shared-cache run / run without -x: $(ratio "$seconds" "$plain")"
echo "cache: $(ls "$work/cache2_1" | wc -l) entries, $(du -sm "$work/cache2_1" | cut -f1) MB"
echo "generated: $(du -m "$work/out1/res.cpp" | cut -f1) MB without -x, $(du -m "$work/out$run/res.cpp" | cut -f1) MB with -x"
