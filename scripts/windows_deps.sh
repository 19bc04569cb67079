#!/usr/bin/env bash
# Cross-builds the libraries of the Windows build (zlib, libpng, libxmp, SDL2) from their source
# archives with mingw-w64, once: the result is kept under ~/.cache/kelvra-windows/, in a folder
# named after the archives' checksums, the compilers' version and this script, so any change to
# those builds afresh and a second run reuses it. Prints that folder (the prefix holding
# bin/*.dll, lib/, include/, the .pc files and licences/) on standard output; everything else
# goes to standard error.
#
# The archives come from the folder that TRELK_WINDOWS_SOURCES names (default:
# ../shared/deps/windows beside this clone) and must match scripts/windows_sources.sha256.
set -euo pipefail
project=$(cd "$(dirname "$0")/.." && pwd)
sums=$project/scripts/windows_sources.sha256
sources=${TRELK_WINDOWS_SOURCES:-$project/../shared/deps/windows}
toolchain=$project/cmake/mingw-w64.cmake

if [ ! -d "$sources" ]; then
    {
        echo "The Windows build needs the source archives of its libraries in one folder:"
        sed 's/^[0-9a-f]*  /    /' "$sums"
        echo "Put them in $sources, or name their folder in TRELK_WINDOWS_SOURCES."
    } >&2
    exit 1
fi
sources=$(cd "$sources" && pwd)
if ! (cd "$sources" && sha256sum --check --strict --quiet "$sums") >&2; then
    echo "The archives in $sources do not match scripts/windows_sources.sha256." >&2
    exit 1
fi

compiler_version=$(x86_64-w64-mingw32-g++-posix --version | sed -n 1p)
# The build lines below are the options the libraries are built with: a change to one of them
# is a new key, as is a new archive, toolchain file, compiler or CMake
key=$( {
    cat "$sums" "$toolchain"
    grep '^build ' "$0"
    sed -n '/^build() {/,/^}/p' "$0"
    echo "$compiler_version"
    cmake --version | sed -n 1p
} | sha256sum | cut -c 1-16)
cache=${XDG_CACHE_HOME:-$HOME/.cache}/kelvra-windows
prefix=$cache/$key
mkdir -p "$cache"
# One build at a time; a second run waits for the first and then reuses its result
exec 9>"$cache/.lock"
flock 9
if [ -f "$prefix/.complete" ]; then
    echo "$prefix"
    exit 0
fi

echo "Cross-building zlib, libpng, libxmp and SDL2 for Windows (once; a few minutes)..." >&2
# Installed where it stays (the libraries' package files name their folder); an unfinished
# one, left by a run that was stopped, is started again
rm -rf "$prefix"
work=$(mktemp -d "$cache/build.XXXXXX")
trap 'rm -rf "$work"' EXIT
staging=$prefix
jobs=${TRELK_JOBS:-$(nproc)}

# The source files' names in the DLLs (assertions name their file) are kept relative to the
# unpacked archives: no folder of this machine ends up in them
build() {  # build NAME ARCHIVE-FOLDER [CMAKE OPTIONS...]
    local name=$1 folder=$2
    shift 2
    echo "  $name" >&2
    tar -xzf "$sources/$folder.tar.gz" -C "$work"
    cmake -S "$work/$folder" -B "$work/build-$name" -DCMAKE_TOOLCHAIN_FILE="$toolchain" \
        -DCMAKE_FIND_ROOT_PATH="$staging" -DCMAKE_INSTALL_PREFIX="$staging" \
        -DCMAKE_BUILD_TYPE=Release -DCMAKE_C_COMPILER_LAUNCHER="$(command -v ccache || true)" \
        -DCMAKE_C_FLAGS="-ffile-prefix-map=$work/=" \
        "$@" >"$work/$name.log" 2>&1 || { cat "$work/$name.log" >&2; return 1; }
    nice -n 5 cmake --build "$work/build-$name" -j "$jobs" >>"$work/$name.log" 2>&1 \
        || { tail -n 40 "$work/$name.log" >&2; return 1; }
    cmake --install "$work/build-$name" >>"$work/$name.log" 2>&1 \
        || { tail -n 40 "$work/$name.log" >&2; return 1; }
}
licence() {  # licence NAME FILE [NAME-IN-FOLDER]: a text shipped beside the DLLs
    mkdir -p "$staging/licences/$1"
    cp "$2" "$staging/licences/$1/${3:-$(basename "$2")}"
}

build zlib zlib-1.2.13 -DBUILD_SHARED_LIBS=ON
licence zlib "$work/zlib-1.2.13/LICENSE"
build libpng libpng-1.6.39 -DPNG_STATIC=OFF -DPNG_TESTS=OFF -DPNG_EXECUTABLES=OFF
licence libpng "$work/libpng-1.6.39/LICENSE"
build libxmp libxmp-4.6.0 -DBUILD_STATIC=OFF -DBUILD_SHARED=ON
licence libxmp "$work/libxmp-4.6.0/README"
licence libxmp "$work/libxmp-4.6.0/docs/COPYING.LIB"
build SDL2 SDL2-2.26.5 -DSDL_TEST=OFF -DSDL_STATIC=OFF -DSDL_SHARED=ON
licence SDL2 "$work/SDL2-2.26.5/LICENSE.txt"
# The runtimes linked into every program and DLL: winpthreads (its notice must come along)
# and GCC's libraries (their runtime exception asks for nothing, but says what they are)
licence mingw-w64-runtime /usr/share/doc/mingw-w64-common/copyright mingw-w64.txt
licence mingw-w64-runtime /usr/share/doc/gcc-mingw-w64-base/copyright gcc.txt

touch "$prefix/.complete"
echo "$prefix"
