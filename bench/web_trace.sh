#!/usr/bin/env bash
# The page's frame as the browser spends it (bench/web_trace.mjs): builds the page
# (scripts/web_build.sh, build-web) and the native demo (build-bench, as bench.sh does), then
# traces paced runs of the page in headless Chromium against the native demo's user time.
# ROUNDS=N sets the number of alternating rounds (default 5).
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/packages.sh
ensure_packages "${BUILD_PACKAGES[@]}" "${WEB_PACKAGES[@]}" chromium
ensure_npm
scripts/web_build.sh
native=build-bench
cmake -S . -B "$native" -DCMAKE_BUILD_TYPE=Release -DTRELK_TESTS=OFF -DTRELK_BENCH=ON >/dev/null
cmake --build "$native" -j "$(nproc)" --target kelvra-demo assets >/dev/null
export NODE_PATH=/usr/share/nodejs${NODE_PATH:+:$NODE_PATH}
node bench/web_trace.mjs build-web/page "$native/demo/kelvra-demo" "$native/assets"
