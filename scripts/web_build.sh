#!/usr/bin/env bash
# Builds the browser version of the demo into build-web/page (what web.sh serves and the
# browser tests load): installs the page's npm packages (web/package-lock.json) when missing,
# then configures with Emscripten's CMake wrapper and builds. Needs the WEB_PACKAGES and npm.
set -euo pipefail
cd "$(dirname "$0")/.."

if ! cmp -s web/package-lock.json web/node_modules/.installed-lock.json; then
    (cd web && npm ci --no-audit --no-fund --loglevel=error)
    cp web/package-lock.json web/node_modules/.installed-lock.json
fi

# Emscripten's JavaScript optimiser uses Debian's node modules; a node that is not Debian's
# does not look there by itself
export NODE_PATH=/usr/share/nodejs${NODE_PATH:+:$NODE_PATH}
build=build-web
mkdir -p "$build"
if ! emcmake cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release >"$build/configure.log" 2>&1; then
    cat "$build/configure.log" >&2
    exit 1
fi
if ! cmake --build "$build" -j "$(nproc)" >"$build/build.log" 2>&1; then
    cat "$build/build.log" >&2
    exit 1
fi
