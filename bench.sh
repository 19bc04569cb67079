#!/usr/bin/env bash
# Builds optimised and runs the benchmarks side by side, several repetitions, then prints the
# min and median of each and its ratio to its SDL2 twin and to the memory bound.
# Extra arguments go to the benchmark binary (e.g. --benchmark_filter=frame).
set -euo pipefail
cd "$(dirname "$0")"
source scripts/packages.sh
ensure_packages "${BUILD_PACKAGES[@]}" "${BENCH_PACKAGES[@]}"

build=build-bench
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release -DTRELK_TESTS=OFF -DTRELK_BENCH=ON >/dev/null
cmake --build "$build" -j "$(nproc)" >/dev/null
"$build/bench/kelvra_bench" --benchmark_repetitions=5 --benchmark_out="$build/bench.json" \
    --benchmark_out_format=json "$@" >&2
python3 bench/report.py "$build/bench.json"
