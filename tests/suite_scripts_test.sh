#!/usr/bin/env bash
# The suite's own machinery: a failing stage of test.sh still fails the run and is named, and a
# finding of any fuzz target fails fuzz/run_fuzzers.sh however many targets run side by side.
#   suite_scripts_test.sh SOURCE_ROOT
set -uo pipefail
root=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
faults=0
expect() { # DESCRIPTION COMMAND...: counts a fault when the command fails
    "${@:2}" || { echo "FAULT: $1" >&2; faults=$((faults + 1)); }
}

# Stage times: three stages, the last failing under set -e; then the same without the failure
for fail in true false; do
    printf 'set -euo pipefail\nsource %q/scripts/stage_times.sh\nstage one\nstage "two words"\nstage three\n%s\nstage ""\n' \
        "$root" "$fail" >"$work/stages.sh"
    bash "$work/stages.sh" >"$work/out" 2>&1
    status=$?
    if [ "$fail" = false ]; then
        expect "a failing stage fails the run (status $status)" [ "$status" -eq 1 ]
        expect "the failing stage is named" grep -q '^== stage three FAILED after [0-9]*\.[0-9] s$' "$work/out"
        expect "the total says the run failed" grep -q '^== total: [0-9]*\.[0-9] s, failed$' "$work/out"
    else
        expect "a run of passing stages passes (status $status)" [ "$status" -eq 0 ]
        expect "every stage's time as it ends" [ "$(grep -c '^== stage .*: [0-9]*\.[0-9] s$' "$work/out")" -eq 3 ]
        expect "the total" grep -q '^== total: [0-9]*\.[0-9] s$' "$work/out"
    fi
    expect "the stages' times again at the end" grep -q '^== two words  *[0-9]*\.[0-9] s$' "$work/out"
done

# Fuzz runner: three fake targets, the middle one finding something, one and two at a time
mkdir -p "$work/build/fuzz"
for name in alpha beta gamma; do
    status=0
    [ "$name" = beta ] && status=1
    printf '#!/bin/sh\necho "stat::number_of_executed_units: 7"\nexit %d\n' "$status" \
        >"$work/build/fuzz/fuzz_$name"
    chmod +x "$work/build/fuzz/fuzz_$name"
done
for jobs in 1 2; do
    FUZZ_JOBS=$jobs "$root/fuzz/run_fuzzers.sh" "$work/build" 1 >"$work/fuzz" 2>&1
    status=$?
    expect "$jobs at a time: a finding fails the run (status $status)" [ "$status" -eq 1 ]
    expect "$jobs at a time: one line per target, in order" \
        [ "$(grep -o '^fuzz [a-z]*: [A-Za-z0-9]*' "$work/fuzz" | tr '\n' ' ')" = \
          "fuzz alpha: 7 fuzz beta: FINDING fuzz gamma: 7 " ]
done
[ "$faults" -eq 0 ] && echo "suite scripts: stage times and fuzz runner as expected"
exit $((faults > 0))
