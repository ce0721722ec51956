#!/bin/sh
# Runs the same benchmarks of two release builds in turn, ROUNDS times each, so both meet the same
# machine load, and prints per benchmark the best CPU time of each (the median where a benchmark
# reports only aggregates) and their ratio.
#   bench/compare.sh OLD_BUILD NEW_BUILD [ROUNDS] [BENCHMARK...]
# Example: bench/compare.sh ../old/build/bench build/bench 3 bench_view bench_loading
set -eu
old=$1 new=$2 rounds=${3:-3}
shift 2; [ $# -gt 0 ] && shift
[ $# -gt 0 ] || set -- bench_view bench_loading
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT
for b in "$@"; do
    for r in $(seq "$rounds"); do
        for side in old new; do
            dir=$old; [ $side = new ] && dir=$new
            "$dir/bench/$b" --benchmark_format=json >"$out/$b.$side.$r.json" 2>/dev/null || true
        done
    done
    python3 - "$b" "$out" "$rounds" <<'PY'
import json, sys
bench, out, rounds = sys.argv[1], sys.argv[2], int(sys.argv[3])
best = {"old": {}, "new": {}}
for side in best:
    for r in range(1, rounds + 1):
        try:
            runs = json.load(open(f"{out}/{bench}.{side}.{r}.json"))["benchmarks"]
        except (OSError, ValueError, KeyError):
            continue
        for run in runs:
            if run.get("run_type") == "aggregate" and run.get("aggregate_name") != "median":
                continue
            name = run["run_name"]
            t = run["cpu_time"]
            best[side][name] = min(t, best[side].get(name, t))
print(bench)
print(f"{'benchmark':55} {'old cpu':>12} {'new cpu':>12} {'new/old':>8}")
for name in best["old"]:
    if name in best["new"]:
        o, n = best["old"][name], best["new"][name]
        print(f"{name:55} {o:12.4g} {n:12.4g} {n / o:8.3f}")
PY
done
