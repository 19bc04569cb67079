#!/usr/bin/env bash
# libxmp's player for the page's music (the desktop's mixer, with the XM, MOD and S3M loaders
# of its core build), compiled to WebAssembly from the source archive the Windows build uses:
# in the folder TRELK_WINDOWS_SOURCES names (default: ../shared/deps/windows beside this clone),
# checked against its line of scripts/windows_sources.sha256 before it is unpacked. The build
# is kept outside the clone (~/.cache/kelvra-demo, or XDG_CACHE_HOME), under a name that
# changes with the archive, the flags and the compiler, so every clone and build folder shares
# it. Prints the folder that holds libxmp.a and xmp.h. Run by web/CMakeLists.txt when it is
# configured.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
name=libxmp-4.6.0
archive=${TRELK_WINDOWS_SOURCES:-$root/../shared/deps/windows}/$name.tar.gz
expected=$(awk -v f="$name.tar.gz" '$2 == f { print $1 }' "$root/scripts/windows_sources.sha256")
flags=(-Os -DLIBXMP_CORE_PLAYER -DLIBXMP_CORE_DISABLE_IT -DLIBXMP_NO_PROWIZARD
       -DLIBXMP_NO_DEPACKERS -DBUILDING_STATIC -DLIBXMP_STATIC -DXMP_SYM_VISIBILITY -w)
sources=(virtual format period player read_event misc dataio lfo scan control filter effects
         mixer mix_all load_helpers load filetype hio smix memio win32
         loaders/common loaders/sample loaders/xm_load loaders/mod_load loaders/s3m_load)
key=$({ echo "$expected" "${flags[*]}" "${sources[*]}"; emcc --version | sed -n 1p; } |
      sha256sum | cut -c1-16)
cache=${XDG_CACHE_HOME:-$HOME/.cache}/kelvra-demo/$name-wasm-$key
if [ ! -f "$cache/libxmp.a" ]; then
    if [ ! -f "$archive" ]; then
        echo "$archive: missing (name its folder in TRELK_WINDOWS_SOURCES)" >&2
        exit 1
    fi
    actual=$(sha256sum "$archive" | cut -d' ' -f1)
    if [ -z "$expected" ] || [ "$actual" != "$expected" ]; then
        echo "$archive: checksum $actual," \
             "scripts/windows_sources.sha256 says ${expected:-nothing}" >&2
        exit 1
    fi
    mkdir -p "$(dirname "$cache")"
    work=$(mktemp -d "$cache.XXXXXX")
    trap 'rm -rf "$work"' EXIT
    tar -xzf "$archive" -C "$work"
    objects=()
    for source in "${sources[@]}"; do
        object=$work/$(basename "$source").o
        emcc "${flags[@]}" -I"$work/$name/include" -I"$work/$name/src" \
            -c "$work/$name/src/$source.c" -o "$object" >&2
        objects+=("$object")
    done
    mkdir -p "$work/out"
    emar rcs "$work/out/libxmp.a" "${objects[@]}"
    # The page serves the library's licence (LGPL 2.1) beside the player made from it
    cp "$work/$name/include/xmp.h" "$work/$name/docs/COPYING.LIB" "$work/out/"
    # Another build may have made it meanwhile: the first one stays
    mv -T "$work/out" "$cache" 2>/dev/null || true
fi
echo "$cache"
