#!/usr/bin/env bash
# Builds trelk as another program would use it: installs the libraries (Release, the default
# static display library, link-time optimised, with the music library) into a temporary
# prefix, then builds examples/ out of the tree with find_package(trelk COMPONENTS midas), with
# pkg-config (trelk, trelk-midas), and with add_subdirectory() of this source tree, each with
# g++ and with clang++ (the C example with gcc and clang), every time under strict warnings
# made errors, as a careful project would build (-Wall -Wextra -Wpedantic -Wconversion -Wshadow
# -Werror: under add_subdirectory that covers trelk's own sources too). The program built under
# add_subdirectory must not reach the source tree's private headers. Every pixels, plasma and
# music program built is run headless for a few frames, and where the recorder module was built,
# three of them record a few frames (the installed module, and the build tree's for the program
# built under add_subdirectory); then the uninstall target must leave no file behind. Run by test.sh; the library's build folder (build-consumer) is kept so that a
# second run is quick.
set -euo pipefail
cd "$(dirname "$0")/.."
source=$PWD
build=$source/build-consumer
# The consumers are built in a folder of the same name on every run (removed at the end), so a
# compiler cache finds their objects again
work=$build/work
rm -rf "$work"
mkdir -p "$work"
trap 'rm -rf "$work"' EXIT
prefix=$work/prefix
quiet() { "$@" >"$work/log" 2>&1 || { cat "$work/log" >&2; echo "failed: $*" >&2; exit 1; }; }
strict=(-Wall -Wextra -Wpedantic -Wconversion -Wshadow -Werror)

cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release -DTRELK_TESTS=OFF -DTRELK_DEMO=OFF \
    -DTRELK_MUSIC=ON -DTRELK_EXAMPLES=OFF -DTRELK_INSTALL=ON -DTRELK_LTO=ON \
    -DBUILD_SHARED_LIBS=OFF -DCMAKE_INSTALL_PREFIX="$prefix" >/dev/null
quiet cmake --build "$build" -j "$(nproc)"
quiet cmake --install "$build"
for file in include/trelk/trelk.h include/trelk/midas.h lib/libtrelk_midas.a \
    lib/pkgconfig/trelk-midas.pc lib/cmake/trelk/trelkMidasTargets.cmake; do
    [ -e "$prefix/$file" ] || { echo "not installed: $file" >&2; exit 1; }
done

# A consumer that builds this tree as part of its own, with the music library, and a program
# of its own that may see the public headers and nothing else of the tree
mkdir -p "$work/subdirectory"
cat >"$work/subdirectory/CMakeLists.txt" <<CMAKE
cmake_minimum_required(VERSION 3.20)
project(consumer LANGUAGES C CXX)
add_compile_options(${strict[*]})
set(TRELK_MUSIC ON)
add_subdirectory("$source" trelk)
add_subdirectory("$source/examples" examples)
add_executable(public_only public_only.cpp)
target_link_libraries(public_only PRIVATE trelk::trelk trelk::midas)
CMAKE
cat >"$work/subdirectory/public_only.cpp" <<'CPP'
#if __has_include("platform/midas.h") || __has_include("platform/display/registry.h") || \
    __has_include("display/registry.h") || __has_include("demo/cube.h")
#error "the source tree's private headers are reachable"
#endif
#include "trelk/midas.h"
#include "trelk/trelk.h"
int main() { return MIDASerrorText() == nullptr; }
CPP

programs=()
music=()
for cxx in g++ clang++; do
    out=$work/$cxx
    cc=${cxx%++}
    [ "$cc" = g ] && cc=gcc
    quiet cmake -S examples -B "$out/find_package" -DCMAKE_CXX_COMPILER="$cxx" \
        -DCMAKE_C_COMPILER="$cc" -DCMAKE_BUILD_TYPE=Release -DCMAKE_PREFIX_PATH="$prefix" \
        -DCMAKE_CXX_FLAGS="${strict[*]}" -DCMAKE_C_FLAGS="${strict[*]}"
    quiet cmake --build "$out/find_package" -j "$(nproc)"
    programs+=("$out/find_package/pixels" "$out/find_package/plasma")
    music+=("$out/find_package/music")

    mkdir -p "$out/pkg-config"
    export PKG_CONFIG_PATH=$prefix/lib/pkgconfig
    for example in pixels sprite keys palette paint; do
        quiet "$cxx" -std=c++17 -O2 "${strict[@]}" -o "$out/pkg-config/$example" \
            "examples/$example.cpp" $(pkg-config --cflags --libs trelk)
    done
    quiet "$cxx" -std=c++17 -O2 "${strict[@]}" -o "$out/pkg-config/music" examples/music.cpp \
        $(pkg-config --cflags --libs trelk trelk-midas)
    # A C program, linked by the C compiler with nothing but what pkg-config names
    quiet "$cc" -std=c99 -O2 "${strict[@]}" -o "$out/pkg-config/plasma" examples/plasma.c \
        $(pkg-config --cflags --libs trelk)
    unset PKG_CONFIG_PATH
    programs+=("$out/pkg-config/pixels" "$out/pkg-config/plasma")
    music+=("$out/pkg-config/music")

    quiet cmake -S "$work/subdirectory" -B "$out/subdirectory" -DCMAKE_CXX_COMPILER="$cxx" \
        -DCMAKE_C_COMPILER="$cc" -DCMAKE_BUILD_TYPE=Release
    quiet cmake --build "$out/subdirectory" -j "$(nproc)" \
        --target pixels sprite keys palette paint plasma music public_only
    programs+=("$out/subdirectory/examples/pixels" "$out/subdirectory/examples/plasma")
    music+=("$out/subdirectory/examples/music")
done

# The music example without a module (none is installed): it says so and draws in silence
for program in "${programs[@]}" "${music[@]}"; do
    rm -f "$work/frame.png"
    arguments=()
    [[ $program == */music ]] && arguments=("$work/no-such-module.xm")
    TRELK_DISPLAY=headless TRELK_FRAMES=3 TRELK_CAPTURE="$work/frame.png" SDL_AUDIODRIVER=dummy \
        "$program" "${arguments[@]}" </dev/null 2>"$work/errors"
    [ -s "$work/frame.png" ] || { cat "$work/errors" >&2; echo "no frame from $program" >&2; exit 1; }
done

# A recording opens the recorder module where the library was installed, or, for the program
# built beside the library, in that build tree (when FFmpeg's development files were found)
recorded=""
if [ -e "$prefix/lib/trelk/trelk_recorder.so" ]; then
    for program in "$work/g++/find_package/pixels" "$work/clang++/pkg-config/plasma" \
        "$work/g++/subdirectory/examples/pixels"; do
        rm -f "$work/video.mkv"
        TRELK_FRAMES=3 TRELK_RECORD="$work/video.mkv" SDL_AUDIODRIVER=dummy "$program" \
            </dev/null 2>"$work/errors" && [ -s "$work/video.mkv" ] || {
            cat "$work/errors" >&2
            echo "no recording from $program" >&2
            exit 1
        }
    done
    recorded=" and recorded"
fi

# Uninstalling leaves nothing of ours in the prefix
quiet cmake --build "$build" --target uninstall
left=$(find "$prefix" -type f -o -type l)
[ -z "$left" ] || { echo "left after uninstall: $left" >&2; exit 1; }
echo "consumers: find_package, pkg-config and add_subdirectory, with g++ and clang++ under" \
    "strict warnings: built and ran$recorded; uninstalled"
