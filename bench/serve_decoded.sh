#!/usr/bin/env bash
# Requests per second of the example servers answering clients that take
# no content coding, for one 200 KB page held as it is (HTTP_EXTRAS) and
# the same page held compressed only (STORE_COMPRESSED gzip, br and zstd),
# decoded while it is sent; measured with wrk on loopback:
#   bench/serve_decoded.sh [tool build dir] [seconds per run (default 5)] [rounds (default 3)]
# The tool build dir holds vex_resource_builder-config.cmake (default
# build/release, a Release build of the tool). SERVERS names the example
# servers to build and measure (default "beast httplib microhttpd").
#
# The page is the first 200 KiB of a page of the Python documentation
# (Debian's python3-doc) when it is installed, else generated text that
# compresses about as a page does. Each round runs wrk (2 threads, 50
# connections) against every server and every storage in turn, so that all
# see the same noise of a shared machine; the table shows the median of
# the rounds and the ratio to the page held as it is, and the server's own
# CPU time per request (user and system, from /proc), which the noise of a
# shared machine moves much less. Every answer is checked first (bytes,
# coding).
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
root=$(dirname "$here")
tool_dir=$(realpath "${1:-$root/build/release}")
seconds=${2:-5}
rounds=${3:-3}
servers=${SERVERS:-beast httplib microhttpd}
storages="stored gzip br zstd"

for command in wrk curl; do
  command -v $command > /dev/null 2>&1 || { echo "$command is missing (Debian: apt-get install $command)" >&2; exit 1; }
done

work=$(mktemp -d "${TMPDIR:-/tmp}/vex_serve_decoded.XXXXXX")
pids=()
cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2> /dev/null || true; done
  wait 2> /dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

mkdir -p "$work/site"
source_page=/usr/share/doc/python3.11-dev/html/library/re.html
if [ -f "$source_page" ]; then
  head -c 204800 "$source_page" > "$work/site/page.html"
else
  python3 - "$work/site/page.html" <<'PY'
import random, sys
rng = random.Random(7)
words = ["".join(rng.choice("abcdefghijklmnopqrstuvwxyz") for _ in range(rng.randint(2, 10))) for _ in range(4000)]
out = ""
while len(out) < 204800:
    out += "<p class=\"%s\">" % rng.choice(words) + " ".join(rng.choice(words) for _ in range(rng.randint(4, 12))) + "</p>\n"
open(sys.argv[1], "w").write(out[:204800])
PY
fi

declare -A executable
for storage in $storages; do
  option=()
  [ "$storage" != stored ] && option=(-DSTORE_COMPRESSED="$storage")
  echo "== building the example servers (Release), page held: $storage"
  # Quiet unless it fails: then what the build said, and its exit code.
  cmake -S "$root/examples/server" -B "$work/build-$storage" -G Ninja -DCMAKE_BUILD_TYPE=Release \
    -Dvex_resource_builder_DIR="$tool_dir" -DSITE_ROOT="$work/site" "${option[@]}" > "$work/build.log" 2>&1 ||
    { cat "$work/build.log" >&2; exit 1; }
  for server in $servers; do
    name=vex_example_server_$server
    [ "$server" = httplib ] && name=vex_example_server
    ninja -C "$work/build-$storage" "$name" > "$work/build.log" 2>&1 || { cat "$work/build.log" >&2; exit 1; }
    executable[$server,$storage]="$work/build-$storage/$name"
  done
done

declare -A base pid_of
for server in $servers; do
  for storage in $storages; do
    log="$work/$server-$storage.out"
    "${executable[$server,$storage]}" --quiet > "$log" 2> /dev/null &
    pids+=($!)
    pid_of[$server,$storage]=$!
    for _ in $(seq 1 100); do grep -q listening "$log" && break; sleep 0.1; done
    base[$server,$storage]=$(sed -n 's/^listening on \(.*\)$/\1/p' "$log")
    [ -n "${base[$server,$storage]}" ] || { echo "$server ($storage) did not start" >&2; exit 1; }
    url="${base[$server,$storage]}page.html"
    # Identity for a client that names no coding, the stored coding for one that takes it.
    curl -s "$url" | cmp -s - "$work/site/page.html" || { echo "$server ($storage): wrong identity bytes" >&2; exit 1; }
    if [ "$storage" != stored ]; then
      coding=$(curl -s -o /dev/null -w '%header{content-encoding}' -H "Accept-Encoding: $storage" "$url")
      [ "$coding" = "$storage" ] || { echo "$server ($storage): answered in '$coding'" >&2; exit 1; }
    fi
  done
done

# CPU time of a process so far, in clock ticks (user and system).
cpu_ticks() { awk '{print $14 + $15}' "/proc/$1/stat"; }
ticks_per_second=$(getconf CLK_TCK)

declare -A results cpu
for round in $(seq 1 "$rounds"); do
  echo "== round $round of $rounds"
  for server in $servers; do
    for storage in $storages; do
      before=$(cpu_ticks "${pid_of[$server,$storage]}")
      out=$(wrk -t2 -c50 -d"${seconds}s" "${base[$server,$storage]}page.html")
      after=$(cpu_ticks "${pid_of[$server,$storage]}")
      rate=$(echo "$out" | awk '/^Requests\/sec/ {print $2}')
      count=$(echo "$out" | awk '/requests in/ {print $1}')
      micros=$(awk -v t=$((after - before)) -v n="$count" -v h="$ticks_per_second" 'BEGIN {printf "%.1f", t * 1e6 / h / n}')
      results[$server,$storage]="${results[$server,$storage]:-} $rate"
      cpu[$server,$storage]="${cpu[$server,$storage]:-} $micros"
      printf '%-11s %-6s %10s req/s %8s us of server CPU a request\n' "$server" "$storage" "$rate" "$micros"
    done
  done
done

median() { tr ' ' '\n' | grep . | sort -g | awk '{v[NR] = $1} END {print v[int((NR + 1) / 2)]}'; }
echo
echo "median of $rounds rounds, ${seconds}s each, identity bytes of a 200 KB page"
printf '%-11s %-6s %10s %7s %12s %7s\n' server held req/s ratio "CPU us/req" ratio
for server in $servers; do
  stored=$(echo "${results[$server,stored]}" | median)
  stored_cpu=$(echo "${cpu[$server,stored]}" | median)
  for storage in $storages; do
    rate=$(echo "${results[$server,$storage]}" | median)
    micros=$(echo "${cpu[$server,$storage]}" | median)
    awk -v s="$server" -v h="$storage" -v r="$rate" -v b="$stored" -v c="$micros" -v d="$stored_cpu" \
      'BEGIN {printf "%-11s %-6s %10.0f %7.2f %12.1f %7.2f\n", s, h, r, r / b, c, d / c}'
  done
done
