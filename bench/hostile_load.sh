#!/usr/bin/env bash
# The example servers under attack, full sized, with the figures of the
# targets: framing disagreements in 100,000 fuzzed requests per server
# (10,000 in development mode), and during each attack (200 slowloris
# connections, 2,000 idle ones, a header flood from 200 connections, and
# descriptor exhaustion under a limit of 256) the p99 of ordinary
# requests, the server's RSS growth and its CPU use:
#   bench/hostile_load.sh [tool build dir] [fuzzed requests per server] [all|fuzz|attacks]
# The tool build dir holds vex_resource_builder-config.cmake (default
# build/release); the servers are built Release against it, embedding a
# small tree (a directory index, which the fuzzed requests are redirected
# to, and the style sheet of the ordinary requests), served live too with
# --dev-root. Traffic goes to loopback only; every loop is bounded.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
root=$(dirname "$here")
tool_dir=$(realpath "${1:-$root/build/release}")
fuzz=${2:-100000}
part=${3:-all}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

mkdir -p "$work/tree/docs"
printf '<p>docs</p>\n' > "$work/tree/docs/index.html"
printf 'p { margin: 0 }\n' > "$work/tree/style.css"
echo "== building the servers (Release) against $tool_dir"
cmake -S "$root/examples/server" -B "$work/servers" -G Ninja -DCMAKE_BUILD_TYPE=Release \
  -Dvex_resource_builder_DIR="$tool_dir" -DSITE_ROOT="$work/tree" > /dev/null
ninja -C "$work/servers" -j2 > /dev/null
c++ -std=c++20 -O2 -I"$root/include" -o "$work/framing_oracle" "$root/tests/server/framing_oracle.cpp"

echo "== load before: $(cat /proc/loadavg) on $(nproc) cores"
status=0
python3 "$here/hostile_figures.py" --oracle "$work/framing_oracle" --servers "$work/servers" \
  --tree "$work/tree" --fuzz "$fuzz" --part "$part" || status=$?
echo "== load after: $(cat /proc/loadavg)"
exit $status
