#!/usr/bin/env bash
# Builds what the Debian packages hold, for a system install: the demo, its assets and icons,
# and the libraries (Release, link-time optimised, prefix /usr), into build-release/linux, with
# the hardening flags Debian's own packages are built with, and the system's libraries shared
# (libpng, zlib and the C++ runtime are not copied into the program, as Debian asks), and no
# folder of this machine compiled in (the build tree's recorder module is not looked for).
# Prints the build folder.
set -euo pipefail
cd "$(dirname "$0")/.."
build=$PWD/build-release/linux
log=$(mktemp)
trap 'rm -f "$log"' EXIT
quiet() { "$@" >"$log" 2>&1 || { cat "$log" >&2; echo "failed: $*" >&2; exit 1; }; }
launcher=()
if command -v ccache >/dev/null; then
    launcher=(-DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
fi
hardening="-fstack-protector-strong -fstack-clash-protection -fcf-protection -D_FORTIFY_SOURCE=2"
quiet cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX=/usr \
    -DTRELK_TESTS=OFF -DTRELK_EXAMPLES=OFF -DTRELK_DEMO=ON -DTRELK_MUSIC=ON \
    -DTRELK_DEMO_STATIC_RUNTIME=OFF -DTRELK_RECORDER_BUILD_TREE=OFF \
    -DCMAKE_C_FLAGS="$hardening" -DCMAKE_CXX_FLAGS="$hardening" \
    -DCMAKE_EXE_LINKER_FLAGS="-Wl,-z,relro -Wl,-z,now" \
    -DCMAKE_SHARED_LINKER_FLAGS="-Wl,-z,relro -Wl,-z,now" \
    -DCMAKE_MODULE_LINKER_FLAGS="-Wl,-z,relro -Wl,-z,now" "${launcher[@]}"
quiet nice -n 5 cmake --build "$build" -j "${TRELK_JOBS:-$(nproc)}"
echo "$build"
