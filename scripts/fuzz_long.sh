#!/usr/bin/env bash
# Builds the libFuzzer targets of tests/fuzz with clang and runs each one for
# a long time (10 minutes by default), one after the other.
#
#   scripts/fuzz_long.sh [SECONDS] [TARGET...]
#
# SECONDS is the time per target; TARGET is any of format, identifier,
# escape, content_type, http_date (all of them by default). The build goes
# to build/fuzz (VEX_FUZZ_BUILD overrides it). Each target's corpus grows in
# build/fuzz/fuzz-corpus/<target> from run to run, starting from the seeds
# in tests/fuzz/corpus/<target>, which stay untouched; an input that breaks a
# property or crashes is written to build/fuzz/fuzz-artifacts/ and named at
# the end. To replay one: build/fuzz/tests/fuzz/vex_<target>_fuzzer FILE
# Exits non-zero when any target failed.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-600}
if [ $# -gt 0 ]; then shift; fi
targets=("$@")
if [ ${#targets[@]} -eq 0 ]; then
  targets=(format identifier escape content_type http_date request_path request_date byte_range planner)
fi
build=${VEX_FUZZ_BUILD:-build/fuzz}

cmake -S . -B "$build" -G Ninja -DCMAKE_CXX_COMPILER=clang++ -DVEX_BUILD_TESTS=ON -DVEX_BUILD_FUZZERS=ON > /dev/null
executables=()
for target in "${targets[@]}"; do executables+=("vex_${target}_fuzzer"); done
ninja -C "$build" -j "${VEX_JOBS:-2}" "${executables[@]}"

failed=()
for target in "${targets[@]}"; do
  corpus="$build/fuzz-corpus/$target"
  artifacts="$build/fuzz-artifacts"
  mkdir -p "$corpus" "$artifacts"
  echo
  echo "== $target: $seconds s"
  if ! "$build/tests/fuzz/vex_${target}_fuzzer" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
      -print_final_stats=1 -artifact_prefix="$artifacts/$target-" "$corpus" "tests/fuzz/corpus/$target"; then
    failed+=("$target")
  fi
done

echo
if [ ${#failed[@]} -gt 0 ]; then
  echo "== failed: ${failed[*]}; inputs in $build/fuzz-artifacts:"
  ls -1 "$build/fuzz-artifacts"
  exit 1
fi
echo "== all targets ran $seconds s without a failure"
