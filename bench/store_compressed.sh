#!/usr/bin/env bash
# What -z (STORE_COMPRESSED) costs and saves on a real site, by default the
# Python documentation (Debian's python3-doc):
#   bench/store_compressed.sh [tool build dir] [site]
# The tool build dir (default build/release, a Release build) holds the tool
# and vex_resource_builder-config.cmake.
#
# 1. Cold runs (empty cache) of -x and of -z gzip, br and zstd on the site,
#    with 2 workers, side by side: two rounds, each running all four in
#    turn, so that they share the noise of a shared machine. Prints the
#    seconds, processor seconds and peak memory of each run, the summary
#    line of the last round, and the ratio of each -z to -x (best of two).
# 2. The Boost.Beast example server built (Release, DATA_FORM AUTO) with the
#    site inside: with HTTP_EXTRAS, as the servers are built by default, and
#    with STORE_COMPRESSED gzip, br and zstd; and once with the bundled
#    example site, whose few kilobytes leave the server's own code. Prints
#    each binary's size, stripped too, against the site's bytes, and what
#    the size report says the program holds for the files (in their coding,
#    and as they are). The builds share the cache of step 1.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
root=$(dirname "$here")
tool_dir=$(realpath "${1:-$root/build/release}")
site=$(realpath "${2:-/usr/share/doc/python3.11-dev/html}")
tool=$tool_dir/vex_resource_builder
[ -x "$tool" ] || { echo "no tool at $tool: build it (cmake -S . -B build/release -DCMAKE_BUILD_TYPE=Release)" >&2; exit 1; }
[ -d "$site" ] || { echo "no site at $site (Debian: apt-get install python3-doc)" >&2; exit 1; }

work=$(mktemp -d "${TMPDIR:-/tmp}/vex_store_compressed.XXXXXX")
trap 'rm -rf "$work"' EXIT
cd "$work"
# The files the tool embeds: symbolic links are followed.
site_bytes=$(find -L "$site" -type f -printf '%s\n' | awk '{s += $1} END {print s}')
echo "site: $site, $(find -L "$site" -type f | wc -l) files, $site_bytes bytes;" \
     "machine: $(nproc) cores, load $(cut -d' ' -f1-3 /proc/loadavg)"

ratio() { echo "scale=3; $1 / $2" | bc; }
run=0
declare -A best
# cold <label> <switches...>: one run with an empty cache of its own; keeps
# the best wall-clock time of each label.
cold() {
  local label=$1
  shift
  run=$((run + 1))
  mkdir -p "$work/out$run"
  local report seconds user system kilobytes
  report=$( { /usr/bin/time -f "%e %U %S %M" "$tool" "$@" -c "$work/cache$run" -j 2 -r "$work/out$run/report.json" \
              "$work/out$run/res.cpp" -d "$site" '*' > "$work/console$run"; } 2>&1 )
  read -r seconds user system kilobytes <<< "$report"
  printf "%-10s %8.1f s %8.1f s cpu %6d MB\n" "$label" "$seconds" "$(echo "$user + $system" | bc)" "$((kilobytes / 1024))"
  if [ -z "${best[$label]:-}" ] || [ "$(echo "$seconds < ${best[$label]}" | bc)" = 1 ]; then best[$label]=$seconds; fi
  grep -E '^-[xz]:' "$work/console$run" > "$work/summary-$label"
  cp "$work/out$run/report.json" "$work/report-$label.json"
}

echo
echo "== cold runs, -x and -z side by side (2 workers, -m object)"
for round in 1 2; do
  cold "-x" -m object -x
  for coding in gzip br zstd; do cold "-z $coding" -m object -z $coding; done
done
for label in "-x" "-z gzip" "-z br" "-z zstd"; do
  printf "%-10s best %6.1f s (%s of -x)  %s\n" "$label" "${best[$label]}" "$(ratio "${best[$label]}" "${best[-x]}")" \
         "$(cat "$work/summary-$label")"
done

# One cache for the builds, holding what every cold run made.
mkdir -p "$work/cache"
for cache in "$work"/cache[0-9]*; do cp -n "$cache"/*-* "$work/cache/" 2> /dev/null || true; done

echo
echo "== the Beast example server (Release) with the site inside"
printf "%-24s %12s %8s %12s %8s   %s\n" "storage" "binary" "/site" "stripped" "/site" "held for the files (size report)"
# server <label> <site> <cmake options...>
server() {
  local label=$1 tree=$2
  shift 2
  local build="$work/server-${label//[ ,]/-}"
  cmake -S "$root/examples/server" -B "$build" -G Ninja -Dvex_resource_builder_DIR="$tool_dir" \
        -DSITE_ROOT="$tree" "$@" > "$build.log" 2>&1
  VEX_RESOURCE_CACHE="$work/cache" ninja -C "$build" -j 2 vex_example_server_beast >> "$build.log" 2>&1 ||
    { tail -30 "$build.log" >&2; exit 1; }
  local binary="$build/vex_example_server_beast" size stripped held=""
  size=$(stat -c %s "$binary")
  strip -o "$build/stripped" "$binary"
  stripped=$(stat -c %s "$build/stripped")
  if [ -f "$work/report-$label.json" ]; then
    held=$(python3 - "$work/report-$label.json" <<'PY'
import json, sys
report = json.load(open(sys.argv[1]))
coded = sum(f["stored"] for f in report["files"] if f["coding"] != "identity")
plain = sum(f["stored"] for f in report["files"] if f["coding"] == "identity")
print("%d bytes: %d in its coding, %d as they are (with any variants)" % (coded + plain, coded, plain))
PY
)
  fi
  printf "%-24s %12d %8s %12d %8s   %s\n" "$label" "$size" "$(ratio "$size" "$site_bytes")" "$stripped" \
         "$(ratio "$stripped" "$site_bytes")" "$held"
}
server "-x" "$site"
for coding in gzip br zstd; do server "-z $coding" "$site" -DSTORE_COMPRESSED=$coding; done
server "example site, -z gzip" "$root/examples/site" -DSTORE_COMPRESSED=gzip
