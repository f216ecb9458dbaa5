#!/usr/bin/env bash
# Installs what the example server's tests use (curl, headless Chromium and
# the three HTTP libraries) with apt-get, when something is missing and
# this runs as root. Says nothing when everything is already there.
set -euo pipefail

missing=()
command -v curl > /dev/null 2>&1 || missing+=(curl)
command -v chromium > /dev/null 2>&1 || missing+=(chromium)
[ -f /usr/include/httplib.h ] || missing+=(libcpp-httplib-dev)
[ -f /usr/include/microhttpd.h ] || missing+=(libmicrohttpd-dev)
[ -f /usr/include/boost/beast.hpp ] || missing+=(libboost-dev)
command -v pkg-config > /dev/null 2>&1 || missing+=(pkg-config)
[ ${#missing[@]} -eq 0 ] && exit 0

if [ "$(id -u)" != 0 ] || ! command -v apt-get > /dev/null 2>&1; then
  echo "server tests: missing and not installable here: ${missing[*]}" >&2
  exit 0
fi

# Another apt-get may hold the dpkg lock for a while; wait for it.
apt_get() {
  local attempt
  for attempt in $(seq 1 60); do
    if DEBIAN_FRONTEND=noninteractive apt-get -o DPkg::Lock::Timeout=60 "$@"; then return 0; fi
    echo "server tests: apt-get $1 failed (attempt $attempt), retrying" >&2
    sleep 10
  done
  return 1
}
echo "== installing for the server tests: ${missing[*]}"
apt_get update -qq
apt_get install -y -qq --no-install-recommends "${missing[@]}" > /dev/null
