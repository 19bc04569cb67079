#!/usr/bin/env bash
# Instruction counts, which the load of other programs does not change (valgrind cachegrind):
#  - the demo's headless frame: a run of 201 frames minus a run of 1, / 200, against the same
#    difference of bench/memory_frame.cpp (the clear's memset and the two memcpys of a frame);
#  - start-up to the first frame, sound opened as the demo opens it, against the bare SDL2
#    program that opens the same audio device.
# glibc's string functions are kept off `rep movsb`/`rep stosb`: valgrind counts every byte of
# those as an instruction, which would make the memory bound look many times dearer than it is.
# Usage: bench/instructions.sh [build folder] (default build-bench, built Release with
# -DTRELK_BENCH=ON as ./bench.sh does).
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build-bench}
cmake --build "$build" -j2 --target kelvra-demo memory_frame sdl_first_frame >/dev/null
demo=$PWD/$build/demo/kelvra-demo
assets=$build/assets
export GLIBC_TUNABLES=glibc.cpu.x86_rep_movsb_threshold=0xffffffffffffffff:glibc.cpu.x86_rep_stosb_threshold=0xffffffffffffffff

# The instructions a command executes (all its threads), run in the assets folder with no
# window system; leading NAME=value arguments are its environment
count() {
    local settings=()
    while [[ $1 == *=* ]]; do
        settings+=("$1")
        shift
    done
    (cd "$assets" && env -u DISPLAY "${settings[@]}" valgrind --tool=cachegrind --cache-sim=no \
        --cachegrind-out-file=/dev/null "$@" 2>&1) | sed -n 's/.*I *refs: *//p' | tr -d ,
}
demo_run() {
    count TRELK_DISPLAY=headless TRELK_VSYNC=0 SDL_AUDIODRIVER=dummy TRELK_FRAMES="$1" "$demo"
}

demo_1=$(demo_run 1)
demo_201=$(demo_run 201)
bound_1=$(count "$PWD/$build/bench/memory_frame" 1)
bound_201=$(count "$PWD/$build/bench/memory_frame" 201)
sdl=$(count SDL_VIDEODRIVER=dummy SDL_AUDIODRIVER=dummy "$PWD/$build/bench/sdl_first_frame" --audio)

python3 - "$demo_1" "$demo_201" "$bound_1" "$bound_201" "$sdl" <<'PY'
import sys
demo_1, demo_201, bound_1, bound_201, sdl = map(int, sys.argv[1:])
demo = (demo_201 - demo_1) / 200
bound = (bound_201 - bound_1) / 200
print(f"frame: the demo {demo:,.0f} instructions, the memory bound {bound:,.0f}: {demo / bound:.2f}x")
print(f"start-up to the first frame with sound: the demo {demo_1:,}, bare SDL2 {sdl:,}: "
      f"{demo_1 / sdl:.2f}x")
PY
