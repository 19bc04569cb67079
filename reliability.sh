#!/usr/bin/env bash
# The long reliability runs, beside ./test.sh (which runs the short ones):
#   1. every fuzz target for FUZZ_SECONDS each (default 600) from its corpus, in a clang build;
#   2. a headless demo run of 100,000 frames whose resident memory is sampled as it runs: the
#      first and last figures are printed, and a growth of more than 1 MiB fails;
#   3. a headless run of 1,000 frames under valgrind's leak check (no definite or indirect leak).
# Builds in build-fuzz and build-rel-long. See docs/reliability.md for the figures.
#
#   ./reliability.sh [fuzz|long|valgrind]...   (default: all three)
set -euo pipefail
cd "$(dirname "$0")"
source scripts/packages.sh
ensure_packages "${BUILD_PACKAGES[@]}" "${TEST_PACKAGES[@]}" valgrind

steps=("$@")
[ ${#steps[@]} -eq 0 ] && steps=(fuzz long valgrind)

build_plain() {
    cmake -S . -B build-rel-long -DTRELK_TESTS=OFF -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
    cmake --build build-rel-long -j "$(nproc)" --target kelvra-demo assets
}

for step in "${steps[@]}"; do
    case "$step" in
    fuzz)
        CC=clang CXX=clang++ cmake -S . -B build-fuzz -DTRELK_FUZZ=ON -DTRELK_TESTS=OFF \
            -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
        cmake --build build-fuzz -j "$(nproc)" --target fuzz_targets
        fuzz/run_fuzzers.sh build-fuzz "${FUZZ_SECONDS:-600}"
        ;;
    long)
        build_plain
        frames=${LONG_FRAMES:-100000}
        cd build-rel-long/assets
        TRELK_DISPLAY=headless TRELK_FRAMES=$frames SDL_AUDIODRIVER=${SDL_AUDIODRIVER:-dummy} \
            ../demo/kelvra-demo </dev/null &
        pid=$!
        first="" last="" samples=0
        while kill -0 "$pid" 2>/dev/null; do
            rss=$(awk '/^VmRSS:/ {print $2}' "/proc/$pid/status" 2>/dev/null || true)
            if [ -n "$rss" ]; then
                # The first sample once set-up is over (after a second), the last before exit
                samples=$((samples + 1))
                [ "$samples" -eq 5 ] && first=$rss
                last=$rss
            fi
            sleep 0.2
        done
        wait "$pid"
        cd ../..
        echo "long run: $frames frames, resident memory first ${first:-?} KiB, last ${last:-?} KiB ($samples samples)"
        if [ -z "$first" ] || [ $((last - first)) -gt 1024 ]; then
            echo "long run: resident memory grew by more than 1 MiB" >&2
            exit 1
        fi
        ;;
    valgrind)
        build_plain
        (cd build-rel-long/assets &&
            TRELK_DISPLAY=headless TRELK_FRAMES=1000 SDL_AUDIODRIVER=dummy \
            valgrind --leak-check=full --errors-for-leak-kinds=definite,indirect \
                --show-leak-kinds=definite,indirect --error-exitcode=1 \
                ../demo/kelvra-demo </dev/null) 2>&1 | tail -15
        ;;
    *)
        echo "unknown step $step: use fuzz, long or valgrind" >&2
        exit 2
        ;;
    esac
done
