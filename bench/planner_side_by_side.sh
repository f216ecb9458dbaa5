#!/usr/bin/env bash
# The planner benchmark built against this tree's kit and against another
# commit's, run in turns in one session so that both see the same noise of
# a shared machine; prints the median and the fastest time of the rounds and
# the allocations per plan of every case (those only this tree's kit can
# plan without a figure for the other):
#   bench/planner_side_by_side.sh [git ref (default main)] [rounds (default 5)]
# Builds Release in build/planner-side-by-side (g++ or $CXX).
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
root=$(dirname "$here")
ref=${1:-main}
rounds=${2:-5}
build=$root/build/planner-side-by-side
baseline=$build/baseline-kit

rm -rf "$baseline"
mkdir -p "$baseline"
git -C "$root" archive "$ref" include | tar -x -C "$baseline"
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DVEX_BUILD_TESTS=OFF \
  -DVEX_BUILD_BENCHMARKS=ON -DVEX_PLANNER_BASELINE_INCLUDE="$baseline/include" > /dev/null
ninja -C "$build" -j2 vex_planner_bench vex_planner_bench_baseline > /dev/null

results=$build/results
rm -rf "$results"
mkdir -p "$results"
for round in $(seq "$rounds"); do
  for side in baseline current; do
    program=$build/bench/vex_planner_bench
    [ "$side" = baseline ] && program=${program}_baseline
    "$program" --benchmark_min_time=0.2 --benchmark_format=json > "$results/$side-$round.json"
  done
done

python3 - "$results" "$ref" <<'EOF'
import glob, json, os, statistics, sys
results, ref = sys.argv[1], sys.argv[2]
table = {}
for path in glob.glob(os.path.join(results, "*.json")):
    side = os.path.basename(path).split("-")[0]
    with open(path) as f:
        for run in json.load(f)["benchmarks"]:
            entry = table.setdefault(run["name"], {}).setdefault(side, {"ns": [], "allocations": None})
            entry["ns"].append(run["cpu_time"])
            entry["allocations"] = run.get("allocations_per_plan")
# The median of the rounds, and the fastest, which other work on the
# machine disturbs least.
print("%-40s %20s %20s %14s   %s" % ("case", ref + " ns (fastest)", "this ns (fastest)", "ratio (fastest)",
                                      "allocations per plan"))
def figures(entry):
    return statistics.median(entry["ns"]), min(entry["ns"])
for name in sorted(table):
    sides = table[name]
    new, new_min = figures(sides["current"])
    if "baseline" not in sides:
        print("%-40s %20s %11.1f (%6.1f) %14s   %s" % (name, "-", new, new_min, "-", sides["current"]["allocations"]))
        continue
    old, old_min = figures(sides["baseline"])
    print("%-40s %11.1f (%6.1f) %11.1f (%6.1f) %6.3f (%5.3f)   %s / %s" % (
        name, old, old_min, new, new_min, new / old, new_min / old_min, sides["baseline"]["allocations"],
        sides["current"]["allocations"]))
EOF
