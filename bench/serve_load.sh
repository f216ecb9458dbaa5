#!/usr/bin/env bash
# Requests per second and latency of the example servers beside nginx
# serving the same site from disk, measured with wrk on loopback:
#   bench/serve_load.sh [tool build dir] [seconds per run (default 5)] [rounds (default 3)]
# The tool build dir holds vex_resource_builder-config.cmake (default
# build/release, a Release build of the tool).
#
# The site has a 1 KB page and a 200 KB script, each with a gzip copy
# beside it for nginx's gzip_static; the servers embed the same files with
# -x (HTTP_EXTRAS), built Release. nginx runs with a config of its own:
# loopback only, sendfile, gzip_static, no logs. Each case (1 KB and 200 KB,
# identity and gzip) runs wrk with 2 threads and 50 connections against
# every server in turn, for several rounds, so that all servers see the
# same noise of a shared machine; the table shows the median of the rounds
# and the ratio to nginx. Every server's answers are checked first (bytes,
# coding) so that a fast wrong answer cannot pass.
#
# Installs nginx and wrk with apt-get when they are missing and this runs
# as root.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
root=$(dirname "$here")
tool_dir=$(realpath "${1:-$root/build/release}")
seconds=${2:-5}
rounds=${3:-3}

missing=()
command -v nginx > /dev/null 2>&1 || [ -x /usr/sbin/nginx ] || missing+=(nginx)
command -v wrk > /dev/null 2>&1 || missing+=(wrk)
command -v curl > /dev/null 2>&1 || missing+=(curl)
if [ ${#missing[@]} -gt 0 ]; then
  if [ "$(id -u)" = 0 ] && command -v apt-get > /dev/null; then
    echo "== installing: ${missing[*]}"
    apt-get -o DPkg::Lock::Timeout=300 update -qq
    DEBIAN_FRONTEND=noninteractive apt-get -o DPkg::Lock::Timeout=300 install -y -qq --no-install-recommends \
      "${missing[@]}" > /dev/null
  else
    echo "missing and not installable here: ${missing[*]}" >&2
    exit 1
  fi
fi
nginx=$(command -v nginx || echo /usr/sbin/nginx)

work=$(mktemp -d "${TMPDIR:-/tmp}/vex_serve_load.XXXXXX")
pids=()
cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2> /dev/null || true; done
  wait 2> /dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT
chmod 755 "$work"

# The site: text that compresses about as real pages and scripts do.
python3 - "$work/site" <<'PY'
import os, random, sys
site = sys.argv[1]
os.makedirs(site)
rng = random.Random(7)
words = ["".join(rng.choice("abcdefghijklmnopqrstuvwxyz") for _ in range(rng.randint(2, 10))) for _ in range(4000)]
def text(size):
    out = ""
    while len(out) < size:
        out += " ".join(rng.choice(words) for _ in range(rng.randint(4, 12))) + ";\n"
    return out[:size]
with open(os.path.join(site, "page.html"), "w") as f:
    f.write("<!doctype html><title>page</title><p>" + text(1024 - 41) + "</p>\n")
with open(os.path.join(site, "app.js"), "w") as f:
    f.write(text(200 * 1024))
PY
gzip -9 -n -k "$work/site/page.html" "$work/site/app.js"
chmod -R a+rX "$work/site"

echo "== building the example servers (Release) on $(ls "$work/site" | tr '\n' ' ')"
cmake -S "$root/examples/server" -B "$work/build" -G Ninja -DCMAKE_BUILD_TYPE=Release \
  -Dvex_resource_builder_DIR="$tool_dir" -DSITE_ROOT="$work/site" > /dev/null
ninja -C "$work/build" > /dev/null

# A free port on loopback for nginx.
port=$(python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
mkdir -p "$work/nginx"
cat > "$work/nginx/nginx.conf" <<EOF
worker_processes auto;
pid $work/nginx/nginx.pid;
error_log $work/nginx/error.log error;
events { worker_connections 1024; }
http {
  access_log off;
  sendfile on;
  tcp_nopush on;
  tcp_nodelay on;
  keepalive_timeout 60;
  types { text/html html; application/javascript js; }
  client_body_temp_path $work/nginx/body;
  proxy_temp_path $work/nginx/proxy;
  fastcgi_temp_path $work/nginx/fastcgi;
  uwsgi_temp_path $work/nginx/uwsgi;
  scgi_temp_path $work/nginx/scgi;
  server {
    listen 127.0.0.1:$port;
    root $work/site;
    gzip_static on;
  }
}
EOF
"$nginx" -p "$work/nginx" -c "$work/nginx/nginx.conf" -g 'daemon off;' &
pids+=($!)

declare -A base
base[nginx]="http://127.0.0.1:$port"
servers=(nginx)
for name in httplib microhttpd beast; do
  executable="$work/build/vex_example_server"
  [ "$name" = httplib ] || executable="$executable"_$name
  if [ ! -x "$executable" ]; then
    echo "!! $name: not built (its library is missing)"
    continue
  fi
  "$executable" --quiet --port 0 > "$work/$name.address" &
  pids+=($!)
  for _ in $(seq 100); do grep -q listening "$work/$name.address" 2> /dev/null && break; sleep 0.1; done
  base[$name]=$(sed -n 's|^listening on \(http://[^/]*\)/$|\1|p' "$work/$name.address")
  servers+=("$name")
done
for _ in $(seq 100); do curl -s -o /dev/null "${base[nginx]}/page.html" && break; sleep 0.1; done

# Every server gives every case's bytes, in the coding asked for.
for server in "${servers[@]}"; do
  for file in page.html app.js; do
    curl -sf -o "$work/identity" "${base[$server]}/$file"
    curl -sf -H 'Accept-Encoding: gzip' -D "$work/headers" -o "$work/gzip" "${base[$server]}/$file"
    if ! cmp -s "$work/identity" "$work/site/$file" || ! grep -qi '^content-encoding: gzip' "$work/headers" ||
       ! gzip -dc "$work/gzip" | cmp -s - "$work/site/$file"; then
      echo "!! $server answers $file wrongly" >&2
      exit 1
    fi
  done
done

cases=("page.html identity" "page.html gzip" "app.js identity" "app.js gzip")
# run <server> <file> <coding>: "requests/s p50-ms p99-ms" of one wrk run
run() {
  local header=() out
  [ "$3" = gzip ] && header=(-H 'Accept-Encoding: gzip')
  out=$(wrk -t2 -c50 -d"${seconds}s" --latency "${header[@]}" "${base[$1]}/$2")
  if grep -q 'Non-2xx\|Socket errors' <<< "$out"; then echo "!! $1 $2 $3: $(grep 'Non-2xx\|Socket errors' <<< "$out")" >&2; fi
  awk '
    function ms(v) { if (v ~ /us$/) return v / 1000; if (v ~ /ms$/) return v + 0; if (v ~ /s$/) return v * 1000; return v }
    /Requests\/sec/ { rps = $2 }
    $1 == "50%" { p50 = ms($2) }
    $1 == "99%" { p99 = ms($2) }
    END { printf "%.0f %.2f %.2f\n", rps, p50, p99 }' <<< "$out"
}

declare -A results
for round in $(seq "$rounds"); do
  echo "== round $round of $rounds"
  for case in "${cases[@]}"; do
    for server in "${servers[@]}"; do
      results["$case|$server"]+="$(run "$server" $case),"
    done
  done
done

median() {  # median <field 1-3> <comma-separated "a b c" runs>
  tr ',' '\n' <<< "$2" | awk -v f="$1" 'NF { print $f }' | sort -g |
    awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'
}

echo
echo "wrk -t2 -c50, ${seconds} s per run, median of $rounds rounds; ratio = requests/s / nginx's"
printf '%-22s %-11s %12s %7s %9s %9s\n' case server requests/s ratio p50-ms p99-ms
for case in "${cases[@]}"; do
  nginx_rate=$(median 1 "${results["$case|nginx"]}")
  for server in "${servers[@]}"; do
    rate=$(median 1 "${results["$case|$server"]}")
    printf '%-22s %-11s %12.0f %7.2f %9.2f %9.2f\n' "$case" "$server" "$rate" \
      "$(echo "$rate / $nginx_rate" | bc -l)" "$(median 2 "${results["$case|$server"]}")" \
      "$(median 3 "${results["$case|$server"]}")"
  done
done
