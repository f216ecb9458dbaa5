#!/usr/bin/env bash
# How fast the size report's page (-r report.html) renders a large tree in
# headless Chromium:
#   bench/report_page.sh [tool] [files (default 15000)]
# tool defaults to build/release/vex_resource_builder. Writes a tree of that
# many files (bench/make_tree.py, 60 MB, a third of them images and fonts),
# runs the tool on it with -z gzip -r report.html, then loads the page from
# disk five times and prints, for each load, the time the page's own script
# took to lay out and draw the treemap and fill the tables (it measures
# itself up to a forced layout and leaves the figure in data-render-ms), and
# the seconds Chromium took to start, load the page and paint it into a
# screenshot, beside the same for an empty page. The machine is shared:
# compare within one run.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
root=$(dirname "$here")
tool=$(realpath "${1:-$root/build/release/vex_resource_builder}")
files=${2:-15000}
command -v chromium > /dev/null || { echo "needs chromium (Debian: apt-get install chromium)" >&2; exit 1; }

work=$(mktemp -d "${TMPDIR:-/tmp}/vex_report_page.XXXXXX")
trap 'rm -rf "$work"' EXIT
cd "$work"
python3 "$here/make_tree.py" "$work/site" 60 "$files"
"$tool" -q -z gzip -j 2 -r "$work/report.html" "$work/res.cpp" -d "$work/site" '*'
echo '<!DOCTYPE html><title>empty</title>' > "$work/empty.html"
echo "report: $(stat -c %s "$work/report.html") bytes for $(find "$work/site" -type f | wc -l) files;" \
     "machine: $(nproc) cores, load $(cut -d' ' -f1-3 /proc/loadavg)"

# load <page> <chromium options...>: Chromium's seconds to start, load the
# page and do what the options ask.
load() {
  local page=$1 start end
  shift
  rm -rf "$work/profile"
  start=$(date +%s.%N)
  chromium --headless --no-sandbox --disable-gpu --no-first-run --disable-background-networking \
           --disable-component-update --disable-sync --user-data-dir="$work/profile" --window-size=1280,1000 \
           "$@" "file://$page" > "$work/dom" 2> /dev/null
  end=$(date +%s.%N)
  echo "$end - $start" | bc
}
printf "%-6s %12s %22s %22s\n" "load" "script (ms)" "report, painted (s)" "empty, painted (s)"
for round in 1 2 3 4 5; do
  load "$work/report.html" --dump-dom > /dev/null
  script=$(grep -o 'data-render-ms="[0-9.]*"' "$work/dom" | grep -o '[0-9.]*')
  tiles=$(grep -o 'data-tiles="[0-9]*"' "$work/dom" | grep -o '[0-9]*')
  page=$(load "$work/report.html" --screenshot="$work/report.png")
  empty=$(load "$work/empty.html" --screenshot="$work/empty.png")
  printf "%-6s %12s %22.2f %22.2f   (%d boxes of files)\n" "$round" "$script" "$page" "$empty" "$tiles"
done
