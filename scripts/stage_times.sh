# Stage times for a script of stages (sourced by test.sh): `stage NAME` ends the stage that runs,
# printing its name and wall time, and starts NAME; `stage ""` ends the last. When the script
# exits, every stage's time is printed again with the total; a stage that failed is named with
# the time it had taken, and the script's exit status is kept.
microseconds() { local now=${EPOCHREALTIME//[.,]/}; echo "${now#0}"; }
seconds_since() { # START_MICROSECONDS: the wall time since then, as seconds with a tenth
    local us=$(($(microseconds) - $1))
    printf '%d.%d s' $((us / 1000000)) $((us % 1000000 / 100000))
}
suite_start=$(microseconds)
stage_name=
stage_start=
stage_times=()
stage() { # NAME: ends the stage that runs, and starts NAME
    if [ -n "$stage_name" ]; then
        local took
        took=$(seconds_since "$stage_start")
        stage_times+=("$(printf '%-30s %s' "$stage_name" "$took")")
        echo "== stage $stage_name: $took"
    fi
    stage_name=$1
    stage_start=$(microseconds)
}
suite_end() {
    local status=$?
    if [ "$status" -ne 0 ] && [ -n "$stage_name" ]; then
        echo "== stage $stage_name FAILED after $(seconds_since "$stage_start")"
    fi
    if [ ${#stage_times[@]} -gt 0 ]; then
        printf '== %s\n' "${stage_times[@]}"
    fi
    echo "== total: $(seconds_since "$suite_start")$([ "$status" -eq 0 ] || echo ", failed")"
}
trap suite_end EXIT
