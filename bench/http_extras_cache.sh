#!/usr/bin/env bash
# The cost of -x and what its variant cache saves, over a generated tree of
# about 64 MB (20 MB of text in 500 files, 44 MB of images in 44 files):
#   bench/http_extras_cache.sh [tool]
# tool defaults to build/release/vex_resource_builder (a Release build).
# Prints wall-clock seconds of a first run and of a second run after one
# text file changed, without -x and with -x (the first -x run starts with an
# empty cache).
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
root=$(dirname "$here")
tool=$(realpath "${1:-$root/build/release/vex_resource_builder}")

work=$(mktemp -d "${TMPDIR:-/tmp}/vex_extras_bench.XXXXXX")
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/site" "$work/plain" "$work/extras"

python3 - "$work/site" <<'PY'
import os, random, sys
site = sys.argv[1]
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
PY
echo "tree: $(du -sm "$work/site" | cut -f1) MB, $(find "$work/site" -type f | wc -l) files"

seconds() {  # seconds <command...>: wall-clock time of one run
  local start end
  start=$(date +%s.%N)
  "$@" > /dev/null
  end=$(date +%s.%N)
  echo "$end - $start" | bc
}
touch_one() { echo "<!-- changed $1 -->" >> "$work/site/pages/p00/page000.html"; }

echo "without -x, first run:          $(seconds "$tool" -q "$work/plain/res.cpp" -d "$work/site" '*') s"
touch_one 1
echo "without -x, one file changed:   $(seconds "$tool" -q "$work/plain/res.cpp" -d "$work/site" '*') s"
echo "with -x, first run (no cache):  $(seconds "$tool" -q -x "$work/extras/res.cpp" -d "$work/site" '*') s"
touch_one 2
echo "with -x, one file changed:      $(seconds "$tool" -q -x "$work/extras/res.cpp" -d "$work/site" '*') s"
echo "cache: $(ls "$work/extras/res.cache" | wc -l) entries, $(du -sm "$work/extras/res.cache" | cut -f1) MB"
echo "generated: $(du -m "$work/plain/res.cpp" | cut -f1) MB without -x, $(du -m "$work/extras/res.cpp" | cut -f1) MB with -x"
