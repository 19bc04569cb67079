#!/usr/bin/env bash
# Builds trelk as another program would use it: installs the libraries (Release, the default
# static display library, link-time optimised) into a temporary prefix, then builds examples/
# out of the tree with find_package(trelk), with pkg-config, and with add_subdirectory() of
# this source tree, each with g++ and with clang++ (the C example with gcc and clang), and runs
# every pixels and plasma program it built headless for a few frames. Run by test.sh; the
# library's build folder (build-consumer) is kept so that a second run is quick.
set -euo pipefail
cd "$(dirname "$0")/.."
source=$PWD
build=$source/build-consumer
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
prefix=$work/prefix
quiet() { "$@" >"$work/log" 2>&1 || { cat "$work/log" >&2; echo "failed: $*" >&2; exit 1; }; }

cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release -DTRELK_TESTS=OFF -DTRELK_DEMO=OFF \
    -DTRELK_EXAMPLES=OFF -DTRELK_INSTALL=ON -DTRELK_LTO=ON -DBUILD_SHARED_LIBS=OFF >/dev/null
quiet cmake --build "$build" -j "$(nproc)"
quiet cmake --install "$build" --prefix "$prefix"

# A consumer that builds this tree as part of its own
mkdir -p "$work/subdirectory"
cat >"$work/subdirectory/CMakeLists.txt" <<CMAKE
cmake_minimum_required(VERSION 3.20)
project(consumer LANGUAGES C CXX)
add_subdirectory("$source" trelk)
add_subdirectory("$source/examples" examples)
CMAKE

programs=()
for cxx in g++ clang++; do
    out=$work/$cxx
    cc=${cxx%++}
    [ "$cc" = g ] && cc=gcc
    quiet cmake -S examples -B "$out/find_package" -DCMAKE_CXX_COMPILER="$cxx" \
        -DCMAKE_C_COMPILER="$cc" -DCMAKE_BUILD_TYPE=Release -DCMAKE_PREFIX_PATH="$prefix"
    quiet cmake --build "$out/find_package" -j "$(nproc)"
    programs+=("$out/find_package/pixels" "$out/find_package/plasma")

    mkdir -p "$out/pkg-config"
    for example in pixels sprite keys palette; do
        quiet "$cxx" -std=c++17 -O2 -o "$out/pkg-config/$example" "examples/$example.cpp" \
            $(PKG_CONFIG_PATH="$prefix/lib/pkgconfig" pkg-config --cflags --libs trelk)
    done
    # A C program, linked by the C compiler with nothing but what pkg-config names
    quiet "$cc" -std=c99 -O2 -o "$out/pkg-config/plasma" examples/plasma.c \
        $(PKG_CONFIG_PATH="$prefix/lib/pkgconfig" pkg-config --cflags --libs trelk)
    programs+=("$out/pkg-config/pixels" "$out/pkg-config/plasma")

    quiet cmake -S "$work/subdirectory" -B "$out/subdirectory" -DCMAKE_CXX_COMPILER="$cxx" \
        -DCMAKE_C_COMPILER="$cc" -DCMAKE_BUILD_TYPE=Release
    quiet cmake --build "$out/subdirectory" -j "$(nproc)" --target pixels sprite keys palette plasma
    programs+=("$out/subdirectory/examples/pixels" "$out/subdirectory/examples/plasma")
done

for program in "${programs[@]}"; do
    rm -f "$work/frame.png"
    TRELK_DISPLAY=headless TRELK_FRAMES=3 TRELK_CAPTURE="$work/frame.png" "$program" </dev/null
    [ -s "$work/frame.png" ] || { echo "no frame from $program" >&2; exit 1; }
done
echo "consumers: find_package, pkg-config and add_subdirectory, with g++ and clang++: built and ran"
