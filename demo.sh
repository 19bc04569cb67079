#!/usr/bin/env bash
# Installs what is missing, builds, and runs the demo from the folder that holds its picture
# and music. Settings of the display library (TRELK_DISPLAY, TRELK_FRAMES, ...) pass through.
set -euo pipefail
cd "$(dirname "$0")"
source scripts/packages.sh
ensure_packages "${BUILD_PACKAGES[@]}"

build=build
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release -DTRELK_TESTS=OFF >/dev/null
cmake --build "$build" -j "$(nproc)" >/dev/null
cd "$build/assets"
exec ../demo/kelvra-demo
