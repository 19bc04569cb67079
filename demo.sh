#!/usr/bin/env bash
# Installs what is missing, builds, and runs the demo from the folder that holds its picture
# and music. Settings of the display library (TRELK_DISPLAY, TRELK_FRAMES, ...) pass through.
set -euo pipefail
cd "$(dirname "$0")"

if [ "${1:-}" = "--help" ] || [ "${1:-}" = "-h" ]; then
    cat <<'HELP'
Usage: ./demo.sh [--help]

Builds the kelvra demo (installing missing Debian packages with apt-get first, which needs
root or sudo) and runs it: a picture shaking under a spinning cube while music plays. It
draws in a window when there is a desktop, else in the terminal, else headless.

Keys:
  any key           ends the demo (Shift, Control, Alt or the system key alone do not,
                    nor does switching windows)
  Alt+Enter, F11    full screen on and off (window)
  Ctrl-L            draws the picture again (terminal)
  Ctrl-C            ends the demo; Ctrl-Z stops it, fg brings it back (terminal)

Settings (environment variables):
HELP
    # The display library's table of settings, one row each
    awk -F'"' '/^TRELK_SETTING\(/ {
        line = "  " $2 "=" $4
        if ($6 != "") help = $8 " (default: " $6 ")"; else help = $8
        if (length(line) < 27) printf "%-27s%s\n", line, help
        else printf "%s\n%27s%s\n", line, "", help
    }' platform/display/settings_table.h
    cat <<'HELP'
  SDL_AUDIODRIVER=dummy    no sound
(the demo runs in build/assets/: a relative capture or recording path is taken from there)
HELP
    exit 0
fi

source scripts/packages.sh
ensure_packages "${BUILD_PACKAGES[@]}"

build=build
log="$build/build.log"
if [ ! -f "$build/CMakeCache.txt" ]; then
    echo "Building the demo in $build/ (the first time takes about a minute)..."
fi
mkdir -p "$build"
# Progress as one line on a terminal; the whole output in the log, shown when the build fails
progress() {
    local line
    while IFS= read -r line; do
        printf '%s\n' "$line" >>"$log"
        if [[ -t 1 && $line =~ ^\[\ *([0-9]+)%\] ]]; then
            printf '\rbuilding: %3d%%' "${BASH_REMATCH[1]}"
        fi
    done
}
: >"$log"
if ! { cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release -DTRELK_TESTS=OFF &&
    cmake --build "$build" -j "$(nproc)"; } 2>&1 | progress; then
    [ -t 1 ] && echo
    tail -n 40 "$log" >&2
    echo "The build failed; its whole output is in $log." >&2
    exit 1
fi
[ -t 1 ] && printf '\r%-20s\r' ''
cd "$build/assets"
exec ../demo/kelvra-demo
