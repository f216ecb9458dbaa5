#!/usr/bin/env bash
# The cost of -x, what its workers and its variant cache save, over a
# generated tree of about 64 MB (20 MB of text in 500 files, 44 MB of images
# in 44 files):
#   bench/http_extras_cache.sh [tool]
# tool defaults to build/release/vex_resource_builder (a Release build).
# Prints wall-clock seconds, processor seconds (user + system, all threads)
# and peak memory (maximum resident set) of:
#   - cold -x runs (empty cache) with 1 and 2 workers, side by side, twice
#     each, alternating, and the ratio of the best of each;
#   - cold runs with 3 and 4 workers on the same tree, to show where it
#     stops scaling (the machine's cores), and on a tree of one large file,
#     which one worker compresses whatever the number of workers;
#   - a clean build (new target directory) with the cache of an earlier
#     build shared through -c, against a run without -x, three times each,
#     alternating, in the words form and in the incbin form (what CMake
#     picks for GCC and Clang).
# The machine is shared: compare runs of one invocation only.
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
echo "tree: $(du -sm "$work/site" | cut -f1) MB, $(find "$work/site" -type f | wc -l) files;" \
     "one-file tree: $(du -sm "$work/big" | cut -f1) MB; machine: $(nproc) cores, load $(cut -d' ' -f1-3 /proc/loadavg)"

run=0
# measure <label> <source dir> <arguments before the target...>: one run into
# a fresh directory; prints its seconds, processor seconds and peak memory,
# and leaves the two times in $seconds and $cpu.
measure() {
  local label=$1 source=$2
  shift 2
  run=$((run + 1))
  mkdir -p "$work/out$run"
  local report user system kilobytes
  report=$( { /usr/bin/time -f "%e %U %S %M" "$tool" "$@" "$work/out$run/res.cpp" -d "$source" '*' \
              > "$work/console$run"; } 2>&1 )
  read -r seconds user system kilobytes <<< "$report"
  cpu=$(echo "$user + $system" | bc)
  printf "%-40s %7.2f s %7.2f s cpu %6d MB\n" "$label" "$seconds" "$cpu" "$((kilobytes / 1024))"
}
ratio() { echo "scale=2; $1 / $2" | bc; }
summary() { grep -- '^-x:' "$work/console$run" | sed 's/^/    /'; }
smaller() { [ -z "$1" ] || [ "$(echo "$2 < $1" | bc)" = 1 ]; }

echo
echo "== cold -x (empty cache), 1 and 2 workers side by side"
best1=
best2=
for round in 1 2; do
  measure "-j 1, round $round" "$work/site" -x -c "$work/cache1_$round" -j 1
  if smaller "$best1" "$seconds"; then best1=$seconds; fi
  measure "-j 2, round $round" "$work/site" -x -c "$work/cache2_$round" -j 2
  if smaller "$best2" "$seconds"; then best2=$seconds; fi
  if [ "$round" = 1 ]; then summary; fi
done
echo "2 workers / 1 worker (best of each): $(ratio "$best2" "$best1")"

echo
echo "== cold -x with more workers than cores, and a tree of one large file"
for workers in 3 4; do measure "-j $workers" "$work/site" -x -c "$work/cache_j$workers" -j "$workers"; done
measure "one 6 MB file, -j 1" "$work/big" -x -c "$work/cache_big1" -j 1
measure "one 6 MB file, -j 2" "$work/big" -x -c "$work/cache_big2" -j 2

echo
echo "== a clean build with a shared cache (-c of an earlier build), three times each, alternating"
for form in words incbin; do
  plain_best=
  plain_cpu=
  shared_best=
  shared_cpu=
  for round in 1 2 3; do
    measure "$form, without -x" "$work/site" -m "$form"
    if smaller "$plain_best" "$seconds"; then plain_best=$seconds plain_cpu=$cpu; fi
    measure "$form, -x, shared warm cache" "$work/site" -m "$form" -x -c "$work/cache2_1"
    if smaller "$shared_best" "$seconds"; then shared_best=$seconds shared_cpu=$cpu; fi
  done
  echo "$form: shared-cache run / run without -x (best of each): $(ratio "$shared_best" "$plain_best") wall," \
       "$(ratio "$shared_cpu" "$plain_cpu") processor"
done
summary
echo "cache: $(ls "$work/cache2_1" | wc -l) entries, $(du -sm "$work/cache2_1" | cut -f1) MB"
