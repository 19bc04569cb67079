#!/usr/bin/env bash
# The browser build's benchmarks (never part of the tests): builds the page with the frame
# benchmark (build-web-bench) and the native benchmarks (build-bench, as bench.sh does), then
# times the demo's frame in headless Chromium against the native one and measures the page's
# download size. Prints a table for bench/RESULTS.md.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/packages.sh
ensure_packages "${BUILD_PACKAGES[@]}" "${BENCH_PACKAGES[@]}" "${WEB_PACKAGES[@]}" chromium
ensure_npm
(cd web && { cmp -s package-lock.json node_modules/.installed-lock.json ||
    { npm ci --no-audit --no-fund --loglevel=error && cp package-lock.json node_modules/.installed-lock.json; }; })

export NODE_PATH=/usr/share/nodejs${NODE_PATH:+:$NODE_PATH}
web=build-web-bench
mkdir -p "$web"
emcmake cmake -S . -B "$web" -DCMAKE_BUILD_TYPE=Release -DTRELK_BENCH=ON >"$web/configure.log" 2>&1
cmake --build "$web" -j "$(nproc)" >"$web/build.log" 2>&1 || { cat "$web/build.log" >&2; exit 1; }

native=build-bench
cmake -S . -B "$native" -DCMAKE_BUILD_TYPE=Release -DTRELK_TESTS=OFF -DTRELK_BENCH=ON >/dev/null
cmake --build "$native" -j "$(nproc)" --target kelvra_bench >/dev/null
TRELK_DISPLAY=headless "$native/bench/kelvra_bench" --benchmark_filter='frame_ours/320/200' \
    --benchmark_repetitions=7 --benchmark_out="$native/frame.json" --benchmark_out_format=json \
    >/dev/null
node bench/web_bench.mjs "$web/page" "$native/frame.json"
