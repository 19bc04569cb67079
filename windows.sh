#!/usr/bin/env bash
# Cross-builds the demo for 64-bit Windows on Debian and writes
# build-windows/kelvra-demo-windows.zip: unpacked anywhere on Windows, kelvra-demo.exe runs with
# nothing else installed. Installs what is missing with apt (mingw-w64's compilers, and Wine and
# Xvfb to try the result), builds SDL2, libxmp, libpng and zlib from their source archives once
# (the folder TRELK_WINDOWS_SOURCES names, by default ../shared/deps/windows; they are kept
# built under ~/.cache/kelvra-windows), then the program. Try it with:
#   cd build-windows/package/kelvra-demo && wine kelvra-demo.exe
set -euo pipefail
cd "$(dirname "$0")"
source scripts/packages.sh
ensure_packages "${BUILD_PACKAGES[@]}" "${WINDOWS_PACKAGES[@]}"
zip=$(scripts/windows_build.sh)
echo "Made ${zip#"$PWD"/}"
