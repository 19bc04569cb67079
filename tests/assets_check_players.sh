#!/usr/bin/env bash
# Plays our module in Debian's module players, programs we did not write: xmp loads it and
# reports its channels and length, renders four seconds that sox measures as audible, and
# openmpt123 reads it and reports a length of at least thirty seconds.
# Usage: assets_check_players.sh MODULE WORK_DIR
set -euo pipefail
module=$1
work=$2
mkdir -p "$work"

fail() { echo "FAIL: $*" >&2; exit 1; }

info=$(xmp --load-only "$module" 2>&1) || fail "xmp cannot load $module: $info"
channels=$(sed -n 's/^Channels *: *\([0-9]*\).*/\1/p' <<<"$info")
[ -n "$channels" ] && [ "$channels" -ge 4 ] || fail "xmp reports channels '$channels'"
minutes_seconds=$(sed -n 's/^Duration *: *\([0-9]*\)min\([0-9]*\)s.*/\1 \2/p' <<<"$info")
read -r minutes seconds <<<"$minutes_seconds"
[ $((minutes * 60 + seconds)) -ge 30 ] || fail "xmp reports a duration of ${minutes}min${seconds}s"
echo "xmp: $channels channels, ${minutes}min${seconds}s"

xmp --quiet --time 4 --output-file "$work/xmp.wav" "$module" >/dev/null 2>&1 || fail "xmp cannot render"
rms=$(sox "$work/xmp.wav" -n stat 2>&1 | sed -n 's/^RMS *amplitude: *//p')
awk -v r="$rms" 'BEGIN { exit !(r > 0.01) }' || fail "xmp's rendering is silent (RMS $rms)"
echo "xmp: four seconds rendered, RMS $rms"

info=$(openmpt123 --info "$module" 2>&1) || fail "openmpt123 cannot read $module: $info"
duration=$(sed -n 's/^Duration\.*: *\([0-9:.]*\).*/\1/p' <<<"$info")
[ -n "$duration" ] || fail "openmpt123 reports no duration: $info"
total=$(awk -F: '{ s = 0; for (i = 1; i <= NF; i++) s = s * 60 + $i; print int(s) }' <<<"$duration")
[ "$total" -ge 30 ] || fail "openmpt123 reports a duration of $duration"
echo "openmpt123: duration $duration"
echo "both players accept the module"
