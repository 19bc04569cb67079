#!/usr/bin/env bash
# Cross-builds the demo for 64-bit Windows and packs it: build-windows/kelvra-demo-windows.zip.
#   1. the libraries (SDL2, libxmp, libpng, zlib) from their source archives, once, cached
#      (scripts/windows_deps.sh; TRELK_WINDOWS_SOURCES names the archives' folder)
#   2. the asset generators for this machine (build-windows/host), which the Windows build runs
#   3. the demo, trelk.dll, midas.dll and the examples with cmake/mingw-w64.cmake
#      (build-windows/build), installed with the library's headers and CMake package
#   4. the zip: one folder kelvra-demo/ with the program, every DLL it needs, the picture and
#      the module, README.txt, LICENSE.txt, THIRD_PARTY.txt, the libraries' licences (all with
#      Windows' line ends), and sdk/ (headers, import library, CMake package). Reproducible:
#      the entries in sorted order with the commit's time (SOURCE_DATE_EPOCH when set), and no
#      folder of this machine inside any file
# Prints the zip's path. Needs the packages of WINDOWS_PACKAGES (windows.sh installs them).
set -euo pipefail
cd "$(dirname "$0")/.."
source=$PWD
# (TRELK_WINDOWS_OUT: another folder, as the test of a second build's same bytes uses)
out=${TRELK_WINDOWS_OUT:-$source/build-windows}
mkdir -p "$out"
out=$(cd "$out" && pwd)
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
quiet nice -n 5 cmake --build "$out/host" -j "$jobs" --target make_picture make_module make_icon

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
# Without symbol tables or debugging sections: they name folders of this machine (the import
# library's symbols carry its path) and the runtime's sources, and make up half of each file.
# The commit's time goes into the files' headers, which strip would otherwise set to now.
epoch=${SOURCE_DATE_EPOCH:-$(git log -1 --format=%ct 2>/dev/null || stat -c %Y CMakeLists.txt)}
find "$package" -iname '*.exe' -o -iname '*.dll' | LC_ALL=C sort |
    SOURCE_DATE_EPOCH=$epoch xargs x86_64-w64-mingw32-strip --strip-all
cp -r "$prefix/licences" "$package/licences"
# Named so that a double-click opens them as text: LICENSE becomes LICENSE.txt
for text in "$package"/licences/*/*; do
    case $text in *.txt) ;; *) mv "$text" "$text.txt" ;; esac
done
cp docs/windows_readme.txt "$package/README.txt"
cp LICENSE "$package/LICENSE.txt"
cp THIRD_PARTY.md "$package/THIRD_PARTY.txt"
# Text files with the line ends Windows' own editors expect
for text in "$package"/*.txt "$package"/licences/*/*.txt; do
    sed -i 's/\r*$/\r/' "$text"
done

# The same sources give the same zip: every entry in sorted order with the commit's time
/usr/bin/python3 scripts/reproducible_zip.py "$out/kelvra-demo-windows.zip" "$package" "$epoch"
echo "$out/kelvra-demo-windows.zip"
