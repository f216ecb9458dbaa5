#!/usr/bin/env bash
# The example servers beside nginx tuned as in production, serving the same
# site on loopback under wrk: requests per second, processor time per
# request, and latency (p50, p99):
#   bench/serve_load.sh [tool build dir] [seconds per run (default 5)] [rounds (default 5)]
# The tool build dir holds vex_resource_builder-config.cmake (default
# build/release, a Release build of the tool). VEX_SERVE_LOAD_WORK names a
# directory to keep the site and the servers' build in between runs (it is
# made when missing); without it, a temporary one is removed at the end.
#
# The site has a 1 KB page, a 200 KB script and 10,000 pages of 1 KB
# (many/), each with a gzip copy beside it for nginx's gzip_static; the
# servers embed the same files with -x (HTTP_EXTRAS), built Release. nginx
# runs as production tunes it: worker_processes auto, sendfile, tcp_nopush,
# tcp_nodelay, gzip_static, no access log, open_file_cache (1,000 files,
# errors cached too) and keepalive_requests 100000. Each case runs wrk with
# 2 threads and 50 connections against every server in turn, for several
# rounds, so that all servers see the same noise of a shared machine; the
# table shows the medians of the rounds. The two "10,000 files" cases ask
# for every page of many/ in turn (a wrk script), so that finding the file
# counts, and nginx's cache of open files is too small to hold them.
#
# Processor time per request is the server's user and system time over the
# run, from /proc/<pid>/stat (all its threads; for nginx its master and all
# its workers), divided by the requests wrk made: unlike requests per
# second it does not depend on how much of the machine wrk takes; "of it
# sys" is the system's part (for large bodies, nearly all of it is the
# kernel copying and running TCP, the same calls for every server). The
# ratios to nginx are taken round by round, then their median. Every
# server's answers are checked first (bytes, coding), so that a fast wrong
# answer cannot pass.
#
# Before the load, each example server is started once more with a
# counting allocator preloaded (bench/counting_malloc.cpp) and asked for
# each case 200 times on one keep-alive connection: the table of
# allocations per request counts every malloc of the process (the HTTP
# library's, the server's and the kit's; the kit's alone is 0, as
# vex_planner_bench shows).
#
# VEX_SERVE_LOAD_CASES and VEX_SERVE_LOAD_SERVERS (extended regular
# expressions on the case and server names, e.g. '^200 KB' and
# 'nginx|beast') narrow a run to some of them.
#
# Installs nginx and wrk with apt-get when they are missing and this runs
# as root.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
root=$(dirname "$here")
tool_dir=$(realpath "${1:-$root/build/release}")
seconds=${2:-5}
rounds=${3:-5}

missing=()
command -v nginx > /dev/null 2>&1 || [ -x /usr/sbin/nginx ] || missing+=(nginx)
command -v wrk > /dev/null 2>&1 || missing+=(wrk)
command -v curl > /dev/null 2>&1 || missing+=(curl)
if [ ${#missing[@]} -gt 0 ]; then
  if [ "$(id -u)" = 0 ] && command -v apt-get > /dev/null; then
    echo "== installing: ${missing[*]}"
    apt-get -o DPkg::Lock::Timeout=600 update -qq
    DEBIAN_FRONTEND=noninteractive apt-get -o DPkg::Lock::Timeout=600 install -y -qq --no-install-recommends \
      "${missing[@]}" > /dev/null
  else
    echo "missing and not installable here: ${missing[*]}" >&2
    exit 1
  fi
fi
nginx=$(command -v nginx || echo /usr/sbin/nginx)

if [ -n "${VEX_SERVE_LOAD_WORK:-}" ]; then
  work=$(realpath -m "$VEX_SERVE_LOAD_WORK")
  mkdir -p "$work"
else
  work=$(mktemp -d "${TMPDIR:-/tmp}/vex_serve_load.XXXXXX")
fi
pids=()
cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2> /dev/null || true; done
  wait 2> /dev/null || true
  [ -n "${VEX_SERVE_LOAD_WORK:-}" ] || rm -rf "$work"
}
trap cleanup EXIT
chmod 755 "$work"

# The site: text that compresses about as real pages and scripts do.
if [ ! -f "$work/site/app.js.gz" ]; then
  rm -rf "$work/site"
  python3 - "$work/site" <<'PY'
import os, random, sys
site = sys.argv[1]
rng = random.Random(7)
words = ["".join(rng.choice("abcdefghijklmnopqrstuvwxyz") for _ in range(rng.randint(2, 10))) for _ in range(4000)]
def text(size):
    out = ""
    while len(out) < size:
        out += " ".join(rng.choice(words) for _ in range(rng.randint(4, 12))) + ";\n"
    return out[:size]
def page(title):
    start = "<!doctype html><title>%s</title><p>" % title
    return start + text(1024 - len(start) - 5) + "</p>\n"
os.makedirs(site)
with open(os.path.join(site, "page.html"), "w") as f:
    f.write(page("page"))
with open(os.path.join(site, "app.js"), "w") as f:
    f.write(text(200 * 1024))
for number in range(10000):
    folder = os.path.join(site, "many", "d%02d" % (number // 100))
    os.makedirs(folder, exist_ok=True)
    with open(os.path.join(folder, "p%05d.html" % number), "w") as f:
        f.write(page(number))
PY
  find "$work/site" -type f -exec gzip -9 -n -k {} +
  chmod -R a+rX "$work/site"
fi
(cd "$work/site/many" && find . -name '*.html' | sed 's|^\.|/many|' | sort) > "$work/many.paths"

echo "== building the example servers (Release) on the site: $(find "$work/site" -name '*.html' -o -name '*.js' | wc -l) files"
# The .gz copies are nginx's; the servers make their own variants.
mkdir -p "$work/embedded"
rsync -a --delete --exclude '*.gz' "$work/site/" "$work/embedded/" 2> /dev/null ||
  (rm -rf "$work/embedded" && cp -a "$work/site" "$work/embedded" && find "$work/embedded" -name '*.gz' -delete)
cmake -S "$root/examples/server" -B "$work/build" -G Ninja -DCMAKE_BUILD_TYPE=Release \
  -Dvex_resource_builder_DIR="$tool_dir" -DSITE_ROOT="$work/embedded" > /dev/null
VEX_RESOURCE_CACHE="$work/variant-cache" ninja -C "$work/build" -j2 > /dev/null

# A free port on loopback for nginx.
port=$(python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
mkdir -p "$work/nginx"
cat > "$work/nginx/nginx.conf" <<EOF
worker_processes auto;
pid $work/nginx/nginx.pid;
error_log $work/nginx/error.log error;
events { worker_connections 4096; }
http {
  access_log off;
  sendfile on;
  tcp_nopush on;
  tcp_nodelay on;
  keepalive_timeout 60;
  keepalive_requests 100000;
  open_file_cache max=1000 inactive=60s;
  open_file_cache_valid 60s;
  open_file_cache_min_uses 1;
  open_file_cache_errors on;
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
declare -A base pid_of
base[nginx]="http://127.0.0.1:$port"
pid_of[nginx]=$!
servers=(nginx)
for executable in "$work"/build/vex_example_server*; do
  [ -x "$executable" ] || continue
  name=$(basename "$executable")
  name=${name#vex_example_server}
  name=${name#_}
  name=${name:-httplib}
  grep -Eq "${VEX_SERVE_LOAD_SERVERS:-.}" <<< "$name" || continue
  "$executable" --quiet --port 0 > "$work/$name.address" &
  pids+=($!)
  pid_of[$name]=$!
  for _ in $(seq 100); do grep -q listening "$work/$name.address" 2> /dev/null && break; sleep 0.1; done
  base[$name]=$(sed -n 's|^listening on \(http://[^/]*\)/$|\1|p' "$work/$name.address")
  servers+=("$name")
done
for _ in $(seq 100); do curl -s -o /dev/null "${base[nginx]}/page.html" && break; sleep 0.1; done

# Every server gives every case's bytes, in the coding asked for.
for server in "${servers[@]}"; do
  for file in page.html app.js many/d42/p04242.html; do
    curl -sf -o "$work/identity" "${base[$server]}/$file"
    curl -sf -H 'Accept-Encoding: gzip' -D "$work/headers" -o "$work/gzip" "${base[$server]}/$file"
    if ! cmp -s "$work/identity" "$work/site/$file" || ! grep -qi '^content-encoding: gzip' "$work/headers" ||
       ! gzip -dc "$work/gzip" | cmp -s - "$work/site/$file"; then
      echo "!! $server answers $file wrongly" >&2
      exit 1
    fi
  done
done

# Allocations per request of every example server, with the counting
# allocator preloaded into a second instance of it.
g++ -shared -fPIC -O2 "$here/counting_malloc.cpp" -o "$work/counting_malloc.so"
cat > "$work/count_allocations.py" <<'PY'
import os, signal, socket, sys, time
pid, port, count_file = int(sys.argv[1]), int(sys.argv[2]), sys.argv[3]
def counted():
    before = open(count_file).read().count("\n") if os.path.exists(count_file) else 0
    os.kill(pid, signal.SIGUSR1)
    for _ in range(200):
        lines = open(count_file).read().split() if os.path.exists(count_file) else []
        if len(lines) > before:
            return int(lines[-1])
        time.sleep(0.01)
    raise SystemExit("no count from the server")
def ask(connection, path, coding):
    extra = "Accept-Encoding: gzip\r\n" if coding == "gzip" else ""
    connection.sendall(("GET %s HTTP/1.1\r\nHost: x\r\n%s\r\n" % (path, extra)).encode())
    data = b""
    while b"\r\n\r\n" not in data:
        data += connection.recv(65536)
    head, body = data.split(b"\r\n\r\n", 1)
    length = int([l.split(b":")[1] for l in head.split(b"\r\n") if l.lower().startswith(b"content-length:")][0])
    while len(body) < length:
        body += connection.recv(65536)
for case in sys.argv[4:]:
    path, coding = case.split("|")
    connection = socket.create_connection(("127.0.0.1", port))
    ask(connection, path, coding)
    start = counted()
    for _ in range(200):
        ask(connection, path, coding)
    print("%.2f" % ((counted() - start) / 200.0))
    connection.close()
PY
declare -A allocations
for server in "${servers[@]}"; do
  [ "$server" = nginx ] && continue
  executable="$work/build/vex_example_server"
  [ "$server" = httplib ] || executable="${executable}_$server"
  rm -f "$work/$server.counts"
  VEX_ALLOCATION_COUNT_FILE="$work/$server.counts" LD_PRELOAD="$work/counting_malloc.so" \
    "$executable" --quiet --port 0 > "$work/$server.counting" &
  counting=$!
  for _ in $(seq 100); do grep -q listening "$work/$server.counting" 2> /dev/null && break; sleep 0.1; done
  counting_port=$(sed -n 's|^listening on http://[^:]*:\([0-9]*\)/$|\1|p' "$work/$server.counting")
  allocations[$server]=$(python3 "$work/count_allocations.py" "$counting" "$counting_port" "$work/$server.counts" \
    "/page.html|identity" "/page.html|gzip" "/app.js|identity" "/app.js|gzip" "/many/d42/p04242.html|identity" \
    "/many/d42/p04242.html|gzip" | tr '\n' ' ')
  kill "$counting"
  wait "$counting" 2> /dev/null || true
done

# Every page of many/ in turn, from a different place for each thread.
cat > "$work/many.lua" <<EOF
local paths = {}
for line in io.lines("$work/many.paths") do paths[#paths + 1] = line end
local threads = 0
function setup(thread)
  thread:set("start", threads * 5003)
  threads = threads + 1
end
function init()
  next = start or 0
end
function request()
  next = next % #paths + 1
  return wrk.format(nil, paths[next])
end
EOF

# The processor time of a server so far, in clock ticks, and the system's
# part of it: every thread of its process, and of the processes it started
# (nginx's workers).
ticks() {
  local pid=$1 total=0 system=0 each fields
  for each in "$pid" $(pgrep -P "$pid" || true); do
    # utime and stime, the 14th and 15th fields after the command's ")".
    fields=($(sed 's/^.*) //' "/proc/$each/stat" | awk '{ print $12 + $13, $13 }'))
    total=$((total + fields[0]))
    system=$((system + fields[1]))
  done
  echo "$total $system"
}
hertz=$(getconf CLK_TCK)

cases=("1 KB|page.html|identity" "1 KB gzip|page.html|gzip" "200 KB|app.js|identity" "200 KB gzip|app.js|gzip"
       "10,000 files|many|identity" "10,000 files gzip|many|gzip")
chosen=()
for case in "${cases[@]}"; do grep -Eq "${VEX_SERVE_LOAD_CASES:-.}" <<< "${case%%|*}" && chosen+=("$case"); done
cases=("${chosen[@]}")
# run <server> <target> <coding>: "requests/s cpu-us-per-request p50-ms p99-ms system-us-per-request"
# of one wrk run
run() {
  local options=(-t2 -c50 -d"${seconds}s" --latency) out before after
  [ "$3" = gzip ] && options+=(-H 'Accept-Encoding: gzip')
  local url="${base[$1]}/$2"
  [ "$2" = many ] && options+=(-s "$work/many.lua") && url="${base[$1]}/"
  before=($(ticks "${pid_of[$1]}"))
  out=$(wrk "${options[@]}" "$url")
  after=($(ticks "${pid_of[$1]}"))
  if grep -q 'Non-2xx\|Socket errors' <<< "$out"; then echo "!! $1 $2 $3: $(grep 'Non-2xx\|Socket errors' <<< "$out")" >&2; fi
  awk -v ticks=$((after[0] - before[0])) -v sys_ticks=$((after[1] - before[1])) -v hertz="$hertz" '
    function ms(v) { if (v ~ /us$/) return v / 1000; if (v ~ /ms$/) return v + 0; if (v ~ /s$/) return v * 1000; return v }
    /requests in/ { requests = $1 }
    /Requests\/sec/ { rps = $2 }
    $1 == "50%" { p50 = ms($2) }
    $1 == "99%" { p99 = ms($2) }
    END { printf "%.0f %.2f %.3f %.3f %.2f\n", rps, requests ? ticks / hertz * 1e6 / requests : 0, p50, p99,
                requests ? sys_ticks / hertz * 1e6 / requests : 0 }' <<< "$out"
}

echo "== load before: $(cut -d' ' -f1-3 /proc/loadavg)"
declare -A results
for round in $(seq "$rounds"); do
  echo "== round $round of $rounds"
  for case in "${cases[@]}"; do
    IFS='|' read -r _ target coding <<< "$case"
    for server in "${servers[@]}"; do
      results["$case|$server"]+="$(run "$server" "$target" "$coding"),"
    done
  done
done
echo "== load after: $(cut -d' ' -f1-3 /proc/loadavg)"

middle() {  # the median of the numbers on standard input, one a line
  sort -g | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'
}
field() {  # field <1-5> <comma-separated "a b c d e" runs>: that figure of each run, one a line
  tr ',' '\n' <<< "$2" | awk -v f="$1" 'NF { print $f }'
}
median() { field "$1" "$2" | middle; }

echo
echo "allocations per request (every malloc of the server process, 200 requests on one connection)"
printf '%-11s %8s %10s %8s %12s %8s %12s\n' server "1 KB" "1 KB gzip" "200 KB" "200 KB gzip" "10,000" "10,000 gzip"
for server in "${!allocations[@]}"; do
  printf '%-11s' "$server"
  printf ' %8s %10s %8s %12s %8s %12s\n' ${allocations[$server]}
done

echo
# ratio <field> <server runs> <nginx runs>: the median over the rounds of
# the server's figure over nginx's in the same round, so that the load of
# the machine, which moves both alike, cancels.
ratio() {
  paste -d' ' <(field "$1" "$2") <(field "$1" "$3") | awk '$2 > 0 { print $1 / $2 }' | middle
}

echo "wrk -t2 -c50, ${seconds} s per run, median of $rounds rounds; x nginx = median over the rounds of the"
echo "server's figure / nginx's in the same round"
printf '%-18s %-11s %11s %8s %11s %8s %8s %8s %8s\n' case server requests/s "x nginx" "cpu us/req" "x nginx" \
  "of it sys" p50-ms p99-ms
for case in "${cases[@]}"; do
  name=${case%%|*}
  nginx_runs=${results["$case|nginx"]}
  for server in "${servers[@]}"; do
    runs=${results["$case|$server"]}
    printf '%-18s %-11s %11.0f %8.2f %11.2f %8.2f %8.2f %8.2f %8.2f\n' "$name" "$server" "$(median 1 "$runs")" \
      "$(ratio 1 "$runs" "$nginx_runs")" "$(median 2 "$runs")" "$(ratio 2 "$runs" "$nginx_runs")" \
      "$(median 5 "$runs")" "$(median 3 "$runs")" "$(median 4 "$runs")"
  done
done

echo
echo "every round: case|server  requests/s cpu-us p50-ms p99-ms sys-us, ..."
for case in "${cases[@]}"; do
  for server in "${servers[@]}"; do echo "${case%%|*}|$server  ${results["$case|$server"]}"; done
done
