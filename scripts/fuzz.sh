#!/usr/bin/env bash
# Fuzzes every libFuzzer target under tests/fuzz, one after another, SECONDS each (default 60).
# Usage: scripts/fuzz.sh [SECONDS]        FUZZ_TARGETS="palm_convert markup_fitter" to pick targets
#
# Builds build/fuzz with clang, ASan and UBSan (holding the shared build lock for the build only),
# then runs each <target>_fuzzer under `nice -n 19` from a copy of its seed corpus, so that the
# inputs it finds never flood tests/fuzz/corpus/<target>/. A crash, leak or timeout is minimised
# and the minimised input copied to tests/fuzz/corpus/<target>/crash-minimised-<sha1>, where every
# build's corpus test replays it; the script then exits 1. One line per target (exec/s, cov, ft,
# corpus size, finding) goes to the terminal and to build/fuzz/fuzz-summary.txt.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/deps.sh
folium_install_deps

seconds=${1:-60}
build=build/fuzz
lock=/tmp/folium-build.lock
root=$PWD

# -O1 and no NDEBUG: fast enough to fuzz, with every check still in.
flock "$lock" env CC=clang CXX=clang++ cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DCMAKE_C_FLAGS_RELWITHDEBINFO="-O1 -g" -DCMAKE_CXX_FLAGS_RELWITHDEBINFO="-O1 -g" \
    -DFOLIUM_BUILD_FUZZERS=ON -DFOLIUM_SANITIZE=ON -DFOLIUM_BUILD_TESTS=ON >/dev/null
if [ -n "${FUZZ_TARGETS:-}" ]; then
    read -r -a targets <<<"$FUZZ_TARGETS"
else
    mapfile -t targets < <(cmake --build "$build" --target help | sed -n 's/^\.\.\. \(.*\)_fuzzer$/\1/p' | sort)
fi
[ ${#targets[@]} -gt 0 ] || { echo "fuzz.sh: no fuzz targets found" >&2; exit 2; }
flock "$lock" cmake --build "$build" -j "${FOLIUM_JOBS:-2}" --target "${targets[@]/%/_fuzzer}" >/dev/null

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export QT_QPA_PLATFORM=offscreen
export ASAN_OPTIONS=abort_on_error=0:detect_leaks=1
export LSAN_OPTIONS=suppressions=$root/tests/lsan.supp
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
summary=$build/fuzz-summary.txt
printf '%-20s %8s %7s %8s %8s  %s\n' target exec/s cov ft corpus finding | tee "$summary"
failed=0
for target in "${targets[@]}"; do
    fuzzer=$root/$build/tests/fuzz/${target}_fuzzer
    corpus=$work/$target
    found=$work/$target-found/
    mkdir -p "$corpus" "$found"
    cp -r "tests/fuzz/corpus/$target/." "$corpus/"
    log=$build/fuzz-$target.log
    finding=none
    if ! nice -n 19 "$fuzzer" -max_total_time="$seconds" -timeout=60 -print_final_stats=1 \
            -artifact_prefix="$found" "$corpus" >"$log" 2>&1; then
        artifact=$(find "$found" -type f | head -n 1)
        finding="crash (see $log)"
        if [ -n "$artifact" ]; then
            minimised=$work/$target-minimised
            # libFuzzer goes on minimising while it can: the whole of it is bounded from outside.
            timeout 300 nice -n 19 "$fuzzer" -minimize_crash=1 -max_total_time=60 -timeout=60 \
                -exact_artifact_path="$minimised" "$artifact" >"$log.minimise" 2>&1 || true
            [ -s "$minimised" ] || cp "$artifact" "$minimised"
            kept=tests/fuzz/corpus/$target/crash-minimised-$(sha1sum "$minimised" | cut -c1-12)
            cp "$minimised" "$kept"
            finding="$(basename "$artifact" | cut -d- -f1) kept as $kept (see $log)"
        fi
        failed=1
    fi
    # The last status line: "#N DONE cov: C ft: F corp: K/S ... exec/s: E ...".
    status=$(grep -E '^#[0-9]+[[:space:]]+(DONE|pulse|NEW|REDUCE|INITED)' "$log" | tail -n 1 || true)
    field() { sed -n "s/.* $1: \([^ ]*\).*/\1/p" <<<"$status"; }
    rate=$(sed -n 's/^stat::average_exec_per_sec: *//p' "$log" | tail -n 1)
    printf '%-20s %8s %7s %8s %8s  %s\n' "$target" "${rate:-?}" "$(field cov)" "$(field ft)" \
        "$(field corp | cut -d/ -f1)" "$finding" | tee -a "$summary"
done
exit "$failed"
