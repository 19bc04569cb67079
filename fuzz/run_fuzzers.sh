#!/usr/bin/env bash
# Runs every libFuzzer target of a TRELK_FUZZ build for a fixed time each, from its corpus in
# fuzz/corpus/NAME. What the fuzzer adds goes to BUILD/fuzz/work/NAME, never into the
# repository; a finding leaves its input in BUILD/fuzz/findings/NAME/ and fails the run.
#
#   fuzz/run_fuzzers.sh BUILD SECONDS [NAME...]
#
# Prints one line per target: executions, new inputs, coverage, and the result. Targets run side
# by side, one a processor (FUZZ_JOBS, default the number of processors), since each is given
# its time on the clock, not in processor time: on two cores three targets take two rounds.
set -uo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
build="$1"
seconds="$2"
shift 2
names=("$@")
if [ ${#names[@]} -eq 0 ]; then
    for program in "$build"/fuzz/fuzz_*; do
        [ -x "$program" ] && names+=("$(basename "$program" | sed 's/^fuzz_//')")
    done
fi
if [ ${#names[@]} -eq 0 ]; then
    echo "no fuzz targets in $build/fuzz" >&2
    exit 1
fi

# One target's run; its lines of results go to BUILD/fuzz/fuzz_NAME.result and its status (0: no
# finding) to BUILD/fuzz/fuzz_NAME.status
fuzz_one() {
    local name=$1
    local program="$build/fuzz/fuzz_$name"
    local work="$build/fuzz/work/$name"
    local findings="$build/fuzz/findings/$name"
    local log="$build/fuzz/fuzz_$name.log"
    local result="$build/fuzz/fuzz_$name.result"
    mkdir -p "$work" "$findings"
    # -timeout: one input taking this long is a hang; -rss_limit_mb: the memory one run may use
    timeout $((seconds + 120)) "$program" "$work" "$here/corpus/$name" \
        -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -print_final_stats=1 \
        -artifact_prefix="$findings/" >"$log" 2>&1
    local status=$?
    local runs added coverage
    runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")
    added=$(sed -n 's/^stat::new_units_added: *//p' "$log")
    coverage=$(grep -o 'cov: [0-9]*' "$log" | tail -1)
    if [ "$status" -eq 0 ]; then
        echo "fuzz $name: ${runs:-?} executions in ${seconds} s, ${added:-0} new inputs, ${coverage:-cov: ?}: no finding" >"$result"
    else
        {
            echo "fuzz $name: FINDING (exit $status) after ${runs:-?} executions; input in $findings/"
            grep -E 'ERROR|FINDING|runtime error|SUMMARY' "$log" | head -5
            echo "full log: $log"
        } >"$result"
    fi
    echo "$status" >"$build/fuzz/fuzz_$name.status"
}

jobs=${FUZZ_JOBS:-$(nproc)}
[ "$jobs" -ge 1 ] 2>/dev/null || jobs=1
for name in "${names[@]}"; do
    rm -f "$build/fuzz/fuzz_$name.status" "$build/fuzz/fuzz_$name.result"
done
for name in "${names[@]}"; do
    while [ "$(jobs -rp | wc -l)" -ge "$jobs" ]; do wait -n || true; done
    fuzz_one "$name" &
done
wait
failed=0
for name in "${names[@]}"; do
    cat "$build/fuzz/fuzz_$name.result" 2>/dev/null || echo "fuzz $name: no result"
    [ "$(cat "$build/fuzz/fuzz_$name.status" 2>/dev/null)" = 0 ] || failed=1
done
exit $failed
