#!/usr/bin/env bash
# Cross-builds the demo for 64-bit Windows and packs it: build-windows/kelvra-demo-windows.zip.
#   1. the libraries (SDL2, libxmp, libpng, zlib) from their source archives, once, cached
#      (scripts/windows_deps.sh; TRELK_WINDOWS_SOURCES names the archives' folder)
#   2. the asset generators for this machine (build-windows/host), which the Windows build runs
#   3. the demo, trelk.dll, midas.dll and the examples with cmake/mingw-w64.cmake
#      (build-windows/build), installed with the library's headers and CMake package
#   4. the zip: one folder kelvra-demo/ with the program, every DLL it needs, the picture and
#      the module, README.txt, the licences, and sdk/ (headers, import library, CMake package)
# Prints the zip's path. Needs the packages of WINDOWS_PACKAGES (windows.sh installs them).
set -euo pipefail
cd "$(dirname "$0")/.."
source=$PWD
out=$source/build-windows
jobs=${TRELK_JOBS:-$(nproc)}
log=$(mktemp)
trap 'rm -f "$log"' EXIT
quiet() { "$@" >"$log" 2>&1 || { cat "$log" >&2; echo "failed: $*" >&2; exit 1; }; }
launcher=()
if command -v ccache >/dev/null; then
    launcher=(-DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
fi

prefix=$(scripts/windows_deps.sh)

quiet cmake -S . -B "$out/host" -DCMAKE_BUILD_TYPE=Release -DTRELK_TESTS=OFF \
    -DTRELK_EXAMPLES=OFF -DTRELK_INSTALL=OFF -DTRELK_LTO=OFF "${launcher[@]}"
quiet nice -n 5 cmake --build "$out/host" -j "$jobs" --target make_picture make_module

# Link-time optimisation is left out: the entries are in a DLL, out of its reach anyway
quiet cmake -S . -B "$out/build" -DCMAKE_TOOLCHAIN_FILE="$source/cmake/mingw-w64.cmake" \
    -DCMAKE_FIND_ROOT_PATH="$prefix" -DCMAKE_BUILD_TYPE=Release -DBUILD_SHARED_LIBS=ON \
    -DTRELK_TESTS=OFF -DTRELK_LTO=OFF -DTRELK_HOST_GENERATORS="$out/host/assets" \
    "${launcher[@]}"
quiet nice -n 5 cmake --build "$out/build" -j "$jobs"

package=$out/package/kelvra-demo
rm -rf "$out/package"
mkdir -p "$package"
quiet cmake --install "$out/build" --prefix "$package/sdk"
cp "$out/build/demo/kelvra-demo.exe" "$package/sdk/bin/trelk.dll" \
    "$out/build/platform/music/midas.dll" "$prefix"/bin/*.dll \
    "$out/build/assets/flagga.tga" "$out/build/assets/bla.xm" "$package/"
cp -r "$prefix/licences" "$package/licences"
# Named so that a double-click opens them as text: LICENSE becomes LICENSE.txt
for text in "$package"/licences/*/*; do
    case $text in *.txt) ;; *) mv "$text" "$text.txt" ;; esac
done
cp docs/windows_readme.txt "$package/README.txt"
# Text files with the line ends Windows' own editors expect
sed -i 's/$/\r/' "$package/README.txt"

rm -f "$out/kelvra-demo-windows.zip"
(cd "$out/package" && quiet zip -q -X -r "$out/kelvra-demo-windows.zip" kelvra-demo)
echo "$out/kelvra-demo-windows.zip"
